// Video options: sizes, rates, aspect, quantisers, codecs and tags, matrices, filters, stats.
#include "TaskFixture.h"

#include <filesystem>

namespace velto::test {
namespace {

using VideoOptionsTest = TaskTest;

TEST_F(VideoOptionsTest, FrameSize) {
    task.SetOption("s", "320x240");
    EXPECT_EQ(task.Settings.FrameWidth, 320);
    EXPECT_EQ(task.Settings.FrameHeight, 240);
    task.SetOption("s", "vga");
    EXPECT_EQ(task.Settings.FrameWidth, 640);
    task.SetOption("s", ""); // empty: nothing
    EXPECT_EQ(task.Settings.FrameWidth, 640);

    EXPECT_EQ(Failure("s", "huge"), "Incorrect frame size");
    EXPECT_EQ(task.Settings.FrameWidth, 640); // a parse failure stores nothing
    EXPECT_EQ(Failure("s", "321x240"), "Frame size must be a multiple of 2");
    EXPECT_EQ(task.Settings.FrameWidth, 321); // an odd size stays stored
    EXPECT_EQ(task.Settings.FrameHeight, 240);
    EXPECT_EQ(Failure("s", "320x241"), "Frame size must be a multiple of 2");
}

TEST_F(VideoOptionsTest, AspectRatio) {
    const struct {
        const char* text;
        float ratio; // 0: refused
    } rows[] = {{"16:9", 1.7777778f}, {"4:3", 1.3333334f},  {"1.5", 1.5f}, {"-2", -2.0f},
                {"4:0", 0.0f},        {"abc", 0.0f},        {"0", 0.0f},   {"x:3", 0.0f},
                {"4:-3", 0.0f},       {"-4:3", -1.3333334f}};
    for (const auto& row : rows) {
        task.Settings.FrameAspectRatio = 9.0f;
        const std::string failure = Failure("aspect", row.text);
        if (row.ratio == 0.0f) {
            EXPECT_EQ(failure, "Incorrect aspect ratio specification.") << row.text;
            EXPECT_EQ(task.Settings.FrameAspectRatio, 9.0f) << row.text;
        } else {
            EXPECT_EQ(failure, "") << row.text;
            EXPECT_FLOAT_EQ(task.Settings.FrameAspectRatio, row.ratio) << row.text;
        }
    }
    task.Settings.FrameAspectRatio = 9.0f;
    task.SetOption("aspect", "");
    EXPECT_EQ(task.Settings.FrameAspectRatio, 9.0f);
}

TEST_F(VideoOptionsTest, RangeCheckedValues) {
    const struct {
        const char* name;
        const char* value;
        const char* failure;
    } rows[] = {{"qscale", "0", "qscale must be > 0.0 and <= 255"},
                {"qscale", "256", "qscale must be > 0.0 and <= 255"},
                {"qscale", "-1", "qscale must be > 0.0 and <= 255"},
                {"qscale", "255", ""},
                {"qscale", "0.5", ""},
                {"pass", "3", "pass number can be only 1 or 2"},
                {"pass", "0", "pass number can be only 1 or 2"},
                {"pass", "2", ""},
                {"pass", "1", ""}};
    for (const auto& row : rows)
        EXPECT_EQ(Failure(row.name, row.value), row.failure) << row.name << "=" << row.value;
    EXPECT_FLOAT_EQ(task.Settings.VideoQScale, 0.5f);
    EXPECT_EQ(task.Settings.PassNumber, 1);
}

TEST_F(VideoOptionsTest, CodecTags) {
    task.SetOption("vtag", "DIVX");
    EXPECT_EQ(task.Settings.VideoCodecTag & 0xFF, static_cast<unsigned>('D'));
    EXPECT_EQ(task.Settings.VideoCodecTag >> 24, static_cast<unsigned>('X'));
    EXPECT_EQ(task.Settings.VideoCodecTag, MKTAG('D', 'I', 'V', 'X'));
    task.SetOption("atag", "\xff"
                           "abc");
    EXPECT_EQ(task.Settings.AudioCodecTag & 0xFF, 0xFFu);
    task.SetOption("vtag", "");
    EXPECT_EQ(task.Settings.VideoCodecTag, MKTAG('D', 'I', 'V', 'X'));

    EXPECT_EQ(Failure("vtag", "DIV"), "video tag parameter must be 4 chars");
    EXPECT_EQ(Failure("atag", "DIVX5"), "audio tag parameter must be 4 chars");
    EXPECT_THROW(task.SetOption("vtag", "DIV"), EAssertionFailed);
}

TEST_F(VideoOptionsTest, QuantisationMatrices) {
    std::string numbers;
    for (int i = 1; i <= 63; ++i)
        numbers += (i > 1 ? "," : "") + std::to_string(i);
    EXPECT_EQ(Failure("intra_matrix", numbers),
              "Syntax error in matrix \"" + numbers + "\" at coeff 62");
    ASSERT_EQ(task.Settings.IntraMatrix.size(), 64u);

    task.SetOption("intra_matrix", numbers + ",64,65,66");
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(task.Settings.IntraMatrix[i], i + 1);

    // The second call zeroes the matrix first; a sign counts only at the end of the text.
    std::string spaced = " 8,-3";
    for (int i = 2; i < 63; ++i)
        spaced += ",x";
    task.SetOption("inter_matrix", spaced + ",-7");
    EXPECT_EQ(task.Settings.InterMatrix[0], 8);
    EXPECT_EQ(task.Settings.InterMatrix[1], 3);
    EXPECT_EQ(task.Settings.InterMatrix[2], 0);
    EXPECT_EQ(task.Settings.InterMatrix[63], static_cast<std::uint16_t>(-7));
    EXPECT_TRUE(task.Settings.IntraMatrix.size() == 64);
}

TEST_F(VideoOptionsTest, BitstreamFilters) {
    task.SetOption("sbsf", "");
    task.SetOption("vbsf", "=h264_mp4toannexb");
    EXPECT_TRUE(task.Settings.VideoBitstreamFilters.empty());
    EXPECT_TRUE(task.Settings.SubtitleBitstreamFilters.empty());

    task.SetOption("vbsf", "null");
    task.SetOption("vbsf", "h264_mp4toannexb=ignored");
    task.SetOption("absf", "aac_adtstoasc");
    task.SetOption("sbsf", "null");
    ASSERT_EQ(task.Settings.VideoBitstreamFilters.size(), 2u);
    EXPECT_STREQ(task.Settings.VideoBitstreamFilters[1]->filter->name, "h264_mp4toannexb");
    EXPECT_EQ(task.Settings.AudioBitstreamFilters.size(), 1u);
    EXPECT_EQ(task.Settings.SubtitleBitstreamFilters.size(), 1u);

    EXPECT_EQ(Failure("vbsf", "no_such_filter"), "Unknown bitstream filter no_such_filter");
    EXPECT_EQ(task.Settings.VideoBitstreamFilters.size(), 2u);
}

TEST_F(VideoOptionsTest, PixelFormatAndItsList) {
    task.SetOption("pix_fmt", "yuv422p");
    EXPECT_EQ(task.Settings.FramePixelFormat, AV_PIX_FMT_YUV422P);
    task.SetOption("pix_fmt", "no_such_format");
    EXPECT_EQ(task.Settings.FramePixelFormat, AV_PIX_FMT_NONE);

    task.SetOption("pix_fmt", "list");
    ASSERT_EQ(lines.size(), 41u); // -1 (the heading) to 39
    EXPECT_NE(lines[1].text.find("yuv420p"), std::string::npos);
    for (const SinkLine& line : lines)
        EXPECT_EQ(line.text, Trim(line.text));
    EXPECT_EQ(task.Settings.FramePixelFormat, AV_PIX_FMT_NONE);
}

TEST_F(VideoOptionsTest, VideoStatsFileIsNamedAfterTheProgramAndTheClock) {
    task.SetOption("vstats", "");
    const std::filesystem::path name = task.Settings.VideoStatsFileName;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(name.parent_path(), exe.parent_path());
    const std::string file = name.filename().string();
    ASSERT_EQ(file.size(), std::string("vstats_hhnnss.log").size()) << file;
    EXPECT_EQ(file.substr(0, 7), "vstats_");
    EXPECT_EQ(file.substr(13), ".log");
    EXPECT_EQ(file.substr(7, 6).find_first_not_of("0123456789"), std::string::npos);
}

TEST_F(VideoOptionsTest, NewStreamsNeedAnOutput) {
    for (const char* name : {"newvideo", "newaudio", "newsubtitle"})
        EXPECT_EQ(Failure(name, ""), "At least one output file must be specified") << name;
}

} // namespace
} // namespace velto::test
