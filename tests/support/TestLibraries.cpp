#include "TestLibraries.h"

#include "LibraryBinding.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <stdexcept>
#include <system_error>

namespace velto::test {

namespace {

// One folder per process, made on first use and removed at exit when every test passed.
class RunFolder {
public:
    const std::filesystem::path& Path() {
        if (path_.empty()) {
            std::string pattern =
                (std::filesystem::temp_directory_path() / "velto-tests-XXXXXX").string();
            if (!::mkdtemp(pattern.data()))
                throw std::runtime_error("cannot create a scratch folder from " + pattern);
            path_ = pattern;
        }
        return path_;
    }

    ~RunFolder() {
        if (path_.empty())
            return;
        const auto* unit = ::testing::UnitTest::GetInstance();
        if (unit && unit->Failed()) {
            std::cerr << "test files kept in " << path_.string() << "\n";
            return;
        }
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

private:
    std::filesystem::path path_;
};

RunFolder& TheRunFolder() {
    static RunFolder folder;
    return folder;
}

} // namespace

const char* LibAVFolder() {
    return VELTO_LIBAV_DIR;
}

void LoadTestLibraries() {
    ASSERT_TRUE(LoadLibraries(LibAVFolder(), true)) << LibraryError();
}

void UnloadTestLibraries() {
    UnloadLibraries();
}

std::string ScratchFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path folder = TheRunFolder().Path();
    folder /= info ? std::string(info->test_suite_name()) + "." + info->name() : "no-test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}

std::string FileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace velto::test
