#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryBinding.h"
#include "MyUtilHlpr.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"
#include "TestLibraries.h"

#include <gtest/gtest.h>

namespace {

TEST(LibraryBinding, LoadsEveryUnitFromTheStagedFolder) {
    ASSERT_TRUE(velto::LoadLibraries(velto::test::LibAVFolder(), true)) << velto::LibraryError();
    EXPECT_TRUE(velto::LibrariesLoaded());
    EXPECT_TRUE(AVCodecHlpr::Loaded());
    EXPECT_TRUE(AVFilterHlpr::Loaded());
    EXPECT_TRUE(AVFormatHlpr::Loaded());
    EXPECT_TRUE(AVUtilHlpr::Loaded());
    EXPECT_TRUE(SwScaleHlpr::Loaded());
    EXPECT_TRUE(SwResampleHlpr::Loaded());
    EXPECT_TRUE(MyUtilHlpr::Loaded());
    EXPECT_EQ(AVUtilHlpr::avutil_version(), static_cast<unsigned>(LIBAVUTIL_VERSION_INT));
}

} // namespace
