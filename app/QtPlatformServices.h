// The Qt side of the main window's edges: the open-file dialog, message boxes, the shell, and the
// output-format step. Power-off and the other desktop services are in DesktopSession.h.
#pragma once

#include "frm_DialogServices.h"

#include "AppPaths.h"
#include "PlatformServices.h"

#include <QString>

#include <memory>

class QWidget;

namespace velto {

class TfrmConvertOptions;

// The product's name in the user's language: title bar, task bar and message-box captions.
inline constexpr const char* kProductName = QT_TRANSLATE_NOOP("TfrmMain", "Velto 3GP Converter");
QString ProductName();

// The source filters in Qt's "Description (patterns)" form; the first is the default.
QStringList SourceFileFilters();

// Opens in the folder of the last chosen files, kept in the settings file.
class TQtFileChooser : public IFileChooser {
public:
    TQtFileChooser(QWidget* parent, QString settingsFile)
        : parent_(parent), settingsFile_(std::move(settingsFile)) {}
    QStringList ChooseSourceFiles() override;
    QString ChooseSourceFolder() override;

private:
    QWidget* parent_;
    QString settingsFile_;
};

class TQtMessageBox : public IMessageBox {
public:
    explicit TQtMessageBox(QWidget* parent) : parent_(parent) {}
    void Show(const QString& text, TIcon icon) override;
    bool Confirm(const QString& text) override;

private:
    QWidget* parent_;
};

class TQtShell : public IShell {
public:
    bool Open(const QString& target, TShow show) override;
};

// Asks with the output-format dialog: the user picks the profile, its values and the folder,
// once for a group of files; the choice is remembered for the next Add.
class TDialogFormatChooser : public IOutputFormatChooser {
public:
    TDialogFormatChooser(QWidget* parent, TAppPaths paths, TDialogServices& dialogServices);
    ~TDialogFormatChooser() override;
    bool Choose(const TSourceSummary& source, const TTakenPaths& takenPaths,
                TJobRecords& job) override;
    bool BeginGroup(const TSourceSummary& first, const QStringList& files) override;
    void EndGroup() override;
    std::optional<TDialogChoice> LastChoice() const override { return last_; }
    void StartFrom(const TDialogChoice& choice) override { startFrom_ = choice; }

private:
    // Shows the dialog for source; true on OK, the dialog then stays in group_.
    bool Ask(const TSourceSummary& source, const QStringList& files);

    QWidget* parent_;
    TAppPaths paths_;
    TDialogServices& dialogServices_;
    std::unique_ptr<TfrmConvertOptions> group_;
    bool grouped_ = false;
    std::optional<TDialogChoice> startFrom_;
    std::optional<TDialogChoice> last_;
};

} // namespace velto
