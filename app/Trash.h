// Moving a user's file to the desktop's Trash instead of deleting it for good.
#pragma once

#include <QString>

namespace velto {

// True when path is now in the Trash (the home Trash, or that of the file's own volume). Qt 6.4
// puts the file into a "files" folder of the working directory when the home Trash's parent
// folder is missing, so that folder is made first.
bool MoveToTrash(const QString& path);

} // namespace velto
