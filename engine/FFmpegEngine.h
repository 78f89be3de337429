// The engine component: the one object through which a program uses the transcoding engine. It
// owns a probe and the task list, starts tasks one or several at a time, and raises log,
// progress, termination and hook events on the thread that produces them (a task's worker, or
// whichever thread the libraries log on). Operations belong to the main thread; the events may
// come on any thread and must not block on the main thread while the component's lock is held.
#pragma once

#include "AVProbe.h"
#include "LogBridge.h"
#include "TaskOptions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
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
    TFFmpeg* FindByThreadID(std::uint32_t threadId) const;

private:
    std::vector<std::unique_ptr<TFFmpeg>> items_;
};

class TCustomFFmpegEngine : public ILibraryLogReceiver {
public:
    TCustomFFmpegEngine();
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
    // Freeing a task stops it and waits for its thread.
    void RemoveTask(int index);
    void ClearTasks();
    int TaskCount() const;
    TFFmpeg* Tasks(int index) const;
    void GetInputOptions(int index, TInputOptions& options) const;
    void GetOutputOptions(int index, TOutputOptions& options) const;

    // Runs the tasks, count at a time; count 0 or less runs them one by one on the main thread
    // from a 100 ms timer of the main-thread dispatcher.
    void StartTasks(int count);
    void StopTasks();
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
    void StartNext();
    void StartTask(int index);
    void SetTaskLogLevel(TFFmpeg& task) const;

    // Serialises the events and the control calls and guards the list and batch counters.
    mutable std::recursive_mutex lock_;
    TFFmpegList tasks_;
    TLogLevel logLevel_ = llInfo;
    int progressInterval_ = 500;
    int NextIndex = -1;
    int ConcurrentTasks = 0;
    int FinishedCount = 0;
    int PendingCount = 0;
    bool batchEnded_ = false;   // the -1 event of this batch has been raised
    int lockDepth_ = 0;         // nesting of lock_ on its holder's thread
    bool clearLogList_ = false; // clear the log list once lock_ is left (registry lock first)
    // Timers of the main-thread runs hold a weak reference: a component gone by then is not used.
    std::shared_ptr<TCustomFFmpegEngine*> self_;
};

class TFFmpegEngine : public TCustomFFmpegEngine {
public:
    static constexpr const char* Version = "2.2c";
};

} // namespace velto
