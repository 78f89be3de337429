// Shows a task's converted frames in a small window of their own. Owned by one task and called on
// that task's worker thread; every window operation runs on the main thread while the caller
// waits.
#pragma once

#include "PreviewWindow.h"
#include "TBitmap.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace velto {

class TPreviewer {
public:
    // The window comes from factory, by default the process-wide one, on the first frame.
    explicit TPreviewer(TPreviewWindowFactory factory = PreviewWindowFactory());
    // Frees the window on the main thread; a previewer that never showed a frame does no window
    // work at all.
    ~TPreviewer();
    TPreviewer(const TPreviewer&) = delete;
    TPreviewer& operator=(const TPreviewer&) = delete;

    // Shows bitmap captioned with the time stamp (microseconds). True while the window is open or
    // not yet created; false once the user has closed it, or when it cannot be shown at all.
    bool ShowFrame(TBitmap& bitmap, int frameNumber, std::int64_t timeStamp);

    // "hh:mm:ss.mmm" with hours not wrapped at 24; "N/A" for AV_NOPTS_VALUE.
    static std::string PreviewTimeText(std::int64_t timeStamp);

    bool Closed() const { return closed_; }
    int FrameNumber() const { return frameNumber_; }
    std::int64_t TimeStamp() const { return timeStamp_; }

private:
    void DisplayStep(); // main thread

    TPreviewWindowFactory factory_;
    std::unique_ptr<IPreviewWindow> window_; // main thread only
    std::atomic<bool> windowCreated_{false};
    std::atomic<bool> closed_{false};
    TBitmap* graphic_ = nullptr; // owned by the task's RGB picture record
    int frameNumber_ = 0;
    std::int64_t timeStamp_ = 0;
};

} // namespace velto
