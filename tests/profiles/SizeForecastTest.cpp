// Sizes as people write them, the forecast a job's records give before it runs, and the sum of
// a batch's outputs per file system against its free space.
#include "SizeForecast.h"
#include "JobBuilder.h"
#include "TestLibraries.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/statvfs.h>

namespace velto {
namespace {

TEST(SizeForecastTest, SizesReadAndWrittenInPowersOf1024) {
    struct Case {
        const char* Text;
        std::int64_t Bytes;
    };
    for (const Case c : {Case{"16M", 16 << 20}, Case{"700k", 700 << 10}, Case{"1.5G", 3LL << 29},
                         Case{"4000000", 4000000}, Case{"2.5M", 2621440}}) {
        std::int64_t bytes = 0;
        EXPECT_TRUE(ParseSizeText(c.Text, bytes)) << c.Text;
        EXPECT_EQ(bytes, c.Bytes) << c.Text;
    }
    for (const char* bad : {"", "0", "-1M", "M", "16 M", "16MB", "4X", "2T", "0.0001", "nan"}) {
        std::int64_t bytes = 0;
        EXPECT_FALSE(ParseSizeText(bad, bytes)) << bad;
    }
    EXPECT_EQ(SizeText(512), "512 bytes");
    EXPECT_EQ(SizeText(3 * 1024 * 1024 - 1024 * 100), "2.9 MB");
    EXPECT_EQ(SizeText(11744051), "11.2 MB");
    EXPECT_EQ(SizeText(314572), "307 KB");
}

TSourceSummary Clip(double seconds, bool audio) {
    TSourceSummary source;
    source.FileName = "/tmp/clip.avi";
    source.DurationUs = static_cast<std::int64_t>(seconds * 1e6);
    source.VideoStreams = 1;
    source.AudioStreams = audio ? 1 : 0;
    source.Picture = {640, 360, 0.0, 25.0};
    return source;
}

TEST(SizeForecastTest, ForecastFollowsTheRatesTheLimitOrNothing) {
    TJobRecords job;
    job.Output.FileName = "/tmp/out.mp4";
    job.Output.VideoBitRate = 800000;
    job.Output.AudioBitRate = 128000;
    job.Output.AudioSampleRate = 44100;
    // A minute at 928 kbit/s is 6.96 MB, and the MP4 index a few KB more.
    const std::int64_t minute = ForecastSize(job, Clip(60, true));
    EXPECT_GT(minute, 6960000);
    EXPECT_LT(minute, 6960000 + 60 * 1024);
    // No sound in the source, none in the output; a recording time shortens it.
    EXPECT_LT(ForecastSize(job, Clip(60, false)), 6000000 + 60 * 1024);
    job.Output.RecordingTime = 30000;
    EXPECT_LT(ForecastSize(job, Clip(60, true)), minute / 2 + 4096);
    // Of a source whose length is unknown only a recording time tells.
    EXPECT_GT(ForecastSize(job, Clip(0, true)), 3480000);
    job.Output.RecordingTime = -1;
    EXPECT_EQ(ForecastSize(job, Clip(0, true)), -1);

    TOutputOptions fitted = job.Output;
    fitted.RecordingTime = -1;
    ASSERT_EQ(FitIntoSize(fitted, Clip(60, true), 4 << 20), "");
    EXPECT_EQ(ForecastSize({job.Input, fitted, {}}, Clip(60, true)), 4 << 20);
    EXPECT_EQ(FitIntoSize(fitted, Clip(0, true), 4 << 20).rfind("The length of the source", 0), 0u);
}

TEST(SizeForecastTest, OutputsAreSummedPerFileSystem) {
    const std::string folder = test::ScratchFolder();
    std::filesystem::create_directory(folder + "/a");
    std::filesystem::create_directory(folder + "/b");
    const std::vector<TFolderRoom> rooms = RoomForOutputs({{folder + "/a/1.mp4", 1000},
                                                           {folder + "/b/2.mp4", 2000},
                                                           {folder + "/a/3.mp4", -1},
                                                           {"/proc/no/such/4.mp4", 5}});
    ASSERT_EQ(rooms.size(), 2u);
    EXPECT_EQ(rooms[0].Folder, folder + "/a");
    EXPECT_EQ(rooms[0].Needed, 3000);
    struct statvfs space {};
    ASSERT_EQ(statvfs(folder.c_str(), &space), 0);
    EXPECT_GT(rooms[0].Free, 0);
    EXPECT_TRUE(rooms[0].Enough());
    // A folder that cannot be asked does not stop a batch.
    EXPECT_EQ(rooms[1].Free, -1);
    EXPECT_TRUE(rooms[1].Enough());
    TFolderRoom card{"/media/card", 11744051, 3040870};
    EXPECT_FALSE(card.Enough());
    EXPECT_EQ(card.Shortage(), "needs about 11.2 MB, 2.9 MB free on /media/card");
}

TEST(SizeForecastTest, WritingOutputsNeedWhatTheirPaceLeavesAndEarlyOnesTheirForecast) {
    const std::string folder = test::ScratchFolder();
    struct statvfs space {};
    ASSERT_EQ(statvfs(folder.c_str(), &space), 0);
    const auto free =
        static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize);
    // A quarter converted in 1 MB: three more to come, whatever the forecast said.
    std::vector<TFolderRoom> rooms =
        RoomForWritingOutputs({{folder + "/a.mp4", 1000000, 10000, 40000, 1500000},
                               // Too early to tell by pace: what its forecast leaves.
                               {folder + "/b.mp4", 500, 1000, 40000, 800000},
                               // Written past its forecast and early: nothing more counted.
                               {folder + "/c.mp4", 9000, 1000, 40000, 5000}});
    ASSERT_EQ(rooms.size(), 1u);
    EXPECT_EQ(rooms[0].Needed, 3000000 + 799500);
    EXPECT_TRUE(rooms[0].Enough());
    // A folder filling faster than it can hold: the pace says more than is free.
    rooms = RoomForWritingOutputs({{folder + "/d.mp4", free / 4 + 1, 5000, 50000, 1000}});
    ASSERT_EQ(rooms.size(), 1u);
    EXPECT_FALSE(rooms[0].Enough());
}

} // namespace
} // namespace velto
