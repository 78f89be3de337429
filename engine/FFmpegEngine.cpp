// The engine component: task list, batch start and control, and the events of its tasks.
#include "FFmpegEngine.h"

#include "LibraryBinding.h"
#include "MainThreadDispatcher.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace velto {

namespace {

// The caller may wait for a task's thread: it is not delivering a library line (a codec's own
// thread may be one the task's worker waits for), and it is not itself running a task.
bool MayWait() {
    return !LogRegistryHeldByThisThread() && !TCustomFFmpeg::TaskOfThisThread();
}

bool Contains(const std::vector<TFFmpeg*>& tasks, const TFFmpeg* task) {
    return std::find(tasks.begin(), tasks.end(), task) != tasks.end();
}

bool Erase(std::vector<TFFmpeg*>& tasks, const TFFmpeg* task) {
    const auto at = std::find(tasks.begin(), tasks.end(), task);
    if (at == tasks.end())
        return false;
    tasks.erase(at);
    return true;
}

// Some thread other than the caller is listed.
bool OtherThreadIn(const std::vector<std::thread::id>& threads) {
    const std::thread::id self = std::this_thread::get_id();
    return std::any_of(threads.begin(), threads.end(),
                       [self](std::thread::id thread) { return thread != self; });
}

void EraseOne(std::vector<std::thread::id>& threads) {
    const auto at = std::find(threads.begin(), threads.end(), std::this_thread::get_id());
    if (at != threads.end())
        threads.erase(at);
}

template <typename T> std::shared_ptr<const T> OptionalRecord(const T* record) {
    return record ? std::make_shared<const T>(*record) : nullptr;
}

// Runs the steps Add took again on a task that holds no files, from fresh option defaults; the
// log level the engine gave the task is kept.
void ReopenFiles(TFFmpeg& task) {
    const int verbosity = task.Settings.Verbosity;
    task.InitOptions();
    task.Settings.Verbosity = verbosity;
    for (const auto& step : task.SetUpSteps)
        step(task);
}

// Closes what the checks at Add opened and frees the option state: the job waits holding only
// its records and opens its files again when it runs.
void ParkFiles(TFFmpeg& task) {
    task.ReleaseFiles();
    const int verbosity = task.Settings.Verbosity;
    task.ResetOptionState();
    task.Settings.Verbosity = verbosity;
    task.OpenFilesForRun = [&task] { ReopenFiles(task); };
}

} // namespace

// The component's lock. It is a leaf in practice: nothing is called with it held that takes
// another lock but a task's run-state lock (see the lock order in FFmpegEngine.h).
class TEngineLock {
public:
    explicit TEngineLock(const TCustomFFmpegEngine& engine) : guard_(engine.lock_) {}
    TEngineLock(const TEngineLock&) = delete;
    TEngineLock& operator=(const TEngineLock&) = delete;
    // For waiting on the component's condition variable.
    std::unique_lock<std::mutex>& Guard() { return guard_; }

private:
    std::unique_lock<std::mutex> guard_;
};

struct TCustomFFmpegEngine::TDeferred {
    struct TStart {
        TFFmpeg* task;
        TConvertPriority priority;
        TTaskUse use; // keeps the task until its worker holds it
    };
    std::deque<TStart> starts;
    std::vector<std::uint64_t> timers;           // serials of main-thread runs due in 100 ms
    IMainThreadDispatcher* dispatcher = nullptr; // the one the timers go to
    bool batchEnded = false;
    TTerminateEvent finalHandler;
};

TFFmpeg* TFFmpegList::Items(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<size_t>(index)].get();
}

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> task) {
    task->Index = Count();
    items_.push_back(std::move(task));
    return items_.back()->Index;
}

std::unique_ptr<TFFmpeg> TFFmpegList::Extract(int index) {
    Items(index);
    std::unique_ptr<TFFmpeg> task = std::move(items_[static_cast<size_t>(index)]);
    items_.erase(items_.begin() + index);
    for (int i = index; i < Count(); ++i)
        items_[static_cast<size_t>(i)]->Index = i;
    return task;
}

void TFFmpegList::Move(int from, int to) {
    Items(from);
    Items(to);
    auto first = items_.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else if (from > to)
        std::rotate(first + to, first + from, first + from + 1);
    for (int i = std::min(from, to); i <= std::max(from, to); ++i)
        items_[static_cast<size_t>(i)]->Index = i;
}

std::vector<std::unique_ptr<TFFmpeg>> TFFmpegList::ExtractAll() {
    return std::move(items_);
}

TFFmpeg* TFFmpegList::FindByThreadID(std::uint32_t threadId) const {
    for (const auto& task : items_) {
        if (task->ThreadID.load() == threadId)
            return task.get();
    }
    return nullptr;
}

TCustomFFmpegEngine::TCustomFFmpegEngine() : self_(std::make_shared<TCustomFFmpegEngine*>(this)) {
    RegisterLogReceiver(this);
}

TCustomFFmpegEngine::~TCustomFFmpegEngine() {
    // Returns once no library line is being delivered to this component.
    UnregisterLogReceiver(this);
    std::vector<std::unique_ptr<TFFmpeg>> tasks;
    {
        // A dying component raises no more events.
        TEngineLock guard(*this);
        OnBeforeHook = nullptr;
        OnCustomHook = nullptr;
        OnLog = nullptr;
        OnProgress = nullptr;
        OnTerminate = nullptr;
        pending_.clear();
        // A worker still reporting must not reach for a task freed below.
        endedRuns_.clear();
        batchRunning_ = false;
        tasks = tasks_.ExtractAll();
        for (auto& task : retired_)
            tasks.push_back(std::move(task));
        retired_.clear();
    }
    for (auto& task : tasks)
        task->Stop();
    self_.reset();
    // Each task waits for its threads, whose reports need the lock.
    tasks.clear();
}

bool TCustomFFmpegEngine::LoadLibraries(const std::string& folder, bool versionedNames) {
    if (!velto::LoadLibraries(folder, versionedNames)) {
        LastError = LibraryError();
        return false;
    }
    InstallLogCallback(static_cast<int>(logLevel_) - 1);
    return true;
}

void TCustomFFmpegEngine::SetLogLevel(TLogLevel level) {
    logLevel_ = level;
    if (LibrariesLoaded())
        SetLibraryLogLevel(static_cast<int>(level) - 1);
}

void TCustomFFmpegEngine::SetProgressInterval(int milliseconds) {
    progressInterval_ = milliseconds <= 100 ? 100 : milliseconds;
}

void TCustomFFmpegEngine::SetTaskLogLevel(TFFmpeg& task) const {
    if (LibrariesLoaded())
        task.SetOption("v", std::to_string(static_cast<int>(logLevel_) - 1));
}

int TCustomFFmpegEngine::AddTask(const std::string& fileName, const TInputOptions* options) {
    FreeRetired();
    auto task = std::make_unique<TFFmpeg>();
    try {
        task->LogSink = [this](TCustomFFmpeg* t, int level, const std::string& text) {
            DoLog(static_cast<TFFmpeg*>(t), level, text);
        };
        task->ResetState();
        SetTaskLogLevel(*task);
        task->SetPreview(Preview);
        std::function<void(TFFmpeg&)> step = [fileName,
                                              record = OptionalRecord(options)](TFFmpeg& t) {
            if (record) {
                TInputOptions applied = *record;
                ApplyInputRecord(t, fileName, applied);
            } else {
                t.InputOptions = TInputOptions{};
            }
            t.OpenInputFile(fileName);
        };
        step(*task);
        task->SetUpSteps.push_back(std::move(step));
    } catch (const std::exception& error) {
        task->LogSink = nullptr;
        LastError = error.what();
        return -1;
    }
    task->ProgressSink = [this](TCustomFFmpeg* t, int frameNumber, int fps, int duration,
                                float quality, float bitRate, std::int64_t size, int total) {
        DoProgress(static_cast<TFFmpeg*>(t), frameNumber, fps, duration, quality, bitRate, size,
                   total);
    };
    task->TerminateSink = [this](TCustomFFmpeg* t) { DoTerminate(static_cast<TFFmpeg*>(t)); };
    TEngineLock guard(*this);
    task->Serial = nextSerial_++;
    return tasks_.Add(std::move(task));
}

bool TCustomFFmpegEngine::AddOutput(int index, const std::string& fileName,
                                    const TOutputOptions* options) {
    TFFmpeg* task = nullptr;
    TTaskUse use;
    {
        TEngineLock guard(*this);
        task = tasks_.Items(index);
        // A handler on a worker may remove the task meanwhile: it is not freed before this ends.
        use = TTaskUse(*task);
    }
    // Without the lock: opening the output logs, and the log event takes the lock. A start of
    // the task on another thread waits for the set-up.
    std::string error;
    const TCustomFFmpeg::TSetUp setUp(*task);
    // A waiting job given a further output opens its files again for the checks.
    const bool wasParked = static_cast<bool>(task->OpenFilesForRun);
    try {
        if (wasParked)
            ReopenFiles(*task);
        std::function<void(TFFmpeg&)> step = [this, fileName,
                                              record = OptionalRecord(options)](TFFmpeg& t) {
            if (record) {
                TOutputOptions applied = *record;
                ApplyOutputRecord(
                    t, fileName, applied,
                    [this](TFFmpeg* hooked, TBitmap& bitmap, int frameNumber, std::int64_t pts,
                           bool& update, bool& stopHook) {
                        DoCustomHook(hooked, bitmap, frameNumber, pts, update, stopHook);
                    },
                    [this](TFFmpeg* hooked, std::int64_t pts, THookAction& action) {
                        DoBeforeHook(hooked, pts, action);
                    });
            } else {
                t.OutputOptions = TOutputOptions{};
            }
            t.OpenOutputFile(fileName);
        };
        step(*task);
        task->SetUpSteps.push_back(std::move(step));
        ParkFiles(*task);
        return true;
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    if (wasParked)
        ParkFiles(*task);
    TEngineLock guard(*this);
    LastError = error;
    return false;
}

void TCustomFFmpegEngine::RemoveTask(int index) {
    std::vector<std::unique_ptr<TFFmpeg>> removed;
    TDeferred work;
    {
        TEngineLock guard(*this);
        // A handler of an end being raised on another thread may read the list by index.
        if (MayWait())
            eventsDone_.wait(guard.Guard(), [this] { return !HandlersElsewhere(); });
        removed.push_back(tasks_.Extract(index));
        Forget(removed.back().get());
        CheckBatchEnd(work);
    }
    removed.back()->Stop();
    Finish(work);
    Dispose(std::move(removed));
}

void TCustomFFmpegEngine::MoveTask(int from, int to) {
    TEngineLock guard(*this);
    // A handler of an event being raised on another thread may read the list by index.
    if (MayWait())
        eventsDone_.wait(guard.Guard(), [this] { return !HandlersElsewhere(); });
    tasks_.Move(from, to);
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const TFFmpeg* a, const TFFmpeg* b) { return a->Index < b->Index; });
}

void TCustomFFmpegEngine::ClearTasks() {
    std::vector<std::unique_ptr<TFFmpeg>> removed;
    TDeferred work;
    {
        TEngineLock guard(*this);
        if (MayWait())
            eventsDone_.wait(guard.Guard(), [this] { return !HandlersElsewhere(); });
        removed = tasks_.ExtractAll();
        LastError.clear();
        ConcurrentTasks = 0;
        for (auto& task : removed)
            Forget(task.get());
        CheckBatchEnd(work);
    }
    for (auto& task : removed)
        task->Stop();
    Finish(work);
    Dispose(std::move(removed));
}

void TCustomFFmpegEngine::Forget(TFFmpeg* task) {
    pending_.erase(std::remove(pending_.begin(), pending_.end(), task), pending_.end());
    Erase(pauseOnStart_, task);
    Erase(endedRuns_, task);
    // Due on a timer but not begun: no report will come. A task being started, running or
    // reporting still reports.
    if (!Contains(starting_, task) && !task->ReportDue())
        Erase(awaited_, task);
}

void TCustomFFmpegEngine::Dispose(std::vector<std::unique_ptr<TFFmpeg>> tasks) {
    if (!MayWait()) {
        std::vector<std::unique_ptr<TFFmpeg>> later;
        for (auto& task : tasks) {
            if (task->ThreadsActive())
                later.push_back(std::move(task));
        }
        if (!later.empty()) {
            TEngineLock guard(*this);
            for (auto& task : later)
                retired_.push_back(std::move(task));
        }
    }
    // What is left either has no thread or may be waited for here.
    tasks.clear();
    FreeRetired();
}

void TCustomFFmpegEngine::FreeRetired() {
    std::vector<std::unique_ptr<TFFmpeg>> done;
    {
        TEngineLock guard(*this);
        for (auto& task : retired_) {
            if (!task->ThreadsActive())
                done.push_back(std::move(task));
        }
        retired_.erase(std::remove(retired_.begin(), retired_.end(), nullptr), retired_.end());
    }
    done.clear();
}

int TCustomFFmpegEngine::TaskCount() const {
    TEngineLock guard(*this);
    return tasks_.Count();
}

TFFmpeg* TCustomFFmpegEngine::Tasks(int index) const {
    TEngineLock guard(*this);
    return tasks_.Items(index);
}

std::uint64_t TCustomFFmpegEngine::TaskSerial(int index) const {
    TEngineLock guard(*this);
    return index >= 0 && index < tasks_.Count() ? tasks_.Items(index)->Serial : 0;
}

int TCustomFFmpegEngine::TaskIndex(std::uint64_t serial) const {
    TEngineLock guard(*this);
    for (int i = 0; serial != 0 && i < tasks_.Count(); ++i)
        if (tasks_.Items(i)->Serial == serial)
            return i;
    return -1;
}

namespace {

thread_local std::uint64_t reportingSerial = 0;

// The task a handler reports on, for as long as the handler runs.
class TReportingTask {
public:
    explicit TReportingTask(std::uint64_t serial) : outer_(reportingSerial) {
        reportingSerial = serial;
    }
    ~TReportingTask() { reportingSerial = outer_; }
    TReportingTask(const TReportingTask&) = delete;
    TReportingTask& operator=(const TReportingTask&) = delete;

private:
    std::uint64_t outer_;
};

} // namespace

std::uint64_t TCustomFFmpegEngine::ReportingTaskSerial() {
    return reportingSerial;
}

bool TCustomFFmpegEngine::TaskStarted(int index) const {
    TEngineLock guard(*this);
    const TFFmpeg* task = index >= 0 && index < tasks_.Count() ? tasks_.Items(index) : nullptr;
    return task && (Contains(awaited_, task) || task->Running() || task->Terminated());
}

void TCustomFFmpegEngine::GetInputOptions(int index, TInputOptions& options) const {
    TEngineLock guard(*this);
    options = tasks_.Items(index)->InputOptions;
}

void TCustomFFmpegEngine::GetOutputOptions(int index, TOutputOptions& options) const {
    TEngineLock guard(*this);
    options = tasks_.Items(index)->OutputOptions;
}

bool TCustomFFmpegEngine::HandlersElsewhere() const {
    return OtherThreadIn(reportingThreads_) || OtherThreadIn(endingThreads_);
}

int TCustomFFmpegEngine::IndexOf(const TFFmpeg* task) const {
    if (!task || task->Index < 0 || task->Index >= tasks_.Count() ||
        tasks_.Items(task->Index) != task)
        return -1;
    return task->Index;
}

bool TCustomFFmpegEngine::StartTasks(int count) {
    FreeRetired();
    const bool mayWait = MayWait();
    ClearLogList();
    TDeferred work;
    bool inPlace = false;
    bool joined = false;
    {
        TEngineLock guard(*this);
        // The final event of a batch that has just ended comes before anything of a new one.
        if (mayWait)
            eventsDone_.wait(guard.Guard(), [this] { return !OtherThreadIn(endingThreads_); });
        if (tasks_.Count() == 0)
            return false;
        joined = batchRunning_;
        ConcurrentTasks = count;
        batchRunning_ = true;
        pending_.clear();
        for (int i = 0; i < tasks_.Count(); ++i) {
            TFFmpeg* task = tasks_.Items(i);
            if (!Contains(awaited_, task))
                pending_.push_back(task);
        }
        if (count <= 0 && !MainThreadDispatcher()) {
            if (runningInPlace_)
                return true; // the loop running them here takes the new ones too
            if (mayWait)
                runningInPlace_ = inPlace = true;
            else
                ConcurrentTasks = 1;
        }
        if (!inPlace) {
            int left = ConcurrentTasks;
            while (!pending_.empty()) {
                StartNext(work);
                if (--left <= 0)
                    break;
            }
            CheckBatchEnd(work);
        }
    }
    Finish(work);
    if (inPlace)
        RunInPlace();
    return joined;
}

void TCustomFFmpegEngine::StopStartingTasks() {
    TDeferred work;
    {
        TEngineLock guard(*this);
        pending_.clear();
        CheckBatchEnd(work);
    }
    Finish(work);
}

void TCustomFFmpegEngine::RunInPlace() {
    for (;;) {
        TDeferred work;
        TFFmpeg* task = nullptr;
        TTaskUse use; // keeps the task for this thread even if a handler removes it
        TConvertPriority priority = tpNormal;
        {
            TEngineLock guard(*this);
            if (pending_.empty() || ConcurrentTasks > 0) {
                runningInPlace_ = false;
                CheckBatchEnd(work);
            } else {
                task = pending_.front();
                pending_.pop_front();
                awaited_.push_back(task);
                starting_.push_back(task);
                PrepareRun(*task);
                task->ThreadID = CurrentThreadId();
                use = TTaskUse(*task);
                priority = ThreadPriority;
            }
        }
        if (!task) {
            Finish(work);
            return;
        }
        // No lock is held during the run: the libraries log from it, and its events take the
        // lock.
        task->Start(false, priority);
        {
            TEngineLock guard(*this);
            Erase(starting_, task);
            Erase(pauseOnStart_, task); // a run on this thread is not paused
            task->ThreadID = 0;
            if (task->Terminated() && Erase(awaited_, task))
                CheckBatchEnd(work); // refused: it had run before
        }
        use.Release();
        Finish(work);
    }
}

void TCustomFFmpegEngine::StartNext(TDeferred& work) {
    if (pending_.empty() || runningInPlace_)
        return;
    TFFmpeg* task = pending_.front();
    pending_.pop_front();
    awaited_.push_back(task);
    IMainThreadDispatcher* dispatcher = MainThreadDispatcher();
    if (ConcurrentTasks > 0 || !dispatcher) {
        PrepareRun(*task);
        starting_.push_back(task);
        work.starts.push_back({task, ThreadPriority, TTaskUse(*task)});
        return;
    }
    work.dispatcher = dispatcher;
    work.timers.push_back(task->Serial);
}

void TCustomFFmpegEngine::StartTask(TFFmpeg* task, TConvertPriority priority, TDeferred& work) {
    const std::shared_ptr<TFFmpegThread> thread =
        task->Start(true, priority, [task](std::uint32_t id) { task->ThreadID = id; });
    {
        TEngineLock guard(*this);
        // Running from here on, or reported, or refused: no longer only about to start.
        Erase(starting_, task);
        if (Erase(pauseOnStart_, task) && thread)
            task->Pause(); // parks at its first test
        if (!thread) {
            task->ThreadID = 0;
            // Refused, having run before: the batch goes on without it.
            if (!task->Running() && task->Terminated() && Erase(awaited_, task)) {
                StartNext(work);
                CheckBatchEnd(work);
            }
            return;
        }
    }
    thread->Resume();
}

void TCustomFFmpegEngine::RunScheduled(std::uint64_t serial) {
    TDeferred work;
    TFFmpeg* task = nullptr;
    TTaskUse use;
    TConvertPriority priority = tpNormal;
    {
        TEngineLock guard(*this);
        const auto at = std::find_if(awaited_.begin(), awaited_.end(),
                                     [serial](const TFFmpeg* t) { return t->Serial == serial; });
        // Removed, or stopped, while its timer ran.
        if (at == awaited_.end())
            return;
        task = *at;
        starting_.push_back(task);
        PrepareRun(*task);
        task->ThreadID = CurrentThreadId();
        use = TTaskUse(*task);
        priority = ThreadPriority;
    }
    task->Start(false, priority);
    {
        TEngineLock guard(*this);
        Erase(starting_, task);
        Erase(pauseOnStart_, task); // a run on this thread is not paused
        task->ThreadID = 0;
        if (!task->Running() && task->Terminated() && Erase(awaited_, task)) {
            StartNext(work);
            CheckBatchEnd(work);
        }
    }
    use.Release();
    Finish(work);
}

void TCustomFFmpegEngine::PrepareRun(TFFmpeg& task) const {
    TCustomFFmpeg::TRunPreparation preparation;
    preparation.ProgressInterval = static_cast<std::int64_t>(progressInterval_) * 1000;
    // An automatic thread count shares the cores among the tasks that run together.
    preparation.TasksAtOnce = std::max(1, std::min(ConcurrentTasks, tasks_.Count()));
    if (LibrariesLoaded())
        preparation.LogLevel = std::to_string(static_cast<int>(logLevel_) - 1);
    // AddOutput may be setting up the task's files on another thread: the start applies this.
    task.PrepareNextRun(std::move(preparation));
}

void TCustomFFmpegEngine::CheckBatchEnd(TDeferred& work) {
    if (!batchRunning_ || !pending_.empty() || !awaited_.empty())
        return;
    batchRunning_ = false;
    work.batchEnded = true;
    work.finalHandler = OnTerminate;
    endingThreads_.push_back(std::this_thread::get_id());
}

void TCustomFFmpegEngine::Finish(TDeferred& work) {
    // A start may be refused or report at once, which can start the next task or end the batch.
    while (!work.starts.empty()) {
        TDeferred::TStart start = std::move(work.starts.front());
        work.starts.pop_front();
        StartTask(start.task, start.priority, work);
    }
    if (!work.timers.empty()) {
        const std::weak_ptr<TCustomFFmpegEngine*> alive = self_;
        for (const std::uint64_t serial : work.timers) {
            work.dispatcher->SingleShot(std::chrono::milliseconds(100), [alive, serial] {
                if (const auto engine = alive.lock())
                    (*engine)->RunScheduled(serial);
            });
        }
        work.timers.clear();
    }
    if (!work.batchEnded)
        return;
    work.batchEnded = false;
    std::exception_ptr failure;
    try {
        if (work.finalHandler)
            work.finalHandler(-1, true, false, std::string(), jrFinished);
    } catch (...) {
        failure = std::current_exception();
    }
    ClearLogList();
    {
        TEngineLock guard(*this);
        EraseOne(endingThreads_);
    }
    eventsDone_.notify_all();
    if (failure)
        std::rethrow_exception(failure);
}

void TCustomFFmpegEngine::StopTasks() {
    // Every task the batch now waits for is counted in before any report is set off, so that a
    // report given at once (no system thread to spare) cannot end the batch early.
    std::vector<std::pair<TFFmpeg*, TTaskUse>> tasks;
    std::vector<TFFmpeg*> added;
    {
        TEngineLock guard(*this);
        pending_.clear();
        for (int i = 0; i < tasks_.Count(); ++i) {
            TFFmpeg* task = tasks_.Items(i);
            if (!Contains(awaited_, task) && batchRunning_) {
                awaited_.push_back(task);
                added.push_back(task);
            }
            tasks.emplace_back(task, TTaskUse(*task));
        }
    }
    std::vector<TFFmpeg*> silent; // added for a report that did not come
    for (auto& [task, use] : tasks) {
        if (!task->StopOrFinish() && Contains(added, task))
            silent.push_back(task);
    }
    TDeferred work;
    {
        TEngineLock guard(*this);
        for (TFFmpeg* task : silent)
            Erase(awaited_, task);
        CheckBatchEnd(work);
    }
    tasks.clear();
    Finish(work);
}

void TCustomFFmpegEngine::SetTasksPreview(bool on) {
    TEngineLock guard(*this);
    Preview = on;
    for (int i = 0; i < tasks_.Count(); ++i)
        tasks_.Items(i)->SetPreview(on);
}

void TCustomFFmpegEngine::PauseTasks() {
    TEngineLock guard(*this);
    for (int i = 0; i < tasks_.Count(); ++i) {
        TFFmpeg* task = tasks_.Items(i);
        task->Pause();
        if (Contains(starting_, task) && !Contains(pauseOnStart_, task))
            pauseOnStart_.push_back(task);
    }
}

void TCustomFFmpegEngine::ResumeTasks() {
    TEngineLock guard(*this);
    pauseOnStart_.clear();
    for (int i = 0; i < tasks_.Count(); ++i)
        tasks_.Items(i)->Resume();
}

// Every event takes its handler and the task's index under the lock and runs the handler after
// releasing it; the destructor clears the handlers while a worker may be raising one.
void TCustomFFmpegEngine::DoBeforeHook(TFFmpeg* task, std::int64_t pts, THookAction& action) {
    TBeforeHookEvent handler;
    int index = -1;
    {
        TEngineLock guard(*this);
        handler = OnBeforeHook;
        index = IndexOf(task);
    }
    if (handler)
        handler(index, pts, action);
}

void TCustomFFmpegEngine::DoCustomHook(TFFmpeg* task, TBitmap& bitmap, int frameNumber,
                                       std::int64_t pts, bool& update, bool& stopHook) {
    TCustomHookEvent handler;
    int index = -1;
    {
        TEngineLock guard(*this);
        handler = OnCustomHook;
        index = IndexOf(task);
    }
    if (handler)
        handler(index, bitmap, frameNumber, pts, update, stopHook);
}

void TCustomFFmpegEngine::DoLog(TFFmpeg* task, int level, const std::string& text) {
    TLogEvent handler;
    int index = -1;
    {
        TEngineLock guard(*this);
        handler = OnLog;
        index = IndexOf(task);
    }
    if (handler) {
        const TReportingTask reporting(task ? task->Serial : 0);
        handler(index, LogLevelFromLibraryLevel(level), text);
    }
}

void TCustomFFmpegEngine::DoProgress(TFFmpeg* task, int frameNumber, int framesPerSecond,
                                     int currentDuration, float quality, float bitRate,
                                     std::int64_t currentSize, int totalDuration) {
    TProgressEvent handler;
    int index = -1;
    {
        TEngineLock guard(*this);
        handler = OnProgress;
        index = IndexOf(task);
    }
    if (handler && index >= 0) {
        const TReportingTask reporting(task->Serial);
        handler(index, frameNumber, framesPerSecond, currentDuration, quality, bitRate, currentSize,
                totalDuration);
    }
}

void TCustomFFmpegEngine::DoTerminate(TFFmpeg* task) {
    TDeferred work;
    if (!task) {
        {
            TEngineLock guard(*this);
            work.batchEnded = true;
            work.finalHandler = OnTerminate;
            endingThreads_.push_back(std::this_thread::get_id());
        }
        Finish(work);
        return;
    }
    TTerminateEvent handler;
    int index = -1;
    {
        TEngineLock guard(*this);
        // A task taken out of the list has no index left to report under.
        index = IndexOf(task);
        if (index >= 0 && OnTerminate) {
            handler = OnTerminate;
            reportingThreads_.push_back(std::this_thread::get_id());
        }
    }
    std::exception_ptr failure;
    if (handler) {
        // The reporting thread holds the task, so it is still there after the lock.
        const TJobResult result = task->Result();
        try {
            const TReportingTask reporting(task->Serial);
            handler(index, result == jrFinished, result == jrFailed, task->ResultMessage(), result);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    {
        TEngineLock guard(*this);
        if (handler)
            EraseOne(reportingThreads_);
        // Only now: the batch's final event must not overtake this task's.
        if (Erase(awaited_, task))
            StartNext(work);
        CheckBatchEnd(work);
    }
    if (handler)
        eventsDone_.notify_all();
    Finish(work);
    JoinEarlierRuns(task);
    if (failure)
        std::rethrow_exception(failure);
}

void TCustomFFmpegEngine::JoinEarlierRuns(TFFmpeg* reported) {
    std::vector<std::pair<TFFmpeg*, TTaskUse>> due;
    {
        // Every task listed here is still in the list: whatever takes one out (removal,
        // clearing, the component's end) drops it from here under this lock before freeing it.
        TEngineLock guard(*this);
        for (TFFmpeg* ended : endedRuns_)
            due.emplace_back(ended, TTaskUse(*ended));
        endedRuns_.clear();
        if (IndexOf(reported) >= 0)
            endedRuns_.push_back(reported);
    }
    std::vector<TFFmpeg*> left;
    for (auto& [task, use] : due) {
        if (!task->JoinEndedThreads())
            left.push_back(task);
    }
    // A thread still unwinding is joined at a later report; the uses keep the tasks till then.
    TEngineLock guard(*this);
    for (TFFmpeg* task : left) {
        if (IndexOf(task) >= 0 && !Contains(endedRuns_, task))
            endedRuns_.push_back(task);
    }
}

void TCustomFFmpegEngine::LibraryLogLine(std::uint32_t, int level, const std::string& line) {
    TFFmpeg* task = nullptr;
    {
        TEngineLock guard(*this);
        // The task running on this thread, when it is one of ours; that thread holds it.
        const TCustomFFmpeg* running = TCustomFFmpeg::TaskOfThisThread();
        for (int i = 0; running && i < tasks_.Count(); ++i) {
            if (tasks_.Items(i) == running)
                task = tasks_.Items(i);
        }
    }
    DoLog(task, level, line);
}

} // namespace velto
