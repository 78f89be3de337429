// Seeded random option text: known names with hostile values, garbage names and every kind of
// line break. Nothing may crash, hang, leak or raise anything but the engine's own exceptions.
#include "TaskFixture.h"

#include <cstdlib>
#include <random>
#include <sstream>

namespace velto::test {
namespace {

// Every name of the table, some library names, and a few near misses.
const char* const kNames =
    "L h version formats i y benchmark apre vpre spre threads v f t fs ss itsoffset itsscale "
    "timestamp map map_meta_data dframes vframes aframes loop_input loop_output vsync async "
    "adrift_threshold copyts shortest dts_delta_threshold programid xerror dump hex re isync "
    "muxdelay muxpreload target title author copyright comment genre album b vb r s aspect "
    "pix_fmt croptop cropbottom cropleft cropright padtop padbottom padleft padright padcolor "
    "intra vn vdt qscale rc_override vcodec me_threshold sameq pass passlogfile deinterlace psnr "
    "vstats vstats_file vhook vfilters intra_matrix inter_matrix top dc vtag newvideo qphist "
    "vglobal vc tvstd vbsf ab aq ar ac an acodec atag vol newaudio alang sample_fmt absf sn "
    "scodec newsubtitle slang sbsf gop g maxrate minrate bufsize packetsize muxrate flags debug "
    "fdebug sws_flags bt abt qmin strict B -b";

// Values one per line: numbers at and beyond the limits, rates, sizes, names, broken lists.
const char* const kValues = "0\n1\n-1\n7\n255\n256\n2147483647\n-2147483648\n"
                            "99999999999999999999\n$FFFFFFFF\n010\n1.5\n1e308\nnan\ninf\n"
                            "30000/1001\n1/0\nntsc\n321x240\n99999x99999\n16:9\n4:0\n:\ncopy\n"
                            "list\nmpeg4\nlibamr_nb\npgmyuv\nmp4\npal-dvd\nntsc-vcd\nfilm-svcd\n"
                            "pal-dv50\ndvd\nnull\n=x\nDIVX\nDIV\n0,1,2\n01:00:00\nnow\n20:1\n"
                            "19:2.5\n0.1:0.2\n/nonexistent/hook.so a\n||||\nyuv420p\ns16\n"
                            "+scan_offset\nmb_type\n%s%n%s\n  spaced  \nx=y=z\n";

std::vector<std::string> Split(const char* text, char delimiter) {
    std::vector<std::string> parts;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, delimiter);)
        parts.push_back(part);
    parts.push_back(""); // the empty name or value
    return parts;
}

std::string RandomText(std::mt19937& random) {
    std::string text(random() % 12, ' ');
    for (char& c : text)
        c = static_cast<char>(1 + random() % 255);
    return text;
}

TEST(RandomOptionTextTest, SeededRandomLinesNeverCrashOrLeak) {
    LoadTestLibraries();
    const char* countText = std::getenv("VELTO_RANDOM_OPTION_LINES");
    const long lineCount = countText ? std::atol(countText) : 100000;
    const std::vector<std::string> names = Split(kNames, ' ');
    const std::vector<std::string> values = Split(kValues, '\n');
    const char* const breaks[] = {"\n", "\r\n", "\r", "\n\n", "\r\r\n"};
    std::mt19937 random(20261207);

    long sinkLines = 0;
    long failures = 0;
    auto task = std::make_unique<TCustomFFmpeg>();
    auto renew = [&] {
        // A fresh task now and then, so that every kind of state is also released.
        task = std::make_unique<TCustomFFmpeg>();
        task->InitOptions();
        task->LogSink = [&](TCustomFFmpeg*, int, const std::string&) { ++sinkLines; };
    };
    renew();
    for (long applied = 0; applied < lineCount;) {
        // Blocks of up to 20 lines; a failing line ends its block, as in real use.
        std::string block;
        for (int i = 1 + random() % 20; i > 0; --i, ++applied) {
            const bool garbageName = random() % 5 == 0;
            block += garbageName ? RandomText(random) : names[random() % names.size()];
            if (random() % 20 != 0)
                block += "=" + (random() % 5 == 0 ? RandomText(random)
                                                  : values[random() % values.size()]);
            block += breaks[random() % 5];
        }
        try {
            task->ApplyOptionText(block);
        } catch (const FFMpegException&) {
            ++failures;
        } catch (const EConvertError&) {
            ++failures;
        } catch (const EAssertionFailed&) {
            ++failures;
        }
        if (random() % 500 == 0)
            renew();
    }
    // The run went through both the failing and the logging paths, and the lists kept bounds.
    EXPECT_GT(failures, lineCount / 100);
    EXPECT_GT(sinkLines, 0);
    EXPECT_LE(task->Settings.StreamMaps.size(), 400u);
    EXPECT_LE(task->Settings.MetadataMaps.size(), 20u);
}

} // namespace
} // namespace velto::test
