#include "SourceFiles.h"

#include "QtPlatformServices.h"
#include "SettingsStore.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

namespace velto {

QStringList MediaFilePatterns() {
    QStringList patterns;
    static const QRegularExpression pattern(QStringLiteral(R"(\*\.[^ )]+)"));
    for (const QString& filter : SourceFileFilters())
        for (const QRegularExpressionMatch& match : pattern.globalMatch(filter))
            if (!patterns.contains(match.captured()))
                patterns << match.captured();
    return patterns;
}

QStringList CommandLineSources(const QStringList& arguments, const QString& workingFolder) {
    QStringList sources;
    for (const QString& argument : arguments) {
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-')))
            continue;
        const QUrl url(argument);
        if (url.isLocalFile()) {
            sources << url.toLocalFile();
            continue;
        }
        // "name:..." that is not a file: would be a web address no file dialog could give.
        if (url.isValid() && url.scheme().size() > 1 && !QFileInfo::exists(argument))
            continue;
        sources << QFileInfo(QDir(workingFolder), argument).absoluteFilePath();
    }
    return sources;
}

QStringList ExpandSources(const QStringList& paths, QStringList* missing) {
    QStringList files;
    QSet<QString> seen;
    auto add = [&](const QString& file) {
        const QString absolute = QFileInfo(file).absoluteFilePath();
        if (!seen.contains(absolute)) {
            seen.insert(absolute);
            files << absolute;
        }
    };
    const QStringList patterns = MediaFilePatterns();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            QStringList inFolder;
            QDirIterator it(path, patterns, QDir::Files | QDir::Readable,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                inFolder << it.next();
            inFolder.sort();
            for (const QString& file : inFolder)
                add(file);
        } else if (info.exists()) {
            add(path);
        } else if (missing) {
            *missing << path;
        }
    }
    return files;
}

QString RecentSourceFolder(const QString& settingsFile) {
    const QString folder = QString::fromStdString(
        TSettingsStore(settingsFile.toStdString()).ReadOption("RecentSourceFolder"));
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void RememberSourceFolder(const QString& settingsFile, const QStringList& chosenFiles) {
    if (chosenFiles.isEmpty())
        return;
    TSettingsStore(settingsFile.toStdString())
        .SaveOption("RecentSourceFolder",
                    QFileInfo(chosenFiles.first()).absolutePath().toStdString());
}

} // namespace velto
