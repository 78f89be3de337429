// General, file and timing options, the metadata texts and the guarded setters.
#include "LogBridge.h"
#include "TaskFixture.h"

#include <array>
#include <climits>

namespace velto::test {
namespace {

using GeneralOptionsTest = TaskTest;

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
    EXPECT_TRUE(task.Settings.InputTimestampScale.Empty());

    task.SetOption("itsscale", "0x1:2.5");
    EXPECT_DOUBLE_EQ(task.Settings.InputTimestampScale.At(0, 1), 2.5);
    task.InputFiles.push_back({}); // one input opened
    task.SetOption("itsscale", "1:1.5");
    EXPECT_DOUBLE_EQ(task.Settings.InputTimestampScale.At(1, 1), 1.5);
    EXPECT_DOUBLE_EQ(task.Settings.InputTimestampScale.At(0, 1), 2.5) << "the first input's kept";
    task.SetOption("itsscale", "1:0.5");
    EXPECT_DOUBLE_EQ(task.Settings.InputTimestampScale.At(1, 1), 0.5) << "set again, replaced";
    task.SetOption("itsscale", "3");
    EXPECT_DOUBLE_EQ(task.Settings.InputTimestampScale.At(1, 3), 0.0);
    EXPECT_DOUBLE_EQ(task.Settings.InputTimestampScale.At(1, 2), 0.0) << "never set";

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

} // namespace
} // namespace velto::test
