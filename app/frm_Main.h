// The main window: the conversion list filling a native, resizable window, the actions in a
// menu bar and a tool bar, the log in a dock, the batch's figures in the status bar, and files
// and folders dropped anywhere on it. A thin view over TJobController, which makes every
// decision.
#pragma once

#include "DesktopSession.h"
#include "FFmpegEngine.h"
#include "JobController.h"
#include "PowerOffCountdownBox.h"
#include "QtPlatformServices.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QTimer;
class QToolBar;

namespace velto {

class TJobListView;

inline constexpr const char* kVersionText = "Ver 3.10 Build 090322";
inline constexpr const char* kHomePage = "https://www.velto-soft.com/";
inline constexpr const char* kSupportMail = "support@velto-soft.com";

// The error box's text: a full stop is added unless the message ends in a character that sorts
// at or before ".".
QString ErrorBoxText(const QString& message);
// "H:MM:SS" for the status bar; "--:--:--" for an unknown (negative) time.
QString StatusTime(std::int64_t ms);

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
    QAction* actStopAfter;
    QAction *actAddFolder, *actRunAgain, *actOpenFolder, *actPlay, *actPreview;
    QAction *actMoveUp, *actMoveDown, *actEdit;
    QAction *actOptions, *actHelp, *actExit, *actAbout, *actContactus, *actLicense, *actFaq,
        *actHome;
    QMenu *pmFile, *pmActions, *pmView, *pmHelp, *pmRow;
    QToolBar* tbMain;
    TJobListView* vstFiles;
    QDockWidget* dckLog;
    QPlainTextEdit* mmoLog;
    QProgressBar* pgbBatch;
    QLabel* lblBatch;
    // Set by the session's log-off: the program ends without asking.
    bool ExitFlag = false;

    void actAddExecute();
    void actRemoveExecute();
    void actClearExecute();
    void actOptionsExecute();
    // The exception handler: shows ErrorBoxText under the application title.
    void ShowError(const QString& message, bool engineError);
    // Opens the guide, at a section when one is named ("output-format").
    void ShowGuide(const QString& section = {});
    // The rows under the selection, in order.
    QList<int> SelectedRows() const;
    // Refreshes the status bar's batch figures.
    void UpdateStatus();
    // Files and folders named on the command line, added once the window is up.
    void AddFromCommandLine(const QStringList& sources);
    // Log-off or a signal to end: running jobs stop, the list is kept, nothing is asked.
    void EndWithoutAsking();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    void SaveWindowState() const;
    void ConnectActions();
    void CreateMenus();
    void CreateLayout();
    void SetCaptions();
    void UpdateActions();
    void ShowRowMenu(const QPoint& position);
    // Moves the selected waiting job past the next waiting one (-1 up, 1 down).
    void MoveSelected(int step);
    // Selects the row (a moved one follows its job); nothing for -1.
    void SelectRow(int row);
    QString GuideFile() const;

    TAppPaths paths_;
    TQtFileChooser qtFiles_;
    TQtMessageBox qtMessages_;
    TQtShell qtShell_;
    // logind and notifications over D-Bus; it also powers off.
    TDBusDesktopSession qtDesktop_;
    TPowerOffCountdownBox qtCountdown_;
    TQtDialogServices dialogServices_;
    TDialogFormatChooser dialogFormat_;
    TMainServices services_;
    // The engine outlives the controller, which detaches from it on destruction.
    TFFmpegEngine engine_;
    std::unique_ptr<TJobController> controller_;
    QTimer* statusTimer_ = nullptr;
    bool quitting_ = false;
};

} // namespace velto
