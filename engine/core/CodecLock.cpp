// The one CodecLock of the process (defined here so that every task and unit shares it).
#include "CodecLock.h"

namespace velto {

std::recursive_mutex& CodecLock() {
    static std::recursive_mutex lock;
    return lock;
}

} // namespace velto
