// The list kept between runs of the program: every record survives the file, and a program
// killed with SIGKILL in the middle of a batch comes back with its finished jobs finished, the
// one it was converting stopped with its temporary file gone, and the waiting one waiting.
#include "ConvertOptionsModel.h"
#include "MainWindowSupport.h"
#include "QueueFile.h"
#include "Waiting.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QProcess>

#include <csignal>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

// Every field away from its default, so that a field the file forgets shows.
TJobRecords UnusualRecords() {
    TJobRecords job;
    job.Input = {"/in/日本 clip.mkv", "matroska", 1500, 3, "analyzeduration=100"};
    TOutputOptions& o = job.Output;
    o.FileName = "/out/clip_(new).mp4";
    o.FileType = "mp4";
    o.FileFormat = "mp4";
    o.PacketSize = 2048;
    o.MuxRate = 100;
    o.MuxDelay = 0.5f;
    o.MuxPreload = 0.25f;
    o.AudioCodec = "aac";
    o.DisableAudio = true;
    o.Volume = 300;
    o.AudioChannels = 1;
    o.AudioSampleRate = 22050;
    o.AudioBitRate = 64000;
    o.AudioBitRateTolerance = 7;
    o.AudioLanguage = "zho";
    o.AudioSync = 2;
    o.AudioTag = "mp4a";
    o.VideoCodec = "libx264";
    o.DisableVideo = true;
    o.FrameRate = "30000/1001";
    o.FrameSize = "320x240";
    o.AspectRatio = "4:3";
    o.CropTop = 2;
    o.CropBottom = 4;
    o.CropLeft = 6;
    o.CropRight = 8;
    o.PadTop = 10;
    o.PadBottom = 12;
    o.PadLeft = 14;
    o.PadRight = 16;
    o.PadColor = 0xFFEEDDu;
    o.GopSize = 250;
    o.VideoBitRate = 768000;
    o.MaxRate = 900000;
    o.MinRate = 100000;
    o.VideoBitRateTolerance = 9;
    o.BufSize = 1835008;
    o.VideoSync = 1;
    o.VideoTag = "avc1";
    o.VideoFilters = "hflip";
    o.DisableSubtitle = true;
    o.SubtitleLanguage = "eng";
    o.CopyTimestamps = true;
    o.RecordingTime = 60000;
    o.Timestamp = 45000.25;
    o.Year = 2009;
    o.Track = 3;
    o.Title = "标题 \"quoted\"";
    o.Author = "author";
    o.Rights = "rights";
    o.Comment = "line one\nline two";
    o.Album = "album";
    o.Genre = "genre";
    o.Target = 2;
    o.TargetNorm = 1;
    o.TargetFallbackNorm = 2;
    o.CustomHook = true;
    o.BeforeHook = true;
    o.HookRanges = "0-10";
    o.ExtOptions = "pass=2";
    o.KeepUnfinished = false;
    o.NeedsVideoAndAudio = true;
    return job;
}

TEST(QueueFileTest, RecordsAndRowsComeBackAsTheyWereSaved) {
    const TJobRecords job = UnusualRecords();
    TJobRecords back;
    ASSERT_TRUE(RecordsFromJson(RecordsToJson(job), back));
    EXPECT_TRUE(back == job);

    TJobNodeData row;
    row.SourcePath = QString::fromStdString(job.Input.FileName);
    row.OutputPath = QString::fromStdString(job.Output.FileName);
    row.Status = TJobStatus::Incomplete;
    row.Reason = QStringLiteral("source ended at 0:00:06 of 0:00:14");
    row.KeptPath = QStringLiteral("/out/clip_(new).part.mp4");
    row.Percent = 42;
    row.TotalMs = 14000;
    row.CurrentMs = 6000;
    row.SourceBytes = 5'000'000'000LL;
    row.OutputBytes = 123456;
    row.Options = std::make_shared<TJobRecords>(job);
    TDialogChoice choice;
    choice.Profile = 12;
    choice.Selection.FrameSize = 3;
    choice.Selection.KeepAspect = true;
    choice.SameFolder = false;
    choice.FolderText = "/media/卡";
    choice.Overwrite = true;
    choice.Rotation = TRotationChoice::Cw270;
    choice.AudioStream = 2;
    choice.SubtitleMode = TSubtitleMode::Burn;
    row.Choice = std::make_shared<const TDialogChoice>(choice);
    const std::vector<TJobNodeData> rows = QueueFromJson(QueueToJson({row}));
    ASSERT_EQ(rows.size(), 1u);
    const TJobNodeData& r = rows[0];
    EXPECT_EQ(r.SourceName, QStringLiteral("日本 clip.mkv"));
    EXPECT_EQ(r.OutputName, QStringLiteral("clip_(new).mp4"));
    EXPECT_EQ(r.Status, TJobStatus::Incomplete);
    EXPECT_EQ(r.Reason, row.Reason);
    EXPECT_EQ(r.KeptPath, row.KeptPath);
    EXPECT_EQ(r.Percent, 42);
    EXPECT_EQ(r.TotalMs, 14000);
    EXPECT_EQ(r.CurrentMs, 6000);
    EXPECT_EQ(r.SourceBytes, 5'000'000'000LL);
    EXPECT_EQ(r.OutputBytes, 123456);
    EXPECT_EQ(r.TaskSerial, 0u);
    ASSERT_TRUE(r.Options);
    EXPECT_TRUE(*r.Options == job);
    // Editing it later opens the dialog as it was left.
    ASSERT_TRUE(r.Choice);
    EXPECT_EQ(r.Choice->Profile, 12);
    EXPECT_EQ(r.Choice->Selection.FrameSize, 3);
    EXPECT_TRUE(r.Choice->Selection.KeepAspect);
    EXPECT_FALSE(r.Choice->SameFolder);
    EXPECT_EQ(r.Choice->FolderText, "/media/卡");
    EXPECT_TRUE(r.Choice->Overwrite);
    EXPECT_EQ(r.Choice->Rotation, TRotationChoice::Cw270);
    EXPECT_EQ(r.Choice->AudioStream, 2);
    EXPECT_EQ(r.Choice->SubtitleMode, TSubtitleMode::Burn);
}

TEST(QueueFileTest, DamagedOrStrangeFilesGiveWhatCanBeReadAndNeverCrash) {
    QString error;
    EXPECT_TRUE(QueueFromJson("{\"version\": 1, \"jobs\": [", &error).empty());
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_TRUE(QueueFromJson("{\"version\": 99, \"jobs\": []}", &error).empty());
    EXPECT_FALSE(error.isEmpty());
    // A row without a source, one with an unknown status and values of the wrong kinds.
    const QByteArray odd = R"({"version": 1, "jobs": [
        {"output": "/o.mp4", "status": "finished"},
        {"source": "/s.avi", "output": "/o.mp4", "status": "exploded"},
        {"source": "/s.avi", "output": "/o.mp4", "status": "failed", "percent": 1e300,
         "total_ms": -5, "records": {"input": {"FileName": 7}, "output": {"FileName": "/o.mp4",
         "VideoBitRate": 1e99, "AudioChannels": 2.5, "DisableAudio": "yes"}},
         "choice": {"rotation": 45, "subtitles": 9, "audio_stream": -7, "same_folder": false}},
        7, null]})";
    const std::vector<TJobNodeData> rows = QueueFromJson(odd, &error);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Status, TJobStatus::Failed);
    EXPECT_GE(rows[0].Percent, 0);
    EXPECT_LE(rows[0].Percent, 100);
    EXPECT_EQ(rows[0].TotalMs, 0);
    EXPECT_FALSE(rows[0].Options) << "records without a source cannot be run again";
    ASSERT_TRUE(rows[0].Choice);
    EXPECT_EQ(rows[0].Choice->Rotation, TRotationChoice::Auto);
    EXPECT_EQ(rows[0].Choice->SubtitleMode, TSubtitleMode::Auto);
    EXPECT_EQ(rows[0].Choice->AudioStream, -1);
    EXPECT_TRUE(rows[0].Choice->SameFolder) << "no folder was saved to convert into";

    TJobRecords job;
    ASSERT_TRUE(RecordsFromJson(
        QJsonDocument::fromJson(R"({"input": {"FileName": "/s.avi"}, "output": {"FileName":
            "/o.mp4", "VideoBitRate": 1e99, "AudioChannels": 2.5, "DisableAudio": "yes"}})")
            .object(),
        job));
    EXPECT_EQ(job.Output.VideoBitRate, -1);
    EXPECT_EQ(job.Output.AudioChannels, -1);
    EXPECT_FALSE(job.Output.DisableAudio);
}

TEST(QueueFileTest, SavingReplacesTheFileWholeAndLeftoversOfACutRunAreFound) {
    const std::string folder = ScratchFolder();
    const QString file = QString::fromStdString(folder + "/state/queue.json");
    TJobNodeData row;
    row.SourcePath = QStringLiteral("/s.avi");
    row.OutputPath = QStringLiteral("/o.mp4");
    QString error;
    ASSERT_TRUE(SaveQueueFile(file, {row, row}, error)) << error.toStdString();
    ASSERT_TRUE(SaveQueueFile(file, {row}, error)) << error.toStdString();
    EXPECT_EQ(LoadQueueFile(file, error).size(), 1u);
    EXPECT_EQ(QDir(QString::fromStdString(folder + "/state")).entryList(QDir::Files | QDir::Hidden),
              QStringList({"queue.json"}))
        << "no temporary file is left beside it";
    EXPECT_TRUE(LoadQueueFile(QString::fromStdString(folder + "/none.json"), error).empty());
    EXPECT_TRUE(error.isEmpty());

    // Only the engine's hidden temporary files of that output go.
    const std::string out = folder + "/clip_[1].mp4";
    for (const std::string name : {"/.clip_[1].mp4.velto-0000abcd0001", "/.clip_[1].mp4.velto-2",
                                   "/.clip_[2].mp4.velto-1", "/clip_[1].part.mp4"})
        std::ofstream(folder + name) << "x";
    EXPECT_EQ(RemoveRunLeftovers(QString::fromStdString(out)), 2);
    EXPECT_TRUE(fs::exists(folder + "/.clip_[2].mp4.velto-1"));
    EXPECT_TRUE(fs::exists(folder + "/clip_[1].part.mp4"));
}

// The program's run that is killed: set by the test below for its child process only.
constexpr const char* kChildStateKey = "VELTO_QUEUE_CHILD_STATE";
constexpr const char* kChildFilesKey = "VELTO_QUEUE_CHILD_FILES";
constexpr const char* kChildOutputsKey = "VELTO_QUEUE_CHILD_OUTPUTS";

TEST_F(MainWindowTest, QueueChildRunUntilKilled) {
    if (!qEnvironmentVariableIsSet(kChildStateKey))
        GTEST_SKIP() << "run only as the child of QueueComesBackAfterTheProgramIsKilled";
    window.reset();
    qputenv("XDG_STATE_HOME", qgetenv(kChildStateKey));
    Settings("OpenFolderWhenDone=0\nSimultaneousJobs=1\n");
    fakes.folder = qEnvironmentVariable(kChildOutputsKey).toStdString();
    // At the clips' own pace: converted faster, the two-minute job could end before the kept
    // list said it was running.
    fakes.inputOptions = "re";
    window = std::make_unique<TfrmMain>(
        paths, TMainServices{&fakes, &fakes, &fakes, &fakes, &fakes, &fakes, &fakes});
    AddFiles(qEnvironmentVariable(kChildFilesKey).split(QLatin1Char('\n')));
    window->actStart->trigger();
    // Converts until the parent kills the process.
    WaitFor([] { return false; }, 600000);
    ADD_FAILURE() << "the child was not killed";
}

TEST_F(MainWindowTest, QueueComesBackAfterTheProgramIsKilled) {
    const QStringList sources = {Clips(1, 1.0, "short")[0], Clips(1, 120.0, "long")[0],
                                 Clips(1, 1.0, "waiting")[0]};
    const QString state = QString::fromStdString(folder + "/child-state");
    const QString queue = state + QStringLiteral("/Velto3GPConverter/queue.json");
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildStateKey), state);
    environment.insert(QString::fromLatin1(kChildFilesKey), sources.join(QLatin1Char('\n')));
    environment.insert(QString::fromLatin1(kChildOutputsKey), QString::fromStdString(folder));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=MainWindowTest.QueueChildRunUntilKilled")});
    ASSERT_TRUE(child.waitForStarted(30000));

    // Killed once the first job has finished and the second is converting into its temporary
    // file, as the kept list says.
    const std::string temp = "." + std::string("out1.avi") + ".velto-";
    auto statusOf = [&](int row) {
        QFile file(queue);
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        const QJsonArray jobs =
            QJsonDocument::fromJson(file.readAll()).object().value("jobs").toArray();
        return jobs.size() == 3 ? jobs[row].toObject().value("status").toString() : QString();
    };
    auto converting = [&] {
        bool writing = false;
        for (const auto& entry : fs::directory_iterator(folder))
            writing |= entry.path().filename().string().starts_with(temp) &&
                       fs::file_size(entry.path()) > 0;
        return writing && statusOf(0) == "finished" && statusOf(1) == "running";
    };
    ASSERT_TRUE(WaitUntil(converting)) << statusOf(0).toStdString() << statusOf(1).toStdString();
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    const auto finishedAt = fs::last_write_time(folder + "/out0.avi");

    // The program starts again with the same state folder.
    window.reset();
    qputenv("XDG_STATE_HOME", state.toUtf8());
    Settings("OpenFolderWhenDone=0\nSimultaneousJobs=1\n");
    fakes.outputs = 100; // a new job would be named out100: none may be asked for
    window = std::make_unique<TfrmMain>(
        paths, TMainServices{&fakes, &fakes, &fakes, &fakes, &fakes, &fakes, &fakes});
    ASSERT_EQ(Controller().Model().Count(), 3) << window->mmoLog->toPlainText().toStdString();
    EXPECT_TRUE(Controller().ListVisible());
    EXPECT_EQ(Row(0).Status, TJobStatus::Finished);
    EXPECT_EQ(Row(0).Text(4), "100%");
    EXPECT_EQ(Row(1).Status, TJobStatus::Stopped);
    EXPECT_FALSE(Row(1).Reason.isEmpty());
    // Its saved figures described a file that is gone.
    EXPECT_EQ(Row(1).Text(4), "");
    EXPECT_EQ(Row(1).OutputBytes, 0);
    EXPECT_EQ(Row(2).Status, TJobStatus::Queued);
    EXPECT_EQ(Row(1).SourcePath, sources[1]);
    EXPECT_EQ(Row(2).OutputName, "out2.avi");
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_FALSE(entry.path().filename().string().starts_with(temp)) << entry.path();
    EXPECT_FALSE(fs::exists(folder + "/out1.avi"));
    EXPECT_TRUE(window->actStart->isEnabled());

    // Start runs only the waiting job: the finished one is never converted again.
    window->actStart->trigger();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Row(0).Status, TJobStatus::Finished);
    EXPECT_EQ(Row(1).Status, TJobStatus::Stopped);
    EXPECT_EQ(Row(2).Status, TJobStatus::Finished);
    EXPECT_EQ(fs::last_write_time(folder + "/out0.avi"), finishedAt);
    EXPECT_TRUE(fs::exists(folder + "/out2.avi"));
    EXPECT_EQ(fakes.outputs, 100);
    // The list is written from a thread of its own, a moment after the change.
    EXPECT_TRUE(WaitFor([&] { return statusOf(2) == "finished"; }))
        << "the end of the run is kept too";
    // The stopped job can be put back in the queue with the records it was added with.
    Select(1);
    EXPECT_TRUE(window->actRunAgain->isEnabled());
}

} // namespace
} // namespace velto::test
