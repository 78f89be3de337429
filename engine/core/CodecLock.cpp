// The one CodecLock of the process (defined here so that every task and unit shares it).
#include "CodecLock.h"

#include "LogBridge.h"

namespace velto {

namespace {

thread_local bool codecLockHeld = false;

} // namespace

void TCodecLock::lock() {
    mutex_.lock();
    codecLockHeld = true;
}

bool TCodecLock::try_lock() {
    if (!mutex_.try_lock())
        return false;
    codecLockHeld = true;
    return true;
}

void TCodecLock::unlock() {
    codecLockHeld = false;
    mutex_.unlock();
    DeliverHeldLogLines();
}

bool TCodecLock::HeldByThisThread() {
    return codecLockHeld;
}

TCodecLock& CodecLock() {
    static TCodecLock lock;
    return lock;
}

} // namespace velto
