#include "ProbePool.h"

#include "AVProbe.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

namespace velto {

TProbePool::TProbePool(int threads, TDeliver deliver) : deliver_(std::move(deliver)) {
    for (int i = 0; i < std::max(1, threads); ++i)
        threads_.emplace_back([this](const std::stop_token& stop) { Work(stop); });
}

TProbePool::~TProbePool() {
    for (std::jthread& thread : threads_)
        thread.request_stop();
    threads_.clear();
}

std::uint64_t TProbePool::Add(const std::vector<std::string>& files) {
    std::lock_guard lock(mutex_);
    const std::uint64_t first = nextTicket_;
    for (const std::string& file : files)
        queue_.push_back({nextTicket_++, file, false});
    wake_.notify_all();
    return first;
}

void TProbePool::Drop(std::uint64_t from, std::uint64_t to) {
    std::lock_guard lock(mutex_);
    for (TQueued& queued : queue_)
        if (queued.Ticket >= from && queued.Ticket < to)
            queued.Dropped = true;
}

std::uint64_t TProbePool::NextTicket() const {
    std::lock_guard lock(mutex_);
    return nextTicket_;
}

void TProbePool::Work(const std::stop_token& stop) {
    // Probing decodes a few pictures of each file: below the window's thread, so that a few
    // thousand files never take the cores from it.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
    TAVProbe probe;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!wake_.wait(lock, stop, [this] { return !queue_.empty(); }))
            return;
        TQueued queued = std::move(queue_.front());
        queue_.pop_front();
        TProbeOutcome outcome;
        outcome.Ticket = queued.Ticket;
        outcome.File = std::move(queued.File);
        outcome.Dropped = queued.Dropped;
        if (!outcome.Dropped) {
            lock.unlock();
            try {
                outcome.Readable = probe.LoadFile(outcome.File);
                if (outcome.Readable)
                    outcome.Source = SummarizeSource(probe);
                else
                    outcome.Error = probe.LastError;
            } catch (const std::exception& error) {
                outcome.Readable = false;
                outcome.Error = error.what();
            }
            probe.Close();
            lock.lock();
        }
        if (stop.stop_requested())
            return;
        Deliver(lock, std::move(outcome));
    }
}

void TProbePool::Deliver(std::unique_lock<std::mutex>& lock, TProbeOutcome outcome) {
    done_.emplace(outcome.Ticket, std::move(outcome));
    // One thread hands over at a time, so that runs reach the receiver in order.
    if (delivering_)
        return;
    delivering_ = true;
    for (;;) {
        std::vector<TProbeOutcome> run;
        for (auto at = done_.begin(); at != done_.end() && at->first == nextDelivery_;
             at = done_.erase(at), ++nextDelivery_)
            run.push_back(std::move(at->second));
        if (run.empty())
            break;
        lock.unlock();
        deliver_(std::move(run));
        lock.lock();
    }
    delivering_ = false;
}

} // namespace velto
