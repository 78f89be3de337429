// Conversion of decoded pictures to 24-bit bitmaps and back, for the custom hook and the preview.
// One record per use; a record is used by one thread at a time (its task's worker).
#pragma once

#include "LibraryObjects.h"
#include "TBitmap.h"

#define VELTO_FRAMEHOOK_HOST
#include "velto_framehook.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velto {

// Receives the conversion's log lines: engine log level and text (the task's log sink).
using TRGBLogSink = std::function<void(int level, const std::string& text)>;

struct TRGBPicture {
    int targetPixelFormat = AV_PIX_FMT_BGR24;
    TPixelFormat bitmapPixelFormat = pf24bit;
    std::unique_ptr<TBitmap> bitmap;
    OwnedBuffer buffer;          // target-format picture, with zeroed padding for the scaler
    std::int32_t bufferSize = 0; // usable bytes, padding not counted
    VeltoPicture converted{};    // laid over buffer
    VeltoPicture source{};       // planes whose first plane's rows go into the bitmap
    OwnedScaler toRGB;
    OwnedScaler fromRGB;
};

// Frees the bitmap, the buffer and both scaling contexts and restores the initial values.
void ResetRGBPicture(TRGBPicture& record);

// Copies picture (of the given size and pixel format) into record.bitmap, converting it to the
// target format first unless it already is in it. False when the picture cannot be converted.
bool FrameToBitmap(TRGBPicture& record, const VeltoPicture& picture, int width, int height,
                   int pixelFormat, const TRGBLogSink& log);

// The reverse step after a handler changed the bitmap: writes the bitmap back into picture,
// converting from the target format when needed. False when that conversion is not available;
// the caller then stops its custom hook.
bool BitmapToFrame(TRGBPicture& record, VeltoPicture& picture, int width, int height,
                   int pixelFormat, const TRGBLogSink& log);

// The first four planes of a frame as a plain picture (no copy).
VeltoPicture PictureOf(const AVFrame& frame);

} // namespace velto
