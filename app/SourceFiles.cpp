#include "SourceFiles.h"

#include "QtPlatformServices.h"
#include "SettingsStore.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

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
