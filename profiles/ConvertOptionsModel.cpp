#include "ConvertOptionsModel.h"

#include "IniFile.h"
#include "OutputProfile.h"
#include "SizeForecast.h"

#include <cctype>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace velto {

TConvertOptionsModel::TConvertOptionsModel(std::string settingsFile, std::string factoryFile)
    : FSettingsFile(settingsFile), FCatalogue(std::move(settingsFile), std::move(factoryFile)) {}

void TConvertOptionsModel::Load() {
    const TOutputChoice choice = TSettingsStore(FSettingsFile).ReadOutputChoice();
    FOverwrite = choice.OverwriteExistFile;
    FSameFolder = choice.ConvertToSamePath;
    FFolderText = FSameFolder ? kAutoFolder : choice.RecentOutputFolder;
    FCatalogue.Load();
}

void TConvertOptionsModel::ChooseSameFolder() {
    FSameFolder = true;
    FFolderText = kAutoFolder;
}

void TConvertOptionsModel::ChooseOutputFolder() {
    if (!FSameFolder)
        return;
    FSameFolder = false;
    FFolderText = FBrowsedFolder.empty() ? TSettingsStore(FSettingsFile).RecentOutputFolder()
                                         : FBrowsedFolder;
}

void TConvertOptionsModel::SetBrowsedFolder(const std::string& folder) {
    if (folder.empty())
        return;
    FFolderText = folder.back() == '/' ? folder : folder + '/';
    FBrowsedFolder = FFolderText;
}

void TConvertOptionsModel::SetTypedFolder(const std::string& folder) {
    if (folder.empty()) {
        FFolderText.clear();
        FBrowsedFolder.clear();
        return;
    }
    SetBrowsedFolder(folder);
}

std::string TConvertOptionsModel::BrowseStartFolder() const {
    std::string folder;
    if (FFolderText != kAutoFolder)
        folder = FFolderText;
    else if (!FSource.FileName.empty())
        folder = std::filesystem::path(FSource.FileName).parent_path().string();
    std::error_code error;
    return !folder.empty() && std::filesystem::is_directory(folder, error) ? folder : std::string();
}

std::string TConvertOptionsModel::CloseCheckPath() const {
    return FFolderText == kAutoFolder ? FSource.FileName : FFolderText;
}

std::string TConvertOptionsModel::OutputFolder() const {
    if (FFolderText != kAutoFolder)
        return FFolderText;
    if (FSource.FileName.empty())
        return {};
    const std::filesystem::path parent = std::filesystem::path(FSource.FileName).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

bool TConvertOptionsModel::OutputFolderWritable() const {
    const std::string folder = OutputFolder();
    std::error_code error;
    // access() asks as this user: the mode bits alone miss read-only mounts and root's view.
    return !folder.empty() && std::filesystem::is_directory(folder, error) &&
           access(folder.c_str(), W_OK | X_OK) == 0;
}

TOutputChoice TConvertOptionsModel::Choice() const {
    TOutputChoice choice;
    choice.OutputFormat = FCatalogue.SelectedIndex();
    choice.ConvertToSamePath = FSameFolder;
    choice.OverwriteExistFile = FOverwrite;
    choice.RecentOutputFolder = FFolderText;
    return choice;
}

bool TConvertOptionsModel::Save(const TJobEndOptions* jobEnd) {
    const bool saved = FCatalogue.Save(Choice(), jobEnd);
    FLastError = FCatalogue.LastError();
    return saved;
}

bool TConvertOptionsModel::SaveRecentChoice() {
    TIniFile ini(FSettingsFile);
    bool ok = ini.WriteInteger(kOptionsSection, "OutputFormat", FCatalogue.SelectedIndex());
    ok &= ini.WriteInteger(kOptionsSection, "ConvertToSamePath", FSameFolder);
    if (!FSameFolder && FFolderText != kAutoFolder)
        ok &= ini.WriteString(kOptionsSection, "RecentOutputFolder", FFolderText);
    ok = ok && ini.UpdateFile();
    FLastError = ini.LastError();
    return ok;
}

TDialogChoice TConvertOptionsModel::DialogChoice() const {
    return {FCatalogue.SelectedIndex(),
            FCatalogue.Selection(),
            FSameFolder,
            FFolderText,
            FOverwrite,
            FRotation,
            FAudioStream,
            FSubtitleMode};
}

void TConvertOptionsModel::ApplyDialogChoice(const TDialogChoice& choice) {
    FCatalogue.Select(choice.Profile);
    // A catalogue that lost the profile since keeps the values that profile has now.
    if (FCatalogue.SelectedIndex() == choice.Profile && choice.Profile >= 0)
        FCatalogue.Selection() = choice.Selection;
    FSameFolder = choice.SameFolder;
    FFolderText = choice.SameFolder ? kAutoFolder : choice.FolderText;
    if (!choice.SameFolder)
        FBrowsedFolder = choice.FolderText;
    FOverwrite = choice.Overwrite;
    FRotation = choice.Rotation;
    FAudioStream = choice.AudioStream;
    FSubtitleMode = choice.SubtitleMode;
}

TJobRecords TConvertOptionsModel::BuildJob(const TTakenPaths& takenPaths) const {
    TOutputPlacement placement;
    placement.FolderText = FFolderText;
    placement.Overwrite = FOverwrite;
    placement.TakenPaths = takenPaths;
    TJobBuilder builder(FCatalogue.Profile(), FCatalogue.Selection(), std::move(placement));
    // Read at every Add, since the preferences may have changed it since the last one.
    const TSettingsStore settings(FSettingsFile);
    builder.SetKeepUnfinished(!settings.ReadJobEndOptions(true).DelFileWhenCanceled);
    builder.SetPreferredLanguage(settings.ReadOption(kPreferredLanguageKey));
    builder.SetAudioStream(FAudioStream);
    builder.SetSubtitleMode(FSubtitleMode);
    builder.SetRotation(FRotation);
    builder.SetKeepFileDates(settings.ReadOption(kKeepFileDatesKey, "0") == "1");
    builder.SetSizeLimit(FSizeLimit);
    return builder.Build(FSource);
}

int TConvertOptionsModel::AudioTrackToConvert() const {
    return ChooseAudioTrack(
        FSource, TSettingsStore(FSettingsFile).ReadOption(kPreferredLanguageKey), FAudioStream);
}

bool ParseFitSizeText(const std::string& text, std::int64_t& bytes) {
    std::string size;
    for (const char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            size += c;
    if (size.empty()) {
        bytes = 0;
        return true;
    }
    // "16 MB" and "16M" alike.
    if (size.size() > 1 && (size.back() == 'B' || size.back() == 'b') &&
        std::isalpha(static_cast<unsigned char>(size[size.size() - 2])))
        size.pop_back();
    if (std::isdigit(static_cast<unsigned char>(size.back())))
        size += 'M';
    return ParseSizeText(size, bytes);
}

bool IsOpticalMount(const std::string& fileSystemType, const std::string& device) {
    return fileSystemType == "iso9660" || fileSystemType == "udf" ||
           device.starts_with("/dev/sr") || device.starts_with("/dev/cdrom");
}

} // namespace velto
