// Hand-off of work to the main thread, the one that owns the windows. The desktop program
// installs its own implementation over its GUI event loop; tests and command-line tools use
// TEventLoopDispatcher. Every member may be called from any thread unless it says otherwise.
#pragma once

#include <chrono>
#include <functional>

namespace velto {

class IMainThreadDispatcher {
public:
    virtual ~IMainThreadDispatcher() = default;

    virtual bool IsMainThread() const = 0;

    // Queues work for the main thread. False when the dispatcher no longer takes work.
    virtual bool Post(std::function<void()> work) = 0;

    // Runs work on the main thread and waits until it has run; on the main thread itself it runs
    // at once. Returns false, without running it, when the dispatcher shuts down first. An
    // exception thrown by work is rethrown to the caller.
    virtual bool PostAndWait(std::function<void()> work) = 0;

    // Runs work once on the main thread after delay.
    virtual void SingleShot(std::chrono::milliseconds delay, std::function<void()> work) = 0;

    // Main thread only: waits at most timeout for done() to hold while still running posted work,
    // so that a worker blocked in PostAndWait can get on and finish. Returns done().
    virtual bool WaitServing(const std::function<bool()>& done,
                             std::chrono::milliseconds timeout) = 0;
};

// The process-wide dispatcher. Install it before any worker may need it and keep it alive until
// the last worker has ended; none is installed at first.
IMainThreadDispatcher* MainThreadDispatcher();
void SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher);

// Runs work on the main thread through the current dispatcher and waits for it. Without a
// dispatcher (a program with no windows) it runs on the calling thread. False when the
// dispatcher refused the work.
bool RunOnMainThread(const std::function<void()>& work);

} // namespace velto
