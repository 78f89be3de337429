#include "QtPlatformServices.h"

#include "frm_ConvertOptions.h"

#include "AVProbe.h"
#include "SettingsStore.h"
#include "SourceFiles.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include <utility>

namespace velto {

QString ProductName() {
    return QCoreApplication::translate("TfrmMain", kProductName);
}

QStringList SourceFileFilters() {
    return {
        // Every type the program converts, so that neither this default nor a folder import
        // (which takes its patterns from these filters) passes one over.
        QCoreApplication::translate(
            "TQtFileChooser",
            "Media files (*.avi *.mpeg *.mpg *.wmv *.qt *.mpm *.mpv *.mpa *.mov *.vob "
            "*.mp4 *.m4v *.3gp *.3g2 *.mod *.asf *.dv *.flv *.dvr-ms *.swf *.mkv *.webm "
            "*.ts *.m2ts *.mts *.ogv *.rm *.rmvb *.mp3 *.ac3 *.aac *.m4a *.wav *.flac "
            "*.ogg *.oga *.opus *.wma)"),
        QCoreApplication::translate("TQtFileChooser", "AVI files (*.avi)"),
        QCoreApplication::translate("TQtFileChooser",
                                    "MPEG files (*.mpeg *.mpg *.mpm *.mpv *.mpa *.mod *.vob)"),
        QCoreApplication::translate("TQtFileChooser", "Media Player files (*.wmv *.asf *.wma)"),
        QCoreApplication::translate("TQtFileChooser", "Real Media files (*.rm *.rmvb)"),
        QCoreApplication::translate("TQtFileChooser", "Quick Time files (*.qt *.mov)"),
        QCoreApplication::translate("TQtFileChooser", "MPEG-4 files (*.mp4 *.3gp *.3g2 *.m4v)"),
        QCoreApplication::translate("TQtFileChooser", "DVD-MPEG2 PS files (*.vob)"),
        QCoreApplication::translate("TQtFileChooser", "Matroska and WebM files (*.mkv *.webm)"),
        QCoreApplication::translate("TQtFileChooser", "MPEG transport streams (*.ts *.m2ts *.mts)"),
        QCoreApplication::translate("TQtFileChooser", "Microsoft Recorded TV Show (*.dvr-ms)"),
        QCoreApplication::translate("TQtFileChooser", "FLV Flash files (*.flv)"),
        QCoreApplication::translate("TQtFileChooser", "SWF Flash files (*.swf)"),
        QCoreApplication::translate(
            "TQtFileChooser",
            "Audio files (*.mp3 *.ac3 *.aac *.m4a *.wav *.flac *.ogg *.oga *.opus *.wma)"),
        QCoreApplication::translate("TQtFileChooser", "All files (*)"),
    };
}

QStringList TQtFileChooser::ChooseSourceFiles() {
    QFileDialog dialog(parent_,
                       QCoreApplication::translate("TQtFileChooser", "请选择需要转换的文件"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    const QString recent = RecentSourceFolder(settingsFile_);
    if (!recent.isEmpty())
        dialog.setDirectory(recent);
    dialog.setOption(QFileDialog::ReadOnly, false);
    const QStringList filters = SourceFileFilters();
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QStringList files = dialog.selectedFiles();
    RememberSourceFolder(settingsFile_, files);
    return files;
}

QString TQtFileChooser::ChooseSourceFolder() {
    const QString folder = QFileDialog::getExistingDirectory(
        parent_, QCoreApplication::translate("TQtFileChooser", "请选择需要转换的文件夹"),
        RecentSourceFolder(settingsFile_));
    if (!folder.isEmpty())
        RememberSourceFolder(settingsFile_, {folder + QStringLiteral("/.")});
    return folder;
}

void TQtMessageBox::Show(const QString& text, TIcon icon) {
    QMessageBox box(icon == TIcon::Exclamation ? QMessageBox::Warning : QMessageBox::Critical,
                    ProductName(), text, QMessageBox::Ok, parent_);
    box.exec();
}

bool TQtMessageBox::Confirm(const QString& text) {
    return QMessageBox::question(parent_, ProductName(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

bool TQtShell::Open(const QString& target, TShow) {
    // Qt hands the window state to the desktop's opener; it cannot be chosen from here.
    const QUrl url = target.contains(QStringLiteral("://")) || target.startsWith("mailto:")
                         ? QUrl(target)
                         : QUrl::fromLocalFile(target);
    return QDesktopServices::openUrl(url);
}

TDialogFormatChooser::TDialogFormatChooser(QWidget* parent, TAppPaths paths,
                                           TDialogServices& dialogServices)
    : parent_(parent), paths_(std::move(paths)), dialogServices_(dialogServices) {}

TDialogFormatChooser::~TDialogFormatChooser() = default;

bool TDialogFormatChooser::Ask(const TSourceSummary& source, const QStringList& files) {
    group_ = std::make_unique<TfrmConvertOptions>(dialogServices_, paths_.Settings(),
                                                  paths_.FactoryProfiles(), parent_);
    group_->AttachSource(source);
    group_->ShowSourceFiles(files);
    if (startFrom_)
        group_->ShowDialogChoice(*std::exchange(startFrom_, std::nullopt));
    if (group_->exec() != QDialog::Accepted) {
        group_.reset();
        return false;
    }
    // Failing to remember is no reason to refuse the files.
    group_->SaveRecentChoice();
    return true;
}

bool TDialogFormatChooser::BeginGroup(const TSourceSummary& first, const QStringList& files) {
    grouped_ = Ask(first, files);
    return grouped_;
}

void TDialogFormatChooser::EndGroup() {
    grouped_ = false;
    group_.reset();
}

bool TDialogFormatChooser::Choose(const TSourceSummary& source, const TTakenPaths& takenPaths,
                                  TJobRecords& job) {
    if (!grouped_ && !Ask(source, {QString::fromStdString(source.FileName)}))
        return false;
    // The file the dialog was shown for keeps the sound track picked there; the stream numbers
    // of another file's tracks mean something else.
    if (group_->Model().SourceFile() != source.FileName)
        group_->AttachSource(source);
    job = group_->BuildJob(takenPaths);
    last_ = group_->Model().DialogChoice();
    if (!grouped_)
        group_.reset();
    return true;
}

} // namespace velto
