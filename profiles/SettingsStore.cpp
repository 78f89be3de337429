#include "SettingsStore.h"

#include "IniFile.h"

namespace velto {
namespace {

std::string InFolder(const std::string& folder, const char* name) {
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string ReadRecentOutputFolder(const TIniFile& ini) {
    std::string folder = ini.ReadString(kOptionsSection, "RecentOutputFolder", kAutoFolder);
    // Output names are built as folder + file name: an empty folder would put outputs in the
    // working directory, one without its delimiter would glue the names together.
    if (folder.empty())
        return kAutoFolder;
    if (folder != kAutoFolder && folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace

std::string SettingsFilePath(const std::string& programFolder) {
    return InFolder(programFolder, kSettingsFileName);
}

std::string FactoryProfilesPath(const std::string& programFolder) {
    return InFolder(programFolder, kFactoryProfilesFileName);
}

std::string TOutputChoice::EffectiveOutputFolder() const {
    return ConvertToSamePath ? kAutoFolder : RecentOutputFolder;
}

std::int32_t TSettingsStore::FormatNum() const {
    return TIniFile(FFileName).ReadInteger(kOptionsSection, "FormatNum", 0);
}

std::string TSettingsStore::RecentOutputFolder() const {
    return ReadRecentOutputFolder(TIniFile(FFileName));
}

TOutputChoice TSettingsStore::ReadOutputChoice() const {
    const TIniFile ini(FFileName);
    TOutputChoice choice;
    choice.OutputFormat = ini.ReadInteger(kOptionsSection, "OutputFormat", 0);
    choice.ConvertToSamePath = ini.ReadInteger(kOptionsSection, "ConvertToSamePath", 1) == 1;
    choice.OverwriteExistFile = ini.ReadInteger(kOptionsSection, "OverwriteExistFile", 0) == 1;
    choice.RecentOutputFolder = ReadRecentOutputFolder(ini);
    return choice;
}

TJobEndOptions TSettingsStore::ReadJobEndOptions(bool openFolderDefault) const {
    const TIniFile ini(FFileName);
    TJobEndOptions options;
    options.DelFileWhenCanceled = ini.ReadBool(kOptionsSection, "DelFileWhenCanceled", false);
    options.DeleteSourceWhenDone = ini.ReadBool(kOptionsSection, "DeleteSourceWhenDone", false);
    options.OpenFolderWhenDone =
        ini.ReadBool(kOptionsSection, "OpenFolderWhenDone", openFolderDefault);
    options.ShunDownWhenDone = ini.ReadBool(kOptionsSection, "ShunDownWhenDone", false);
    return options;
}

bool TSettingsStore::WriteOutputChoice(TIniFile& ini, const TOutputChoice& choice) {
    // Each write is attempted, so that one refused value does not drop the others.
    bool ok = ini.WriteInteger(kOptionsSection, "OutputFormat", choice.OutputFormat);
    ok &= ini.WriteInteger(kOptionsSection, "ConvertToSamePath", choice.ConvertToSamePath);
    ok &= ini.WriteInteger(kOptionsSection, "OverwriteExistFile", choice.OverwriteExistFile);
    ok &= ini.WriteString(kOptionsSection, "RecentOutputFolder", choice.RecentOutputFolder);
    return ok;
}

bool TSettingsStore::WriteJobEndOptions(TIniFile& ini, const TJobEndOptions& options) {
    bool ok = ini.WriteBool(kOptionsSection, "DelFileWhenCanceled", options.DelFileWhenCanceled);
    ok &= ini.WriteBool(kOptionsSection, "DeleteSourceWhenDone", options.DeleteSourceWhenDone);
    ok &= ini.WriteBool(kOptionsSection, "OpenFolderWhenDone", options.OpenFolderWhenDone);
    ok &= ini.WriteBool(kOptionsSection, "ShunDownWhenDone", options.ShunDownWhenDone);
    return ok;
}

bool TSettingsStore::SaveJobEndOptions(const TJobEndOptions& options) {
    TIniFile ini(FFileName);
    WriteJobEndOptions(ini, options);
    const bool ok = ini.UpdateFile();
    FLastError = ini.LastError();
    return ok;
}

std::string TSettingsStore::ReadOption(const std::string& key,
                                       const std::string& defaultValue) const {
    return TIniFile(FFileName).ReadString(kOptionsSection, key, defaultValue);
}

bool TSettingsStore::SaveOption(const std::string& key, const std::string& value) {
    TIniFile ini(FFileName);
    const bool ok = ini.WriteString(kOptionsSection, key, value) && ini.UpdateFile();
    FLastError = ini.LastError();
    return ok;
}

} // namespace velto
