// Several jobs at once: each job ends with the result it has when run alone, the batch ends with
// one final event after every job, and pause, resume and stop reach every running job.
#include "FFmpegEngine.h"

#include "MediaFactory.h"
#include "TestLibraries.h"
#include "Waiting.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <thread>

namespace velto::test {
namespace {

using namespace std::chrono_literals;

struct Outcome {
    bool finished;
    bool exception;
    TJobResult result;
    bool operator==(const Outcome&) const = default;
};

class SimultaneousJobsTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        ASSERT_TRUE(engine.LoadLibraries(LibAVFolder(), true)) << engine.LastError;
        engine.OnTerminate = [this](int index, bool finished, bool exception, const std::string&,
                                    TJobResult result) {
            std::lock_guard guard(lock);
            order.push_back(index);
            if (index >= 0)
                outcomes[index] = {finished, exception, result};
            changed.notify_all();
        };
        engine.OnProgress = [this](int, int, int, int, float, float, std::int64_t, int) {
            ++progressReports;
        };
        engine.SetProgressInterval(100);
    }
    // Adds a task per source, each writing into its own file of outputFolder; a source named ""
    // gets a task whose output could not be set up.
    void AddTasks(const std::vector<std::string>& sources, const std::string& outputFolder,
                  bool customHook = false) {
        std::filesystem::create_directories(outputFolder);
        for (size_t i = 0; i < sources.size(); ++i) {
            const std::string source = sources[i].empty() ? sources[0] : sources[i];
            const int index = engine.AddTask(source, nullptr);
            ASSERT_EQ(index, static_cast<int>(i)) << engine.LastError;
            TOutputOptions output;
            output.VideoCodec = sources[i].empty() ? "no_such_encoder" : "mpeg4";
            output.CustomHook = customHook;
            const bool added = engine.AddOutput(
                index, outputFolder + "/out" + std::to_string(i) + ".avi", &output);
            EXPECT_EQ(added, !sources[i].empty()) << engine.LastError;
        }
    }
    bool WaitForBatchEnd() {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 120s, [&] { return !order.empty() && order.back() == -1; });
    }
    // Every job reported once, then the one final event.
    void ExpectOneEventPerJobThenTheEnd(int jobs) {
        std::lock_guard guard(lock);
        ASSERT_EQ(order.size(), static_cast<size_t>(jobs + 1));
        EXPECT_EQ(order.back(), -1);
        std::vector<int> seen(order.begin(), order.end() - 1);
        std::sort(seen.begin(), seen.end());
        for (int i = 0; i < jobs; ++i)
            EXPECT_EQ(seen[i], i);
    }

    TFFmpegEngine engine;
    std::string folder;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<int> order;
    std::map<int, Outcome> outcomes;
    std::atomic<int> progressReports{0};
};

TEST_F(SimultaneousJobsTest, EachJobGetsTheResultItHasAlone) {
    const std::string good = MakeVideoOnly(folder, 1.0);
    const std::string longer = MakeAviMpeg4Mp2(folder, 2.0);
    const std::string cut = MakeTruncatedCopy(longer, folder + "/cut.avi", 0.5);
    const std::vector<std::string> sources{good, cut, "", longer};

    AddTasks(sources, folder + "/alone");
    engine.StartTasks(1);
    ASSERT_TRUE(WaitForBatchEnd());
    ExpectOneEventPerJobThenTheEnd(4);
    const std::map<int, Outcome> alone = outcomes;
    EXPECT_EQ(alone.at(0).result, jrFinished);
    EXPECT_EQ(alone.at(2).result, jrFailed);
    EXPECT_EQ(alone.at(3).result, jrFinished);

    for (const int atOnce : {2, 4}) {
        SCOPED_TRACE(atOnce);
        engine.ClearTasks();
        {
            std::lock_guard guard(lock);
            order.clear();
            outcomes.clear();
        }
        AddTasks(sources, folder + "/together" + std::to_string(atOnce));
        engine.StartTasks(atOnce);
        ASSERT_TRUE(WaitForBatchEnd());
        ExpectOneEventPerJobThenTheEnd(4);
        EXPECT_EQ(outcomes, alone);
    }
}

TEST_F(SimultaneousJobsTest, PauseHoldsEveryRunningJobAndResumeFinishesThem) {
    const std::string source = MakeVideoOnly(folder, 2.0);
    AddTasks({source, source, source}, folder + "/out", true);
    // The first picture of any job pauses them all: each parks before its next packet.
    std::atomic<int> pictures{0};
    engine.OnCustomHook = [&](int, TBitmap&, int, std::int64_t, bool& update, bool&) {
        update = false;
        if (pictures.fetch_add(1) == 0)
            engine.PauseTasks();
    };
    engine.StartTasks(3);
    // Every job parks, also one whose worker was still being made when the pause came.
    ASSERT_TRUE(WaitUntil([&] {
        for (int i = 0; i < 3; ++i) {
            if (!engine.Tasks(i)->Parked())
                return false;
        }
        return true;
    }));
    const int paused = pictures.load();
    const int reports = progressReports.load();
    // What is under test: parked jobs make no progress while time passes.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(pictures.load(), paused);
    EXPECT_EQ(progressReports.load(), reports);
    // At most the picture each job was at when the pause came.
    EXPECT_LE(paused, 3);
    {
        std::lock_guard guard(lock);
        EXPECT_TRUE(order.empty()) << "a job ended while paused";
    }
    engine.ResumeTasks();
    ASSERT_TRUE(WaitForBatchEnd());
    ExpectOneEventPerJobThenTheEnd(3);
    for (const auto& [index, outcome] : outcomes)
        EXPECT_EQ(outcome.result, jrFinished) << index;
}

TEST_F(SimultaneousJobsTest, StopEndsRunningAndWaitingJobsWithOneFinalEvent) {
    const std::string source = MakeVideoOnly(folder, 2.0);
    AddTasks({source, source, source, source}, folder + "/out", true);
    // The first picture of any job stops the batch.
    std::atomic<int> pictures{0};
    engine.OnCustomHook = [&](int, TBitmap&, int, std::int64_t, bool& update, bool&) {
        update = false;
        if (pictures.fetch_add(1) == 0)
            engine.StopTasks();
    };
    engine.StartTasks(2);
    ASSERT_TRUE(WaitForBatchEnd());
    ExpectOneEventPerJobThenTheEnd(4);
    // The two waiting jobs never ran; the running ones were stopped unless already done.
    EXPECT_EQ(outcomes.at(2).result, jrStopped);
    EXPECT_EQ(outcomes.at(3).result, jrStopped);
    for (const auto& [index, outcome] : outcomes) {
        EXPECT_FALSE(outcome.exception) << index;
        EXPECT_TRUE(outcome.result == jrStopped || outcome.result == jrFinished) << index;
    }
}

} // namespace
} // namespace velto::test
