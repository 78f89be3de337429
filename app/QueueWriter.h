// Keeps the conversion list in its file from a thread of its own, so that a list of thousands of
// rows never holds up the window while it is turned into JSON and written. The newest list wins:
// lists handed over while one is being written are replaced by the last of them. Save and the
// destructor belong to one thread; the result comes on the writer's thread.
#pragma once

#include "JobNodeData.h"

#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace velto {

class TQueueWriter {
public:
    // After each write: empty error on success, else why the file could not be written.
    using TResult = std::function<void(const QString& error)>;

    TQueueWriter(QString file, TResult result);
    // Writes the list still waiting, then ends: nothing handed over is lost.
    ~TQueueWriter();
    TQueueWriter(const TQueueWriter&) = delete;
    TQueueWriter& operator=(const TQueueWriter&) = delete;

    // Rows are cheap to copy: their texts and records are shared, not duplicated.
    void Save(std::vector<TJobNodeData> rows);
    // Returns once every list handed over so far is written.
    void Flush();

private:
    void Work(const std::stop_token& stop);

    QString file_;
    TResult result_;
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::optional<std::vector<TJobNodeData>> waiting_;
    bool writing_ = false;
    std::jthread thread_; // last: stopped and joined first
};

} // namespace velto
