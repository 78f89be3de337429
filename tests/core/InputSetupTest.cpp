// Input set-up on real files made at test time: read-back of stream properties, seeking and
// timestamp offsets, failures and the per-input resets, and the norm guess from an opened input.
#include "AVFormatHlpr.h"
#include "FailureOf.h"
#include "MediaFactory.h"
#include "SetupRules.h"
#include "TaskFixture.h"

#include <cmath>

namespace velto::test {
namespace {

TEST(InputRules, AspectRatioFromSampleAspectAndSize) {
    const struct {
        AVRational stream, codec;
        int width, height;
        float expected;
    } cases[] = {
        {{0, 1}, {0, 1}, 0, 0, 1.3333334f},       // nothing known: 4:3
        {{0, 1}, {1, 1}, 720, 576, 1.25f},        // square pixels
        {{0, 1}, {16, 15}, 720, 576, 1.3333334f}, // codec's ratio when the stream has none
        {{16, 15}, {1, 1}, 720, 576, 1.3333334f}, // the stream's ratio wins
        {{0, 1}, {0, 1}, 320, 240, 1.3333334f},   // no ratio: width / height
        {{2, 1}, {0, 1}, 0, 0, 2.0f},             // a ratio without a size stays as it is
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(InputAspectRatio(c.stream, c.codec, c.width, c.height), c.expected)
            << c.width << "x" << c.height << " sar " << c.stream.num << "/" << c.stream.den;
}

TEST(InputRules, RealMediaWithoutPixelFormatIsYuv420p) {
    const struct {
        int format;
        const char* name;
        int expected;
    } cases[] = {
        {AV_PIX_FMT_NONE, "/tmp/CLIP.RM", AV_PIX_FMT_YUV420P},
        {AV_PIX_FMT_NONE, "clip.rmvb", AV_PIX_FMT_YUV420P},
        {AV_PIX_FMT_NONE, "clip.avi", AV_PIX_FMT_NONE},
        {AV_PIX_FMT_NONE, "clip.rmvbx", AV_PIX_FMT_NONE},
        {AV_PIX_FMT_NONE, "/a.rm/clip", AV_PIX_FMT_NONE}, // dot of a folder, not an extension
        {AV_PIX_FMT_RGB24, "clip.rm", AV_PIX_FMT_RGB24},  // a known format is kept
    };
    for (const auto& c : cases)
        EXPECT_EQ(InputPixelFormat(c.format, c.name), c.expected) << c.name;
}

class InputSetupTest : public TaskTest {
protected:
    std::string folder = ScratchFolder();

    // Settings that every call must leave empty.
    void ExpectPerInputReset() {
        EXPECT_EQ(task.Settings.InputFormat, nullptr);
        EXPECT_EQ(task.Settings.OutputFormat, nullptr);
        EXPECT_TRUE(task.Settings.VideoCodecName.empty());
        EXPECT_TRUE(task.Settings.AudioCodecName.empty());
        EXPECT_TRUE(task.Settings.SubtitleCodecName.empty());
        EXPECT_EQ(task.Settings.VideoChannel, 0);
        EXPECT_EQ(task.Settings.RateEmulation, 0);
    }
};

TEST_F(InputSetupTest, ReadsStreamPropertiesBack) {
    MediaRecipe recipe;
    recipe.video.push_back(VideoTrack{});
    recipe.video[0].width = 720;
    recipe.video[0].height = 576;
    recipe.video[0].sampleAspectNum = 16;
    recipe.video[0].sampleAspectDen = 15;
    recipe.audio.push_back(AudioTrack{});
    recipe.audio[0].sampleRate = 22050;
    recipe.audio[0].channels = 1;
    const std::string file = MakeMedia(folder + "/pal.avi", recipe);
    task.Settings.FrameWidth = 320; // replaced by the input's values
    task.Settings.RateEmulation = 1;

    ASSERT_NO_THROW(task.OpenInputFile(file));
    EXPECT_EQ(task.Settings.FrameWidth, 720);
    EXPECT_EQ(task.Settings.FrameHeight, 576);
    EXPECT_FLOAT_EQ(task.Settings.FrameAspectRatio, 1.3333334f);
    EXPECT_EQ(task.Settings.FramePixelFormat, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(av_cmp_q(task.Settings.FrameRate, AVRational{25, 1}), 0);
    EXPECT_EQ(task.Settings.AudioSampleRate, 22050);
    EXPECT_EQ(task.Settings.AudioChannels, 1);
    EXPECT_NE(task.Settings.AudioSampleFormat, AV_SAMPLE_FMT_NONE);
    EXPECT_GE(task.Settings.ExpectedDuration, 900);

    ASSERT_EQ(task.InputFiles.size(), 1u);
    const TInputFile& input = task.InputFiles[0];
    ASSERT_EQ(input.Streams.size(), input.Context->nb_streams);
    for (const TInputStreamSetup& stream : input.Streams)
        ASSERT_NE(stream.CodecContext, nullptr);
    EXPECT_EQ(input.Streams[0].CodecContext->codec_type, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(input.Streams[0].CodecContext->width, 720);
    EXPECT_EQ(input.Streams[0].RateEmulation, 1);
    ExpectPerInputReset();
}

TEST_F(InputSetupTest, DisableFlagsDiscardTheirStreams) {
    const std::string file = MakeAviMpeg4Mp2(folder);
    task.Settings.AudioDisable = 1;
    ASSERT_NO_THROW(task.OpenInputFile(file));
    AVFormatContext* context = task.InputFiles[0].Context.get();
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const bool audio = context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
        EXPECT_EQ(context->streams[i]->discard, audio ? AVDISCARD_ALL : AVDISCARD_DEFAULT);
    }
}

TEST_F(InputSetupTest, StartTimeSeeksOnceAndSetsTheOffset) {
    // MPEG program streams start after the muxer's preload, so the input has its own start time.
    const std::string first = MakeMpegPsMpeg2Mp2(folder, 2.0);
    task.Settings.StartTime = 1000000;
    ASSERT_NO_THROW(task.OpenInputFile(first));
    const std::int64_t ownStart = task.InputFiles[0].Context->start_time;
    ASSERT_NE(ownStart, AV_NOPTS_VALUE);
    EXPECT_GT(ownStart, 0);
    EXPECT_EQ(task.InputFiles[0].TimestampOffset, -(1000000 + ownStart));
    EXPECT_EQ(task.Settings.StartTime, 0);

    // The start time was consumed: a second input is offset by its own start only.
    ASSERT_NO_THROW(task.OpenInputFile(first));
    EXPECT_EQ(task.InputFiles[1].TimestampOffset, -ownStart);

    // With copied timestamps the offset is the option's value alone.
    task.Settings.CopyTimestamps = 1;
    task.Settings.InputTimestampOffset = 250000;
    ASSERT_NO_THROW(task.OpenInputFile(first));
    EXPECT_EQ(task.InputFiles[2].TimestampOffset, 250000);
}

TEST_F(InputSetupTest, ExpectedDurationIsTheLongestInputUntilRecordingTimeIsSet) {
    ASSERT_NO_THROW(task.OpenInputFile(MakeWav(folder, 1.0)));
    const std::string longer = MakeMp3(folder, 2.0);
    ASSERT_NO_THROW(task.OpenInputFile(longer));
    const int longest = task.Settings.ExpectedDuration;
    EXPECT_NEAR(longest, 2000, 100);
    ASSERT_NO_THROW(task.OpenInputFile(MakeVideoOnly(folder, 1.0)));
    EXPECT_EQ(task.Settings.ExpectedDuration, longest); // a shorter input does not lower it
    task.SetOption("t", "0.5");
    EXPECT_EQ(task.Settings.ExpectedDuration, 500);
}

TEST_F(InputSetupTest, FailuresReportTheirTextAndResetThePerInputSettings) {
    const std::string avi = MakeAviMpeg4Mp2(folder);
    const std::string random = MakeRandomFile(folder, "noise.bin", 4096, 7);
    const struct {
        std::string file;
        std::string videoCodec;
        std::string expected;
    } cases[] = {
        {avi, "mp2", "Invalid decoder type 'mp2'"},
        {avi, "nosuchcodec", "Unknown decoder 'nosuchcodec'"},
        {folder + "/missing.avi", "", folder + "/missing.avi: no such file or directory"},
        {random, "", random + ": Unknown format"},
    };
    for (const auto& c : cases) {
        task.Settings.VideoCodecName = c.videoCodec;
        task.Settings.AudioCodecName = "mp2";
        task.Settings.VideoChannel = 3;
        task.Settings.InputFormat = AVFormatHlpr::av_find_input_format("avi");
        if (c.file == random)
            task.Settings.InputFormat = nullptr;
        EXPECT_EQ(FailureOf([&] { task.OpenInputFile(c.file); }), c.expected) << c.file;
        ExpectPerInputReset();
    }
    EXPECT_TRUE(task.InputFiles.empty());
}

TEST_F(InputSetupTest, EmptyFileFailsWithoutAddingAnInput) {
    EXPECT_NE(FailureOf([&] { task.OpenInputFile(MakeEmptyFile(folder)); }), "");
    EXPECT_TRUE(task.InputFiles.empty());
}

TEST_F(InputSetupTest, TwentyFirstInputIsRefused) {
    const std::string file = MakeWav(folder, 0.2);
    task.Settings.Verbosity = -1; // no format dumps
    for (int i = 0; i < kMaxFiles; ++i)
        ASSERT_NO_THROW(task.OpenInputFile(file));
    task.Settings.AudioCodecName = "pcm_s16le";
    try {
        task.OpenInputFile(file);
        FAIL() << "a 21st input was accepted";
    } catch (const FFMpegException& error) {
        EXPECT_STREQ(error.what(), "Too many input files: a task takes at most 20");
    }
    EXPECT_EQ(task.InputFiles.size(), 20u);
    EXPECT_TRUE(task.Settings.AudioCodecName.empty());
}

// The automatic norm of a target preset comes from the opened input's video frame rate.
TEST_F(InputSetupTest, TargetNormIsGuessedFromTheInputFrameRate) {
    const struct {
        int num, den;
        int expectedHeight;
        const char* logged; // "Assuming %s for target." text, nullptr for the fall-back
    } cases[] = {
        {25, 1, 576, "Assuming PAL for target."},
        {30000, 1001, 480, "Assuming NTSC for target."},
        {15, 1, 576, "Assuming PAL for target."}, // neither norm: the fall-back "pal"
    };
    for (const auto& c : cases) {
        TCustomFFmpeg target;
        target.InitOptions();
        std::vector<std::string> logged;
        target.LogSink = [&](TCustomFFmpeg*, int, const std::string& text) {
            logged.push_back(text);
        };
        MediaRecipe recipe;
        recipe.video.push_back(VideoTrack{});
        recipe.video[0].frameRateNum = c.num;
        recipe.video[0].frameRateDen = c.den;
        const std::string file =
            MakeMedia(folder + "/rate" + std::to_string(c.num) + ".avi", recipe);
        ASSERT_NO_THROW(target.OpenInputFile(file));
        target.SetTarget("dvd", "auto", "pal");
        EXPECT_EQ(target.Settings.FrameHeight, c.expectedHeight) << c.num << "/" << c.den;
        EXPECT_NE(std::find(logged.begin(), logged.end(), c.logged), logged.end());
    }
}

} // namespace
} // namespace velto::test
