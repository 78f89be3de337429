#include "AVUtilHlpr.h"
#include "RGBPicture.h"
#include "TestLibraries.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace velto {
namespace {

struct FrameFree {
    void operator()(AVFrame* frame) const { AVUtilHlpr::av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

bool Planar(const AVFrame& frame) {
    return frame.format == AV_PIX_FMT_YUV420P;
}
int Rows(const AVFrame& frame, int plane) {
    return plane ? (frame.height + 1) / 2 : frame.height;
}
int RowBytes(const AVFrame& frame, int plane) {
    return Planar(frame) ? (plane ? (frame.width + 1) / 2 : frame.width) : frame.width * 3;
}

// Luma or packed bytes climb gently; chroma stays near grey so that every colour is in gamut.
uint8_t PatternByte(const AVFrame& frame, int plane, int x, int y) {
    if (!Planar(frame))
        return static_cast<uint8_t>(30 + x / 3 + y + x % 3 * 40);
    if (plane == 0)
        return static_cast<uint8_t>(60 + x + y);
    return static_cast<uint8_t>(plane == 1 ? 120 + (x + y) / 4 : 136 - (x + y) / 4);
}

// A smooth picture (so that chroma resampling stays within a step or two), or a black one.
FramePtr MakeFrame(AVPixelFormat format, int width, int height, bool pattern = true) {
    FramePtr frame(AVUtilHlpr::av_frame_alloc());
    frame->format = format;
    frame->width = width;
    frame->height = height;
    EXPECT_GE(AVUtilHlpr::av_frame_get_buffer(frame.get(), 0), 0);
    // The padding past each row's last pixel repeats it: the scaler's vector code reads there,
    // and leftovers from earlier allocations would make the result depend on what ran before.
    for (int plane = 0; plane < (Planar(*frame) ? 3 : 1); ++plane)
        for (int y = 0; y < Rows(*frame, plane); ++y)
            for (int x = 0; x < frame->linesize[plane]; ++x)
                frame->data[plane][y * frame->linesize[plane] + x] =
                    pattern
                        ? PatternByte(*frame, plane, std::min(x, RowBytes(*frame, plane) - 1), y)
                        : 0;
    return frame;
}

int MaxDifference(const AVFrame& a, const AVFrame& b) {
    int worst = 0;
    for (int plane = 0; plane < (Planar(a) ? 3 : 1); ++plane)
        for (int y = 0; y < Rows(a, plane); ++y)
            for (int x = 0; x < RowBytes(a, plane); ++x)
                worst = std::max(worst, std::abs(a.data[plane][y * a.linesize[plane] + x] -
                                                 b.data[plane][y * b.linesize[plane] + x]));
    return worst;
}

using Bytes = std::vector<std::uint8_t>;

struct LogLines {
    TRGBLogSink Sink() {
        return [this](int level, const std::string& text) {
            lines.push_back(std::to_string(level) + " " + text);
        };
    }
    std::vector<std::string> lines;
};

TEST(Bitmap, FramesGoToABitmapAndBackUnchanged) {
    test::LoadTestLibraries();
    struct Case {
        AVPixelFormat format;
        int tolerance;
        bool scaled;
    };
    for (const Case& c : {Case{AV_PIX_FMT_YUV420P, 4, true}, Case{AV_PIX_FMT_RGB24, 0, true},
                          Case{AV_PIX_FMT_BGR24, 0, false}}) {
        SCOPED_TRACE(AVUtilHlpr::av_get_pix_fmt_name(c.format));
        const int width = 63, height = 47; // odd sizes: chroma planes round up
        FramePtr source = MakeFrame(c.format, width, height);
        TRGBPicture record;
        LogLines log;
        ASSERT_TRUE(FrameToBitmap(record, PictureOf(*source), width, height, c.format, log.Sink()));
        ASSERT_EQ(record.bitmap->Width(), width);
        ASSERT_EQ(record.bitmap->Height(), height);
        // A frame already in the bitmap's format is copied without any scaling context.
        EXPECT_EQ(record.toRGB != nullptr, c.scaled);
        if (c.format == AV_PIX_FMT_RGB24) { // pixel (10, 7) holds R 47, G 87, B 127: blue first
            EXPECT_EQ(Bytes(record.bitmap->ScanLine(7) + 30, record.bitmap->ScanLine(7) + 33),
                      (Bytes{127, 87, 47}));
        }

        FramePtr back = MakeFrame(c.format, width, height, false);
        VeltoPicture target = PictureOf(*back);
        ASSERT_TRUE(BitmapToFrame(record, target, width, height, c.format, log.Sink()));
        EXPECT_LE(MaxDifference(*source, *back), c.tolerance);
        EXPECT_EQ(record.fromRGB != nullptr, c.scaled);
        EXPECT_TRUE(log.lines.empty());
    }
}

TEST(Bitmap, FollowsAFrameSizeChangeWithoutOverrunningTheBitmap) {
    test::LoadTestLibraries();
    TRGBPicture record;
    for (auto [width, height] : {std::pair{32, 16}, std::pair{96, 64}, std::pair{16, 8}}) {
        FramePtr frame = MakeFrame(AV_PIX_FMT_YUV420P, width, height);
        ASSERT_TRUE(
            FrameToBitmap(record, PictureOf(*frame), width, height, AV_PIX_FMT_YUV420P, {}));
        EXPECT_EQ(record.bitmap->Width(), width);
        EXPECT_EQ(record.bitmap->Height(), height);
        EXPECT_GE(record.bufferSize, 96 * 64 * 3 * (width == 32 ? 0 : 1)); // grows, never shrinks
    }
    ResetRGBPicture(record);
    EXPECT_TRUE(!record.bitmap && !record.buffer && !record.toRGB && record.bufferSize == 0);
}

TEST(Bitmap, UnusablePicturesAreRefusedAndConversionFailuresReported) {
    test::LoadTestLibraries();
    const int hardware = AV_PIX_FMT_VAAPI; // a surface format the scaler takes on neither side
    FramePtr frame = MakeFrame(AV_PIX_FMT_BGR24, 16, 16);
    VeltoPicture picture = PictureOf(*frame);
    TRGBPicture record;
    LogLines log;
    EXPECT_FALSE(BitmapToFrame(record, picture, 16, 16, AV_PIX_FMT_BGR24, log.Sink())); // no bitmap
    EXPECT_FALSE(FrameToBitmap(record, picture, 0, 16, AV_PIX_FMT_BGR24, log.Sink()));
    EXPECT_FALSE(FrameToBitmap(record, VeltoPicture{}, 16, 16, AV_PIX_FMT_BGR24, log.Sink()));
    EXPECT_TRUE(log.lines.empty());

    EXPECT_FALSE(FrameToBitmap(record, picture, 16, 16, hardware, log.Sink()));
    ASSERT_TRUE(FrameToBitmap(record, picture, 16, 16, AV_PIX_FMT_BGR24, log.Sink()));
    EXPECT_FALSE(BitmapToFrame(record, picture, 16, 16, hardware, log.Sink()));
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"0 Cannot initialize the toRGB conversion context",
                                        "0 Cannot initialize the fromRGB conversion context"}));
}

} // namespace
} // namespace velto
