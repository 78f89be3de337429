// The decisions behind the conversion list and the run buttons: adding, removing and clearing
// jobs, starting, stopping, pausing and resuming the batch, running failed jobs again, the
// enabled state of the list and run actions, each row's status, and what happens when a job
// ends. Plain logic over the engine and the list model; the main window binds it to widgets.
// Public members belong to the GUI thread; the engine's events arrive on workers and are copied
// and posted here.
#pragma once

#include "AppPaths.h"
#include "BatchDesktop.h"
#include "BatchProgress.h"
#include "FFmpegEngine.h"
#include "JobBuilder.h"
#include "JobListModel.h"
#include "PlatformServices.h"
#include "ProbePool.h"
#include "TaskOptions.h"

#include <QElapsedTimer>
#include <QLockFile>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <atomic>
#include <deque>
#include <memory>
#include <set>
#include <unordered_map>

namespace velto {

class TQueueWriter;

// What moves the list and run actions from one state to the next.
enum class TActionEvent {
    Created,
    Added,
    Cleared,
    Removed,
    Started,
    StopRequested,
    StopAfterRequested,
    Paused,
    Resumed,
    RunEnded
};

struct TActionStates {
    bool Add = true;
    bool Remove = false;
    bool Clear = false;
    bool Start = false;
    bool Stop = false;
    bool StopAfter = false;
    bool Pause = false;
    bool Resume = false;

    // rowCount decides Remove, Clear and Start after a removal.
    void Apply(TActionEvent event, int rowCount);
};

struct TJobServices {
    IFileChooser* Files = nullptr;
    IOutputFormatChooser* Formats = nullptr;
    IMessageBox* Messages = nullptr;
    IShell* Shell = nullptr;
    IPowerOff* Power = nullptr;
    // Sleep inhibitor, notifications and the power-off countdown; none without a session.
    IDesktopSession* Desktop = nullptr;
    IPowerOffCountdownView* Countdown = nullptr;
    int PowerOffCountdownSeconds = 60;
    int CountdownTickMs = 1000;
    // Where the list is kept between runs of the program; empty: it is not kept.
    QString QueueFile{};
};

// The row status a job's result gives.
TJobStatus JobStatusOf(TJobResult result);

class TJobController : public QObject {
    Q_OBJECT
public:
    // Libraries are bound from paths.LibrariesFolder; job-end options come from paths.SettingsFile.
    TJobController(TFFmpegEngine& engine, TAppPaths paths, TJobServices services,
                   QObject* parent = nullptr);
    ~TJobController() override;

    TJobListModel& Model() { return model_; }
    const TActionStates& Actions() const { return actions_; }
    const QStringList& Log() const { return log_; }
    bool ListVisible() const { return listVisible_; }
    // From Start until the end of the run.
    bool Running() const { return running_; }
    bool CanRunAgain() const;
    TBatchFigures BatchFigures() const;
    TBatchDesktop& Desktop() { return *desktop_; }

    // Asks for files with the file chooser, then adds them as AddFiles does.
    void Add();
    // Asks for a folder, then adds its media files as AddFiles does.
    void AddFolder();
    // Files and folders (their media files) from Add or a drop. The files are probed off this
    // thread and their rows appear as their probes end, in the order given; the output format
    // is asked once for the lot, when the first readable file is known; every file that could
    // not be added is told in one message naming it and the reason, once all are through.
    void AddFiles(const QStringList& paths);
    // Files given to AddFiles are still being probed or added; Start waits for them.
    bool Adding() const { return !groups_.empty(); }
    // row is the selected row, -1 for none. During a run only rows not converting can go.
    void Remove(int row);
    bool CanRemoveDuringRun(int row) const;
    // The waiting row step (-1 up, 1 down) past the rows that are not waiting, -1 for none.
    int MoveTarget(int row, int step) const;
    // Moves a waiting job before or after the next waiting one, also during a run: waiting jobs
    // start in the list's order. The row's new position, or -1 when it did not move.
    int MoveWaiting(int row, int step);
    // A waiting job dragged onto row target: it takes the place of the waiting row nearest to
    // target on its way there. The row's new position, or -1 when it did not move.
    int MoveWaitingTo(int row, int target);
    void Clear();
    void Start();
    void Stop();
    // Starts no further job: the run ends with the ones converting, the rest stays waiting.
    void StopAfterCurrent();
    void Pause();
    void Resume();
    // A waiting job outside a run can have its output format chosen again.
    bool CanEdit(int row) const;
    // Asks the output format for the job's source again (the same question as Add) and puts the
    // new job in the row's place; the old one is dropped only once the new one is accepted.
    void Edit(int row);
    // Puts failed and stopped jobs back in the queue: the given rows, or all such rows for an
    // empty list. Only outside a run.
    void RunAgain(const QList<int>& rows = {});
    void OpenOutputFolder(int row);
    void Play(int row);
    // Quitting while jobs run: they stop as Stop makes them, without opening folders or
    // showing boxes; RunEnded follows.
    void StopForQuit();
    // The program is ending: no job's end is handled any more and every job stops.
    void Shutdown();
    // Diagnostics go to the log between two empty lines.
    void LogMessage(const QString& message);
    // Brings back the list the last run of the program kept. Finished and ended jobs come back
    // as they ended; a job that was converting when the program ended comes back stopped, its
    // temporary file removed; waiting jobs wait again. Once, before anything is added.
    void RestoreQueue();

signals:
    void ActionsChanged();
    void ListVisibleChanged(bool visible);
    void LogAppended(const QString& line);
    void LogCleared();
    // A job reported progress: its row wants scrolling into view.
    void RowActive(int row);
    // The output folder was opened: the window comes back to the front.
    void RaiseRequested();
    void RunEnded();

private:
    // A progress report, on the GUI thread: the row of that task and its figures.
    void ShowProgress(std::uint64_t task, int fps, int currentDuration, std::int64_t currentSize,
                      int totalDuration);
    struct TEnded {
        int Index; // -1: the batch ended
        std::uint64_t Task;
        TJobResult Result;
        QString Message;
        QString Source;
        QString Output;
    };
    // The files of one AddFiles call: one format question and one message of failures.
    struct TAddGroup {
        QStringList Files;
        std::uint64_t First = 0; // the probe pool's tickets of the files: [First, End)
        std::uint64_t End = 0;
        QStringList Failures;
        bool Asked = false;
        bool Refused = false;        // the question was cancelled: the rest is dropped
        std::set<std::string> Notes; // logged for the group already
    };
    bool LoadLibraries();
    // Whether the output folders hold what the queued jobs are forecast to write, or the user
    // starts anyway when asked.
    bool RoomForRun();
    // Pauses the run, once, when the jobs being written would fill their folder at the pace
    // they write, before any fails at its last byte.
    void WatchRoomWhileWriting();
    // The run's final report: the figures, the desktop's services, and the queue for the next.
    void BatchEnded();
    // Outcomes handed over by the probe pool, in order; handled a slice at a time.
    void Probed(std::vector<TProbeOutcome> outcomes);
    void ScheduleAdding();
    void AddArrived();
    void TakeOutcome(TAddGroup& group, const TProbeOutcome& outcome);
    void FinishGroup();
    // Files not yet added are dropped (Clear).
    void CancelAdding();
    void ShowFailures(const QStringList& failures);
    // Adds one probed file with the records the format chooser built; false with reason.
    bool AddJob(const std::shared_ptr<const TJobRecords>& job, TJobNodeData row, QString& reason);
    // The engine task for a row's records; -1 with reason.
    // The new task's serial, or 0 with the reason.
    std::uint64_t CreateTask(const TJobRecords& job, QString& reason);
    void SetState(TActionEvent event);
    // How many jobs run at once, from the preference, read afresh.
    int JobsAtOnce() const;
    // Queued jobs made during a run join it.
    void JoinRun();
    // Frees the engine task of an ended row; the other rows' task numbers follow.
    void ReleaseEndedTask(int row);
    void SetListVisible(bool visible);
    // Time spent paused in this run.
    std::int64_t PausedMs() const;
    void AppendLog(const QString& line);
    void JobEnded(const TEnded& ended);
    // The sources and outputs of the listed jobs, but the output of the row given.
    TTakenPaths TakenPaths(int exceptOutputOf) const;
    // All of them, kept between calls: rows appended since are added, any other change of the
    // list builds it afresh. Thousands of files added would otherwise cost the square.
    const TTakenPaths& TakenPaths() const;
    const std::string& NormalPath(const QString& path) const;
    // Puts the engine's tasks in the order of their rows.
    void SyncTaskOrder();
    int PlaceWaiting(int row, int target);
    // Hands the list to the queue file's writer, if there is one; a failure is logged once.
    void SaveQueue();
    void QueueSaved(const QString& error);
    TBatchOutcome BatchOutcome() const;

    TFFmpegEngine& engine_;
    TAppPaths paths_;
    TJobServices services_;
    TJobListModel model_;
    TActionStates actions_;
    QStringList log_;
    bool listVisible_ = false;
    bool running_ = false;
    bool quitting_ = false;
    // Run time without pauses.
    QElapsedTimer runClock_;
    QElapsedTimer pauseClock_;
    std::int64_t pausedMs_ = 0;
    bool watchRoom_ = false;
    // Paths of the list in the form names are compared in, worked out once each.
    mutable std::unordered_map<QString, std::string> normalPaths_;
    mutable TTakenPaths taken_;
    // Rows taken_ holds, from the first; -1 when it must be built afresh.
    mutable int takenRows_ = -1;
    QElapsedTimer roomChecked_;
    std::int64_t finalElapsedMs_ = 0;
    // Output folders opened in this batch: each opens once, however many jobs end there.
    QSet<QString> openedFolders_;
    std::unique_ptr<TBatchDesktop> desktop_;
    bool stopRequested_ = false;
    // Final reports of batches that ended just before jobs were added; they do not end the run.
    int staleBatchEnds_ = 0;
    bool lastEndedFinished_ = false;
    QString lastFinishedFolder_;
    QString queueFile_;
    std::unique_ptr<QLockFile> queueLock_;
    std::unique_ptr<TQueueWriter> queueWriter_;
    bool queueErrorLogged_ = false;
    std::unique_ptr<TProbePool> probes_;
    std::deque<TAddGroup> groups_;
    std::deque<TProbeOutcome> arrived_;
    // Outcomes of tickets below this belong to a cancelled add.
    std::uint64_t firstWanted_ = 0;
    bool addScheduled_ = false;
    bool queueUnsaved_ = false;
    QElapsedTimer sinceSaved_;
    // The format question is open (it runs an event loop of its own).
    bool asking_ = false;
    // Read by the engine's handlers on workers: set once the program is ending.
    std::atomic<bool> closing_{false};
};

} // namespace velto
