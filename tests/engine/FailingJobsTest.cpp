// Jobs the libraries refuse part way: a source whose streams cannot be described is turned away
// when it is added, and an encoder that rejects a picture (or its drain) ends the job as failed.
// Either way the user sees the reason, no output appears and the source is untouched.
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpegEngine.h"
#include "MediaFactory.h"
#include "TestLibraries.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

namespace velto::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct InputCloser {
    void operator()(AVFormatContext* context) const {
        AVFormatHlpr::avformat_close_input(&context);
    }
};
struct OutputCloser {
    void operator()(AVFormatContext* context) const {
        AVFormatHlpr::avio_closep(&context->pb);
        AVFormatHlpr::avformat_free_context(context);
    }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { AVCodecHlpr::av_packet_free(&packet); }
};

// Copies the H.264 track of an MP4 file into NUT without its decoder configuration (the avcC
// record). The packets stay length-prefixed, so nothing in them marks where a unit starts: the
// stream cannot be described, as in a file whose header lost that record.
std::string CopyWithoutDecoderConfiguration(const std::string& source, const std::string& dest) {
    AVFormatContext* raw = nullptr;
    if (AVFormatHlpr::avformat_open_input(&raw, source.c_str(), nullptr, nullptr) < 0)
        throw std::runtime_error("cannot open " + source);
    std::unique_ptr<AVFormatContext, InputCloser> input(raw);
    const int video =
        AVFormatHlpr::av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0 || input->streams[video]->codecpar->codec_id != AV_CODEC_ID_H264 ||
        !input->streams[video]->codecpar->extradata)
        throw std::runtime_error("no configured H.264 track in " + source);
    raw = nullptr;
    if (AVFormatHlpr::avformat_alloc_output_context2(&raw, nullptr, nullptr, dest.c_str()) < 0)
        throw std::runtime_error("no muxer for " + dest);
    std::unique_ptr<AVFormatContext, OutputCloser> output(raw);
    AVStream* in = input->streams[video];
    AVStream* out = AVFormatHlpr::avformat_new_stream(output.get(), nullptr);
    AVCodecHlpr::avcodec_parameters_copy(out->codecpar, in->codecpar);
    AVUtilHlpr::av_freep(&out->codecpar->extradata);
    out->codecpar->extradata_size = 0;
    out->codecpar->codec_tag = 0;
    out->time_base = in->time_base;
    if (AVFormatHlpr::avio_open(&output->pb, dest.c_str(), AVIO_FLAG_WRITE) < 0 ||
        AVFormatHlpr::avformat_write_header(output.get(), nullptr) < 0)
        throw std::runtime_error("cannot write " + dest);
    std::unique_ptr<AVPacket, PacketFree> packet(AVCodecHlpr::av_packet_alloc());
    while (AVFormatHlpr::av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == video) {
            AVCodecHlpr::av_packet_rescale_ts(packet.get(), in->time_base, out->time_base);
            packet->stream_index = 0;
            AVFormatHlpr::av_interleaved_write_frame(output.get(), packet.get());
        }
        AVCodecHlpr::av_packet_unref(packet.get());
    }
    if (AVFormatHlpr::av_write_trailer(output.get()) < 0)
        throw std::runtime_error("cannot finish " + dest);
    return dest;
}

struct JobEnd {
    bool finished = false;
    TJobResult result = jrStopped; // until the job reports
    std::string message;
};

class FailingJobsTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        ASSERT_TRUE(engine.LoadLibraries(LibAVFolder(), true)) << engine.LastError;
        engine.OnTerminate = [this](int index, bool finished, bool, const std::string& message,
                                    TJobResult result) {
            std::lock_guard guard(lock);
            if (index >= 0)
                ended = {finished, result, message};
            else
                batchEnded = true;
            changed.notify_all();
        };
    }

    // Runs one job converting source into output with the given option text.
    JobEnd Run(const std::string& source, const std::string& output, const std::string& options) {
        engine.ClearTasks();
        batchEnded = false;
        ended = {};
        const int index = engine.AddTask(source, nullptr);
        EXPECT_EQ(index, 0) << engine.LastError;
        TOutputOptions record;
        record.VideoCodec = "mpeg4";
        record.ExtOptions = options;
        EXPECT_TRUE(engine.AddOutput(index, output, &record)) << engine.LastError;
        engine.StartTasks(1);
        std::unique_lock guard(lock);
        // A bound against hangs, not a speed measure: these jobs take a second or two.
        EXPECT_TRUE(changed.wait_for(guard, 120s, [&] { return batchEnded; }));
        return ended;
    }

    // Nothing but the sources in the folder: no output, no temporary file.
    std::vector<std::string> StrayFiles(const std::vector<std::string>& expected) const {
        std::vector<std::string> stray;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string path = entry.path().string();
            if (std::find(expected.begin(), expected.end(), path) == expected.end())
                stray.push_back(path);
        }
        return stray;
    }

    TFFmpegEngine engine;
    std::string folder;
    std::mutex lock;
    std::condition_variable changed;
    JobEnd ended;
    bool batchEnded = false;
};

TEST_F(FailingJobsTest, SourceWhoseStreamCannotBeDescribedIsRefusedAtEveryLogLevel) {
    const std::string mp4 = MakeMp4H264Aac(folder, 1.0);
    const std::string source = CopyWithoutDecoderConfiguration(mp4, folder + "/no_avcc.nut");
    const std::string bytes = FileContents(source);
    const std::string expected = source + ": could not find codec parameters";

    EXPECT_FALSE(engine.Probe.LoadFile(source));
    EXPECT_EQ(engine.Probe.LastError, expected);
    // How much is logged must not decide whether a broken source is taken.
    for (const TLogLevel level : {llInfo, llQuiet, llError}) {
        SCOPED_TRACE(level);
        engine.SetLogLevel(level);
        engine.LastError.clear();
        EXPECT_EQ(engine.AddTask(source, nullptr), -1);
        EXPECT_EQ(engine.LastError, expected);
        EXPECT_EQ(engine.TaskCount(), 0);
    }
    EXPECT_EQ(FileContents(source), bytes);
    EXPECT_TRUE(StrayFiles({mp4, source}).empty())
        << ::testing::PrintToString(StrayFiles({mp4, source}));
}

// A second pass whose log file came from a shorter first pass: the encoder refuses the first
// picture the log has no entry for. With pictures held back for B-frames, the refusal comes at
// the drain instead: from the drain request or from collecting the drained packets, depending
// on how many pictures wait (the counts below reach each).
TEST_F(FailingJobsTest, EncoderRefusingAPictureFailsTheJob) {
    const struct {
        const char* name;
        const char* bFrames;
        int logged;  // pictures of the first pass
        int encoded; // pictures of the second pass
    } rows[] = {
        {"refused while sending", "0", 10, 25},
        {"refused while draining", "2", 10, 13},
        {"drain request refused", "2", 10, 14},
    };
    const std::string source = MakeVideoOnly(folder, 1.0);
    const std::string bytes = FileContents(source);
    const std::string log = folder + "/pass/log";
    fs::create_directories(folder + "/pass");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string common = std::string("bf=") + row.bFrames + "\npasslogfile=" + log;
        const JobEnd first = Run(source, folder + "/pass/first.avi",
                                 common + "\npass=1\nvframes=" + std::to_string(row.logged));
        ASSERT_EQ(first.result, jrFinished) << first.message;
        ASSERT_TRUE(fs::exists(log + "-0.log"));

        const std::string output = folder + "/" + std::to_string(row.encoded) + ".avi";
        const JobEnd second =
            Run(source, output, common + "\npass=2\nvframes=" + std::to_string(row.encoded));
        EXPECT_FALSE(second.finished);
        EXPECT_EQ(second.result, jrFailed);
        EXPECT_EQ(second.message, "Video encoding failed");
        EXPECT_FALSE(fs::exists(output));
        EXPECT_EQ(FileContents(source), bytes);
        EXPECT_TRUE(StrayFiles({source, folder + "/pass"}).empty())
            << ::testing::PrintToString(StrayFiles({source, folder + "/pass"}));
    }
}

} // namespace
} // namespace velto::test
