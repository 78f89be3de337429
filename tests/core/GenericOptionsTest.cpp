// The libraries' option system: holders by media kind, prefixes, copying into real contexts,
// the debug escalation, bit-rate warnings and codec look-up.
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "FailureOf.h"
#include "LogBridge.h"
#include "TaskFixture.h"

namespace velto::test {
namespace {

using GenericOptionsTest = TaskTest;

TEST_F(GenericOptionsTest, EmptyNamesAndValuesAreRefused) {
    EXPECT_FALSE(task.SetGenericOption("", "1"));
    EXPECT_FALSE(task.SetGenericOption("b", "  "));
    EXPECT_FALSE(task.SetGenericOption("no_such_option", "1"));
    EXPECT_FALSE(task.SetGenericOption("b", "not a number")); // the library rejects the value
    EXPECT_TRUE(task.Settings.GenericOptionNames.empty());
}

TEST_F(GenericOptionsTest, OptionsReachTheHoldersOfTheirKinds) {
    // A bare "b" is the video bit rate only: "b=800000" must not make an 800 kbit/s MP3.
    const std::int64_t audioDefault = HolderInt(Codec(AVMEDIA_TYPE_AUDIO), "b");
    EXPECT_TRUE(task.SetGenericOption("b", "64000"));
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "b"), 64000);
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_AUDIO), "b"), audioDefault);

    EXPECT_TRUE(task.SetGenericOption("ar", "22050")); // audio only
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_AUDIO), "ar"), 22050);
    EXPECT_NE(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "ar"), 22050);

    EXPECT_TRUE(task.SetGenericOption("packetsize", "2324")); // container
    EXPECT_EQ(HolderInt(task.Settings.FormatOptionHolder.get(), "packetsize"), 2324);

    EXPECT_TRUE(task.SetGenericOption("sws_flags", "bilinear")); // scaler
    EXPECT_EQ(HolderInt(task.Settings.ScalerOptionHolder.get(), "sws_flags"), SWS_BILINEAR);

    EXPECT_TRUE(task.SetGenericOption("ab", "128000")); // prefix: audio "b"
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_AUDIO), "b"), 128000);
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "b"), 64000);
    EXPECT_TRUE(task.SetGenericOption("vb", "800000")); // prefix: video "b"
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "b"), 800000);
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_AUDIO), "b"), 128000);

    // "ab" is still a library name of its own; "vb" reaches "b" through the prefix rule.
    const std::vector<std::string> names = {"b", "ar", "packetsize", "sws_flags", "ab", "b"};
    EXPECT_EQ(task.Settings.GenericOptionNames, names);
}

TEST_F(GenericOptionsTest, BitRateWarningOnlyBelowOneThousand) {
    const struct {
        const char* name;
        const char* value;
        bool warns;
    } rows[] = {{"b", "500", true},    {"b", "64000", false}, {"ab", "999", true},
                {"ab", "1000", false}, {"vb", "12", true},    {"b", "junk", false}};
    const std::string warning = "WARNING: The bitrate parameter is set too low. It takes bits/s "
                                "as argument, not kbits/s";
    for (const auto& row : rows) {
        task.InitOptions();
        lines.clear();
        task.SetOption(row.name, row.value);
        EXPECT_EQ(Logged(warning), row.warns) << row.name << "=" << row.value;
    }
    // "ab" reads the audio rate: a low video rate set before does not warn for audio.
    task.InitOptions();
    task.SetOption("b", "100");
    lines.clear();
    task.SetOption("ab", "64000");
    EXPECT_FALSE(Logged(warning));
}

TEST_F(GenericOptionsTest, ApplyCopiesOnlyOptionsWithAllRequestedFlags) {
    task.SetOption("b", "777000");
    task.SetOption("ab", "96000");
    task.SetOption("cutoff", "15000"); // an audio-only option
    task.SetOption("packetsize", "1234");

    AVCodecContext* video = AVCodecHlpr::avcodec_alloc_context3(nullptr);
    task.ApplyGenericOptions(video, Codec(AVMEDIA_TYPE_VIDEO),
                             AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);
    EXPECT_EQ(video->bit_rate, 777000);
    EXPECT_EQ(video->cutoff, 0); // "cutoff" is no video option
    AVCodecHlpr::avcodec_free_context(&video);

    AVCodecContext* audio = AVCodecHlpr::avcodec_alloc_context3(nullptr);
    task.ApplyGenericOptions(audio, Codec(AVMEDIA_TYPE_AUDIO),
                             AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
    EXPECT_EQ(audio->bit_rate, 96000);
    EXPECT_EQ(audio->cutoff, 15000);
    AVCodecHlpr::avcodec_free_context(&audio);

    AVFormatContext* output = AVFormatHlpr::avformat_alloc_context();
    task.ApplyGenericOptions(output, task.Settings.FormatOptionHolder.get(),
                             AV_OPT_FLAG_ENCODING_PARAM);
    EXPECT_EQ(output->packet_size, 1234u);
    AVFormatHlpr::avformat_free_context(output);

    task.ApplyGenericOptions(nullptr, Codec(AVMEDIA_TYPE_VIDEO), 1); // nothing to do
}

TEST_F(GenericOptionsTest, PrivateMuxerOptionsReachOutputsThatHaveThem) {
    EXPECT_TRUE(task.SetGenericOption("muxrate", "1411200")); // only the MPEG muxers know it
    EXPECT_FALSE(task.SetGenericOption("no_such_private_option", "1"));
    ASSERT_EQ(task.Settings.PrivateOptions.size(), 1u);
    EXPECT_TRUE(task.Settings.GenericOptionNames.empty());

    AVFormatContext* vcd = nullptr;
    ASSERT_GE(AVFormatHlpr::avformat_alloc_output_context2(&vcd, nullptr, "vcd", nullptr), 0);
    task.ApplyGenericOptions(vcd, task.Settings.FormatOptionHolder.get(),
                             AV_OPT_FLAG_ENCODING_PARAM);
    std::int64_t muxRate = 0;
    EXPECT_GE(AVUtilHlpr::av_opt_get_int(vcd, "muxrate", AV_OPT_SEARCH_CHILDREN, &muxRate), 0);
    EXPECT_EQ(muxRate, 1411200);
    AVFormatHlpr::avformat_free_context(vcd);

    // A context without such an option is left alone.
    AVFormatContext* avi = nullptr;
    ASSERT_GE(AVFormatHlpr::avformat_alloc_output_context2(&avi, nullptr, "avi", nullptr), 0);
    task.ApplyGenericOptions(avi, task.Settings.FormatOptionHolder.get(),
                             AV_OPT_FLAG_ENCODING_PARAM);
    AVFormatHlpr::avformat_free_context(avi);
}

TEST_F(GenericOptionsTest, DebugOptionRaisesEveryVerbosityToTwo) {
    task.SetOption("v", "0");
    task.SetOption("bufsize", "1000");
    EXPECT_EQ(task.Settings.Verbosity, 0);
    task.SetOption("debug", "mb_type");
    EXPECT_EQ(task.Settings.Verbosity, 2);
    EXPECT_EQ(LogThreshold(), 2);
    EXPECT_EQ(AVUtilHlpr::av_log_get_level(), AV_LOG_DEBUG);

    task.InitOptions();
    task.SetOption("v", "0");
    task.SetOption("fdebug", "ts"); // the container's debug option
    EXPECT_EQ(task.Settings.Verbosity, 2);
}

TEST_F(GenericOptionsTest, FindCodecIdByNameKindAndRole) {
    const struct {
        const char* name;
        AVMediaType kind;
        bool encoder;
        bool found;
        AVCodecID id;
        const char* error;
    } rows[] = {
        {"", AVMEDIA_TYPE_VIDEO, true, true, AV_CODEC_ID_NONE, ""},
        {"mpeg4", AVMEDIA_TYPE_VIDEO, true, true, AV_CODEC_ID_MPEG4, ""},
        {"mp2", AVMEDIA_TYPE_AUDIO, false, true, AV_CODEC_ID_MP2, ""},
        {"libfaac", AVMEDIA_TYPE_AUDIO, true, true, AV_CODEC_ID_AAC, ""},
        {"mp2", AVMEDIA_TYPE_VIDEO, false, false, AV_CODEC_ID_NONE, "Invalid decoder type 'mp2'"},
        {"mpeg4", AVMEDIA_TYPE_AUDIO, true, false, AV_CODEC_ID_NONE,
         "Invalid encoder type 'mpeg4'"},
        {"nothing", AVMEDIA_TYPE_VIDEO, true, false, AV_CODEC_ID_NONE, "Unknown encoder 'nothing'"},
        {"nothing", AVMEDIA_TYPE_VIDEO, false, false, AV_CODEC_ID_NONE,
         "Unknown decoder 'nothing'"},
    };
    for (const auto& row : rows) {
        AVCodecID id = AV_CODEC_ID_PROBE;
        EXPECT_EQ(FailureOf([&] { id = task.FindCodecId(row.name, row.kind, row.encoder); }),
                  row.error)
            << row.name;
        EXPECT_EQ(id, row.found ? row.id : AV_CODEC_ID_PROBE) << row.name;
    }
    // Debian's build has no AMR-NB encoder: the message keeps the user's name.
    if (!AVCodecHlpr::avcodec_find_encoder_by_name("libopencore_amrnb")) {
        EXPECT_EQ(FailureOf([&] { task.FindCodecId("libamr_nb", AVMEDIA_TYPE_AUDIO, true); }),
                  "Unknown encoder 'libamr_nb'");
    }
}

} // namespace
} // namespace velto::test
