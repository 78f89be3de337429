#include "PicturePlanes.h"

#include "AVUtilHlpr.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace velto {

namespace {

constexpr int kUnusable = AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL;

const AVPixFmtDescriptor* Descriptor(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = AVUtilHlpr::av_pix_fmt_desc_get(format);
    return descriptor && !(descriptor->flags & kUnusable) ? descriptor : nullptr;
}

// One byte per sample in separate planes, Y (or grey) first.
bool IsPlanar8BitYuv(const AVPixFmtDescriptor* descriptor, bool allowGrey) {
    if (!descriptor || (descriptor->flags & AV_PIX_FMT_FLAG_RGB))
        return false;
    if (descriptor->nb_components < (allowGrey ? 1 : 3))
        return false;
    if (descriptor->nb_components > 1 && !(descriptor->flags & AV_PIX_FMT_FLAG_PLANAR))
        return false;
    for (int c = 0; c < descriptor->nb_components; ++c)
        if (descriptor->comp[c].depth != 8 || descriptor->comp[c].step != 1 ||
            descriptor->comp[c].plane != c)
            return false;
    return true;
}

bool IsChromaPlane(int plane) {
    return plane == 1 || plane == 2;
}

int PlaneRows(const AVPixFmtDescriptor* descriptor, int plane, int height) {
    return IsChromaPlane(plane) ? AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h) : height;
}

int PlaneColumns(const AVPixFmtDescriptor* descriptor, int plane, int width) {
    return IsChromaPlane(plane) ? AV_CEIL_RSHIFT(width, descriptor->log2_chroma_w) : width;
}

std::uint8_t* Row(const VeltoPicture& picture, int plane, int y) {
    return picture.data[plane] + static_cast<std::ptrdiff_t>(y) * picture.linesize[plane];
}

void DeinterlacePlane(const VeltoPicture& dst, const VeltoPicture& src, int plane, int width,
                      int height) {
    // Taps beyond the picture are taken from the same field, so edges keep no comb either.
    const auto line = [&](int y, int fallback) {
        return Row(src, plane, y >= 0 && y < height ? y : fallback);
    };
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = Row(dst, plane, y);
        if (y % 2 == 0) {
            std::memcpy(out, Row(src, plane, y), static_cast<size_t>(width));
            continue;
        }
        const std::uint8_t* m2 = line(y - 2, y);
        const std::uint8_t* m1 = line(y - 1, y);
        const std::uint8_t* c0 = line(y, y);
        const std::uint8_t* p1 = line(y + 1, y - 1);
        const std::uint8_t* p2 = line(y + 2, y);
        for (int x = 0; x < width; ++x) {
            const int sum = -m2[x] + 4 * m1[x] + 2 * c0[x] + 4 * p1[x] - p2[x];
            out[x] = static_cast<std::uint8_t>(std::clamp((sum + 4) >> 3, 0, 255));
        }
    }
}

} // namespace

bool CropPictureView(VeltoPicture& dst, const VeltoPicture& src, AVPixelFormat format, int top,
                     int left) {
    const AVPixFmtDescriptor* descriptor = Descriptor(format);
    if (!descriptor || top < 0 || left < 0)
        return false;
    const int maskH = (1 << descriptor->log2_chroma_h) - 1;
    const int maskW = (1 << descriptor->log2_chroma_w) - 1;
    if ((top & maskH) || (left & maskW))
        return false;
    // Bytes per pixel of each plane: the largest step of the components stored in it.
    int step[4] = {};
    for (int c = 0; c < descriptor->nb_components; ++c) {
        const AVComponentDescriptor& component = descriptor->comp[c];
        step[component.plane] = std::max(step[component.plane], component.step);
    }
    dst = VeltoPicture{};
    for (int p = 0; p < 4 && src.data[p]; ++p) {
        const int rows = IsChromaPlane(p) ? top >> descriptor->log2_chroma_h : top;
        const int columns = IsChromaPlane(p) ? left >> descriptor->log2_chroma_w : left;
        dst.data[p] = Row(src, p, rows) + static_cast<std::ptrdiff_t>(columns) * step[p];
        dst.linesize[p] = src.linesize[p];
    }
    return true;
}

bool PadPicture(VeltoPicture& dst, const VeltoPicture* src, int width, int height,
                AVPixelFormat format, int top, int bottom, int left, int right,
                const int color[3]) {
    const AVPixFmtDescriptor* descriptor = Descriptor(format);
    if (!IsPlanar8BitYuv(descriptor, false) || top < 0 || bottom < 0 || left < 0 || right < 0 ||
        top + bottom >= height || left + right >= width)
        return false;
    const int maskH = (1 << descriptor->log2_chroma_h) - 1;
    const int maskW = (1 << descriptor->log2_chroma_w) - 1;
    if ((top & maskH) || (bottom & maskH) || (left & maskW) || (right & maskW))
        return false;
    for (int p = 0; p < descriptor->nb_components; ++p) {
        if (!dst.data[p])
            return false;
        const bool chroma = IsChromaPlane(p);
        const int shiftH = chroma ? descriptor->log2_chroma_h : 0;
        const int shiftW = chroma ? descriptor->log2_chroma_w : 0;
        const int rows = PlaneRows(descriptor, p, height);
        const int columns = PlaneColumns(descriptor, p, width);
        const int padTop = top >> shiftH, padBottom = bottom >> shiftH;
        const int padLeft = left >> shiftW, padRight = right >> shiftW;
        const auto value = static_cast<std::uint8_t>(p < 3 ? std::clamp(color[p], 0, 255) : 255);
        const int innerColumns = columns - padLeft - padRight;
        for (int y = 0; y < rows; ++y) {
            std::uint8_t* out = Row(dst, p, y);
            if (y < padTop || y >= rows - padBottom) {
                std::memset(out, value, static_cast<size_t>(columns));
                continue;
            }
            std::memset(out, value, static_cast<size_t>(padLeft));
            std::memset(out + columns - padRight, value, static_cast<size_t>(padRight));
            if (src && src->data[p])
                std::memcpy(out + padLeft, Row(*src, p, y - padTop),
                            static_cast<size_t>(innerColumns));
        }
    }
    return true;
}

bool DeinterlacePicture(VeltoPicture& dst, const VeltoPicture& src, AVPixelFormat format, int width,
                        int height) {
    const AVPixFmtDescriptor* descriptor = Descriptor(format);
    if (!IsPlanar8BitYuv(descriptor, true) || width <= 0 || height <= 0 || (width & 3) ||
        (height & 3))
        return false;
    for (int p = 0; p < descriptor->nb_components; ++p) {
        if (!dst.data[p] || !src.data[p])
            return false;
        DeinterlacePlane(dst, src, p, PlaneColumns(descriptor, p, width),
                         PlaneRows(descriptor, p, height));
    }
    return true;
}

} // namespace velto
