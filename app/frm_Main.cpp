#include "frm_Main.h"

#include "JobListView.h"
#include "Language.h"
#include "QueueFile.h"
#include "SettingsStore.h"
#include "WindowState.h"
#include "frm_About.h"
#include "frm_Options.h"
#include "frm_Preview.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSessionManager>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

namespace velto {

QString ErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

QString StatusTime(std::int64_t ms) {
    if (ms < 0)
        return QStringLiteral("--:--:--");
    const std::int64_t seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

TfrmMain::TfrmMain(TAppPaths paths, TMainServices services, QWidget* parent)
    : QMainWindow(parent), paths_(std::move(paths)), qtFiles_(this, paths_.SettingsFile),
      qtMessages_(this), qtCountdown_(this), dialogFormat_(this, paths_, dialogServices_),
      services_(services) {
    if (!services_.Files)
        services_.Files = &qtFiles_;
    if (!services_.Formats)
        services_.Formats = &dialogFormat_;
    if (!services_.Messages)
        services_.Messages = &qtMessages_;
    if (!services_.Shell)
        services_.Shell = &qtShell_;
    if (!services_.Power)
        services_.Power = &qtDesktop_;
    if (!services_.Desktop)
        services_.Desktop = &qtDesktop_;
    if (!services_.Countdown)
        services_.Countdown = &qtCountdown_;
    if (services_.QueueFile.isEmpty())
        services_.QueueFile = DefaultQueueFile();
    controller_ = std::make_unique<TJobController>(engine_, paths_, services_);
    dialogServices_.GuideFile = GuideFile();

    setObjectName(QStringLiteral("frmMain"));
    setAcceptDrops(true);
    CreateActions();
    CreateMenus();
    CreateLayout();
    UpdateActions();
    SetCaptions();
    mmoLog->clear();

    TJobController* c = controller_.get();
    connect(c, &TJobController::ActionsChanged, this, &TfrmMain::UpdateActions);
    connect(c, &TJobController::LogAppended, mmoLog, &QPlainTextEdit::appendPlainText);
    connect(c, &TJobController::LogCleared, mmoLog, &QPlainTextEdit::clear);
    connect(c, &TJobController::RowActive, this, [this](int row) {
        // The running row is brought into view without taking the user's selection.
        vstFiles->scrollTo(controller_->Model().index(row, 0));
        UpdateStatus();
    });
    // The file count in the status bar follows the list as rows come and go.
    const QAbstractItemModel* rows = &c->Model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, &TfrmMain::UpdateStatus);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &TfrmMain::UpdateStatus);
    connect(rows, &QAbstractItemModel::modelReset, this, &TfrmMain::UpdateStatus);
    connect(c, &TJobController::RaiseRequested, this, [this] {
        raise();
        activateWindow();
    });
    connect(c, &TJobController::RunEnded, this, [this] {
        UpdateStatus();
        if (quitting_)
            close();
    });
    // Log-off or shutdown: the program ends at once, without asking.
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { EndWithoutAsking(); });
    if (!paths_.SettingsError.isEmpty())
        controller_->LogMessage(QStringLiteral("***Settings: ") + paths_.SettingsError);
    controller_->RestoreQueue();
}

TfrmMain::~TfrmMain() {
    controller_.reset();
}

void TfrmMain::CreateActions() {
    QStyle* style = this->style();
    auto make = [this, style](const QString& caption, const QString& hint, const char* iconName,
                              QStyle::StandardPixmap fallback) {
        auto* action = new QAction(caption, this);
        if (!hint.isEmpty())
            action->setToolTip(hint);
        if (iconName)
            action->setIcon(
                QIcon::fromTheme(QString::fromLatin1(iconName), style->standardIcon(fallback)));
        return action;
    };
    actAdd = make(tr("Add"), tr("增加需要转换的文件"), "list-add", QStyle::SP_DialogOpenButton);
    actAdd->setShortcut(QKeySequence::Open);
    actAddFolder = make(tr("添加文件夹..."), tr("添加一个文件夹及其子文件夹中的全部媒体文件"),
                        "folder-new", QStyle::SP_DirIcon);
    actAddFolder->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    actRemove =
        make(tr("Remove"), tr("移除当前选择的文件"), "list-remove", QStyle::SP_DialogDiscardButton);
    actRemove->setShortcut(QKeySequence::Delete);
    actClear =
        make(tr("Clear"), tr("从列表中清除所有文件"), "edit-clear", QStyle::SP_DialogResetButton);
    actStart = make(tr("Start"), tr("开始转换"), "media-playback-start", QStyle::SP_MediaPlay);
    actStart->setShortcut(Qt::Key_F9);
    actStop = make(tr("Stop"), tr("停止转换"), "media-playback-stop", QStyle::SP_MediaStop);
    actStopAfter = make(tr("当前任务完成后停止"), tr("不再开始新的任务, 正在转换的完成后停止"),
                        "media-playback-stop", QStyle::SP_MediaStop);
    actPause = make(tr("Pause"), tr("暂停"), "media-playback-pause", QStyle::SP_MediaPause);
    actResume = make(tr("Resume"), tr("继续"), "media-seek-forward", QStyle::SP_MediaSeekForward);
    actMoveUp = make(tr("上移"), tr("让选中的等待文件提前转换"), "go-up", QStyle::SP_ArrowUp);
    actMoveUp->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
    actMoveDown = make(tr("下移"), tr("让选中的等待文件推后转换"), "go-down", QStyle::SP_ArrowDown);
    actMoveDown->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down));
    actEdit = make(tr("修改格式..."), tr("重新选择等待中文件的输出格式"), "document-properties",
                   QStyle::SP_FileDialogContentsView);
    actRunAgain = make(tr("重新转换"), tr("把失败或停止的文件放回转换队列"), "view-refresh",
                       QStyle::SP_BrowserReload);
    actOpenFolder = make(tr("打开输出文件夹"), {}, "folder-open", QStyle::SP_DirOpenIcon);
    actPlay = make(tr("播放"), {}, "media-playback-start", QStyle::SP_MediaPlay);
    actPreview = make(tr("预览窗口"), tr("转换时在小窗口中显示画面"), "video-display",
                      QStyle::SP_DesktopIcon);
    actPreview->setCheckable(true);
    actOptions =
        make(tr("Options"), tr("选项"), "preferences-system", QStyle::SP_FileDialogDetailedView);
    actHelp = make(tr("Help"), {}, "help-contents", QStyle::SP_DialogHelpButton);
    actHelp->setShortcut(Qt::Key_F1);
    actExit = make(tr("退出"), {}, "application-exit", QStyle::SP_DialogCloseButton);
    actExit->setShortcut(QKeySequence::Quit);
    actAbout = make(tr("About"), {}, "help-about", QStyle::SP_MessageBoxInformation);
    actContactus = make(tr("联系我们..."), {}, "mail-send", QStyle::SP_DialogYesButton);
    actLicense = make(tr("License..."), {}, nullptr, QStyle::SP_CustomBase);
    actFaq = make(tr("FAQ..."), {}, "help-faq", QStyle::SP_MessageBoxQuestion);
    actHome = make(tr("Visit Homepage"), {}, "go-home", QStyle::SP_DirHomeIcon);
    for (QAction* action : {actStart, actHelp}) {
        action->setShortcutContext(Qt::ApplicationShortcut);
        addAction(action);
    }
    ConnectActions();
}

void TfrmMain::ConnectActions() {
    connect(actAdd, &QAction::triggered, this, &TfrmMain::actAddExecute);
    connect(actAddFolder, &QAction::triggered, controller_.get(), &TJobController::AddFolder);
    connect(actRemove, &QAction::triggered, this, &TfrmMain::actRemoveExecute);
    connect(actClear, &QAction::triggered, this, &TfrmMain::actClearExecute);
    connect(actStart, &QAction::triggered, this, [this] {
        controller_->Start();
        statusTimer_->start();
        UpdateStatus();
    });
    connect(actStop, &QAction::triggered, controller_.get(), &TJobController::Stop);
    connect(actStopAfter, &QAction::triggered, controller_.get(),
            &TJobController::StopAfterCurrent);
    connect(actPause, &QAction::triggered, controller_.get(), &TJobController::Pause);
    connect(actResume, &QAction::triggered, controller_.get(), &TJobController::Resume);
    connect(actEdit, &QAction::triggered, this, [this] {
        if (const QList<int> rows = SelectedRows(); rows.size() == 1)
            controller_->Edit(rows[0]);
    });
    connect(actMoveUp, &QAction::triggered, this, [this] { MoveSelected(-1); });
    connect(actMoveDown, &QAction::triggered, this, [this] { MoveSelected(1); });
    connect(actRunAgain, &QAction::triggered, this, [this] {
        const QList<int> rows = SelectedRows();
        bool anySelected = false;
        for (int row : rows)
            anySelected |= controller_->Model().Row(row)->CanRunAgain();
        controller_->RunAgain(anySelected ? rows : QList<int>{});
    });
    connect(actOpenFolder, &QAction::triggered, this, [this] {
        for (int row : SelectedRows())
            return controller_->OpenOutputFolder(row);
    });
    connect(actPlay, &QAction::triggered, this, [this] {
        for (int row : SelectedRows())
            return controller_->Play(row);
    });
    connect(actPreview, &QAction::toggled, this, [this](bool on) {
        engine_.SetTasksPreview(on);
        TSettingsStore(paths_.Settings()).SaveOption("Preview", on ? "1" : "0");
    });
    connect(actOptions, &QAction::triggered, this, &TfrmMain::actOptionsExecute);
    connect(actExit, &QAction::triggered, this, &QWidget::close);
    connect(actHelp, &QAction::triggered, this, [this] { ShowGuide(); });
    connect(actLicense, &QAction::triggered, this, [this] {
        services_.Shell->Open(paths_.DataFile(QStringLiteral("License.txt")),
                              IShell::TShow::Normal);
    });
    connect(actFaq, &QAction::triggered, this, [this] {
        services_.Shell->Open(paths_.DataFile(LocalisedDataFile(QStringLiteral("faq.htm"))),
                              IShell::TShow::Maximised);
    });
    connect(actHome, &QAction::triggered, this, [this] {
        services_.Shell->Open(QString::fromUtf8(kHomePage), IShell::TShow::Maximised);
    });
    connect(actContactus, &QAction::triggered, this,
            [this] { services_.Shell->Open(ContactMailTarget(), IShell::TShow::Maximised); });
    connect(actAbout, &QAction::triggered, this, [this] {
        TfrmAbout about(*services_.Shell, this);
        about.exec();
    });
}

void TfrmMain::CreateMenus() {
    pmFile = menuBar()->addMenu(tr("文件(&F)"));
    pmFile->setObjectName(QStringLiteral("pmFile"));
    pmFile->addAction(actAdd);
    pmFile->addAction(actAddFolder);
    pmFile->addAction(actRemove);
    pmFile->addAction(actEdit);
    pmFile->addAction(actMoveUp);
    pmFile->addAction(actMoveDown);
    pmFile->addAction(actClear);
    pmFile->addSeparator();
    pmFile->addAction(actExit);
    // The menu's own words for the list actions.
    actAdd->setIconText(actAdd->text());
    const std::pair<QAction*, QString> fileCaptions[] = {
        {actAdd, tr("添加文件")}, {actRemove, tr("移除文件")}, {actClear, tr("清除转换列表")}};
    for (const auto& [action, caption] : fileCaptions) {
        action->setIconText(action->text());
        action->setText(caption);
    }

    pmActions = menuBar()->addMenu(tr("转换(&C)"));
    pmActions->setObjectName(QStringLiteral("pmActions"));
    const std::pair<QAction*, QString> runCaptions[] = {{actStart, tr("开始转换")},
                                                        {actStop, tr("停止")},
                                                        {actPause, tr("暂停")},
                                                        {actResume, tr("继续")}};
    for (const auto& [action, caption] : runCaptions) {
        action->setIconText(action->text());
        action->setText(caption);
        pmActions->addAction(action);
        if (action == actStop)
            pmActions->addAction(actStopAfter);
    }
    pmActions->addSeparator();
    pmActions->addAction(actRunAgain);

    auto* options = menuBar()->addAction(tr("选项(&O)"));
    options->setObjectName(QStringLiteral("mniOptions"));
    connect(options, &QAction::triggered, actOptions, &QAction::trigger);

    pmView = menuBar()->addMenu(tr("查看(&V)"));
    pmView->setObjectName(QStringLiteral("pmView"));

    pmHelp = menuBar()->addMenu(tr("帮助(&H)"));
    pmHelp->setObjectName(QStringLiteral("pmHelp"));
    pmHelp->addAction(actHelp);
    pmHelp->addAction(actFaq);
    pmHelp->addAction(actLicense);
    pmHelp->addSeparator();
    pmHelp->addAction(actContactus);
    auto* home = pmHelp->addAction(actHome->icon(), {});
    home->setObjectName(QStringLiteral("mniHomepage"));
    connect(home, &QAction::triggered, actHome, &QAction::trigger);
    pmHelp->addSeparator();
    auto* about = pmHelp->addAction(actAbout->icon(), {});
    about->setObjectName(QStringLiteral("mniAbout"));
    connect(about, &QAction::triggered, actAbout, &QAction::trigger);

    pmRow = new QMenu(this);
    pmRow->addAction(actOpenFolder);
    pmRow->addAction(actPlay);
    pmRow->addAction(actRunAgain);
    pmRow->addSeparator();
    pmRow->addAction(actEdit);
    pmRow->addAction(actMoveUp);
    pmRow->addAction(actMoveDown);
    pmRow->addAction(actRemove);
}

void TfrmMain::CreateLayout() {
    tbMain = addToolBar(tr("工具栏"));
    tbMain->setObjectName(QStringLiteral("tbMain"));
    tbMain->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tbMain->setMovable(false);
    for (QAction* action : {actAdd, actRemove, actClear})
        tbMain->addAction(action);
    tbMain->addSeparator();
    for (QAction* action : {actStart, actStop, actPause, actResume, actRunAgain})
        tbMain->addAction(action);
    tbMain->addSeparator();
    tbMain->addAction(actOptions);

    vstFiles = new TJobListView(this);
    vstFiles->setModel(&controller_->Model());
    vstFiles->SetUpColumns();
    setCentralWidget(vstFiles);
    connect(vstFiles, &QWidget::customContextMenuRequested, this, &TfrmMain::ShowRowMenu);
    connect(vstFiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmMain::UpdateActions);
    connect(&controller_->Model(), &QAbstractItemModel::dataChanged, this,
            &TfrmMain::UpdateActions);
    connect(vstFiles, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const TJobNodeData* row = controller_->Model().Row(index.row());
            row && !row->PlayablePath().isEmpty())
            controller_->Play(index.row());
    });
    connect(vstFiles, &TJobListView::RowDropped, this,
            [this](int from, int to) { SelectRow(controller_->MoveWaitingTo(from, to)); });

    mmoLog = new QPlainTextEdit;
    mmoLog->setObjectName(QStringLiteral("mmoLog"));
    // Read-only text can still be selected and copied.
    mmoLog->setReadOnly(true);
    mmoLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    mmoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    dckLog = new QDockWidget(tr("日志"), this);
    dckLog->setObjectName(QStringLiteral("dckLog"));
    dckLog->setWidget(mmoLog);
    addDockWidget(Qt::BottomDockWidgetArea, dckLog);
    dckLog->hide();
    QAction* showLog = dckLog->toggleViewAction();
    showLog->setText(tr("日志(&L)"));
    showLog->setShortcut(Qt::CTRL | Qt::Key_L);
    pmView->addAction(showLog);
    pmView->addAction(actPreview);
    actPreview->setChecked(TSettingsStore(paths_.Settings()).ReadOption("Preview", "0") == "1");

    lblBatch = new QLabel;
    lblBatch->setObjectName(QStringLiteral("lblBatch"));
    pgbBatch = new QProgressBar;
    pgbBatch->setObjectName(QStringLiteral("pgbBatch"));
    pgbBatch->setRange(0, 100);
    pgbBatch->setMaximumWidth(220);
    statusBar()->addWidget(lblBatch, 1);
    statusBar()->addPermanentWidget(pgbBatch);
    statusTimer_ = new QTimer(this);
    statusTimer_->setInterval(500);
    connect(statusTimer_, &QTimer::timeout, this, &TfrmMain::UpdateStatus);
    UpdateStatus();

    const TWindowState state = TWindowState::Load();
    if (state.Geometry.isEmpty() || !restoreGeometry(state.Geometry)) {
        // Wide enough for every column's default width, within the screen.
        QSize size(1180, 640);
        if (QScreen* screen = QGuiApplication::primaryScreen())
            size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
        resize(size);
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    if (!state.Layout.isEmpty())
        restoreState(state.Layout);
    if (!state.ListHeader.isEmpty())
        vstFiles->header()->restoreState(state.ListHeader);
}

void TfrmMain::SaveWindowState() const {
    TWindowState state;
    state.Geometry = saveGeometry();
    state.Layout = saveState();
    state.ListHeader = vstFiles->header()->saveState();
    state.Save();
}

void TfrmMain::SetCaptions() {
    QApplication::setApplicationDisplayName(ProductName());
    setWindowTitle(ProductName());
    for (QAction* item : pmHelp->actions()) {
        if (item->objectName() == QLatin1String("mniHomepage"))
            item->setText(tr("访问【%1】首页").arg(ProductName()));
        else if (item->objectName() == QLatin1String("mniAbout"))
            item->setText(tr("关于 %1").arg(ProductName()));
    }
}

QList<int> TfrmMain::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : vstFiles->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TfrmMain::UpdateActions() {
    const TActionStates& states = controller_->Actions();
    actAdd->setEnabled(states.Add);
    actAddFolder->setEnabled(states.Add);
    bool removable = states.Remove;
    for (int row : SelectedRows())
        removable |= controller_->CanRemoveDuringRun(row);
    actRemove->setEnabled(removable);
    const QList<int> selected = SelectedRows();
    actEdit->setEnabled(selected.size() == 1 && controller_->CanEdit(selected[0]));
    actMoveUp->setEnabled(selected.size() == 1 && controller_->MoveTarget(selected[0], -1) >= 0);
    actMoveDown->setEnabled(selected.size() == 1 && controller_->MoveTarget(selected[0], 1) >= 0);
    actClear->setEnabled(states.Clear);
    actStart->setEnabled(states.Start);
    actStop->setEnabled(states.Stop);
    actStopAfter->setEnabled(states.StopAfter);
    actPause->setEnabled(states.Pause);
    actResume->setEnabled(states.Resume);
    actRunAgain->setEnabled(controller_->CanRunAgain());
    // A kept unfinished output is still a file worth watching or finding.
    bool hasOutput = false;
    for (int row : SelectedRows()) {
        const QString file = controller_->Model().Row(row)->PlayablePath();
        hasOutput |= !file.isEmpty() && QFileInfo::exists(file);
    }
    actOpenFolder->setEnabled(hasOutput);
    actPlay->setEnabled(hasOutput);
    if (!controller_->Running() && statusTimer_)
        statusTimer_->stop();
}

void TfrmMain::UpdateStatus() {
    const TBatchFigures figures = controller_->BatchFigures();
    pgbBatch->setValue(figures.Percent);
    const int rows = controller_->Model().Count();
    if (!controller_->Running() && figures.ElapsedMs == 0) {
        lblBatch->setText(tr("%n 个文件", nullptr, rows));
        return;
    }
    QString speed = figures.Speed > 0 ? QStringLiteral("%1×").arg(figures.Speed, 0, 'f', 1)
                                      : QStringLiteral("--");
    lblBatch->setText(tr("总进度 %1%   已用时间 %2   剩余时间 %3   速度 %4")
                          .arg(figures.Percent)
                          .arg(StatusTime(figures.ElapsedMs),
                               StatusTime(controller_->Running() ? figures.RemainingMs : 0),
                               speed));
}

void TfrmMain::ShowRowMenu(const QPoint& position) {
    if (!vstFiles->indexAt(position).isValid())
        return;
    UpdateActions();
    pmRow->popup(vstFiles->viewport()->mapToGlobal(position));
}

void TfrmMain::AddFromCommandLine(const QStringList& sources) {
    if (sources.isEmpty())
        return;
    // The format dialog is modal: asked once the event loop runs and the window is shown.
    QTimer::singleShot(0, this, [this, sources] { controller_->AddFiles(sources); });
}

void TfrmMain::MoveSelected(int step) {
    const QList<int> rows = SelectedRows();
    if (rows.size() != 1)
        return;
    SelectRow(controller_->MoveWaiting(rows[0], step));
}

void TfrmMain::SelectRow(int row) {
    if (row < 0)
        return;
    const QModelIndex index = controller_->Model().index(row, 0);
    vstFiles->setCurrentIndex(index);
    vstFiles->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
}

void TfrmMain::actAddExecute() {
    controller_->Add();
}

void TfrmMain::actRemoveExecute() {
    // Removing from the bottom keeps the remaining positions valid.
    QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        controller_->Remove(-1);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        controller_->Remove(*it);
}

void TfrmMain::actClearExecute() {
    controller_->Clear();
    UpdateStatus();
}

// The preferences save themselves on OK and Apply; the next Add reads them afresh.
void TfrmMain::actOptionsExecute() {
    TfrmOptions dialog(dialogServices_, paths_.Settings(), paths_.FactoryProfiles(), this);
    dialog.exec();
}

QString TfrmMain::GuideFile() const {
    return paths_.DataFile(LocalisedDataFile(QStringLiteral("Velto3GPConverter.html")));
}

void TfrmMain::ShowGuide(const QString& section) {
    QString target = GuideFile();
    if (!section.isEmpty())
        target = QUrl::fromLocalFile(target).toString() + QLatin1Char('#') + section;
    services_.Shell->Open(target, IShell::TShow::Normal);
}

void TfrmMain::ShowError(const QString& message, bool engineError) {
    services_.Messages->Show(ErrorBoxText(message), engineError ? IMessageBox::TIcon::Exclamation
                                                                : IMessageBox::TIcon::Error);
}

void TfrmMain::EndWithoutAsking() {
    ExitFlag = true;
    // A preview or dialog left open would keep the program running after the window.
    if (close())
        QCoreApplication::quit();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (ExitFlag || !controller_->Running()) {
        SaveWindowState();
        controller_->Shutdown();
        event->accept();
        return;
    }
    // Jobs are running: ask once; yes stops them as Stop does, and the window closes when the
    // run has ended.
    event->ignore();
    if (quitting_)
        return;
    if (!services_.Messages->Confirm(tr("正在转换文件。要停止转换并退出吗？")))
        return;
    quitting_ = true;
    controller_->StopForQuit();
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && controller_->Actions().Add)
        event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    // The format dialog is modal: it runs after the drop has finished.
    QTimer::singleShot(0, this, [this, paths] { controller_->AddFiles(paths); });
}

} // namespace velto
