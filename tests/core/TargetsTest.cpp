// Target presets with their norms, and the crop and pad validators.
#include "AVFormatHlpr.h"
#include "TaskFixture.h"

namespace velto::test {
namespace {

using TargetsTest = TaskTest;

constexpr AVRational kPal{25, 1};
constexpr AVRational kNtsc{30000, 1001};
constexpr AVRational kFilm{24000, 1001};

TEST(TargetNormTest, FrameRatesIdentifyNorms) {
    const struct {
        AVRational rate;
        int norm;
    } rows[] = {{kPal, tnPAL},         {{50, 2}, tnPAL}, {kNtsc, tnNTSC}, {kFilm, tnNTSC},
                {{2997, 100}, tnNTSC}, {{15, 1}, -1},    {{30, 1}, -1},   {{0, 0}, -1},
                {{0, 1}, -1},          {{24, 1}, -1}};
    for (const auto& row : rows)
        EXPECT_EQ(NormFromFrameRate(row.rate), row.norm) << row.rate.num << "/" << row.rate.den;
}

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
        int gop; // 0: not set by the preset (library default 12)
        int sampleRate;
        const char* format;
    } rows[] = {
        {"pal-dvd", 720, 576, kPal, 15, 48000, "dvd"},
        {"ntsc-vcd", 352, 240, kNtsc, 18, 44100, "vcd"},
        {"film-svcd", 480, 480, kFilm, 18, 44100, "svcd"},
        {"pal-svcd", 480, 576, kPal, 15, 44100, "svcd"},
        {"ntsc-dv", 720, 480, kNtsc, 0, 48000, "dv"},
        {"pal-dv50", 720, 576, kPal, 0, 48000, "dv"},
    };
    for (const auto& row : rows) {
        task.InitOptions();
        lines.clear();
        task.SetOption("target", row.target);
        const TaskSettings& s = task.Settings;
        EXPECT_EQ(s.FrameWidth, row.width) << row.target;
        EXPECT_EQ(s.FrameHeight, row.height) << row.target;
        EXPECT_EQ(av_cmp_q(s.FrameRate, row.rate), 0) << row.target;
        EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "g"), row.gop ? row.gop : 12) << row.target;
        EXPECT_EQ(s.AudioSampleRate, row.sampleRate) << row.target;
        ASSERT_NE(s.OutputFormat, nullptr) << row.target;
        EXPECT_STREQ(s.OutputFormat->name, row.format) << row.target;
        EXPECT_FALSE(Logged("Assuming PAL for target.") || Logged("Assuming NTSC for target."))
            << "a given norm is not guessed: " << row.target;
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

TEST_F(TargetsTest, ChannelsByTarget) {
    const struct {
        const char* target;
        int before, after;
    } rows[] = {{"pal-svcd", 6, 6}, {"pal-svcd", 1, 2}, {"pal-dvd", 1, 2},
                {"pal-dvd", 6, 6},  {"pal-vcd", 6, 2},  {"pal-dv", 1, 2}};
    for (const auto& row : rows) {
        task.InitOptions();
        task.Settings.AudioChannels = row.before;
        task.SetOption("target", row.target);
        EXPECT_EQ(task.Settings.AudioChannels, row.after) << row.target << " " << row.before;
    }
}

TEST_F(TargetsTest, DvPixelFormats) {
    const struct {
        const char* target;
        AVPixelFormat format;
    } rows[] = {{"pal-dv", AV_PIX_FMT_YUV420P},
                {"ntsc-dv", AV_PIX_FMT_YUV411P},
                {"film-dv", AV_PIX_FMT_YUV411P},
                {"pal-dv50", AV_PIX_FMT_YUV422P},
                {"ntsc-dv50", AV_PIX_FMT_YUV422P}};
    for (const auto& row : rows) {
        task.SetOption("target", row.target);
        EXPECT_EQ(task.Settings.FramePixelFormat, row.format) << row.target;
    }
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
    EXPECT_TRUE(lines.empty() || !Logged("Assuming NTSC for target."));
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
    task.InputFiles.back().Context = input;

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
    task.SetOption("s", "720x576");
    const struct {
        const char* option;
        const char* value;
        const char* failure;
    } rows[] = {
        {"croptop", "7", "Top crop size must be a multiple of 2"},
        {"cropbottom", "3", "Bottom crop size must be a multiple of 2"},
        {"cropleft", "1", "Left crop size must be a multiple of 2"},
        {"cropright", "9", "Right crop size must be a multiple of 2"},
        {"croptop", "576",
         "Vertical crop dimensions are outside the range of the original image.\nRemember to "
         "crop first and scale second."},
        {"cropbottom", "1000",
         "Vertical crop dimensions are outside the range of the original image.\nRemember to "
         "crop first and scale second."},
        {"cropleft", "720",
         "Horizontal crop dimensions are outside the range of the original image.\nRemember to "
         "crop first and scale second."},
        {"cropright", "722",
         "Horizontal crop dimensions are outside the range of the original image.\nRemember to "
         "crop first and scale second."},
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
    EXPECT_EQ(Failure("croptop", "232"),
              "Vertical crop dimensions are outside the range of the original image.\nRemember "
              "to crop first and scale second.");
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
