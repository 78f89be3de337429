// The one PreviewLock of the process, shared by every task.
#include "PreviewLock.h"

namespace velto {

std::mutex& PreviewLock() {
    static std::mutex lock;
    return lock;
}

} // namespace velto
