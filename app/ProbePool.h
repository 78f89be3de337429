// Probes media files on a few threads of its own, each thread with a probe of its own, and hands
// back what each file holds in the order the files were given: a file's outcome waits only for
// those given before it, never for the whole lot. Plain C++; Add, Drop and the destructor belong
// to one thread (the window's), the hand-over runs on a pool thread with no lock of the pool held.
#pragma once

#include "JobBuilder.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velto {

struct TProbeOutcome {
    // Files are numbered from 0 in the order they were given, across every Add.
    std::uint64_t Ticket = 0;
    std::string File;
    // Dropped before it was probed: nothing else is filled.
    bool Dropped = false;
    bool Readable = false;
    std::string Error; // the probe's text when not readable
    TSourceSummary Source;
};

class TProbePool {
public:
    // Outcomes in ticket order, a run of consecutive tickets at a time, one call at a time.
    using TDeliver = std::function<void(std::vector<TProbeOutcome>&&)>;

    TProbePool(int threads, TDeliver deliver);
    // Waits for the probes under way; outcomes not handed over by then never are.
    ~TProbePool();
    TProbePool(const TProbePool&) = delete;
    TProbePool& operator=(const TProbePool&) = delete;

    // Queues files; the ticket of the first (the others follow it).
    std::uint64_t Add(const std::vector<std::string>& files);
    // Files of tickets in [from, to) not yet probed are not probed: they come back Dropped.
    void Drop(std::uint64_t from, std::uint64_t to);
    // The ticket the next file added will take.
    std::uint64_t NextTicket() const;
    int Threads() const { return static_cast<int>(threads_.size()); }

private:
    struct TQueued {
        std::uint64_t Ticket;
        std::string File;
        bool Dropped;
    };
    void Work(const std::stop_token& stop);
    // Keeps the outcome and hands over every outcome now in order; the lock is held on entry.
    void Deliver(std::unique_lock<std::mutex>& lock, TProbeOutcome outcome);

    TDeliver deliver_;
    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<TQueued> queue_;
    std::map<std::uint64_t, TProbeOutcome> done_; // probed, waiting for an earlier ticket
    std::uint64_t nextTicket_ = 0;
    std::uint64_t nextDelivery_ = 0;
    bool delivering_ = false;
    std::vector<std::jthread> threads_; // last: stopped and joined first
};

} // namespace velto
