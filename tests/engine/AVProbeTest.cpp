#include "AVProbe.h"
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LogCapture.h"
#include "MediaFactory.h"
#include "TestLibraries.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace velto;
using namespace velto::test;

namespace {

class AVProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
    }
    std::string folder;
    TAVProbe probe;
};

void ExpectEmpty(const TCustomAVProbe& probe) {
    EXPECT_EQ(probe.FormatContext(), nullptr);
    for (int counter :
         {probe.StreamCount, probe.ProgramCount, probe.AudioStreamCount, probe.VideoStreamCount,
          probe.SubtitleStreamCount, probe.FirstAudioStreamIndex, probe.FirstVideoStreamIndex,
          probe.FirstSubtitleStreamIndex})
        EXPECT_EQ(counter, -1);
}

TEST_F(AVProbeTest, CountsStreamsOfEveryFactoryFile) {
    struct Case {
        std::string (*make)(const std::string&, double);
        int streams, video, audio, subtitle, firstVideo, firstAudio, firstSubtitle;
    } cases[] = {
        {MakeAviMpeg4Mp2, 2, 1, 1, 0, 0, 1, -1},    {MakeMp4H264Aac, 2, 1, 1, 0, 0, 1, -1},
        {MakeMpegPsMpeg2Mp2, 2, 1, 1, 0, 0, 1, -1}, {MakeWav, 1, 0, 1, 0, -1, 0, -1},
        {MakeMp3, 1, 0, 1, 0, -1, 0, -1},           {MakeVideoOnly, 1, 1, 0, 0, 0, -1, -1},
        {MakeTwoAudio, 3, 1, 2, 0, 0, 1, -1},       {MakeWithSubtitle, 3, 1, 1, 1, 0, 1, 2},
    };
    for (const Case& c : cases) {
        const std::string file = c.make(folder, 1.0);
        SCOPED_TRACE(file);
        ASSERT_TRUE(probe.LoadFile(file)) << probe.LastError;
        EXPECT_EQ(probe.StreamCount, c.streams);
        EXPECT_EQ(probe.ProgramCount, 0);
        EXPECT_EQ(probe.VideoStreamCount, c.video);
        EXPECT_EQ(probe.AudioStreamCount, c.audio);
        EXPECT_EQ(probe.SubtitleStreamCount, c.subtitle);
        EXPECT_EQ(probe.FirstVideoStreamIndex, c.firstVideo);
        EXPECT_EQ(probe.FirstAudioStreamIndex, c.firstAudio);
        EXPECT_EQ(probe.FirstSubtitleStreamIndex, c.firstSubtitle);
        EXPECT_TRUE(probe.OwnsContext());
        EXPECT_EQ(probe.GetFileName(), file);
    }
    probe.Close();
    ExpectEmpty(probe);
}

TEST_F(AVProbeTest, DescribesAudioAndVideoStreams) {
    MediaRecipe recipe;
    recipe.seconds = 2.0;
    VideoTrack video;
    video.width = 320;
    video.height = 240;
    video.sampleAspectNum = 4;
    video.sampleAspectDen = 3;
    recipe.video.push_back(video);
    AudioTrack audio;
    audio.sampleRate = 22050;
    audio.channels = 1;
    audio.language = "ger";
    recipe.audio.push_back(audio);
    const std::string file = MakeMedia(folder + "/described.mkv", recipe);
    ASSERT_TRUE(probe.LoadFile(file)) << probe.LastError;

    TVideoStreamInfo v;
    probe.GetVideoStreamInfo(-1, v);
    EXPECT_STREQ(v.CodecName, "mpeg4");
    EXPECT_EQ(v.Width, 320);
    EXPECT_EQ(v.Height, 240);
    EXPECT_NEAR(v.AspectRatio, 4.0 / 3.0 * 320 / 240, 1e-4);
    EXPECT_EQ(v.FrameRateNum, 25);
    EXPECT_EQ(v.FrameRateDen, 1);
    EXPECT_EQ(v.PixelFormat, AV_PIX_FMT_YUV420P);
    EXPECT_GE(v.StartTimeUs, 0);

    TAudioStreamInfo a;
    probe.GetAudioStreamInfo(-1, a);
    EXPECT_STREQ(a.CodecName, "mp2");
    EXPECT_STREQ(a.Language, "ger");
    EXPECT_EQ(a.SampleRate, 22050);
    EXPECT_EQ(a.Channels, 1);
    EXPECT_GE(a.SampleFormat, 0);

    TFormatInfo format;
    probe.GetFormatInfo(format);
    EXPECT_NEAR(format.Duration, 2000000, 100000);
    EXPECT_GT(probe.GetFileSize(), 0);
    EXPECT_EQ(probe.GetFileSize(), static_cast<std::int64_t>(std::filesystem::file_size(file)));
}

TEST_F(AVProbeTest, StreamQueriesWithBadIndicesLogAndLeaveDefaults) {
    LogCapture log;
    ASSERT_TRUE(probe.LoadFile(MakeVideoOnly(folder, 1.0))) << probe.LastError;
    TAudioStreamInfo a;
    probe.GetAudioStreamInfo(-1, a);
    EXPECT_TRUE(log.Has("no audio stream."));
    for (std::int64_t field :
         {a.StartTime, a.StartTimeUs, a.Duration, a.DurationUs, std::int64_t{a.BitRate},
          std::int64_t{a.Channels}, std::int64_t{a.SampleRate}, std::int64_t{a.SampleFormat}})
        EXPECT_EQ(field, -1);
    EXPECT_STREQ(a.CodecName, "");

    TVideoStreamInfo v;
    probe.GetVideoStreamInfo(probe.StreamCount, v);
    EXPECT_TRUE(log.Has("stream index #1 is invalid.")) << "an index equal to StreamCount";
    EXPECT_EQ(v.Width, -1);
    EXPECT_FLOAT_EQ(v.AspectRatio, -1.0f);

    ASSERT_TRUE(probe.LoadFile(MakeAviMpeg4Mp2(folder, 1.0)));
    probe.GetVideoStreamInfo(1, v);
    EXPECT_TRUE(log.Has("stream #1 is not video stream."));
    probe.GetAudioStreamInfo(0, a);
    EXPECT_TRUE(log.Has("stream #0 is not audio stream."));
}

TEST_F(AVProbeTest, EmptyProbeAnswersWithDefaultsAndLogs) {
    LogCapture log;
    TFormatInfo format;
    probe.GetFormatInfo(format);
    EXPECT_EQ(format.Duration, -1);
    EXPECT_EQ(format.Year, -1);
    EXPECT_STREQ(format.Title, "");
    EXPECT_EQ(probe.GetFileSize(), -1);
    EXPECT_EQ(probe.GetFileName(), "");
    EXPECT_TRUE(log.Has("file not loaded."));
    ExpectEmpty(probe);
}

TEST_F(AVProbeTest, OpenFailuresGiveTheirTextsAndLeaveTheProbeEmpty) {
    const std::string missing = folder + "/missing.avi";
    EXPECT_FALSE(probe.LoadFile(missing));
    EXPECT_EQ(probe.LastError, missing + ": no such file or directory");
    ExpectEmpty(probe);

    const std::string good = MakeAviMpeg4Mp2(folder, 2.0);
    const std::string damaged[] = {
        MakeEmptyFile(folder),
        MakeRandomFile(folder, "random.bin", 64 * 1024, 7),
        MakeTruncatedCopy(good, "truncated.avi", 0.01),
    };
    for (const std::string& file : damaged) {
        probe.LastError.clear();
        if (probe.LoadFile(file))
            continue; // some damage still opens; it must simply not crash
        EXPECT_FALSE(probe.LastError.empty()) << file;
        EXPECT_NE(probe.LastError.find(file), std::string::npos) << probe.LastError;
        ExpectEmpty(probe);
    }
    probe.LastError.clear();
    EXPECT_FALSE(probe.LoadFile(MakeRandomFile(folder, "noise.xyz", 4096, 11)));
    EXPECT_EQ(probe.LastError, folder + "/noise.xyz: Unknown format");

    // Raw pictures need a picture size that nobody gave: the header cannot be read.
    EXPECT_FALSE(probe.LoadFile(good, "rawvideo"));
    EXPECT_EQ(probe.LastError, good + ": Error while parsing header");
    ExpectEmpty(probe);

    EXPECT_FALSE(probe.LoadFile(good, "no_such_format"));
    EXPECT_EQ(probe.LastError, "Unknown input format: no_such_format");

    // A success keeps the last failure's text and records the forced format.
    ASSERT_TRUE(probe.LoadFile(good, "avi"));
    EXPECT_EQ(probe.LastError, "Unknown input format: no_such_format");
    EXPECT_EQ(probe.InputFormatName, "avi");
    probe.Close();
    EXPECT_EQ(probe.InputFormatName, "");
}

TEST_F(AVProbeTest, AttachedContextStaysOpenAfterClose) {
    const std::string file = MakeAviMpeg4Mp2(folder, 1.0);
    AVFormatContext* context = nullptr;
    ASSERT_EQ(AVFormatHlpr::avformat_open_input(&context, file.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(AVFormatHlpr::avformat_find_stream_info(context, nullptr), 0);
    probe.Attach(context);
    EXPECT_FALSE(probe.OwnsContext());
    EXPECT_EQ(probe.StreamCount, 2);
    probe.Close();
    ExpectEmpty(probe);
    // Still usable by its owner.
    AVPacket* packet = AVCodecHlpr::av_packet_alloc();
    EXPECT_EQ(AVFormatHlpr::av_read_frame(context, packet), 0);
    AVCodecHlpr::av_packet_free(&packet);
    AVFormatHlpr::avformat_close_input(&context);
}

TEST_F(AVProbeTest, FileSizeFallsBackToTheFileSystem) {
    const std::string file = MakeWav(folder, 1.0);
    // A context without an I/O layer reports size 0, as a demuxer that cannot tell does.
    AVFormatContext* context = AVFormatHlpr::avformat_alloc_context();
    context->url = AVUtilHlpr::av_strdup(file.c_str());
    probe.Attach(context);
    EXPECT_EQ(probe.GetFileSize(), static_cast<std::int64_t>(std::filesystem::file_size(file)));
    probe.Close();
    AVFormatHlpr::avformat_free_context(context);
}

TEST_F(AVProbeTest, StreamWithoutStartTimeKeepsTheNoTimestampValue) {
    // Demuxers of live sources leave the start unknown; stand in for one on an attached input.
    const std::string file = MakeAviMpeg4Mp2(folder, 1.0);
    AVFormatContext* context = nullptr;
    ASSERT_EQ(AVFormatHlpr::avformat_open_input(&context, file.c_str(), nullptr, nullptr), 0);
    context->streams[0]->start_time = AV_NOPTS_VALUE;
    probe.Attach(context);
    TVideoStreamInfo v;
    probe.GetVideoStreamInfo(0, v);
    EXPECT_EQ(v.StartTime, AV_NOPTS_VALUE);
    EXPECT_EQ(v.StartTimeUs, -1);
    EXPECT_EQ(v.Width, 176);
    probe.Close();
    AVFormatHlpr::avformat_close_input(&context);
}

TEST(AVProbeLibraries, UnboundLibrariesRaiseBeforeAnyWork) {
    velto::test::UnloadTestLibraries();
    TAVProbe probe;
    try {
        probe.LoadFile("whatever.avi");
        FAIL() << "expected an exception";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
    }
    EXPECT_THROW(probe.Attach(nullptr), std::runtime_error);
}

} // namespace
