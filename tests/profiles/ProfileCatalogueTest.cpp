#include "ProfileCatalogue.h"
#include "IniFile.h"
#include "ProfileFiles.h"
#include "TestLibraries.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace velto {
namespace {

using test::ReadText;
using test::ScratchFolder;
using test::WriteText;

std::string Section(int i, const std::string& keys) {
    return "[VideoFormat" + std::to_string(i) + "]\n" + keys + "\n";
}

const char* const kProfile = "Title=P\nVideoFormat=DivX\nAudioFormat=mp3\nIsPSP=1\nEdit=0\n"
                             "FileType=.avi\nFrameSize=640 x 480\nVideoBitrate=1200\n"
                             "Framerate=25\nAudioBitrate=128\nSampleBitrate=44100\nChannels=0";

struct CatalogueFiles {
    std::string settings, factory;
};

CatalogueFiles MakeFiles(const std::string& settings, const std::string& factory) {
    const std::string folder = ScratchFolder();
    CatalogueFiles files{SettingsFilePath(folder), FactoryProfilesPath(folder)};
    WriteText(files.settings, settings);
    if (!factory.empty())
        WriteText(files.factory, factory);
    return files;
}

void ExpectNothingSelected(const TProfileCatalogue& catalogue) {
    const TProfileSelection& s = catalogue.Selection();
    EXPECT_EQ(catalogue.SelectedIndex(), -1);
    EXPECT_EQ(catalogue.Profile().Edit, 1);
    EXPECT_TRUE(catalogue.Profile().FileType.empty());
    EXPECT_EQ(s.FrameSize + s.VideoBitrate + s.Framerate + s.AudioBitrate + s.SampleBitrate, -5);
    EXPECT_EQ(s.Channels, 1);
    EXPECT_TRUE(s.Editable);
}

TEST(ProfileCatalogueTest, ListsFormatNumTitlesAndSelectsOutputFormat) {
    std::string sections;
    for (int i = 0; i < 5; ++i)
        sections += Section(i, i == 1 ? "" : "Title=T" + std::to_string(i));
    const auto files = MakeFiles("[Options]\nFormatNum=3\nOutputFormat=2\n" + sections +
                                     Section(2, "Title=second section of that name"),
                                 "");
    TProfileCatalogue catalogue(files.settings, files.factory);
    catalogue.Load();
    EXPECT_EQ(catalogue.Titles(), (std::vector<std::string>{"T0", "", "T2"}));
    EXPECT_EQ(catalogue.SelectedIndex(), 2);

    // An index outside the list selects nothing and every key has its default.
    const std::string outside[] = {"7", "-1", "x"};
    const int selected[] = {-1, -1, 0};
    for (size_t i = 0; i < std::size(outside); ++i) {
        WriteText(files.settings, "[Options]\nFormatNum=3\nOutputFormat=" + outside[i] + "\n" +
                                      sections + "[VideoFormat-1]\nEdit=0\n");
        catalogue.Load();
        EXPECT_EQ(catalogue.SelectedIndex(), selected[i]) << outside[i];
    }
    catalogue.Select(3);
    ExpectNothingSelected(catalogue);
    EXPECT_EQ(catalogue.Profile().Edit, 1) << "the section VideoFormat-1 is never a profile";
}

TEST(ProfileCatalogueTest, MissingOrNonsenseCatalogueSize) {
    const std::pair<const char*, size_t> cases[] = {
        {"", 0}, {"[Options]\nFormatNum=-4\n", 0}, {"[Options]\nFormatNum=2147483647\n", 1000}};
    for (const auto& [settings, count] : cases) {
        TProfileCatalogue catalogue(MakeFiles(settings, "").settings, "");
        catalogue.Load();
        EXPECT_EQ(catalogue.Titles().size(), count) << settings;
        if (count == 0)
            ExpectNothingSelected(catalogue);
    }
}

TEST(ProfileCatalogueTest, ProfileValuesSelectListEntries) {
    TOutputProfile profile;
    profile.Edit = 0;
    struct Case {
        const char* frameSize;
        const char* framerate;
        std::int32_t channels;
        int frameIndex, rateIndex, channelIndex;
    };
    const Case cases[] = {
        {"320 x 240", "25", 1, 6, 4, 1},
        {"320 X 240", "AUTO", 0, 6, 10, 0}, // case ignored
        {"320x240", "29.97", 2, -1, -1, -1},
        {"", "29.976", -1, -1, 5, -1},
    };
    for (const Case& c : cases) {
        profile.FrameSize = c.frameSize;
        profile.Framerate = c.framerate;
        profile.Channels = c.channels;
        const TProfileSelection s = SelectionFor(profile);
        EXPECT_EQ(s.FrameSize, c.frameIndex) << c.frameSize;
        EXPECT_EQ(s.Framerate, c.rateIndex) << c.framerate;
        EXPECT_EQ(s.Channels, c.channelIndex) << c.channels;
        EXPECT_FALSE(s.Editable);
    }
    EXPECT_EQ(ListEntryText(vlChannels, 1), "立体声");
    EXPECT_EQ(ListEntryText(vlSampleBitrate, 6), "");
}

TEST(ProfileCatalogueTest, RestoresFromTheFactoryFileWithoutWriting) {
    const std::string settings = "[Options]\nFormatNum=1\n" + Section(0, kProfile);
    const auto files = MakeFiles(settings, Section(0, "FrameSize=176 x 144\nVideoBitrate=190\n"
                                                      "Framerate=15\nAudioBitrate=32\n"
                                                      "SampleBitrate=8000"));
    TProfileCatalogue catalogue(files.settings, files.factory);
    catalogue.Load();
    EXPECT_FALSE(catalogue.Selection().Editable);
    EXPECT_EQ(catalogue.Selection().Channels, 0);
    catalogue.RestoreVideoDefaults();
    EXPECT_EQ(catalogue.Profile().FrameSize, "176 x 144");
    EXPECT_EQ(catalogue.Selection().FrameSize, 3);
    EXPECT_EQ(catalogue.Selection().VideoBitrate, 0);
    EXPECT_EQ(catalogue.Selection().AudioBitrate, 8) << "audio untouched by the video restore";
    catalogue.RestoreAudioDefaults();
    EXPECT_EQ(catalogue.Selection().AudioBitrate, 2);
    EXPECT_EQ(catalogue.Selection().SampleBitrate, 0);
    EXPECT_EQ(catalogue.Selection().Channels, 1) << "absent channels restore stereo";
    EXPECT_EQ(ReadText(files.settings), settings);

    std::filesystem::remove(files.factory);
    catalogue.RestoreVideoDefaults();
    catalogue.RestoreAudioDefaults();
    const TProfileSelection& s = catalogue.Selection();
    EXPECT_EQ(s.FrameSize + s.VideoBitrate + s.Framerate + s.AudioBitrate + s.SampleBitrate, -5);
    EXPECT_EQ(s.Channels, 1);
}

TEST(ProfileCatalogueTest, SaveWritesOnlyTheTunableValuesAndTheChoice) {
    const std::string settings = "; mine\n[Options]\nFormatNum=2\nOutputFormat=0\n" +
                                 Section(0, "Title=A") + Section(1, kProfile);
    const auto files = MakeFiles(settings, "");
    TProfileCatalogue catalogue(files.settings, files.factory);
    catalogue.Load();
    catalogue.Select(1);
    TProfileSelection& s = catalogue.Selection();
    s = {16, 15, 5, 13, 5, 1, false, true};
    ASSERT_TRUE(catalogue.Save({0, false, true, "/out/"})) << catalogue.LastError();

    TProfileCatalogue reloaded(files.settings, files.factory);
    reloaded.Load();
    EXPECT_EQ(reloaded.SelectedIndex(), 1);
    const TOutputProfile& p = reloaded.Profile();
    EXPECT_EQ(p.FrameSize, "Auto");
    EXPECT_EQ(p.VideoBitrate, "8000");
    EXPECT_EQ(p.Framerate, "29.976");
    EXPECT_EQ(p.AudioBitrate, "320");
    EXPECT_EQ(p.SampleBitrate, "48000");
    EXPECT_EQ(p.Channels, 1);
    EXPECT_EQ(p.KeepAspect, 1);
    EXPECT_EQ(p.VideoFormat, "DivX"); // never written
    EXPECT_EQ(p.Edit, 0);
    EXPECT_FALSE(TSettingsStore(files.settings).ReadOutputChoice().ConvertToSamePath);
    EXPECT_EQ(ReadText(files.settings).rfind("; mine\n[Options]\nFormatNum=2\n", 0), 0u);

    // Lists without a selection write empty texts and channel -1.
    reloaded.Selection() = {};
    ASSERT_TRUE(reloaded.Save({}));
    EXPECT_EQ(TIniFile(files.settings).ReadString("VideoFormat1", "FrameSize", "x"), "");
    EXPECT_EQ(TIniFile(files.settings).ReadInteger("VideoFormat1", "Channels", 1), -1);

    // With nothing selected no section is made up for the index -1.
    reloaded.Select(9);
    ASSERT_TRUE(reloaded.Save({}));
    const TIniFile ini(files.settings);
    EXPECT_FALSE(ini.SectionExists("VideoFormat-1"));
    EXPECT_EQ(ini.ReadInteger("Options", "OutputFormat", 0), -1);
}

// A settings file copied at the first start of an earlier release: its titles show as that
// release's factory file now spells them, and the profiles shipped since follow its own.
TEST(ProfileCatalogueTest, CopyOfAnEarlierCatalogueGainsLaterProfilesAndCorrectedTitles) {
    const std::string old = "[Options]\nFormatNum=2\nOutputFormat=0\n" +
                            Section(0, "Title=Archor Video (*.avi)\nVideoFormat=xvid\n"
                                       "FileType=.avi\nFrameSize=640 x 480") +
                            Section(1, "Title=B\nFileType=.mp4");
    const std::string factory =
        "[Options]\nFormatNum=3\n" +
        Section(0, "Title=Archos Video (*.avi)\nVideoFormat=xvid\nFileType=.avi\n"
                   "FrameSize=320 x 240") +
        Section(1, "Title=B\nFileType=.mp4") +
        Section(2, "Title=Phone\nVideoFormat=h264\nAudioFormat=aac\nFileType=.mp4\n"
                   "FrameSize=1280 x 720\nVideoBitrate=3000\nKeepAspect=1\n"
                   "FrameFollowsSource=1");
    const auto files = MakeFiles(old, factory);
    TProfileCatalogue catalogue(files.settings, files.factory);
    catalogue.Load();
    EXPECT_EQ(catalogue.Titles(), (std::vector<std::string>{"Archos Video (*.avi)", "B", "Phone"}));
    // Restoring still finds the profile stored under its old title.
    EXPECT_EQ(catalogue.Profile().FrameSize, "640 x 480");
    catalogue.RestoreVideoDefaults();
    EXPECT_EQ(catalogue.Profile().FrameSize, "320 x 240");

    catalogue.Select(2);
    EXPECT_EQ(catalogue.Profile().VideoFormat, "h264");
    EXPECT_EQ(catalogue.Profile().FrameFollowsSource, 1);
    EXPECT_TRUE(catalogue.Selection().KeepAspect);
    catalogue.Selection().FrameSize = FindListEntry(vlFrameSize, "854 x 480");
    catalogue.Selection().KeepAspect = false;
    ASSERT_TRUE(catalogue.Save({})) << catalogue.LastError();
    TProfileCatalogue reloaded(files.settings, files.factory);
    reloaded.Load();
    EXPECT_EQ(reloaded.SelectedIndex(), 2);
    EXPECT_EQ(reloaded.Profile().FrameSize, "854 x 480");
    EXPECT_EQ(reloaded.Profile().VideoBitrate, "3000");
    EXPECT_EQ(reloaded.Profile().VideoFormat, "h264");
    EXPECT_FALSE(reloaded.Selection().KeepAspect);

    // A catalogue of the user's own is not an earlier copy: nothing is added to it.
    const auto own = MakeFiles("[Options]\nFormatNum=1\n" + Section(0, "Title=Mine"), factory);
    TProfileCatalogue mine(own.settings, own.factory);
    mine.Load();
    EXPECT_EQ(mine.Titles(), std::vector<std::string>{"Mine"});
}

} // namespace
} // namespace velto
