// Crop views, padding and deinterlacing on small hand-made pictures.
#include "PicturePlanes.h"
#include "TestLibraries.h"

#include <gtest/gtest.h>
#include <vector>

namespace velto::test {
namespace {

// A planar 4:2:0 picture of w x h whose planes are filled by value(plane, x, y).
struct Yuv420 {
    int w, h;
    std::vector<std::uint8_t> planes[3];
    VeltoPicture picture{};
    Yuv420(int width, int height, std::uint8_t (*value)(int, int, int)) : w(width), h(height) {
        for (int p = 0; p < 3; ++p) {
            const int pw = p ? w / 2 : w, ph = p ? h / 2 : h;
            planes[p].resize(static_cast<size_t>(pw * ph));
            for (int y = 0; y < ph; ++y)
                for (int x = 0; x < pw; ++x)
                    planes[p][y * pw + x] = value(p, x, y);
            picture.data[p] = planes[p].data();
            picture.linesize[p] = pw;
        }
    }
    int At(int p, int x, int y) const { return planes[p][y * (p ? w / 2 : w) + x]; }
};

class PicturePlanesTest : public ::testing::Test {
protected:
    void SetUp() override { LoadTestLibraries(); }
};

TEST_F(PicturePlanesTest, CropViewShiftsEveryPlaneByItsSubsampling) {
    Yuv420 source(
        16, 8, [](int p, int x, int y) { return static_cast<std::uint8_t>(p * 64 + y * 8 + x); });
    VeltoPicture view{};
    ASSERT_TRUE(CropPictureView(view, source.picture, AV_PIX_FMT_YUV420P, 2, 4));
    EXPECT_EQ(view.data[0][0], source.At(0, 4, 2));
    EXPECT_EQ(view.data[1][0], source.At(1, 2, 1));
    EXPECT_EQ(view.data[2][0], source.At(2, 2, 1));

    std::vector<std::uint8_t> rgb(8 * 4 * 3);
    VeltoPicture packed{{rgb.data()}, {8 * 3}};
    ASSERT_TRUE(CropPictureView(view, packed, AV_PIX_FMT_RGB24, 1, 2));
    EXPECT_EQ(view.data[0], rgb.data() + 8 * 3 + 2 * 3);

    const struct {
        AVPixelFormat format;
        int top, left;
    } refused[] = {{AV_PIX_FMT_YUV420P, 1, 0}, {AV_PIX_FMT_YUV420P, 0, 3}, {AV_PIX_FMT_PAL8, 0, 0}};
    for (const auto& row : refused)
        EXPECT_FALSE(CropPictureView(view, source.picture, row.format, row.top, row.left))
            << row.format << " " << row.top << "," << row.left;
}

TEST_F(PicturePlanesTest, PadFillsTheBandsAndCopiesTheInside) {
    Yuv420 inner(4, 4, [](int p, int, int) { return static_cast<std::uint8_t>(p ? 100 : 50); });
    Yuv420 out(8, 8, [](int, int, int) { return std::uint8_t{0}; });
    const int color[3] = {16, 200, 30};
    ASSERT_TRUE(
        PadPicture(out.picture, &inner.picture, 8, 8, AV_PIX_FMT_YUV420P, 2, 2, 2, 2, color));
    EXPECT_EQ(out.At(0, 0, 0), 16);
    EXPECT_EQ(out.At(0, 7, 5), 16); // right band
    EXPECT_EQ(out.At(0, 2, 2), 50);
    EXPECT_EQ(out.At(0, 5, 5), 50);
    EXPECT_EQ(out.At(1, 0, 3), 200);
    EXPECT_EQ(out.At(2, 3, 0), 30);
    EXPECT_EQ(out.At(1, 1, 1), 100);
    // Without a source only the bands are written.
    Yuv420 keep(8, 8, [](int, int, int) { return std::uint8_t{77}; });
    ASSERT_TRUE(PadPicture(keep.picture, nullptr, 8, 8, AV_PIX_FMT_YUV420P, 2, 0, 0, 2, color));
    EXPECT_EQ(keep.At(0, 3, 4), 77);
    EXPECT_EQ(keep.At(0, 3, 1), 16);

    EXPECT_FALSE(PadPicture(out.picture, nullptr, 8, 8, AV_PIX_FMT_RGB24, 2, 2, 2, 2, color));
    EXPECT_FALSE(PadPicture(out.picture, nullptr, 8, 8, AV_PIX_FMT_YUV420P, 1, 2, 2, 2, color));
    EXPECT_FALSE(PadPicture(out.picture, nullptr, 8, 8, AV_PIX_FMT_YUV420P, 4, 4, 0, 0, color));
}

TEST_F(PicturePlanesTest, DeinterlaceRemovesTheCombAndKeepsTopFieldLines) {
    // Top-field lines 100, bottom-field lines 200: the rebuilt lines fall back to 100.
    Yuv420 combed(8, 8,
                  [](int, int, int y) { return static_cast<std::uint8_t>(y % 2 ? 200 : 100); });
    Yuv420 out(8, 8, [](int, int, int) { return std::uint8_t{0}; });
    ASSERT_TRUE(DeinterlacePicture(out.picture, combed.picture, AV_PIX_FMT_YUV420P, 8, 8));
    for (int y = 0; y < 8; ++y)
        EXPECT_EQ(out.At(0, 3, y), 100) << "row " << y;
    // A smooth vertical ramp passes unchanged inside the picture.
    Yuv420 ramp(8, 8, [](int, int, int y) { return static_cast<std::uint8_t>(10 * y); });
    ASSERT_TRUE(DeinterlacePicture(out.picture, ramp.picture, AV_PIX_FMT_YUV420P, 8, 8));
    EXPECT_EQ(out.At(0, 0, 3), 30);
    EXPECT_EQ(out.At(0, 0, 5), 50);

    EXPECT_FALSE(DeinterlacePicture(out.picture, ramp.picture, AV_PIX_FMT_YUV420P, 6, 8));
    EXPECT_FALSE(DeinterlacePicture(out.picture, ramp.picture, AV_PIX_FMT_RGB24, 8, 8));
}

} // namespace
} // namespace velto::test
