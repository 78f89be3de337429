// The engine's main-thread dispatcher over the Qt event loop: the GUI thread is the main thread.
// Install it before the first StartTasks and keep it alive until the engine is gone.
#pragma once

#include "MainThreadDispatcher.h"

#include <memory>

namespace velto {

class TQtMainThreadDispatcher : public IMainThreadDispatcher {
public:
    // Construct on the GUI thread, after the QCoreApplication.
    TQtMainThreadDispatcher();
    // Refuses work from now on and releases callers waiting in PostAndWait with false.
    ~TQtMainThreadDispatcher() override;

    bool IsMainThread() const override;
    bool Post(std::function<void()> work) override;
    bool PostAndWait(std::function<void()> work) override;
    void SingleShot(std::chrono::milliseconds delay, std::function<void()> work) override;
    bool WaitServing(const std::function<bool()>& done, std::chrono::milliseconds timeout) override;

    struct TCore;

private:
    // Shared with the queued work, which may still sit in the event queue after the dispatcher
    // is gone.
    std::shared_ptr<TCore> core_;
};

} // namespace velto
