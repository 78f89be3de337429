#include "frm_Main.h"

#include "SettingsStore.h"
#include "frm_Options.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSessionManager>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <tuple>

namespace velto {

QString ErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

TfrmMain::TfrmMain(TAppPaths paths, TMainServices services, QWidget* parent)
    : QMainWindow(parent), paths_(std::move(paths)), qtFiles_(this), qtMessages_(this),
      dialogFormat_(this, paths_), services_(services) {
    if (!services_.Files)
        services_.Files = &qtFiles_;
    if (!services_.Formats)
        services_.Formats = &dialogFormat_;
    if (!services_.Messages)
        services_.Messages = &qtMessages_;
    if (!services_.Shell)
        services_.Shell = &qtShell_;
    if (!services_.Power)
        services_.Power = &qtPower_;
    controller_ = std::make_unique<TJobController>(engine_, paths_, services_);

    setFont(QFont(QStringLiteral("Tahoma"), 8));
    CreateActions();
    CreateMenus();
    CreateLayout();
    UpdateActions();
    SetCaptions();
    mmoLog->clear();

    TJobController* c = controller_.get();
    connect(c, &TJobController::ActionsChanged, this, &TfrmMain::UpdateActions);
    connect(c, &TJobController::ListVisibleChanged, vstFiles, &QWidget::setVisible);
    connect(c, &TJobController::LogAppended, mmoLog, &QPlainTextEdit::appendPlainText);
    connect(c, &TJobController::LogCleared, mmoLog, &QPlainTextEdit::clear);
    connect(c, &TJobController::RowActive, this, [this](int row) {
        const QModelIndex index = controller_->Model().index(row, 0);
        vstFiles->setCurrentIndex(index);
        vstFiles->scrollTo(index);
    });
    connect(c, &TJobController::RaiseRequested, this, [this] {
        raise();
        activateWindow();
    });
    // Log-off or shutdown: the program may end, and it does.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
        ExitFlag = true;
        close();
    });
    if (!paths_.SettingsError.isEmpty())
        controller_->LogMessage(QStringLiteral("***Settings: ") + paths_.SettingsError);
}

TfrmMain::~TfrmMain() {
    controller_.reset();
}

void TfrmMain::CreateActions() {
    auto make = [this](const char* caption, const char* hint) {
        auto* action = new QAction(QString::fromUtf8(caption), this);
        if (hint)
            action->setToolTip(QString::fromUtf8(hint));
        return action;
    };
    actAdd = make("Add", "增加需要转换的文件");
    actRemove = make("Remove", "移除当前选择的文件");
    actClear = make("Clear", "从列表中清除所有文件");
    actStart = make("Start", "开始转换");
    actStart->setShortcut(Qt::Key_F9);
    actStop = make("Stop", "停止转换");
    actPause = make("Pause", "暂停");
    actResume = make("Resume", "继续");
    actOptions = make("Options", nullptr);
    actHelp = make("Help", nullptr);
    actHelp->setShortcut(Qt::Key_F1);
    actExit = make("退出", nullptr);
    actAbout = make("About", nullptr);
    actContactus = make("联系我们...", nullptr);
    actLicense = make("License...", nullptr);
    actFaq = make("FAQ...", nullptr);
    actHome = make("Visit Homepage", nullptr);
    for (QAction* action : {actStart, actHelp}) {
        action->setShortcutContext(Qt::ApplicationShortcut);
        addAction(action);
    }

    connect(actAdd, &QAction::triggered, this, &TfrmMain::actAddExecute);
    connect(actRemove, &QAction::triggered, this, &TfrmMain::actRemoveExecute);
    connect(actClear, &QAction::triggered, this, &TfrmMain::actClearExecute);
    connect(actStart, &QAction::triggered, controller_.get(), &TJobController::Start);
    connect(actStop, &QAction::triggered, controller_.get(), &TJobController::Stop);
    connect(actPause, &QAction::triggered, controller_.get(), &TJobController::Pause);
    connect(actResume, &QAction::triggered, controller_.get(), &TJobController::Resume);
    connect(actOptions, &QAction::triggered, this, &TfrmMain::actOptionsExecute);
    connect(actExit, &QAction::triggered, this, [this] {
        ExitFlag = true;
        close();
    });
    connect(actHelp, &QAction::triggered, this, [this] {
        OpenInProgramFolder(QStringLiteral("Velto3GPConverter.html"), IShell::TShow::Normal);
    });
    connect(actLicense, &QAction::triggered, this,
            [this] { OpenInProgramFolder(QStringLiteral("License.txt"), IShell::TShow::Normal); });
    connect(actFaq, &QAction::triggered, this,
            [this] { OpenInProgramFolder(QStringLiteral("faq.htm"), IShell::TShow::Maximised); });
    connect(actHome, &QAction::triggered, this, [this] {
        services_.Shell->Open(QString::fromUtf8(kHomePage), IShell::TShow::Maximised);
    });
    connect(actContactus, &QAction::triggered, this,
            [this] { services_.Shell->Open(MailTarget(), IShell::TShow::Maximised); });
    connect(actAbout, &QAction::triggered, this, [this] {
        QMessageBox::about(this, QStringLiteral("About %1").arg(kProductName),
                           QStringLiteral("%1 (%2)\n%3\n%4")
                               .arg(kProductName, kVersionText, kHomePage, kSupportMail));
    });
}

void TfrmMain::CreateMenus() {
    // Menu items carry their own captions and follow their action's enabled state.
    auto item = [this](QMenu* menu, QAction* target, const QString& caption) {
        auto* proxy = menu->addAction(caption);
        proxy->setEnabled(target->isEnabled());
        connect(target, &QAction::enabledChanged, proxy, &QAction::setEnabled);
        connect(proxy, &QAction::triggered, target, &QAction::trigger);
        return proxy;
    };
    pmFile = new QMenu(this);
    item(pmFile, actAdd, QStringLiteral("添加文件"));
    item(pmFile, actRemove, QStringLiteral("移除文件"));
    item(pmFile, actClear, QStringLiteral("清除转换列表"));
    pmFile->addSeparator();
    item(pmFile, actExit, QStringLiteral("退出"));

    pmActions = new QMenu(this);
    item(pmActions, actStart, QStringLiteral("开始转换"));
    item(pmActions, actStop, QStringLiteral("停止"));
    item(pmActions, actPause, QStringLiteral("暂停"));
    item(pmActions, actResume, QStringLiteral("继续"));

    pmHelp = new QMenu(this);
    for (QAction* hidden : {actHelp, actFaq, actLicense})
        item(pmHelp, hidden, hidden->text())->setVisible(false);
    pmHelp->addSeparator()->setVisible(false);
    item(pmHelp, actContactus, actContactus->text());
    item(pmHelp, actHome, {})->setObjectName(QStringLiteral("mniHomepage"));
    pmHelp->addSeparator();
    item(pmHelp, actAbout, {})->setObjectName(QStringLiteral("mniAbout"));
}

void TfrmMain::CreateLayout() {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    setFixedSize(664, 449);

    auto* logo = new QLabel(QString::fromUtf8(kProductName), client);
    logo->setObjectName(QStringLiteral("imgLogo"));
    logo->setGeometry(0, 0, 241, 40);
    logo->setStyleSheet(QStringLiteral("font: bold 14pt; color: #1d5fa8; padding-left: 12px;"));

    int x = 18;
    for (auto [label, name, caption] : {std::tuple{&LabelFile, "LabelFile", "文件"},
                                        {&LabelAction, "LabelAction", "转换"},
                                        {&LabelOptions, "LabelOptions", "选项"},
                                        {&LabelHelp, "LabelHelp", "帮助"}}) {
        *label = new TClickLabel(QString::fromUtf8(caption), client);
        (*label)->setObjectName(QString::fromUtf8(name));
        (*label)->setGeometry(x, 69, 50, 16);
        (*label)->setStyleSheet(QStringLiteral("color: grey;"));
        (*label)->setCursor(Qt::PointingHandCursor);
        x += 58;
    }
    for (TClickLabel* label : {LabelFile, LabelAction, LabelHelp})
        connect(label, &TClickLabel::clicked, this, [this, label] { LabelFileClick(label); });
    connect(LabelOptions, &TClickLabel::clicked, actOptions, &QAction::trigger);

    vstFiles = new QTreeView(client);
    vstFiles->setObjectName(QStringLiteral("vstFiles"));
    vstFiles->setGeometry(17, 93, 630, 275);
    vstFiles->setModel(&controller_->Model());
    vstFiles->setRootIsDecorated(false);
    vstFiles->setUniformRowHeights(true);
    vstFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    vstFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    vstFiles->setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid #d0d0d0; }"));
    vstFiles->header()->setSectionsMovable(true);
    vstFiles->header()->setSectionResizeMode(QHeaderView::Interactive);
    vstFiles->header()->setStretchLastSection(false);
    for (int column = 0; column < TJobNodeData::kColumnCount; ++column)
        vstFiles->setColumnWidth(column, TJobListModel::ColumnWidth(column));
    vstFiles->setVisible(false);

    mmoLog = new QPlainTextEdit(client);
    mmoLog->setObjectName(QStringLiteral("mmoLog"));
    mmoLog->setReadOnly(true);
    mmoLog->setVisible(false);

    x = 17;
    for (QAction* action : {actAdd, actRemove, actClear, actStart, actStop, actPause, actResume}) {
        auto* button = new QToolButton(client);
        button->setDefaultAction(action);
        const int side = action == actStart ? 54 : 36;
        button->setGeometry(x, action == actStart ? 376 : 385, side, side);
        x += side + 8;
    }
    auto* minimise = new QToolButton(client);
    minimise->setText(QStringLiteral("_"));
    minimise->setGeometry(614, 14, 14, 14);
    connect(minimise, &QToolButton::clicked, this, &QWidget::showMinimized);
    auto* closeButton = new QToolButton(client);
    closeButton->setText(QStringLiteral("×"));
    closeButton->setGeometry(634, 14, 14, 14);
    connect(closeButton, &QToolButton::clicked, this, [this] {
        ExitFlag = true;
        close();
    });
}

void TfrmMain::SetCaptions() {
    QApplication::setApplicationDisplayName(QString::fromUtf8(kApplicationTitle));
    setWindowTitle(QString::fromUtf8(kProductName));
    for (QAction* item : pmHelp->actions()) {
        if (item->objectName() == QLatin1String("mniHomepage"))
            item->setText(QStringLiteral("访问【%1】首页").arg(kProductName));
        else if (item->objectName() == QLatin1String("mniAbout"))
            item->setText(QStringLiteral("关于 %1").arg(kProductName));
    }
}

void TfrmMain::UpdateActions() {
    const TActionStates& states = controller_->Actions();
    actAdd->setEnabled(states.Add);
    actRemove->setEnabled(states.Remove);
    actClear->setEnabled(states.Clear);
    actStart->setEnabled(states.Start);
    actStop->setEnabled(states.Stop);
    actPause->setEnabled(states.Pause);
    actResume->setEnabled(states.Resume);
}

void TfrmMain::actAddExecute() {
    controller_->Add();
}

void TfrmMain::actRemoveExecute() {
    const QModelIndexList selected = vstFiles->selectionModel()->selectedRows();
    controller_->Remove(selected.isEmpty() ? -1 : selected.first().row());
}

void TfrmMain::actClearExecute() {
    controller_->Clear();
}

// The preferences save themselves on OK and Apply; the next Add reads them afresh.
void TfrmMain::actOptionsExecute() {
    TfrmOptions dialog(dialogServices_, paths_.Settings(), paths_.FactoryProfiles(), this);
    dialog.exec();
}

void TfrmMain::LabelFileClick(TClickLabel* label) {
    QMenu* menu = label == LabelFile ? pmFile : label == LabelAction ? pmActions : pmHelp;
    menu->popup(label->mapToGlobal(QPoint(0, label->height())));
}

void TfrmMain::ShowError(const QString& message, bool engineError) {
    services_.Messages->Show(ErrorBoxText(message), engineError ? IMessageBox::TIcon::Exclamation
                                                                : IMessageBox::TIcon::Error);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (!ExitFlag) {
        // A close that is not an exit only minimises; the batch and its handlers carry on.
        event->ignore();
        showMinimized();
        return;
    }
    controller_->Shutdown();
    event->accept();
}

void TfrmMain::OpenInProgramFolder(const QString& name, IShell::TShow show) {
    services_.Shell->Open(paths_.DataFile(name), show);
}

QString TfrmMain::MailTarget() const {
    return QStringLiteral("mailto:%1?subject=%2")
        .arg(QString::fromUtf8(kSupportMail),
             QString::fromUtf8(QUrl::toPercentEncoding(
                 QStringLiteral("关于%1...").arg(QString::fromUtf8(kProductName)))));
}

} // namespace velto
