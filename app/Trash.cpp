#include "Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace velto {

bool MoveToTrash(const QString& path) {
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QString inTrash;
    return QFile::moveToTrash(path, &inTrash) && QFileInfo(inTrash).isAbsolute();
}

} // namespace velto
