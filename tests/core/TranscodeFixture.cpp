#include "TranscodeFixture.h"

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"

#include <algorithm>
#include <stdexcept>

namespace velto::test {

namespace {

struct InputCloser {
    void operator()(AVFormatContext* context) const {
        AVFormatHlpr::avformat_close_input(&context);
    }
};

AVFormatContext* OpenForReading(const std::string& path) {
    AVFormatContext* context = nullptr;
    if (AVFormatHlpr::avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
        return nullptr;
    if (AVFormatHlpr::avformat_find_stream_info(context, nullptr) < 0) {
        AVFormatHlpr::avformat_close_input(&context);
        return nullptr;
    }
    return context;
}

int ReceiveAll(AVCodecContext* decoder, AVFrame* frame) {
    int frames = 0;
    while (AVCodecHlpr::avcodec_receive_frame(decoder, frame) >= 0) {
        ++frames;
        AVUtilHlpr::av_frame_unref(frame);
    }
    return frames;
}

} // namespace

std::vector<StreamCount> CountStreams(const std::string& path, bool decode) {
    std::unique_ptr<AVFormatContext, InputCloser> input(OpenForReading(path));
    if (!input)
        return {};
    std::vector<StreamCount> counts(input->nb_streams);
    std::vector<AVCodecContext*> decoders(input->nb_streams, nullptr);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVCodecParameters* parameters = input->streams[i]->codecpar;
        counts[i].type = parameters->codec_type;
        if (!decode || parameters->codec_type == AVMEDIA_TYPE_SUBTITLE)
            continue;
        const AVCodec* codec = AVCodecHlpr::avcodec_find_decoder(parameters->codec_id);
        if (!codec)
            continue;
        decoders[i] = AVCodecHlpr::avcodec_alloc_context3(codec);
        AVCodecHlpr::avcodec_parameters_to_context(decoders[i], parameters);
        if (AVCodecHlpr::avcodec_open2(decoders[i], codec, nullptr) < 0)
            AVCodecHlpr::avcodec_free_context(&decoders[i]);
    }
    AVPacket* packet = AVCodecHlpr::av_packet_alloc();
    AVFrame* frame = AVUtilHlpr::av_frame_alloc();
    while (AVFormatHlpr::av_read_frame(input.get(), packet) >= 0) {
        StreamCount& count = counts[packet->stream_index];
        const AVRational tb = input->streams[packet->stream_index]->time_base;
        const std::int64_t start = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (count.packets == 0) {
            count.firstIsKey = packet->flags & AV_PKT_FLAG_KEY;
            count.firstTime = start != AV_NOPTS_VALUE ? start * av_q2d(tb) : 0.0;
        }
        ++count.packets;
        if (packet->flags & AV_PKT_FLAG_KEY)
            ++count.keyPackets;
        const std::int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : start;
        if (pts != AV_NOPTS_VALUE)
            count.endTime = std::max(count.endTime, (pts + packet->duration) * av_q2d(tb));
        if (AVCodecContext* decoder = decoders[packet->stream_index]) {
            if (AVCodecHlpr::avcodec_send_packet(decoder, packet) < 0)
                ++count.decodeErrors;
            count.frames += ReceiveAll(decoder, frame);
        }
        AVCodecHlpr::av_packet_unref(packet);
    }
    for (size_t i = 0; i < decoders.size(); ++i) {
        if (!decoders[i])
            continue;
        AVCodecHlpr::avcodec_send_packet(decoders[i], nullptr);
        counts[i].frames += ReceiveAll(decoders[i], frame);
        AVCodecHlpr::avcodec_free_context(&decoders[i]);
    }
    AVUtilHlpr::av_frame_free(&frame);
    AVCodecHlpr::av_packet_free(&packet);
    return counts;
}

void Remux(const std::string& source, const std::string& dest, const PacketEdit& edit) {
    std::unique_ptr<AVFormatContext, InputCloser> input(OpenForReading(source));
    if (!input)
        throw std::runtime_error("cannot open " + source);
    AVFormatContext* output = nullptr;
    if (AVFormatHlpr::avformat_alloc_output_context2(&output, nullptr, nullptr, dest.c_str()) < 0)
        throw std::runtime_error("no muxer for " + dest);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream* stream = AVFormatHlpr::avformat_new_stream(output, nullptr);
        AVCodecHlpr::avcodec_parameters_copy(stream->codecpar, input->streams[i]->codecpar);
        stream->codecpar->codec_tag = 0;
        stream->time_base = input->streams[i]->time_base;
    }
    if (AVFormatHlpr::avio_open(&output->pb, dest.c_str(), AVIO_FLAG_WRITE) < 0 ||
        AVFormatHlpr::avformat_write_header(output, nullptr) < 0) {
        AVFormatHlpr::avio_closep(&output->pb);
        AVFormatHlpr::avformat_free_context(output);
        throw std::runtime_error("cannot write " + dest);
    }
    AVPacket* packet = AVCodecHlpr::av_packet_alloc();
    int number = 0;
    while (AVFormatHlpr::av_read_frame(input.get(), packet) >= 0) {
        AVStream* in = input->streams[packet->stream_index];
        AVCodecHlpr::av_packet_rescale_ts(packet, in->time_base,
                                          output->streams[packet->stream_index]->time_base);
        if (edit(*packet, in->codecpar->codec_type, number++))
            AVFormatHlpr::av_interleaved_write_frame(output, packet);
        AVCodecHlpr::av_packet_unref(packet);
    }
    AVCodecHlpr::av_packet_free(&packet);
    AVFormatHlpr::av_write_trailer(output);
    AVFormatHlpr::avio_closep(&output->pb);
    AVFormatHlpr::avformat_free_context(output);
}

void TranscodeTest::SetUp() {
    LoadTestLibraries();
    task.InitOptions();
    folder = ScratchFolder();
    task.LogSink = [this](TCustomFFmpeg*, int, const std::string& text) { lines.push_back(text); };
}

void TranscodeTest::TearDown() {
    task.CloseOpenCodecs();
    task.ReleaseFiles();
}

void TranscodeTest::Input(const std::string& path, const std::string& options) {
    if (!options.empty())
        task.ApplyOptionText(options);
    ASSERT_NO_THROW(task.OpenInputFile(path));
}

void TranscodeTest::Output(const std::string& name, const std::string& options) {
    if (!options.empty())
        task.ApplyOptionText(options);
    ASSERT_NO_THROW(task.OpenOutputFile(Path(name)));
}

std::string TranscodeTest::Transcode() {
    std::string failure;
    try {
        task.Transcode();
    } catch (const std::exception& error) {
        failure = error.what();
        if (failure.empty())
            failure = "(empty message)";
    }
    EXPECT_FALSE(task.HoldsRunState()) << "per-run state left behind";
    // The run closes what it opened, also when it fails: no codec context of the file records
    // may still be open (an open context has its codec; a closed one has none).
    for (const TInputFile& input : task.InputFiles)
        for (const TInputStreamSetup& stream : input.Streams)
            EXPECT_TRUE(!stream.CodecContext || !stream.CodecContext->codec) << "decoder left open";
    for (const TOutputFile& output : task.OutputFiles)
        for (const TOutputStreamSetup& stream : output.Streams)
            EXPECT_TRUE(!stream.CodecContext || !stream.CodecContext->codec) << "encoder left open";
    task.CloseOpenCodecs();
    task.ReleaseFiles();
    return failure;
}

bool TranscodeTest::Logged(const std::string& text) const {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

bool TranscodeTest::LoggedFragment(const std::string& fragment) const {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(fragment) != std::string::npos;
    });
}

} // namespace velto::test
