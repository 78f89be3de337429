// The three places the program reads from: the program's folder (LibAV/), the folder of the
// factory data files, and the user's own settings file, which is the only one ever written.
#pragma once

#include <QString>

#include <string>

namespace velto {

struct TAppPaths {
    QString ProgramFolder;
    // Where the media libraries are bound from: LibAV/ beside the program in the build folder;
    // empty (the system's library path) when installed.
    QString LibrariesFolder;
    QString DataFolder;
    QString SettingsFile;
    // Why the user's settings file could not be prepared; reported in the log at start.
    QString SettingsError;

    TAppPaths() = default;
    // Everything in one folder with the settings file beside the program: the build folder's
    // layout, and what tests build in a scratch folder. Implicit so that a folder name will do.
    TAppPaths(const QString& folder);

    // The usual places for the program in programFolder: factory files found beside it or in
    // the installation's share folder, settings in QStandardPaths::AppConfigLocation, copied
    // there from the factory file at first start.
    static TAppPaths ForProgram(const QString& programFolder);

    std::string Settings() const { return SettingsFile.toStdString(); }
    std::string FactoryProfiles() const;
    // A shipped file (guide, FAQ, licence) by name.
    QString DataFile(const QString& name) const;
};

} // namespace velto
