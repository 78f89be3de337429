#include "QtPlatformServices.h"

#include "frm_ConvertOptions.h"

#include "AVProbe.h"
#include "SettingsStore.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

namespace velto {

QStringList SourceFileFilters() {
    return {
        QStringLiteral("Video files (*.avi *.mpeg *.mpg *.wmv *.qt *.mpm *.mpv *.mpa *.mov *.vob "
                       "*.mp4 *.3gp *.3g2 *.mod *.asf *.dv *.flv *.dvr-ms *.swf *.mp3 *.ac3 "
                       "*.aac *.m4a)"),
        QStringLiteral("AVI files (*.avi)"),
        QStringLiteral("MPEG files (*.mpeg *.mpg *.mpm *.mpv *.mpa *.mod *.vob)"),
        QStringLiteral("Media Player files (*.wmv *.asf *.wma)"),
        QStringLiteral("Real Media files (*.rm *.rmvb)"),
        QStringLiteral("Quick Time files (*.qt *.mov)"),
        QStringLiteral("MPEG-4 files (*.mp4 *.3gp *.3g2 *.m4v)"),
        QStringLiteral("DVD-MPEG2 PS files (*.vob)"),
        QStringLiteral("Microsoft Recorded TV Show (*.dvr-ms)"),
        QStringLiteral("FLV Flash files (*.flv)"),
        QStringLiteral("SWF Flash files (*.swf)"),
        QStringLiteral("Audio files (*.mp3 *.ac3 *.aac *.m4a)"),
        QStringLiteral("All files (*)"),
    };
}

QString TQtFileChooser::ChooseSourceFile() {
    QFileDialog dialog(parent_, QStringLiteral("请选择需要转换的文件"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    const QStringList filters = SourceFileFilters();
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void TQtMessageBox::Show(const QString& text, TIcon icon) {
    QMessageBox box(icon == TIcon::Exclamation ? QMessageBox::Warning : QMessageBox::Critical,
                    QString::fromUtf8(kApplicationTitle), text, QMessageBox::Ok, parent_);
    box.exec();
}

bool TQtShell::Open(const QString& target, TShow) {
    // Qt hands the window state to the desktop's opener; it cannot be chosen from here.
    const QUrl url = target.contains(QStringLiteral("://")) || target.startsWith("mailto:")
                         ? QUrl(target)
                         : QUrl::fromLocalFile(target);
    return QDesktopServices::openUrl(url);
}

void TQtPowerOff::PowerOff() {
    QDBusInterface manager(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QDBusConnection::systemBus());
    if (manager.isValid()) {
        const QDBusMessage reply = manager.call(QStringLiteral("PowerOff"), false);
        if (reply.type() != QDBusMessage::ErrorMessage)
            return;
    }
    QProcess::startDetached(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
}

bool TDialogFormatChooser::Choose(const TCustomAVProbe& probe,
                                  const std::vector<std::string>& takenPaths, TInputOptions& input,
                                  TOutputOptions& output) {
    TfrmConvertOptions dialog(dialogServices_, paths_.Settings(), paths_.FactoryProfiles(),
                              parent_);
    dialog.AttachProbe(&probe);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    output = dialog.BuildOutputOptions(takenPaths);
    input = dialog.BuildInputOptions();
    return true;
}

} // namespace velto
