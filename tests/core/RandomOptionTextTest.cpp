// Seeded random option text: known names with hostile values, garbage names and every kind of
// line break. Nothing may crash, hang, leak or raise anything but the engine's own exceptions.
#include "TaskFixture.h"

#include <cstdlib>
#include <random>

namespace velto::test {
namespace {

const char* const kNames[] = {
    "L", "h", "version", "formats", "i", "y", "benchmark", "apre", "vpre", "spre", "threads", "v",
    "f", "t", "fs", "ss", "itsoffset", "itsscale", "timestamp", "map", "map_meta_data", "dframes",
    "vframes", "aframes", "loop_input", "loop_output", "vsync", "async", "adrift_threshold",
    "copyts", "shortest", "dts_delta_threshold", "programid", "xerror", "dump", "hex", "re",
    "isync", "muxdelay", "muxpreload", "target", "title", "author", "copyright", "comment", "genre",
    "album", "b", "vb", "r", "s", "aspect", "pix_fmt", "croptop", "cropbottom", "cropleft",
    "cropright", "padtop", "padbottom", "padleft", "padright", "padcolor", "intra", "vn", "vdt",
    "qscale", "rc_override", "vcodec", "me_threshold", "sameq", "pass", "passlogfile",
    "deinterlace", "psnr", "vstats", "vstats_file", "vhook", "vfilters", "intra_matrix",
    "inter_matrix", "top", "dc", "vtag", "newvideo", "qphist", "vglobal", "vc", "tvstd", "vbsf",
    "ab", "aq", "ar", "ac", "an", "acodec", "atag", "vol", "newaudio", "alang", "sample_fmt",
    "absf", "sn", "scodec", "newsubtitle", "slang", "sbsf",
    // generic names of the libraries
    "gop", "g", "maxrate", "minrate", "bufsize", "packetsize", "muxrate", "flags", "debug",
    "fdebug", "sws_flags", "bt", "abt", "qmin", "qmax", "probesize", "strict", "threads "};

const char* const kValues[] = {
    "",
    "0",
    "1",
    "2",
    "-1",
    "7",
    "63",
    "255",
    "256",
    "2147483647",
    "-2147483648",
    "99999999999999999999",
    "$FFFFFFFF",
    "0x7fffffff",
    "010",
    "1.5",
    "-0.0",
    "1e308",
    "1e-320",
    "nan",
    "inf",
    "25",
    "30000/1001",
    "0/0",
    "1/0",
    "ntsc",
    "pal",
    "film",
    "320x240",
    "321x240",
    "0x0",
    "99999x99999",
    "vga",
    "16:9",
    "4:0",
    "-4:-3",
    "1:",
    ":",
    "copy",
    "list",
    "mpeg4",
    "mp2",
    "libfaac",
    "libamr_nb",
    "pgmyuv",
    "avi",
    "mp4",
    "dvd",
    "pal-dvd",
    "ntsc-vcd",
    "film-svcd",
    "pal-dv50",
    "ntsc-",
    "null",
    "=x",
    "h264_mp4toannexb",
    "DIVX",
    "DIV",
    "0,1,2,3",
    "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,"
    "30,31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,46,47,48,49,50,51,52,53,54,55,56,57,58,59,"
    "60,61,62,63,64",
    "01:00:00",
    "now",
    "2001-01-01",
    "-5",
    "19:2.5",
    "20:1",
    "0.1:0.2",
    "1.2:3.4",
    "0:0",
    "/nonexistent/hook.so a b c",
    "a|b|c",
    "||||",
    "yuv420p",
    "s16",
    "+scan_offset",
    "mb_type",
    "%s%n%s%n",
    "\xff\xfe\x80",
    "  spaced  ",
    "x=y=z"};

std::string RandomText(std::mt19937& random) {
    std::string text(random() % 12, ' ');
    for (char& c : text)
        c = static_cast<char>(1 + random() % 255);
    return text;
}

std::string RandomLine(std::mt19937& random) {
    auto pick = [&](const auto& table) {
        return std::string(table[random() % (sizeof table / sizeof table[0])]);
    };
    const unsigned shape = random() % 10;
    std::string name = shape < 7 ? pick(kNames) : RandomText(random);
    if (shape == 7)
        name = " " + name;
    std::string value = random() % 5 == 0 ? RandomText(random) : pick(kValues);
    if (random() % 20 == 0)
        return name; // no "=" at all
    return name + "=" + value;
}

TEST(RandomOptionTextTest, SeededRandomLinesNeverCrashOrLeak) {
    LoadTestLibraries();
    const char* countText = std::getenv("VELTO_RANDOM_OPTION_LINES");
    const long lineCount = countText ? std::atol(countText) : 100000;
    std::mt19937 random(20261207);
    static const char* const kBreaks[] = {"\n", "\r\n", "\r", "\n\n", "\r\r\n"};

    long sinkLines = 0;
    long failures = 0;
    long applied = 0;
    auto task = std::make_unique<TCustomFFmpeg>();
    task->InitOptions();
    task->LogSink = [&](TCustomFFmpeg*, int, const std::string&) { ++sinkLines; };
    while (applied < lineCount) {
        // Blocks of up to 20 lines; a failing line ends its block, as in real use.
        std::string block;
        const int lines = 1 + random() % 20;
        for (int i = 0; i < lines; ++i)
            block += RandomLine(random) + kBreaks[random() % 5];
        applied += lines;
        try {
            task->ApplyOptionText(block);
        } catch (const FFMpegException&) {
            ++failures;
        } catch (const EConvertError&) {
            ++failures;
        } catch (const EAssertionFailed&) {
            ++failures;
        }
        if (random() % 500 == 0) {
            // A fresh task now and then, so that every kind of state is also released.
            task = std::make_unique<TCustomFFmpeg>();
            task->InitOptions();
            task->LogSink = [&](TCustomFFmpeg*, int, const std::string&) { ++sinkLines; };
        }
    }
    // The run exercised both the failing and the logging paths.
    EXPECT_GT(failures, lineCount / 100);
    EXPECT_GT(sinkLines, 0);
    EXPECT_LE(task->Settings.StreamMaps.size(), 400u);
    EXPECT_LE(task->Settings.MetadataMaps.size(), 20u);
}

} // namespace
} // namespace velto::test
