// The process-wide lock around stream probing and every codec open and close: the libraries do not
// allow those calls to run concurrently from several tasks.
//
// Lock order of the engine: the log registry's lock, then an engine component's lock, then a
// task's run-state lock, then this one. The libraries log while this lock is held (an encoder
// announcing itself at open); such lines are kept on the logging thread and delivered once it
// leaves this lock, so that no log handler runs inside it (a handler that opens a file takes it,
// and it is not re-entrant) and a thread holding it never waits for the registry.
#pragma once

#include <mutex>

namespace velto {

class TCodecLock {
public:
    void lock();
    void unlock();
    bool try_lock();
    // The calling thread holds the lock.
    static bool HeldByThisThread();

private:
    // Not re-entrant: no code holding it calls back into anything that takes it.
    std::mutex mutex_;
};

TCodecLock& CodecLock();

} // namespace velto
