// The platform calls the two dialogs make that would block or depend on the machine: the folder
// browser, information boxes and the optical-drive check. Tests replace them. Main thread.
#pragma once

#include <QString>

#include <string>

class QWidget;

namespace velto {

class TDialogServices {
public:
    virtual ~TDialogServices() = default;
    // The chosen folder, or empty when the browser was cancelled. initialFolder may be empty.
    virtual std::string ChooseFolder(QWidget* parent, const QString& title,
                                     const std::string& initialFolder) = 0;
    // An information box captioned with the application title.
    virtual void ShowInformation(QWidget* parent, const QString& text) = 0;
    // A yes/no question; true for yes.
    virtual bool Confirm(QWidget* parent, const QString& text) = 0;
    virtual bool IsOnOpticalDrive(const std::string& path) = 0;
    // Opens the program's guide at a section ("output-format").
    virtual void ShowHelp(QWidget* parent, const QString& section) = 0;
};

// QFileDialog, QMessageBox and QStorageInfo.
class TQtDialogServices : public TDialogServices {
public:
    std::string ChooseFolder(QWidget* parent, const QString& title,
                             const std::string& initialFolder) override;
    void ShowInformation(QWidget* parent, const QString& text) override;
    bool Confirm(QWidget* parent, const QString& text) override;
    bool IsOnOpticalDrive(const std::string& path) override;
    void ShowHelp(QWidget* parent, const QString& section) override;

    // The guide's HTML file; the window sets it.
    QString GuideFile;
};

} // namespace velto
