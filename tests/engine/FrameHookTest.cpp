#include "FrameHook.h"
#include "LogBridge.h"
#include "TestLibraries.h"

#include <algorithm>
#include <cctype>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace velto {
namespace {

// Collects the engine's log lines for one test.
struct LogLines : ILibraryLogReceiver {
    LogLines() {
        InstallLogCallback(1);
        RegisterLogReceiver(this);
    }
    ~LogLines() override { UnregisterLogReceiver(this); }
    void LibraryLogLine(std::uint32_t, int level, const std::string& line) override {
        std::lock_guard guard(mutex);
        lines.push_back(std::to_string(level) + " " + line);
    }
    std::mutex mutex;
    std::vector<std::string> lines;
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

int LiveBoxContexts() {
    void* handle = dlopen(VELTO_BOXHOOK_PATH, RTLD_NOW | RTLD_NOLOAD);
    auto live =
        handle ? reinterpret_cast<int (*)()>(dlsym(handle, "BoxHookLiveContexts")) : nullptr;
    const int count = live ? live() : 0;
    if (handle)
        dlclose(handle);
    return count;
}

using Bytes = std::vector<std::uint8_t>;

// Runs the hooks over a black packed 24-bit picture of width x 1 and returns its bytes.
Bytes RunOverRow(TFrameHook* head, int width, int pixelFormat) {
    Bytes row(static_cast<size_t>(width) * 3);
    VeltoPicture picture{{row.data()}, {width * 3}};
    RunFrameHooks(head, &picture, pixelFormat, width, 1, 0);
    return row;
}

TEST(FrameHook, SamePathInAnotherCaseLoadsOnceAndConfiguresEachHook) {
    test::LoadTestLibraries();
    std::string otherCase = VELTO_BOXHOOK_PATH;
    const size_t name = otherCase.rfind('/') + 1;
    std::transform(otherCase.begin() + static_cast<long>(name), otherCase.end(),
                   otherCase.begin() + static_cast<long>(name), ::toupper);
    TFrameHook* head = nullptr;
    ASSERT_EQ(Add(&head, {VELTO_BOXHOOK_PATH, "w=2", "h=1", "color=ff0000"}), 0);
    const size_t libraries = FrameHookLibraryCount();
    // No file has this name: only the registry can resolve it.
    ASSERT_EQ(Add(&head, {otherCase, "x=4", "w=2", "h=1", "color=0000ff"}), 0);
    EXPECT_EQ(FrameHookLibraryCount(), libraries);
    ASSERT_EQ(HookCount(head), 2);
    EXPECT_EQ(LiveBoxContexts(), 2);

    const Bytes row = RunOverRow(head, 6, AV_PIX_FMT_BGR24);
    EXPECT_EQ(Bytes(row.begin() + 3, row.begin() + 6), (Bytes{0, 0, 255}));   // red
    EXPECT_EQ(Bytes(row.begin() + 6, row.begin() + 9), (Bytes{0, 0, 0}));     // untouched
    EXPECT_EQ(Bytes(row.begin() + 12, row.begin() + 15), (Bytes{255, 0, 0})); // blue

    ReleaseFrameHooks(&head);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(LiveBoxContexts(), 0);
}

TEST(FrameHook, HooksRunInTheOrderTheyWereAdded) {
    test::LoadTestLibraries();
    // Two overlapping boxes: the colour of the overlap at x = 2 tells which hook ran last.
    for (auto [first, second, overlap] : {std::tuple{"color=ff0000", "color=00ff00", 1},
                                          std::tuple{"color=00ff00", "color=ff0000", 0}}) {
        TFrameHook* head = nullptr;
        ASSERT_EQ(Add(&head, {VELTO_BOXHOOK_PATH, "w=3", "h=1", first}), 0);
        ASSERT_EQ(Add(&head, {VELTO_BOXHOOK_PATH, "x=2", "w=3", "h=1", second}), 0);
        const Bytes row = RunOverRow(head, 6, AV_PIX_FMT_RGB24);
        EXPECT_EQ(row[2 * 3 + overlap], 255) << first << " then " << second;
        ReleaseFrameHooks(&head);
    }
}

TEST(FrameHook, AcceptsOrRefusesEachPlugInAndSaysWhy) {
    test::LoadTestLibraries();
    const std::string processOnly = VELTO_PROCESSONLY_HOOK_PATH;
    const std::string refusing = VELTO_REFUSING_HOOK_PATH;
    const std::string noProcess = std::string(test::LibAVFolder()) + "/libmyutil.so";
    const std::string missing = std::string(test::LibAVFolder()) + "/no-such-hook.so";
    struct Case {
        std::vector<std::string> arguments;
        int result;
        std::string logged; // the one level-0 line, or a part of it; empty: nothing logged
    };
    const std::vector<Case> cases = {
        {{processOnly}, 0, ""},
        {{processOnly, "extra"}, -2, "Failed to find Configure entrypoint in " + processOnly},
        {{refusing, "a"}, -22, "Failed to Configure " + refusing},
        {{VELTO_BOXHOOK_PATH, "size=3"}, -22, "Failed to Configure "},
        {{noProcess}, -2, "Failed to find Process entrypoint in " + noProcess},
        {{missing}, -1, "no-such-hook.so"},
        {{}, -2, ""},
        {std::vector<std::string>(65, processOnly), -7, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.empty()
                         ? "(none)"
                         : c.arguments[0] + " x" + std::to_string(c.arguments.size()));
        LogLines log;
        TFrameHook* head = nullptr;
        EXPECT_EQ(Add(&head, c.arguments), c.result);
        EXPECT_EQ(HookCount(head), c.result == 0 ? 1 : 0);
        ReleaseFrameHooks(&head);
        std::lock_guard guard(log.mutex);
        if (c.logged.empty()) {
            EXPECT_TRUE(log.lines.empty());
        } else {
            ASSERT_EQ(log.lines.size(), 1u);
            EXPECT_EQ(log.lines[0].rfind("0 ", 0), 0u) << log.lines[0];
            EXPECT_NE(log.lines[0].find(c.logged), std::string::npos) << log.lines[0];
        }
    }
}

} // namespace
} // namespace velto
