#include "Refusals.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace velto {

QString RefusalReason(const QString& file, const QString& engineText) {
    const QFileInfo info(file);
    if (!info.exists())
        return QCoreApplication::translate("TJobController", "文件不存在");
    if (info.isFile() && !info.isReadable())
        return QCoreApplication::translate("TJobController", "没有读取这个文件的权限");
    if (!info.isFile())
        return QCoreApplication::translate("TJobController", "不是普通文件");
    if (info.size() == 0)
        return QCoreApplication::translate("TJobController", "文件是空的");
    if (engineText.contains(QLatin1String("Unknown format")))
        return QCoreApplication::translate("TJobController", "不是可以转换的媒体文件");
    if (engineText.contains(QLatin1String("I/O error")) ||
        engineText.contains(QLatin1String("parsing header")) ||
        engineText.contains(QLatin1String("codec parameters")))
        return QCoreApplication::translate("TJobController", "文件已损坏或不完整");
    // Anything else in the engine's words, without the file's name in front.
    QString reason = engineText;
    for (const QString& name : {file, info.absoluteFilePath()})
        if (reason.startsWith(name + QLatin1String(": ")))
            reason = reason.mid(name.size() + 2);
    return reason;
}

} // namespace velto
