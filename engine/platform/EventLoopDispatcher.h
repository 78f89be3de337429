// The engine's own main-thread dispatcher: a small event loop for programs without a GUI toolkit
// (tests, command-line tools). The thread that constructs it is its main thread; Run, RunPending,
// WaitServing and Shutdown belong to that thread.
#pragma once

#include "MainThreadDispatcher.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace velto {

class TEventLoopDispatcher : public IMainThreadDispatcher {
public:
    using Clock = std::chrono::steady_clock;

    TEventLoopDispatcher();
    // Shuts down: waiting callers of PostAndWait are released with false.
    ~TEventLoopDispatcher() override;
    TEventLoopDispatcher(const TEventLoopDispatcher&) = delete;
    TEventLoopDispatcher& operator=(const TEventLoopDispatcher&) = delete;

    bool IsMainThread() const override;
    bool Post(std::function<void()> work) override;
    bool PostAndWait(std::function<void()> work) override;
    void SingleShot(std::chrono::milliseconds delay, std::function<void()> work) override;
    bool WaitServing(const std::function<bool()>& done, std::chrono::milliseconds timeout) override;

    // Runs posted work and due timers until Quit is called. An exception thrown by posted work
    // leaves Run; calling Run again carries on.
    void Run();
    // Makes Run return after the work in hand; any thread.
    void Quit();
    // Runs the work posted and the timers due by now, without waiting; returns how many ran.
    int RunPending();
    // Drops every queued work item and timer, releases waiting PostAndWait callers with false and
    // refuses work from now on.
    void Shutdown();
    // Work items queued and not yet taken (timers not counted).
    size_t Pending() const;

private:
    // Takes the next runnable item: posted work first, then a due timer. Lock held.
    bool TakeNext(std::function<void()>& work, bool timers);

    const std::thread::id mainThread_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> queue_;
    std::multimap<Clock::time_point, std::function<void()>> timers_;
    bool quit_ = false;
    bool shutDown_ = false;
    int waiters_ = 0; // callers blocked in PostAndWait
};

} // namespace velto
