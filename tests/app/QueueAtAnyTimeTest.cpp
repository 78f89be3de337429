// The queue is managed while it runs: files added and jobs run again join the running batch,
// which still ends once; editing a waiting job opens the real format dialog as it was left.
#include "MainWindowSupport.h"

#include "QtPlatformServices.h"
#include "frm_ConvertOptions.h"
#include "frm_DialogServices.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

class QueueAtAnyTimeTest : public MainWindowTest {
protected:
    bool StatusIs(int row, TJobStatus status) {
        return Controller().Model().Row(row) && Row(row).Status == status;
    }
};

TEST_F(QueueAtAnyTimeTest, FilesAddedDuringARunJoinItAndTheRunEndsOnce) {
    Settings("SimultaneousJobs=1\nOpenFolderWhenDone=0\n");
    fakes.inputOptions = "re"; // the first job lasts as long as its clip
    const QStringList first = Clips(1, 2.0, "long");
    const QStringList later = Clips(1, 0.5, "short");
    QSignalSpy ended(&Controller(), &TJobController::RunEnded);
    AddFiles(first);
    Controller().Start();
    ASSERT_TRUE(WaitFor([&] { return StatusIs(0, TJobStatus::Running); }));

    const TActionStates during = Controller().Actions();
    EXPECT_TRUE(during.Add) << "files can be added while the queue runs";
    EXPECT_FALSE(during.Start || during.Clear);
    AddFiles(later);
    ASSERT_EQ(Controller().Model().Count(), 2);
    EXPECT_EQ(Row(1).Status, TJobStatus::Queued);
    EXPECT_TRUE(Controller().Running());

    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(ended.count(), 1);
    for (int row : {0, 1}) {
        EXPECT_EQ(Row(row).Status, TJobStatus::Finished) << row;
        EXPECT_GT(fs::file_size(folder + "/out" + std::to_string(row) + ".avi"), 0u);
    }
    EXPECT_EQ(Controller().Actions().Start, false) << "nothing is left to start";
}

TEST_F(QueueAtAnyTimeTest, RunAgainDuringARunJoinsItAtOnce) {
    Settings("SimultaneousJobs=1\nOpenFolderWhenDone=0\n");
    fakes.inputOptions = "re";
    AddFiles(Clips(1, 2.0, "stopped"));
    Controller().Start();
    ASSERT_TRUE(WaitFor([&] { return StatusIs(0, TJobStatus::Running); }));
    Controller().Stop();
    ASSERT_TRUE(RunEnded());
    ASSERT_EQ(Row(0).Status, TJobStatus::Stopped);

    QSignalSpy ended(&Controller(), &TJobController::RunEnded);
    AddFiles(Clips(1, 1.5, "other"));
    Controller().Start();
    ASSERT_TRUE(WaitFor([&] { return StatusIs(1, TJobStatus::Running); }));
    EXPECT_TRUE(Controller().CanRunAgain());
    Controller().RunAgain({0});
    EXPECT_EQ(Row(0).Status, TJobStatus::Queued);
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(Row(0).Status, TJobStatus::Finished);
    EXPECT_EQ(Row(1).Status, TJobStatus::Finished);
    EXPECT_GT(fs::file_size(Row(0).OutputPath.toStdString()), 0u);
}

TEST_F(QueueAtAnyTimeTest, StopAfterTheCurrentJobLeavesTheRestWaitingForTheNextStart) {
    Settings("SimultaneousJobs=1\nOpenFolderWhenDone=0\n");
    fakes.inputOptions = "re";
    AddFiles(Clips(1, 1.5, "current") + Clips(2, 0.5, "waiting"));
    Controller().Start();
    ASSERT_TRUE(WaitFor([&] { return StatusIs(0, TJobStatus::Running); }));
    ASSERT_TRUE(window->actStopAfter->isEnabled());
    window->actStopAfter->trigger();
    EXPECT_FALSE(window->actStopAfter->isEnabled());
    EXPECT_TRUE(window->actStop->isEnabled()) << "the current job can still be stopped";
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Row(0).Status, TJobStatus::Finished);
    for (int row : {1, 2}) {
        EXPECT_EQ(Row(row).Status, TJobStatus::Queued) << row;
        EXPECT_FALSE(fs::exists(Row(row).OutputPath.toStdString())) << row;
    }
    // They run at the next Start, and only they.
    const auto finishedAt = fs::last_write_time(Row(0).OutputPath.toStdString());
    ASSERT_TRUE(Controller().Actions().Start);
    Controller().Start();
    ASSERT_TRUE(RunEnded());
    for (int row : {1, 2})
        EXPECT_EQ(Row(row).Status, TJobStatus::Finished) << row;
    EXPECT_EQ(fs::last_write_time(Row(0).OutputPath.toStdString()), finishedAt);
}

class TSilentDialogServices : public TDialogServices {
public:
    std::string ChooseFolder(QWidget*, const QString&, const std::string&) override { return {}; }
    void ShowInformation(QWidget*, const QString&) override {}
    bool Confirm(QWidget*, const QString&) override { return true; }
    bool IsOnOpticalDrive(const std::string&) override { return false; }
    void ShowHelp(QWidget*, const QString&) override {}
};

// What the dialog shows, in the fields a user sets.
struct TShown {
    QString profile, frameSize, folder, rotation, track;
    bool operator==(const TShown&) const = default;
};

void PrintTo(const TShown& shown, std::ostream* out) {
    *out << QStringList{shown.profile, shown.frameSize, shown.folder, shown.rotation, shown.track}
                .join(QStringLiteral(" | "))
                .toStdString();
}

TShown Shown(const TfrmConvertOptions& dialog) {
    return {dialog.cbxVideoFormat->currentText(), dialog.cbxFrameSize->currentText(),
            dialog.edtOutPath->text(), dialog.cbxRotation->currentText(),
            dialog.cbxAudioTrack->currentText()};
}

// Runs inside the next modal dialog's event loop, then closes it with OK.
// The dialog opens once the file's probe has come back, so it is looked for until it is there.
void WithNextDialog(const std::function<void(TfrmConvertOptions&)>& act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<TfrmConvertOptions*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        act(*dialog);
        dialog->accept();
    });
    timer->start(10);
}

TEST_F(QueueAtAnyTimeTest, EditOpensTheRealDialogAsTheJobWasLeft) {
    // The shipped catalogue, so the dialog lists real profiles.
    fs::copy_file(VELTO_STAGE_DIR "/Velto3GPConverter.ini", paths.Settings(),
                  fs::copy_options::overwrite_existing);
    const std::string out = folder + "/elsewhere";
    fs::create_directory(out);
    TSilentDialogServices dialogs;
    TDialogFormatChooser chooser(nullptr, paths, dialogs);
    // A controller of its own, on an engine of its own, asking with the real dialog.
    fs::create_directory_symlink(LibAVFolder(), folder + "/LibAV");
    TFFmpegEngine engine;
    TJobController controller(engine, QString::fromStdString(folder),
                              TJobServices{&fakes, &chooser, &fakes, &fakes, &fakes});

    TShown chosen;
    WithNextDialog([&](TfrmConvertOptions& dialog) {
        dialog.SelectProfile(1);
        dialog.cbxFrameSize->setCurrentIndex(2);
        dialog.rbtConvertToPath->click();
        dialog.edtOutPath->setText(QString::fromStdString(out + "/"));
        emit dialog.edtOutPath->textEdited(dialog.edtOutPath->text());
        dialog.cbxRotation->setCurrentIndex(dialog.cbxRotation->findData(90));
        ASSERT_EQ(dialog.cbxAudioTrack->count(), 2);
        dialog.cbxAudioTrack->setCurrentIndex(1);
        emit dialog.cbxAudioTrack->activated(1);
        chosen = Shown(dialog);
    });
    controller.AddFiles({QString::fromStdString(MakeTwoAudio(folder, 1.0))});
    ASSERT_TRUE(WaitFor([&] { return !controller.Adding(); }));
    ASSERT_EQ(controller.Model().Count(), 1);
    const TJobRecords added = *controller.Model().Row(0)->Options;
    EXPECT_EQ(added.Output.AudioStream, 2) << "the track picked in the dialog is converted";
    EXPECT_TRUE(added.Output.FileName.starts_with(out + "/")) << added.Output.FileName;

    TShown reopened;
    ASSERT_TRUE(controller.CanEdit(0));
    WithNextDialog([&](TfrmConvertOptions& dialog) { reopened = Shown(dialog); });
    controller.Edit(0);
    EXPECT_EQ(reopened, chosen);
    const TJobRecords edited = *controller.Model().Row(0)->Options;
    EXPECT_EQ(edited.Output.FileName, added.Output.FileName);
    EXPECT_EQ(edited.Output.ExtOptions, added.Output.ExtOptions);
    EXPECT_EQ(edited.Input.ExtOptions, added.Input.ExtOptions);
    EXPECT_EQ(edited, added) << "an unchanged edit changes nothing";
}

} // namespace
} // namespace velto::test
