// The stages of a run on their own: the filter chain between decoded pictures and an encoder,
// and the owners that free library objects through the bound functions.
#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FailureOf.h"
#include "FilterChain.h"
#include "LibraryObjects.h"
#include "TaskSettings.h"
#include "TestLibraries.h"

#include <gtest/gtest.h>
#include <vector>

namespace velto::test {
namespace {

class FilterChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        input.reset(AVCodecHlpr::avcodec_parameters_alloc());
        input->codec_type = AVMEDIA_TYPE_VIDEO;
        input->width = 64;
        input->height = 48;
        input->format = AV_PIX_FMT_YUV420P;
        input->sample_aspect_ratio = AVRational{1, 1};
        encoder.reset(AVCodecHlpr::avcodec_alloc_context3(nullptr));
        encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder->width = 32;
        encoder->height = 24;
        settings.FrameWidth = 32;
        settings.FrameHeight = 24;
    }

    // A 64x48 picture, dark on the left half and bright on the right, at pts microseconds.
    OwnedFrame Picture(std::int64_t pts) {
        OwnedFrame frame(AVUtilHlpr::av_frame_alloc());
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = 64;
        frame->height = 48;
        EXPECT_GE(AVUtilHlpr::av_frame_get_buffer(frame.get(), 0), 0);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                frame->data[0][y * frame->linesize[0] + x] = x < 32 ? 16 : 235;
        for (int plane = 1; plane < 3; ++plane)
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < 32; ++x)
                    frame->data[plane][y * frame->linesize[plane] + x] = 128;
        frame->pts = pts;
        return frame;
    }

    struct Pulled {
        int width, height;
        std::int64_t pts;
        int leftLuma, rightLuma;
    };
    static std::vector<Pulled> PullAll(TFilterChain& chain) {
        std::vector<Pulled> pulled;
        while (AVFrame* picture = chain.Pull()) {
            const std::uint8_t* row = picture->data[0] + picture->height / 2 * picture->linesize[0];
            pulled.push_back(
                {picture->width, picture->height, picture->pts, row[0], row[picture->width - 1]});
        }
        return pulled;
    }

    TLibraryOwner<AVCodecParameters, AVCodecHlpr::avcodec_parameters_free> input;
    OwnedCodecContext encoder;
    TaskSettings settings;
};

TEST_F(FilterChainTest, UserGraphRunsBeforeTheEncodersSizeAndKeepsTheTime) {
    settings.VideoFilters = "hflip";
    TFilterChain chain;
    ASSERT_EQ(FailureOf([&] { chain.Configure(settings, input.get(), encoder.get()); }), "");
    for (std::int64_t pts : {0, 40000, 80000}) {
        OwnedFrame picture = Picture(pts);
        ASSERT_TRUE(chain.Push(picture.get()));
        const std::vector<Pulled> pulled = PullAll(chain);
        ASSERT_EQ(pulled.size(), 1u) << pts;
        EXPECT_EQ(pulled[0].width, 32);
        EXPECT_EQ(pulled[0].height, 24);
        EXPECT_EQ(pulled[0].pts, pts);
        // Mirrored: the bright half is on the left now.
        EXPECT_GT(pulled[0].leftLuma, 200);
        EXPECT_LT(pulled[0].rightLuma, 50);
    }
    EXPECT_EQ(encoder->width, 32);
    EXPECT_EQ(encoder->height, 24);
}

TEST_F(FilterChainTest, PicturesHeldBackComeOutWhenTheInputEnds) {
    settings.VideoFilters = "reverse";
    TFilterChain chain;
    chain.Configure(settings, input.get(), encoder.get());
    for (std::int64_t pts : {0, 40000, 80000}) {
        OwnedFrame picture = Picture(pts);
        ASSERT_TRUE(chain.Push(picture.get()));
        EXPECT_TRUE(PullAll(chain).empty());
    }
    ASSERT_TRUE(chain.Push(nullptr));
    const std::vector<Pulled> pulled = PullAll(chain);
    ASSERT_EQ(pulled.size(), 3u);
    EXPECT_EQ(pulled[0].width, 32);
    EXPECT_TRUE(PullAll(chain).empty());
}

TEST_F(FilterChainTest, RefusalsSayWhy) {
    const struct {
        const char* name;
        const char* filters;
        int cropTop, padTop;
        const char* message;
    } rows[] = {
        {"no such filter", "hflip,nosuchfilter", 0, 0, "Error opening filters: Invalid argument"},
        {"argument the filter refuses", "scale=w=abc", 0, 0,
         "Error opening filters: Invalid argument"},
        {"crop with filters", "hflip", 8, 0,
         "Error opening filters: Cannot enable crop options and filters at the same time."},
        {"pad with a resizing filter", "scale=16:16", 0, 8,
         "Error opening filters: Cannot enable pad options and the filters which resize frame "
         "at the same time. (crop, rotate, scale, transpose, etc.)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TaskSettings s;
        s.FrameWidth = 32;
        s.FrameHeight = 24;
        s.VideoFilters = row.filters;
        s.CropTop = row.cropTop;
        s.PadTop = row.padTop;
        encoder->width = 32;
        encoder->height = 24 + row.padTop;
        TFilterChain chain;
        EXPECT_EQ(FailureOf([&] { chain.Configure(s, input.get(), encoder.get()); }), row.message);
    }
}

// A stand-in for a bound free function of each shape, and the calls it saw.
struct Thing {
    int id;
};
std::vector<const void*> freed;
void FreeByAddress(Thing** thing) {
    freed.push_back(*thing);
    delete *thing;
    *thing = nullptr;
}
void FreeMemory(void* memory) {
    freed.push_back(memory);
    delete[] static_cast<std::uint8_t*>(memory);
}
void (*boundFreeByAddress)(Thing**) = FreeByAddress;
void (*boundFreeMemory)(void*) = FreeMemory;

TEST(LibraryOwnerTest, FreesThroughTheBoundFunctionInItsShapeAndNotOnceUnbound) {
    freed.clear();
    Thing* thing = new Thing{1};
    { TLibraryOwner<Thing, boundFreeByAddress> owner(thing); }
    std::uint8_t* memory = new std::uint8_t[8];
    { std::unique_ptr<std::uint8_t[], TLibraryFree<boundFreeMemory>> owner(memory); }
    // A free function taking void* is handed the object, not the address of the pointer.
    EXPECT_EQ(freed, (std::vector<const void*>{thing, memory}));

    // Unbound: the library and its objects are gone; nothing may be called.
    boundFreeByAddress = nullptr;
    Thing orphan{2};
    { TLibraryOwner<Thing, boundFreeByAddress> owner(&orphan); }
    boundFreeByAddress = FreeByAddress;
    EXPECT_EQ(freed.size(), 2u);
}

} // namespace
} // namespace velto::test
