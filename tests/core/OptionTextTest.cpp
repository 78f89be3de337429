// Option text blocks and the dispatch of names: line breaks, exact names, the first failing line.
#include "TaskFixture.h"

namespace velto::test {
namespace {

using OptionTextTest = TaskTest;

TEST_F(OptionTextTest, EveryKindOfLineBreakSeparatesOptions) {
    task.ApplyOptionText("  \r\n title=A\r\nauthor=B\rcomment=C\ngenre=D\n\n\r\n  ");
    EXPECT_EQ(task.Settings.Title, "A"); // the block's leading blanks are trimmed away
    EXPECT_EQ(task.Settings.Author, "B");
    EXPECT_EQ(task.Settings.Comment, "C");
    EXPECT_EQ(task.Settings.Genre, "D");
}

TEST_F(OptionTextTest, TheWholeTextIsTrimmedButNotEachLine) {
    task.ApplyOptionText("\t title=A \nalbum= X ");
    EXPECT_EQ(task.Settings.Title, "A "); // the block's leading tab and space go, inner ones stay
    EXPECT_EQ(task.Settings.Album, " X"); // the block's trailing space goes
}

TEST_F(OptionTextTest, FirstFailingLineStopsTheBlockAndKeepsEarlierLines) {
    EXPECT_THROW(task.ApplyOptionText("title=T\ns=321x240\nauthor=A"), FFMpegException);
    EXPECT_EQ(task.Settings.Title, "T");
    EXPECT_EQ(task.Settings.FrameWidth, 321); // the failing handler's values stay
    EXPECT_EQ(task.Settings.FrameHeight, 240);
    EXPECT_EQ(task.Settings.Author, "");

    EXPECT_THROW(task.ApplyOptionText("vframes=10\nvframes=x\naframes=5"), EConvertError);
    EXPECT_EQ(task.Settings.MaxFrames[AVMEDIA_TYPE_VIDEO], 10);
    EXPECT_EQ(task.Settings.MaxFrames[AVMEDIA_TYPE_AUDIO], INT32_MAX);
}

TEST_F(OptionTextTest, NamesAreMatchedExactly) {
    // Not the bit-rate option: these reach the generic path, which trims "b " to "b".
    const struct {
        const char* name;
        bool accepted;
    } rows[] = {{"B", false}, {"-b", false}, {"b ", true}, {" b", true}};
    for (const auto& row : rows) {
        task.InitOptions();
        lines.clear();
        task.SetOption(row.name, "500");
        EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "b") == 500, row.accepted) << row.name;
        EXPECT_TRUE(lines.empty()) << row.name << ": no low-bit-rate warning outside \"b\"";
    }
}

TEST_F(OptionTextTest, SpacesAroundTheEqualsReachTheGenericPath) {
    task.ApplyOptionText("gop = 15");
    EXPECT_EQ(HolderInt(Codec(AVMEDIA_TYPE_VIDEO), "g"), 15);
    ASSERT_EQ(task.Settings.GenericOptionNames.size(), 1u);
    EXPECT_EQ(task.Settings.GenericOptionNames[0], "g"); // the library's own name of "gop"
}

TEST_F(OptionTextTest, DoNothingOptionsLog) {
    for (const char* name :
         {"L", "h", "version", "formats", "i", "y", "benchmark", "apre", "vpre", "spre"}) {
        lines.clear();
        task.SetOption(name, "whatever");
        ASSERT_EQ(lines.size(), 1u) << name;
        EXPECT_EQ(lines[0].level, 1);
        EXPECT_EQ(lines[0].text, std::string("Do nothing: option - ") + name);
    }
    task.LogSink = nullptr;
    EXPECT_NO_THROW(task.SetOption("y", ""));
}

TEST_F(OptionTextTest, ThreadsTakesACountWithZeroForAutomatic) {
    EXPECT_EQ(task.Settings.ThreadCount, 0);
    struct Row {
        const char* value;
        int expected;
        const char* error;
    };
    const Row rows[] = {
        {"4", 4, ""},
        {"1", 1, ""},
        {"64", 64, ""},
        {"0", 0, ""},
        {"65", 0, "threads must be between 0 and 64"},
        {"-1", 0, "threads must be between 0 and 64"},
    };
    for (const Row& row : rows) {
        task.Settings.ThreadCount = 0;
        EXPECT_EQ(Failure("threads", row.value), row.error) << row.value;
        EXPECT_EQ(task.Settings.ThreadCount, row.expected) << row.value;
    }
    EXPECT_NE(Failure("threads", "two"), "");
}

} // namespace
} // namespace velto::test
