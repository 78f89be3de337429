#include "AVUtilHlpr.h"
#include "RGBPicture.h"
#include "TestLibraries.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace velto {
namespace {

struct FrameFree {
    void operator()(AVFrame* frame) const { AVUtilHlpr::av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

FramePtr MakeFrame(AVPixelFormat format, int width, int height) {
    FramePtr frame(AVUtilHlpr::av_frame_alloc());
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (AVUtilHlpr::av_frame_get_buffer(frame.get(), 0) < 0)
        return nullptr;
    for (int plane = 0; plane < 4 && frame->data[plane]; ++plane)
        for (int y = 0; y < (plane ? (height + 1) / 2 : height); ++y)
            std::fill_n(frame->data[plane] + y * frame->linesize[plane], frame->linesize[plane], 0);
    return frame;
}

// A smooth picture, so that the scaler's chroma resampling stays within a step or two.
FramePtr MakePattern(AVPixelFormat format, int width, int height) {
    FramePtr frame = MakeFrame(format, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (format == AV_PIX_FMT_YUV420P) {
                frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(40 + x + y);
                if (x % 2 == 0 && y % 2 == 0) {
                    frame->data[1][y / 2 * frame->linesize[1] + x / 2] =
                        static_cast<uint8_t>(110 + x / 4);
                    frame->data[2][y / 2 * frame->linesize[2] + x / 2] =
                        static_cast<uint8_t>(140 - y / 4);
                }
            } else {
                uint8_t* pixel = frame->data[0] + y * frame->linesize[0] + x * 3;
                pixel[0] = static_cast<uint8_t>(x * 3);
                pixel[1] = static_cast<uint8_t>(y * 5);
                pixel[2] = 128;
            }
        }
    return frame;
}

// Largest difference between the visible bytes of two frames of one format and size.
int MaxDifference(const AVFrame& a, const AVFrame& b) {
    const bool planar = a.format == AV_PIX_FMT_YUV420P;
    int worst = 0;
    for (int plane = 0; plane < (planar ? 3 : 1); ++plane) {
        const int rows = plane ? (a.height + 1) / 2 : a.height;
        const int bytes = planar ? (plane ? (a.width + 1) / 2 : a.width) : a.width * 3;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < bytes; ++x)
                worst = std::max(worst, std::abs(a.data[plane][y * a.linesize[plane] + x] -
                                                 b.data[plane][y * b.linesize[plane] + x]));
    }
    return worst;
}

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
        bool needsScaler;
    };
    for (const Case& c : {Case{AV_PIX_FMT_YUV420P, 4, true}, Case{AV_PIX_FMT_RGB24, 0, true},
                          Case{AV_PIX_FMT_BGR24, 0, false}}) {
        SCOPED_TRACE(AVUtilHlpr::av_get_pix_fmt_name(c.format));
        const int width = 64, height = 48;
        FramePtr source = MakePattern(c.format, width, height);
        TRGBPicture record;
        LogLines log;
        ASSERT_TRUE(FrameToBitmap(record, PictureOf(*source), width, height, c.format, log.Sink()));
        ASSERT_TRUE(record.bitmap);
        EXPECT_EQ(record.bitmap->Width(), width);
        EXPECT_EQ(record.bitmap->Height(), height);
        EXPECT_EQ(record.toRGB != nullptr, c.needsScaler);
        if (c.format != AV_PIX_FMT_YUV420P) {
            // Pixel (10, 7) of the pattern is R/B 30 and 128, G 35; the bitmap holds it blue first.
            const uint8_t* pixel = record.bitmap->ScanLine(7) + 10 * 3;
            const bool rgb = c.format == AV_PIX_FMT_RGB24;
            EXPECT_EQ(pixel[0], rgb ? 128 : 30);
            EXPECT_EQ(pixel[1], 35);
            EXPECT_EQ(pixel[2], rgb ? 30 : 128);
        }

        FramePtr back = MakeFrame(c.format, width, height);
        VeltoPicture target = PictureOf(*back);
        ASSERT_TRUE(BitmapToFrame(record, target, width, height, c.format, log.Sink()));
        EXPECT_LE(MaxDifference(*source, *back), c.tolerance);
        EXPECT_EQ(record.fromRGB != nullptr, c.needsScaler);
        EXPECT_TRUE(log.lines.empty());
    }
}

TEST(Bitmap, ChangesMadeOnTheBitmapReachTheFrame) {
    test::LoadTestLibraries();
    FramePtr frame = MakePattern(AV_PIX_FMT_YUV420P, 32, 32);
    TRGBPicture record;
    ASSERT_TRUE(FrameToBitmap(record, PictureOf(*frame), 32, 32, AV_PIX_FMT_YUV420P, {}));
    for (int y = 8; y < 16; ++y)
        for (int x = 8; x < 16; ++x) {
            uint8_t* pixel = record.bitmap->ScanLine(y) + x * 3;
            pixel[0] = 255, pixel[1] = 255, pixel[2] = 255;
        }
    VeltoPicture picture = PictureOf(*frame);
    ASSERT_TRUE(BitmapToFrame(record, picture, 32, 32, AV_PIX_FMT_YUV420P, {}));
    EXPECT_NEAR(frame->data[0][12 * frame->linesize[0] + 12], 235, 3);     // white
    EXPECT_NEAR(frame->data[0][24 * frame->linesize[0] + 24], 40 + 48, 3); // untouched
}

TEST(Bitmap, FollowsAFrameSizeChangeWithoutOverrunningTheBitmap) {
    test::LoadTestLibraries();
    TRGBPicture record;
    int largestBuffer = 0;
    for (auto [width, height] : {std::pair{32, 16}, std::pair{96, 64}, std::pair{16, 8}}) {
        FramePtr frame = MakePattern(AV_PIX_FMT_YUV420P, width, height);
        ASSERT_TRUE(
            FrameToBitmap(record, PictureOf(*frame), width, height, AV_PIX_FMT_YUV420P, {}));
        EXPECT_EQ(record.bitmap->Width(), width);
        EXPECT_EQ(record.bitmap->Height(), height);
        EXPECT_GE(record.bufferSize, width * height * 3);
        largestBuffer = std::max(largestBuffer, width * height * 3);
        EXPECT_GE(record.bufferSize, largestBuffer); // grown, never shrunk
    }
}

TEST(Bitmap, UnconvertibleFormatsAreReportedThroughTheSink) {
    test::LoadTestLibraries();
    // A hardware surface format: the scaler takes neither side of it.
    const int hardware = AV_PIX_FMT_VAAPI;
    FramePtr frame = MakePattern(AV_PIX_FMT_BGR24, 16, 16);
    TRGBPicture record;
    LogLines log;
    EXPECT_FALSE(FrameToBitmap(record, PictureOf(*frame), 16, 16, hardware, log.Sink()));
    EXPECT_EQ(log.lines,
              std::vector<std::string>{"0 Cannot initialize the toRGB conversion context"});

    log.lines.clear();
    ASSERT_TRUE(FrameToBitmap(record, PictureOf(*frame), 16, 16, AV_PIX_FMT_BGR24, log.Sink()));
    VeltoPicture picture = PictureOf(*frame);
    EXPECT_FALSE(BitmapToFrame(record, picture, 16, 16, hardware, log.Sink()));
    EXPECT_EQ(log.lines,
              std::vector<std::string>{"0 Cannot initialize the fromRGB conversion context"});
}

TEST(Bitmap, NonsensePicturesAreRefusedQuietly) {
    test::LoadTestLibraries();
    FramePtr frame = MakePattern(AV_PIX_FMT_RGB24, 8, 8);
    const VeltoPicture picture = PictureOf(*frame);
    const VeltoPicture empty{};
    TRGBPicture record;
    LogLines log;
    EXPECT_FALSE(FrameToBitmap(record, picture, 0, 8, AV_PIX_FMT_RGB24, log.Sink()));
    EXPECT_FALSE(FrameToBitmap(record, picture, 8, -1, AV_PIX_FMT_RGB24, log.Sink()));
    EXPECT_FALSE(FrameToBitmap(record, empty, 8, 8, AV_PIX_FMT_RGB24, log.Sink()));
    VeltoPicture target = picture;
    EXPECT_FALSE(BitmapToFrame(record, target, 8, 8, AV_PIX_FMT_RGB24, log.Sink())); // no bitmap
    EXPECT_TRUE(log.lines.empty());
}

TEST(Bitmap, ResetFreesEverythingAndRestoresTheInitialValues) {
    test::LoadTestLibraries();
    FramePtr frame = MakePattern(AV_PIX_FMT_YUV420P, 16, 16);
    TRGBPicture record;
    record.targetPixelFormat = AV_PIX_FMT_BGR24;
    ASSERT_TRUE(FrameToBitmap(record, PictureOf(*frame), 16, 16, AV_PIX_FMT_YUV420P, {}));
    VeltoPicture picture = PictureOf(*frame);
    ASSERT_TRUE(BitmapToFrame(record, picture, 16, 16, AV_PIX_FMT_YUV420P, {}));
    ASSERT_TRUE(record.buffer && record.toRGB && record.fromRGB);

    ResetRGBPicture(record);
    EXPECT_EQ(record.targetPixelFormat, AV_PIX_FMT_BGR24);
    EXPECT_EQ(record.bitmapPixelFormat, pf24bit);
    EXPECT_FALSE(record.bitmap);
    EXPECT_EQ(record.buffer, nullptr);
    EXPECT_EQ(record.bufferSize, 0);
    EXPECT_EQ(record.converted.data[0], nullptr);
    EXPECT_EQ(record.source.data[0], nullptr);
    EXPECT_EQ(record.toRGB, nullptr);
    EXPECT_EQ(record.fromRGB, nullptr);
    // Usable again after a reset.
    EXPECT_TRUE(FrameToBitmap(record, PictureOf(*frame), 16, 16, AV_PIX_FMT_YUV420P, {}));
}

TEST(Bitmap, RowsArePaddedAndScanLinesChecked) {
    struct Case {
        int width, height, bytesPerLine;
    };
    for (const Case& c : {Case{1, 1, 4}, Case{4, 2, 12}, Case{5, 3, 16}, Case{-3, 2, 0}}) {
        TBitmap bitmap(c.width, c.height);
        EXPECT_EQ(bitmap.BytesPerLine(), c.bytesPerLine) << c.width;
        EXPECT_EQ(bitmap.PixelFormat(), pf24bit);
    }
    TBitmap bitmap(5, 3);
    bitmap.ScanLine(2)[14] = 7;
    EXPECT_EQ(bitmap.ScanLine(1) + bitmap.BytesPerLine(), bitmap.ScanLine(2));
    EXPECT_THROW(bitmap.ScanLine(3), std::out_of_range);
    EXPECT_THROW(bitmap.ScanLine(-1), std::out_of_range);
    bitmap.SetSize(5, 3);
    EXPECT_EQ(bitmap.ScanLine(2)[14], 0);
    // The canvas lock is re-entrant: a handler may lock what its caller holds.
    TCanvasLock outer(bitmap);
    EXPECT_TRUE(bitmap.TryLock());
    bitmap.Unlock();
}

} // namespace
} // namespace velto
