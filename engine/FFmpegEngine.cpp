// The engine component: task list, batch start and control, and the events of its tasks.
#include "FFmpegEngine.h"

#include "LibraryBinding.h"
#include "MainThreadDispatcher.h"

#include <algorithm>
#include <stdexcept>

namespace velto {

// The component's lock. The log list may only be cleared under the registry lock, which comes
// before the component's lock: a clear asked for while holding it waits until it is left.
class TEngineLock {
public:
    explicit TEngineLock(TCustomFFmpegEngine& engine) : engine_(engine) {
        engine_.lock_.lock();
        ++engine_.lockDepth_;
    }
    ~TEngineLock() {
        const bool clear = --engine_.lockDepth_ == 0 && engine_.clearLogList_;
        if (clear)
            engine_.clearLogList_ = false;
        engine_.lock_.unlock();
        if (clear)
            ClearLogList();
    }
    TEngineLock(const TEngineLock&) = delete;
    TEngineLock& operator=(const TEngineLock&) = delete;

private:
    TCustomFFmpegEngine& engine_;
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
    UnregisterLogReceiver(this);
    std::vector<std::unique_ptr<TFFmpeg>> tasks;
    {
        // Waits for an event in progress; a dying component raises no more events.
        TEngineLock guard(*this);
        PendingCount = 0;
        OnBeforeHook = nullptr;
        OnCustomHook = nullptr;
        OnLog = nullptr;
        OnProgress = nullptr;
        OnTerminate = nullptr;
        tasks = tasks_.ExtractAll();
    }
    self_.reset();
    // Outside the lock: each task stops and waits for its thread, whose report needs the lock.
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
    auto task = std::make_unique<TFFmpeg>();
    try {
        task->LogSink = [this](TCustomFFmpeg* t, int level, const std::string& text) {
            DoLog(static_cast<TFFmpeg*>(t), level, text);
        };
        task->ResetState();
        SetTaskLogLevel(*task);
        task->SetPreview(Preview);
        if (options) {
            TInputOptions record = *options;
            ApplyInputRecord(*task, fileName, record);
        } else {
            task->InputOptions = TInputOptions{};
        }
        if (!task->OpenInputFile(fileName)) {
            task->LogSink = nullptr;
            LastError = task->LastError;
            return -1;
        }
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
    return tasks_.Add(std::move(task));
}

bool TCustomFFmpegEngine::AddOutput(int index, const std::string& fileName,
                                    const TOutputOptions* options) {
    TFFmpeg* task = Tasks(index);
    try {
        if (options) {
            TOutputOptions record = *options;
            ApplyOutputRecord(
                *task, fileName, record,
                [this](TFFmpeg* t, TBitmap& bitmap, int frameNumber, std::int64_t pts, bool& update,
                       bool& stopHook) {
                    DoCustomHook(t, bitmap, frameNumber, pts, update, stopHook);
                },
                [this](TFFmpeg* t, std::int64_t pts, THookAction& action) {
                    DoBeforeHook(t, pts, action);
                });
        } else {
            task->OutputOptions = TOutputOptions{};
        }
        if (!task->OpenOutputFile(fileName)) {
            LastError = task->LastError;
            return false;
        }
        return true;
    } catch (const std::exception& error) {
        LastError = error.what();
        return false;
    }
}

void TCustomFFmpegEngine::RemoveTask(int index) {
    std::unique_ptr<TFFmpeg> task;
    {
        TEngineLock guard(*this);
        task = tasks_.Extract(index);
    }
    // Freed outside the lock: a running task's last report needs it.
    task.reset();
}

void TCustomFFmpegEngine::ClearTasks() {
    std::vector<std::unique_ptr<TFFmpeg>> tasks;
    {
        TEngineLock guard(*this);
        tasks = tasks_.ExtractAll();
        LastError.clear();
        ConcurrentTasks = 0;
        // Nothing is left to start; a task still ending must not start one.
        PendingCount = 0;
    }
    tasks.clear();
}

int TCustomFFmpegEngine::TaskCount() const {
    std::lock_guard guard(lock_);
    return tasks_.Count();
}

TFFmpeg* TCustomFFmpegEngine::Tasks(int index) const {
    std::lock_guard guard(lock_);
    return tasks_.Items(index);
}

void TCustomFFmpegEngine::GetInputOptions(int index, TInputOptions& options) const {
    std::lock_guard guard(lock_);
    options = tasks_.Items(index)->InputOptions;
}

void TCustomFFmpegEngine::GetOutputOptions(int index, TOutputOptions& options) const {
    std::lock_guard guard(lock_);
    options = tasks_.Items(index)->OutputOptions;
}

void TCustomFFmpegEngine::StartTasks(int count) {
    ClearLogList();
    TEngineLock guard(*this);
    NextIndex = 0;
    FinishedCount = 0;
    ConcurrentTasks = count;
    PendingCount = tasks_.Count();
    batchEnded_ = false;
    int left = count;
    while (PendingCount > 0) {
        StartNext();
        if (--left <= 0)
            break;
    }
}

void TCustomFFmpegEngine::StartNext() {
    TEngineLock guard(*this);
    if (PendingCount <= 0)
        return;
    --PendingCount;
    // Taken before the start: a task that ends at once starts the next from inside StartTask.
    const int index = NextIndex++;
    if (ConcurrentTasks > 0) {
        StartTask(index);
        return;
    }
    const std::weak_ptr<TCustomFFmpegEngine*> alive = self_;
    auto work = [alive, index] {
        if (const auto engine = alive.lock())
            (*engine)->StartTask(index);
    };
    if (IMainThreadDispatcher* dispatcher = MainThreadDispatcher())
        dispatcher->SingleShot(std::chrono::milliseconds(100), std::move(work));
    else
        work(); // no event loop to wait for: run now
}

void TCustomFFmpegEngine::StartTask(int index) {
    TFFmpeg* task = nullptr;
    bool threaded = false;
    {
        TEngineLock guard(*this);
        // The list may have been cleared while the start waited for its timer.
        if (index < 0 || index >= tasks_.Count())
            return;
        task = tasks_.Items(index);
        task->ProgressInterval = static_cast<std::int64_t>(progressInterval_) * 1000;
        // An automatic thread count shares the cores among the tasks that run together.
        task->TasksAtOnce = std::max(1, std::min(ConcurrentTasks, tasks_.Count()));
        SetTaskLogLevel(*task);
        threaded = ConcurrentTasks > 0;
        if (threaded) {
            TFFmpegThread* thread = task->Start(true, ThreadPriority);
            if (!thread) {
                task->ThreadID = 0;
                return;
            }
            thread->OnStarted = [task](std::uint32_t id) { task->ThreadID = id; };
            thread->Resume();
            return;
        }
        task->ThreadID = CurrentThreadId();
    }
    // A main-thread run holds no lock: the libraries log from it under the registry lock.
    task->Start(false, ThreadPriority);
}

void TCustomFFmpegEngine::StopTasks() {
    TEngineLock guard(*this);
    PendingCount = 0;
    for (int i = 0; i < tasks_.Count(); ++i)
        tasks_.Items(i)->StopOrFinish();
}

void TCustomFFmpegEngine::PauseTasks() {
    TEngineLock guard(*this);
    for (int i = 0; i < tasks_.Count(); ++i)
        tasks_.Items(i)->Pause();
}

void TCustomFFmpegEngine::ResumeTasks() {
    TEngineLock guard(*this);
    for (int i = 0; i < tasks_.Count(); ++i)
        tasks_.Items(i)->Resume();
}

// The hook events run without the lock; only taking the handler is guarded, since the
// destructor clears it while a worker may be at a picture.
void TCustomFFmpegEngine::DoBeforeHook(TFFmpeg* task, std::int64_t pts, THookAction& action) {
    TBeforeHookEvent handler;
    int index = -1;
    {
        std::lock_guard guard(lock_);
        handler = OnBeforeHook;
        index = task ? task->Index : -1;
    }
    if (handler)
        handler(index, pts, action);
}

void TCustomFFmpegEngine::DoCustomHook(TFFmpeg* task, TBitmap& bitmap, int frameNumber,
                                       std::int64_t pts, bool& update, bool& stopHook) {
    TCustomHookEvent handler;
    int index = -1;
    {
        std::lock_guard guard(lock_);
        handler = OnCustomHook;
        index = task ? task->Index : -1;
    }
    if (handler)
        handler(index, bitmap, frameNumber, pts, update, stopHook);
}

void TCustomFFmpegEngine::DoLog(TFFmpeg* task, int level, const std::string& text) {
    TEngineLock guard(*this);
    if (OnLog)
        OnLog(task ? task->Index : -1, LogLevelFromLibraryLevel(level), text);
}

void TCustomFFmpegEngine::DoProgress(TFFmpeg* task, int frameNumber, int framesPerSecond,
                                     int currentDuration, float quality, float bitRate,
                                     std::int64_t currentSize, int totalDuration) {
    TEngineLock guard(*this);
    if (OnProgress)
        OnProgress(task->Index, frameNumber, framesPerSecond, currentDuration, quality, bitRate,
                   currentSize, totalDuration);
}

void TCustomFFmpegEngine::DoTerminate(TFFmpeg* task) {
    TEngineLock guard(*this);
    if (task) {
        if (OnTerminate) {
            const TJobResult result = task->Result();
            OnTerminate(task->Index, result == jrFinished, result == jrFailed,
                        task->ResultMessage(), result);
        }
        ++FinishedCount;
        if (PendingCount > 0) {
            StartNext();
            return;
        }
        // One end event per batch, also when tasks removed from the list still report.
        if (FinishedCount < tasks_.Count() || batchEnded_)
            return;
    }
    batchEnded_ = true;
    if (OnTerminate)
        OnTerminate(-1, true, false, std::string(), jrFinished);
    clearLogList_ = true;
}

void TCustomFFmpegEngine::LibraryLogLine(std::uint32_t threadId, int level,
                                         const std::string& line) {
    TEngineLock guard(*this);
    DoLog(tasks_.FindByThreadID(threadId), level, line);
}

} // namespace velto
