// The engine component: task list, batch start and control, and the events of its tasks.
#include "FFmpegEngine.h"

#include "LibraryBinding.h"
#include "MainThreadDispatcher.h"

#include <algorithm>
#include <stdexcept>

namespace velto {

namespace {

// The caller may wait for a task's thread: it holds no engine lock, which that thread may need to
// end, and it is not itself running a task.
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

} // namespace

// The component's lock. Fixed order: the log registry's lock, then the component's, so that a
// library line (registry, then each component) and an event handler that logs or opens a file
// can never wait for each other crosswise.
class TEngineLock {
public:
    explicit TEngineLock(const TCustomFFmpegEngine& engine) : guard_(engine.lock_) {}
    TEngineLock(const TEngineLock&) = delete;
    TEngineLock& operator=(const TEngineLock&) = delete;

private:
    TLogRegistryLock registry_; // constructed first
    std::lock_guard<std::recursive_mutex> guard_;
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
        OnBeforeHook = nullptr;
        OnCustomHook = nullptr;
        OnLog = nullptr;
        OnProgress = nullptr;
        OnTerminate = nullptr;
        pending_.clear();
        batchRunning_ = false;
        tasks = tasks_.ExtractAll();
        for (auto& task : retired_)
            tasks.push_back(std::move(task));
        retired_.clear();
        for (auto& task : tasks)
            task->Stop();
    }
    self_.reset();
    // Outside the lock: each task waits for its thread, whose report needs the lock.
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
        if (options) {
            TInputOptions record = *options;
            ApplyInputRecord(*task, fileName, record);
        } else {
            task->InputOptions = TInputOptions{};
        }
        task->OpenInputFile(fileName);
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
    // Held throughout: a handler on a worker may remove the task meanwhile.
    TEngineLock guard(*this);
    TFFmpeg* task = tasks_.Items(index);
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
        task->OpenOutputFile(fileName);
        return true;
    } catch (const std::exception& error) {
        LastError = error.what();
        return false;
    }
}

void TCustomFFmpegEngine::RemoveTask(int index) {
    std::vector<std::unique_ptr<TFFmpeg>> removed;
    {
        TEngineLock guard(*this);
        removed.push_back(tasks_.Extract(index));
        Forget(removed.back().get());
        removed.back()->Stop();
        CheckBatchEnd();
    }
    Dispose(std::move(removed));
}

void TCustomFFmpegEngine::ClearTasks() {
    std::vector<std::unique_ptr<TFFmpeg>> removed;
    {
        TEngineLock guard(*this);
        removed = tasks_.ExtractAll();
        LastError.clear();
        ConcurrentTasks = 0;
        for (auto& task : removed) {
            Forget(task.get());
            task->Stop();
        }
        CheckBatchEnd();
    }
    Dispose(std::move(removed));
}

void TCustomFFmpegEngine::Forget(TFFmpeg* task) {
    pending_.erase(std::remove(pending_.begin(), pending_.end(), task), pending_.end());
    // Due on a timer but not begun: no report will come. A task some thread uses still reports.
    if (!task->ThreadsActive())
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

void TCustomFFmpegEngine::GetInputOptions(int index, TInputOptions& options) const {
    TEngineLock guard(*this);
    options = tasks_.Items(index)->InputOptions;
}

void TCustomFFmpegEngine::GetOutputOptions(int index, TOutputOptions& options) const {
    TEngineLock guard(*this);
    options = tasks_.Items(index)->OutputOptions;
}

int TCustomFFmpegEngine::IndexOf(const TFFmpeg* task) const {
    if (!task || task->Index < 0 || task->Index >= tasks_.Count() ||
        tasks_.Items(task->Index) != task)
        return -1;
    return task->Index;
}

void TCustomFFmpegEngine::StartTasks(int count) {
    FreeRetired();
    const bool mayWait = MayWait(); // before this call's own lock
    {
        TEngineLock guard(*this);
        ClearLogList();
        if (tasks_.Count() == 0)
            return;
        ConcurrentTasks = count;
        if (!batchRunning_) {
            batchRunning_ = true;
            FinishedCount = 0;
        }
        pending_.clear();
        for (int i = 0; i < tasks_.Count(); ++i) {
            TFFmpeg* task = tasks_.Items(i);
            if (!Contains(awaited_, task))
                pending_.push_back(task);
        }
        if (count <= 0 && !MainThreadDispatcher()) {
            if (runningInPlace_)
                return; // the loop running them here takes the new ones too
            if (mayWait)
                runningInPlace_ = true;
            else
                ConcurrentTasks = 1;
        }
        if (!runningInPlace_) {
            int left = ConcurrentTasks;
            while (!pending_.empty()) {
                StartNext();
                if (--left <= 0)
                    break;
            }
            CheckBatchEnd();
            return;
        }
    }
    RunInPlace();
}

void TCustomFFmpegEngine::RunInPlace() {
    for (;;) {
        TFFmpeg* task = nullptr;
        {
            TEngineLock guard(*this);
            if (pending_.empty() || ConcurrentTasks > 0) {
                runningInPlace_ = false;
                CheckBatchEnd();
                return;
            }
            task = pending_.front();
            pending_.pop_front();
            awaited_.push_back(task);
            PrepareRun(*task);
            task->ThreadID = CurrentThreadId();
            // Kept alive for this thread even if a handler removes it during its run.
            task->ThreadStarted();
        }
        // No lock is held during the run: the libraries log from it under the registry lock.
        task->Start(false, ThreadPriority);
        {
            TEngineLock guard(*this);
            task->ThreadID = 0;
            if (task->Terminated() && Erase(awaited_, task))
                CheckBatchEnd(); // refused: it had run before
        }
        task->ThreadEnded();
    }
}

void TCustomFFmpegEngine::StartNext() {
    if (pending_.empty() || runningInPlace_)
        return;
    TFFmpeg* task = pending_.front();
    pending_.pop_front();
    awaited_.push_back(task);
    IMainThreadDispatcher* dispatcher = MainThreadDispatcher();
    if (ConcurrentTasks > 0 || !dispatcher) {
        StartTask(task);
        return;
    }
    const std::weak_ptr<TCustomFFmpegEngine*> alive = self_;
    const std::uint64_t serial = task->Serial;
    dispatcher->SingleShot(std::chrono::milliseconds(100), [alive, serial] {
        if (const auto engine = alive.lock())
            (*engine)->RunScheduled(serial);
    });
}

void TCustomFFmpegEngine::StartTask(TFFmpeg* task) {
    PrepareRun(*task);
    const std::shared_ptr<TFFmpegThread> thread = task->Start(true, ThreadPriority);
    if (!thread) {
        task->ThreadID = 0;
        // Refused, having run before: the batch goes on without it.
        if (!task->Running() && task->Terminated() && Erase(awaited_, task)) {
            StartNext();
            CheckBatchEnd();
        }
        return;
    }
    thread->OnStarted = [task](std::uint32_t id) { task->ThreadID = id; };
    thread->Resume();
}

void TCustomFFmpegEngine::RunScheduled(std::uint64_t serial) {
    TFFmpeg* task = nullptr;
    {
        TEngineLock guard(*this);
        const auto at = std::find_if(awaited_.begin(), awaited_.end(),
                                     [serial](const TFFmpeg* t) { return t->Serial == serial; });
        // Removed, or stopped, while its timer ran.
        if (at == awaited_.end())
            return;
        task = *at;
        PrepareRun(*task);
        task->ThreadID = CurrentThreadId();
        task->ThreadStarted();
    }
    task->Start(false, ThreadPriority);
    {
        TEngineLock guard(*this);
        task->ThreadID = 0;
        if (!task->Running() && task->Terminated() && Erase(awaited_, task)) {
            StartNext();
            CheckBatchEnd();
        }
    }
    task->ThreadEnded();
}

void TCustomFFmpegEngine::PrepareRun(TFFmpeg& task) const {
    task.ProgressInterval = static_cast<std::int64_t>(progressInterval_) * 1000;
    // An automatic thread count shares the cores among the tasks that run together.
    task.TasksAtOnce = std::max(1, std::min(ConcurrentTasks, tasks_.Count()));
    SetTaskLogLevel(task);
}

void TCustomFFmpegEngine::CheckBatchEnd() {
    if (!batchRunning_ || holdBatchEnd_ || !pending_.empty() || !awaited_.empty())
        return;
    batchRunning_ = false;
    if (OnTerminate)
        OnTerminate(-1, true, false, std::string(), jrFinished);
    ClearLogList();
}

void TCustomFFmpegEngine::StopTasks() {
    TEngineLock guard(*this);
    pending_.clear();
    // A report delivered on this very thread (no system thread to spare) must not end the
    // batch before the later tasks are counted in.
    holdBatchEnd_ = true;
    for (int i = 0; i < tasks_.Count(); ++i) {
        TFFmpeg* task = tasks_.Items(i);
        const bool awaited = Contains(awaited_, task);
        if (!awaited && batchRunning_)
            awaited_.push_back(task);
        if (!task->StopOrFinish() && !awaited)
            Erase(awaited_, task);
    }
    holdBatchEnd_ = false;
    CheckBatchEnd();
}

void TCustomFFmpegEngine::SetTasksPreview(bool on) {
    TEngineLock guard(*this);
    Preview = on;
    for (int i = 0; i < tasks_.Count(); ++i)
        tasks_.Items(i)->SetPreview(on);
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
    TEngineLock guard(*this);
    if (OnLog)
        OnLog(IndexOf(task), LogLevelFromLibraryLevel(level), text);
}

void TCustomFFmpegEngine::DoProgress(TFFmpeg* task, int frameNumber, int framesPerSecond,
                                     int currentDuration, float quality, float bitRate,
                                     std::int64_t currentSize, int totalDuration) {
    TEngineLock guard(*this);
    const int index = IndexOf(task);
    if (OnProgress && index >= 0)
        OnProgress(index, frameNumber, framesPerSecond, currentDuration, quality, bitRate,
                   currentSize, totalDuration);
}

void TCustomFFmpegEngine::DoTerminate(TFFmpeg* task) {
    TEngineLock guard(*this);
    if (!task) {
        if (OnTerminate)
            OnTerminate(-1, true, false, std::string(), jrFinished);
        ClearLogList();
        return;
    }
    // A task taken out of the list has no index left to report under.
    const int index = IndexOf(task);
    if (OnTerminate && index >= 0) {
        const TJobResult result = task->Result();
        OnTerminate(index, result == jrFinished, result == jrFailed, task->ResultMessage(), result);
    }
    ++FinishedCount;
    if (Erase(awaited_, task))
        StartNext();
    CheckBatchEnd();
}

void TCustomFFmpegEngine::LibraryLogLine(std::uint32_t, int level, const std::string& line) {
    TEngineLock guard(*this);
    // The task running on this thread, when it is one of ours.
    const TCustomFFmpeg* running = TCustomFFmpeg::TaskOfThisThread();
    TFFmpeg* task = nullptr;
    for (int i = 0; running && i < tasks_.Count(); ++i) {
        if (tasks_.Items(i) == running)
            task = tasks_.Items(i);
    }
    DoLog(task, level, line);
}

} // namespace velto
