#include "IniFile.h"
#include "ProfileFiles.h"
#include "TestLibraries.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <tuple>

namespace velto {
namespace {

using test::ReadText;
using test::ScratchFolder;
using test::WriteText;

const char* const kSample = "; kept comment\r\n"
                            "Loose=before any section\r\n"
                            "[ Options ]\r\n"
                            "  formatNUM = 3 \r\n"
                            ";OutputFormat=9\r\n"
                            "OutputFormat=2\r\n"
                            "OutputFormat=5\r\n"
                            "Empty=\r\n"
                            "Equation=a=b=c\r\n"
                            "[选项]\r\n"
                            "名字=值\r\n"
                            "[options]\r\n"
                            "Second=ignored\r\n";

TEST(IniFileTest, LooksUpSectionsAndKeysIgnoringCase) {
    const std::string path = ScratchFolder() + "/a.ini";
    WriteText(path, kSample);
    const TIniFile ini(path);
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"OPTIONS", "FormatNum", "3"},    // case and surrounding blanks ignored
        {"Options", "OutputFormat", "2"}, // first of two keys; the comment is no key
        {"Options", "Empty", ""},         // present but empty: not the default
        {"Options", "Equation", "a=b=c"}, // the value runs to the line's end
        {"选项", "名字", "值"},           // UTF-8 names pass through
        {"Options", "Second", "default"}, // a later section of the same name is not read
        {"Options", "Loose", "default"},  // keys before any section belong to none
        {"VideoFormat0", "Title", "default"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ini.ReadString(c.section, c.key, "default"), c.expected)
            << c.section << "/" << c.key;
    EXPECT_TRUE(ini.ValueExists("options", "EMPTY"));
    EXPECT_FALSE(ini.ValueExists("Options", "Loose"));
}

TEST(IniFileTest, ReadsIntegersStrictly) {
    const std::string path = ScratchFolder() + "/n.ini";
    const std::pair<const char*, std::int32_t> cases[] = {
        {"-5", -5},         {"+7", 7},     {"0x1F", 31}, {"$10", 16}, {"-2147483648", INT32_MIN},
        {"2147483648", 42}, {"12abc", 42}, {"", 42},     {"1.5", 42}, {"--1", 42},
        {"0x", 42}};
    for (const auto& [text, expected] : cases) {
        WriteText(path, std::string("[S]\nN=") + text + "\n");
        EXPECT_EQ(TIniFile(path).ReadInteger("S", "N", 42), expected) << '"' << text << '"';
    }
}

TEST(IniFileTest, WriteKeepsEverythingItDoesNotChange) {
    const std::string path = ScratchFolder() + "/a.ini";
    WriteText(path, "\xEF\xBB\xBF" + std::string(kSample));
    TIniFile ini(path);
    ASSERT_TRUE(ini.WriteInteger("OPTIONS", "FORMATNUM", 4));
    ASSERT_TRUE(ini.WriteString("Options", "New", "x"));
    ASSERT_TRUE(ini.WriteBool("VideoFormat0", "Edit", false));
    // Names and values that would read back as something else, or break lines, are refused.
    for (const auto& [section, key, value] : {std::tuple{"Options", "K", "two\nlines"},
                                              {"Options", "A=B", "v"},
                                              {"Options", ";K", "v"},
                                              {"Options", "", "v"},
                                              {"S]x", "K", "v"}})
        EXPECT_FALSE(ini.WriteString(section, key, value)) << section << "/" << key;
    ASSERT_TRUE(ini.UpdateFile()) << ini.LastError();
    // The key keeps its spelling, a new key follows the section's last key, a new section goes
    // last; BOM and line breaks stay as they were.
    EXPECT_EQ(ReadText(path), "\xEF\xBB\xBF"
                              "; kept comment\r\n"
                              "Loose=before any section\r\n"
                              "[ Options ]\r\n"
                              "formatNUM=4\r\n"
                              ";OutputFormat=9\r\n"
                              "OutputFormat=2\r\n"
                              "OutputFormat=5\r\n"
                              "Empty=\r\n"
                              "Equation=a=b=c\r\n"
                              "New=x\r\n"
                              "[选项]\r\n"
                              "名字=值\r\n"
                              "[options]\r\n"
                              "Second=ignored\r\n"
                              "[VideoFormat0]\r\n"
                              "Edit=0\r\n");
    const TIniFile again(path);
    EXPECT_EQ(again.ReadInteger("Options", "FormatNum", 0), 4);
    EXPECT_EQ(again.ReadString("Options", "New", ""), "x");
    EXPECT_FALSE(again.ReadBool("VideoFormat0", "Edit", true));
}

// Damaged files read as defaults and come through a write byte for byte.
TEST(IniFileTest, DamagedFilesReadDefaultsAndSurviveAWrite) {
    const std::string folder = ScratchFolder();
    const char bytes[] = "\x00\xff[\x01]=\xfe\nxx\x00yy\n[Options\nFormatNum";
    const std::string garbage(bytes, sizeof bytes - 1);
    const std::string cases[] = {garbage, "[Options]\nFormatN", "[Options]\nFormatNum=1"};
    const int expected[] = {0, 0, 1};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string path = folder + "/d" + std::to_string(i) + ".ini";
        WriteText(path, cases[i]);
        TIniFile ini(path);
        EXPECT_EQ(ini.ReadInteger("Options", "FormatNum", 0), expected[i]) << i;
        ASSERT_TRUE(ini.WriteInteger("Extra", "K", 1));
        ASSERT_TRUE(ini.UpdateFile()) << ini.LastError();
        EXPECT_EQ(ReadText(path), cases[i] + "\n[Extra]\nK=1\n") << i;
    }
}

TEST(IniFileTest, UnreadableFileIsNeverReplaced) {
    // A folder where the file should be cannot be read, even by root.
    const std::string path = ScratchFolder() + "/dir.ini";
    std::filesystem::create_directory(path);
    WriteText(path + "/inside", "keep");
    TIniFile ini(path);
    EXPECT_FALSE(ini.Loaded());
    EXPECT_EQ(ini.ReadString("Options", "RecentOutputFolder", "Auto"), "Auto");
    ini.WriteInteger("Options", "FormatNum", 1);
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_FALSE(ini.LastError().empty());
    EXPECT_EQ(ReadText(path + "/inside"), "keep");
}

TEST(IniFileTest, FailedWritesLeaveTheOldFileAndNoLeftovers) {
    const std::string folder = ScratchFolder();
    // The parent is a regular file: nothing can be created there.
    WriteText(folder + "/plain", "x");
    TIniFile nowhere(folder + "/plain/Velto3GPConverter.ini");
    nowhere.WriteInteger("Options", "FormatNum", 1);
    EXPECT_FALSE(nowhere.UpdateFile());
    EXPECT_FALSE(nowhere.LastError().empty());

    // A write that runs out of room (a file size limit stands in for a full disk).
    const std::string path = folder + "/full.ini";
    const std::string old = "; old\n[Options]\nFormatNum=3\n";
    WriteText(path, old);
    TIniFile ini(path);
    ini.WriteString("Options", "RecentOutputFolder", std::string(4096, 'f'));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = ini.UpdateFile();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadText(path), old);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 2u) << "a temporary file was left behind";
}

} // namespace
} // namespace velto
