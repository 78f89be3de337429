#include "LibraryBinding.h"
#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "MyUtilHlpr.h"
#include "MyUtils.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"
#include "TestLibraries.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool AnyUnitLoaded() {
    return AVCodecHlpr::Loaded() || AVFilterHlpr::Loaded() || AVFormatHlpr::Loaded() ||
           AVUtilHlpr::Loaded() || SwScaleHlpr::Loaded() || SwResampleHlpr::Loaded() ||
           MyUtilHlpr::Loaded();
}

// A copy of LibAV/ (links and the helper) without the named file, or with a replacement for it.
std::string StagedFolder(const std::string& omit, const std::string& replacement = {}) {
    const fs::path folder = velto::test::ScratchFolder();
    for (const auto& entry : fs::directory_iterator(velto::test::LibAVFolder())) {
        const std::string name = entry.path().filename().string();
        if (name == omit)
            continue;
        fs::create_symlink(fs::canonical(entry.path()), folder / name);
    }
    if (!replacement.empty())
        fs::copy_file(replacement, folder / omit);
    return folder.string();
}

// Counts every name the binding looks up while alive.
struct LookupSpy {
    std::vector<std::string> names;
    velto::SymbolLookup saved = velto::EntryPointLookup();
    LookupSpy() {
        velto::EntryPointLookup() = [this](void* handle, const char* name) {
            names.push_back(name);
            return saved(handle, name);
        };
    }
    ~LookupSpy() { velto::EntryPointLookup() = saved; }
};

TEST(LibraryBinding, LoadsEveryUnitFromTheStagedFolder) {
    ASSERT_TRUE(velto::LoadLibraries(velto::test::LibAVFolder(), true)) << velto::LibraryError();
    EXPECT_TRUE(velto::LibrariesLoaded());
    EXPECT_TRUE(AVCodecHlpr::Loaded() && AVFilterHlpr::Loaded() && AVFormatHlpr::Loaded() &&
                AVUtilHlpr::Loaded() && SwScaleHlpr::Loaded() && SwResampleHlpr::Loaded() &&
                MyUtilHlpr::Loaded());
    EXPECT_EQ(AVUtilHlpr::avutil_version(), static_cast<unsigned>(LIBAVUTIL_VERSION_INT));
    EXPECT_EQ(AVCodecHlpr::avcodec_version(), static_cast<unsigned>(LIBAVCODEC_VERSION_INT));
    EXPECT_TRUE(velto::LibraryError().empty());
}

TEST(LibraryBinding, MissingLibraryFailsNamingItAndLeavesNothingLoaded) {
    velto::test::UnloadTestLibraries();
    const std::string filter = AVFilterHlpr::FileName(true);
    const std::string folder = StagedFolder(filter);
    EXPECT_FALSE(velto::LoadLibraries(folder, true));
    EXPECT_FALSE(velto::LibrariesLoaded());
    EXPECT_EQ(velto::LibraryError().rfind("Load libraray " + filter + " error: ", 0), 0u)
        << velto::LibraryError();
    EXPECT_FALSE(AnyUnitLoaded());
    EXPECT_EQ(AVCodecHlpr::avcodec_open2, nullptr)
        << "the codec unit was loaded before and must be "
           "released again";
    // A later attempt from a complete folder starts afresh.
    EXPECT_TRUE(velto::LoadLibraries(velto::test::LibAVFolder(), true)) << velto::LibraryError();
}

TEST(LibraryBinding, MissingEntryPointNamesTheFirstOneAndStopsLooking) {
    velto::test::UnloadTestLibraries();
    const std::string folder = StagedFolder("libmyutil.so", VELTO_PARTIAL_MYUTIL);
    LookupSpy spy;
    EXPECT_FALSE(velto::LoadLibraries(folder, true));
    EXPECT_EQ(velto::LibraryError().rfind("Load function my_fprintf@libmyutil.so error: ", 0), 0u)
        << velto::LibraryError();
    ASSERT_GE(spy.names.size(), 2u);
    EXPECT_EQ(spy.names[spy.names.size() - 2], "my_vsprintf");
    EXPECT_EQ(spy.names.back(), "my_fprintf") << "no name after the missing one is looked up";
    EXPECT_FALSE(AnyUnitLoaded());
}

TEST(LibraryBinding, SecondLoadAfterSuccessTouchesNothing) {
    ASSERT_TRUE(velto::LoadLibraries(velto::test::LibAVFolder(), true));
    auto* open = AVCodecHlpr::avcodec_open2;
    LookupSpy spy;
    EXPECT_TRUE(velto::LoadLibraries("/no/such/folder", false));
    EXPECT_TRUE(spy.names.empty());
    EXPECT_EQ(AVCodecHlpr::avcodec_open2, open);
}

TEST(LibraryBinding, PlainNamesAreUsedWithoutTheVersionedFlag) {
    EXPECT_EQ(AVUtilHlpr::FileName(false), "libavutil.so");
    EXPECT_EQ(AVCodecHlpr::FileName(false), "libavcodec.so");
    EXPECT_EQ(AVFormatHlpr::FileName(false), "libavformat.so");
    EXPECT_EQ(SwScaleHlpr::FileName(false), "libswscale.so");
    EXPECT_EQ(AVFilterHlpr::FileName(false), "libavfilter.so");
    EXPECT_EQ(MyUtilHlpr::FileName(false), "libmyutil.so");
    EXPECT_EQ(MyUtilHlpr::FileName(true), "libmyutil.so");
    EXPECT_EQ(AVCodecHlpr::FileName(true),
              "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR));
    ASSERT_TRUE(velto::LoadLibraries(velto::test::LibAVFolder(), false)) << velto::LibraryError();

    const std::string folder = StagedFolder("libavcodec.so");
    velto::UnloadLibraries();
    EXPECT_FALSE(velto::LoadLibraries(folder, false));
    EXPECT_EQ(velto::LibraryError().rfind("Load libraray libavcodec.so error: ", 0), 0u);
}

TEST(LibraryFromFolder, LoadsByAbsolutePathLeavingTheProcessAlone) {
    const std::string folder = velto::test::LibAVFolder();
    const std::string before = fs::current_path().string();
    setenv("PATH", "/usr/bin:/bin", 1);

    // A folder given relative to the working folder is made absolute, not entered.
    const std::string relative = fs::relative(folder, before).string();
    for (const std::string& name : {folder, relative}) {
        SCOPED_TRACE(name);
        EXPECT_NE(velto::LoadLibraryFromFolder(name, "libmyutil.so"), nullptr) << dlerror();
        EXPECT_EQ(velto::LoadLibraryFromFolder(name, "libnothing.so"), nullptr);
        EXPECT_STREQ(getenv("PATH"), "/usr/bin:/bin");
        EXPECT_EQ(fs::current_path().string(), before);
    }
    // An empty folder uses the system search.
    EXPECT_NE(velto::LoadLibraryFromFolder("", "libm.so.6"), nullptr);
    EXPECT_STREQ(getenv("PATH"), "/usr/bin:/bin");
}

TEST(MyUtils, SplitAtCutsAtTheFirstDelimiter) {
    struct Case {
        std::string text, delimiter;
        bool remove;
        std::string head, rest;
    } cases[] = {
        {"name=value=x", "=", true, "name", "value=x"},
        {"name=value", "=", false, "name", "name=value"},
        {"no delimiter", "=", true, "no delimiter", ""},
        {"no delimiter", "=", false, "no delimiter", "no delimiter"},
        {"=leading", "=", true, "", "leading"},
        {"a\r\nb", "\r\n", true, "a", "b"},
        {"", "=", true, "", ""},
    };
    for (const Case& c : cases) {
        std::string text = c.text, head = "stale";
        velto::SplitAt(text, c.delimiter, c.remove, head);
        EXPECT_EQ(head, c.head) << c.text;
        EXPECT_EQ(text, c.rest) << c.text;
    }
}

TEST(MyUtils, FileSizeOfHandlesLargeAndMissingFiles) {
    const std::string folder = velto::test::ScratchFolder();
    const std::string big = folder + "/big.bin";
    {
        FILE* file = fopen(big.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        fclose(file);
    }
    // A sparse 3 GiB file: past the 32-bit range, costs no disk.
    ASSERT_EQ(truncate(big.c_str(), 3LL << 30), 0);
    EXPECT_EQ(velto::FileSizeOf(big), 3LL << 30);
    EXPECT_EQ(velto::FileSizeOf(folder + "/missing.bin"), -1);
    EXPECT_EQ(velto::FileSizeOf(folder), -1) << "a folder is not a file";
}

TEST(MyUtilLibrary, BehavesLikeTheCLibrary) {
    velto::test::LoadTestLibraries();
    char buffer[32];
    EXPECT_EQ(MyUtilHlpr::my_snprintf(buffer, 8, "%d-%s", 42, "abcdefgh"), 11);
    EXPECT_STREQ(buffer, "42-abcd");
    char* end = nullptr;
    EXPECT_EQ(MyUtilHlpr::my_strtol("0x1F rest", &end, 0), 31);
    EXPECT_STREQ(end, " rest");
    EXPECT_DOUBLE_EQ(MyUtilHlpr::my_strtod("2.5e1", &end), 25.0);
    char words[] = "a,b,,c";
    std::vector<std::string> tokens;
    for (char* token = MyUtilHlpr::my_strtok(words, ","); token;
         token = MyUtilHlpr::my_strtok(nullptr, ","))
        tokens.emplace_back(token);
    EXPECT_EQ(tokens, (std::vector<std::string>{"a", "b", "c"}));

    const std::string path = velto::test::ScratchFolder() + "/stats.log";
    FILE* file = MyUtilHlpr::my_fopen(path.c_str(), "w+");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(MyUtilHlpr::my_fprintf(file, "pass %d\n", 1), 7);
    EXPECT_EQ(MyUtilHlpr::my_ftell(file), 7);
    EXPECT_EQ(MyUtilHlpr::my_fseek(file, 0, SEEK_SET), 0);
    char read[8] = {};
    EXPECT_EQ(MyUtilHlpr::my_fread(read, 1, 7, file), 7u);
    EXPECT_STREQ(read, "pass 1\n");
    EXPECT_EQ(MyUtilHlpr::my_fwrite("x", 1, 1, file), 1u);
    EXPECT_EQ(MyUtilHlpr::my_fclose(file), 0);
}

} // namespace
