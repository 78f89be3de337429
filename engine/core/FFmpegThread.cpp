// The worker thread classes and the per-thread priority.
#include "FFmpegThread.h"

#include "FFmpeg.h"
#include "LogBridge.h"

#include <mutex>
#include <sched.h>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace velto {

namespace {

// Threads whose last owner let go on the thread itself. They are joined as the program ends:
// joining one earlier could wait for whatever that thread still does.
std::vector<std::jthread>& HandedOver() {
    static std::vector<std::jthread> threads;
    return threads;
}

void HandOver(std::jthread thread) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    HandedOver().push_back(std::move(thread));
}

} // namespace

bool SetCurrentThreadPriority(TConvertPriority priority) {
    const pid_t thread = gettid();
    sched_param param{};
    param.sched_priority = 0;
    if (priority == tpIdle)
        return sched_setscheduler(thread, SCHED_IDLE, &param) == 0;
    // A thread inherits its creator's policy; an idle creator must not make idle workers.
    if (sched_getscheduler(thread) == SCHED_IDLE &&
        sched_setscheduler(thread, SCHED_OTHER, &param) != 0)
        return false;
    static constexpr int kNice[] = {19, 15, 10, 0};
    return setpriority(PRIO_PROCESS, static_cast<id_t>(thread), kNice[priority]) == 0;
}

TSuspendedThread::~TSuspendedThread() {
    std::jthread thread;
    {
        std::lock_guard guard(threadLock_);
        thread = std::move(thread_);
    }
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id())
        HandOver(std::move(thread));
    else
        thread.join();
}

void TSuspendedThread::Resume() {
    if (resumed_.exchange(true))
        return;
    try {
        // The owner joins the thread before this object goes, so the body may use it.
        std::lock_guard guard(threadLock_);
        thread_ = std::jthread([this] { Body(true); });
    } catch (const std::system_error&) {
        Body(false);
    }
}

void TSuspendedThread::Body(bool ownThread) {
    struct TEnd {
        std::atomic<bool>& ended;
        ~TEnd() { ended.store(true); }
    } end{ended_};
    // Released as the body ends, however it ends: the task may go from then on.
    const TTaskUse use = std::move(use_);
    // The caller's thread keeps its own priority.
    if (ownThread)
        SetCurrentThreadPriority(priority_);
    Execute();
}

void TFFmpegThread::Execute() {
    if (OnStarted)
        OnStarted(CurrentThreadId());
    task_->RunWrapper();
}

void TDoTerminateThread::Execute() {
    task_->ReportTermination();
}

} // namespace velto
