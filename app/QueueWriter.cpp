#include "QueueWriter.h"

#include "QueueFile.h"

namespace velto {

TQueueWriter::TQueueWriter(QString file, TResult result)
    : file_(std::move(file)), result_(std::move(result)),
      thread_([this](const std::stop_token& stop) { Work(stop); }) {}

TQueueWriter::~TQueueWriter() {
    thread_.request_stop();
    thread_.join();
}

void TQueueWriter::Save(std::vector<TJobNodeData> rows) {
    std::lock_guard lock(mutex_);
    waiting_ = std::move(rows);
    changed_.notify_all();
}

void TQueueWriter::Flush() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !waiting_ && !writing_; });
}

void TQueueWriter::Work(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        // Asked to stop, the list still waiting is written before the thread ends.
        changed_.wait(lock, stop, [this] { return waiting_.has_value(); });
        if (!waiting_)
            return;
        std::vector<TJobNodeData> rows = std::move(*waiting_);
        waiting_.reset();
        writing_ = true;
        lock.unlock();
        QString error;
        SaveQueueFile(file_, rows, error);
        rows.clear();
        if (result_)
            result_(error);
        lock.lock();
        writing_ = false;
        changed_.notify_all();
    }
}

} // namespace velto
