// Transcode set-up: which input stream feeds each output, the refusals that must come before any
// header is written, the two-pass log files, and encoding through the opened codecs.
#include "AVProbe.h"
#include "MediaFactory.h"
#include "MyUtils.h"
#include "TranscodeFixture.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace velto::test {
namespace {

TEST_F(TranscodeTest, AutomaticMappingTakesSameTypeStreamsInOrder) {
    // Video, English stereo, French mono: the two audio outputs take the two audio inputs.
    Input(MakeTwoAudio(folder, 1.0));
    Output("two.mkv", "vcodec=copy\nacodec=copy");
    task.ApplyOptionText("acodec=copy\nnewaudio");
    ASSERT_EQ(Transcode(), "");
    EXPECT_TRUE(Logged("  Stream #0.1 -> #0.1"));
    EXPECT_TRUE(Logged("  Stream #0.2 -> #0.2"));
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(Path("two.mkv"))) << probe.LastError;
    ASSERT_EQ(probe.AudioStreamCount, 2);
    TAudioStreamInfo first{}, second{};
    probe.GetAudioStreamInfo(1, first);
    probe.GetAudioStreamInfo(2, second);
    EXPECT_EQ(first.Channels, 2);
    EXPECT_EQ(second.Channels, 1);
    EXPECT_STREQ(second.Language, "fre"); // the language follows the source stream
}

TEST_F(TranscodeTest, SecondOutputReusesTheOnlyAudioStream) {
    const std::string source = MakeMp3(folder, 1.0);
    Input(source);
    Output("first.mkv", "acodec=copy");
    Output("second.mkv", "acodec=copy");
    ASSERT_EQ(Transcode(), "");
    EXPECT_TRUE(Logged("  Stream #0.0 -> #0.0"));
    EXPECT_TRUE(Logged("  Stream #0.0 -> #1.0"));
    const int packets = CountStreams(source, false).at(0).packets;
    EXPECT_EQ(CountStreams(Path("first.mkv"), false).at(0).packets, packets);
    EXPECT_EQ(CountStreams(Path("second.mkv"), false).at(0).packets, packets);
}

TEST_F(TranscodeTest, ExplicitMapsChooseSourceAndSync) {
    Input(MakeTwoAudio(folder, 1.0));
    Output("mapped.mkv", "vcodec=copy\nacodec=copy");
    task.ApplyOptionText("map=0.0\nmap=0.2:0.0");
    ASSERT_EQ(Transcode(), "");
    EXPECT_TRUE(Logged("  Stream #0.0 -> #0.0"));
    EXPECT_TRUE(Logged("  Stream #0.2 -> #0.1"));
    EXPECT_TRUE(Logged(" [sync #0.0]"));
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(Path("mapped.mkv")));
    TAudioStreamInfo audio{};
    probe.GetAudioStreamInfo(1, audio);
    EXPECT_EQ(audio.Channels, 1);
}

TEST_F(TranscodeTest, RefusalsComeBeforeAnyHeader) {
    const struct {
        const char* name;
        const char* outputOptions;
        const char* lateOptions;
        bool customHook;
        const char* message;
    } cases[] = {
        {"volume with audio copy", "vcodec=copy\nacodec=copy\nvol=512", "", false,
         "-acodec copy and -vol are incompatible (frames are not decoded)"},
        {"custom hook with video copy", "vcodec=copy\nacodec=copy", "", true,
         "-vcodec copy and CustomHook are incompatible (frames are not decoded)"},
        {"too few maps", "vcodec=copy\nacodec=copy", "map=0.0", false,
         "Number of stream maps must match number of output streams"},
        {"missing stream", "vcodec=copy\nacodec=copy", "map=0.0\nmap=0.5", false,
         "Could not find input stream #0.5"},
        {"missing sync stream", "vcodec=copy\nacodec=copy", "map=0.0\nmap=0.1:3.0", false,
         "Could not find sync stream #3.0"},
        {"type mismatch", "vcodec=copy\nacodec=copy", "map=0.1\nmap=0.1", false,
         "Codec type mismatch for mapping #0.1 -> #0.0"},
        {"metadata map output", "vcodec=copy\nacodec=copy", "map_meta_data=3:0", false,
         "Invalid output file index 3 map_meta_data(3,0)"},
        {"metadata map input", "vcodec=copy\nacodec=copy", "map_meta_data=0:2", false,
         "Invalid input file index 2 map_meta_data(0,2)"},
        {"no stream at all", "vn\nan", "", false, "Output file does not contain any stream"},
        {"program that is not there", "vcodec=copy\nacodec=copy", "programid=99", false,
         "Could not find input stream matching output stream #0.0"},
        {"volume unchanged", "vcodec=copy\nacodec=copy\nvol=256", "", false, ""},
    };
    const std::string source = MakeAviMpeg4Mp2(folder, 1.0);
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        task.ReleaseFiles();
        task.InitOptions();
        Input(source);
        Output("refused.avi", row.outputOptions);
        if (*row.lateOptions)
            task.ApplyOptionText(row.lateOptions);
        task.CustomHookAssigned = row.customHook;
        EXPECT_EQ(Transcode(), row.message);
        if (*row.message) {
            EXPECT_LE(FileSizeOf(Path("refused.avi")), 0) << "a header was written";
        } else {
            EXPECT_GT(FileSizeOf(Path("refused.avi")), 0);
        }
    }
}

// Where a library call refuses the set-up, the message says what the library said as well, so
// that a typo in the user's filter text is not just "Error opening filters!".
TEST_F(TranscodeTest, LibraryRefusalsCarryTheLibrarysReason) {
    const struct {
        const char* name;
        const char* outputOptions;
        const char* message;
    } cases[] = {
        {"typo in the filter text", "vcodec=mpeg4\nan\nvfilters=hfilp",
         "Error opening filters: Invalid argument"},
        {"filter argument the filter refuses", "vcodec=mpeg4\nan\nvfilters=hflip,scale=w=abc",
         "Error opening filters: Invalid argument"},
        {"bitstream filter for another codec", "vcodec=copy\nacodec=copy\nvbsf=h264_mp4toannexb",
         "Error initializing bitstream filter: h264_mp4toannexb: Invalid argument"},
        {"sample rate the encoder does not take", "vn\nacodec=mp2\nar=12345",
         "Error while opening codec for output stream #0.0 - maybe incorrect parameters such as "
         "bit_rate, rate, width or height: Invalid argument"},
    };
    const std::string source = MakeAviMpeg4Mp2(folder, 0.5);
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        task.ReleaseFiles();
        task.InitOptions();
        Input(source);
        Output("refused.avi", row.outputOptions);
        EXPECT_EQ(Transcode(), row.message);
        EXPECT_FALSE(std::filesystem::exists(Path("refused.avi")));
    }
}

// Runs in the scratch folder: the two-pass log names are relative.
class TranscodePassTest : public TranscodeTest {
protected:
    void SetUp() override {
        TranscodeTest::SetUp();
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        TranscodeTest::TearDown();
    }
    std::filesystem::path previous;
};

TEST_F(TranscodePassTest, SecondPassWithoutLogFails) {
    Input(MakeVideoOnly(folder, 1.0));
    Output("pass2.avi", "vcodec=mpeg4\npass=2");
    EXPECT_EQ(Transcode(), "creat open fail: ffmpeg2pass-0.log");
    EXPECT_LE(FileSizeOf(Path("pass2.avi")), 0);
}

TEST_F(TranscodePassTest, TwoPassesEncodeWithTheirLog) {
    const std::string source = MakeAviMpeg4Mp2(folder, 1.0);
    const int pictures = CountStreams(source, false).at(0).packets;
    for (int pass : {1, 2}) {
        SCOPED_TRACE(pass);
        task.ReleaseFiles();
        task.InitOptions();
        Input(source);
        Output("pass.avi",
               "vcodec=mpeg4\nacodec=mp2\npasslogfile=stats\npass=" + std::to_string(pass));
        ASSERT_EQ(Transcode(), "");
        EXPECT_TRUE(task.Finished);
        EXPECT_GT(FileSizeOf("stats-0.log"), 0);
        const auto out = CountStreams(Path("pass.avi"), true);
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[0].frames, pictures);
        EXPECT_EQ(out[0].decodeErrors, 0);
        EXPECT_NEAR(out[1].endTime, 1.0, 0.1);
    }
}

TEST_F(TranscodeTest, FilterChainScalesToTheRequestedSize) {
    Input(MakeVideoOnly(folder, 1.0));
    Output("scaled.avi", "vcodec=mpeg4\ns=88x72\nvfilters=hflip");
    ASSERT_EQ(Transcode(), "");
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(Path("scaled.avi")));
    TVideoStreamInfo video{};
    probe.GetVideoStreamInfo(0, video);
    EXPECT_EQ(video.Width, 88);
    EXPECT_EQ(video.Height, 72);
    EXPECT_EQ(CountStreams(Path("scaled.avi"), true).at(0).frames, 25);
}

TEST_F(TranscodeTest, DecodedH264AndAacAreEncodedAgain) {
    const std::string source = MakeMp4H264Aac(folder, 1.0);
    Input(source);
    Output("encoded.mkv", "vcodec=mpeg4\nacodec=mp2");
    ASSERT_EQ(Transcode(), "");
    const auto out = CountStreams(Path("encoded.mkv"), true);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].frames, CountStreams(source, false).at(0).packets);
    for (const StreamCount& count : out)
        EXPECT_EQ(count.decodeErrors, 0) << count.type;
}

// Every third picture gone: the average rate falls below the rate the timestamps step at.
TEST_F(TranscodeTest, UnevenPictureRateIsReportedWhenOpening) {
    const std::string even = MakeVideoOnly(folder, 1.0);
    const std::string uneven = Path("uneven.mp4");
    Remux(even, uneven, [](AVPacket&, AVMediaType type, int number) {
        return type != AVMEDIA_TYPE_VIDEO || number % 3 != 1;
    });
    Input(uneven, "v=1");
    EXPECT_TRUE(LoggedFragment("Seems stream 0 codec frame rate differs from container frame rate"))
        << ::testing::PrintToString(lines);
}

} // namespace
} // namespace velto::test
