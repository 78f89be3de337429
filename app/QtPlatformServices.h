// The Qt side of the main window's edges: the open-file dialog, message boxes, the shell, the
// power-off request, and the output-format step used until the output-format dialog is wired in.
#pragma once

#include "frm_DialogServices.h"

#include "AppPaths.h"
#include "PlatformServices.h"

#include <QString>

class QWidget;

namespace velto {

// Application title: task bar and message-box captions.
inline constexpr const char* kApplicationTitle = "3DUroziz";

// The 14 source filters in Qt's "Description (patterns)" form; the first is the default.
QStringList SourceFileFilters();

class TQtFileChooser : public IFileChooser {
public:
    explicit TQtFileChooser(QWidget* parent) : parent_(parent) {}
    QString ChooseSourceFile() override;

private:
    QWidget* parent_;
};

class TQtMessageBox : public IMessageBox {
public:
    explicit TQtMessageBox(QWidget* parent) : parent_(parent) {}
    void Show(const QString& text, TIcon icon) override;

private:
    QWidget* parent_;
};

class TQtShell : public IShell {
public:
    bool Open(const QString& target, TShow show) override;
};

// logind's PowerOff over the system bus, falling back to `systemctl poweroff`.
class TQtPowerOff : public IPowerOff {
public:
    void PowerOff() override;
};

// Asks with the output-format dialog: the user picks the profile, its values and the folder.
class TDialogFormatChooser : public IOutputFormatChooser {
public:
    TDialogFormatChooser(QWidget* parent, TAppPaths paths)
        : parent_(parent), paths_(std::move(paths)) {}
    bool Choose(const TCustomAVProbe& probe, const std::vector<std::string>& takenPaths,
                TInputOptions& input, TOutputOptions& output) override;

private:
    QWidget* parent_;
    TAppPaths paths_;
    TQtDialogServices dialogServices_;
};

} // namespace velto
