// Option records applied to a task: defaults, order of application, guards, hook ranges.
#include "TaskOptions.h"
#include "TaskFixture.h"

namespace velto::test {
namespace {

TEST(HookRangesTest, KeepsValidRangesSortedByEnd) {
    const struct {
        const char* text;
        std::vector<std::pair<std::int64_t, std::int64_t>> ranges; // microseconds
    } rows[] = {
        {"1000-2000, 0-500, 3000-100", {{0, 500000}, {1000000, 2000000}}},
        {"", {}},
        {" 5 - 7 ", {{5000, 7000}}},
        // Unparsable parts count as -1: an unreadable start still opens the range.
        {"x-5,-5,5-x,7", {{-1000, 5000}, {-1000, 5000}}},
        {"-1--1", {}}, // the first "-" splits: "" and "-1"
        {"0-0,,9-9", {{0, 0}, {9000, 9000}}},
        {"99999999999999999-99999999999999999", {}}, // beyond the microsecond range
        {"$d444422222222222-222", {}},               // a hex start far below it
    };
    for (const auto& row : rows) {
        const std::vector<THookRange> ranges = ParseHookRanges(row.text);
        ASSERT_EQ(ranges.size(), row.ranges.size()) << row.text;
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            EXPECT_EQ(ranges[i].Start, row.ranges[i].first) << row.text;
            EXPECT_EQ(ranges[i].End, row.ranges[i].second) << row.text;
        }
    }
}

TEST(DateTimeTest, LocalDaysBecomeUnixSeconds) {
    EXPECT_EQ(DateTimeToUnixSeconds(25569.0, 0), 0);
    EXPECT_EQ(DateTimeToUnixSeconds(25570.5, 0), 129600);
    EXPECT_EQ(DateTimeToUnixSeconds(25569.0, -60), -3600); // local is one hour ahead of UTC
}

class TaskOptionsTest : public TaskTest {
protected:
    TFFmpeg record;
    void SetUp() override {
        TaskTest::SetUp();
        record.InitOptions();
    }
    std::string OutputFailure(TOutputOptions& options) {
        try {
            ApplyOutputRecord(record, "out.mpg", options, nullptr, nullptr);
        } catch (const std::exception& error) {
            return error.what();
        }
        return {};
    }
};

TEST_F(TaskOptionsTest, InputRecordFillsItsNameAndAppliesInOrder) {
    TInputOptions in;
    in.FileFormat = "wav";
    in.StartTime = 1500;
    in.ProgramID = 3;
    in.ExtOptions = "title=T\nprogramid=9\nss=10";
    ApplyInputRecord(record, "/media/in.wav", in);
    EXPECT_EQ(in.FileName, "/media/in.wav"); // written back into the caller's record
    EXPECT_EQ(record.InputOptions.FileName, "/media/in.wav");
    EXPECT_STREQ(record.Settings.InputFormat->name, "wav");
    EXPECT_EQ(record.Settings.StartTime, 1500000); // the field wins over the text
    EXPECT_EQ(record.Settings.ProgramId, 3);
    EXPECT_EQ(record.Settings.Title, "T");

    TInputOptions bad;
    bad.FileName = "keep.avi";
    bad.FileFormat = "svcd";
    try {
        ApplyInputRecord(record, "other.avi", bad);
        ADD_FAILURE();
    } catch (const FFMpegException& error) {
        EXPECT_STREQ(error.what(), "Unknown input format: svcd");
    }
    EXPECT_EQ(bad.FileName, "keep.avi");
}

TEST_F(TaskOptionsTest, TypedFieldsWinOverFreeText) {
    TOutputOptions out;
    out.ExtOptions = "vb=500000\nac=1\nalang=ger";
    out.VideoBitRate = 800000;
    out.AudioChannels = 6;
    ApplyOutputRecord(record, "out.avi", out, nullptr, nullptr);
    EXPECT_EQ(out.FileName, "out.avi");
    EXPECT_EQ(HolderInt(record.Settings.CodecOptionHolders[AVMEDIA_TYPE_VIDEO].get(), "b"), 800000);
    EXPECT_EQ(record.Settings.AudioChannels, 6);
    EXPECT_EQ(record.Settings.AudioLanguage, ""); // always assigned, so the empty field clears
    EXPECT_EQ(record.Settings.VideoSyncMethod, -1);
}

TEST_F(TaskOptionsTest, FieldsReachTheirOptions) {
    record.Settings.FrameWidth = 720;
    record.Settings.FrameHeight = 576;
    TOutputOptions out;
    out.FileFormat = "dvd";
    out.CropTop = 8;
    out.PadLeft = 4;
    out.PadColor = 0xFFFFFF;
    out.RecordingTime = 30000;
    out.Timestamp = 25569.0 + 1.0; // one day after 1970-01-01, local time
    out.Year = 2024;
    out.Title = "Movie";
    out.CopyTimestamps = true;
    out.AudioSync = 1;
    out.GopSize = 25;
    ApplyOutputRecord(record, "out.mpg", out, nullptr, nullptr);
    const TaskSettings& s = record.Settings;
    EXPECT_STREQ(s.OutputFormat->name, "dvd");
    EXPECT_EQ(s.CropTop, 8);
    EXPECT_EQ(s.FrameHeight, 568);
    EXPECT_EQ(s.PadLeft, 4);
    EXPECT_EQ(s.PadColor[0], 255);
    EXPECT_EQ(s.RecordingTime, 30000000);
    EXPECT_EQ(s.ExpectedDuration, 30000);
    tzset();
    EXPECT_EQ(s.RecordingTimestamp, 86400 + timezone);
    EXPECT_EQ(s.Year, 2024);
    EXPECT_EQ(s.Title, "Movie");
    EXPECT_EQ(s.CopyTimestamps, 1);
    EXPECT_EQ(s.AudioSyncMethod, 1);
    EXPECT_EQ(HolderInt(s.CodecOptionHolders[AVMEDIA_TYPE_VIDEO].get(), "g"), 25);
}

TEST_F(TaskOptionsTest, FailingFieldEndsTheRecordAndKeepsEarlierFields) {
    record.Settings.FrameWidth = 720;
    record.Settings.FrameHeight = 576;
    TOutputOptions out;
    out.VideoCodec = "mpeg4";
    out.CropTop = 7;
    out.PadTop = 2;
    EXPECT_EQ(OutputFailure(out), "Top crop size must be a multiple of 2");
    EXPECT_EQ(record.Settings.VideoCodecName, "mpeg4");
    EXPECT_EQ(record.Settings.PadTop, 0);

    TOutputOptions unknown;
    unknown.FileFormat = "nope";
    EXPECT_EQ(OutputFailure(unknown), "Unknown output format: nope");
}

TEST_F(TaskOptionsTest, TargetIsAppliedLastWithItsNorms) {
    const struct {
        int target, norm, fallback;
        const char* format;
        int height;
    } rows[] = {{1, 1, 1, "vcd", 288}, {2, 2, 1, "svcd", 480}, {3, 0, 1, "dvd", 576},
                {3, 0, 2, "dvd", 480}, {3, 7, 2, "dvd", 480},  {4, 1, 1, nullptr, 0}};
    for (const auto& row : rows) {
        record.InitOptions();
        record.Settings.FrameRate = {15, 1}; // tells no norm: the fall-back decides
        TOutputOptions out;
        out.Target = row.target;
        out.TargetNorm = row.norm;
        out.TargetFallbackNorm = row.fallback;
        out.FrameSize = "320x240"; // overridden by the preset
        ApplyOutputRecord(record, "out.mpg", out, nullptr, nullptr);
        if (!row.format) {
            EXPECT_EQ(record.Settings.OutputFormat, nullptr);
            EXPECT_EQ(record.Settings.FrameHeight, 240);
            continue;
        }
        EXPECT_STREQ(record.Settings.OutputFormat->name, row.format) << row.target;
        EXPECT_EQ(record.Settings.FrameHeight, row.height) << row.target << "/" << row.norm;
    }
}

TEST_F(TaskOptionsTest, ExactlyOneHookChoice) {
    int customCalls = 0;
    int beforeCalls = 0;
    TCustomHookHandler custom = [&](TFFmpeg*, TBitmap&, int, std::int64_t, bool&, bool&) {
        ++customCalls;
    };
    TBeforeHookHandler before = [&](TFFmpeg*, std::int64_t, THookAction&) { ++beforeCalls; };

    TOutputOptions out;
    out.CustomHook = true;
    out.BeforeHook = true;
    out.HookRanges = "0-100";
    ApplyOutputRecord(record, "a.avi", out, custom, before);
    EXPECT_TRUE(record.CustomHookHandler);
    EXPECT_FALSE(record.BeforeHookHandler);
    EXPECT_TRUE(record.HookRanges.empty());

    TFFmpeg second;
    second.InitOptions();
    out.CustomHook = false;
    ApplyOutputRecord(second, "a.avi", out, custom, before);
    EXPECT_TRUE(second.BeforeHookHandler);
    THookAction action = haContinue;
    second.BeforeHookHandler(&second, 0, action);
    EXPECT_EQ(beforeCalls, 1);

    TFFmpeg third;
    third.InitOptions();
    out.BeforeHook = false;
    ApplyOutputRecord(third, "a.avi", out, custom, before);
    ASSERT_EQ(third.HookRanges.size(), 1u);
    EXPECT_EQ(third.HookRanges[0].End, 100000);
    EXPECT_EQ(customCalls, 0);
}

} // namespace
} // namespace velto::test
