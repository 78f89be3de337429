#include "SettingsStore.h"
#include "IniFile.h"
#include "ProfileFiles.h"
#include "TestLibraries.h"

#include <gtest/gtest.h>

namespace velto {
namespace {

using test::ReadText;
using test::ScratchFolder;
using test::WriteText;

TEST(SettingsStoreTest, MissingFileGivesEveryDefault) {
    const TSettingsStore store(SettingsFilePath(ScratchFolder()));
    EXPECT_EQ(store.FormatNum(), 0);
    const TOutputChoice choice = store.ReadOutputChoice();
    EXPECT_EQ(choice.OutputFormat, 0);
    EXPECT_TRUE(choice.ConvertToSamePath);
    EXPECT_FALSE(choice.OverwriteExistFile);
    EXPECT_EQ(choice.RecentOutputFolder, "Auto");
    // The batch controller opens the folder; the preferences show all four boxes unticked.
    const TJobEndOptions batch = store.ReadJobEndOptions(true);
    EXPECT_TRUE(batch.OpenFolderWhenDone);
    EXPECT_FALSE(batch.DelFileWhenCanceled || batch.DeleteSourceWhenDone || batch.ShunDownWhenDone);
    const TJobEndOptions dialog = store.ReadJobEndOptions(false);
    EXPECT_FALSE(dialog.OpenFolderWhenDone);
}

TEST(SettingsStoreTest, ReadsStoredValuesByTheirRules) {
    const std::string path = ScratchFolder() + "/s.ini";
    const TSettingsStore store(path);
    struct Case {
        const char* options;
        bool samePath, overwrite;
        const char* folder;
        const char* effective;
    };
    const Case cases[] = {
        // Only 1 switches these two on.
        {"ConvertToSamePath=2\nOverwriteExistFile=2", false, false, "Auto", "Auto"},
        {"ConvertToSamePath=1\nOverwriteExistFile=1", true, true, "Auto", "Auto"},
        {"ConvertToSamePath=x\nOverwriteExistFile=x", true, false, "Auto", "Auto"},
        // "Auto" with the folder choice still means next to the sources.
        {"ConvertToSamePath=0\nRecentOutputFolder=Auto", false, false, "Auto", "Auto"},
        {"ConvertToSamePath=0\nRecentOutputFolder=/v/out/", false, false, "/v/out/", "/v/out/"},
        {"ConvertToSamePath=1\nRecentOutputFolder=/v/out/", true, false, "/v/out/", "Auto"},
        // Names are built as folder + file name: a missing delimiter is added, empty is "Auto".
        {"ConvertToSamePath=0\nRecentOutputFolder=/v/out", false, false, "/v/out/", "/v/out/"},
        {"ConvertToSamePath=0\nRecentOutputFolder=", false, false, "Auto", "Auto"},
    };
    for (const Case& c : cases) {
        WriteText(path, std::string("[Options]\n") + c.options + "\n");
        const TOutputChoice choice = store.ReadOutputChoice();
        EXPECT_EQ(choice.ConvertToSamePath, c.samePath) << c.options;
        EXPECT_EQ(choice.OverwriteExistFile, c.overwrite) << c.options;
        EXPECT_EQ(choice.RecentOutputFolder, c.folder) << c.options;
        EXPECT_EQ(choice.EffectiveOutputFolder(), c.effective) << c.options;
    }
    WriteText(path, "[Options]\nDelFileWhenCanceled=2\nShutDownWhenDone=1\nOpenFolderWhenDone=0\n");
    const TJobEndOptions options = store.ReadJobEndOptions(true);
    EXPECT_TRUE(options.DelFileWhenCanceled);
    EXPECT_FALSE(options.ShunDownWhenDone) << "only the key's own spelling counts";
    EXPECT_FALSE(options.OpenFolderWhenDone);
}

TEST(SettingsStoreTest, EveryKeyRoundTripsAndOthersSurvive) {
    const std::string path = ScratchFolder() + "/s.ini";
    WriteText(path, "; mine\n[Options]\nFormatNum=23\n[Other]\nX=1\n");
    const TOutputChoice choice{7, false, true, "/media/用户/视频/"};
    {
        TIniFile ini(path);
        ASSERT_TRUE(TSettingsStore::WriteOutputChoice(ini, choice));
        ASSERT_TRUE(ini.UpdateFile());
    }
    TSettingsStore store(path);
    for (const bool on : {true, false}) {
        ASSERT_TRUE(store.SaveJobEndOptions({on, !on, on, !on})) << store.LastError();
        const TJobEndOptions read = store.ReadJobEndOptions(!on);
        EXPECT_EQ(read.DelFileWhenCanceled, on);
        EXPECT_EQ(read.DeleteSourceWhenDone, !on);
        EXPECT_EQ(read.OpenFolderWhenDone, on);
        EXPECT_EQ(read.ShunDownWhenDone, !on);
    }
    const TOutputChoice read = store.ReadOutputChoice();
    EXPECT_EQ(read.OutputFormat, 7);
    EXPECT_FALSE(read.ConvertToSamePath);
    EXPECT_TRUE(read.OverwriteExistFile);
    EXPECT_EQ(read.RecentOutputFolder, choice.RecentOutputFolder);
    EXPECT_EQ(store.FormatNum(), 23);
    const std::string text = ReadText(path);
    EXPECT_EQ(text.rfind("; mine\n[Options]\nFormatNum=23\n", 0), 0u) << text;
    EXPECT_NE(text.find("ShunDownWhenDone=1\n"), std::string::npos);
    EXPECT_NE(text.find("[Other]\nX=1\n"), std::string::npos);
}

} // namespace
} // namespace velto
