// What the output-format dialog decides, without its widgets: the catalogue and the value lists'
// selection, the output folder choice, the source being added, the folder to start browsing in,
// the path whose drive the OK check examines, and saving or turning it all into a job's records.
// The dialog is a thin view over this. Main thread.
#pragma once

#include "JobBuilder.h"
#include "ProfileCatalogue.h"
#include "SettingsStore.h"

#include <string>
#include <vector>

namespace velto {

// Everything the user set in the dialog for a job, so that editing the job later opens the
// dialog as it was left rather than at the last Add's choice.
struct TDialogChoice {
    int Profile = -1; // catalogue place
    TProfileSelection Selection;
    bool SameFolder = true;
    std::string FolderText = kAutoFolder;
    bool Overwrite = false;
    TRotationChoice Rotation = TRotationChoice::Auto;
    int AudioStream = -1;
    TSubtitleMode SubtitleMode = TSubtitleMode::Auto;
};

class TConvertOptionsModel {
public:
    TConvertOptionsModel(std::string settingsFile, std::string factoryFile);

    // Reads the output choice and the catalogue, selecting "OutputFormat".
    void Load();

    TProfileCatalogue& Catalogue() { return FCatalogue; }
    const TProfileCatalogue& Catalogue() const { return FCatalogue; }

    // The file being added, as its probe found it (its picture is what kept proportions
    // follow); none when docked in the preferences.
    void AttachSource(TSourceSummary source) {
        FSource = std::move(source);
        FAudioStream = -1;
    }
    const std::string& SourceFile() const { return FSource.FileName; }
    const TSourceSummary& Source() const { return FSource; }

    // The sound track the user picked for this job, by its stream index; -1: chosen by the
    // rule (preferred language, default flag, first).
    void SetAudioStream(int stream) { FAudioStream = stream; }
    int AudioStream() const { return FAudioStream; }
    // The sound track the job will convert, as its index in the source's tracks; -1: none.
    int AudioTrackToConvert() const;
    void SetSubtitleMode(TSubtitleMode mode) { FSubtitleMode = mode; }
    TSubtitleMode SubtitleMode() const { return FSubtitleMode; }

    bool SameFolder() const { return FSameFolder; }
    // Same folder: the folder text becomes "Auto".
    void ChooseSameFolder();
    // Output folder: the folder text is "RecentOutputFolder" as the settings file holds it now,
    // unless a folder was browsed in this dialog, which is kept. Choosing it again while it is
    // already chosen changes nothing.
    void ChooseOutputFolder();
    const std::string& FolderText() const { return FFolderText; }
    // A folder the browser returned; stored with a trailing delimiter.
    void SetBrowsedFolder(const std::string& folder);
    // A folder typed or pasted into the field; empty leaves no folder chosen.
    void SetTypedFolder(const std::string& folder);

    // How the job turns the picture; Auto follows the source's display matrix.
    TRotationChoice Rotation() const { return FRotation; }
    void SetRotation(TRotationChoice rotation) { FRotation = rotation; }
    // The clockwise turn the source's display matrix asks for (0 when none is attached).
    int SourceRotation() const { return FSource.Rotation; }

    // Every output of the job at most this many bytes; 0: no limit.
    std::int64_t SizeLimit() const { return FSizeLimit; }
    void SetSizeLimit(std::int64_t bytes) { FSizeLimit = bytes; }
    bool Overwrite() const { return FOverwrite; }
    void SetOverwrite(bool overwrite) { FOverwrite = overwrite; }

    // The folder text unless "Auto", else the source's folder; empty when there is none or it
    // does not exist.
    std::string BrowseStartFolder() const;
    // The path whose drive decides whether OK may close: the folder text, or the source when it
    // is "Auto". Empty when there is nothing to examine (no source and "Auto").
    std::string CloseCheckPath() const;

    // The folder outputs go to: the folder text, or the source's folder when it is "Auto".
    // Empty when there is nothing to examine (no source and "Auto", or no folder typed).
    std::string OutputFolder() const;
    // False when OutputFolder names no folder or one this user cannot write into.
    bool OutputFolderWritable() const;

    // What the preferences save: "OutputFormat" is the selected profile.
    TOutputChoice Choice() const;
    // Writes the selected profile's tunable values, the output choice and, when given, the
    // job-end options, in one replacement of the settings file. False (LastError) when the file
    // could not be written; it is then unchanged.
    bool Save(const TJobEndOptions* jobEnd = nullptr);
    const std::string& LastError() const { return FLastError; }
    // After an Add: remembers the profile and where outputs went, so that the next Add starts
    // from them. The profile's values and the other options are left as they are.
    bool SaveRecentChoice();

    TDialogChoice DialogChoice() const;
    // Selects the choice's profile with its values and its folder and options; call after
    // AttachSource, which forgets the picked sound track.
    void ApplyDialogChoice(const TDialogChoice& choice);

    // The job's records for the attached source, its output named.
    TJobRecords BuildJob(const TTakenPaths& takenPaths = {}) const;

private:
    std::string FSettingsFile;
    TProfileCatalogue FCatalogue;
    TSourceSummary FSource;
    bool FSameFolder = true;
    bool FOverwrite = false;
    TRotationChoice FRotation = TRotationChoice::Auto;
    std::string FFolderText = kAutoFolder;
    std::string FBrowsedFolder;
    std::string FLastError;
    int FAudioStream = -1;
    std::int64_t FSizeLimit = 0;
    TSubtitleMode FSubtitleMode = TSubtitleMode::Auto;
};

// The size the "Fit into" list holds: a number alone is megabytes ("16", "2.5"), else a size as
// the command line takes it ("700K", "1G", "16 MB"); empty is no limit (0). False for anything
// else.
bool ParseFitSizeText(const std::string& text, std::int64_t& bytes);

// A mount is an optical drive when its file system is a disc's or its device is a CD/DVD drive.
bool IsOpticalMount(const std::string& fileSystemType, const std::string& device);

} // namespace velto
