#include "EventLoopDispatcher.h"

#include <exception>
#include <memory>

namespace velto {

namespace {

// How often a serving wait looks at its condition when nothing wakes it.
constexpr std::chrono::milliseconds kServingPollInterval{2};

struct CallState {
    bool done = false;
    std::exception_ptr error;
};

} // namespace

TEventLoopDispatcher::TEventLoopDispatcher() : mainThread_(std::this_thread::get_id()) {}

TEventLoopDispatcher::~TEventLoopDispatcher() {
    Shutdown();
    // Released callers still touch the lock on their way out; wait until they have left.
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return waiters_ == 0; });
}

bool TEventLoopDispatcher::IsMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

bool TEventLoopDispatcher::Post(std::function<void()> work) {
    {
        std::lock_guard guard(lock_);
        if (shutDown_)
            return false;
        queue_.push_back(std::move(work));
    }
    changed_.notify_all();
    return true;
}

bool TEventLoopDispatcher::PostAndWait(std::function<void()> work) {
    if (IsMainThread()) {
        work();
        return true;
    }
    auto state = std::make_shared<CallState>();
    auto call = [this, state, work = std::move(work)] {
        try {
            work();
        } catch (...) {
            state->error = std::current_exception();
        }
        {
            std::lock_guard guard(lock_);
            state->done = true;
        }
        changed_.notify_all();
    };

    std::unique_lock guard(lock_);
    if (shutDown_)
        return false;
    queue_.push_back(std::move(call));
    ++waiters_;
    changed_.notify_all();
    changed_.wait(guard, [&] { return state->done || shutDown_; });
    --waiters_;
    const bool ran = state->done;
    // The caller takes the exception over, so that the main thread never frees it under its feet.
    std::exception_ptr error = std::move(state->error);
    state->error = nullptr;
    if (shutDown_)
        changed_.notify_all();
    guard.unlock();
    if (ran && error)
        std::rethrow_exception(error);
    return ran;
}

void TEventLoopDispatcher::SingleShot(std::chrono::milliseconds delay, std::function<void()> work) {
    {
        std::lock_guard guard(lock_);
        if (shutDown_)
            return;
        timers_.emplace(Clock::now() + delay, std::move(work));
    }
    changed_.notify_all();
}

bool TEventLoopDispatcher::TakeNext(std::function<void()>& work, bool timers) {
    if (!queue_.empty()) {
        work = std::move(queue_.front());
        queue_.pop_front();
        return true;
    }
    if (timers && !timers_.empty() && timers_.begin()->first <= Clock::now()) {
        work = std::move(timers_.begin()->second);
        timers_.erase(timers_.begin());
        return true;
    }
    return false;
}

void TEventLoopDispatcher::Run() {
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock guard(lock_);
            for (;;) {
                if (quit_) {
                    quit_ = false;
                    return;
                }
                if (shutDown_)
                    return;
                if (TakeNext(work, true))
                    break;
                if (timers_.empty())
                    changed_.wait(guard);
                else
                    changed_.wait_until(guard, timers_.begin()->first);
            }
        }
        work();
    }
}

void TEventLoopDispatcher::Quit() {
    {
        std::lock_guard guard(lock_);
        quit_ = true;
    }
    changed_.notify_all();
}

int TEventLoopDispatcher::RunPending() {
    size_t limit;
    {
        // Work posted by the work we run waits for the next call, so this always returns.
        std::lock_guard guard(lock_);
        limit = queue_.size();
        const auto now = Clock::now();
        for (auto it = timers_.begin(); it != timers_.end() && it->first <= now; ++it)
            ++limit;
    }
    int ran = 0;
    for (; static_cast<size_t>(ran) < limit; ++ran) {
        std::function<void()> work;
        {
            std::lock_guard guard(lock_);
            if (!TakeNext(work, true))
                break;
        }
        work();
    }
    return ran;
}

bool TEventLoopDispatcher::WaitServing(const std::function<bool()>& done,
                                       std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    const bool serve = IsMainThread();
    for (;;) {
        if (done())
            return true;
        std::function<void()> work;
        {
            std::unique_lock guard(lock_);
            // Timers stay for the loop proper: only what workers may be blocked on runs here.
            if (!serve || !TakeNext(work, false)) {
                const auto now = Clock::now();
                if (now >= deadline)
                    break;
                changed_.wait_until(guard, std::min(deadline, now + kServingPollInterval));
                continue;
            }
        }
        work();
    }
    return done();
}

size_t TEventLoopDispatcher::Pending() const {
    std::lock_guard guard(lock_);
    return queue_.size();
}

void TEventLoopDispatcher::Shutdown() {
    std::deque<std::function<void()>> dropped;
    std::multimap<Clock::time_point, std::function<void()>> droppedTimers;
    {
        std::lock_guard guard(lock_);
        shutDown_ = true;
        dropped.swap(queue_);
        droppedTimers.swap(timers_);
    }
    changed_.notify_all();
}

} // namespace velto
