// Every shipped profile, mapped for a real source, gives a record that a real task converts:
// sources with video and audio, video only and audio only each convert into an output whose
// streams, codecs, frame size, rate and duration the probe confirms, or are refused when the job
// is added, with the reason. A missing encoder is a clear refusal naming it. Video bit rates hold
// on a clip with motion, and a picture keeps its proportions when the profile is told to.
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "MediaFactory.h"
#include "ProfileCatalogue.h"
#include "ProfileMapping.h"
#include "TestLibraries.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

namespace velto {
namespace {

constexpr int kShippedProfiles = 23;

TOutputProfile ShippedProfile(int index) {
    TProfileCatalogue catalogue(SettingsFilePath(VELTO_DATA_DIR),
                                FactoryProfilesPath(VELTO_DATA_DIR));
    catalogue.Load();
    EXPECT_EQ(catalogue.Titles().size(), std::size_t(kShippedProfiles));
    catalogue.Select(index);
    return catalogue.Profile();
}

// One job as the window runs it: the mapping's record applied to a task, the output opened (the
// step at which Add refuses a job) and the whole conversion run.
struct TJobRun {
    TOutputOptions Record;
    bool Added = false;
    std::string Refusal; // the task's reason when the job was not added
    bool Finished = false;
    std::string Failure; // the run's reason when it did not finish
};

TJobRun RunJob(const TOutputProfile& profile, const TProfileSelection& selection,
               const std::string& source, const std::string& folder) {
    TJobRun run;
    TAVProbe probe;
    EXPECT_TRUE(probe.LoadFile(source)) << probe.LastError;
    std::filesystem::create_directories(folder);
    run.Record = BuildOutputOptions(profile, selection, probe.GetFileName(),
                                    TOutputPlacement{folder + "/", false, {}});
    TFFmpeg task;
    task.InitOptions();
    task.Settings.Verbosity = -1;
    TInputOptions in = BuildInputOptions(probe);
    ApplyInputRecord(task, "", in);
    EXPECT_TRUE(task.OpenInputFile(in.FileName)) << task.LastError;
    try {
        ApplyOutputRecord(task, "", run.Record, nullptr, nullptr);
    } catch (const std::exception& error) {
        run.Refusal = error.what();
        return run;
    }
    if (!task.OpenOutputFile(run.Record.FileName)) {
        run.Refusal = task.LastError;
        return run;
    }
    run.Added = true;
    try {
        task.Transcode();
    } catch (const std::exception& error) {
        run.Failure = error.what();
    }
    run.Finished = task.Finished && run.Failure.empty();
    task.CloseOpenCodecs();
    task.ReleaseFiles();
    return run;
}

// The name the probe gives the codec an encoder writes ("libx264" writes "h264").
std::string CodecWrittenBy(const std::string& encoder) {
    const std::string current = encoder == "libfaac" ? "aac" : encoder;
    const AVCodec* codec = AVCodecHlpr::avcodec_find_encoder_by_name(current.c_str());
    return codec ? AVCodecHlpr::avcodec_get_name(codec->id) : "";
}

double RateOf(const std::string& text) {
    const std::size_t slash = text.find('/');
    if (slash != std::string::npos)
        return std::stod(text.substr(0, slash)) / std::stod(text.substr(slash + 1));
    return std::stod(text);
}

struct TSourceKind {
    const char* Name;
    bool Video;
    bool Audio;
};

constexpr TSourceKind kSourceKinds[] = {
    {"VideoAndAudio", true, true}, {"VideoOnly", true, false}, {"AudioOnly", false, true}};
constexpr double kSourceSeconds = 2.0;

std::string MakeSource(const TSourceKind& kind, const std::string& folder) {
    if (kind.Video && kind.Audio)
        return test::MakeAviMpeg4Mp2(folder, kSourceSeconds);
    if (kind.Video)
        return test::MakeVideoOnly(folder, kSourceSeconds);
    return test::MakeMp3(folder, kSourceSeconds);
}

class ShippedProfileConverts : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(ShippedProfileConverts, EachSourceKindOrIsRefusedWithTheReason) {
    test::LoadTestLibraries();
    const auto [index, kindIndex] = GetParam();
    const TSourceKind& kind = kSourceKinds[kindIndex];
    const std::string dir = test::ScratchFolder();
    const TOutputProfile profile = ShippedProfile(index);
    const std::string source = MakeSource(kind, dir);
    const TJobRun run = RunJob(profile, SelectionFor(profile), source, dir + "/out");
    const TOutputOptions& r = run.Record;
    SCOPED_TRACE(r.FileName);

    const bool audioProfile = r.DisableVideo;
    const bool videoOut = kind.Video && !audioProfile;
    const bool audioOut = kind.Audio && !r.DisableAudio;
    if (!videoOut && !audioOut) {
        // Nothing of the source fits the profile: the job is not added, and the user is told.
        EXPECT_FALSE(run.Added);
        EXPECT_FALSE(run.Refusal.empty());
        return;
    }
    if (!run.Added || !run.Finished) {
        // Only a device that needs both kinds of stream may turn down a source with one, when
        // the job is added or at the latest when its output is started, always with a reason.
        EXPECT_FALSE(kind.Video && kind.Audio) << run.Refusal << run.Failure;
        EXPECT_FALSE(run.Refusal.empty() && run.Failure.empty());
        return;
    }

    TAVProbe output;
    ASSERT_TRUE(output.LoadFile(r.FileName)) << output.LastError;
    EXPECT_EQ(output.VideoStreamCount, videoOut ? 1 : 0);
    EXPECT_EQ(output.AudioStreamCount, audioOut ? 1 : 0);
    TFormatInfo format{};
    output.GetFormatInfo(format);
    EXPECT_NEAR(format.Duration / 1e6, kSourceSeconds, 0.25);
    if (videoOut) {
        TVideoStreamInfo video{};
        output.GetVideoStreamInfo(output.FirstVideoStreamIndex, video);
        if (r.Target == 0) {
            EXPECT_EQ(video.CodecName, CodecWrittenBy(r.VideoCodec));
            // The source is 176x144 at 25 pictures a second.
            int width = 176, height = 144;
            if (!r.FrameSize.empty()) {
                ASSERT_EQ(std::sscanf(r.FrameSize.c_str(), "%dx%d", &width, &height), 2);
            }
            EXPECT_EQ(video.Width, width + std::max(0, r.PadLeft) + std::max(0, r.PadRight));
            EXPECT_EQ(video.Height, height + std::max(0, r.PadTop) + std::max(0, r.PadBottom));
            const double rate = r.FrameRate.empty() ? 25.0 : RateOf(r.FrameRate);
            EXPECT_NEAR(double(video.FrameRateNum) / video.FrameRateDen, rate, 0.05 * rate);
        } else {
            // Disc targets choose their own codec and norm.
            EXPECT_TRUE(std::string(video.CodecName).starts_with("mpeg"));
            EXPECT_EQ(video.Width % 16, 0);
        }
        // Some containers (FLV) keep no duration per stream; the file's is checked above.
        if (video.DurationUs > 0) {
            EXPECT_NEAR(video.DurationUs / 1e6, kSourceSeconds, 0.25);
        }
    }
    if (audioOut) {
        TAudioStreamInfo audio{};
        output.GetAudioStreamInfo(output.FirstAudioStreamIndex, audio);
        if (r.Target == 0) {
            EXPECT_EQ(audio.CodecName, CodecWrittenBy(r.AudioCodec));
            EXPECT_EQ(audio.SampleRate, r.AudioSampleRate);
            EXPECT_EQ(audio.Channels, r.AudioChannels);
        }
        if (audio.DurationUs > 0) {
            EXPECT_NEAR(audio.DurationUs / 1e6, kSourceSeconds, 0.25);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ShippedProfileConverts,
                         ::testing::Combine(::testing::Range(0, kShippedProfiles),
                                            ::testing::Range(0, 3)),
                         [](const auto& info) {
                             return "Profile" + std::to_string(std::get<0>(info.param)) + "_" +
                                    kSourceKinds[std::get<1>(info.param)].Name;
                         });

// Bytes of the output's video packets, read straight from the container.
std::int64_t VideoPayloadBytes(const std::string& file) {
    AVFormatContext* context = nullptr;
    if (AVFormatHlpr::avformat_open_input(&context, file.c_str(), nullptr, nullptr) < 0)
        return -1;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> owner(
        context, [](AVFormatContext* c) { AVFormatHlpr::avformat_close_input(&c); });
    if (AVFormatHlpr::avformat_find_stream_info(context, nullptr) < 0)
        return -1;
    std::int64_t bytes = 0;
    AVPacket* packet = AVCodecHlpr::av_packet_alloc();
    while (AVFormatHlpr::av_read_frame(context, packet) >= 0) {
        if (context->streams[packet->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            bytes += packet->size;
        AVCodecHlpr::av_packet_unref(packet);
    }
    AVCodecHlpr::av_packet_free(&packet);
    return bytes;
}

class ShippedProfileBitRate : public ::testing::TestWithParam<int> {};

TEST_P(ShippedProfileBitRate, HoldsWithinFifteenPercentOverTenSeconds) {
    test::LoadTestLibraries();
    const std::string dir = test::ScratchFolder();
    const TOutputProfile profile = ShippedProfile(GetParam());
    TProfileSelection selection = SelectionFor(profile);
    TOutputOptions mapped = MapProfile(profile, selection);
    if (mapped.DisableVideo)
        GTEST_SKIP() << "audio only";
    // A source as large as the profile's frame, so that no size change helps or hurts the rate.
    int width = 176, height = 144;
    if (!mapped.FrameSize.empty())
        std::sscanf(mapped.FrameSize.c_str(), "%dx%d", &width, &height);
    constexpr double kSeconds = 10.0;
    const std::string source = test::MakeMotionClip(dir, kSeconds, width, height);
    const TJobRun run = RunJob(profile, selection, source, dir + "/out");
    ASSERT_TRUE(run.Added) << run.Refusal;
    ASSERT_TRUE(run.Finished) << run.Failure;
    // Disc targets hold the rate their standard fixes, whatever the list says.
    const double wanted = run.Record.Target == 1   ? 1150000.0
                          : run.Record.Target == 2 ? 2040000.0
                          : run.Record.Target == 3 ? 6000000.0
                                                   : double(run.Record.VideoBitRate);
    const double bitRate = VideoPayloadBytes(run.Record.FileName) * 8.0 / kSeconds;
    EXPECT_NEAR(bitRate, wanted, 0.15 * wanted) << run.Record.FileName;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ShippedProfileBitRate, ::testing::Range(0, kShippedProfiles),
                         [](const auto& info) { return "Profile" + std::to_string(info.param); });

TEST(ShippedProfilesEngineTest, MissingEncoderIsRefusedByName) {
    test::LoadTestLibraries();
    const std::string dir = test::ScratchFolder();
    // A phone profile on the speech encoder, which Debian's libraries leave out.
    const TOutputProfile amr{"h263", "amr", "176 x 144", "190", "15",  "8",
                             "8000", 0,     "",          1,     ".3gp"};
    const TJobRun run = RunJob(amr, SelectionFor(amr), test::MakeAviMpeg4Mp2(dir), dir + "/out");
    EXPECT_FALSE(run.Added);
    // The stream set-up prefixes its context: "new_audio_stream fail: Unknown encoder ...".
    EXPECT_NE(run.Refusal.find("Unknown encoder 'libamr_nb'"), std::string::npos) << run.Refusal;
}

} // namespace
} // namespace velto
