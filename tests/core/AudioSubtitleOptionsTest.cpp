// Audio and subtitle options.
#include "TaskFixture.h"

namespace velto::test {
namespace {

using AudioSubtitleOptionsTest = TaskTest;

TEST_F(AudioSubtitleOptionsTest, RateAndChannelsChangeOnlyWhenPositive) {
    const struct {
        const char* rate;
        const char* channels;
        int expectedRate, expectedChannels;
    } rows[] = {{"0", "-1", 44100, 2}, {"22050", "6", 22050, 6}, {"-8000", "0", 22050, 6}};
    for (const auto& row : rows) {
        task.SetOption("ar", row.rate);
        task.SetOption("ac", row.channels);
        EXPECT_EQ(task.Settings.AudioSampleRate, row.expectedRate) << row.rate;
        EXPECT_EQ(task.Settings.AudioChannels, row.expectedChannels) << row.channels;
    }
    EXPECT_EQ(Failure("ar", "fast"), "'fast' is not a valid integer value");
}

TEST_F(AudioSubtitleOptionsTest, ValuesSwitchesAndLanguages) {
    task.ApplyOptionText("aq=3.5\nan\nvol=512\nalang=eng\nsn\nslang=fre");
    EXPECT_FLOAT_EQ(task.Settings.AudioQScale, 3.5f);
    EXPECT_EQ(task.Settings.AudioDisable, 1);
    EXPECT_EQ(task.Settings.AudioVolume, 512);
    EXPECT_EQ(task.Settings.AudioLanguage, "eng");
    EXPECT_EQ(task.Settings.SubtitleDisable, 1);
    EXPECT_EQ(task.Settings.SubtitleLanguage, "fre");
    task.ApplyOptionText("alang=\nslang="); // an empty language clears it
    EXPECT_EQ(task.Settings.AudioLanguage, "");
    EXPECT_EQ(task.Settings.SubtitleLanguage, "");
}

TEST_F(AudioSubtitleOptionsTest, SampleFormatAndItsList) {
    task.SetOption("sample_fmt", "s16");
    EXPECT_EQ(task.Settings.AudioSampleFormat, AV_SAMPLE_FMT_S16);
    task.SetOption("sample_fmt", "bogus");
    EXPECT_EQ(task.Settings.AudioSampleFormat, AV_SAMPLE_FMT_NONE);
    task.SetOption("sample_fmt", "list");
    ASSERT_EQ(lines.size(), 6u); // -1 (the heading) to 4
    EXPECT_NE(lines[2].text.find("s16"), std::string::npos);

    task.LogSink = nullptr; // without a sink the list is not even built
    task.SetOption("sample_fmt", "list");
    EXPECT_EQ(task.Settings.AudioSampleFormat, AV_SAMPLE_FMT_NONE);
}

} // namespace
} // namespace velto::test
