// A preview window that draws nowhere and records what it was asked to do, and on which thread.
#pragma once

#include "PreviewWindow.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velto::test {

// Shared between the test and the windows its factory creates.
struct PreviewWindowRecord {
    mutable std::mutex mutex;
    int created = 0;
    int destroyed = 0;
    int width = 0;
    int height = 0;
    int draws = 0;
    std::vector<std::string> captions;
    std::vector<std::uint8_t> lastTopRow; // first row of the last bitmap drawn
    std::vector<std::thread::id> threads; // thread of every window call, creation included
    std::function<void()> close;          // what the window calls when the user closes it

    // Number of window calls so far (creation, captions, draws, destruction).
    size_t Calls() const;
    // True when every window call ran on thread.
    bool AllOn(std::thread::id thread) const;
};

// A factory whose windows report to record.
TPreviewWindowFactory RecordingWindowFactory(std::shared_ptr<PreviewWindowRecord> record);

} // namespace velto::test
