#include "MainThreadDispatcher.h"

#include <atomic>

namespace velto {

namespace {
std::atomic<IMainThreadDispatcher*> currentDispatcher{nullptr};
}

IMainThreadDispatcher* MainThreadDispatcher() {
    return currentDispatcher.load();
}

void SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher) {
    currentDispatcher = dispatcher;
}

bool RunOnMainThread(const std::function<void()>& work) {
    IMainThreadDispatcher* dispatcher = MainThreadDispatcher();
    if (!dispatcher || dispatcher->IsMainThread()) {
        work();
        return true;
    }
    return dispatcher->PostAndWait(work);
}

} // namespace velto
