// A long queue on the engine: waiting jobs hold no open files, each opens its input and sets up
// its output only when it starts, and a source that changed while it waited fails that job alone.
#include "FFmpegEngine.h"

#include "JobRecords.h"
#include "MediaFactory.h"
#include "TestLibraries.h"

#include <chrono>
#include <condition_variable>
#include <dirent.h>
#include <filesystem>
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

TEST_F(WaitingJobsTest, AQueueHoldsNoFilesAndEveryJobRunsFromItsRecords) {
    const std::string source = MakeAviMpeg4Mp2(folder, 0.5);
    constexpr int kJobs = 120;
    const int before = OpenDescriptors();
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

} // namespace
} // namespace velto::test
