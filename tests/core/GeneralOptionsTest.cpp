// General, file and timing options, the metadata texts and the guarded setters.
#include "LogBridge.h"
#include "TaskFixture.h"

#include <array>
#include <climits>

namespace velto::test {
namespace {

using GeneralOptionsTest = TaskTest;

TEST_F(GeneralOptionsTest, DefaultsAfterInitialisation) {
    const TaskSettings& s = task.Settings;
    EXPECT_EQ(s.RecordingTime, INT64_MAX);
    EXPECT_EQ(s.ExpectedDuration, -1);
    EXPECT_EQ(s.LoopOutput, -1);
    EXPECT_EQ(s.VideoSyncMethod, -1);
    EXPECT_FLOAT_EQ(s.AudioDriftThreshold, 0.1f);
    EXPECT_FLOAT_EQ(s.DtsDeltaThreshold, 10.0f);
    EXPECT_FLOAT_EQ(s.MuxMaxDelay, 0.7f);
    EXPECT_FLOAT_EQ(s.MuxPreload, 0.5f);
    EXPECT_EQ(s.Verbosity, 1);
    EXPECT_EQ(s.ScalerFlags, 4);
    EXPECT_EQ(s.PadColor[0], 16);
    EXPECT_EQ(s.PadColor[1], 128);
    EXPECT_EQ(s.FramePixelFormat, -1);
    EXPECT_EQ(s.AudioSampleRate, 44100);
    EXPECT_EQ(s.AudioChannels, 2);
    EXPECT_EQ(s.AudioVolume, 256);
    EXPECT_FLOAT_EQ(s.AudioQScale, -99999.0f);
    EXPECT_EQ(s.IntraDcPrecision, 8);
    EXPECT_EQ(s.TopFieldFirst, -1);
    for (int kind = 0; kind < kMediaKindCount; ++kind)
        EXPECT_NE(s.CodecOptionHolders[kind], nullptr);
    EXPECT_NE(s.FormatOptionHolder, nullptr);
    EXPECT_NE(s.ScalerOptionHolder, nullptr);
}

TEST_F(GeneralOptionsTest, RecordingTime) {
    task.SetOption("t", "0");
    EXPECT_EQ(task.Settings.RecordingTime, INT64_MAX);
    EXPECT_EQ(task.Settings.ExpectedDuration, -1);

    task.SetOption("t", "01:00:00");
    EXPECT_EQ(task.Settings.RecordingTime, 3600000000LL);
    EXPECT_EQ(task.Settings.ExpectedDuration, 3600000);

    task.SetOption("t", "0.0005"); // below one millisecond: nothing changes
    EXPECT_EQ(task.Settings.ExpectedDuration, 3600000);

    // 30 days stay a positive 64-bit limit; the 32-bit expected duration saturates.
    task.SetOption("t", "720:00:00");
    EXPECT_EQ(task.Settings.RecordingTime, 2592000000000LL);
    EXPECT_EQ(task.Settings.ExpectedDuration, INT_MAX);

    EXPECT_EQ(Failure("t", "abc"), "Invalid duration specification for t: abc");

    task.SetRecordingTime(-1);
    EXPECT_EQ(task.Settings.RecordingTime, 2592000000000LL);
    task.SetRecordingTime(30000);
    EXPECT_EQ(task.Settings.RecordingTime, 30000000);
    EXPECT_EQ(task.Settings.ExpectedDuration, 30000);
}

TEST_F(GeneralOptionsTest, TimesAndDates) {
    task.SetOption("ss", "1:30.5");
    EXPECT_EQ(task.Settings.StartTime, 90500000);
    task.SetOption("itsoffset", "-2");
    EXPECT_EQ(task.Settings.InputTimestampOffset, -2000000);
    EXPECT_EQ(Failure("ss", "x1"), "Invalid duration specification for ss: x1");

    task.SetOption("timestamp", "2001-09-09 01:46:40.6");
    EXPECT_GT(task.Settings.RecordingTimestamp, 1000000000 - 86400);
    EXPECT_LT(task.Settings.RecordingTimestamp, 1000000000 + 86400);
    task.SetOption("timestamp", "1970-01-01T00:00:10.5Z");
    EXPECT_EQ(task.Settings.RecordingTimestamp, 11); // rounded to the nearest second
    EXPECT_EQ(Failure("timestamp", "yesterday"),
              "Invalid date specification for timestamp: yesterday");

    task.SetStartTime(0);
    EXPECT_EQ(task.Settings.StartTime, 90500000);
    task.SetStartTime(5);
    EXPECT_EQ(task.Settings.StartTime, 5);
}

TEST_F(GeneralOptionsTest, TimestampScaleGoesToTheNextInput) {
    EXPECT_EQ(Failure("itsscale", "20:1.5"), "stream index over MAX_STREAMS(20)");
    EXPECT_EQ(Failure("itsscale", "-1:1.5"), "stream index over MAX_STREAMS(20)");
    for (const auto& row : task.Settings.InputTimestampScale)
        for (double scale : row)
            EXPECT_EQ(scale, 0.0);

    task.SetOption("itsscale", "0x1:2.5");
    EXPECT_DOUBLE_EQ(task.Settings.InputTimestampScale[0][1], 2.5);
    task.InputFiles.push_back({}); // one input opened
    task.SetOption("itsscale", "1:1.5");
    EXPECT_DOUBLE_EQ(task.Settings.InputTimestampScale[1][1], 1.5);
    task.SetOption("itsscale", "3");
    EXPECT_DOUBLE_EQ(task.Settings.InputTimestampScale[1][3], 0.0);

    task.InputFiles.resize(kMaxFiles); // no further input can be opened
    EXPECT_EQ(Failure("itsscale", "1:1.5"), "input file index over MAX_FILES(20)");
}

TEST_F(GeneralOptionsTest, StreamAndMetadataMaps) {
    task.SetOption("map", "0.1");
    task.SetOption("map", "1:2:3.4");
    task.SetOption("map", "010.0x1f");
    task.SetOption("map", "2");
    const std::vector<std::array<int, 4>> expected = {
        {0, 1, 0, 1}, {1, 2, 3, 4}, {8, 31, 8, 31}, {2, 0, 2, 0}};
    ASSERT_EQ(task.Settings.StreamMaps.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const TStreamMap& map = task.Settings.StreamMaps[i];
        EXPECT_EQ((std::array<int, 4>{map.FileIndex, map.StreamIndex, map.SyncFileIndex,
                                      map.SyncStreamIndex}),
                  expected[i])
            << i;
    }
    while (task.Settings.StreamMaps.size() < 400)
        task.SetOption("map", "0:0");
    EXPECT_EQ(Failure("map", "0:0"), "Too many stream maps: at most 400 are allowed");
    EXPECT_EQ(task.Settings.StreamMaps.size(), 400u);

    task.SetOption("map_meta_data", "1:0");
    ASSERT_EQ(task.Settings.MetadataMaps.size(), 1u);
    EXPECT_EQ(task.Settings.MetadataMaps[0].OutFile, 1);
    EXPECT_EQ(task.Settings.MetadataMaps[0].InFile, 0);
    for (int i = 1; i < 20; ++i)
        task.SetOption("map_meta_data", "0:0");
    EXPECT_EQ(Failure("map_meta_data", "0:0"), "Too many metadata maps: at most 20 are allowed");
}

TEST_F(GeneralOptionsTest, ValueOptionsAndSwitches) {
    task.ApplyOptionText("dframes=1\nvframes=2\naframes=3\nloop_output=0\nvsync=2\nasync=1\n"
                         "adrift_threshold=0.25\ndts_delta_threshold=3\nprogramid=7\n"
                         "muxdelay=1.5\nmuxpreload=0.25\nfs=5000000000\n"
                         "loop_input\ncopyts=ignored\nshortest\nxerror\ndump\nhex\nre\nisync");
    const TaskSettings& s = task.Settings;
    EXPECT_EQ(s.MaxFrames[AVMEDIA_TYPE_DATA], 1);
    EXPECT_EQ(s.MaxFrames[AVMEDIA_TYPE_VIDEO], 2);
    EXPECT_EQ(s.MaxFrames[AVMEDIA_TYPE_AUDIO], 3);
    EXPECT_EQ(s.LoopOutput, 0);
    EXPECT_EQ(s.VideoSyncMethod, 2);
    EXPECT_EQ(s.AudioSyncMethod, 1);
    EXPECT_FLOAT_EQ(s.AudioDriftThreshold, 0.25f);
    EXPECT_FLOAT_EQ(s.DtsDeltaThreshold, 3.0f);
    EXPECT_EQ(s.ProgramId, 7);
    EXPECT_FLOAT_EQ(s.MuxMaxDelay, 1.5f);
    EXPECT_FLOAT_EQ(s.MuxPreload, 0.25f);
    EXPECT_EQ(s.FileSizeLimit, 5000000000ULL);
    for (int flag : {s.LoopInput, int(s.CopyTimestamps), s.Shortest, int(s.ExitOnError),
                     s.PacketDump, s.HexDump, s.RateEmulation, s.InputSync})
        EXPECT_EQ(flag, 1);
    EXPECT_EQ(Failure("vsync", ""), "'' is not a valid integer value");
    EXPECT_EQ(Failure("muxdelay", "fast"), "'fast' is not a valid floating point value");
}

TEST_F(GeneralOptionsTest, MetadataTexts) {
    task.ApplyOptionText("title=T\nauthor=A\ncopyright=C\ncomment=M\ngenre=G\nalbum=B");
    task.ApplyOptionText("title=\nalbum="); // empty texts leave them unchanged
    EXPECT_EQ(task.Settings.Title, "T");
    EXPECT_EQ(task.Settings.Author, "A");
    EXPECT_EQ(task.Settings.Rights, "C");
    EXPECT_EQ(task.Settings.Comment, "M");
    EXPECT_EQ(task.Settings.Genre, "G");
    EXPECT_EQ(task.Settings.Album, "B");
}

TEST_F(GeneralOptionsTest, VerbositySetsTaskAndLibraryLevels) {
    task.SetOption("v", "2");
    EXPECT_EQ(task.Settings.Verbosity, 2);
    EXPECT_EQ(LogThreshold(), 2);
    EXPECT_EQ(AVUtilHlpr::av_log_get_level(), AV_LOG_DEBUG);
    task.SetOption("v", "-1");
    EXPECT_EQ(AVUtilHlpr::av_log_get_level(), AV_LOG_QUIET);
    EXPECT_EQ(Failure("v", "loud"), "'loud' is not a valid integer value");
}

TEST_F(GeneralOptionsTest, FormatOptions) {
    task.SetOption("f", "");
    EXPECT_EQ(task.Settings.InputFormat, nullptr);

    task.SetOption("f", "avi"); // both directions
    ASSERT_NE(task.Settings.InputFormat, nullptr);
    ASSERT_NE(task.Settings.OutputFormat, nullptr);
    EXPECT_STREQ(task.Settings.OutputFormat->name, "avi");

    task.SetOption("f", "svcd"); // output only: the input side becomes none
    EXPECT_EQ(task.Settings.InputFormat, nullptr);
    EXPECT_STREQ(task.Settings.OutputFormat->name, "svcd");

    EXPECT_EQ(Failure("f", "nonsense"), "Unknown input or output format: nonsense");

    task.SetOption("f", "pgmyuv");
    EXPECT_TRUE(Logged("pgmyuv format is deprecated, use image2"));
    EXPECT_EQ(task.Settings.PgmyuvCompatibility, 1);
    EXPECT_STREQ(task.Settings.InputFormat->name, "image2");
    EXPECT_STREQ(task.Settings.OutputFormat->name, "image2");
}

TEST_F(GeneralOptionsTest, FormatSetters) {
    task.SetInputFormat("");
    task.SetOutputFormat("");
    EXPECT_EQ(task.Settings.InputFormat, nullptr);
    EXPECT_EQ(task.Settings.OutputFormat, nullptr);

    task.SetInputFormat("wav");
    EXPECT_STREQ(task.Settings.InputFormat->name, "wav");
    EXPECT_EQ(task.Settings.OutputFormat, nullptr);
    task.SetOutputFormat("mp4");
    EXPECT_STREQ(task.Settings.OutputFormat->name, "mp4");
    EXPECT_STREQ(task.Settings.InputFormat->name, "wav");

    auto message = [&](auto call) -> std::string {
        try {
            call();
        } catch (const FFMpegException& error) {
            return error.what();
        }
        return {};
    };
    EXPECT_EQ(message([&] { task.SetInputFormat("svcd"); }), "Unknown input format: svcd");
    EXPECT_EQ(message([&] { task.SetOutputFormat("nope"); }), "Unknown output format: nope");
}

TEST_F(GeneralOptionsTest, GuardedSetters) {
    const struct {
        int value;
        bool applies;
    } rows[] = {{-1, false}, {0, false}, {3, true}};
    for (const auto& row : rows) {
        task.InitOptions();
        task.SetYear(row.value);
        task.SetTrack(row.value);
        task.SetProgramId(row.value);
        task.SetAudioVolume(row.value);
        task.SetMuxMaxDelay(static_cast<float>(row.value));
        task.SetMuxPreload(static_cast<float>(row.value));
        EXPECT_EQ(task.Settings.Year, row.applies ? 3 : 0);
        EXPECT_EQ(task.Settings.Track, row.applies ? 3 : 0);
        EXPECT_EQ(task.Settings.ProgramId, row.value >= 0 ? row.value : 0);
        EXPECT_EQ(task.Settings.AudioVolume, row.value >= 0 ? row.value : 256);
        EXPECT_FLOAT_EQ(task.Settings.MuxMaxDelay, row.applies ? 3.0f : 0.7f);
        EXPECT_FLOAT_EQ(task.Settings.MuxPreload, row.applies ? 3.0f : 0.5f);
    }
    task.SetAudioSyncMethod(-5);
    task.SetVideoSyncMethod(0);
    EXPECT_EQ(task.Settings.AudioSyncMethod, -5);
    EXPECT_EQ(task.Settings.VideoSyncMethod, 0);
}

} // namespace
} // namespace velto::test
