// Run control of a task: start (on the caller's thread or a worker), the run wrapper that always
// cleans up, stop, cooperative pause and resume, the termination report and the waits that keep
// a task alive while one of its threads still uses it; the threads a task owns are joined here.
#include "FFmpeg.h"
#include "LibraryBinding.h"
#include "MainThreadDispatcher.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace velto {

namespace {

// The task whose run or report this thread executes; set for exactly that span.
thread_local TCustomFFmpeg* taskOfThisThread = nullptr;

class TTaskThreadScope {
public:
    explicit TTaskThreadScope(TCustomFFmpeg* task) : previous_(taskOfThisThread) {
        taskOfThisThread = task;
    }
    ~TTaskThreadScope() { taskOfThisThread = previous_; }
    TTaskThreadScope(const TTaskThreadScope&) = delete;
    TTaskThreadScope& operator=(const TTaskThreadScope&) = delete;

private:
    TCustomFFmpeg* const previous_;
};

} // namespace

TCustomFFmpeg* TCustomFFmpeg::TaskOfThisThread() {
    return taskOfThisThread;
}

TTaskUse::TTaskUse(TCustomFFmpeg& task) : task_(&task) {
    std::lock_guard guard(task.runLock_);
    ++task.uses_;
}

TTaskUse& TTaskUse::operator=(TTaskUse&& other) noexcept {
    if (this != &other) {
        Release();
        task_ = other.task_;
        other.task_ = nullptr;
    }
    return *this;
}

void TTaskUse::Release() {
    if (!task_)
        return;
    TCustomFFmpeg* const task = task_;
    task_ = nullptr;
    // Notified under the lock: a waiter that sees the last use gone may free the task at once.
    std::lock_guard guard(task->runLock_);
    --task->uses_;
    task->usesChanged_.notify_all();
}

void TCustomFFmpeg::PrepareNextRun(TRunPreparation preparation) {
    std::lock_guard guard(runLock_);
    preparedRun_ = std::move(preparation);
}

void TCustomFFmpeg::ApplyPreparedRun() {
    std::optional<TRunPreparation> prepared;
    {
        std::lock_guard guard(runLock_);
        if (running_)
            return;
        prepared.swap(preparedRun_);
    }
    if (!prepared)
        return;
    ProgressInterval = prepared->ProgressInterval;
    TasksAtOnce = prepared->TasksAtOnce;
    if (!prepared->LogLevel.empty())
        SetOption("v", prepared->LogLevel);
}

TCustomFFmpeg::TSetUp::TSetUp(TCustomFFmpeg& task) : task_(task) {
    task_.setUpLock_.lock();
    task_.setUpThread_ = std::this_thread::get_id();
}

TCustomFFmpeg::TSetUp::~TSetUp() {
    task_.setUpThread_ = std::thread::id();
    task_.setUpLock_.unlock();
}

namespace {

// Thread objects whose body has ended, taken out of the list to be joined by the caller once it
// has released the lock (the join only waits for the thread's exit).
std::vector<std::shared_ptr<TSuspendedThread>>
TakeEnded(std::vector<std::shared_ptr<TSuspendedThread>>& threads) {
    std::vector<std::shared_ptr<TSuspendedThread>> ended;
    for (auto& thread : threads) {
        if (thread->Ended())
            ended.push_back(std::move(thread));
    }
    std::erase(threads, nullptr);
    return ended;
}

} // namespace

std::shared_ptr<TFFmpegThread> TCustomFFmpeg::Start(bool threaded, TConvertPriority priority,
                                                    std::function<void(std::uint32_t)> onStarted) {
    // Made before anything changes, so that a failure to make it leaves the task as it was.
    std::shared_ptr<TFFmpegThread> thread;
    if (threaded) {
        thread = std::make_shared<TFFmpegThread>(this, priority, TTaskUse(*this));
        thread->OnStarted = std::move(onStarted);
    }
    std::vector<std::shared_ptr<TSuspendedThread>> ended;
    const char* missing = nullptr;
    {
        std::unique_lock setUp(setUpLock_, std::defer_lock);
        if (setUpThread_.load() != std::this_thread::get_id())
            setUp.lock();
        ApplyPreparedRun();
        std::lock_guard guard(runLock_);
        if (running_ || terminated_ || reporting_)
            return nullptr;
        // A waiting job's files are opened by its run.
        const bool opensAtRun = static_cast<bool>(OpenFilesForRun);
        if (!opensAtRun && OutputFiles.empty())
            missing = "Must supply at least one output file";
        else if (!opensAtRun && InputFiles.empty())
            missing = "Must supply at least one input file";
        if (missing) {
            reporting_ = true;
        } else {
            running_ = true;
            Finished = false;
            IncompleteReason.clear();
            failed_ = false;
            errorMessage_.clear();
            pauseRequested_ = false;
            if (thread) {
                ended = TakeEnded(threads_);
                threads_.push_back(thread);
                worker_ = thread;
            }
        }
    }
    // The caller's thread uses the task until its report is through: a handler that frees the
    // task meanwhile must leave that to later.
    if (missing) {
        const TTaskUse use(*this);
        ReleaseFilesAndOptions();
        RecordFailure(missing);
        ReportTermination();
        return nullptr;
    }
    if (!threaded) {
        const TTaskUse use(*this);
        RunWrapper();
        return nullptr;
    }
    return thread;
}

void TCustomFFmpeg::RunWrapper() {
    const TTaskThreadScope scope(this);
    Finished = false;
    IncompleteReason.clear();
    try {
        if (OpenFilesForRun)
            OpenFilesForRun();
        if (Settings.FitSize > 0)
            RunFittedPasses();
        else
            Transcode();
    } catch (const std::exception& error) {
        RecordFailure(error.what());
    } catch (...) {
        // Anything else escaping a worker thread would end the whole program.
        RecordFailure("Unknown failure");
    }
    CloseOpenCodecs();
    ReleaseFilesAndOptions();
    ReportTermination();
}

void TCustomFFmpeg::RecordFailure(const std::string& message) {
    {
        std::lock_guard guard(runLock_);
        failed_ = true;
        errorMessage_ = message;
    }
    try {
        Log(-1, message);
    } catch (...) {
        // A handler's failure must not stop the termination report.
    }
}

void TCustomFFmpeg::ReportTermination() {
    const TTaskThreadScope scope(this);
    {
        std::lock_guard guard(runLock_);
        running_ = false;
        terminated_ = true;
        reporting_ = false;
        delivering_ = true;
        // The task keeps the thread object (in threads_) until it can join it.
        worker_ = nullptr;
    }
    if (TerminateSink) {
        try {
            TerminateSink(this);
        } catch (...) {
            // Same as above: the report is the end of the run, there is nobody left to tell.
        }
    }
    std::lock_guard guard(runLock_);
    delivering_ = false;
}

void TCustomFFmpeg::Stop() {
    StopRequested = true;
    {
        std::lock_guard guard(pauseLock_);
        pauseRequested_ = false;
    }
    pauseChanged_.notify_all();
    // A worker that was never resumed must still run to see the flag and report. Resumed with
    // the lock released: without a system thread to spare it runs right here.
    std::shared_ptr<TFFmpegThread> worker;
    {
        std::lock_guard guard(runLock_);
        worker = worker_;
    }
    if (worker)
        worker->Resume();
}

bool TCustomFFmpeg::StopOrFinish() {
    // Made beforehand, so that a failure to make it cannot leave a report promised and never
    // given; dropped when not needed.
    auto reporter = std::make_shared<TDoTerminateThread>(this, TTaskUse(*this));
    bool stop = false;
    bool report = false;
    std::vector<std::shared_ptr<TSuspendedThread>> ended;
    {
        std::lock_guard guard(runLock_);
        if (running_) {
            stop = true;
        } else if (!terminated_ && !reporting_) {
            reporting_ = true;
            report = true;
            ended = TakeEnded(threads_);
            threads_.push_back(reporter);
        }
    }
    if (stop)
        Stop();
    if (!report)
        return false;
    reporter->Resume();
    return true;
}

void TCustomFFmpeg::Pause() {
    std::lock_guard guard(runLock_);
    if (!worker_)
        return;
    std::lock_guard pause(pauseLock_);
    pauseRequested_ = true;
}

void TCustomFFmpeg::Resume() {
    {
        std::lock_guard guard(pauseLock_);
        pauseRequested_ = false;
    }
    pauseChanged_.notify_all();
}

bool TCustomFFmpeg::KeepRunning() {
    if (pauseRequested_.load()) {
        std::unique_lock guard(pauseLock_);
        parked_ = true;
        pauseChanged_.wait(guard,
                           [this] { return !pauseRequested_.load() || StopRequested.load(); });
        parked_ = false;
    }
    return !StopRequested.load();
}

bool TCustomFFmpeg::ThreadsActive() const {
    std::lock_guard guard(runLock_);
    return uses_ > 0;
}

bool TCustomFFmpeg::ReportDue() const {
    std::lock_guard guard(runLock_);
    return running_ || reporting_ || delivering_;
}

bool TCustomFFmpeg::Running() const {
    std::lock_guard guard(runLock_);
    return running_;
}

bool TCustomFFmpeg::Terminated() const {
    std::lock_guard guard(runLock_);
    return terminated_;
}

bool TCustomFFmpeg::Failed() const {
    std::lock_guard guard(runLock_);
    return failed_;
}

std::string TCustomFFmpeg::ErrorMessage() const {
    std::lock_guard guard(runLock_);
    return errorMessage_;
}

TJobResult TCustomFFmpeg::Result() const {
    std::lock_guard guard(runLock_);
    if (failed_)
        return jrFailed;
    if (Finished)
        return jrFinished;
    if (!IncompleteReason.empty())
        return jrIncomplete;
    return jrStopped;
}

std::string TCustomFFmpeg::ResultMessage() const {
    std::lock_guard guard(runLock_);
    if (failed_)
        return errorMessage_;
    return Finished ? std::string() : IncompleteReason;
}

void TCustomFFmpeg::ReleaseFilesAndOptions() {
    if (!LibrariesLoaded())
        return;
    // Outputs that did not reach their rename are temporary files, removed here.
    ReleaseFiles();
    ResetOptionState();
}

void TCustomFFmpeg::ResetState() {
    if (!LibrariesLoaded())
        return;
    {
        // Files and options belong to the run while one is going.
        std::lock_guard guard(runLock_);
        if (running_ || reporting_)
            return;
        terminated_ = false;
        failed_ = false;
        errorMessage_.clear();
    }
    OpenFilesForRun = nullptr;
    ReleaseFilesAndOptions();
    InitOptions(); // the defaults include an expected total duration of -1
    StopRequested = false;
    Finished = false;
    IncompleteReason.clear();
    pauseRequested_ = false;
}

bool TCustomFFmpeg::JoinEndedThreads() {
    std::vector<std::shared_ptr<TSuspendedThread>> ended;
    bool left = false;
    {
        std::lock_guard guard(runLock_);
        ended = TakeEnded(threads_);
        left = !threads_.empty();
    }
    // Joined here, with the lock released: each body has ended, so the join waits for no work.
    ended.clear();
    return !left;
}

void TCustomFFmpeg::StopAndWait() {
    Stop();
    std::vector<std::shared_ptr<TSuspendedThread>> threads;
    {
        std::lock_guard guard(runLock_);
        threads = threads_;
    }
    // A report set off but not yet under way must still run for the wait below to end.
    for (const auto& thread : threads)
        thread->Resume();
    threads.clear();
    IMainThreadDispatcher* dispatcher = MainThreadDispatcher();
    if (dispatcher && dispatcher->IsMainThread()) {
        const auto done = [this] { return !ThreadsActive(); };
        while (!dispatcher->WaitServing(done, std::chrono::milliseconds(100))) {
        }
    }
    {
        std::unique_lock guard(runLock_);
        usesChanged_.wait(guard, [this] { return uses_ == 0; });
        threads.swap(threads_);
        worker_ = nullptr;
    }
    // Joined here, with the lock released; every body has ended or is about to.
    threads.clear();
}

} // namespace velto
