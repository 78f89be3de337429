#include "IniFile.h"
#include "ProfileCatalogue.h"
#include "ProfileMapping.h"

#include <gtest/gtest.h>

namespace velto {
namespace {

// The form's titles with their spelling slips corrected, then the profiles for today's devices.
const char* const kDesignTitles[] = {
    "MP4 MPEG-4 Video (*.mp4)",
    "iPod MPEG-4 Video (320x240, 4:3) - High Quality",
    "iPod MPEG-4 Video (320x180, 16:9) - High Quality",
    "iPod MPEG-4 Video (320x240, 4:3)",
    "iPod MPEG-4 Video (320x180, 16:9)",
    "iPod MPEG-4 Video (320x240, 4:3) - Low Quality, Less File Size",
    "iPod MPEG-4 Video (320x180, 16:9) - Low Quality, Less File Size",
    "PSP MPEG-4 Video (368x208)",
    "PSP MPEG-4 Video (368x208) - High Quality",
    "PSP AVC Video (368x208)",
    "MP4 MPEG-4 AVC Video (*.mp4)",
    "DivX Video Format (*.avi)",
    "XviD Video Format (*.avi)",
    "Archos Video (*.avi)",
    "Creative Zen Vision (*.avi)",
    "iRiver PMP-100 (*.avi)",
    "MPEG-1/VCD Video (*.mpg)",
    "MPEG-2/SVCD/DVD Video (*.mpg)",
};

constexpr int kFirstNewProfile = 23;

// Every shipped profile names values its lists hold, and the factory file restores each one.
TEST(ShippedCatalogueTest, DataFilesHoldEveryProfile) {
    const std::string settings = SettingsFilePath(VELTO_DATA_DIR);
    const std::string factory = FactoryProfilesPath(VELTO_DATA_DIR);
    TProfileCatalogue catalogue(settings, factory);
    catalogue.Load();
    const auto& titles = catalogue.Titles();
    ASSERT_GE(titles.size(), std::size(kDesignTitles));
    for (size_t i = 0; i < std::size(kDesignTitles); ++i)
        EXPECT_EQ(titles[i], kDesignTitles[i]);
    EXPECT_EQ(catalogue.SelectedIndex(), 0);

    const TIniFile factoryIni(factory);
    ASSERT_EQ(factoryIni.ReadInteger("Options", "FormatNum", 0), int(titles.size()));
    for (int i = 0; i < int(titles.size()); ++i) {
        catalogue.Select(i);
        const TOutputProfile& p = catalogue.Profile();
        const TProfileSelection& s = catalogue.Selection();
        EXPECT_FALSE(titles[i].empty());
        EXPECT_FALSE(p.AudioFormat.empty() || p.FileType.empty()) << i;
        // Sound-only profiles carry no picture values; FLAC has no bit rate to choose.
        const bool soundOnly = MapProfile(p, s).DisableVideo;
        EXPECT_EQ(p.VideoFormat.empty(), soundOnly) << i;
        EXPECT_TRUE(soundOnly || (s.FrameSize >= 0 && s.VideoBitrate >= 0 && s.Framerate >= 0))
            << titles[i];
        EXPECT_TRUE((s.AudioBitrate >= 0 || p.AudioFormat == "flac") && s.SampleBitrate >= 0 &&
                    s.Channels >= 0)
            << titles[i];
        // The profiles after the design-time ones keep the picture's shape unless told not to.
        EXPECT_EQ(p.KeepAspect == 1 && p.FrameFollowsSource == 1,
                  i >= kFirstNewProfile && !soundOnly)
            << titles[i];
        const TOutputProfile factoryProfile = ReadProfile(factoryIni, i);
        EXPECT_EQ(factoryProfile.FrameSize, p.FrameSize) << i;
        EXPECT_EQ(factoryProfile.FileType, p.FileType) << i;
        EXPECT_EQ(factoryProfile.SampleBitrate, p.SampleBitrate) << i;
        EXPECT_EQ(factoryProfile.Channels, p.Channels) << i;
        EXPECT_EQ(factoryProfile.KeepAspect, p.KeepAspect) << i;
        EXPECT_EQ(factoryProfile.FrameFollowsSource, p.FrameFollowsSource) << i;
    }
}

} // namespace
} // namespace velto
