#include "SettingsLocation.h"
#include "ProfileFiles.h"
#include "SettingsStore.h"
#include "TestLibraries.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace velto {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::ScratchFolder;
using test::WriteText;

constexpr const char* kFactory = "[Options]\nFormatNum=0\nRecentOutputFolder=Auto\n";

// Sets or unsets one variable for the life of the object.
class TScopedEnv {
public:
    TScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        Set(value);
    }
    ~TScopedEnv() { Set(old_); }

private:
    void Set(const std::optional<std::string>& value) {
        if (value)
            setenv(name_, value->c_str(), 1);
        else
            unsetenv(name_);
    }
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SettingsLocationTest, FirstStartCopiesTheFactoryFileAndLaterStartsKeepTheUsersFile) {
    const std::string root = ScratchFolder();
    const std::string factory = root + "/Velto3GPConverter.ini";
    WriteText(factory, kFactory);
    const std::string config = root + "/home/.config/Velto3GPConverter";

    const TUserSettings first = PrepareUserSettings(factory, config);
    EXPECT_TRUE(first.Copied);
    EXPECT_EQ(first.Error, "");
    EXPECT_EQ(first.FileName, config + "/Velto3GPConverter.ini");
    EXPECT_EQ(ReadText(first.FileName), kFactory);

    // Saving goes to the user's file; the factory copy and a later start leave it alone.
    TSettingsStore store(first.FileName);
    ASSERT_TRUE(store.SaveJobEndOptions({true, false, false, true}));
    const std::string saved = ReadText(first.FileName);
    const TUserSettings second = PrepareUserSettings(factory, config);
    EXPECT_FALSE(second.Copied);
    EXPECT_EQ(second.FileName, first.FileName);
    EXPECT_EQ(ReadText(second.FileName), saved);
    EXPECT_EQ(ReadText(factory), kFactory);
    // No partial copies are left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(config), fs::directory_iterator()), 1);
}

TEST(SettingsLocationTest, MissingFactoryOrUnusableFolderNeverBreaksTheStart) {
    const std::string root = ScratchFolder();
    const std::string factory = root + "/factory.ini";
    WriteText(factory, kFactory);
    WriteText(root + "/plainfile", "x");
    struct {
        const char* name;
        std::string factory, folder;
        bool copied, error;
    } const cases[] = {
        {"no factory file", root + "/none.ini", root + "/a", false, false},
        {"folder under a plain file", factory, root + "/plainfile/cfg", false, true},
        {"no configuration folder at all", factory, "", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TUserSettings result = PrepareUserSettings(c.factory, c.folder);
        EXPECT_EQ(result.Copied, c.copied);
        EXPECT_EQ(!result.Error.empty(), c.error) << result.Error;
        if (!c.folder.empty()) {
            EXPECT_EQ(result.FileName, c.folder + "/Velto3GPConverter.ini");
            EXPECT_FALSE(fs::exists(result.FileName));
        }
    }
    EXPECT_EQ(ReadText(factory), kFactory);
}

TEST(SettingsLocationTest, ConfigFolderFollowsTheXdgRule) {
    struct {
        std::optional<std::string> xdg, home;
        std::string expected;
    } const cases[] = {
        {"/xdg", "/home/u", "/xdg/Velto3GPConverter"},
        {std::nullopt, "/home/u", "/home/u/.config/Velto3GPConverter"},
        // A relative XDG_CONFIG_HOME is invalid and ignored.
        {"rel/cfg", "/home/u", "/home/u/.config/Velto3GPConverter"},
        {std::nullopt, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        TScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        TScopedEnv home("HOME", c.home);
        EXPECT_EQ(UserConfigFolder(), c.expected);
    }
}

TEST(SettingsLocationTest, FactoryFilesAreFoundBesideTheProgramOrInTheInstalledShareFolder) {
    const std::string root = ScratchFolder();
    fs::create_directories(root + "/build/bin");
    WriteText(root + "/build/bin/Velto3GPConverter.ini", kFactory);
    fs::create_directories(root + "/usr/bin");
    fs::create_directories(root + "/usr/share/velto3gpconverter");
    WriteText(root + "/usr/share/velto3gpconverter/Velto3GPConverter.ini", kFactory);
    fs::create_directories(root + "/bare/bin");
    EXPECT_EQ(FactoryDataFolder(root + "/build/bin"), root + "/build/bin");
    EXPECT_EQ(fs::path(FactoryDataFolder(root + "/usr/bin")),
              fs::path(root + "/usr/share/velto3gpconverter"));
    EXPECT_EQ(FactoryDataFolder(root + "/bare/bin"), root + "/bare/bin");
}

} // namespace
} // namespace velto
