// Thread classes of the transcoding task: a thread object is created suspended and its system
// thread starts on Resume. The task owns the thread objects it makes and joins them once no
// thread uses it any more; a thread's body holds a TTaskUse, so the task cannot go while the body
// runs, and a thread object never holds a reference to itself, so it is never freed on its own
// thread by accident.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace velto {

class TCustomFFmpeg;

// Worker thread priorities: idle, lowest, lower, normal.
enum TConvertPriority { tpIdle, tpLowest, tpLower, tpNormal };

// Gives the calling thread a priority: SCHED_IDLE for tpIdle, otherwise the normal policy with
// nice 15, 10 or 0. False when the system refused (raising a priority may need privileges).
bool SetCurrentThreadPriority(TConvertPriority priority);

// One thread's hold on a task: while any exists the task is not freed (its destructor waits for
// the last one to be released). The count lives in the task, changed only here.
class TTaskUse {
public:
    TTaskUse() = default;
    explicit TTaskUse(TCustomFFmpeg& task);
    TTaskUse(TTaskUse&& other) noexcept : task_(other.task_) { other.task_ = nullptr; }
    TTaskUse& operator=(TTaskUse&& other) noexcept;
    TTaskUse(const TTaskUse&) = delete;
    TTaskUse& operator=(const TTaskUse&) = delete;
    ~TTaskUse() { Release(); }

    void Release();

private:
    TCustomFFmpeg* task_ = nullptr;
};

class TSuspendedThread {
public:
    TSuspendedThread(const TSuspendedThread&) = delete;
    TSuspendedThread& operator=(const TSuspendedThread&) = delete;

    // Joins the system thread. On that thread itself (its last owner let go from inside it) the
    // thread is handed over to be joined as the program ends, since none may join itself. The
    // owner lets go only once the body has ended (the task waits for its TTaskUse).
    virtual ~TSuspendedThread();

    // Starts the thread; later calls do nothing. Any thread. When no system thread can be made
    // the body runs on the caller, so that the work and its report are never lost.
    void Resume();
    // The body has run to its end; joining the thread no longer waits for any work.
    bool Ended() const { return ended_.load(); }

protected:
    TSuspendedThread(TConvertPriority priority, TTaskUse use)
        : priority_(priority), use_(std::move(use)) {}
    virtual void Execute() = 0;

private:
    void Body(bool ownThread);

    const TConvertPriority priority_;
    std::atomic<bool> resumed_{false};
    std::atomic<bool> ended_{false};
    TTaskUse use_;          // moved into the body, which releases it as it ends
    std::mutex threadLock_; // the system thread is set on one thread and joined on another
    std::jthread thread_;
};

// Runs a task's run wrapper.
class TFFmpegThread : public TSuspendedThread {
public:
    TFFmpegThread(TCustomFFmpeg* task, TConvertPriority priority, TTaskUse use)
        : TSuspendedThread(priority, std::move(use)), task_(task) {}

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
    TDoTerminateThread(TCustomFFmpeg* task, TTaskUse use)
        : TSuspendedThread(tpIdle, std::move(use)), task_(task) {}

protected:
    void Execute() override;

private:
    TCustomFFmpeg* const task_;
};

} // namespace velto
