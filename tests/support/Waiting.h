// Waiting in tests for what another thread brings about, with generous bounds so that a loaded
// machine is slow but never wrong; and the count of this process's threads, to tell that the
// threads a test made are gone (joined, not merely done with their work).
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <thread>

namespace velto::test {

inline constexpr std::chrono::seconds kGenerousWait{120};

// Waits until done() holds, for at most timeout; returns done(). For states nothing signals (a
// worker parked, a queue filled): the condition is looked at often, the caller never guesses a
// time.
template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds timeout = kGenerousWait) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto step = std::chrono::microseconds(100);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        std::this_thread::sleep_for(step);
        step = std::min<std::chrono::microseconds>(step * 2, std::chrono::milliseconds(5));
    }
    return true;
}

// A value that other threads change and one thread waits on.
template <typename T> class TWatched {
public:
    explicit TWatched(T initial = T{}) : value_(initial) {}

    template <typename Change> void Update(Change change) {
        {
            std::lock_guard guard(lock_);
            change(value_);
        }
        changed_.notify_all();
    }
    T Get() const {
        std::lock_guard guard(lock_);
        return value_;
    }
    // Waits until holds(value) is true; returns whether it came within timeout.
    template <typename Predicate>
    bool WaitFor(Predicate holds, std::chrono::milliseconds timeout = kGenerousWait) const {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, timeout, [&] { return holds(value_); });
    }

private:
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    T value_;
};

// Threads of this process now.
inline int ProcessThreadCount() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                          std::filesystem::directory_iterator()));
}

} // namespace velto::test
