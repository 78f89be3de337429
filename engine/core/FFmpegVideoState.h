// What the video path keeps on a task between pictures: the working copy that hooks and
// deinterlacing write into, the bitmaps of the custom hook and the preview, and the previewer.
#pragma once

#include "LibraryObjects.h"
#include "Previewer.h"
#include "RGBPicture.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" {
#include <libavutil/frame.h>
}

namespace velto {

struct TVideoHookState {
    // Working copy of the current picture; a reference to it replaces the decoded picture, so an
    // encoder that keeps pictures holds it and the next picture then gets a fresh buffer.
    OwnedFrame HookPicture;
    OwnedFrame Handover;        // empty frame that takes the reference before it replaces
    OwnedFrame Prepared;        // the picture an output stream encodes, between uses empty
    OwnedFrame Encoded;         // the copy handed to the encoder, between uses empty
    std::size_t RangeIndex = 0; // current entry of the task's hook ranges
    TRGBPicture CustomPicture;  // bitmap handed to the custom hook
    TRGBPicture PreviewPicture; // bitmap shown by the previewer
    std::unique_ptr<TPreviewer> Previewer;
    std::int64_t LastPreviewTime = 0;      // microseconds, system clock
    std::int64_t PreviewInterval = 100000; // microseconds

    TVideoHookState() = default;
    TVideoHookState(const TVideoHookState&) = delete;
    TVideoHookState& operator=(const TVideoHookState&) = delete;
    ~TVideoHookState();
    // Frees the working copy, both bitmaps and the previewer.
    void Reset();
};

} // namespace velto
