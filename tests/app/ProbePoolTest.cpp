// The probe pool on real files: outcomes come back in the order given whatever order the probes
// end in, unreadable files say why, dropped files are passed over without a probe, and a pool
// destroyed with files queued stops at once.
#include "ProbePool.h"

#include "MediaFactory.h"
#include "TestLibraries.h"

#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

struct TCollected {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<TProbeOutcome> outcomes;
    int calls = 0;

    TProbePool::TDeliver Receiver() {
        return [this](std::vector<TProbeOutcome>&& run) {
            std::lock_guard lock(mutex);
            ++calls;
            for (TProbeOutcome& outcome : run)
                outcomes.push_back(std::move(outcome));
            changed.notify_all();
        };
    }
    bool WaitFor(size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60),
                                [&] { return outcomes.size() >= count; });
    }
};

TEST(ProbePoolTest, OutcomesComeBackInTheOrderGiven) {
    LoadTestLibraries();
    const std::string folder = ScratchFolder();
    // A long clip probes slower than the short ones after it, so the order is the pool's doing.
    const std::string slow = MakeMp4H264Aac(folder, 20.0);
    const std::string quick = MakeAviMpeg4Mp2(folder, 0.5);
    const std::string damaged = MakeRandomFile(folder, "damaged.avi", 8192, 3);
    std::vector<std::string> files = {slow};
    for (int i = 0; i < 30; ++i) {
        files.push_back(folder + "/quick" + std::to_string(i) + ".avi");
        fs::create_hard_link(quick, files.back());
    }
    files.insert(files.begin() + 10, damaged);
    files.insert(files.begin() + 20, folder + "/missing.avi");

    TCollected collected;
    TProbePool pool(4, collected.Receiver());
    EXPECT_EQ(pool.Threads(), 4);
    EXPECT_EQ(pool.Add(files), 0u);
    const std::vector<std::string> more = {quick};
    EXPECT_EQ(pool.Add(more), files.size());
    files.push_back(quick);
    ASSERT_TRUE(collected.WaitFor(files.size()));

    std::lock_guard lock(collected.mutex);
    ASSERT_EQ(collected.outcomes.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const TProbeOutcome& outcome = collected.outcomes[i];
        SCOPED_TRACE(outcome.File);
        EXPECT_EQ(outcome.Ticket, i);
        EXPECT_EQ(outcome.File, files[i]);
        EXPECT_FALSE(outcome.Dropped);
        const bool bad = files[i] == damaged || files[i] == folder + "/missing.avi";
        EXPECT_EQ(outcome.Readable, !bad);
        EXPECT_EQ(outcome.Error.empty(), !bad);
        if (!bad) {
            EXPECT_EQ(outcome.Source.FileName, files[i]);
            EXPECT_EQ(outcome.Source.VideoStreams, 1);
            EXPECT_EQ(outcome.Source.AudioStreams, 1);
            EXPECT_GT(outcome.Source.DurationUs, 0);
        }
    }
    EXPECT_NEAR(collected.outcomes[0].Source.DurationUs / 1e6, 20.0, 0.5);
}

TEST(ProbePoolTest, DroppedFilesAreNotProbedAndTheRestStillComes) {
    LoadTestLibraries();
    const std::string folder = ScratchFolder();
    const std::string clip = MakeAviMpeg4Mp2(folder, 0.5);
    std::vector<std::string> files;
    for (int i = 0; i < 200; ++i) {
        files.push_back(folder + "/c" + std::to_string(i) + ".avi");
        fs::create_hard_link(clip, files.back());
    }
    TCollected collected;
    TProbePool pool(1, collected.Receiver());
    pool.Add(files);
    pool.Drop(20, 180);
    ASSERT_TRUE(collected.WaitFor(files.size()));
    std::lock_guard lock(collected.mutex);
    int dropped = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const TProbeOutcome& outcome = collected.outcomes[i];
        EXPECT_EQ(outcome.Ticket, i);
        dropped += outcome.Dropped;
        if (i >= 180) {
            EXPECT_TRUE(outcome.Readable) << i;
        }
        if (outcome.Dropped) {
            EXPECT_FALSE(outcome.Readable);
        }
    }
    // The one thread may have taken a few before the drop reached them.
    EXPECT_GT(dropped, 140);
    EXPECT_LE(dropped, 160);
}

TEST(ProbePoolTest, DestroyedWithFilesQueuedItStopsAndHandsOverNothingMore) {
    LoadTestLibraries();
    const std::string folder = ScratchFolder();
    const std::string clip = MakeAviMpeg4Mp2(folder, 0.5);
    std::vector<std::string> files(2000, clip);
    TCollected collected;
    {
        TProbePool pool(2, collected.Receiver());
        pool.Add(files);
        ASSERT_TRUE(collected.WaitFor(1));
    }
    // Its threads are joined: what came is all that ever will.
    std::lock_guard lock(collected.mutex);
    EXPECT_LT(collected.outcomes.size(), files.size());
    for (size_t i = 0; i < collected.outcomes.size(); ++i)
        EXPECT_EQ(collected.outcomes[i].Ticket, i);
}

} // namespace
} // namespace velto::test
