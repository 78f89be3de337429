// The main window: the conversion list, the run buttons, the three menus under their labels and
// the help and contact actions. A thin view over TJobController, which makes every decision.
#pragma once

#include "FFmpegEngine.h"
#include "JobController.h"
#include "QtPlatformServices.h"

#include <QLabel>
#include <QMainWindow>

#include <memory>

class QAction;
class QMenu;
class QPlainTextEdit;
class QTreeView;

namespace velto {

inline constexpr const char* kProductName = "Velto3DUroziz";
inline constexpr const char* kVersionText = "Ver 3.10 Build 090322";
inline constexpr const char* kHomePage = "https://www.velto-soft.com/";
inline constexpr const char* kSupportMail = "support@velto-soft.com";

// The error box's text: a full stop is added unless the message ends in a character that sorts
// at or before ".".
QString ErrorBoxText(const QString& message);

class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Replaceable edges, the same the controller takes; any left null gets its Qt implementation.
using TMainServices = TJobServices;

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(TAppPaths paths, TMainServices services = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    TJobController& Controller() { return *controller_; }
    TFFmpegEngine& Engine() { return engine_; }

    QAction *actAdd, *actRemove, *actClear, *actStart, *actStop, *actPause, *actResume;
    QAction *actOptions, *actHelp, *actExit, *actAbout, *actContactus, *actLicense, *actFaq,
        *actHome;
    QMenu *pmFile, *pmActions, *pmHelp;
    TClickLabel *LabelFile, *LabelAction, *LabelOptions, *LabelHelp;
    QTreeView* vstFiles;
    QPlainTextEdit* mmoLog;
    bool ExitFlag = false;

    void actAddExecute();
    void actRemoveExecute();
    void actClearExecute();
    void actOptionsExecute();
    void LabelFileClick(TClickLabel* label);
    // The exception handler: shows ErrorBoxText under the application title.
    void ShowError(const QString& message, bool engineError);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateLayout();
    void SetCaptions();
    void UpdateActions();
    void OpenInProgramFolder(const QString& name, IShell::TShow show);
    QString MailTarget() const;

    TAppPaths paths_;
    TQtFileChooser qtFiles_;
    TQtMessageBox qtMessages_;
    TQtShell qtShell_;
    TQtPowerOff qtPower_;
    TDialogFormatChooser dialogFormat_;
    TQtDialogServices dialogServices_;
    TMainServices services_;
    // The engine outlives the controller, which detaches from it on destruction.
    TFFmpegEngine engine_;
    std::unique_ptr<TJobController> controller_;
};

} // namespace velto
