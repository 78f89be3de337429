// The DVD profile's program stream reads back cleanly: every stream's timestamps rise from
// packet to packet and the AC-3 sound decodes without a complaint.
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "MediaFactory.h"
#include "ProgramRunner.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

// The file opened and read far enough to know its streams, or null.
AVFormatContext* OpenToRead(const std::string& path) {
    AVFormatContext* input = nullptr;
    if (AVFormatHlpr::avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0)
        return nullptr;
    if (AVFormatHlpr::avformat_find_stream_info(input, nullptr) < 0)
        AVFormatHlpr::avformat_close_input(&input);
    return input;
}

TEST(DvdOutput, TimestampsRiseAndTheSoundDecodes) {
    LoadTestLibraries();
    const std::string folder = ScratchFolder();
    const std::string config = folder + "/config", out = folder + "/out";
    fs::create_directories(out);
    TProgramRunner runner(folder, config);
    const std::string source = MakeMotionClip(folder, 3.0, 352, 288);
    const TProgramRun run =
        runner.Program({"convert", "-p", "MPEG-2/SVCD/DVD Video (*.mpg)", "-o", out, source});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string output;
    for (const auto& entry : fs::directory_iterator(out))
        output = entry.path().string();
    ASSERT_FALSE(output.empty());

    AVFormatContext* input = OpenToRead(output);
    ASSERT_TRUE(input) << output;
    const int sound =
        AVFormatHlpr::av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    ASSERT_GE(sound, 0);
    const AVCodecParameters* parameters = input->streams[sound]->codecpar;
    EXPECT_EQ(parameters->codec_id, AV_CODEC_ID_AC3);
    const AVCodec* codec = AVCodecHlpr::avcodec_find_decoder(parameters->codec_id);
    AVCodecContext* decoder = AVCodecHlpr::avcodec_alloc_context3(codec);
    AVCodecHlpr::avcodec_parameters_to_context(decoder, parameters);
    ASSERT_GE(AVCodecHlpr::avcodec_open2(decoder, codec, nullptr), 0);
    AVPacket* packet = AVCodecHlpr::av_packet_alloc();
    AVFrame* frame = AVUtilHlpr::av_frame_alloc();
    std::map<int, std::int64_t> last;
    int repeated = 0, decodeErrors = 0, frames = 0;
    while (AVFormatHlpr::av_read_frame(input, packet) >= 0) {
        const int stream = packet->stream_index;
        if (packet->pts != AV_NOPTS_VALUE) {
            if (last.count(stream) && packet->pts <= last[stream] &&
                input->streams[stream]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                ++repeated;
            last[stream] = packet->pts;
        }
        if (stream == sound) {
            if (AVCodecHlpr::avcodec_send_packet(decoder, packet) < 0)
                ++decodeErrors;
            while (AVCodecHlpr::avcodec_receive_frame(decoder, frame) >= 0)
                ++frames;
        }
        AVCodecHlpr::av_packet_unref(packet);
    }
    EXPECT_EQ(repeated, 0);
    EXPECT_EQ(decodeErrors, 0);
    EXPECT_GT(frames, 80); // 3 s of 32 ms frames
    AVUtilHlpr::av_frame_free(&frame);
    AVCodecHlpr::av_packet_free(&packet);
    AVCodecHlpr::avcodec_free_context(&decoder);
    AVFormatHlpr::avformat_close_input(&input);
}

// A DVD held to half its natural size is made at the rates the limit was worked out from, not
// at the disc's own 6 Mbit/s and 448 kbit/s, which a picture that needs less cannot be pushed
// under.
TEST(DvdOutput, ASizeLimitHoldsAtTheRatesWorkedOutForIt) {
    LoadTestLibraries();
    const std::string folder = ScratchFolder();
    const std::string out = folder + "/out";
    fs::create_directories(out);
    TProgramRunner runner(folder, folder + "/config");
    const std::string source = MakeMp4H264Aac(folder, 12.0);
    const TProgramRun plan =
        runner.Program({"convert", "-p", "17", "-o", out, "--dry-run", "--json", source});
    double natural = 0;
    for (const JsonValue& event : plan.Events())
        if (event["event"].text == "forecast")
            natural = event["size"].number;
    ASSERT_GT(natural, 0.0) << plan.out << plan.err;
    const auto limit = static_cast<std::int64_t>(natural / 2);
    const TProgramRun run = runner.Program(
        {"convert", "-p", "17", "-o", out, "--json", "--max-size", std::to_string(limit), source});
    ASSERT_EQ(run.status, 0) << run.out;
    std::string output;
    for (const JsonValue& event : run.Events())
        if (event["event"].text == "finished") {
            EXPECT_LE(event["size"].number, static_cast<double>(limit));
            output = event["output"].text;
        }
    ASSERT_FALSE(output.empty()) << run.out;
    AVFormatContext* input = OpenToRead(output);
    ASSERT_TRUE(input) << output;
    const int sound =
        AVFormatHlpr::av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    ASSERT_GE(sound, 0);
    EXPECT_EQ(input->streams[sound]->codecpar->bit_rate, 192000); // the profile's, as counted
    AVFormatHlpr::avformat_close_input(&input);
}

} // namespace
} // namespace velto::test
