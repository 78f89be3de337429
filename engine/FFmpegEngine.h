// The engine component: the one object through which a program uses the transcoding engine. It
// owns a probe and the task list, starts tasks one or several at a time, and raises log,
// progress, termination and hook events on the thread that produces them (a task's worker, or
// whichever thread the libraries log on). Events are raised with no lock held, so handlers on
// different threads may run at the same time; a handler must not block on the main thread, but
// may call any operation of the component.
#pragma once

#include "AVProbe.h"
#include "LogBridge.h"
#include "TaskOptions.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velto {

using TBeforeHookEvent =
    std::function<void(int AIndex, std::int64_t APTS, THookAction& AHookAction)>;
using TCustomHookEvent = std::function<void(int AIndex, TBitmap& ABitmap, int AFrameNumber,
                                            std::int64_t APTS, bool& AUpdate, bool& AStopHook)>;
using TLogEvent = std::function<void(int AIndex, TLogLevel ALogLevel, const std::string& AMsg)>;
using TProgressEvent =
    std::function<void(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality,
                       float ABitRate, std::int64_t ACurrentSize, int ATotalOutputDuration)>;
// AResult tells how the job ended (AFinished is AResult == jrFinished, AException AResult ==
// jrFailed); AMessage is the failure or the incomplete reason. Index -1 ends the batch.
using TTerminateEvent = std::function<void(int AIndex, bool AFinished, bool AException,
                                           const std::string& AMessage, TJobResult AResult)>;

// The owned, ordered task list; a task's Index is its position.
class TFFmpegList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    // Raises std::out_of_range for an invalid index.
    TFFmpeg* Items(int index) const;
    int Add(std::unique_ptr<TFFmpeg> task);
    // Takes the task out (later tasks move down) and hands it over; the caller frees it.
    std::unique_ptr<TFFmpeg> Extract(int index);
    std::vector<std::unique_ptr<TFFmpeg>> ExtractAll();
    // Moves a task to another position, renumbering those between.
    void Move(int from, int to);
    TFFmpeg* FindByThreadID(std::uint32_t threadId) const;

private:
    std::vector<std::unique_ptr<TFFmpeg>> items_;
};

// Every operation may be called from any thread, event handlers included: nothing waits for a
// thread while a lock is held, and a task that cannot be freed at once (its thread is the caller,
// or still running) is freed once that thread has ended. A task's OnTerminate comes before the
// next task of the batch starts, and the batch's OnTerminate(-1) after every task's and before
// anything of a batch started later from a thread that may wait. While an OnTerminate handler
// runs, the indices hold against removal and clearing from a thread that may wait (not a task's
// thread, not delivering a library line): those wait for the handler, so that it reads the
// list by index as it was.
class TCustomFFmpegEngine : public ILibraryLogReceiver {
public:
    TCustomFFmpegEngine();
    // Not from an event handler of this component: it waits for every task's thread.
    ~TCustomFFmpegEngine() override;
    TCustomFFmpegEngine(const TCustomFFmpegEngine&) = delete;
    TCustomFFmpegEngine& operator=(const TCustomFFmpegEngine&) = delete;

    std::string About;
    std::string LastError;
    TConvertPriority ThreadPriority = tpNormal;
    bool Preview = false;
    TAVProbe Probe;
    TBeforeHookEvent OnBeforeHook;
    TCustomHookEvent OnCustomHook;
    TLogEvent OnLog;
    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;

    bool LoadLibraries(const std::string& folder, bool versionedNames);
    TLogLevel LogLevel() const { return logLevel_; }
    void SetLogLevel(TLogLevel level);
    int ProgressInterval() const { return progressInterval_; }
    // 100 ms or more.
    void SetProgressInterval(int milliseconds);

    // Index of the new task, or -1 with LastError.
    int AddTask(const std::string& fileName, const TInputOptions* options);
    // False with LastError; the task stays in the list either way. Raises std::out_of_range for
    // an invalid index.
    bool AddOutput(int index, const std::string& fileName, const TOutputOptions* options);
    // Takes the task out of the list and stops it. It is freed at once when nothing uses it, or
    // after waiting for its thread when the caller may wait (not delivering a library line, not
    // a task's thread); otherwise once its thread has ended. A running task taken out still ends
    // the batch in its turn but raises no event of its own: its index is gone.
    void RemoveTask(int index);
    // Moves task from to position to (tasks between move up or down by one). Tasks of a running
    // batch that have not started yet start in their new order.
    void MoveTask(int from, int to);
    void ClearTasks();
    int TaskCount() const;
    TFFmpeg* Tasks(int index) const;
    // The task's identity, which holds while tasks are added, moved and removed; 0 for an index
    // outside the list. Serials are never reused.
    std::uint64_t TaskSerial(int index) const;
    // Where the task with that serial is in the list, -1 once it has gone.
    int TaskIndex(std::uint64_t serial) const;
    // Inside an OnLog, OnProgress or OnTerminate handler: the serial of the task it reports on,
    // since the index it was given can move under it; 0 on any other thread or outside the handler.
    static std::uint64_t ReportingTaskSerial();
    // The task has left the waiting line: about to start, running or ended (false for an index
    // outside the list).
    bool TaskStarted(int index) const;
    void GetInputOptions(int index, TInputOptions& options) const;
    void GetOutputOptions(int index, TOutputOptions& options) const;

    // Runs the tasks, count at a time. Count 0 or less runs them one by one on the main thread:
    // from a 100 ms timer of the main-thread dispatcher, or, without one, inside this call. A
    // call from an event handler or a task's thread cannot run a batch inside itself: there the
    // tasks run one at a time on workers. Every batch that starts with tasks in the list ends
    // with exactly one OnTerminate(-1) once every task it started has ended; a call while a
    // batch runs adds the list's unstarted tasks to it, and returns true; false when no batch
    // was running (a batch that ended may still be raising its final event).
    bool StartTasks(int count);
    void StopTasks();
    // Starts no further task of the running batch: it ends once the tasks already started have.
    // Those that had not started stay in the list unstarted, for a later StartTasks.
    void StopStartingTasks();
    // Turns the preview of every listed task on or off; tasks added later take Preview. Never
    // waits for a task showing a frame.
    void SetTasksPreview(bool on);
    void PauseTasks();
    void ResumeTasks();

protected:
    virtual void DoBeforeHook(TFFmpeg* task, std::int64_t pts, THookAction& action);
    virtual void DoCustomHook(TFFmpeg* task, TBitmap& bitmap, int frameNumber, std::int64_t pts,
                              bool& update, bool& stopHook);
    virtual void DoLog(TFFmpeg* task, int level, const std::string& text);
    virtual void DoProgress(TFFmpeg* task, int frameNumber, int framesPerSecond,
                            int currentDuration, float quality, float bitRate,
                            std::int64_t currentSize, int totalDuration);
    virtual void DoTerminate(TFFmpeg* task);
    void LibraryLogLine(std::uint32_t threadId, int level, const std::string& line) override;

private:
    friend class TEngineLock;
    // What a call decided under the lock and does once it has released it: start workers, set
    // timers, raise the batch's final event.
    struct TDeferred;
    // All of these run under the lock.
    void StartNext(TDeferred& work);
    void PrepareRun(TFFmpeg& task) const;
    void SetTaskLogLevel(TFFmpeg& task) const;
    // Index of a task still in the list, or -1.
    int IndexOf(const TFFmpeg* task) const;
    // Another thread is raising a task's OnTerminate or a batch's final event.
    bool HandlersElsewhere() const;
    // The batch no longer waits for a task that left the list before its run began.
    void Forget(TFFmpeg* task);
    void CheckBatchEnd(TDeferred& work);
    // Without the lock.
    void Finish(TDeferred& work);
    // Joins the ended threads of the tasks that reported before reported (whose thread is the
    // caller's), and keeps reported for the next report: a batch of thousands would otherwise
    // hold every run's thread stack until its list is cleared (24 KiB of memory a job).
    void JoinEarlierRuns(TFFmpeg* reported);
    void StartTask(TFFmpeg* task, TConvertPriority priority, TDeferred& work);
    // Frees now what the caller may wait for; keeps the rest for later.
    void Dispose(std::vector<std::unique_ptr<TFFmpeg>> tasks);
    void FreeRetired();
    // Main-thread runs of a batch asked for without a dispatcher, on the caller's thread.
    void RunInPlace();
    void RunScheduled(std::uint64_t serial);

    // Guards everything below. Taken through TEngineLock only, and never held while a handler
    // runs, a task is started, stopped or freed, or anything is logged, so nothing else is ever
    // waited for with it held but a task's own run-state lock. Lock order of the engine: a task's
    // set-up lock (held by AddOutput), the log registry's lock (see LogBridge.h), then this one,
    // then a task's run-state lock, then CodecLock; today none of them is held while the
    // registry's is taken.
    mutable std::mutex lock_;
    // Signalled when an OnTerminate handler or a batch's final event has been raised.
    std::condition_variable eventsDone_;
    TFFmpegList tasks_;
    TLogLevel logLevel_ = llInfo;
    int progressInterval_ = 500;
    int ConcurrentTasks = 0;
    // The batch: tasks still to start in list order, and the tasks it waits for (started, due
    // on a timer, or set off by Stop to report). Tasks are known by identity, never by index.
    std::deque<TFFmpeg*> pending_;
    std::vector<TFFmpeg*> awaited_;
    // Taken from pending_ and about to be started outside the lock: they will report. Those a
    // pause reached before their worker existed are paused as it is made.
    std::vector<TFFmpeg*> starting_;
    std::vector<TFFmpeg*> pauseOnStart_;
    // Tasks that have reported and may hold a thread that has not been joined yet; each is in
    // tasks_ (a task leaves here when it leaves the list).
    std::vector<TFFmpeg*> endedRuns_;
    // Threads raising a task's OnTerminate, and threads raising a batch's final event.
    std::vector<std::thread::id> reportingThreads_;
    std::vector<std::thread::id> endingThreads_;
    bool batchRunning_ = false;
    bool runningInPlace_ = false;
    std::uint64_t nextSerial_ = 1;
    // Taken out of the list while a thread still used them; freed once it has ended.
    std::vector<std::unique_ptr<TFFmpeg>> retired_;
    // Timers of the main-thread runs hold a weak reference: a component gone by then is not used.
    std::shared_ptr<TCustomFFmpegEngine*> self_;
};

class TFFmpegEngine : public TCustomFFmpegEngine {
public:
    static constexpr const char* Version = "2.2c";
};

} // namespace velto
