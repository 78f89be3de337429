#include "RGBPicture.h"

#include "AVUtilHlpr.h"
#include "SwScaleHlpr.h"

#include <algorithm>
#include <cstring>

namespace velto {

namespace {

void Log(const TRGBLogSink& log, int level, const char* text) {
    if (log)
        log(level, text);
}

bool ValidSize(int width, int height) {
    return width > 0 && height > 0;
}

// The scaler's vector code may read a little past the last row of its source.
constexpr int kScalerReadPadding = 64;

// Makes record.converted a target-format picture of this size over a buffer large enough for it.
bool LayConvertedPicture(TRGBPicture& record, int width, int height) {
    const auto target = static_cast<AVPixelFormat>(record.targetPixelFormat);
    const int size = AVUtilHlpr::av_image_get_buffer_size(target, width, height, 1);
    if (size <= 0)
        return false;
    if (record.bufferSize < size) {
        record.buffer.reset();
        record.bufferSize = 0;
        record.buffer.reset(
            static_cast<std::uint8_t*>(AVUtilHlpr::av_mallocz(size + kScalerReadPadding)));
        if (!record.buffer)
            return false;
        record.bufferSize = size;
    }
    uint8_t* data[4] = {};
    int linesize[4] = {};
    if (AVUtilHlpr::av_image_fill_arrays(data, linesize, record.buffer.get(), target, width, height,
                                         1) < 0)
        return false;
    std::copy(data, data + 4, record.converted.data);
    std::copy(linesize, linesize + 4, record.converted.linesize);
    return true;
}

} // namespace

void ResetRGBPicture(TRGBPicture& record) {
    record = TRGBPicture{};
}

bool FrameToBitmap(TRGBPicture& record, const VeltoPicture& picture, int width, int height,
                   int pixelFormat, const TRGBLogSink& log) {
    if (!ValidSize(width, height) || !picture.data[0])
        return false;
    if (!record.bitmap)
        record.bitmap = std::make_unique<TBitmap>();
    TBitmap& bitmap = *record.bitmap;
    TCanvasLock canvas(bitmap);
    // A stream may change its frame size; rows of a larger frame must not run past the bitmap.
    if (bitmap.Width() != width || bitmap.Height() != height)
        bitmap.SetSize(width, height);

    if (pixelFormat == record.targetPixelFormat) {
        record.source = picture;
    } else {
        if (!LayConvertedPicture(record, width, height))
            return false;
        record.toRGB.reset(SwScaleHlpr::sws_getCachedContext(
            record.toRGB.release(), width, height, static_cast<AVPixelFormat>(pixelFormat), width,
            height, static_cast<AVPixelFormat>(record.targetPixelFormat), SWS_BICUBIC, nullptr,
            nullptr, nullptr));
        if (!record.toRGB) {
            Log(log, 0, "Cannot initialize the toRGB conversion context");
            return false;
        }
        SwScaleHlpr::sws_scale(record.toRGB.get(), picture.data, picture.linesize, 0, height,
                               record.converted.data, record.converted.linesize);
        record.source = record.converted;
    }

    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        std::memcpy(bitmap.ScanLine(y),
                    record.source.data[0] + static_cast<ptrdiff_t>(y) * record.source.linesize[0],
                    rowBytes);
    return true;
}

bool BitmapToFrame(TRGBPicture& record, VeltoPicture& picture, int width, int height,
                   int pixelFormat, const TRGBLogSink& log) {
    if (!record.bitmap || !ValidSize(width, height) || !picture.data[0])
        return false;
    TBitmap& bitmap = *record.bitmap;
    TCanvasLock canvas(bitmap);
    const bool direct = pixelFormat == record.targetPixelFormat;
    if (!direct && !LayConvertedPicture(record, width, height))
        return false;
    // Rows go straight into a frame that already is in the bitmap's format.
    VeltoPicture& rows = direct ? picture : record.converted;
    const int copyHeight = std::min(height, bitmap.Height());
    const size_t rowBytes = static_cast<size_t>(std::min(width, bitmap.Width())) * 3;
    for (int y = 0; y < copyHeight; ++y)
        std::memcpy(rows.data[0] + static_cast<ptrdiff_t>(y) * rows.linesize[0], bitmap.ScanLine(y),
                    rowBytes);
    if (direct)
        return true;

    record.fromRGB.reset(SwScaleHlpr::sws_getCachedContext(
        record.fromRGB.release(), width, height,
        static_cast<AVPixelFormat>(record.targetPixelFormat), width, height,
        static_cast<AVPixelFormat>(pixelFormat), SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!record.fromRGB) {
        Log(log, 0, "Cannot initialize the fromRGB conversion context");
        return false;
    }
    SwScaleHlpr::sws_scale(record.fromRGB.get(), record.converted.data, record.converted.linesize,
                           0, height, picture.data, picture.linesize);
    return true;
}

VeltoPicture PictureOf(const AVFrame& frame) {
    VeltoPicture picture{};
    for (int i = 0; i < 4; ++i) {
        picture.data[i] = frame.data[i];
        picture.linesize[i] = frame.linesize[i];
    }
    return picture;
}

} // namespace velto
