// The main window as a user meets it, offscreen with real media and the real engine.
#include "MainWindowSupport.h"

#include "BatchProgress.h"
#include "JobListView.h"
#include "Language.h"
#include "SourceFiles.h"
#include "frm_About.h"

#include <QDockWidget>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <map>
#include <unistd.h>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

double Luminance(QRgb rgb) {
    auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
           0.0722 * channel(qBlue(rgb));
}

// The strongest contrast between the cell's background (its commonest colour) and any other
// pixel in it: the text's, when there is text.
double TextContrast(const QImage& cell, QRgb* background = nullptr) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x)
            ++counts[cell.pixel(x, y)];
    QRgb back = 0;
    int most = 0;
    for (auto [colour, count] : counts)
        if (count > most)
            back = colour, most = count;
    if (background)
        *background = back;
    const double lb = Luminance(back);
    double best = 1.0;
    for (auto [colour, count] : counts) {
        const double lt = Luminance(colour);
        best = std::max(best, (std::max(lb, lt) + 0.05) / (std::min(lb, lt) + 0.05));
    }
    return best;
}

TEST_F(MainWindowTest, SelectedRunningRowStandsOutInFusionAndTheDefaultStyle) {
    Settings("OpenFolderWhenDone=0\n");
    const QString defaultStyle = QApplication::style()->name();
    window->resize(900, 500);
    window->show();
    int runs = 0;
    for (const QString& styleName : {QStringLiteral("Fusion"), defaultStyle}) {
        SCOPED_TRACE(styleName.toStdString());
        QApplication::setStyle(QStyleFactory::create(styleName));
        window->actClear->trigger();
        AddFiles(Clips(2, 120.0, "run" + std::to_string(runs++) + "_"));
        ASSERT_EQ(Controller().Model().Count(), 2);
        // Rendered the moment the first progress reaches the row, while it surely runs: a
        // short job may end before a later look.
        QImage list;
        int shownPercent = 0;
        const auto connection =
            QObject::connect(&Controller().Model(), &QAbstractItemModel::dataChanged, [&] {
                if (!list.isNull() || Row(0).Status != TJobStatus::Running || Row(0).Percent <= 0)
                    return;
                Select(0);
                shownPercent = Row(0).Percent;
                list = window->vstFiles->viewport()->grab().toImage();
            });
        window->actStart->trigger();
        WaitFor([&] { return !list.isNull() || !Controller().Running(); });
        QObject::disconnect(connection);
        ASSERT_FALSE(list.isNull());
        for (int column : {0, 3, TJobNodeData::kStatusColumn}) {
            const QRect cell = window->vstFiles->visualRect(Controller().Model().index(0, column));
            QRgb background;
            const double contrast =
                TextContrast(list.copy(cell.adjusted(1, 1, -1, -1)), &background);
            EXPECT_GE(contrast, 3.0) << "column " << column;
            // The selection is drawn: the row's background is not the plain list's.
            EXPECT_NE(background, window->vstFiles->palette().color(QPalette::Base).rgb());
        }
        // The progress bar shows the job's percentage in text that can be read, on the filled
        // part and on the empty one: each side of the filled part's edge is measured alone.
        const QRect bar =
            window->vstFiles->visualRect(Controller().Model().index(0, 4)).adjusted(3, 3, -3, -3);
        const int edge = bar.left() + bar.width() * shownPercent / 100;
        double readable = 1.0;
        for (const QRect side :
             {QRect(QPoint(bar.left(), bar.top()), QPoint(edge - 2, bar.bottom())),
              QRect(QPoint(edge + 2, bar.top()), bar.bottomRight())})
            if (side.width() > 4)
                readable = std::max(readable, TextContrast(list.copy(side)));
        EXPECT_GE(readable, 3.0) << shownPercent << " %";
        // Progress never takes the selection away from the user's row.
        Select(1);
        const int percent = Row(0).Percent;
        WaitFor([&] { return Row(0).Percent > percent; }, 5000);
        EXPECT_EQ(window->SelectedRows(), QList<int>{1});
        window->actStop->trigger();
        ASSERT_TRUE(RunEnded());
    }
}

TEST_F(MainWindowTest, DroppedFilesAndFoldersAreAddedWithOneQuestionAndOneReportOfFailures) {
    const QStringList clips = Clips(2, 0.5);
    fs::create_directories(folder + "/sub/deeper");
    const QStringList inFolder = Clips(1, 0.5, "sub/deeper/clip");
    std::ofstream(folder + "/sub/notes.txt") << "not media";
    std::ofstream(folder + "/fake.mp4") << "this is text, not video";
    const std::string empty = MakeEmptyFile(folder, "empty.avi");

    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path :
         {clips[0], clips[1], QString::fromStdString(folder + "/sub"),
          QString::fromStdString(folder + "/fake.mp4"), QString::fromStdString(empty)})
        urls << QUrl::fromLocalFile(path);
    mime.setUrls(urls);
    window->show();
    // Dropped where users drop them: on the list, which passes files on to the window.
    QWidget* list = window->vstFiles->viewport();
    const QPoint centre = list->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list, &drop);
    ASSERT_TRUE(WaitFor([&] { return !fakes.messages.isEmpty(); }, 20000));

    ASSERT_EQ(Controller().Model().Count(), 3);
    EXPECT_EQ(Row(0).SourceName, "src0.avi");
    EXPECT_EQ(Row(2).SourceName, "clip0.avi") << "the folder's media file, not its text file";
    ASSERT_EQ(fakes.groups.size(), 1u) << "one format question for the whole drop";
    // The question lists every file dropped: it comes as soon as the first is read.
    EXPECT_EQ(fakes.groups[0].size(), 5);
    ASSERT_EQ(fakes.messages.size(), 1) << "one report for every file that failed";
    EXPECT_TRUE(fakes.messages[0].contains("fake.mp4"));
    EXPECT_TRUE(fakes.messages[0].contains("empty.avi"));
    EXPECT_FALSE(fakes.messages[0].contains("notes.txt"));
    // The full paths are in the tooltip; the log can be shown and copied.
    EXPECT_TRUE(Controller()
                    .Model()
                    .data(Controller().Model().index(2, 0), Qt::ToolTipRole)
                    .toString()
                    .contains(inFolder[0]));
    EXPECT_TRUE(window->mmoLog->toPlainText().contains("***File load error"));
    EXPECT_TRUE(window->mmoLog->isReadOnly());
    EXPECT_TRUE(window->mmoLog->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    window->dckLog->toggleViewAction()->trigger();
    EXPECT_TRUE(window->dckLog->isVisible());
}

TEST_F(MainWindowTest, AddTellsEveryFailureOnceAndACancelledQuestionAddsNothing) {
    fs::create_directories(folder + "/readonly");
    const QStringList clips = Clips(1, 0.5);
    struct {
        const char* name;
        std::string outputFolder;
        bool answer;
        int rows;
        const char* told;
    } const cases[] = {
        {"missing output folder", folder + "/gone", true, 0, "gone"},
        {"cancelled question", folder, false, 0, nullptr},
        {"missing source", folder, true, 0, "nothere.avi"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fakes.messages.clear();
        fakes.folder = c.outputFolder;
        fakes.groupAnswer = c.answer;
        AddFiles(std::string(c.name) == "missing source"
                     ? QStringList{QString::fromStdString(folder + "/nothere.avi")}
                     : clips);
        EXPECT_EQ(Controller().Model().Count(), c.rows);
        EXPECT_EQ(fakes.messages.size(), c.told ? 1 : 0);
        if (c.told && !fakes.messages.isEmpty())
            EXPECT_TRUE(fakes.messages[0].contains(QString::fromUtf8(c.told)))
                << fakes.messages[0].toStdString();
    }
}

TEST_F(MainWindowTest, RefusalsSayWhyInWordsAndNameTheFileOnce) {
    const QString unreadable = Clips(1, 0.5, "locked").first();
    fs::permissions(unreadable.toStdString(), fs::perms::none);
    const QString empty = QString::fromStdString(MakeEmptyFile(folder, "empty.mp4"));
    const QString text = QString::fromStdString(folder + "/notes.mp4");
    std::ofstream(text.toStdString()) << "this is text, not video";
    const QString cut = QString::fromStdString(
        MakeTruncatedCopy(Clips(1, 0.5, "whole").first().toStdString(), folder + "/cut.avi", 0.02));
    const bool root = geteuid() == 0; // root reads a file whatever its permissions
    AddFiles({unreadable, empty, text, cut});
    ASSERT_EQ(fakes.messages.size(), 1);
    const QString message = fakes.messages[0];
    if (!root)
        for (int i = 0; i < Controller().Model().Count(); ++i)
            EXPECT_NE(Row(i).SourcePath, unreadable);
    for (const QString& file : {empty, text})
        EXPECT_EQ(message.count(QFileInfo(file).fileName()), 1) << message.toStdString();
    EXPECT_FALSE(message.contains(QLatin1String("Unknown format"))) << message.toStdString();
    EXPECT_TRUE(message.contains(TJobController::tr("文件是空的")));
    EXPECT_TRUE(message.contains(TJobController::tr("不是可以转换的媒体文件")));
    if (!root)
        EXPECT_TRUE(message.contains(TJobController::tr("没有读取这个文件的权限")));
    fs::permissions(unreadable.toStdString(), fs::perms::owner_all);
}

TEST_F(MainWindowTest, ClosingWhileConvertingAsksAndStopsTheJobsLikeStop) {
    Settings("OpenFolderWhenDone=1\n");
    window->show();
    AddFiles(Clips(2, 120.0));
    window->actStart->trigger();
    ASSERT_TRUE(Controller().Running());

    fakes.confirmAnswer = false;
    EXPECT_FALSE(window->close());
    EXPECT_EQ(fakes.confirmations.size(), 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(Controller().Running()) << "no means the run goes on";

    fakes.confirmAnswer = true;
    window->close();
    ASSERT_TRUE(WaitFor([&] { return !window->isVisible(); }));
    EXPECT_EQ(fakes.confirmations.size(), 2);
    EXPECT_EQ(Row(0).Status, TJobStatus::Stopped);
    EXPECT_EQ(Row(1).Status, TJobStatus::Stopped);
    EXPECT_TRUE(fakes.opened.isEmpty()) << "quitting opens no folders";
    for (int row : {0, 1})
        EXPECT_FALSE(QFileInfo::exists(Row(row).OutputPath)) << "quitting leaves no output";

    // Idle, the window closes at once without asking.
    auto idle = std::make_unique<TfrmMain>(
        paths, TMainServices{&fakes, &fakes, &fakes, &fakes, &fakes, &fakes, &fakes});
    idle->show();
    EXPECT_TRUE(idle->close());
    EXPECT_EQ(fakes.confirmations.size(), 2);
}

TEST_F(MainWindowTest, AddFolderTakesMatroskaWaveAndFlacFromSubFolders) {
    const std::string media = folder + "/phone backup";
    fs::create_directories(media + "/2024/june");
    MediaRecipe film;
    film.video.push_back({});
    film.audio.push_back({});
    MakeMedia(media + "/film.mkv", film);
    MediaRecipe sound;
    sound.audio.push_back({});
    sound.audio[0].encoder = "pcm_s16le";
    MakeMedia(media + "/2024/voice.wav", sound);
    sound.audio[0].encoder = "flac";
    MakeMedia(media + "/2024/june/song.flac", sound);
    std::ofstream(media + "/2024/list.txt") << "not media";

    fakes.folderChoice.clear();
    window->actAddFolder->trigger();
    EXPECT_EQ(Controller().Model().Count(), 0) << "a cancelled choice adds nothing";
    fakes.folderChoice = QString::fromStdString(media);
    window->actAddFolder->trigger();
    ASSERT_TRUE(WaitFor([&] { return !Controller().Adding(); }));
    ASSERT_EQ(Controller().Model().Count(), 3) << window->mmoLog->toPlainText().toStdString();
    QStringList names;
    for (int i = 0; i < 3; ++i)
        names << Row(i).SourceName;
    names.sort();
    EXPECT_EQ(names, QStringList({"film.mkv", "song.flac", "voice.wav"}));
    EXPECT_TRUE(fakes.messages.isEmpty());
}

TEST_F(MainWindowTest, StoppedJobsRunAgainAndFinishedRowsOpenTheirFolderAndPlay) {
    Settings("OpenFolderWhenDone=0\n");
    AddFiles(Clips(1, 2.0));
    // Before the run the status bar counts the files in the list.
    EXPECT_EQ(window->lblBatch->text(), TfrmMain::tr("%n 个文件", nullptr, 1));
    window->actStart->trigger();
    window->actStop->trigger();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Row(0).Status, TJobStatus::Stopped);
    EXPECT_TRUE(window->actRunAgain->isEnabled());
    // A stopped batch is not a complete one.
    EXPECT_LT(window->pgbBatch->value(), 100);
    EXPECT_FALSE(window->lblBatch->text().contains("100%"));
    // The list stays a queue after the run.
    EXPECT_TRUE(window->actAdd->isEnabled());
    EXPECT_TRUE(window->actRemove->isEnabled());

    // Idle, the job runs again at once.
    window->actRunAgain->trigger();
    EXPECT_TRUE(Controller().Running());
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Row(0).Status, TJobStatus::Finished);
    EXPECT_EQ(Row(0).Text(4), "100%");
    EXPECT_FALSE(window->actRunAgain->isEnabled());
    // The status bar sums the run up.
    EXPECT_EQ(window->pgbBatch->value(), 100);
    EXPECT_TRUE(window->lblBatch->text().contains("100%"))
        << window->lblBatch->text().toStdString();

    Select(0);
    ASSERT_TRUE(window->actOpenFolder->isEnabled());
    window->actOpenFolder->trigger();
    window->actPlay->trigger();
    EXPECT_EQ(fakes.opened, QStringList({QString::fromStdString(folder), Row(0).OutputPath}));
}

TEST_F(MainWindowTest, AShortOutputCanBePlayedFoundAndRunAgain) {
    Settings("OpenFolderWhenDone=0\n");
    MediaRecipe recipe;
    recipe.seconds = 4.0;
    recipe.muxerOptions = "movflags=faststart";
    recipe.video.push_back({});
    const std::string whole = MakeMedia(folder + "/whole.mp4", recipe);
    // The index up front still promises four seconds; the pictures stop after about two.
    const QString cut = QString::fromStdString(MakeTruncatedCopy(whole, "cut.mp4", 0.5));
    AddFiles({cut});
    ASSERT_EQ(Controller().Model().Count(), 1);
    window->actStart->trigger();
    ASSERT_TRUE(RunEnded());
    ASSERT_EQ(Row(0).Status, TJobStatus::Incomplete) << Row(0).Reason.toStdString();
    Select(0);
    EXPECT_TRUE(window->actPlay->isEnabled());
    EXPECT_TRUE(window->actOpenFolder->isEnabled());
    EXPECT_TRUE(window->actRunAgain->isEnabled());
    window->actPlay->trigger();
    // The short output is kept only under a name that says it is unfinished.
    EXPECT_FALSE(QFileInfo::exists(Row(0).OutputPath));
    EXPECT_TRUE(Row(0).KeptPath.endsWith(QStringLiteral("out0.part.avi")))
        << Row(0).KeptPath.toStdString();
    EXPECT_EQ(fakes.opened, QStringList({Row(0).KeptPath}));
}

TEST_F(MainWindowTest, StoppedJobsLeaveNothingUnderTheOutputNameAndTheKeptPartPlays) {
    Settings("OpenFolderWhenDone=0\nSimultaneousJobs=1\n");
    // At the clip's own pace, so that the stop always finds it converting.
    fakes.inputOptions = "re";
    for (bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "keep unfinished" : "drop unfinished");
        fakes.keepUnfinished = keep;
        fakes.opened.clear();
        window->actClear->trigger();
        AddFiles(Clips(1, 120.0, keep ? "kept" : "dropped"));
        ASSERT_EQ(Controller().Model().Count(), 1);
        // Stopped at its first report, once it has written something.
        const QMetaObject::Connection stop =
            QObject::connect(&Controller(), &TJobController::RowActive, window.get(),
                             [&] { window->actStop->trigger(); });
        window->actStart->trigger();
        ASSERT_TRUE(RunEnded());
        QObject::disconnect(stop);
        ASSERT_EQ(Row(0).Status, TJobStatus::Stopped);
        EXPECT_FALSE(QFileInfo::exists(Row(0).OutputPath));
        const QString part =
            QString::fromStdString(UnfinishedOutputName(Row(0).OutputPath.toStdString()));
        EXPECT_EQ(QFileInfo::exists(part), keep);
        EXPECT_EQ(Row(0).KeptPath, keep ? part : QString());
        Select(0);
        EXPECT_EQ(window->actPlay->isEnabled(), keep);
        EXPECT_EQ(window->actOpenFolder->isEnabled(), keep);
        window->actPlay->trigger();
        EXPECT_EQ(fakes.opened, keep ? QStringList({part}) : QStringList());
        if (keep) {
            TAVProbe probe;
            EXPECT_TRUE(probe.LoadFile(part.toStdString())) << probe.LastError;
        }
    }
}

TEST_F(MainWindowTest, SizeAndColumnWidthsAreRememberedAndClearResetsTheFigures) {
    window->show();
    window->resize(720, 430);
    window->vstFiles->header()->resizeSection(1, 133);
    // A finished run's figures go with the list they belong to.
    Settings("OpenFolderWhenDone=0\n");
    AddFiles(Clips(1, 0.5));
    window->actStart->trigger();
    ASSERT_TRUE(RunEnded());
    window->actClear->trigger();
    EXPECT_EQ(window->lblBatch->text(), TfrmMain::tr("%n 个文件", nullptr, 0));
    EXPECT_EQ(window->pgbBatch->value(), 0);
    ASSERT_TRUE(window->close());
    window.reset();

    window =
        std::make_unique<TfrmMain>(paths, TMainServices{&fakes, &fakes, &fakes, &fakes, &fakes});
    window->show();
    EXPECT_EQ(window->size(), QSize(720, 430));
    EXPECT_EQ(window->vstFiles->header()->sectionSize(1), 133);
}

TEST_F(MainWindowTest, AFailedRowKeepsItsReasonInTheTooltipAndTheLog) {
    Settings("OpenFolderWhenDone=0\n");
    fakes.extOptions = "pass=2\npasslogfile=" + folder + "/missing/log";
    AddFiles(Clips(1, 0.5));
    window->actStart->trigger();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Row(0).Status, TJobStatus::Failed);
    const QString tip =
        Controller()
            .Model()
            .data(Controller().Model().index(0, TJobNodeData::kStatusColumn), Qt::ToolTipRole)
            .toString();
    EXPECT_TRUE(tip.contains("missing/log")) << tip.toStdString();
    EXPECT_TRUE(window->mmoLog->toPlainText().contains("missing/log"));
    EXPECT_TRUE(window->actRunAgain->isEnabled());
}

TEST_F(MainWindowTest, NativeResizableWindowWithFullCaptionsAndDistinctColumnTitles) {
    window->show();
    EXPECT_EQ(window->centralWidget(), window->vstFiles) << "the list fills the window";
    EXPECT_LT(window->minimumSize().width(), 600);
    EXPECT_GT(window->maximumSize().width(), 2000);
    window->resize(1200, 700);
    QCoreApplication::processEvents();
    EXPECT_GT(window->vstFiles->width(), 1100);
    // The names take the spare width.
    EXPECT_GT(window->vstFiles->columnWidth(3), TJobListModel::ColumnWidth(3));

    for (QAction* action : window->tbMain->actions()) {
        if (action->isSeparator())
            continue;
        auto* button = qobject_cast<QToolButton*>(window->tbMain->widgetForAction(action));
        ASSERT_NE(button, nullptr);
        EXPECT_FALSE(button->icon().isNull()) << action->iconText().toStdString();
        EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(action->iconText()))
            << action->iconText().toStdString();
    }
    QStringList titles;
    for (int column = 0; column < Controller().Model().columnCount(); ++column)
        titles
            << Controller().Model().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(titles.removeDuplicates(), 0) << titles.join(',').toStdString();
    // Every menu is reachable from the keyboard.
    for (QAction* menu : window->menuBar()->actions())
        EXPECT_TRUE(menu->text().contains('&')) << menu->text().toStdString();
}

TEST_F(MainWindowTest, HelpAboutAndFaqOpenShippedPagesAndWorkingLinks) {
    window->actHelp->trigger();
    window->actFaq->trigger();
    window->ShowGuide("output-format");
    ASSERT_EQ(fakes.opened.size(), 3);
    for (int i : {0, 1})
        EXPECT_TRUE(QFileInfo::exists(fakes.opened[i])) << fakes.opened[i].toStdString();
    EXPECT_TRUE(fakes.opened[2].endsWith("Velto3GPConverter.html#output-format"));
    const QString guide = [&] {
        QFile file(fakes.opened[0]);
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }();
    EXPECT_TRUE(guide.contains("id=\"output-format\""));

    fakes.opened.clear();
    TfrmAbout about(fakes);
    EXPECT_TRUE(about.lblSoftwareName->text().contains(kVersionText));
    emit about.lblHomePage->linkActivated(QString::fromUtf8(kHomePage));
    emit about.lblEMail->linkActivated(ContactMailTarget());
    ASSERT_EQ(fakes.opened.size(), 2);
    EXPECT_EQ(fakes.opened[0], kHomePage);
    EXPECT_TRUE(fakes.opened[1].startsWith(QStringLiteral("mailto:") + kSupportMail));
    EXPECT_TRUE(about.lblHomePage->text().contains("<a href"));
}

TEST(WindowTexts, SourceLengthsStatusTimesAndBatchFigures) {
    for (auto [microseconds, text] : {std::pair<std::int64_t, const char*>{0, ""},
                                      {400000, "0:00:00.40"},
                                      {5000, "0:00:00.01"},
                                      {999999, "0:00:00.99"},
                                      {1000000, "0:00:01"},
                                      {3725900000, "1:02:05"}})
        EXPECT_EQ(FormatSourceDuration(microseconds), QString::fromUtf8(text)) << microseconds;
    EXPECT_EQ(StatusTime(-1), "--:--:--");
    EXPECT_EQ(StatusTime(3723500), "1:02:03");

    struct {
        std::vector<TJobAmount> jobs;
        std::int64_t elapsed;
        int percent;
        std::int64_t remaining;
        double speed;
    } const cases[] = {
        {{}, 1000, 0, -1, 0.0},
        {{{10000, 0, false, false}}, 0, 0, -1, 0.0},
        // Half of 20 s done in 5 s: twice real time, 5 s to go.
        {{{10000, 10000, true, true}, {10000, 0, false, false}}, 5000, 50, 5000, 2.0},
        // A stopped job counts what it converted, and nothing is left to do for it.
        {{{10000, 2000, true, false}, {10000, 2000, false, false}}, 2000, 20, 4000, 2.0},
        // Stopped and failed jobs keep a batch below 100 %, even when nearly all is done.
        {{{100000, 100000, true, true}, {10000, 9990, true, false}}, 1000, 99, 0, 109.99},
        {{{10000, 10000, true, true}, {10000, 10000, true, true}}, 1000, 100, 0, 20.0},
        {{{0, 500, false, false}}, 100, 0, -1, 0.0},
        {{{1000, 5000, false, false}}, 1000, 99, 0, 1.0},
    };
    for (const auto& c : cases) {
        const TBatchFigures figures = ComputeBatchFigures(c.jobs, c.elapsed);
        EXPECT_EQ(figures.Percent, c.percent);
        EXPECT_EQ(figures.RemainingMs, c.remaining);
        EXPECT_DOUBLE_EQ(figures.Speed, c.speed);
    }
}

TEST(SourceFilesTest, FoldersGiveTheirMediaFilesOnceAndMissingPathsAreNamed) {
    const std::string root = ScratchFolder();
    fs::create_directories(root + "/a/b");
    for (const char* name : {"/a/x.MP4", "/a/b/y.avi", "/a/notes.txt", "/z.bin"})
        std::ofstream(root + name) << "x";
    QStringList missing;
    const QString a = QString::fromStdString(root + "/a");
    const QStringList files = ExpandSources({a, QString::fromStdString(root + "/z.bin"),
                                             QString::fromStdString(root + "/a/b/y.avi"),
                                             QString::fromStdString(root + "/none.avi")},
                                            &missing);
    EXPECT_EQ(files,
              QStringList({a + "/b/y.avi", a + "/x.MP4", QString::fromStdString(root + "/z.bin")}));
    EXPECT_EQ(missing, QStringList({QString::fromStdString(root + "/none.avi")}));
    // The Add dialog starts where files were last chosen, while that folder exists.
    const QString settings = QString::fromStdString(root + "/settings.ini");
    EXPECT_EQ(RecentSourceFolder(settings), "");
    RememberSourceFolder(settings, {a + "/b/y.avi", a + "/x.MP4"});
    EXPECT_EQ(RecentSourceFolder(settings), a + "/b");
    fs::remove_all(root + "/a/b");
    EXPECT_EQ(RecentSourceFolder(settings), "");
    const QStringList patterns = MediaFilePatterns();
    EXPECT_TRUE(patterns.contains("*.3gp"));
    EXPECT_TRUE(patterns.contains("*.rmvb"));
    EXPECT_FALSE(patterns.contains("*"));

    // A folder import takes every type the program converts, at any depth.
    fs::create_directories(root + "/m/deep/er");
    QStringList expected;
    for (const char* name :
         {"/m/a.mkv", "/m/b.webm", "/m/c.wav", "/m/deep/d.flac", "/m/deep/e.ogg", "/m/deep/er/f.ts",
          "/m/deep/er/g.m2ts", "/m/deep/er/h.ogv", "/m/deep/er/i.opus"}) {
        std::ofstream(root + name) << "x";
        expected << QString::fromStdString(root + name);
    }
    std::ofstream(root + "/m/readme.txt") << "x";
    QStringList found = ExpandSources({QString::fromStdString(root + "/m")});
    found.sort();
    expected.sort();
    EXPECT_EQ(found, expected);
    // The file dialog's default filter shows them too.
    for (const char* pattern :
         {"*.mkv", "*.webm", "*.ts", "*.m2ts", "*.ogv", "*.wav", "*.flac", "*.ogg"})
        EXPECT_TRUE(SourceFileFilters().first().contains(QLatin1String(pattern))) << pattern;
}

} // namespace
} // namespace velto::test

namespace velto::test {

TEST_F(MainWindowTest, FilesNamedOnTheCommandLineAreAddedOnceTheWindowRuns) {
    Settings("OpenFolderWhenDone=0\n");
    const QStringList clips = Clips(2, 1.0);
    const QStringList sources = CommandLineSources(
        {QStringLiteral("src0.avi"), QUrl::fromLocalFile(clips[1]).toString(),
         QStringLiteral("--verbose"), QStringLiteral("https://example.com/clip.mp4")},
        QString::fromStdString(folder));
    EXPECT_EQ(sources, clips);
    window->show();
    window->AddFromCommandLine(sources);
    EXPECT_EQ(Controller().Model().Count(), 0) << "added from the event loop, not before";
    ASSERT_TRUE(WaitFor([&] { return Controller().Model().Count() == 2; }));
    EXPECT_EQ(fakes.groups.size(), 1u) << "one question for all the files";
    EXPECT_TRUE(fakes.messages.isEmpty());
    EXPECT_TRUE(window->actStart->isEnabled());
}

TEST(DesktopFileTest, OpensMediaFilesWithTheirMimeTypesAndValidates) {
    const QString file =
        QStringLiteral(VELTO_SOURCE_DIR "/desktop/com.velto_soft.Velto3GPConverter.desktop");
    QFile desktop(file);
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly | QIODevice::Text));
    QString exec;
    QStringList types;
    for (const QString& line : QString::fromUtf8(desktop.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("Exec=")))
            exec = line.mid(5);
        if (line.startsWith(QStringLiteral("MimeType=")))
            types = line.mid(9).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    EXPECT_TRUE(exec.endsWith(QStringLiteral(" %F"))) << exec.toStdString();
    ASSERT_GE(types.size(), 10);
    const QStringList patterns = MediaFilePatterns();
    QMimeDatabase mimes;
    for (const QString& type : types) {
        // Each type the system knows names a suffix the program takes when adding a folder.
        const QMimeType known = mimes.mimeTypeForName(type);
        if (!known.isValid() || known.suffixes().isEmpty())
            continue;
        bool taken = false;
        for (const QString& suffix : known.suffixes())
            taken |= patterns.contains(QStringLiteral("*.") + suffix, Qt::CaseInsensitive);
        EXPECT_TRUE(taken) << type.toStdString();
    }
    for (const char* type : {"video/mp4", "video/x-matroska", "video/3gpp", "audio/flac"})
        EXPECT_TRUE(types.contains(QLatin1String(type))) << type;
    const QString validate =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    ASSERT_FALSE(validate.isEmpty()) << "desktop-file-validate is needed (desktop-file-utils)";
    QProcess check;
    check.start(validate, {file});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString()
                                   << check.readAllStandardError().toStdString();
}

TEST_F(MainWindowTest, WaitingJobsCanBeRemovedDuringARunButNotTheOneConverting) {
    Settings("OpenFolderWhenDone=0\nSimultaneousJobs=1\n");
    // At the clips' own pace: the pause at the first report always finds the first converting.
    fakes.inputOptions = "re";
    QStringList sources = Clips(1, 4.0, "long");
    sources << Clips(2, 1.0, "short");
    AddFiles(sources);
    ASSERT_EQ(Controller().Model().Count(), 3);
    // Held at its first report while the list is changed: the clips convert in moments.
    QObject::connect(&Controller(), &TJobController::RowActive, window.get(),
                     [&] { window->actPause->trigger(); });
    window->actStart->trigger();
    ASSERT_TRUE(WaitFor([&] { return Row(0).Status == TJobStatus::Paused; }))
        << static_cast<int>(Row(0).Status);
    Select(0);
    EXPECT_FALSE(window->actRemove->isEnabled()) << "the job converting is stopped first";
    window->actRemove->trigger();
    EXPECT_EQ(Controller().Model().Count(), 3);
    Select(1);
    ASSERT_TRUE(window->actRemove->isEnabled());
    window->actRemove->trigger();
    ASSERT_EQ(Controller().Model().Count(), 2);
    EXPECT_TRUE(Controller().Running());
    EXPECT_FALSE(window->actStart->isEnabled());
    EXPECT_FALSE(window->actClear->isEnabled());
    QObject::disconnect(&Controller(), &TJobController::RowActive, window.get(), nullptr);
    window->actResume->trigger();
    ASSERT_TRUE(RunEnded());
    // The other jobs ran to the end in their rows; the removed one never ran.
    EXPECT_EQ(Row(0).Status, TJobStatus::Finished);
    EXPECT_EQ(Row(1).Status, TJobStatus::Finished);
    EXPECT_EQ(Row(1).SourceName, "short1.avi");
    EXPECT_EQ(Row(1).Text(4), "100%");
    EXPECT_FALSE(fs::exists(folder + "/out1.avi"));
    EXPECT_TRUE(fs::exists(folder + "/out2.avi"));
}

TEST_F(MainWindowTest, WaitingJobsAreReorderedDuringARunAndStartInTheirNewOrder) {
    Settings("OpenFolderWhenDone=0\nSimultaneousJobs=1\n");
    // At the clips' own pace: the pause at the first report always finds the first converting.
    fakes.inputOptions = "re";
    QStringList sources = Clips(1, 4.0, "long");
    sources << Clips(3, 1.0, "short");
    AddFiles(sources);
    ASSERT_EQ(Controller().Model().Count(), 4);
    QStringList finished;
    QObject::connect(&Controller().Model(), &QAbstractItemModel::dataChanged, window.get(), [&] {
        for (int i = 0; i < Controller().Model().Count(); ++i)
            if (Row(i).Status == TJobStatus::Finished && !finished.contains(Row(i).SourceName))
                finished << Row(i).SourceName;
    });
    const QMetaObject::Connection pause =
        QObject::connect(&Controller(), &TJobController::RowActive, window.get(),
                         [&] { window->actPause->trigger(); });
    window->actStart->trigger();
    ASSERT_TRUE(WaitFor([&] { return Row(0).Status == TJobStatus::Paused; }));
    QObject::disconnect(pause);
    Select(0);
    EXPECT_FALSE(window->actMoveUp->isEnabled());
    EXPECT_FALSE(window->actMoveDown->isEnabled()) << "the job converting keeps its place";
    Select(3);
    EXPECT_FALSE(window->actMoveDown->isEnabled());
    ASSERT_TRUE(window->actMoveUp->isEnabled());
    window->actMoveUp->trigger();
    window->actMoveUp->trigger();
    EXPECT_EQ(window->SelectedRows(), QList<int>({1})) << "the selection follows the row";
    EXPECT_FALSE(window->actMoveUp->isEnabled()) << "above it only the job converting";
    QStringList order;
    for (int i = 0; i < 4; ++i)
        order << Row(i).SourceName;
    EXPECT_EQ(order, QStringList({"long0.avi", "short2.avi", "short0.avi", "short1.avi"}));
    // Dragged: the job converting stays where it is; a job dropped above it goes just below,
    // the first place a waiting job can take; one dragged down lands above the line's row.
    EXPECT_FALSE(Controller().Model().index(0, 0).flags() & Qt::ItemIsDragEnabled);
    EXPECT_TRUE(Controller().Model().index(3, 0).flags() & Qt::ItemIsDragEnabled);
    DragRow(0, 3);
    EXPECT_EQ(Row(0).SourceName, "long0.avi");
    DragRow(3, 0);
    EXPECT_EQ(window->SelectedRows(), QList<int>({1}));
    DragRow(1, 3);
    EXPECT_EQ(window->SelectedRows(), QList<int>({2}));
    order.clear();
    for (int i = 0; i < 4; ++i)
        order << Row(i).SourceName;
    EXPECT_EQ(order, QStringList({"long0.avi", "short2.avi", "short1.avi", "short0.avi"}));
    window->actResume->trigger();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(finished, order) << "waiting jobs start in the list's order";
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Row(i).Status, TJobStatus::Finished) << i;
}

TEST_F(MainWindowTest, AWaitingJobsFormatIsAskedAgainAndTheNewJobTakesItsPlace) {
    Settings("OpenFolderWhenDone=0\n");
    AddFiles(Clips(2, 1.0));
    ASSERT_EQ(Controller().Model().Count(), 2);
    Select(0);
    ASSERT_TRUE(window->actEdit->isEnabled());
    fakes.groupAnswer = false; // cancelled: the job stays as it was
    window->actEdit->trigger();
    EXPECT_EQ(Row(0).OutputName, "out0.avi");
    fakes.groupAnswer = true;
    fakes.extOptions = "vframes=5";
    window->actEdit->trigger();
    EXPECT_EQ(fakes.groups.back(), QStringList({Row(0).SourcePath}));
    EXPECT_EQ(Row(0).OutputName, "out2.avi");
    EXPECT_EQ(Row(0).Options->Output.ExtOptions, "vframes=5");
    EXPECT_EQ(Controller().Model().Count(), 2);
    EXPECT_EQ(window->Engine().TaskCount(), 2);
    window->actStart->trigger();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Row(0).Status, TJobStatus::Finished);
    EXPECT_EQ(Row(1).Status, TJobStatus::Finished);
    EXPECT_FALSE(fs::exists(folder + "/out0.avi")) << "the old job never ran";
    EXPECT_TRUE(fs::exists(folder + "/out1.avi"));
    // The edited job ran with its new records: five pictures.
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(folder + "/out2.avi")) << probe.LastError;
    TFormatInfo info{};
    probe.GetFormatInfo(info);
    EXPECT_LT(info.Duration, 500000);
    Select(0);
    EXPECT_FALSE(window->actEdit->isEnabled()) << "a finished job is run again, not edited";
}

} // namespace velto::test
