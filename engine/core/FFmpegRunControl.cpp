// Run control of a task: start (on the caller's thread or a worker), the run wrapper that always
// cleans up, stop, cooperative pause and resume, the termination report and the waits that keep
// a task alive while one of its threads still uses it.
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

std::shared_ptr<TFFmpegThread> TCustomFFmpeg::Start(bool threaded, TConvertPriority priority) {
    const char* missing = nullptr;
    {
        std::lock_guard guard(runLock_);
        if (running_ || terminated_ || reporting_)
            return nullptr;
        if (OutputFiles.empty())
            missing = "Must supply at least one output file";
        else if (InputFiles.empty())
            missing = "Must supply at least one input file";
        if (missing) {
            reporting_ = true;
        } else {
            running_ = true;
            StopRequested = false;
            Finished = false;
            IncompleteReason.clear();
            failed_ = false;
            errorMessage_.clear();
            pauseRequested_ = false;
        }
    }
    // The caller's thread uses the task until its report is through: a handler that frees the
    // task meanwhile must leave that to later.
    if (missing) {
        ThreadStarted();
        ReleaseFilesAndOptions();
        RecordFailure(missing);
        ReportTermination();
        ThreadEnded();
        return nullptr;
    }
    if (!threaded) {
        ThreadStarted();
        RunWrapper();
        ThreadEnded();
        return nullptr;
    }
    auto thread = std::make_shared<TFFmpegThread>(this, priority);
    std::lock_guard guard(runLock_);
    worker_ = thread;
    activeThreads_.fetch_add(1);
    return thread;
}

void TCustomFFmpeg::RunWrapper() {
    const TTaskThreadScope scope(this);
    Finished = false;
    IncompleteReason.clear();
    try {
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
        worker_ = nullptr;
    }
    if (!TerminateSink)
        return;
    try {
        TerminateSink(this);
    } catch (...) {
        // Same as above: the report is the end of the run, there is nobody left to tell.
    }
}

void TCustomFFmpeg::Stop() {
    StopRequested = true;
    {
        std::lock_guard guard(pauseLock_);
        pauseRequested_ = false;
    }
    pauseChanged_.notify_all();
    // A worker that was never resumed must still run to see the flag and report.
    std::lock_guard guard(runLock_);
    if (worker_)
        worker_->Resume();
}

bool TCustomFFmpeg::StopOrFinish() {
    bool stop = false;
    std::shared_ptr<TDoTerminateThread> reporter;
    {
        std::lock_guard guard(runLock_);
        if (running_) {
            stop = true;
        } else if (!terminated_ && !reporting_) {
            reporting_ = true;
            activeThreads_.fetch_add(1);
            reporter = std::make_shared<TDoTerminateThread>(this);
        }
    }
    if (stop)
        Stop();
    if (reporter)
        reporter->Resume();
    return reporter != nullptr;
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
    ReleaseFilesAndOptions();
    InitOptions(); // the defaults include an expected total duration of -1
    StopRequested = false;
    Finished = false;
    IncompleteReason.clear();
    pauseRequested_ = false;
}

void TCustomFFmpeg::StopAndWait() {
    Stop();
    const auto done = [this] { return activeThreads_.load() == 0; };
    if (done())
        return;
    IMainThreadDispatcher* dispatcher = MainThreadDispatcher();
    const bool serve = dispatcher && dispatcher->IsMainThread();
    constexpr auto kStep = std::chrono::milliseconds(100);
    // Ten waits of 100 ms are what a stopped loop normally needs; past them the task still cannot
    // go while a thread uses it, so the wait goes on.
    while (!done()) {
        if (serve) {
            dispatcher->WaitServing(done, kStep);
            continue;
        }
        const auto deadline = std::chrono::steady_clock::now() + kStep;
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace velto
