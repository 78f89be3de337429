// The "Options" section of the settings file: key names, their defaults and typed read/write.
// Every call opens the file, reads or writes, and closes it again; nothing is cached, so what the
// preferences dialog saves is seen by the next reader at once. Main thread.
#pragma once

#include <cstdint>
#include <string>

namespace velto {

class TIniFile;

inline constexpr const char* kSettingsFileName = "Velto3GPConverter.ini";
inline constexpr const char* kFactoryProfilesFileName = "VideoFormat.dat";
inline constexpr const char* kOptionsSection = "Options";
inline constexpr const char* kAutoFolder = "Auto";
// "1": every output takes its source's modification time.
inline constexpr const char* kKeepFileDatesKey = "KeepFileDates";

// The two files beside the program; programFolder is the folder holding the program file.
std::string SettingsFilePath(const std::string& programFolder);
std::string FactoryProfilesPath(const std::string& programFolder);

// Where outputs go and which profile is preselected: read when the output-format dialog is
// created, written by the preferences dialog.
struct TOutputChoice {
    std::int32_t OutputFormat = 0;
    // Only the stored value 1 counts as on for these two.
    bool ConvertToSamePath = true;
    bool OverwriteExistFile = false;
    // A folder ending in a path delimiter, or "Auto".
    std::string RecentOutputFolder = kAutoFolder;

    // The folder outputs go to: "Auto" (next to the source) unless a folder is chosen and the
    // same-folder choice is off.
    std::string EffectiveOutputFolder() const;
};

// What happens when a job ends; read by the batch controller after each job and by the
// preferences dialog.
struct TJobEndOptions {
    bool DelFileWhenCanceled = false;
    bool DeleteSourceWhenDone = false;
    bool OpenFolderWhenDone = false;
    bool ShunDownWhenDone = false; // the stored key is spelled so
};

// The "Options" key holding the ISO 639 code of the sound track language to prefer (empty: none).
inline constexpr const char* kPreferredLanguageKey = "PreferredLanguage";

class TSettingsStore {
public:
    explicit TSettingsStore(std::string fileName) : FFileName(std::move(fileName)) {}
    const std::string& FileName() const { return FFileName; }

    // Number of catalogue sections VideoFormat0 and on; 0 without a catalogue.
    std::int32_t FormatNum() const;
    TOutputChoice ReadOutputChoice() const;
    // The folder box's source when the output-folder choice is clicked.
    std::string RecentOutputFolder() const;
    // A missing "OpenFolderWhenDone" counts as openFolderDefault; the batch controller and the
    // preferences both pass true, so the dialog shows what the controller will do.
    TJobEndOptions ReadJobEndOptions(bool openFolderDefault) const;

    // Write into an open file, for callers that save several groups in one replacement.
    static bool WriteOutputChoice(TIniFile& ini, const TOutputChoice& choice);
    static bool WriteJobEndOptions(TIniFile& ini, const TJobEndOptions& options);

    // Open, write, replace the file. False when the file could not be written (error in
    // LastError); the old file is then unchanged.
    bool SaveJobEndOptions(const TJobEndOptions& options);

    // Window state kept between runs ("RecentSourceFolder", "Language"), as plain text.
    std::string ReadOption(const std::string& key, const std::string& defaultValue = {}) const;
    bool SaveOption(const std::string& key, const std::string& value);
    const std::string& LastError() const { return FLastError; }

private:
    std::string FFileName;
    std::string FLastError;
};

} // namespace velto
