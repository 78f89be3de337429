// The engine component on real media: batches run one or several at a time or on the main
// thread, stop with tasks waiting, removal re-indexing, and the log and property rules.
#include "FFmpegEngine.h"

#include "EventLoopDispatcher.h"
#include "MediaFactory.h"
#include "TestLibraries.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace velto::test {
namespace {

using namespace std::chrono_literals;

struct Ended {
    int index;
    bool finished;
    bool exception;
    std::string message;
    TJobResult result;
    std::uint32_t threadId;
    bool thirdStarted; // task 2 was running or done when this event came
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        ASSERT_TRUE(engine.LoadLibraries(LibAVFolder(), true)) << engine.LastError;
        engine.OnTerminate = [this](int index, bool finished, bool exception,
                                    const std::string& message, TJobResult result) {
            bool third = false;
            if (engine.TaskCount() > 2) {
                TFFmpeg* task = engine.Tasks(2);
                third = task->Running() || task->Terminated();
            }
            std::lock_guard guard(lock);
            ended.push_back(
                {index, finished, exception, message, result, CurrentThreadId(), third});
            changed.notify_all();
        };
    }
    // Adds count tasks converting a clip of the given length to MPEG-4 in AVI.
    void AddTasks(int count, double seconds = 1.0, bool customHook = false) {
        const std::string source = MakeVideoOnly(folder, seconds);
        for (int i = 0; i < count; ++i) {
            const int index = engine.AddTask(source, nullptr);
            ASSERT_EQ(index, i) << engine.LastError;
            TOutputOptions output;
            output.VideoCodec = "mpeg4";
            output.CustomHook = customHook;
            ASSERT_TRUE(
                engine.AddOutput(index, folder + "/out" + std::to_string(i) + ".avi", &output))
                << engine.LastError;
        }
    }
    bool WaitForBatchEnd() {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 120s,
                                [&] { return !ended.empty() && ended.back().index == -1; });
    }
    std::vector<int> Indices() {
        std::lock_guard guard(lock);
        std::vector<int> indices;
        for (const Ended& e : ended)
            indices.push_back(e.index);
        return indices;
    }

    TFFmpegEngine engine;
    std::string folder;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Ended> ended;
};

TEST(EngineProperties, ProgressIntervalHasAFloorAndVersionIsFixed) {
    TFFmpegEngine engine;
    for (auto [written, read] : {std::pair{50, 100}, {100, 100}, {101, 101}, {-5, 100}}) {
        engine.SetProgressInterval(written);
        EXPECT_EQ(engine.ProgressInterval(), read) << written;
    }
    EXPECT_STREQ(TFFmpegEngine::Version, "2.2c");
}

TEST_F(EngineTest, BatchesRunInTaskOrderAndEndWithOneFinalEvent) {
    TEventLoopDispatcher dispatcher;
    SetMainThreadDispatcher(&dispatcher);
    for (int count : {1, 0}) {
        SCOPED_TRACE(count);
        engine.ClearTasks();
        ended.clear();
        AddTasks(3);
        engine.StartTasks(count);
        if (count <= 0) {
            // Main-thread runs wait for the dispatcher's timer, one task per tick.
            EXPECT_TRUE(Indices().empty());
            const auto deadline = std::chrono::steady_clock::now() + 120s;
            while ((Indices().empty() || Indices().back() != -1) &&
                   std::chrono::steady_clock::now() < deadline) {
                dispatcher.RunPending();
                std::this_thread::sleep_for(5ms);
            }
        }
        ASSERT_TRUE(WaitForBatchEnd());
        EXPECT_EQ(Indices(), (std::vector<int>{0, 1, 2, -1}));
        for (const Ended& e : ended) {
            EXPECT_TRUE(e.finished);
            EXPECT_FALSE(e.exception);
            EXPECT_EQ(e.result, jrFinished) << e.index;
            EXPECT_EQ(e.message, "");
            EXPECT_EQ(e.threadId == CurrentThreadId(), count <= 0) << e.index;
        }
    }
    SetMainThreadDispatcher(nullptr);
}

TEST_F(EngineTest, TwoAtATimeStartTheThirdWhenOneEnds) {
    AddTasks(3);
    engine.StartTasks(2);
    ASSERT_TRUE(WaitForBatchEnd());
    ASSERT_EQ(ended.size(), 4u);
    EXPECT_FALSE(ended[0].thirdStarted) << "task 2 started before a task ended";
    EXPECT_NE(ended[0].index, 2);
    EXPECT_EQ(ended.back().index, -1);
}

TEST_F(EngineTest, StopEndsTheRunningTaskAndReportsTheWaitingOnes) {
    AddTasks(3, 2.0, true);
    // The first picture of task 0 pauses it: it parks before its next packet.
    engine.OnCustomHook = [&](int, TBitmap&, int, std::int64_t, bool& update, bool&) {
        update = false;
        engine.PauseTasks();
    };
    engine.StartTasks(1);
    TFFmpeg* first = engine.Tasks(0);
    for (int i = 0; i < 24000 && !first->Parked(); ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(first->Parked());
    engine.StopTasks();
    ASSERT_TRUE(WaitForBatchEnd());
    std::vector<int> indices = Indices();
    ASSERT_EQ(indices.size(), 4u);
    EXPECT_EQ(indices.back(), -1);
    std::sort(indices.begin(), indices.end() - 1);
    EXPECT_EQ(indices, (std::vector<int>{0, 1, 2, -1}));
    for (size_t i = 0; i + 1 < ended.size(); ++i) {
        EXPECT_FALSE(ended[i].finished) << ended[i].index;
        EXPECT_FALSE(ended[i].exception) << ended[i].index;
        EXPECT_EQ(ended[i].result, jrStopped) << ended[i].index;
    }
}

TEST_F(EngineTest, DestroyingTheComponentEndsItsRunningTasks) {
    auto owned = std::make_unique<TFFmpegEngine>();
    const int index = owned->AddTask(MakeVideoOnly(folder, 2.0), nullptr);
    TOutputOptions output;
    output.CustomHook = true;
    ASSERT_TRUE(owned->AddOutput(index, folder + "/closed.avi", &output)) << owned->LastError;
    owned->OnCustomHook = [&](int, TBitmap&, int, std::int64_t, bool& update, bool&) {
        update = false;
        owned->PauseTasks();
    };
    int events = 0;
    owned->OnTerminate = [&](int, bool, bool, const std::string&, TJobResult) { ++events; };
    owned->StartTasks(1);
    TFFmpeg* task = owned->Tasks(0);
    for (int i = 0; i < 24000 && !task->Parked(); ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(task->Parked());
    owned.reset();
    EXPECT_EQ(events, 0) << "a dying component raised an event";
}

TEST_F(EngineTest, RemovalReindexesAndBadInputIsRefused) {
    AddTasks(3);
    TFFmpeg* second = engine.Tasks(1);
    engine.RemoveTask(0);
    EXPECT_EQ(engine.Tasks(0), second);
    EXPECT_EQ(second->Index, 0);

    TInputOptions unknown;
    unknown.FileFormat = "nosuchformat";
    EXPECT_EQ(engine.AddTask(MakeWav(folder), &unknown), -1);
    EXPECT_EQ(engine.LastError, "Unknown input format: nosuchformat");
    EXPECT_EQ(engine.TaskCount(), 2);

    engine.StartTasks(1);
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(Indices(), (std::vector<int>{0, 1, -1}));
}

TEST_F(EngineTest, EmptyBatchRaisesNothingAndLibraryLinesJoin) {
    engine.StartTasks(1);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(Indices().empty());

    std::vector<std::pair<int, std::string>> lines;
    engine.OnLog = [&](int index, TLogLevel, const std::string& text) {
        lines.emplace_back(index, text);
    };
    EngineLog(1, "abc");
    EngineLog(1, "def\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::make_pair(-1, std::string("abcdef")));
}

} // namespace
} // namespace velto::test
