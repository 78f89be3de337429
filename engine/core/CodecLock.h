// The process-wide lock around stream probing and every codec open and close: the libraries do not
// allow those calls to run concurrently from several tasks.
#pragma once

#include <mutex>

namespace velto {

std::recursive_mutex& CodecLock();

} // namespace velto
