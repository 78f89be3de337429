// Queued calls from the engine's threads to the GUI thread. Qt's event queue puts everything the
// posting thread did before the post ahead of the call, through a lock of its own that
// ThreadSanitizer cannot see (Qt is not instrumented). A lock of our own around the hand-over
// gives it the same order to see.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <utility>

#include <mutex>

namespace velto {

namespace detail {

// Held by the posting thread while the call is built and queued, and taken by the call before it
// runs, so that everything written for the call is ordered before it where ThreadSanitizer sees.
inline std::mutex guiHandOverLock;

} // namespace detail

// Runs work on receiver's thread from its event loop; dropped with the receiver.
template <typename Work> bool PostToGuiThread(QObject* receiver, Work work) {
    auto call = [work = std::move(work)]() mutable {
        { std::lock_guard received(detail::guiHandOverLock); }
        work();
    };
    std::lock_guard posted(detail::guiHandOverLock);
    return QMetaObject::invokeMethod(receiver, std::move(call), Qt::QueuedConnection);
}

} // namespace velto
