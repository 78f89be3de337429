// Progress report and video statistics: the progress sink and status line during real runs, the
// summary line, the vstats file, and the report's arithmetic on a prepared stream table.
#include "AVUtilHlpr.h"
#include "MediaFactory.h"
#include "TranscodeFixture.h"

#include <fstream>
#include <regex>

namespace velto::test {
namespace {

struct Progress {
    int frame, fps, duration;
    float quality, bitRate;
    std::int64_t size;
    int total;
};

class ReportTest : public TranscodeTest {
protected:
    void CollectProgress() {
        task.ProgressSink = [this](TCustomFFmpeg*, int frame, int fps, int duration, float quality,
                                   float bitRate, std::int64_t size, int total) {
            calls.push_back({frame, fps, duration, quality, bitRate, size, total});
        };
    }
    std::vector<Progress> calls;
};

TEST_F(ReportTest, SinkSeesTheRunGrowAndTheSummaryIsLogged) {
    task.ProgressInterval = 0;
    CollectProgress();
    Input(MakeAviMpeg4Mp2(folder, 2.0));
    Output("out.avi", "vcodec=mpeg4\nacodec=mp2");
    ASSERT_EQ(Transcode(), "");
    ASSERT_GT(calls.size(), 3u);
    for (size_t i = 1; i < calls.size(); ++i) {
        EXPECT_GE(calls[i].frame, calls[i - 1].frame);
        EXPECT_GE(calls[i].size, calls[i - 1].size);
    }
    const Progress& last = calls.back();
    // The time is the slowest stream's, so it may step back when a stream starts late.
    EXPECT_GT(last.frame, calls.front().frame);
    EXPECT_GT(last.duration, calls.front().duration);
    EXPECT_NEAR(last.duration, 2000, 100);
    EXPECT_EQ(last.total, task.Settings.ExpectedDuration);
    EXPECT_GT(last.bitRate, 0.0f);
    EXPECT_GE(last.quality, 1.0f); // mpeg4 quantiser
    // With a sink the status line is not logged, the summary is.
    EXPECT_FALSE(LoggedFragment("frame="));
    EXPECT_TRUE(LoggedFragment("muxing overhead"));
    EXPECT_TRUE(
        std::regex_search(lines.back(), std::regex("^video:[1-9][0-9]*kB audio:[1-9][0-9]*kB "
                                                   "global headers:0kB muxing overhead")))
        << lines.back();
}

TEST_F(ReportTest, WithoutSinkTheStatusLineIsLogged) {
    task.ProgressInterval = 0;
    Input(MakeAviMpeg4Mp2(folder, 1.0));
    Output("out.avi", "vcodec=mpeg4\nacodec=mp2\nv=2\nqphist");
    ASSERT_EQ(Transcode(), "");
    const std::regex status("^frame= +[0-9]+ fps= *[0-9]+ q=[0-9.]+ L?[0-9A-F]{32}size= +[0-9]+kB "
                            "time=[0-9.]+ bitrate= *[0-9.]+kbits/s dup=0 drop=0$");
    int matches = 0;
    for (const std::string& line : lines)
        matches += std::regex_match(line, status);
    EXPECT_GT(matches, 1);
}

TEST_F(ReportTest, AudioOnlyReportsNoFrames) {
    task.ProgressInterval = 0;
    CollectProgress();
    Input(MakeWav(folder, 1.0));
    Output("out.mp3", "acodec=libmp3lame");
    ASSERT_EQ(Transcode(), "");
    ASSERT_FALSE(calls.empty());
    const Progress& last = calls.back();
    EXPECT_EQ(last.frame, -1);
    EXPECT_EQ(last.fps, -1);
    EXPECT_EQ(last.quality, -1.0f);
    EXPECT_GT(last.size, 0);
    EXPECT_NEAR(last.duration, 1000, 60);
    EXPECT_GT(last.bitRate, 0.0f);
}

TEST_F(ReportTest, VideoStatsHaveOneLinePerEncodedFrame) {
    struct Row {
        std::string options;
        bool psnr;
    };
    for (const Row& row : {Row{"", false}, Row{"\npsnr", true}}) {
        SCOPED_TRACE(row.options);
        task.InitOptions();
        const std::string stats = Path(row.psnr ? "psnr.log" : "plain.log");
        Input(MakeVideoOnly(folder, 1.0));
        Output("stats.avi", "vcodec=mpeg4\nvstats_file=" + stats + row.options);
        ASSERT_EQ(Transcode(), "");
        task.InitOptions(); // closes the statistics file
        const std::regex format(
            std::string("^frame= +([0-9]+) q= +[0-9.]+ ") +
            (row.psnr ? "PSNR= +([0-9.]+|inf) " : "") +
            "f_size= +[0-9]+ s_size= +[0-9]+kB time= [0-9.]+ br= +[0-9.]+kbits/s "
            "avg_br= +[0-9.]+kbits/s type= [IPB]$");
        std::ifstream file(stats);
        std::string line;
        int count = 0;
        std::smatch match;
        while (std::getline(file, line)) {
            ASSERT_TRUE(std::regex_match(line, match, format)) << line;
            EXPECT_EQ(std::stoi(match[1]), ++count);
        }
        const std::vector<StreamCount> out = CountStreams(Path("stats.avi"), false);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(count, out[0].packets);
    }
}

TEST_F(ReportTest, UnwritableStatisticsFileFailsTheRun) {
    const std::string stats = folder + "/missing/dir/stats.log";
    Input(MakeVideoOnly(folder, 0.5));
    Output("stats.avi", "vcodec=mpeg4\nvstats_file=" + stats);
    EXPECT_EQ(Transcode(), "fopen fail: " + stats);
}

// PrintReport on a stream table prepared by hand, to pin its arithmetic.
TEST_F(ReportTest, FramesPerSecondAndTimeFromThePreparedTable) {
    struct Row {
        std::string name;
        AVMediaType kind;
        int frames;
        double runSeconds;
        std::int64_t lastPts; // stream time base 1/1000, AV_NOPTS_VALUE for none
        bool called;
        int fps, duration;
    };
    const Row rows[] = {
        {"250 frames in 10 s", AVMEDIA_TYPE_VIDEO, 250, 10.0, 10000, true, 25, 10000},
        {"under a second", AVMEDIA_TYPE_VIDEO, 20, 0.8, 800, true, 0, 800},
        {"no picture yet", AVMEDIA_TYPE_VIDEO, 0, 2.0, 0, false, 0, 0},
        {"no output time yet", AVMEDIA_TYPE_AUDIO, 0, 2.0, AV_NOPTS_VALUE, true, -1, 10},
    };
    Input(MakeAviMpeg4Mp2(folder, 0.5));
    Output("table.mkv", "vcodec=mpeg4\nacodec=mp2");
    AVFormatContext* output = task.OutputFiles[0].Context.get();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        calls.clear();
        CollectProgress();
        const int index = row.kind == AVMEDIA_TYPE_VIDEO ? 0 : 1;
        TOutputStreamState ost;
        ost.Stream = output->streams[index];
        ost.Stream->time_base = AVRational{1, 1000};
        ost.Encoder = task.OutputFiles[0].Streams[index].CodecContext.get();
        ost.EncodingNeeded = 1;
        ost.FrameNumber = row.frames;
        ost.LastPts = row.lastPts;
        TTranscodeRun run(task);
        run.OutputStreams.push_back(std::move(ost));
        run.Counters.StartTime =
            AVUtilHlpr::av_gettime() - static_cast<std::int64_t>(row.runSeconds * 1e6);
        task.PrintReport(run, true);
        ASSERT_EQ(calls.size(), row.called ? 1u : 0u);
        EXPECT_EQ(LoggedFragment("muxing overhead"), row.called);
        lines.clear();
        if (!row.called)
            continue;
        EXPECT_EQ(calls[0].frame, row.kind == AVMEDIA_TYPE_VIDEO ? row.frames : -1);
        EXPECT_EQ(calls[0].fps, row.fps);
        EXPECT_EQ(calls[0].duration, row.duration);
    }
}

} // namespace
} // namespace velto::test
