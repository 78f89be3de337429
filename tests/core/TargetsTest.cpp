// Target presets with their norms, and the crop and pad validators.
#include "AVFormatHlpr.h"
#include "TaskFixture.h"

namespace velto::test {
namespace {

using TargetsTest = TaskTest;

constexpr AVRational kPal{25, 1};
constexpr AVRational kNtsc{30000, 1001};
constexpr AVRational kFilm{24000, 1001};

TEST(TargetNormTest, GuessUsesTaskRateThenStreamsThenFallBack) {
    const struct {
        AVRational rate;
        std::vector<AVRational> streams;
        const char* fallback;
        TTargetNorm norm;
    } rows[] = {
        {kPal, {kNtsc}, "ntsc", tnPAL},
        {{15, 1}, {}, "pal", tnPAL},
        {{15, 1}, {}, "ntsc", tnNTSC},
        {{15, 1}, {}, "film", tnFilm},
        {{15, 1}, {}, "other", tnPAL},
        {{15, 1}, {{15, 1}, kNtsc, kPal}, "pal", tnNTSC}, // the first stream with a norm
        {{1, 0x7fffffff}, {{0, 0}, kPal}, "ntsc", tnPAL},
    };
    for (const auto& row : rows)
        EXPECT_EQ(GuessTargetNorm(row.rate, row.streams, row.fallback), row.norm) << row.fallback;
    EXPECT_THROW(GuessTargetNorm({25, 0}, {kPal}, "pal"), FFMpegException);
}

TEST_F(TargetsTest, PresetsByNameAndNorm) {
    const struct {
        const char* target;
        int width, height;
        AVRational rate;
        int gop; // 12: the library default, not set by the preset
        int sampleRate;
        const char* format;
        int channelsBefore, channelsAfter;
        int pixelFormat;
    } rows[] = {
        {"pal-dvd", 720, 576, kPal, 15, 48000, "dvd", 1, 2, -1},
        {"pal-dvd", 720, 576, kPal, 15, 48000, "dvd", 6, 6, -1},
        {"ntsc-vcd", 352, 240, kNtsc, 18, 44100, "vcd", 6, 2, -1},
        {"film-svcd", 480, 480, kFilm, 18, 44100, "svcd", 1, 2, -1},
        {"pal-svcd", 480, 576, kPal, 15, 44100, "svcd", 6, 6, -1},
        {"pal-dv", 720, 576, kPal, 12, 48000, "dv", 1, 2, AV_PIX_FMT_YUV420P},
        {"ntsc-dv", 720, 480, kNtsc, 12, 48000, "dv", 6, 2, AV_PIX_FMT_YUV411P},
        {"film-dv", 720, 480, kFilm, 12, 48000, "dv", 2, 2, AV_PIX_FMT_YUV411P},
        {"pal-dv50", 720, 576, kPal, 12, 48000, "dv", 2, 2, AV_PIX_FMT_YUV422P},
        {"ntsc-dv50", 720, 480, kNtsc, 12, 48000, "dv", 2, 2, AV_PIX_FMT_YUV422P},
    };
    for (const auto& row : rows) {
        task.InitOptions();
        lines.clear();
        task.Settings.AudioChannels = row.channelsBefore;
        task.SetOption("target", row.target);
        const TaskSettings& s = task.Settings;
        const std::string where =
            std::string(row.target) + "/" + std::to_string(row.channelsBefore);
        EXPECT_EQ(s.FrameWidth, row.width) << where;
        EXPECT_EQ(s.FrameHeight, row.height) << where;
        EXPECT_EQ(av_cmp_q(s.FrameRate, row.rate), 0) << where;
        EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "g"), row.gop) << where;
        EXPECT_EQ(s.AudioSampleRate, row.sampleRate) << where;
        EXPECT_EQ(s.AudioChannels, row.channelsAfter) << where;
        EXPECT_EQ(s.FramePixelFormat, row.pixelFormat) << where;
        ASSERT_NE(s.OutputFormat, nullptr) << where;
        EXPECT_STREQ(s.OutputFormat->name, row.format) << where;
        EXPECT_FALSE(Logged("Assuming PAL for target.") || Logged("Assuming NTSC for target."))
            << "a given norm is not guessed: " << where;
    }
}

TEST_F(TargetsTest, DiscPresetsSetCodecsRatesAndAspect) {
    task.SetOption("target", "pal-vcd");
    const TaskSettings& s = task.Settings;
    EXPECT_EQ(s.VideoCodecName, "mpeg1video");
    EXPECT_EQ(s.AudioCodecName, "mp2");
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "b"), 1150000);
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "maxrate"), 1150000);
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "bufsize"), 327680);
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_AUDIO), "b"), 224000);
    EXPECT_EQ(HolderInt(task.Settings.FormatOptionHolder.get(), "packetsize"), 2324);
    EXPECT_FLOAT_EQ(s.MuxPreload, 0.44f);
    EXPECT_FLOAT_EQ(s.FrameAspectRatio, 4.0f / 3.0f);
    EXPECT_TRUE(Logged("Assuming 4:3 for aspect ratio"));

    task.InitOptions();
    lines.clear();
    task.SetOption("target", "pal-dvd");
    EXPECT_EQ(task.Settings.AudioCodecName, "ac3");
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "b"), 6000000);
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_AUDIO), "b"), 448000);
    EXPECT_FLOAT_EQ(task.Settings.FrameAspectRatio, 16.0f / 9.0f);
    EXPECT_TRUE(Logged("Assuming 16:9 for aspect ratio"));

    // A known aspect ratio is kept, without the line.
    task.InitOptions();
    lines.clear();
    task.Settings.FrameAspectRatio = 1.25f;
    task.SetOption("target", "pal-svcd");
    EXPECT_FLOAT_EQ(task.Settings.FrameAspectRatio, 1.25f);
    EXPECT_FALSE(Logged("Assuming 4:3 for aspect ratio"));
}

TEST_F(TargetsTest, AutomaticNormFromTheTaskFrameRate) {
    task.SetOption("r", "25");
    task.SetOption("target", "dvd");
    EXPECT_TRUE(Logged("Assuming PAL for target."));
    EXPECT_EQ(task.Settings.FrameWidth, 720);
    EXPECT_EQ(task.Settings.FrameHeight, 576);

    lines.clear();
    task.SetOption("r", "29.97");
    task.SetOption("target", "dvd");
    EXPECT_TRUE(Logged("Assuming NTSC for target."));
    EXPECT_EQ(task.Settings.FrameHeight, 480);

    // 15 frames per second: the component's fall-back decides.
    task.SetOption("r", "15");
    task.SetTarget("dvd", "auto", "pal");
    EXPECT_EQ(task.Settings.FrameHeight, 576);
    task.SetOption("r", "15");
    task.SetTarget("dvd", "auto", "film");
    EXPECT_EQ(av_cmp_q(task.Settings.FrameRate, kFilm), 0);

    // Quiet tasks do not log the guess.
    lines.clear();
    task.Settings.Verbosity = 0;
    task.SetOption("target", "dvd");
    EXPECT_FALSE(Logged("Assuming NTSC for target."));
}

TEST_F(TargetsTest, AutomaticNormFromInputStreams) {
    // An input with an audio stream, then a 25 fps video stream; the task rate says nothing.
    AVFormatContext* input = AVFormatHlpr::avformat_alloc_context();
    AVStream* audio = AVFormatHlpr::avformat_new_stream(input, nullptr);
    audio->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    audio->r_frame_rate = kNtsc;
    AVStream* video = AVFormatHlpr::avformat_new_stream(input, nullptr);
    video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    video->r_frame_rate = kPal;
    task.InputFiles.push_back({});
    task.InputFiles.back().Context.reset(input);

    ASSERT_EQ(task.InputVideoFrameRates().size(), 1u);
    task.SetOption("r", "12");
    task.SetOption("target", "vcd");
    EXPECT_TRUE(Logged("Assuming PAL for target."));
    EXPECT_EQ(task.Settings.FrameHeight, 288);
}

TEST_F(TargetsTest, FailuresOfPresets) {
    // No frame rate known: only an automatic norm needs one.
    EXPECT_EQ(Failure("target", "dvd"), "frame_rate is invalid.");
    EXPECT_EQ(Failure("target", "pal-dvd"), "");

    // The norm is determined (and logged) before the name is refused.
    task.InitOptions();
    lines.clear();
    task.SetOption("r", "25");
    EXPECT_EQ(Failure("target", "bluray"), "Unknown target type");
    EXPECT_TRUE(Logged("Assuming PAL for target."));
    EXPECT_EQ(Failure("target", "pal-"), "Unknown target type");
    EXPECT_EQ(Failure("target", "PAL-dvd"), "Unknown target type"); // prefixes are lower case
    EXPECT_EQ(Failure("target", "  ntsc-vcd  "), "");               // the value is trimmed
}

TEST_F(TargetsTest, CropValidation) {
    const std::string tail = " crop dimensions are outside the range of the original "
                             "image.\nRemember to crop first and scale second.";
    const std::string vertical = "Vertical" + tail;
    const std::string horizontal = "Horizontal" + tail;
    task.SetOption("s", "720x576");
    const struct {
        const char* option;
        const char* value;
        std::string failure;
    } rows[] = {
        {"croptop", "7", "Top crop size must be a multiple of 2"},
        {"cropbottom", "3", "Bottom crop size must be a multiple of 2"},
        {"cropleft", "1", "Left crop size must be a multiple of 2"},
        {"cropright", "9", "Right crop size must be a multiple of 2"},
        {"croptop", "576", vertical},
        {"cropbottom", "1000", vertical},
        {"cropleft", "720", horizontal},
        {"cropright", "722", horizontal},
        {"croptop", "-1", ""},
        {"croptop", "8", ""},
        {"cropleft", "16", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Failure(row.option, row.value), row.failure) << row.option << "=" << row.value;
    EXPECT_EQ(task.Settings.CropTop, 8);
    EXPECT_EQ(task.Settings.CropLeft, 16);
    EXPECT_EQ(task.Settings.FrameHeight, 568);
    EXPECT_EQ(task.Settings.FrameWidth, 704);

    // Crops are taken from the frame size at the moment they are applied.
    task.SetOption("s", "320x240");
    task.SetOption("croptop", "8");
    EXPECT_EQ(task.Settings.FrameHeight, 232);
    EXPECT_EQ(task.Settings.FrameWidth, 320);
    EXPECT_EQ(Failure("croptop", "232"), vertical);
}

TEST_F(TargetsTest, PadValidation) {
    const struct {
        TFrameSide side;
        const char* option;
        const char* odd;
    } rows[] = {{fsTop, "padtop", "Top pad size must be a multiple of 2"},
                {fsBottom, "padbottom", "Bottom pad size must be a multiple of 2"},
                {fsLeft, "padleft", "Left pad size must be a multiple of 2"},
                {fsRight, "padright", "Right pad size must be a multiple of 2"}};
    task.SetOption("s", "320x240");
    int expected = 2;
    for (const auto& row : rows) {
        EXPECT_EQ(Failure(row.option, "5"), row.odd);
        EXPECT_EQ(Failure(row.option, "-1"), "");
        task.SetOption(row.option, std::to_string(expected));
        expected += 2;
    }
    const TaskSettings& s = task.Settings;
    EXPECT_EQ((std::vector<int>{s.PadTop, s.PadBottom, s.PadLeft, s.PadRight}),
              (std::vector<int>{2, 4, 6, 8}));
    EXPECT_EQ(s.FrameWidth, 320); // padding does not change the picture size
    EXPECT_EQ(s.FrameHeight, 240);
    task.SetPad(fsTop, 1000); // no range check for pads
    EXPECT_EQ(s.PadTop, 1000);
}

} // namespace
} // namespace velto::test
