// A long queue on the engine: waiting jobs hold no open files, each opens its input and sets up
// its output only when it starts, and a source that changed while it waited fails that job alone.
#include "FFmpegEngine.h"

#include "JobRecords.h"
#include "MediaFactory.h"
#include "TestLibraries.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <mutex>

namespace velto::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int OpenDescriptors() {
    int count = 0;
    DIR* folder = opendir("/proc/self/fd");
    while (folder && readdir(folder))
        ++count;
    if (folder)
        closedir(folder);
    return count;
}

// Regions the process has mapped; each thread stack not yet joined is one (and its guard page).
int MappedRegions() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    int count = 0;
    while (std::getline(maps, line))
        ++count;
    return count;
}

class WaitingJobsTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        ASSERT_TRUE(engine.LoadLibraries(LibAVFolder(), true)) << engine.LastError;
        engine.OnTerminate = [this](int index, bool, bool, const std::string& message,
                                    TJobResult result) {
            std::lock_guard guard(lock);
            if (index < 0)
                batchEnded = true;
            else
                results[index] = {result, message};
            changed.notify_all();
        };
    }

    TJobRecords Job(const std::string& source, const std::string& output) {
        TJobRecords job;
        job.Input.FileName = source;
        job.Output.FileName = output;
        job.Output.VideoCodec = "mpeg4";
        job.Output.AudioCodec = "mp2";
        return job;
    }

    bool WaitForBatchEnd() {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 300s, [&] { return batchEnded; });
    }

    TFFmpegEngine engine;
    std::string folder;
    std::mutex lock;
    std::condition_variable changed;
    bool batchEnded = false;
    std::map<int, std::pair<TJobResult, std::string>> results;
};

TEST_F(WaitingJobsTest, AQueueHoldsNoFilesNorTheThreadsOfEndedJobsAndEveryJobRunsFromItsRecords) {
    const std::string source = MakeAviMpeg4Mp2(folder, 0.5);
    constexpr int kJobs = 120;
    const int before = OpenDescriptors();
    const int regionsBefore = MappedRegions();
    for (int i = 0; i < kJobs; ++i) {
        const TAddedJob added =
            AddJob(engine, Job(source, folder + "/out" + std::to_string(i) + ".avi"));
        ASSERT_EQ(added.Index, i) << added.Error;
    }
    // A handful at most: a log or a library's own, never one per job.
    EXPECT_LT(OpenDescriptors() - before, 8);
    // Add writes nothing.
    EXPECT_FALSE(fs::exists(folder + "/out0.avi"));

    engine.StartTasks(2);
    ASSERT_TRUE(WaitForBatchEnd());
    ASSERT_EQ(results.size(), size_t(kJobs));
    for (const auto& [index, result] : results)
        EXPECT_EQ(result.first, jrFinished) << index << ": " << result.second;
    for (int i = 0; i < kJobs; i += 37)
        EXPECT_GT(fs::file_size(folder + "/out" + std::to_string(i) + ".avi"), 1000u);
    EXPECT_LT(OpenDescriptors() - before, 8);
    // Each ended job's thread is joined as the batch goes: kept, the 120 stacks (with their
    // guard pages) would map 240 regions more, and take 24 KiB of memory each.
    EXPECT_LT(MappedRegions() - regionsBefore, 60);
}

TEST_F(WaitingJobsTest, AddStillRefusesAndASourceGoneWhileWaitingFailsOnlyItsJob) {
    const std::string kept = MakeAviMpeg4Mp2(folder, 0.5);
    const std::string gone = folder + "/gone.avi";
    fs::copy_file(kept, gone);

    // The checks of Add still run at Add: no such source, no such output folder.
    TAddedJob refused = AddJob(engine, Job(folder + "/missing.avi", folder + "/a.avi"));
    EXPECT_LT(refused.Index, 0);
    EXPECT_TRUE(refused.InputRefused);
    refused = AddJob(engine, Job(kept, folder + "/no/such/folder/a.avi"));
    EXPECT_LT(refused.Index, 0);
    EXPECT_FALSE(refused.Error.empty());
    EXPECT_EQ(engine.TaskCount(), 0);

    ASSERT_EQ(AddJob(engine, Job(gone, folder + "/first.avi")).Index, 0);
    ASSERT_EQ(AddJob(engine, Job(kept, folder + "/second.avi")).Index, 1);
    // A second output given to a waiting job is checked and made too.
    TOutputOptions more;
    more.VideoCodec = "mpeg4";
    more.AudioCodec = "mp2";
    EXPECT_TRUE(engine.AddOutput(1, folder + "/second_copy.avi", &more)) << engine.LastError;
    fs::remove(gone);

    engine.StartTasks(1);
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(results.at(0).first, jrFailed);
    EXPECT_NE(results.at(0).second.find("gone.avi"), std::string::npos) << results.at(0).second;
    EXPECT_FALSE(fs::exists(folder + "/first.avi"));
    EXPECT_EQ(results.at(1).first, jrFinished) << results.at(1).second;
    EXPECT_GT(fs::file_size(folder + "/second.avi"), 1000u);
    EXPECT_GT(fs::file_size(folder + "/second_copy.avi"), 1000u);
}

TEST_F(WaitingJobsTest, ATaskKeepsItsSerialWhileTheListMovesAndItsReportsSayWhichTaskTheyAreFor) {
    const std::string source = MakeAviMpeg4Mp2(folder, 0.5);
    std::vector<std::uint64_t> serials;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(AddJob(engine, Job(source, folder + "/s" + std::to_string(i) + ".avi")).Index, i);
        serials.push_back(engine.TaskSerial(i));
    }
    EXPECT_EQ(engine.TaskSerial(3), 0u);
    EXPECT_NE(serials[0], 0u);
    EXPECT_NE(serials[0], serials[1]);
    engine.MoveTask(2, 0);
    EXPECT_EQ(engine.TaskIndex(serials[2]), 0);
    EXPECT_EQ(engine.TaskIndex(serials[0]), 1);
    engine.RemoveTask(engine.TaskIndex(serials[0]));
    EXPECT_EQ(engine.TaskIndex(serials[0]), -1);
    EXPECT_EQ(engine.TaskIndex(serials[1]), 1);
    // Never handed out again.
    ASSERT_EQ(AddJob(engine, Job(source, folder + "/s3.avi")).Index, 2);
    EXPECT_GT(engine.TaskSerial(2), serials[2]);

    std::vector<std::uint64_t> reported, ended;
    bool progressMatched = true;
    engine.OnProgress = [&](int index, int, int, int, float, float, std::int64_t, int) {
        std::lock_guard guard(lock);
        progressMatched &= TFFmpegEngine::ReportingTaskSerial() == engine.TaskSerial(index);
        reported.push_back(TFFmpegEngine::ReportingTaskSerial());
    };
    engine.OnTerminate = [&](int index, bool, bool, const std::string&, TJobResult) {
        std::lock_guard guard(lock);
        ended.push_back(TFFmpegEngine::ReportingTaskSerial());
        batchEnded |= index < 0;
        changed.notify_all();
    };
    engine.StartTasks(2);
    ASSERT_TRUE(WaitForBatchEnd());
    std::lock_guard guard(lock);
    EXPECT_TRUE(progressMatched);
    EXPECT_FALSE(reported.empty());
    ASSERT_EQ(ended.size(), 4u);
    EXPECT_EQ(ended.back(), 0u) << "the batch's end is no task's";
    std::sort(ended.begin(), ended.end() - 1);
    EXPECT_EQ(std::vector<std::uint64_t>(ended.begin(), ended.end() - 1),
              std::vector<std::uint64_t>({serials[1], serials[2], engine.TaskSerial(2)}));
    EXPECT_EQ(TFFmpegEngine::ReportingTaskSerial(), 0u) << "outside a handler";
}

} // namespace
} // namespace velto::test
