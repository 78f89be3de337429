#include "LogBridge.h"

#include "AVUtilHlpr.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace velto {

namespace {

std::atomic<int> logThreshold{1};

// Guards the receiver list and the per-thread line assembly; always taken before a receiver's
// own lock.
std::recursive_mutex& RegistryLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::vector<ILibraryLogReceiver*>& Receivers() {
    static std::vector<ILibraryLogReceiver*> receivers;
    return receivers;
}

TLogList& LogList() {
    static TLogList list;
    return list;
}

constexpr size_t kLineBufferSize = 2048;

} // namespace

int AVLevelFromLibraryLevel(int level) {
    if (level < 0)
        return AV_LOG_QUIET;
    switch (level) {
    case 0:
        return AV_LOG_WARNING;
    case 1:
        return AV_LOG_INFO;
    case 2:
        return AV_LOG_DEBUG;
    default:
        return AV_LOG_TRACE;
    }
}

int LibraryLevelFromAV(int avLevel) {
    if (avLevel < AV_LOG_PANIC)
        return -1;
    if (avLevel <= AV_LOG_WARNING)
        return 0;
    if (avLevel <= AV_LOG_INFO)
        return 1;
    if (avLevel <= AV_LOG_DEBUG)
        return 2;
    return 3;
}

TLogLevel LogLevelFromLibraryLevel(int level) {
    if (level < 0)
        return llQuiet;
    if (level >= 3)
        return llAll;
    return static_cast<TLogLevel>(level + 1);
}

int LogThreshold() {
    return logThreshold.load(std::memory_order_relaxed);
}

void SetLogThreshold(int level) {
    logThreshold.store(level, std::memory_order_relaxed);
}

void SetLibraryLogLevel(int level) {
    AVUtilHlpr::av_log_set_level(AVLevelFromLibraryLevel(level));
    SetLogThreshold(LibraryLevelFromAV(AVUtilHlpr::av_log_get_level()));
}

void EngineLog(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (AVUtilHlpr::av_vlog)
        AVUtilHlpr::av_vlog(nullptr, AVLevelFromLibraryLevel(level), format, args);
    va_end(args);
}

std::uint32_t CurrentThreadId() {
    return static_cast<std::uint32_t>(gettid());
}

void RegisterLogReceiver(ILibraryLogReceiver* receiver) {
    std::lock_guard lock(RegistryLock());
    Receivers().push_back(receiver);
}

void UnregisterLogReceiver(ILibraryLogReceiver* receiver) {
    std::lock_guard lock(RegistryLock());
    auto& receivers = Receivers();
    receivers.erase(std::remove(receivers.begin(), receivers.end(), receiver), receivers.end());
}

void ClearLogList() {
    std::lock_guard lock(RegistryLock());
    LogList().Clear();
}

void LogCallback(void* context, int avLevel, const char* format, va_list args) {
    const int level = LibraryLevelFromAV(avLevel);
    if (LogThreshold() < level)
        return;
    std::lock_guard lock(RegistryLock());
    const std::uint32_t threadId = CurrentThreadId();
    std::string& pending = LogList().FindItem(threadId);

    // The line is assembled in a fixed buffer; longer text is cut to it, but a cut message keeps
    // its closing line feed so that the thread's next line does not pile onto an endless one.
    char buffer[kLineBufferSize];
    int used = 0;
    if (context && pending.empty()) {
        const AVClass* avClass = *static_cast<const AVClass**>(context);
        const char* itemName = avClass && avClass->item_name ? avClass->item_name(context) : "";
        used = std::snprintf(buffer, sizeof buffer, "[%s @ %08" PRIXPTR "]", itemName,
                             reinterpret_cast<uintptr_t>(avClass));
    } else {
        used = std::snprintf(buffer, sizeof buffer, "%s", pending.c_str());
    }
    used = std::clamp(used, 0, static_cast<int>(sizeof buffer) - 1);
    const size_t room = sizeof buffer - static_cast<size_t>(used);
    va_list copy;
    va_copy(copy, args);
    const int wanted = std::vsnprintf(buffer + used, room, format, args);
    if (wanted >= static_cast<int>(room)) {
        std::string whole(static_cast<size_t>(wanted) + 1, '\0');
        std::vsnprintf(whole.data(), whole.size(), format, copy);
        if (whole[static_cast<size_t>(wanted) - 1] == '\n')
            buffer[sizeof buffer - 2] = '\n';
    }
    va_end(copy);

    std::string text = buffer;
    size_t lineFeed;
    while ((lineFeed = text.find('\n')) != std::string::npos) {
        const std::string line = text.substr(0, lineFeed);
        text.erase(0, lineFeed + 1);
        for (ILibraryLogReceiver* receiver : Receivers())
            receiver->LibraryLogLine(threadId, level, line);
    }
    pending = text;
}

void InstallLogCallback(int level) {
    AVUtilHlpr::av_log_set_callback(&LogCallback);
    SetLibraryLogLevel(level);
}

} // namespace velto
