// A job that must fit into a size, run by the engine from its records: a rate asked too high is
// lowered by the excess the first result measured until the output fits; one that cannot fit
// fails, leaves no output and no pass log, and nothing over the limit ever takes the name.
#include "FFmpegEngine.h"

#include "JobRecords.h"
#include "MediaFactory.h"
#include "TestLibraries.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace velto::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SizeFitTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        // The pass logs go to the system's temporary folder: this one, to see it left clean.
        temp = folder + "/tmp";
        fs::create_directory(temp);
        const char* had = std::getenv("TMPDIR");
        savedTemp = had ? had : "";
        setenv("TMPDIR", temp.c_str(), 1);
        ASSERT_TRUE(engine.LoadLibraries(LibAVFolder(), true)) << engine.LastError;
        engine.OnLog = [this](int, TLogLevel, const std::string& message) {
            std::lock_guard guard(lock);
            log.push_back(message);
        };
        engine.OnTerminate = [this](int index, bool, bool, const std::string& message,
                                    TJobResult outcome) {
            std::lock_guard guard(lock);
            if (index < 0) {
                ended = true;
            } else {
                result = outcome;
                error = message;
            }
            changed.notify_all();
        };
    }
    void TearDown() override {
        if (savedTemp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", savedTemp.c_str(), 1);
    }

    // An AVI job at a video rate of its own, held to `limit` bytes.
    TJobRecords Job(const std::string& source, int videoRate, std::int64_t limit) {
        TJobRecords job;
        job.Input.FileName = source;
        job.Output.FileName = folder + "/fitted.avi";
        job.Output.VideoCodec = "mpeg4";
        job.Output.AudioCodec = "mp2";
        job.Output.AudioBitRate = 64000;
        job.Output.VideoBitRate = videoRate;
        job.Output.VideoBitRateTolerance = videoRate;
        job.Output.ExtOptions = "fit_size=" + std::to_string(limit) + "\n";
        return job;
    }

    void Run(const TJobRecords& job) {
        const TAddedJob added = AddJob(engine, job);
        ASSERT_EQ(added.Index, 0) << added.Error;
        engine.StartTasks(1);
        std::unique_lock guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, 300s, [&] { return ended; }));
    }

    bool Logged(const std::string& text) {
        std::lock_guard guard(lock);
        for (const std::string& line : log)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }

    std::string folder, temp, savedTemp;
    TFFmpegEngine engine;
    std::mutex lock;
    std::condition_variable changed;
    bool ended = false;
    TJobResult result = jrStopped;
    std::string error;
    std::vector<std::string> log;
};

TEST_F(SizeFitTest, ARateAskedTooHighIsLoweredByTheMeasuredExcess) {
    const std::string source = MakeMotionClip(folder, 10.0, 640, 360);
    constexpr std::int64_t kLimit = 900 * 1024;
    // About 650 kbit/s would fill it; asked more than twice that, the first result is far over.
    Run(Job(source, 1500000, kLimit));
    ASSERT_EQ(result, jrFinished) << error;
    EXPECT_TRUE(Logged("over the limit of 921600: encoding again"));
    const auto size = static_cast<std::int64_t>(fs::file_size(folder + "/fitted.avi"));
    EXPECT_LE(size, kLimit);
    EXPECT_GE(size, kLimit * 85 / 100);
    EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(SizeFitTest, AnOutputThatCannotFitFailsAndLeavesNothing) {
    const std::string source = MakeMotionClip(folder, 10.0, 640, 360);
    // The sound alone takes 80 KB; the second pass is asked a rate its log shows out of reach,
    // and stays so after the picture is made smaller and fewer a second.
    Run(Job(source, 20000, 40 * 1024));
    EXPECT_EQ(result, jrFailed);
    EXPECT_NE(error.find("The video cannot be made as small as"), std::string::npos) << error;
    EXPECT_TRUE(Logged("the picture is made smaller, to"));
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_TRUE(entry.path() == source || entry.path() == temp) << "left: " << entry.path();
    EXPECT_TRUE(fs::is_empty(temp));
}

} // namespace
} // namespace velto::test
