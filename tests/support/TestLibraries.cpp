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
