// Rules of the output set-up that need no library state: resizing filters, rate-control
// overrides, and the frame rate and formats chosen from an encoder's lists.
#include "FFmpeg.h"
#include "SetupRules.h"

#include <gtest/gtest.h>

namespace velto {
namespace {

TEST(OutputRules, ResizingFilterNames) {
    const struct {
        const char* chain;
        bool noResizing;
    } cases[] = {
        {"", true},
        {"hflip,vflip", true},
        {"SCALE=320:240", false},
        {"hflip,crop=100:100", false},
        {"transpose", false},
        {"rotate=PI/2,hflip", false},
        {"scale2ref", true}, // only whole names count
        {"cropdetect", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TCustomFFmpeg::HasNoResizingFilter(c.chain), c.noResizing) << c.chain;
}

TEST(OutputRules, RateControlOverrides) {
    const auto overrides = ParseRcOverride("0,100,2/101,200,-50");
    ASSERT_EQ(overrides.size(), 2u);
    EXPECT_EQ(overrides[0].start_frame, 0);
    EXPECT_EQ(overrides[0].end_frame, 100);
    EXPECT_EQ(overrides[0].qscale, 2);
    EXPECT_FLOAT_EQ(overrides[0].quality_factor, 1.0f);
    EXPECT_EQ(overrides[1].start_frame, 101);
    EXPECT_EQ(overrides[1].end_frame, 200);
    EXPECT_EQ(overrides[1].qscale, 0);
    EXPECT_FLOAT_EQ(overrides[1].quality_factor, 0.5f);

    EXPECT_EQ(ParseRcOverride(" 5, 9,3").size(), 1u);
    for (const char* bad : {"0,100", "0", "0,100,2/7"}) {
        try {
            ParseRcOverride(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const FFMpegException& error) {
            EXPECT_STREQ(error.what(), "error parsing rc_override") << bad;
        }
    }
}

TEST(OutputRules, NearestSupportedFrameRate) {
    const AVRational film[] = {{24, 1}, {25, 1}, {30, 1}, {0, 0}};
    const AVRational tie[] = {{20, 1}, {30, 1}, {0, 0}};
    const struct {
        const AVRational* list;
        AVRational wanted, expected;
    } cases[] = {
        {film, {30000, 1001}, {30, 1}},
        {film, {15, 1}, {24, 1}},
        {film, {25, 1}, {25, 1}},
        {tie, {25, 1}, {20, 1}},                 // a tie goes to the first entry
        {nullptr, {30000, 1001}, {30000, 1001}}, // no list: unchanged
    };
    for (const auto& c : cases) {
        const AVRational chosen = NearestFrameRate(c.list, c.wanted);
        EXPECT_EQ(av_cmp_q(chosen, c.expected), 0) << c.wanted.num << "/" << c.wanted.den;
    }
}

TEST(OutputRules, FormatsFromTheEncoderLists) {
    const AVPixelFormat pixels[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_NONE};
    EXPECT_EQ(SupportedPixelFormat(pixels, AV_PIX_FMT_NONE), AV_PIX_FMT_YUV420P);
    EXPECT_EQ(SupportedPixelFormat(pixels, AV_PIX_FMT_YUV422P), AV_PIX_FMT_YUV422P);
    EXPECT_EQ(SupportedPixelFormat(pixels, AV_PIX_FMT_RGB24), AV_PIX_FMT_YUV420P);
    EXPECT_EQ(SupportedPixelFormat(nullptr, AV_PIX_FMT_RGB24), AV_PIX_FMT_RGB24);
    const AVSampleFormat samples[] = {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_NONE};
    EXPECT_EQ(SupportedSampleFormat(samples, AV_SAMPLE_FMT_S16), AV_SAMPLE_FMT_FLTP);
    EXPECT_EQ(SupportedSampleFormat(samples, AV_SAMPLE_FMT_FLTP), AV_SAMPLE_FMT_FLTP);
    EXPECT_EQ(SupportedSampleFormat(nullptr, AV_SAMPLE_FMT_S16), AV_SAMPLE_FMT_S16);
}

} // namespace
} // namespace velto
