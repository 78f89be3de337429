#include "DecodedMedia.h"

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "AVUtilHlpr.h"

#include <cmath>
#include <cstdlib>
#include <functional>

namespace velto::test {

namespace {

// The decoder of the first stream of a type, opened; the caller frees it.
struct OpenedStream {
    TCustomAVProbe probe;
    AVCodecContext* decoder = nullptr;
    int index = -1;
    ~OpenedStream() { AVCodecHlpr::avcodec_free_context(&decoder); }
};

bool OpenFirst(OpenedStream& opened, const std::string& path, AVMediaType type) {
    if (!opened.probe.LoadFile(path))
        return false;
    AVFormatContext* context = opened.probe.FormatContext();
    for (unsigned i = 0; i < context->nb_streams && opened.index < 0; ++i)
        if (context->streams[i]->codecpar->codec_type == type)
            opened.index = static_cast<int>(i);
    if (opened.index < 0)
        return false;
    const AVCodecParameters* parameters = context->streams[opened.index]->codecpar;
    const AVCodec* codec = AVCodecHlpr::avcodec_find_decoder(parameters->codec_id);
    if (!codec)
        return false;
    opened.decoder = AVCodecHlpr::avcodec_alloc_context3(codec);
    AVCodecHlpr::avcodec_parameters_to_context(opened.decoder, parameters);
    opened.decoder->pkt_timebase = context->streams[opened.index]->time_base;
    return AVCodecHlpr::avcodec_open2(opened.decoder, codec, nullptr) >= 0;
}

// Decodes the stream until `take` returns false or the file ends.
void DecodeFrames(OpenedStream& opened, const std::function<bool(AVFrame*)>& take) {
    AVFormatContext* context = opened.probe.FormatContext();
    AVPacket* packet = AVCodecHlpr::av_packet_alloc();
    AVFrame* frame = AVUtilHlpr::av_frame_alloc();
    bool more = true;
    const auto receive = [&] {
        while (more && AVCodecHlpr::avcodec_receive_frame(opened.decoder, frame) >= 0) {
            more = take(frame);
            AVUtilHlpr::av_frame_unref(frame);
        }
    };
    while (more && AVFormatHlpr::av_read_frame(context, packet) >= 0) {
        if (packet->stream_index == opened.index &&
            AVCodecHlpr::avcodec_send_packet(opened.decoder, packet) >= 0)
            receive();
        AVCodecHlpr::av_packet_unref(packet);
    }
    if (more) {
        AVCodecHlpr::avcodec_send_packet(opened.decoder, nullptr);
        receive();
    }
    AVUtilHlpr::av_frame_free(&frame);
    AVCodecHlpr::av_packet_free(&packet);
}

double SampleAt(const AVFrame* frame, int channel, int i) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = AVUtilHlpr::av_sample_fmt_is_planar(format);
    const int channels = frame->ch_layout.nb_channels;
    const std::uint8_t* plane = frame->extended_data[planar ? channel : 0];
    const int at = planar ? i : i * channels + channel;
    switch (AVUtilHlpr::av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return (plane[at] - 128) / 128.0;
    case AV_SAMPLE_FMT_S16:
        return reinterpret_cast<const std::int16_t*>(plane)[at] / 32768.0;
    case AV_SAMPLE_FMT_S32:
        return reinterpret_cast<const std::int32_t*>(plane)[at] / 2147483648.0;
    case AV_SAMPLE_FMT_FLT:
        return reinterpret_cast<const float*>(plane)[at];
    case AV_SAMPLE_FMT_DBL:
        return reinterpret_cast<const double*>(plane)[at];
    default:
        return 0.0;
    }
}

} // namespace

std::vector<ProbedStream> ProbeStreams(const std::string& path) {
    std::vector<ProbedStream> streams;
    TCustomAVProbe probe;
    if (!probe.LoadFile(path))
        return streams;
    const AVFormatContext* context = probe.FormatContext();
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        ProbedStream probed;
        probed.type = stream->codecpar->codec_type;
        if (const AVCodecDescriptor* codec =
                AVCodecHlpr::avcodec_descriptor_get(stream->codecpar->codec_id))
            probed.codec = codec->name;
        if (const AVDictionaryEntry* language =
                AVUtilHlpr::av_dict_get(stream->metadata, "language", nullptr, 0))
            probed.language = language->value;
        probed.disposition = stream->disposition;
        probed.channels = stream->codecpar->ch_layout.nb_channels;
        streams.push_back(probed);
    }
    return streams;
}

std::vector<ProbedStream> StreamsOfType(const std::vector<ProbedStream>& streams, int type) {
    std::vector<ProbedStream> found;
    for (const ProbedStream& stream : streams)
        if (stream.type == type)
            found.push_back(stream);
    return found;
}

double AudioLevel(const std::string& path) {
    OpenedStream opened;
    if (!OpenFirst(opened, path, AVMEDIA_TYPE_AUDIO))
        return -1.0;
    double squares = 0.0;
    std::int64_t count = 0;
    DecodeFrames(opened, [&](AVFrame* frame) {
        for (int c = 0; c < frame->ch_layout.nb_channels; ++c)
            for (int i = 0; i < frame->nb_samples; ++i) {
                const double value = SampleAt(frame, c, i);
                squares += value * value;
                ++count;
            }
        return true;
    });
    return count ? std::sqrt(squares / static_cast<double>(count)) : -1.0;
}

Picture PictureAt(const std::string& path, double seconds) {
    Picture picture;
    OpenedStream opened;
    if (!OpenFirst(opened, path, AVMEDIA_TYPE_VIDEO))
        return picture;
    const AVRational timeBase = opened.probe.FormatContext()->streams[opened.index]->time_base;
    DecodeFrames(opened, [&](AVFrame* frame) {
        const std::int64_t pts = frame->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE && pts * av_q2d(timeBase) + 1e-6 < seconds)
            return true;
        picture.width = frame->width;
        picture.height = frame->height;
        picture.luma.resize(static_cast<std::size_t>(frame->width) * frame->height);
        for (int y = 0; y < frame->height; ++y)
            std::copy_n(frame->data[0] + y * frame->linesize[0], frame->width,
                        picture.luma.begin() + static_cast<std::ptrdiff_t>(y) * frame->width);
        return false;
    });
    return picture;
}

double MeanDifference(const Picture& a, const Picture& b, double top, double bottom) {
    if (a.width != b.width || a.height != b.height || a.luma.empty())
        return -1.0;
    const int from = static_cast<int>(top * a.height);
    const int to = static_cast<int>(bottom * a.height);
    double sum = 0.0;
    std::int64_t count = 0;
    for (int y = from; y < to; ++y)
        for (int x = 0; x < a.width; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * a.width + x;
            sum += std::abs(int(a.luma[at]) - int(b.luma[at]));
            ++count;
        }
    return count ? sum / static_cast<double>(count) : -1.0;
}

std::vector<Cue> SubtitleCues(const std::string& path) {
    std::vector<Cue> cues;
    OpenedStream opened;
    if (!OpenFirst(opened, path, AVMEDIA_TYPE_SUBTITLE))
        return cues;
    AVFormatContext* context = opened.probe.FormatContext();
    const AVRational timeBase = context->streams[opened.index]->time_base;
    AVPacket* packet = AVCodecHlpr::av_packet_alloc();
    while (AVFormatHlpr::av_read_frame(context, packet) >= 0) {
        if (packet->stream_index == opened.index) {
            AVSubtitle subtitle{};
            int got = 0;
            if (AVCodecHlpr::avcodec_decode_subtitle2(opened.decoder, &subtitle, &got, packet) >=
                    0 &&
                got) {
                Cue cue;
                cue.startMs = AVUtilHlpr::av_rescale_q(packet->pts, timeBase, AVRational{1, 1000});
                for (unsigned r = 0; r < subtitle.num_rects; ++r)
                    if (subtitle.rects[r]->ass)
                        cue.text += subtitle.rects[r]->ass;
                if (!cue.text.empty())
                    cues.push_back(cue);
                AVCodecHlpr::avsubtitle_free(&subtitle);
            }
        }
        AVCodecHlpr::av_packet_unref(packet);
    }
    AVCodecHlpr::av_packet_free(&packet);
    return cues;
}

} // namespace velto::test
