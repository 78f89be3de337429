// The one CodecLock of the process (defined here so that every task and unit shares it).
#include "CodecLock.h"

#include "LogBridge.h"

namespace velto {

namespace {

thread_local int codecLockDepth = 0;

} // namespace

void TCodecLock::lock() {
    mutex_.lock();
    ++codecLockDepth;
}

bool TCodecLock::try_lock() {
    if (!mutex_.try_lock())
        return false;
    ++codecLockDepth;
    return true;
}

void TCodecLock::unlock() {
    const bool outermost = --codecLockDepth == 0;
    mutex_.unlock();
    if (outermost)
        DeliverHeldLogLines();
}

bool TCodecLock::HeldByThisThread() {
    return codecLockDepth > 0;
}

TCodecLock& CodecLock() {
    static TCodecLock lock;
    return lock;
}

} // namespace velto
