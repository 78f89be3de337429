// The profile catalogue as the output-format dialog sees it: the list of titles, the selected
// profile (TOutputProfile) and the selection it makes in the value lists, the two restore-defaults
// operations and the write-back. The dialog is a thin view over this. Main thread.
#pragma once

#include "OutputProfile.h"
#include "ProfileGroups.h"
#include "SettingsStore.h"
#include "ValueLists.h"

#include <string>
#include <vector>

namespace velto {

class TProfileCatalogue {
public:
    // A "FormatNum" beyond this is damage, not a catalogue; listing it would hang the dialog.
    static constexpr int kMaxProfiles = 1000;

    TProfileCatalogue(std::string settingsFile, std::string factoryFile);

    // Reads "FormatNum" titles (empty ones included) and selects "OutputFormat", which may leave
    // nothing selected. Titles an earlier release misspelt show corrected; a settings file that
    // is a copy of an earlier release's catalogue is followed by the profiles shipped since.
    void Load();
    // Selects an index (anything outside the list selects nothing, -1) and reads its profile
    // from the settings file; with nothing selected every value is its default.
    void Select(int index);

    const std::vector<std::string>& Titles() const { return FTitles; }
    // The kind of device each title is for, in the same places.
    const std::vector<TProfileGroup>& Groups() const { return FGroups; }
    int SelectedIndex() const { return FSelected; }
    const TOutputProfile& Profile() const { return FProfile; }
    // The lists' state; the dialog writes the user's picks back here.
    const TProfileSelection& Selection() const { return FSelection; }
    TProfileSelection& Selection() { return FSelection; }

    // Re-read part of the selected profile from the factory file, into Profile and Selection.
    // Locked lists change as well; nothing is written.
    void RestoreVideoDefaults();
    void RestoreAudioDefaults();

    // Writes the selected profile's tunable values as Selection shows them, and the output
    // choice with "OutputFormat" = the selected index, in one replacement of the settings file.
    // With nothing selected no profile section is written. False (LastError) when the file could
    // not be written; it is then unchanged.
    // jobEnd, when given, goes into the same single replacement of the file.
    bool Save(const TOutputChoice& choice, const TJobEndOptions* jobEnd = nullptr);
    const std::string& LastError() const { return FLastError; }

private:
    std::string FSettingsFile;
    std::string FFactoryFile;
    std::vector<std::string> FTitles;
    std::vector<TProfileGroup> FGroups;
    int FStoredCount = 0; // profiles the settings file lists; the rest come from the factory file
    int FSelected = -1;
    TOutputProfile FProfile;
    TProfileSelection FSelection;
    std::string FLastError;
};

} // namespace velto
