#include "TestLibraries.h"

#include "LibraryBinding.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace velto::test {

const char* LibAVFolder() {
    return VELTO_LIBAV_DIR;
}

void LoadTestLibraries() {
    ASSERT_TRUE(LoadLibraries(LibAVFolder(), true)) << LibraryError();
}

std::string ScratchFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path folder = std::filesystem::path(VELTO_TEST_BINARY_DIR) / "scratch";
    if (info)
        folder /= std::string(info->test_suite_name()) + "." + info->name();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}

} // namespace velto::test

#if defined(__SANITIZE_THREAD__)
// The FFmpeg libraries are not instrumented: their frame threads hand pictures and reference
// counts over with atomics ThreadSanitizer cannot see, so the allocator and copy calls made
// inside them look like races. Calls from our own code stay checked. Defined here, in a unit
// every test links, so that each suite picks it up however it is started.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libavutil.so\n"
           "called_from_lib:libavcodec.so\n"
           "called_from_lib:libavformat.so\n"
           "called_from_lib:libswscale.so\n"
           "called_from_lib:libswresample.so\n"
           "called_from_lib:libx264.so\n"
           "called_from_lib:libx265.so\n";
}
#endif
