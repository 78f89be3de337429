// The engine's log levels, the process-wide threshold, and the bridge that turns the libraries'
// log calls into whole lines for every registered receiver. Any thread may log.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <map>
#include <string>

namespace velto {

// Engine log level numbers: -1 quiet, 0 errors and warnings, 1 information, 2 debug, 3 everything.
enum TLogLevel { llQuiet, llError, llInfo, llDebug, llAll };

// The library's AV_LOG_* value for an engine level (also the level engine messages are logged at).
int AVLevelFromLibraryLevel(int level);
// The engine level of a message the library logged at an AV_LOG_* value.
int LibraryLevelFromAV(int avLevel);
// Maps an engine level onto TLogLevel: below 0 quiet, 0 error, 1 info, 2 debug, 3 and above all.
TLogLevel LogLevelFromLibraryLevel(int level);

// Engine level up to which library messages are processed.
int LogThreshold();
void SetLogThreshold(int level);
// Sets the library's own level from an engine level and reads the threshold back from it.
void SetLibraryLogLevel(int level);

// Logs through the bound utility library with no context, like the library's own messages.
void EngineLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Current kernel thread id; tasks are matched to library log lines by it.
std::uint32_t CurrentThreadId();

// Receives every completed library log line. Registered receivers must unregister before dying.
class ILibraryLogReceiver {
public:
    virtual ~ILibraryLogReceiver() = default;
    // Called on the thread that logged, with no lock of the registry held, so that what it
    // calls may log or register in turn.
    virtual void LibraryLogLine(std::uint32_t threadId, int level, const std::string& line) = 0;
};

// The process-wide lock of the log registry: the receiver list and the per-thread line assembly.
// Lock order of the engine: this lock first, then a component's lock, then a task's run-state
// lock, then CodecLock. It is held only inside the bridge, around its own lists, so today no other
// lock is taken while it is held. Not re-entrant.
class TLogRegistryLock {
public:
    TLogRegistryLock();
    ~TLogRegistryLock();
    TLogRegistryLock(const TLogRegistryLock&) = delete;
    TLogRegistryLock& operator=(const TLogRegistryLock&) = delete;
};

// The calling thread holds the registry lock or is delivering a library line (it may be a
// codec's own thread, which a task's worker waits for): it must not wait for a task's thread.
bool LogRegistryHeldByThisThread();

// Delivers the library lines this thread logged while it held CodecLock (CodecLock calls it when
// it is left).
void DeliverHeldLogLines();

void RegisterLogReceiver(ILibraryLogReceiver* receiver);
// Returns once no other thread is delivering a line, so the receiver may go then.
void UnregisterLogReceiver(ILibraryLogReceiver* receiver);

// Per-thread text of log lines that have not been ended by a line feed yet.
class TLogList {
public:
    std::string& FindItem(std::uint32_t threadId) { return pending_[threadId]; }
    void Clear() { pending_.clear(); }

private:
    std::map<std::uint32_t, std::string> pending_;
};

// Drops every thread's unfinished line (takes the registry lock).
void ClearLogList();

// The callback installed into the utility library.
void LogCallback(void* context, int avLevel, const char* format, va_list args);
// Installs LogCallback and sets the library level; needs the libraries bound.
void InstallLogCallback(int level);

} // namespace velto
