// Deinterlacing on small hand-made pictures (crop and pad are checked through real transcodes).
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
