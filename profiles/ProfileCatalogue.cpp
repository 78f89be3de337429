#include "ProfileCatalogue.h"

#include "IniFile.h"

#include <algorithm>

namespace velto {

TProfileCatalogue::TProfileCatalogue(std::string settingsFile, std::string factoryFile)
    : FSettingsFile(std::move(settingsFile)), FFactoryFile(std::move(factoryFile)) {
    FSelection = SelectionFor(FProfile);
}

void TProfileCatalogue::Load() {
    const TIniFile ini(FSettingsFile);
    const int count = std::clamp(ini.ReadInteger(kOptionsSection, "FormatNum", 0), 0, kMaxProfiles);
    const int outputFormat = ini.ReadInteger(kOptionsSection, "OutputFormat", 0);
    FTitles.clear();
    for (int i = 0; i < count; ++i)
        FTitles.push_back(ini.ReadString(ProfileSection(i), "Title", ""));
    Select(outputFormat);
}

void TProfileCatalogue::Select(int index) {
    FSelected = index >= 0 && index < static_cast<int>(FTitles.size()) ? index : -1;
    // Nothing selected means every default, even if a stray "VideoFormat-1" section exists.
    FProfile = FSelected < 0 ? TOutputProfile() : ReadProfile(TIniFile(FSettingsFile), FSelected);
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
