#include "FrameHook.h"
#include "LogBridge.h"
#include "TestLibraries.h"

#include <algorithm>
#include <cctype>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace velto {
namespace {

// Collects the engine's log lines for one test.
class LogLines : public ILibraryLogReceiver {
public:
    LogLines() {
        InstallLogCallback(1);
        RegisterLogReceiver(this);
    }
    ~LogLines() override { UnregisterLogReceiver(this); }
    void LibraryLogLine(std::uint32_t, int level, const std::string& line) override {
        std::lock_guard guard(mutex_);
        lines_.push_back(std::to_string(level) + " " + line);
    }
    std::vector<std::string> Lines() {
        std::lock_guard guard(mutex_);
        return lines_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

int Add(TFrameHook** head, const std::vector<std::string>& arguments) {
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    return AddFrameHook(head, static_cast<int>(argv.size()), argv.data());
}

int HookCount(const TFrameHook* head) {
    int count = 0;
    for (; head; head = head->next)
        ++count;
    return count;
}

// Upper-cases the file name of path, leaving the folders (which must exist) as they are.
std::string WithUpperCaseFileName(std::string path) {
    const size_t slash = path.rfind('/');
    std::transform(path.begin() + static_cast<long>(slash + 1), path.end(),
                   path.begin() + static_cast<long>(slash + 1),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return path;
}

int LiveBoxContexts() {
    void* handle = dlopen(VELTO_BOXHOOK_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return 0;
    auto live = reinterpret_cast<int (*)()>(dlsym(handle, "BoxHookLiveContexts"));
    const int count = live ? live() : -1;
    dlclose(handle);
    return count;
}

// A packed 24-bit picture over its own storage.
struct PackedPicture {
    PackedPicture(int width, int height)
        : width(width), height(height), bytes(static_cast<size_t>(width * height * 3), 0) {
        picture.data[0] = bytes.data();
        picture.linesize[0] = width * 3;
    }
    const std::uint8_t* Pixel(int x, int y) const { return &bytes[(y * width + x) * 3]; }
    std::vector<std::uint8_t> PixelBytes(int x, int y) const {
        return {Pixel(x, y), Pixel(x, y) + 3};
    }
    int width, height;
    std::vector<std::uint8_t> bytes;
    VeltoPicture picture{};
};

using Bytes = std::vector<std::uint8_t>;

TEST(FrameHook, SamePathInAnotherCaseLoadsOnceAndConfiguresEachHook) {
    test::LoadTestLibraries();
    TFrameHook* head = nullptr;
    const std::string path = VELTO_BOXHOOK_PATH;
    const std::string otherCase = WithUpperCaseFileName(path);
    ASSERT_NE(path, otherCase);

    ASSERT_EQ(Add(&head, {path, "x=0", "y=0", "w=2", "h=2", "color=ff0000"}), 0);
    const size_t libraries = FrameHookLibraryCount();
    // No file has this name: only the registry can resolve it.
    ASSERT_EQ(Add(&head, {otherCase, "x=4", "y=0", "w=2", "h=2", "color=0000ff"}), 0);
    EXPECT_EQ(FrameHookLibraryCount(), libraries);
    ASSERT_EQ(HookCount(head), 2);
    EXPECT_NE(head->context, head->next->context);
    EXPECT_EQ(head->Process, head->next->Process);
    EXPECT_EQ(LiveBoxContexts(), 2);

    PackedPicture frame(8, 2);
    RunFrameHooks(head, &frame.picture, AV_PIX_FMT_BGR24, 8, 2, 0);
    EXPECT_EQ(frame.PixelBytes(1, 1), (Bytes{0, 0, 255})); // red, blue first
    EXPECT_EQ(frame.PixelBytes(5, 1), (Bytes{255, 0, 0})); // blue
    EXPECT_EQ(frame.PixelBytes(3, 0), (Bytes{0, 0, 0}));   // between the boxes

    ReleaseFrameHooks(&head);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(LiveBoxContexts(), 0);
}

TEST(FrameHook, HooksRunInTheOrderTheyWereAdded) {
    test::LoadTestLibraries();
    // Two overlapping boxes: the colour of the overlap tells which hook ran last.
    struct Case {
        const char* first;
        const char* second;
        Bytes overlap; // RGB24
    };
    for (const Case& c : {Case{"color=ff0000", "color=00ff00", {0, 255, 0}},
                          Case{"color=00ff00", "color=ff0000", {255, 0, 0}}}) {
        TFrameHook* head = nullptr;
        ASSERT_EQ(Add(&head, {VELTO_BOXHOOK_PATH, "w=3", "h=1", c.first}), 0);
        ASSERT_EQ(Add(&head, {VELTO_BOXHOOK_PATH, "x=2", "w=3", "h=1", c.second}), 0);
        PackedPicture frame(6, 1);
        RunFrameHooks(head, &frame.picture, AV_PIX_FMT_RGB24, 6, 1, 40000);
        EXPECT_EQ(frame.PixelBytes(2, 0), c.overlap) << c.first << " then " << c.second;
        ReleaseFrameHooks(&head);
    }
}

TEST(FrameHook, DrawsIntoPlanarYuvPictures) {
    test::LoadTestLibraries();
    TFrameHook* head = nullptr;
    ASSERT_EQ(Add(&head, {VELTO_BOXHOOK_PATH, "x=2", "y=2", "w=2", "h=2", "color=ffffff"}), 0);
    std::vector<std::uint8_t> luma(8 * 8, 16), cb(4 * 4, 128), cr(4 * 4, 128);
    VeltoPicture picture{{luma.data(), cb.data(), cr.data(), nullptr}, {8, 4, 4, 0}};
    RunFrameHooks(head, &picture, AV_PIX_FMT_YUV420P, 8, 8, 0);
    EXPECT_EQ(luma[2 * 8 + 2], 235); // white in studio range
    EXPECT_EQ(luma[3 * 8 + 3], 235);
    EXPECT_EQ(luma[1 * 8 + 1], 16);
    EXPECT_EQ(luma[4 * 8 + 4], 16);
    EXPECT_EQ(cb[1 * 4 + 1], 128);
    ReleaseFrameHooks(&head);
}

TEST(FrameHook, RefusedPlugInsLeaveTheListAsItWasAndSayWhy) {
    test::LoadTestLibraries();
    const std::string processOnly = VELTO_PROCESSONLY_HOOK_PATH;
    const std::string refusing = VELTO_REFUSING_HOOK_PATH;
    // A real library that exports no "Process".
    const std::string noProcess = std::string(test::LibAVFolder()) + "/libmyutil.so";
    const std::string missing = std::string(test::LibAVFolder()) + "/no-such-hook.so";
    struct Case {
        std::vector<std::string> arguments;
        int result;
        std::string logLine; // empty: nothing logged
    };
    const std::vector<Case> cases = {
        {{processOnly, "extra"}, -2, "0 Failed to find Configure entrypoint in " + processOnly},
        {{refusing}, -22, "0 Failed to Configure " + refusing},
        {{refusing, "a", "b"}, -22, "0 Failed to Configure " + refusing},
        {{VELTO_BOXHOOK_PATH, "size=3"},
         -22,
         std::string("0 Failed to Configure ") + VELTO_BOXHOOK_PATH},
        {{noProcess}, -2, "0 Failed to find Process entrypoint in " + noProcess},
        {{}, -2, ""},
        {std::vector<std::string>(65, processOnly), -7, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? "(none)" : c.arguments.back());
        LogLines log;
        TFrameHook* head = nullptr;
        EXPECT_EQ(Add(&head, c.arguments), c.result);
        EXPECT_EQ(head, nullptr);
        const auto lines = log.Lines();
        if (c.logLine.empty())
            EXPECT_TRUE(lines.empty());
        else
            EXPECT_EQ(lines, std::vector<std::string>{c.logLine});
    }

    LogLines log;
    TFrameHook* head = nullptr;
    EXPECT_EQ(Add(&head, {missing}), -1);
    EXPECT_EQ(head, nullptr);
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("no-such-hook.so"), std::string::npos) << lines[0];
}

TEST(FrameHook, ProcessOnlyPlugInWithoutArgumentsIsAcceptedAndRuns) {
    test::LoadTestLibraries();
    TFrameHook* head = nullptr;
    ASSERT_EQ(Add(&head, {VELTO_PROCESSONLY_HOOK_PATH}), 0);
    ASSERT_EQ(HookCount(head), 1);
    EXPECT_EQ(head->Configure, nullptr);
    EXPECT_EQ(head->Release, nullptr);
    PackedPicture frame(1, 1);
    RunFrameHooks(head, &frame.picture, AV_PIX_FMT_RGB24, 1, 1, 0);
    EXPECT_EQ(frame.bytes[0], 255);
    ReleaseFrameHooks(&head); // nothing to release but the record
    EXPECT_EQ(head, nullptr);
}

TEST(FrameHook, ConfigureGetsItsOwnCopyOfTheArguments) {
    test::LoadTestLibraries();
    // The sample plug-in cuts NAME=VALUE apart in place; the caller's strings must survive.
    const std::string argument = "color=00ff00";
    const char* argv[] = {VELTO_BOXHOOK_PATH, argument.c_str()};
    TFrameHook* head = nullptr;
    ASSERT_EQ(AddFrameHook(&head, 2, argv), 0);
    EXPECT_STREQ(argv[1], "color=00ff00");
    ReleaseFrameHooks(&head);
}

TEST(FrameHook, TasksOnSeveralThreadsShareOneLibrary) {
    test::LoadTestLibraries();
    const size_t librariesBefore = FrameHookLibraryCount();
    const std::string path = VELTO_BOXHOOK_PATH;
    std::vector<std::thread> threads;
    std::vector<int> results(4, 1);
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            TFrameHook* head = nullptr;
            results[i] = Add(&head, {path, "w=1", "h=1"});
            PackedPicture frame(2, 2);
            for (int n = 0; n < 100 && head; ++n)
                RunFrameHooks(head, &frame.picture, AV_PIX_FMT_RGB24, 2, 2, n);
            if (frame.PixelBytes(0, 0) != Bytes{255, 255, 255})
                results[i] = 2;
            ReleaseFrameHooks(&head);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(results, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_LE(FrameHookLibraryCount(), librariesBefore + 1);
    TFrameHook* head = nullptr;
    const size_t libraries = FrameHookLibraryCount();
    EXPECT_EQ(Add(&head, {path}), 0);
    EXPECT_EQ(FrameHookLibraryCount(), libraries);
    ReleaseFrameHooks(&head);
}

} // namespace
} // namespace velto
