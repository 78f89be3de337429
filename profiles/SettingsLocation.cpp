#include "SettingsLocation.h"

#include "SettingsStore.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace velto {
namespace {

namespace fs = std::filesystem;

std::string Describe(const std::string& what, const fs::path& path, const std::error_code& error) {
    return what + " " + path.string() + ": " + error.message();
}

} // namespace

std::string UserConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return (fs::path(config) / kConfigFolderName).string();
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return {};
    return (fs::path(home) / ".config" / kConfigFolderName).string();
}

std::string FactoryDataFolder(const std::string& programFolder) {
    if (fs::exists(SettingsFilePath(programFolder)))
        return programFolder;
    const fs::path installed = fs::path(programFolder).parent_path() / kInstalledDataFolder;
    if (fs::exists(installed / kSettingsFileName))
        return installed.string();
    return programFolder;
}

TUserSettings PrepareUserSettings(const std::string& factoryFile, const std::string& configFolder) {
    TUserSettings result;
    if (configFolder.empty()) {
        result.Error = "No configuration folder: neither XDG_CONFIG_HOME nor HOME is set";
        return result;
    }
    const fs::path folder(configFolder);
    const fs::path target = folder / kSettingsFileName;
    result.FileName = target.string();
    std::error_code error;
    if (fs::exists(target, error) || !fs::exists(factoryFile, error))
        return result;
    fs::create_directories(folder, error);
    if (error) {
        result.Error = Describe("Cannot create the folder", folder, error);
        return result;
    }
    // Copy under a private name, then link it in place: the settings file appears whole or not
    // at all, and a copy made meanwhile by another start is kept rather than replaced.
    const fs::path partial =
        folder / (std::string(kSettingsFileName) + ".first-start-" + std::to_string(::getpid()));
    fs::copy_file(factoryFile, partial, fs::copy_options::overwrite_existing, error);
    if (error) {
        result.Error = Describe("Cannot copy the settings to", partial, error);
        fs::remove(partial, error);
        return result;
    }
    if (::link(partial.c_str(), target.c_str()) == 0) {
        result.Copied = true;
    } else if (errno != EEXIST) {
        // File systems without hard links: a plain rename, which only loses to an identical copy.
        const std::string linkError = std::strerror(errno);
        fs::rename(partial, target, error);
        if (!error) {
            result.Copied = true;
            return result;
        }
        result.Error = "Cannot create " + target.string() + ": " + linkError;
    }
    fs::remove(partial, error);
    return result;
}

TUserSettings PrepareUserSettingsFor(const std::string& programFolder) {
    return PrepareUserSettings(SettingsFilePath(FactoryDataFolder(programFolder)),
                               UserConfigFolder());
}

} // namespace velto
