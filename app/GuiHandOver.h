// Queued calls from the engine's threads to the GUI thread. Qt's event queue puts everything the
// posting thread did before the post ahead of the call, through a lock of its own that
// ThreadSanitizer cannot see (Qt is not instrumented). The hand-over marks that order for it; in
// other builds it is a plain queued call.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <utility>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace velto {

namespace detail {

inline char guiHandOverToken;

inline void MarkHandOverPosted() {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(&guiHandOverToken);
#endif
}

inline void MarkHandOverReceived() {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(&guiHandOverToken);
#endif
}

} // namespace detail

// Runs work on receiver's thread from its event loop; dropped with the receiver.
template <typename Work> bool PostToGuiThread(QObject* receiver, Work work) {
    auto call = [work = std::move(work)]() mutable {
        detail::MarkHandOverReceived();
        work();
    };
    detail::MarkHandOverPosted();
    return QMetaObject::invokeMethod(receiver, std::move(call), Qt::QueuedConnection);
}

} // namespace velto
