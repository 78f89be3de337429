// The process-wide lock around every task's preview tap. A task waits for the main thread while it
// holds it, so the main thread must never wait for this lock.
#pragma once

#include <mutex>

namespace velto {

std::mutex& PreviewLock();

} // namespace velto
