#include "AppPaths.h"

#include "SettingsLocation.h"
#include "SettingsStore.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace velto {

TAppPaths::TAppPaths(const QString& folder)
    : ProgramFolder(folder), LibrariesFolder(folder + QStringLiteral("/LibAV")), DataFolder(folder),
      SettingsFile(QString::fromStdString(SettingsFilePath(folder.toStdString()))) {}

TAppPaths TAppPaths::ForProgram(const QString& programFolder) {
    TAppPaths paths;
    paths.ProgramFolder = programFolder;
    const QString libraries = programFolder + QStringLiteral("/LibAV");
    if (QFileInfo(libraries).isDir())
        paths.LibrariesFolder = libraries;
    paths.DataFolder = QString::fromStdString(FactoryDataFolder(programFolder.toStdString()));
    const QString configFolder =
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    const TUserSettings user = PrepareUserSettings(SettingsFilePath(paths.DataFolder.toStdString()),
                                                   configFolder.toStdString());
    paths.SettingsFile = QString::fromStdString(user.FileName);
    paths.SettingsError = QString::fromStdString(user.Error);
    return paths;
}

std::string TAppPaths::FactoryProfiles() const {
    return FactoryProfilesPath(DataFolder.toStdString());
}

QString TAppPaths::DataFile(const QString& name) const {
    return DataFolder + QLatin1Char('/') + name;
}

} // namespace velto
