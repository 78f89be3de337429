// The conversion list and batch controller on real media with the real engine; only the file
// and format choice, message boxes, the shell and power-off are fakes.
#include "JobController.h"

#include "MediaFactory.h"
#include "ProfileMapping.h"
#include "QtMainThreadDispatcher.h"
#include "TestLibraries.h"
#include "frm_Main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTreeView>

#include <deque>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

struct TFakes : IFileChooser, IOutputFormatChooser, IMessageBox, IShell, IPowerOff {
    std::deque<QString> files;
    std::string folder;
    std::string extOptions;           // given to every output
    std::string videoCodec = "mpeg4"; // given to every output
    bool keepUnfinished = true;       // as the format dialog reads the preference
    std::string outputFolder;         // where outputs go; empty: folder
    int videoBitRate = -1;            // given to every output
    bool answer = true;               // to every question
    QStringList questions;
    int outputs = 0;
    TTakenPaths lastTaken;
    QStringList messages, opened;
    int powerOffs = 0;
    std::function<void()> onOpen; // runs inside the job-end handling

    QStringList ChooseSourceFiles() override {
        if (files.empty())
            return {};
        QString file = files.front();
        files.pop_front();
        return {file};
    }
    bool Choose(const TSourceSummary& source, const TTakenPaths& taken, TJobRecords& job) override {
        lastTaken = taken;
        job.Input.FileName = source.FileName;
        TOutputOptions& output = job.Output;
        output.FileName = (outputFolder.empty() ? folder : outputFolder) + "/out" +
                          std::to_string(outputs++) + ".avi";
        output.VideoBitRate = videoBitRate;
        output.VideoCodec = videoCodec;
        output.ExtOptions = extOptions;
        output.KeepUnfinished = keepUnfinished;
        return true;
    }
    void Show(const QString& text, TIcon) override { messages << text; }
    bool Confirm(const QString& text) override {
        questions << text;
        return answer;
    }
    bool Open(const QString& target, TShow) override {
        opened << target;
        if (onOpen)
            onOpen();
        return true;
    }
    void PowerOff() override { ++powerOffs; }
};

class JobControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_app";
        static char* argv[] = {name, nullptr};
        // Never destroyed: Qt's own globals may be gone by the time statics are torn down.
        if (!QApplication::instance())
            new QApplication(argc, argv);
    }
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        fs::create_directory_symlink(LibAVFolder(), folder + "/LibAV");
        fakes.folder = folder;
        SetMainThreadDispatcher(&dispatcher);
        controller =
            std::make_unique<TJobController>(engine, QString::fromStdString(folder),
                                             TJobServices{&fakes, &fakes, &fakes, &fakes, &fakes});
    }
    void TearDown() override {
        controller.reset();
        SetMainThreadDispatcher(nullptr);
    }
    // Where the Trash keeps a file moved there, empty when it is in neither the home Trash
    // nor that of the file's own volume.
    static QString TrashedFile(const QString& original) {
        const QString name = QFileInfo(original).fileName();
        const QString volume = QStorageInfo(QFileInfo(original).absolutePath()).rootPath();
        for (const QString& trash :
             {QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  QStringLiteral("/Trash"),
              volume + QStringLiteral("/.Trash-") + QString::number(getuid()),
              volume + QStringLiteral("/.Trash/") + QString::number(getuid())})
            if (QFileInfo::exists(trash + QStringLiteral("/files/") + name))
                return trash + QStringLiteral("/files/") + name;
        return {};
    }
    void Settings(const std::string& options) {
        std::ofstream(folder + "/Velto3GPConverter.ini") << "[Options]\n" << options;
    }
    // Adds copies of one clip, each under its own name.
    void AddClips(int count, double seconds) {
        const std::string clip = MakeVideoOnly(folder, seconds);
        for (int i = 0; i < count; ++i) {
            const std::string source = folder + "/src" + std::to_string(i) + ".avi";
            fs::copy_file(clip, source);
            sources.push_back(source);
            fakes.files.push_back(QString::fromStdString(source));
            Add();
        }
    }
    // Add, waiting until the chosen files are probed and listed or refused.
    void Add() {
        controller->Add();
        ASSERT_TRUE(WaitFor([&] { return !controller->Adding(); }));
    }
    bool WaitFor(const std::function<bool()>& done, int ms = 120000) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }
    bool RunEnded() {
        return WaitFor([&] { return !controller->Running() && !controller->Actions().Stop; });
    }
    QString Text(int row, int column) { return controller->Model().Row(row)->Text(column); }

    TQtMainThreadDispatcher dispatcher;
    TFFmpegEngine engine;
    TFakes fakes;
    std::string folder;
    std::vector<std::string> sources;
    std::unique_ptr<TJobController> controller;
};

TEST(JobTextFormats, DurationsSizesAndPercentages) {
    for (auto [seconds, text] : {std::pair<std::int64_t, const char*>{0, ""},
                                 {-5, ""},
                                 {307, "0:05:07"},
                                 {3725, "1:02:05"},
                                 {43231, "12:00:31"}})
        EXPECT_EQ(FormatDuration(seconds), QString::fromUtf8(text)) << seconds;
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    for (auto [bytes, text] : {std::pair<std::int64_t, const char*>{512, "512B"},
                               {-1, "-1B"},
                               {1023, "1023B"},
                               {1024, "1.00 KB"},
                               {1024000, "1,000.00 KB"},
                               {1048576, "1.00 MB"},
                               {5368709120, "5.00 GB"}})
        EXPECT_EQ(FormatSize(bytes, english), QString::fromUtf8(text)) << bytes;
    for (auto [current, total, percent] : {std::tuple<std::int64_t, std::int64_t, int>{500, 0, 0},
                                           {370, 1000, 37},
                                           {1500, 1000, 100},
                                           {-20, 1000, 0},
                                           {7200000 * 10LL, 7200000 * 20LL, 50}})
        EXPECT_EQ(ProgressPercent(current, total), percent) << current << "/" << total;
}

TEST(JobActionStates, FollowTheRunFromCreationToClear) {
    // Expected Add, Remove, Clear, Start, Stop, Pause, Resume after each step.
    using E = TActionEvent;
    const std::vector<std::tuple<E, int, const char*>> steps = {
        {E::Created, 0, "1000000"}, {E::Added, 1, "1111000"},         {E::Removed, 0, "1000000"},
        {E::Added, 2, "1111000"},   {E::Started, 2, "1000110"},       {E::Paused, 2, "1000101"},
        {E::Resumed, 2, "1000110"}, {E::StopRequested, 2, "1000010"}, {E::RunEnded, 2, "1110000"},
        {E::Cleared, 0, "1000000"}};
    TActionStates states;
    for (auto [state, rows, expected] : steps) {
        states.Apply(state, rows);
        const std::string got = {char('0' + states.Add),   char('0' + states.Remove),
                                 char('0' + states.Clear), char('0' + states.Start),
                                 char('0' + states.Stop),  char('0' + states.Pause),
                                 char('0' + states.Resume)};
        EXPECT_EQ(got, expected) << "state " << static_cast<int>(state);
    }
}

TEST(JobPace, TimeLeftFollowsTheJobsOwnPaceFromItsFirstReport) {
    TJobPace pace;
    EXPECT_EQ(pace.LeftMs(10000, 0), -1);
    // Queued for 5 s before its first report: that wait is not the job's pace.
    pace.Report(1000, 5000);
    EXPECT_EQ(pace.LeftMs(10000, 1000), -1);
    pace.Report(3000, 6000); // 2 s of source in 1 s
    EXPECT_EQ(pace.LeftMs(10000, 3000), 3500);
    EXPECT_EQ(pace.LeftMs(0, 3000), -1) << "unknown length";
    EXPECT_EQ(pace.LeftMs(2000, 3000), 0) << "past a wrong length";

    TJobNodeData row;
    row.Status = TJobStatus::Running;
    row.Fps = 48;
    row.Pace = pace;
    row.TotalMs = 10000;
    row.CurrentMs = 3000; // 3.5 s left
    const QString line = TJobListModel::StatusLine(row);
    EXPECT_TRUE(line.contains("48 fps")) << line.toStdString();
    EXPECT_TRUE(line.contains("0:00:04")) << line.toStdString();
    row.Status = TJobStatus::Finished;
    EXPECT_EQ(TJobListModel::StatusLine(row), TJobListModel::StatusText(TJobStatus::Finished));
}

TEST(ErrorBox, AddsAFullStopOnlyAfterCharactersSortingAfterIt) {
    for (auto [message, shown] : {std::pair{"Disk full", "Disk full."},
                                  {"Done!", "Done!"},
                                  {"Ends.", "Ends."},
                                  {"", ""},
                                  {"磁盘已满", "磁盘已满."}})
        EXPECT_EQ(ErrorBoxText(QString::fromUtf8(message)), QString::fromUtf8(shown));
}

TEST_F(JobControllerTest, FailedProbeLogsAndLeavesTheListHidden) {
    fakes.files.push_back(QString::fromStdString(MakeEmptyFile(folder)));
    Add();
    EXPECT_FALSE(controller->ListVisible());
    EXPECT_EQ(controller->Model().Count(), 0);
    // The library's own lines about the file ("#-1.1: ...") come through the engine's log
    // event; the Add writes these three.
    QStringList log;
    for (const QString& line : controller->Log())
        if (!line.startsWith(QLatin1Char('#')))
            log << line;
    ASSERT_EQ(log.size(), 3) << log.join('|').toStdString();
    EXPECT_EQ(log[0], "");
    EXPECT_TRUE(log[1].startsWith("***File load error: ")) << log[1].toStdString();
    EXPECT_EQ(log[2], "");
    // The user is told too, once, with the file's name.
    ASSERT_EQ(fakes.messages.size(), 1);
    EXPECT_TRUE(fakes.messages[0].contains("empty")) << fakes.messages[0].toStdString();
}

TEST_F(JobControllerTest, RefusedOutputLogsWhyAndAddsNoRow) {
    fakes.videoCodec = "nosuchcodec";
    AddClips(1, 0.2);
    EXPECT_EQ(controller->Model().Count(), 0);
    EXPECT_TRUE(controller->Log().contains(
        "***Cannot do convert, error: new_video_stream fail: Unknown encoder "
        "'nosuchcodec'"))
        << controller->Log().join("|").toStdString();
}

TEST_F(JobControllerTest, TwoJobsRunToTheEndAndOpenTheirFolder) {
    AddClips(2, 1.0);
    ASSERT_EQ(controller->Model().Count(), 2);
    EXPECT_TRUE(controller->ListVisible());
    EXPECT_EQ(Text(0, 0), "src0.avi");
    EXPECT_EQ(Text(1, 3), "out1.avi");
    EXPECT_EQ(Text(0, 1), "0:00:01");
    EXPECT_TRUE(Text(0, 2).endsWith(" KB")) << Text(0, 2).toStdString();
    EXPECT_EQ(Text(0, 4), "");
    EXPECT_TRUE(controller->Log().contains("***File has been added to convert list."));

    controller->Start(); // no settings file: the output folder opens
    ASSERT_TRUE(RunEnded());
    for (int row : {0, 1}) {
        EXPECT_EQ(Text(row, 4), "100%");
        EXPECT_TRUE(fs::file_size(folder + "/out" + std::to_string(row) + ".avi") > 0);
        EXPECT_TRUE(fs::exists(sources[static_cast<size_t>(row)]));
    }
    // Both outputs are in one folder, which opens once for the batch.
    EXPECT_EQ(fakes.opened, QStringList({QString::fromStdString(folder)}));
    EXPECT_EQ(engine.TaskCount(), 0);
    EXPECT_EQ(fakes.powerOffs, 0);
    EXPECT_TRUE(std::any_of(controller->Log().begin(), controller->Log().end(),
                            [](const QString& l) { return l.startsWith("#0.2: "); }));
}

TEST_F(JobControllerTest, StopMidBatchKeepsUnfinishedSourcesAndDropsTheirOutputs) {
    // One job at a time, so that the stop finds the second job just started.
    Settings("DeleteSourceWhenDone=1\nDelFileWhenCanceled=1\nShunDownWhenDone=1\n"
             "OpenFolderWhenDone=1\nSimultaneousJobs=1\n");
    fakes.keepUnfinished = false;
    // A Trash of the test's own.
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(folder + "/data"));
    AddClips(3, 30.0);
    // Stop while the first job's end is handled: the second has just been started.
    fakes.onOpen = [&] {
        fakes.onOpen = nullptr;
        controller->Stop();
    };
    ASSERT_EQ(controller->Model().Count(), 3);
    controller->Start();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Text(0, 4), "100%");
    EXPECT_NE(Text(1, 4), "100%");
    EXPECT_FALSE(fs::exists(sources[0])) << "a finished job's source is deleted when asked";
    // Into the Trash, where the user can get it back.
    const QString trashed = TrashedFile(QString::fromStdString(sources[0]));
    EXPECT_FALSE(trashed.isEmpty());
    EXPECT_EQ(fs::file_size(trashed.toStdString()), fs::file_size(sources[1]));
    EXPECT_TRUE(fs::exists(folder + "/out0.avi"));
    for (int row : {1, 2}) {
        EXPECT_TRUE(fs::exists(sources[static_cast<size_t>(row)]));
        EXPECT_FALSE(fs::exists(folder + "/out" + std::to_string(row) + ".avi"));
    }
    EXPECT_EQ(fakes.powerOffs, 0) << "the last job did not finish";
    EXPECT_EQ(fakes.opened.size(), 1) << "the one output folder opens once, stopped jobs or not";
}

TEST_F(JobControllerTest, FailingJobShowsItsMessageAndKeepsItsSource) {
    Settings("DeleteSourceWhenDone=1\nShunDownWhenDone=1\nOpenFolderWhenDone=0\n");
    fakes.extOptions = "pass=2\npasslogfile=" + folder + "/missing/log";
    AddClips(1, 1.0);
    ASSERT_EQ(controller->Model().Count(), 1);
    controller->Start();
    ASSERT_TRUE(RunEnded());
    ASSERT_EQ(fakes.messages.size(), 1);
    EXPECT_TRUE(fakes.messages[0].contains("missing/log")) << fakes.messages[0].toStdString();
    EXPECT_TRUE(fs::exists(sources[0]));
    EXPECT_EQ(fakes.powerOffs, 0);
}

TEST_F(JobControllerTest, RemoveRenumbersAndClearEmptiesTheList) {
    Settings("OpenFolderWhenDone=0\n");
    AddClips(3, 0.5);
    ASSERT_EQ(controller->Model().Count(), 3);
    controller->Remove(-1);
    EXPECT_EQ(controller->Model().Count(), 3);
    controller->Remove(1);
    ASSERT_EQ(engine.TaskCount(), 2);
    EXPECT_EQ(Text(1, 0), "src2.avi");
    TInputOptions input;
    engine.GetInputOptions(1, input);
    EXPECT_EQ(input.FileName, sources[2]);
    controller->Start();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Text(1, 4), "100%");
    // Ended rows can still be removed, one by one.
    ASSERT_TRUE(controller->Actions().Remove);
    controller->Remove(0);
    EXPECT_EQ(Text(0, 0), "src2.avi");
    controller->Clear();
    EXPECT_EQ(controller->Model().Count(), 0);
    EXPECT_FALSE(controller->ListVisible());
    EXPECT_TRUE(controller->Log().isEmpty());
    EXPECT_TRUE(controller->Actions().Add);
}

// Names of the listed jobs are never given to a new one: the paths the choice is given follow
// the list as rows are appended, removed and cleared.
TEST_F(JobControllerTest, ANewJobIsToldEveryListedPathAndNoRemovedOne) {
    AddClips(3, 0.5);
    ASSERT_EQ(controller->Model().Count(), 3);
    const auto listed = [&](int i) {
        const TJobNodeData* row = controller->Model().Row(i);
        return std::pair{row->SourcePath.toStdString(), row->OutputPath.toStdString()};
    };
    // The third was told of the first two jobs, not of itself.
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(fakes.lastTaken.Contains(listed(i).first)) << i;
        EXPECT_TRUE(fakes.lastTaken.Contains(listed(i).second)) << i;
    }
    EXPECT_FALSE(fakes.lastTaken.Contains(listed(2).second));
    const auto removed = listed(1);
    const auto kept = listed(2);
    controller->Remove(1);
    fakes.files = {QString::fromStdString(sources[0])};
    Add();
    ASSERT_EQ(controller->Model().Count(), 3);
    EXPECT_FALSE(fakes.lastTaken.Contains(removed.first));
    EXPECT_FALSE(fakes.lastTaken.Contains(removed.second));
    EXPECT_TRUE(fakes.lastTaken.Contains(kept.second));
    controller->Clear();
    fakes.files = {QString::fromStdString(sources[0])};
    Add();
    ASSERT_EQ(controller->Model().Count(), 1);
    EXPECT_EQ(fakes.lastTaken.size(), 0u);
}

// Start asks before any work when the queued jobs' forecast is more than their folder has free;
// the list shows each job's forecast, and its real size beside it once done.
TEST_F(JobControllerTest, StartAsksWhenTheForecastIsMoreThanTheFolderHolds) {
    const std::string card = folder + "/card";
    fs::create_directory(card);
    if (geteuid() != 0 || mount("tmpfs", card.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "needs root to mount a 4 MB tmpfs as a small card";
    fakes.outputFolder = card;
    fakes.videoBitRate = 40000000; // 10 MB forecast for the 2 s clip
    AddClips(1, 2.0);
    ASSERT_EQ(controller->Model().Count(), 1);
    EXPECT_TRUE(Text(0, 6).startsWith(QStringLiteral("≈ "))) << Text(0, 6).toStdString();

    fakes.answer = false;
    controller->Start();
    ASSERT_EQ(fakes.questions.size(), 1);
    EXPECT_TRUE(fakes.questions[0].contains(QString::fromStdString(card)))
        << fakes.questions[0].toStdString();
    EXPECT_TRUE(fakes.questions[0].contains(QStringLiteral("4.0 MB")))
        << fakes.questions[0].toStdString();
    EXPECT_FALSE(controller->Running());
    EXPECT_TRUE(fs::is_empty(card));

    // Started anyway: the clip is far smaller than its rate says.
    fakes.answer = true;
    controller->Start();
    EXPECT_EQ(fakes.questions.size(), 2);
    ASSERT_TRUE(RunEnded());
    const std::int64_t size = static_cast<std::int64_t>(fs::file_size(card + "/out0.avi"));
    umount2(card.c_str(), MNT_DETACH);
    EXPECT_EQ(controller->Model().Row(0)->Status, TJobStatus::Finished);
    EXPECT_EQ(controller->Model().Row(0)->OutputBytes, size);
    EXPECT_TRUE(Text(0, 6).contains(QStringLiteral(" / ≈ "))) << Text(0, 6).toStdString();
}

} // namespace
} // namespace velto::test
