// Thread classes of the transcoding task: a thread object is created suspended and its system
// thread starts on Resume. Thread objects are shared: the system thread holds one reference for
// as long as its body runs, the task another until it reports its termination, so the object
// outlives whichever of them ends last.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace velto {

class TCustomFFmpeg;

// Worker thread priorities: idle, lowest, lower, normal.
enum TConvertPriority { tpIdle, tpLowest, tpLower, tpNormal };

// Gives the calling thread a priority: SCHED_IDLE for tpIdle, otherwise the normal policy with
// nice 15, 10 or 0. False when the system refused (raising a priority may need privileges).
bool SetCurrentThreadPriority(TConvertPriority priority);

class TSuspendedThread : public std::enable_shared_from_this<TSuspendedThread> {
public:
    TSuspendedThread(const TSuspendedThread&) = delete;
    TSuspendedThread& operator=(const TSuspendedThread&) = delete;

    virtual ~TSuspendedThread() = default;

    // Starts the thread; later calls do nothing. Any thread. When no system thread can be made
    // the body runs on the caller, so that the work and its report are never lost. The object
    // must be held by a std::shared_ptr.
    void Resume();

protected:
    explicit TSuspendedThread(TConvertPriority priority) : priority_(priority) {}
    virtual void Execute() = 0;

private:
    void Body(bool ownThread);

    const TConvertPriority priority_;
    std::atomic<bool> resumed_{false};
};

// Runs a task's run wrapper.
class TFFmpegThread : public TSuspendedThread {
public:
    TFFmpegThread(TCustomFFmpeg* task, TConvertPriority priority)
        : TSuspendedThread(priority), task_(task) {}

    // Called on the worker with its thread id before the run starts, so that library log lines
    // can be matched to the task from the first one on. Set it before Resume.
    std::function<void(std::uint32_t threadId)> OnStarted;

protected:
    void Execute() override;

private:
    TCustomFFmpeg* const task_;
};

// Delivers the termination report of a task that never ran, off the caller's thread.
class TDoTerminateThread : public TSuspendedThread {
public:
    explicit TDoTerminateThread(TCustomFFmpeg* task) : TSuspendedThread(tpIdle), task_(task) {}

protected:
    void Execute() override;

private:
    TCustomFFmpeg* const task_;
};

} // namespace velto
