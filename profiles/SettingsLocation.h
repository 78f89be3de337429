// Where the settings file lives. The file shipped with the program is the factory copy and is
// never written; each user works on a copy in the user's configuration folder, made at first
// start. Plain C++ so that every front end (window, command line) finds the same file.
#pragma once

#include <string>

namespace velto {

// The folder name under the configuration root; also the application name the window gives Qt,
// so that QStandardPaths::AppConfigLocation names the same folder.
inline constexpr const char* kConfigFolderName = "Velto3GPConverter";
// Installed, the data files live here under the installation prefix's share folder.
inline constexpr const char* kInstalledDataFolder = "share/velto3gpconverter";

// $XDG_CONFIG_HOME/Velto3GPConverter, or ~/.config/Velto3GPConverter when that variable is unset
// or relative (the XDG rule); empty when there is no home either.
std::string UserConfigFolder();

// The folder of the factory files (settings, VideoFormat.dat, guide, licence): beside the program
// in the build folder, <prefix>/share/velto3gpconverter when installed in <prefix>/bin.
std::string FactoryDataFolder(const std::string& programFolder);

struct TUserSettings {
    // The settings file to read and write from now on; empty only without a configuration folder.
    std::string FileName;
    // Set when this call made the first-start copy.
    bool Copied = false;
    // Why the folder or the copy could not be made; the caller reports it, FileName still holds
    // the place where saving will be tried.
    std::string Error;
};

// The user's settings file in configFolder. At first start (no file there yet) the folder is
// created and factoryFile copied in whole; an existing file is never replaced, not even by a
// second program starting at the same moment. A missing factory file leaves no copy: the
// settings then start empty and are created by the first save.
TUserSettings PrepareUserSettings(const std::string& factoryFile, const std::string& configFolder);

// The two steps above for the usual places: the factory file of programFolder's installation,
// copied into UserConfigFolder().
TUserSettings PrepareUserSettingsFor(const std::string& programFolder);

} // namespace velto
