// What Add, a drop and a folder turn into: the media files to probe, in a stable order.
#pragma once

#include <QStringList>

namespace velto {

// The name patterns of the Add dialog's media filters ("*.avi", "*.mp4", ...), without "*".
QStringList MediaFilePatterns();

// Files stay as given (whatever their name: the user chose them); a folder gives the media files
// under it, sorted by path. Duplicates and paths that do not exist are dropped here; missing
// ones are returned in missing when it is given.
QStringList ExpandSources(const QStringList& paths, QStringList* missing = nullptr);

// The files and folders named on the program's command line (as a desktop's "Open with" passes
// them): paths relative to workingFolder made absolute, file: URLs made paths; options (a leading
// "-") and other URLs are left out.
QStringList CommandLineSources(const QStringList& arguments, const QString& workingFolder);

// The folder the Add dialog opens in: the one files were last chosen from, kept in the settings
// file; empty when none is kept or it has gone.
QString RecentSourceFolder(const QString& settingsFile);
void RememberSourceFolder(const QString& settingsFile, const QStringList& chosenFiles);

} // namespace velto
