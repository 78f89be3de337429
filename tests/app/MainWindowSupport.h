// A main window on real media with the real engine, whose platform edges record instead of
// blocking: the file chooser, the output-format question, message boxes, the shell, power-off and
// the desktop's session services.
#pragma once

#include "JobListModel.h"
#include "JobListView.h"
#include "MediaFactory.h"
#include "ProfileMapping.h"
#include "QtMainThreadDispatcher.h"
#include "TestLibraries.h"
#include "frm_Main.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QMimeData>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace velto::test {

struct TWindowFakes : IFileChooser,
                      IOutputFormatChooser,
                      IMessageBox,
                      IShell,
                      IPowerOff,
                      IDesktopSession,
                      IPowerOffCountdownView {
    std::deque<QStringList> choices;
    std::string folder;
    std::string extOptions;
    int outputs = 0;
    QStringList messages, opened, confirmations;
    std::vector<QStringList> groups;
    bool confirmAnswer = true;
    bool groupAnswer = true;
    bool keepUnfinished = true; // as the format dialog reads the preference
    std::string inputOptions;   // given to every input ("re": read at the clip's own pace)

    QString folderChoice; // what Add folder is given; empty: cancelled
    QString ChooseSourceFolder() override { return folderChoice; }
    QStringList ChooseSourceFiles() override {
        if (choices.empty())
            return {};
        QStringList files = choices.front();
        choices.pop_front();
        return files;
    }
    bool BeginGroup(const TSourceSummary&, const QStringList& files) override {
        groups.push_back(files);
        return groupAnswer;
    }
    bool Choose(const TSourceSummary& source, const TTakenPaths&, TJobRecords& job) override {
        job.Input.FileName = source.FileName;
        job.Input.ExtOptions = inputOptions;
        TOutputOptions& output = job.Output;
        output.FileName = folder + "/out" + std::to_string(outputs++) + ".avi";
        output.VideoCodec = "mpeg4";
        output.ExtOptions = extOptions;
        output.KeepUnfinished = keepUnfinished;
        return true;
    }
    void Show(const QString& text, TIcon) override { messages << text; }
    bool Confirm(const QString& text) override {
        confirmations << text;
        return confirmAnswer;
    }
    bool Open(const QString& target, TShow) override {
        opened << target;
        return true;
    }
    void PowerOff() override {}

    int inhibits = 0, releases = 0;
    QStringList notices;
    TSessionResult Inhibit(const QString&) override {
        ++inhibits;
        return {};
    }
    void Release() override { ++releases; }
    TSessionResult Notify(const QString&, const QString& body, const QStringList&,
                          uint& id) override {
        notices << body;
        id = static_cast<uint>(notices.size());
        return {};
    }
    TSessionResult CanPowerOff(QString& answer) override {
        answer = QStringLiteral("yes");
        return {};
    }
    void Show(int, std::function<void()>) override {}
    void Update(int) override {}
    void Close() override {}
};

inline void EnsureWidgetsApplication() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals may be gone by the time statics are torn down.
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

class MainWindowTest : public ::testing::Test {
protected:
    // Before the fixture is built: its dispatcher needs the application object.
    static void SetUpTestSuite() { EnsureWidgetsApplication(); }
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        fakes.folder = folder;
        // Each test's window remembers its place in a state folder of its own.
        qputenv("XDG_STATE_HOME", QByteArray::fromStdString(folder + "/state"));
        SetMainThreadDispatcher(&dispatcher);
        // The shipped data (guide, translations) from the build folder; settings in the scratch.
        paths = TAppPaths(QString::fromStdString(folder));
        paths.LibrariesFolder = QString::fromUtf8(LibAVFolder());
        paths.DataFolder = QString::fromUtf8(VELTO_STAGE_DIR);
        window = std::make_unique<TfrmMain>(
            paths, TMainServices{&fakes, &fakes, &fakes, &fakes, &fakes, &fakes, &fakes});
    }
    void TearDown() override {
        window.reset();
        SetMainThreadDispatcher(nullptr);
    }
    void Settings(const std::string& options) {
        std::ofstream(folder + "/Velto3GPConverter.ini") << "[Options]\n" << options;
    }
    // Copies of one clip, each under its own name.
    QStringList Clips(int count, double seconds, const std::string& prefix = "src") {
        const std::string clip = MakeVideoOnly(folder, seconds);
        QStringList files;
        for (int i = 0; i < count; ++i) {
            const std::string source = folder + "/" + prefix + std::to_string(i) + ".avi";
            std::filesystem::copy_file(clip, source);
            files << QString::fromStdString(source);
        }
        return files;
    }
    static bool WaitFor(const std::function<bool()>& done, int ms = 120000) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }
    TJobController& Controller() { return window->Controller(); }
    // Adds as a drop does and waits until every file is probed and listed or refused.
    void AddFiles(const QStringList& files) {
        Controller().AddFiles(files);
        ASSERT_TRUE(WaitFor([&] { return !Controller().Adding(); }));
    }
    const TJobNodeData& Row(int row) { return *Controller().Model().Row(row); }
    void Select(int row) {
        window->vstFiles->selectionModel()->select(Controller().Model().index(row, 0),
                                                   QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    }
    // Drags row from of the list and drops it on the upper half of row before, as the mouse
    // does: the line is drawn above that row.
    void DragRow(int from, int before) {
        window->show();
        QWidget* list = window->vstFiles->viewport();
        const QRect row = window->vstFiles->visualRect(Controller().Model().index(before, 0));
        const QPoint at(row.center().x(), row.top() + row.height() / 4);
        QMimeData mime;
        mime.setData(TJobListModel::RowMimeType, QByteArray::number(from));
        QDragEnterEvent enter(at, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list, &enter);
        QDragMoveEvent move(at, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list, &move);
        QDropEvent drop(at, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list, &drop);
    }
    bool RunEnded() {
        return WaitFor([&] { return !Controller().Running(); });
    }

    TQtMainThreadDispatcher dispatcher;
    TWindowFakes fakes;
    std::string folder;
    TAppPaths paths;
    std::unique_ptr<TfrmMain> window;
};

} // namespace velto::test
