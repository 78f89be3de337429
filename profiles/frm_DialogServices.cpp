#include "frm_DialogServices.h"

#include "ConvertOptionsModel.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStorageInfo>
#include <QUrl>

#include <filesystem>
#include <system_error>

namespace velto {

std::string TQtDialogServices::ChooseFolder(QWidget* parent, const QString& title,
                                            const std::string& initialFolder) {
    const QString folder = QFileDialog::getExistingDirectory(
        parent, title, QString::fromStdString(initialFolder), QFileDialog::ShowDirsOnly);
    return folder.toStdString();
}

void TQtDialogServices::ShowInformation(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QGuiApplication::applicationDisplayName(), text);
}

bool TQtDialogServices::Confirm(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, QGuiApplication::applicationDisplayName(), text) ==
           QMessageBox::Yes;
}

void TQtDialogServices::ShowHelp(QWidget*, const QString& section) {
    if (GuideFile.isEmpty())
        return;
    QUrl url = QUrl::fromLocalFile(GuideFile);
    url.setFragment(section);
    QDesktopServices::openUrl(url);
}

bool TQtDialogServices::IsOnOpticalDrive(const std::string& path) {
    if (path.empty())
        return false;
    // A folder that is not there yet lives on the drive of its nearest existing parent.
    std::error_code error;
    std::filesystem::path existing = std::filesystem::absolute(path, error);
    while (!std::filesystem::exists(existing, error) && existing.has_parent_path() &&
           existing != existing.parent_path())
        existing = existing.parent_path();
    const QStorageInfo storage(QString::fromStdString(existing.string()));
    return storage.isValid() &&
           IsOpticalMount(storage.fileSystemType().toStdString(), storage.device().toStdString());
}

} // namespace velto
