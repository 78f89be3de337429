// The worker thread classes and the per-thread priority.
#include "FFmpegThread.h"

#include "FFmpeg.h"
#include "LogBridge.h"

#include <sched.h>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace velto {

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

void TSuspendedThread::Resume() {
    if (resumed_.exchange(true))
        return;
    // Whichever thread runs the body keeps the object alive: the task drops its reference in
    // the body's own termination report.
    const std::shared_ptr<TSuspendedThread> self = shared_from_this();
    try {
        std::thread([self] { self->Body(true); }).detach();
    } catch (const std::system_error&) {
        Body(false);
    }
}

void TSuspendedThread::Body(bool ownThread) {
    // The caller's thread keeps its own priority.
    if (ownThread)
        SetCurrentThreadPriority(priority_);
    Execute();
}

void TFFmpegThread::Execute() {
    if (OnStarted)
        OnStarted(CurrentThreadId());
    task_->RunWrapper();
    task_->ThreadEnded();
}

void TDoTerminateThread::Execute() {
    task_->ReportTermination();
    task_->ThreadEnded();
}

} // namespace velto
