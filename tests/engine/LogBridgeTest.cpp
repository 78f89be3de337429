#include "LogBridge.h"
#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "CodecLock.h"
#include "LogCapture.h"
#include "TestLibraries.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace velto;

namespace {

TEST(LogLevels, TranslateBetweenEngineAndLibraryNumbers) {
    const std::pair<int, int> setLevels[] = {{-1, AV_LOG_QUIET},
                                             {0, AV_LOG_WARNING},
                                             {1, AV_LOG_INFO},
                                             {2, AV_LOG_DEBUG},
                                             {3, AV_LOG_TRACE}};
    for (auto [engine, library] : setLevels) {
        EXPECT_EQ(AVLevelFromLibraryLevel(engine), library);
        EXPECT_EQ(LibraryLevelFromAV(library), engine);
    }
    EXPECT_EQ(LibraryLevelFromAV(AV_LOG_PANIC), 0);
    EXPECT_EQ(LibraryLevelFromAV(AV_LOG_ERROR), 0);
    EXPECT_EQ(LibraryLevelFromAV(AV_LOG_VERBOSE), 2);
    EXPECT_EQ(LogLevelFromLibraryLevel(-5), llQuiet);
    EXPECT_EQ(LogLevelFromLibraryLevel(0), llError);
    EXPECT_EQ(LogLevelFromLibraryLevel(2), llDebug);
    EXPECT_EQ(LogLevelFromLibraryLevel(7), llAll);
}

TEST(LogBridge, ThresholdFollowsTheLibraryLevelAfterBinding) {
    test::LoadTestLibraries();
    EXPECT_EQ(LogThreshold(), LibraryLevelFromAV(AVUtilHlpr::av_log_get_level()));
    SetLibraryLogLevel(0);
    EXPECT_EQ(AVUtilHlpr::av_log_get_level(), AV_LOG_WARNING);
    EXPECT_EQ(LogThreshold(), 0);
}

TEST(LogBridge, AssemblesLinesPerThreadAndFiltersByThreshold) {
    test::LoadTestLibraries();
    test::LogCapture log(1);
    AVUtilHlpr::av_log(nullptr, AV_LOG_INFO, "abc");
    std::thread([] { AVUtilHlpr::av_log(nullptr, AV_LOG_INFO, "other thread\n"); }).join();
    AVUtilHlpr::av_log(nullptr, AV_LOG_INFO, "def\nsecond ");
    AVUtilHlpr::av_log(nullptr, AV_LOG_DEBUG, "dropped above the threshold\n");
    AVUtilHlpr::av_log(nullptr, AV_LOG_INFO, "line\n");
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "other thread");
    EXPECT_NE(lines[0].threadId, CurrentThreadId());
    EXPECT_EQ(lines[1].text, "abcdef");
    EXPECT_EQ(lines[1].threadId, CurrentThreadId());
    EXPECT_EQ(lines[1].level, 1);
    EXPECT_EQ(lines[2].text, "second line");
}

TEST(LogBridge, PrefixesContextOnlyAtTheStartOfALine) {
    test::LoadTestLibraries();
    test::LogCapture log(1);
    AVCodecContext* context = AVCodecHlpr::avcodec_alloc_context3(nullptr);
    AVUtilHlpr::av_log(context, AV_LOG_INFO, "start ");
    AVUtilHlpr::av_log(context, AV_LOG_INFO, "end\n");
    AVCodecHlpr::avcodec_free_context(&context);
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text.rfind("[", 0), 0u);
    EXPECT_NE(lines[0].text.find(" @ "), std::string::npos);
    EXPECT_EQ(lines[0].text.substr(lines[0].text.find(']')), "]start end");
}

TEST(LogBridge, OverlongTextIsCutToTheLineBuffer) {
    test::LoadTestLibraries();
    test::LogCapture log(1);
    const std::string huge(10000, 'x');
    AVUtilHlpr::av_log(nullptr, AV_LOG_INFO, "%s\n", huge.c_str());
    AVUtilHlpr::av_log(nullptr, AV_LOG_INFO, "next\n");
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, std::string(2046, 'x'));
    EXPECT_EQ(lines[1].text, "next") << "an overlong line must not swallow the next one";
}

// A thread inside the codec lock that logs must not wait for the registry, which comes first in
// the lock order, nor run log handlers there (one that opens a file takes the codec lock).
TEST(LogBridge, LinesLoggedUnderTheCodecLockWaitUntilItIsLeft) {
    test::LoadTestLibraries();
    test::LogCapture log(1);
    std::atomic<int> step{0};
    std::thread opener([&] {
        std::lock_guard codec(CodecLock());
        AVUtilHlpr::av_log(nullptr, AV_LOG_INFO, "opening ");
        AVUtilHlpr::av_log(nullptr, AV_LOG_INFO, "codec\n");
        step = 1;
        while (step.load() != 2)
            std::this_thread::yield();
    });
    while (step.load() != 1)
        std::this_thread::yield();
    EXPECT_TRUE(log.Lines().empty()) << "delivered while the codec lock was held";
    bool gotCodecLock = false;
    {
        // As a handler does: registry held, then the codec lock wanted.
        const TLogRegistryLock registry;
        step = 2;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(gotCodecLock = CodecLock().try_lock()) &&
               std::chrono::steady_clock::now() < giveUp)
            std::this_thread::yield();
        if (gotCodecLock)
            CodecLock().unlock();
    }
    ASSERT_TRUE(gotCodecLock) << "the logging thread kept the codec lock";
    opener.join();
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "opening codec");
    EXPECT_NE(lines[0].threadId, CurrentThreadId());
}

} // namespace
