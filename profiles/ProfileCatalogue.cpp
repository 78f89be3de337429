#include "ProfileCatalogue.h"

#include "IniFile.h"

#include <algorithm>

namespace velto {
namespace {

// Titles an earlier release shipped with spelling slips; settings files copied from it keep them.
const std::pair<const char*, const char*> kRenamedTitles[] = {
    {"iPod MPEG-4 Video (320x240, 4:3) - High Quanlity",
     "iPod MPEG-4 Video (320x240, 4:3) - High Quality"},
    {"iPod MPEG-4 Video (320x180, 16:9) - High Quanlity",
     "iPod MPEG-4 Video (320x180, 16:9) - High Quality"},
    {"iPod MPEG-4 Video (320x240, 4:3) - Low Quanlity, Less File Size",
     "iPod MPEG-4 Video (320x240, 4:3) - Low Quality, Less File Size"},
    {"iPod MPEG-4 Video (320x180, 16:9) - Low Quanlity, Less File Size",
     "iPod MPEG-4 Video (320x180, 16:9) - Low Quality, Less File Size"},
    {"PSP MPEG-4 Video (368x208) - High Quanlity", "PSP MPEG-4 Video (368x208) - High Quality"},
    {"Archor Video (*.avi)", "Archos Video (*.avi)"},
};

std::string CurrentTitle(const std::string& title) {
    for (const auto& [old, current] : kRenamedTitles)
        if (title == old)
            return current;
    return title;
}

int ProfileCount(const TIniFile& ini) {
    return std::clamp(ini.ReadInteger(kOptionsSection, "FormatNum", 0), 0,
                      TProfileCatalogue::kMaxProfiles);
}

} // namespace

TProfileCatalogue::TProfileCatalogue(std::string settingsFile, std::string factoryFile)
    : FSettingsFile(std::move(settingsFile)), FFactoryFile(std::move(factoryFile)) {
    FSelection = SelectionFor(FProfile);
}

void TProfileCatalogue::Load() {
    const TIniFile ini(FSettingsFile);
    const int count = ProfileCount(ini);
    const int outputFormat = ini.ReadInteger(kOptionsSection, "OutputFormat", 0);
    FTitles.clear();
    for (int i = 0; i < count; ++i)
        FTitles.push_back(CurrentTitle(ini.ReadString(ProfileSection(i), "Title", "")));
    FStoredCount = count;

    // A settings file copied from an earlier release holds the shipped profiles of that time,
    // in the same places: the profiles shipped since then follow from the factory file.
    const TIniFile factory(FFactoryFile);
    const int shipped = ProfileCount(factory);
    bool earlierCopy = count > 0 && shipped > count;
    for (int i = 0; earlierCopy && i < count; ++i)
        earlierCopy = FTitles[i] == factory.ReadString(ProfileSection(i), "Title", "");
    for (int i = count; earlierCopy && i < shipped; ++i)
        FTitles.push_back(factory.ReadString(ProfileSection(i), "Title", ""));
    FGroups.clear();
    for (int i = 0; i < static_cast<int>(FTitles.size()); ++i) {
        const TIniFile& source = i < count ? ini : factory;
        const std::string section = ProfileSection(i);
        FGroups.push_back(ProfileGroup(FTitles[i], source.ReadString(section, "VideoFormat", ""),
                                       source.ReadString(section, "FileType", "")));
    }
    Select(outputFormat);
}

void TProfileCatalogue::Select(int index) {
    FSelected = index >= 0 && index < static_cast<int>(FTitles.size()) ? index : -1;
    // Nothing selected means every default, even if a stray "VideoFormat-1" section exists.
    if (FSelected < 0) {
        FProfile = TOutputProfile();
    } else if (FSelected < FStoredCount) {
        FProfile = ReadProfile(TIniFile(FSettingsFile), FSelected);
    } else {
        // Known from the factory file only; values the user saved for it since then win.
        FProfile = ReadProfile(TIniFile(FFactoryFile), FSelected);
        ReadTunedValues(TIniFile(FSettingsFile), FSelected, FProfile);
    }
    FSelection = SelectionFor(FProfile);
}

void TProfileCatalogue::RestoreVideoDefaults() {
    ReadVideoDefaults(TIniFile(FFactoryFile), FSelected, FProfile);
    SelectVideoValues(FProfile, FSelection);
}

void TProfileCatalogue::RestoreAudioDefaults() {
    ReadAudioDefaults(TIniFile(FFactoryFile), FSelected, FProfile);
    SelectAudioValues(FProfile, FSelection);
}

bool TProfileCatalogue::Save(const TOutputChoice& choice, const TJobEndOptions* jobEnd) {
    TIniFile ini(FSettingsFile);
    // A "VideoFormat-1" section would stop the no-selection case from reading defaults.
    bool ok = FSelected < 0 || WriteProfileValues(ini, FSelected, FSelection);
    TOutputChoice written = choice;
    written.OutputFormat = FSelected;
    ok &= TSettingsStore::WriteOutputChoice(ini, written);
    if (jobEnd)
        ok &= TSettingsStore::WriteJobEndOptions(ini, *jobEnd);
    if (!ok) {
        // Only a folder name with a line break gets here; it cannot be stored in the file.
        FLastError = "A value cannot be stored in \"" + FSettingsFile + "\"";
        return false;
    }
    if (!ini.UpdateFile()) {
        FLastError = ini.LastError();
        return false;
    }
    FLastError.clear();
    return true;
}

} // namespace velto
