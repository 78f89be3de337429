// The engine component on real media: batches run one or several at a time or on the main
// thread, stop with tasks waiting, removal re-indexing, and the log and property rules.
#include "FFmpegEngine.h"

#include "EventLoopDispatcher.h"
#include "MediaFactory.h"
#include "TestLibraries.h"
#include "Waiting.h"

#include <algorithm>
#include <atomic>
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
            // Main-thread runs wait for the dispatcher's timer, one task per tick: the loop runs
            // until the final event, which comes on this thread.
            EXPECT_TRUE(Indices().empty());
            const TTerminateEvent record = engine.OnTerminate;
            engine.OnTerminate = [&, record](int index, bool finished, bool exception,
                                             const std::string& message, TJobResult result) {
                record(index, finished, exception, message, result);
                if (index == -1)
                    dispatcher.Quit();
            };
            dispatcher.SingleShot(kGenerousWait, [&] { dispatcher.Quit(); });
            dispatcher.Run();
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
    ASSERT_TRUE(WaitUntil([&] { return first->Parked(); }));
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
    ASSERT_TRUE(WaitUntil([&] { return task->Parked(); }));
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
    // With no task nothing can run later: an event would have come inside the call.
    engine.StartTasks(1);
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

// Handlers of the end events take the list apart, as programs do on the final event: nothing
// hangs, the remaining tasks report under their new indices and the batch ends once.
TEST_F(EngineTest, HandlersMayRemoveOrClearAndTheBatchStillEndsOnce) {
    struct Case {
        const char* name;
        int count; // 0: on this thread, no dispatcher
        bool clear;
        std::vector<int> indices; // -2: any task index
    } cases[] = {
        {"remove own task, one at a time", 1, false, {0, 0, 1, -1}},
        {"remove own task, in place", 0, false, {0, 0, 1, -1}},
        {"clear, one at a time", 1, true, {0, -1}},
        {"clear, in place", 0, true, {0, -1}},
        {"clear, two at a time", 2, true, {-2, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine.ClearTasks();
        ended.clear();
        AddTasks(3);
        bool acted = false;
        engine.OnTerminate = [&](int index, bool finished, bool exception, const std::string&,
                                 TJobResult) {
            if (index >= 0 && !acted) {
                acted = true;
                if (c.clear)
                    engine.ClearTasks();
                else
                    engine.RemoveTask(index);
            }
            std::lock_guard guard(lock);
            ended.push_back({index, finished, exception, {}, jrFinished, CurrentThreadId(), false});
            changed.notify_all();
        };
        engine.StartTasks(c.count);
        ASSERT_TRUE(WaitForBatchEnd());
        {
            // A wrong second final event would come from a thread just leaving its report: the
            // wait ends at once when one comes, and otherwise gives the threads time to end.
            std::unique_lock guard(lock);
            changed.wait_for(guard, 100ms, [&] {
                return std::count_if(ended.begin(), ended.end(),
                                     [](const Ended& e) { return e.index == -1; }) > 1;
            });
        }
        std::vector<int> indices = Indices();
        ASSERT_EQ(indices.size(), c.indices.size());
        for (size_t i = 0; i < indices.size(); ++i) {
            if (c.indices[i] != -2) {
                EXPECT_EQ(indices[i], c.indices[i]) << i;
            }
        }
    }
}

TEST_F(EngineTest, RemovingTheRunningTaskKeepsTheFinalEvent) {
    AddTasks(3, 2.0, true);
    engine.OnCustomHook = [&](int, TBitmap&, int, std::int64_t, bool& update, bool&) {
        update = false;
        engine.PauseTasks();
    };
    engine.StartTasks(1);
    TFFmpeg* first = engine.Tasks(0);
    ASSERT_TRUE(WaitUntil([&] { return first->Parked(); }));
    engine.OnCustomHook = nullptr;
    engine.RemoveTask(0); // waits for the stopped worker
    ASSERT_TRUE(WaitForBatchEnd());
    // The removed task reports under no index; the others under their new ones.
    EXPECT_EQ(Indices(), (std::vector<int>{0, 1, -1}));
}

// Workers are owned and joined: once the list is cleared from this thread, no thread that the
// batch made is left, the one that raised the final event included.
TEST_F(EngineTest, NoThreadOfABatchOutlivesClearingTheList) {
    const int threadsBefore = ProcessThreadCount();
    AddTasks(3);
    engine.StartTasks(2);
    ASSERT_TRUE(WaitForBatchEnd());
    engine.ClearTasks();
    EXPECT_LE(ProcessThreadCount(), threadsBefore);
    EXPECT_EQ(Indices().size(), 4u);
}

// A program reads the task's file names by index in its OnTerminate handler; a removal from the
// main thread meanwhile waits for the handler, so the index still names the reporting task.
TEST_F(EngineTest, RemovalFromTheMainThreadWaitsForAReportReadingByIndex) {
    AddTasks(2);
    TWatched<int> stage(0); // 1 in the second task's handler, 2 returned from it
    std::string outputRead;
    engine.OnTerminate = [&](int index, bool finished, bool exception, const std::string& message,
                             TJobResult result) {
        if (index == 1) {
            stage.Update([](int& s) { s = 1; });
            // Takes its time, so that a removal that did not wait would shift the list meanwhile.
            std::this_thread::sleep_for(100ms);
            try {
                TOutputOptions output;
                engine.GetOutputOptions(index, output);
                outputRead = output.FileName;
            } catch (const std::out_of_range&) {
                outputRead = "index gone";
            }
            stage.Update([](int& s) { s = 2; });
        }
        std::lock_guard guard(lock);
        ended.push_back({index, finished, exception, message, result, CurrentThreadId(), false});
        changed.notify_all();
    };
    engine.StartTasks(1);
    ASSERT_TRUE(stage.WaitFor([](int s) { return s >= 1; }));
    engine.RemoveTask(0);
    EXPECT_EQ(stage.Get(), 2) << "the removal did not wait for the handler";
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(outputRead, folder + "/out1.avi");
    EXPECT_EQ(Indices(), (std::vector<int>{0, 1, -1}));
}

// Library lines reach the handlers with no lock of the bridge or the component held: a handler
// may log and use the component, which clears the log list, on the very thread.
TEST_F(EngineTest, LogHandlersMayLogAndCallTheComponent) {
    std::vector<std::string> lines;
    engine.OnLog = [&](int index, TLogLevel, const std::string& text) {
        EXPECT_EQ(index, -1);
        lines.push_back(text);
        if (text == "outer") {
            engine.StartTasks(1); // no task: clears the log list and raises nothing
            EngineLog(1, "inner\n");
        }
    };
    EngineLog(1, "outer\n");
    EXPECT_EQ(lines, (std::vector<std::string>{"outer", "inner"}));
}

TEST_F(EngineTest, DestroyingTheComponentWaitsForALogHandlerOnAnotherThread) {
    auto owned = std::make_unique<TFFmpegEngine>();
    TWatched<int> stage(0); // 1 in the handler, 2 returned from it
    owned->OnLog = [&](int, TLogLevel, const std::string& text) {
        if (text != "slow handler")
            return;
        stage.Update([](int& s) { s = 1; });
        // Takes its time, so that a destructor that did not wait would return meanwhile.
        std::this_thread::sleep_for(100ms);
        stage.Update([](int& s) { s = 2; });
    };
    std::thread other([] { EngineLog(1, "slow handler\n"); });
    EXPECT_TRUE(stage.WaitFor([](int s) { return s >= 1; }));
    owned.reset();
    EXPECT_EQ(stage.Get(), 2);
    other.join();
}

// A batch on this thread without a dispatcher runs outside the component's lock, so that another
// thread's library lines get through while it runs: the first task's first progress event waits
// for one. Lines are credited to the task running on the logging thread, and to none once its
// run is over.
TEST_F(EngineTest, InPlaceBatchWithoutDispatcherLetsOtherThreadsLog) {
    AddTasks(2, 1.0);
    std::vector<std::pair<int, std::string>> lines;
    TWatched<bool> otherSeen(false);
    engine.OnLog = [&](int index, TLogLevel, const std::string& text) {
        {
            std::lock_guard guard(lock);
            lines.emplace_back(index, text);
        }
        if (text == "from another thread")
            otherSeen.Update([](bool& seen) { seen = true; });
    };
    bool gotThroughDuringRun = false;
    bool waited = false;
    engine.OnProgress = [&](int, int, int, int, float, float, std::int64_t, int) {
        if (waited)
            return;
        waited = true;
        gotThroughDuringRun = otherSeen.WaitFor([](bool seen) { return seen; });
    };
    std::atomic<bool> done{false};
    std::thread other([&] {
        while (!done)
            EngineLog(1, "from another thread\n");
    });
    engine.StartTasks(0);
    done = true;
    other.join();
    ASSERT_EQ(Indices(), (std::vector<int>{0, 1, -1}));
    EXPECT_TRUE(waited) << "no progress event came from the run";
    EXPECT_TRUE(gotThroughDuringRun) << "another thread's line was held up by the running batch";
    EngineLog(1, "after the batch\n");
    std::lock_guard guard(lock);
    for (const auto& [index, text] : lines) {
        if (text == "from another thread") {
            EXPECT_EQ(index, -1);
        }
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), std::make_pair(-1, std::string("after the batch")))
        << "a line of this thread was credited to a task that ran on it earlier";
}

} // namespace
} // namespace velto::test
