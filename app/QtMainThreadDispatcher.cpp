#include "QtMainThreadDispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace velto {

struct TQtMainThreadDispatcher::TCore {
    std::mutex lock;
    std::condition_variable changed;
    bool shutDown = false;
    QObject* context = nullptr; // lives on the GUI thread; queued work runs through it
};

TQtMainThreadDispatcher::TQtMainThreadDispatcher() : core_(std::make_shared<TCore>()) {
    core_->context = QCoreApplication::instance();
}

TQtMainThreadDispatcher::~TQtMainThreadDispatcher() {
    std::lock_guard guard(core_->lock);
    core_->shutDown = true;
    core_->changed.notify_all();
}

bool TQtMainThreadDispatcher::IsMainThread() const {
    return core_->context && QThread::currentThread() == core_->context->thread();
}

bool TQtMainThreadDispatcher::Post(std::function<void()> work) {
    {
        std::lock_guard guard(core_->lock);
        if (core_->shutDown || !core_->context)
            return false;
    }
    std::weak_ptr<TCore> core = core_;
    return QMetaObject::invokeMethod(
        core_->context,
        [core, work = std::move(work)] {
            const auto alive = core.lock();
            if (!alive)
                return;
            {
                std::lock_guard guard(alive->lock);
                if (alive->shutDown)
                    return;
            }
            work();
        },
        Qt::QueuedConnection);
}

bool TQtMainThreadDispatcher::PostAndWait(std::function<void()> work) {
    if (IsMainThread()) {
        work();
        return true;
    }
    struct TCall {
        bool done = false;
        std::exception_ptr error;
    };
    auto call = std::make_shared<TCall>();
    auto core = core_;
    const bool posted = Post([core, call, work = std::move(work)] {
        try {
            work();
        } catch (...) {
            call->error = std::current_exception();
        }
        std::lock_guard guard(core->lock);
        call->done = true;
        core->changed.notify_all();
    });
    if (!posted)
        return false;
    std::unique_lock guard(core->lock);
    core->changed.wait(guard, [&] { return call->done || core->shutDown; });
    if (!call->done)
        return false;
    if (call->error)
        std::rethrow_exception(call->error);
    return true;
}

void TQtMainThreadDispatcher::SingleShot(std::chrono::milliseconds delay,
                                         std::function<void()> work) {
    // The timer is made on the GUI thread, whichever thread asks for it.
    QObject* context = core_->context;
    Post([context, delay, work = std::move(work)] { QTimer::singleShot(delay, context, work); });
}

bool TQtMainThreadDispatcher::WaitServing(const std::function<bool()>& done,
                                          std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!done())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

} // namespace velto
