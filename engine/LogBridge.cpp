#include "LogBridge.h"

#include "AVUtilHlpr.h"
#include "CodecLock.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <unistd.h>
#include <vector>

namespace velto {

namespace {

std::atomic<int> logThreshold{1};

// Guards the receiver list, the per-thread line assembly and the count of deliveries; taken
// through TLogRegistryLock, before a receiver's own lock. Receivers are called without it.
std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

// Deliveries under way on any thread, and on this one; a receiver leaves once the other threads'
// deliveries are through. Signalled when one ends.
int deliveries = 0;
thread_local int deliveriesOfThisThread = 0;

std::condition_variable& DeliveryEnded() {
    static std::condition_variable ended;
    return ended;
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

thread_local int registryDepth = 0;

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

TLogRegistryLock::TLogRegistryLock() {
    RegistryLock().lock();
    ++registryDepth;
}

TLogRegistryLock::~TLogRegistryLock() {
    --registryDepth;
    RegistryLock().unlock();
}

bool LogRegistryHeldByThisThread() {
    return registryDepth > 0 || deliveriesOfThisThread > 0;
}

void RegisterLogReceiver(ILibraryLogReceiver* receiver) {
    const TLogRegistryLock lock;
    Receivers().push_back(receiver);
}

void UnregisterLogReceiver(ILibraryLogReceiver* receiver) {
    std::unique_lock lock(RegistryLock());
    auto& receivers = Receivers();
    receivers.erase(std::remove(receivers.begin(), receivers.end(), receiver), receivers.end());
    // A delivery under way may still call it.
    DeliveryEnded().wait(lock, [] { return deliveries == deliveriesOfThisThread; });
}

void ClearLogList() {
    const TLogRegistryLock lock;
    LogList().Clear();
}

namespace {

// One library message as it came in: the bracketed prefix it would start a line with, and the
// formatted text, already cut to the line buffer.
struct THeldMessage {
    int level;
    std::string prefix;
    std::string text;
    bool cutLineFeed; // the text was cut and the whole message ended its line
};

// Messages logged while this thread held CodecLock, delivered once it has left it.
thread_local std::vector<THeldMessage> heldMessages;

// A completed line on its way to the receivers.
struct TLine {
    int level;
    std::string text;
};

// Registry lock held. Appends the lines the message completes.
void Assemble(std::uint32_t threadId, const THeldMessage& message, std::vector<TLine>& lines) {
    std::string& pending = LogList().FindItem(threadId);
    std::string text = pending.empty() ? message.prefix : pending;
    if (text.size() > kLineBufferSize - 1)
        text.resize(kLineBufferSize - 1);
    text += message.text;
    // The line is cut to the buffer, but a cut message keeps its closing line feed so that the
    // thread's next line does not pile onto an endless one.
    if (text.size() > kLineBufferSize - 1) {
        const bool lineFeed = message.cutLineFeed || text.back() == '\n';
        text.resize(kLineBufferSize - 1);
        if (lineFeed)
            text.back() = '\n';
    } else if (message.cutLineFeed) {
        text.back() = '\n';
    }
    size_t lineFeed;
    while ((lineFeed = text.find('\n')) != std::string::npos) {
        lines.push_back({message.level, text.substr(0, lineFeed)});
        text.erase(0, lineFeed + 1);
    }
    pending = text;
}

// Counts a delivery under way on this thread for as long as it lives.
class TDelivery {
public:
    // Registry lock held.
    TDelivery() {
        ++deliveries;
        ++deliveriesOfThisThread;
    }
    ~TDelivery() {
        {
            const TLogRegistryLock lock;
            --deliveries;
            --deliveriesOfThisThread;
        }
        DeliveryEnded().notify_all();
    }
    TDelivery(const TDelivery&) = delete;
    TDelivery& operator=(const TDelivery&) = delete;
};

// Assembles the messages of this thread into lines and hands them to the receivers, which are
// called with no lock held: their handlers may log, or use the registry, themselves.
void Deliver(const std::vector<THeldMessage>& messages) {
    const std::uint32_t threadId = CurrentThreadId();
    std::vector<TLine> lines;
    std::vector<ILibraryLogReceiver*> receivers;
    std::optional<TDelivery> delivery;
    {
        const TLogRegistryLock lock;
        for (const THeldMessage& message : messages)
            Assemble(threadId, message, lines);
        if (lines.empty())
            return;
        receivers = Receivers();
        delivery.emplace();
    }
    for (const TLine& line : lines) {
        for (ILibraryLogReceiver* receiver : receivers)
            receiver->LibraryLogLine(threadId, line.level, line.text);
    }
}

void DeliverHeld() {
    if (heldMessages.empty())
        return;
    std::vector<THeldMessage> messages;
    messages.swap(heldMessages);
    Deliver(messages);
}

} // namespace

void DeliverHeldLogLines() {
    try {
        DeliverHeld();
    } catch (...) {
        // Called as a lock is left, possibly while an exception unwinds: a handler's failure
        // cannot be reported from here.
    }
}

void LogCallback(void* context, int avLevel, const char* format, va_list args) {
    const int level = LibraryLevelFromAV(avLevel);
    if (LogThreshold() < level)
        return;
    THeldMessage message{level, {}, {}, false};
    if (context) {
        const AVClass* avClass = *static_cast<const AVClass**>(context);
        const char* itemName = avClass && avClass->item_name ? avClass->item_name(context) : "";
        char prefix[kLineBufferSize];
        std::snprintf(prefix, sizeof prefix, "[%s @ %08" PRIXPTR "]", itemName,
                      reinterpret_cast<uintptr_t>(avClass));
        message.prefix = prefix;
    }
    char buffer[kLineBufferSize];
    va_list copy;
    va_copy(copy, args);
    const int wanted = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (wanted >= static_cast<int>(sizeof buffer)) {
        std::string whole(static_cast<size_t>(wanted) + 1, '\0');
        std::vsnprintf(whole.data(), whole.size(), format, copy);
        message.cutLineFeed = whole[static_cast<size_t>(wanted) - 1] == '\n';
    }
    va_end(copy);
    message.text = wanted > 0 ? buffer : "";

    // A thread inside CodecLock must not wait for the registry (see CodecLock.h).
    if (TCodecLock::HeldByThisThread()) {
        heldMessages.push_back(std::move(message));
        return;
    }
    Deliver({message});
}

void InstallLogCallback(int level) {
    AVUtilHlpr::av_log_set_callback(&LogCallback);
    SetLibraryLogLevel(level);
}

} // namespace velto
