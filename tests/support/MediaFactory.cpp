#include "MediaFactory.h"

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>

namespace velto::test {

namespace {

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    AVUtilHlpr::av_strerror(code, text, sizeof text);
    return text;
}

void Check(int code, const std::string& what) {
    if (code < 0)
        throw std::runtime_error(what + ": " + ErrorText(code));
}

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { AVCodecHlpr::avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { AVUtilHlpr::av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { AVCodecHlpr::av_packet_free(&packet); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

// Closes the output file and frees the muxer, also when a step failed half way.
struct OutputDeleter {
    void operator()(AVFormatContext* context) const {
        if (!(context->oformat->flags & AVFMT_NOFILE))
            AVFormatHlpr::avio_closep(&context->pb);
        AVFormatHlpr::avformat_free_context(context);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;

// One stream being written: its encoder (none for subtitles), the next frame to make, and time.
struct Track {
    AVStream* stream = nullptr;
    CodecContextPtr encoder;
    FramePtr frame;
    std::int64_t nextPts = 0; // in the encoder's time base
    std::int64_t endPts = 0;
    double toneHz = 0;
    bool flushed = false;
    bool motion = false;
    bool marker = false;
    int cue = 0;
    int cues = 0;
    int cueStartMs = 0;
    CodecContextPtr subtitleEncoder; // text cues through the library's encoder
    bool bitmap = false;             // the subtitles of a BitmapSubtitleTrack
    BitmapSubtitleTrack block;
};

const AVCodec* FindEncoder(const std::string& name) {
    const AVCodec* codec = AVCodecHlpr::avcodec_find_encoder_by_name(name.c_str());
    if (!codec)
        throw std::runtime_error("encoder not in this build: " + name);
    return codec;
}

AVPixelFormat PickPixelFormat(const AVCodec* codec) {
    if (!codec->pix_fmts)
        return AV_PIX_FMT_YUV420P;
    for (const AVPixelFormat* format = codec->pix_fmts; *format != AV_PIX_FMT_NONE; ++format) {
        if (*format == AV_PIX_FMT_YUV420P)
            return *format;
    }
    return codec->pix_fmts[0];
}

AVSampleFormat PickSampleFormat(const AVCodec* codec) {
    return codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
}

int PickSampleRate(const AVCodec* codec, int wanted) {
    if (!codec->supported_samplerates)
        return wanted;
    int best = codec->supported_samplerates[0];
    for (const int* rate = codec->supported_samplerates; *rate; ++rate) {
        if (*rate == wanted)
            return wanted;
        if (std::abs(*rate - wanted) < std::abs(best - wanted))
            best = *rate;
    }
    return best;
}

void OpenEncoder(Track& track, const AVCodec* codec, AVFormatContext* output) {
    if (output->oformat->flags & AVFMT_GLOBALHEADER)
        track.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(AVCodecHlpr::avcodec_open2(track.encoder.get(), codec, nullptr),
          std::string("open encoder ") + codec->name);
    Check(AVCodecHlpr::avcodec_parameters_from_context(track.stream->codecpar, track.encoder.get()),
          "copy encoder parameters");
}

Track AddVideo(AVFormatContext* output, const VideoTrack& spec, double seconds) {
    const AVCodec* codec = FindEncoder(spec.encoder);
    Track track;
    track.stream = AVFormatHlpr::avformat_new_stream(output, nullptr);
    track.encoder.reset(AVCodecHlpr::avcodec_alloc_context3(codec));
    AVCodecContext* context = track.encoder.get();
    context->width = spec.width;
    context->height = spec.height;
    context->time_base = AVRational{spec.frameRateDen, spec.frameRateNum};
    context->framerate = AVRational{spec.frameRateNum, spec.frameRateDen};
    context->gop_size = spec.gopSize;
    context->max_b_frames = spec.maxBFrames;
    context->bit_rate = spec.bitRate;
    context->pix_fmt = spec.pixelFormat.empty()
                           ? PickPixelFormat(codec)
                           : AVUtilHlpr::av_get_pix_fmt(spec.pixelFormat.c_str());
    context->color_primaries = static_cast<AVColorPrimaries>(spec.colorPrimaries);
    context->color_trc = static_cast<AVColorTransferCharacteristic>(spec.colorTransfer);
    context->colorspace = static_cast<AVColorSpace>(spec.colorMatrix);
    if (spec.sampleAspectNum > 0)
        context->sample_aspect_ratio = AVRational{spec.sampleAspectNum, spec.sampleAspectDen};
    // Some encoders insist on their standard rates; the tests only need a plausible clip.
    context->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    if (spec.encoder == "libx264")
        AVUtilHlpr::av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    track.stream->time_base = context->time_base;
    track.stream->avg_frame_rate = context->framerate;
    track.stream->sample_aspect_ratio = context->sample_aspect_ratio;
    OpenEncoder(track, codec, output);
    if (spec.rotation != 0) {
        auto* matrix = reinterpret_cast<std::int32_t*>(AVFormatHlpr::av_stream_new_side_data(
            track.stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t)));
        if (!matrix)
            throw std::runtime_error("display matrix");
        // Read back through the MP4 track header, this is the matrix that FFmpeg's own
        // autorotation (and ffprobe's "rotation of -N degrees") turns clockwise by N.
        AVUtilHlpr::av_display_rotation_set(matrix, spec.rotation);
    }

    track.frame.reset(AVUtilHlpr::av_frame_alloc());
    track.frame->format = context->pix_fmt;
    track.frame->width = context->width;
    track.frame->height = context->height;
    Check(AVUtilHlpr::av_frame_get_buffer(track.frame.get(), 0), "picture buffer");
    track.endPts = std::llround(seconds * spec.frameRateNum / spec.frameRateDen);
    track.motion = spec.motion;
    track.marker = spec.marker;
    return track;
}

Track AddAudio(AVFormatContext* output, const AudioTrack& spec, double seconds) {
    const AVCodec* codec = FindEncoder(spec.encoder);
    Track track;
    track.stream = AVFormatHlpr::avformat_new_stream(output, nullptr);
    track.encoder.reset(AVCodecHlpr::avcodec_alloc_context3(codec));
    AVCodecContext* context = track.encoder.get();
    context->sample_fmt = PickSampleFormat(codec);
    context->sample_rate = PickSampleRate(codec, spec.sampleRate);
    AVUtilHlpr::av_channel_layout_default(&context->ch_layout, spec.channels);
    context->bit_rate = spec.bitRate;
    context->time_base = AVRational{1, context->sample_rate};
    context->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    track.stream->time_base = context->time_base;
    if (!spec.language.empty())
        AVUtilHlpr::av_dict_set(&track.stream->metadata, "language", spec.language.c_str(), 0);
    track.stream->disposition = spec.isDefault ? AV_DISPOSITION_DEFAULT : 0;
    OpenEncoder(track, codec, output);

    track.frame.reset(AVUtilHlpr::av_frame_alloc());
    track.frame->format = context->sample_fmt;
    track.frame->sample_rate = context->sample_rate;
    track.frame->nb_samples = context->frame_size > 0 ? context->frame_size : 1024;
    AVUtilHlpr::av_channel_layout_copy(&track.frame->ch_layout, &context->ch_layout);
    Check(AVUtilHlpr::av_frame_get_buffer(track.frame.get(), 0), "sample buffer");
    track.endPts = std::llround(seconds * context->sample_rate);
    track.toneHz = spec.toneHz;
    return track;
}

Track AddSubtitles(AVFormatContext* output, int cues) {
    Track track;
    track.stream = AVFormatHlpr::avformat_new_stream(output, nullptr);
    track.stream->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    track.stream->codecpar->codec_id = AV_CODEC_ID_SUBRIP;
    track.stream->time_base = AVRational{1, 1000};
    track.cues = cues;
    track.endPts = cues * 1000;
    return track;
}

// Text subtitle encoders take their styles from an ASS script header.
constexpr const char kCueHeader[] =
    "[Script Info]\r\nScriptType: v4.00+\r\nPlayResX: 384\r\nPlayResY: 288\r\n\r\n"
    "[V4+ Styles]\r\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
    "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, "
    "Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\r\n"
    "Style: Default,Arial,40,&Hffffff,&Hffffff,&H0,&H0,1,0,0,0,100,100,0,0,1,3,0,2,10,10,10,0\r\n"
    "\r\n[Events]\r\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";

Track AddTextSubtitles(AVFormatContext* output, const SubtitleTrack& spec) {
    const AVCodec* codec = FindEncoder(spec.encoder);
    Track track;
    track.stream = AVFormatHlpr::avformat_new_stream(output, nullptr);
    track.subtitleEncoder.reset(AVCodecHlpr::avcodec_alloc_context3(codec));
    AVCodecContext* context = track.subtitleEncoder.get();
    context->time_base = AVRational{1, 1000};
    const std::size_t size = sizeof kCueHeader - 1;
    context->subtitle_header = static_cast<std::uint8_t*>(AVUtilHlpr::av_mallocz(size + 1));
    std::memcpy(context->subtitle_header, kCueHeader, size);
    context->subtitle_header_size = static_cast<int>(size);
    Check(AVCodecHlpr::avcodec_open2(context, codec, nullptr), "open " + spec.encoder);
    Check(AVCodecHlpr::avcodec_parameters_from_context(track.stream->codecpar, context),
          "subtitle parameters");
    track.stream->time_base = context->time_base;
    if (!spec.language.empty())
        AVUtilHlpr::av_dict_set(&track.stream->metadata, "language", spec.language.c_str(), 0);
    track.stream->disposition = spec.isDefault ? AV_DISPOSITION_DEFAULT : 0;
    track.cues = spec.cues;
    track.cueStartMs = spec.startMs;
    track.nextPts = spec.startMs;
    track.endPts = spec.startMs + spec.cues * 1000LL;
    return track;
}

void WriteTextCue(AVFormatContext* output, Track& track, AVPacket* packet) {
    std::string line = "0,0,Default,,0,0,0,,Cue number " + std::to_string(track.cue + 1);
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_ASS;
    rect.ass = line.data();
    AVSubtitleRect* rects[] = {&rect};
    AVSubtitle cue{};
    cue.num_rects = 1;
    cue.rects = rects;
    cue.end_display_time = 800;
    std::uint8_t buffer[1024];
    const int size = AVCodecHlpr::avcodec_encode_subtitle(track.subtitleEncoder.get(), buffer,
                                                          sizeof buffer, &cue);
    Check(size, "encode cue");
    Check(AVCodecHlpr::av_new_packet(packet, size), "cue packet");
    std::memcpy(packet->data, buffer, size);
    packet->pts = packet->dts = AVUtilHlpr::av_rescale_q(
        track.cueStartMs + track.cue * 1000LL, AVRational{1, 1000}, track.stream->time_base);
    packet->duration = AVUtilHlpr::av_rescale_q(800, AVRational{1, 1000}, track.stream->time_base);
    packet->stream_index = track.stream->index;
    Check(AVFormatHlpr::av_interleaved_write_frame(output, packet), "write cue");
    track.nextPts = track.cueStartMs + ++track.cue * 1000LL;
    track.flushed = track.cue >= track.cues;
}

Track AddBitmapSubtitles(AVFormatContext* output, const BitmapSubtitleTrack& wanted) {
    Track track;
    track.stream = AVFormatHlpr::avformat_new_stream(output, nullptr);
    track.bitmap = true;
    track.block = wanted;
    track.nextPts = wanted.startMs;
    if (wanted.undecodable) {
        track.stream->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
        track.stream->codecpar->codec_id = AV_CODEC_ID_DVB_SUBTITLE;
    } else {
        const AVCodec* codec = FindEncoder("dvdsub");
        track.subtitleEncoder.reset(AVCodecHlpr::avcodec_alloc_context3(codec));
        AVCodecContext* context = track.subtitleEncoder.get();
        context->time_base = AVRational{1, 1000};
        context->width = wanted.frameWidth;
        context->height = wanted.frameHeight;
        Check(AVCodecHlpr::avcodec_open2(context, codec, nullptr), "open dvdsub");
        Check(AVCodecHlpr::avcodec_parameters_from_context(track.stream->codecpar, context),
              "subtitle parameters");
    }
    track.stream->time_base = AVRational{1, 1000};
    if (!wanted.language.empty())
        AVUtilHlpr::av_dict_set(&track.stream->metadata, "language", wanted.language.c_str(), 0);
    track.stream->disposition = wanted.isDefault ? AV_DISPOSITION_DEFAULT : 0;
    return track;
}

// The block as one DVD subtitle: palette index 1 (opaque white) everywhere, on a clear ground.
int EncodeBlock(Track& track, std::uint8_t* buffer, int size) {
    const BitmapSubtitleTrack& wanted = track.block;
    std::vector<std::uint8_t> indexes(static_cast<std::size_t>(wanted.width) * wanted.height, 1);
    std::uint32_t palette[4] = {0x00000000, 0xFFFFFFFF, 0xFF000000, 0xFF808080};
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_BITMAP;
    rect.x = wanted.x;
    rect.y = wanted.y;
    rect.w = wanted.width;
    rect.h = wanted.height;
    rect.nb_colors = 4;
    rect.data[0] = indexes.data();
    rect.linesize[0] = wanted.width;
    rect.data[1] = reinterpret_cast<std::uint8_t*>(palette);
    rect.linesize[1] = 4 * 4;
    AVSubtitleRect* rects[] = {&rect};
    AVSubtitle subtitle{};
    subtitle.num_rects = 1;
    subtitle.rects = rects;
    subtitle.pts = (wanted.startMs + track.cue * std::int64_t(wanted.repeatEveryMs)) * 1000;
    subtitle.end_display_time = static_cast<std::uint32_t>(wanted.endMs - wanted.startMs);
    return AVCodecHlpr::avcodec_encode_subtitle(track.subtitleEncoder.get(), buffer, size,
                                                &subtitle);
}

void WriteBitmapSubtitle(AVFormatContext* output, Track& track, AVPacket* packet) {
    std::vector<std::uint8_t> buffer(1 << 16, 0xAB);
    const int size = track.subtitleEncoder
                         ? EncodeBlock(track, buffer.data(), static_cast<int>(buffer.size()))
                         : 16;
    Check(size, "encode bitmap subtitle");
    Check(AVCodecHlpr::av_new_packet(packet, size), "subtitle packet");
    std::memcpy(packet->data, buffer.data(), size);
    const AVRational ms{1, 1000};
    const std::int64_t start =
        track.block.startMs + track.cue * std::int64_t(track.block.repeatEveryMs);
    packet->pts = packet->dts = AVUtilHlpr::av_rescale_q(start, ms, track.stream->time_base);
    packet->duration = AVUtilHlpr::av_rescale_q(track.block.endMs - track.block.startMs, ms,
                                                track.stream->time_base);
    packet->flags |= AV_PKT_FLAG_KEY;
    packet->stream_index = track.stream->index;
    Check(AVFormatHlpr::av_interleaved_write_frame(output, packet), "write bitmap subtitle");
    track.nextPts = start + track.block.repeatEveryMs;
    track.flushed = ++track.cue >= std::max(1, track.block.repeats);
}

void FillPicture(AVFrame* frame, std::int64_t index) {
    Check(AVUtilHlpr::av_frame_make_writable(frame), "writable picture");
    const AVPixFmtDescriptor* descriptor =
        AVUtilHlpr::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    const int planes =
        AVUtilHlpr::av_pix_fmt_count_planes(static_cast<AVPixelFormat>(frame->format));
    for (int plane = 0; plane < planes; ++plane) {
        const bool chroma = plane == 1 || plane == 2;
        const int width =
            chroma ? AV_CEIL_RSHIFT(frame->width, descriptor->log2_chroma_w) : frame->width;
        const int height =
            chroma ? AV_CEIL_RSHIFT(frame->height, descriptor->log2_chroma_h) : frame->height;
        const int bytesPerPixel = (descriptor->flags & AV_PIX_FMT_FLAG_PLANAR) ? 1 : 3;
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = frame->data[plane] + y * frame->linesize[plane];
            for (int x = 0; x < width * bytesPerPixel; ++x)
                row[x] = static_cast<std::uint8_t>(chroma ? 128 + ((x + index) % 32)
                                                          : (x + y + index * 3) & 0xFF);
        }
    }
    frame->pts = index;
}

// Fixed texture panned two pixels right and one down per frame, a slow wave over it and grain
// that differs in every frame; chroma drifts with the texture. Deterministic for a frame index.
void FillMotionPicture(AVFrame* frame, std::int64_t index) {
    Check(AVUtilHlpr::av_frame_make_writable(frame), "writable picture");
    if (frame->format != AV_PIX_FMT_YUV420P)
        throw std::runtime_error("the motion picture needs 4:2:0 planes");
    auto hash = [](std::uint32_t x) {
        x ^= x >> 16;
        x *= 0x7feb352dU;
        x ^= x >> 15;
        x *= 0x846ca68bU;
        x ^= x >> 16;
        return x;
    };
    const auto pan = static_cast<int>(index);
    for (int y = 0; y < frame->height; ++y) {
        std::uint8_t* row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x) {
            const int u = x - 2 * pan;
            const int v = y - pan;
            // Texture in 4x4 cells so that motion search finds it again after the pan.
            const std::uint32_t cell =
                hash(std::uint32_t(u >> 2) * 2654435761U ^ std::uint32_t(v >> 2));
            const double wave = 40.0 * std::sin(u / 23.0) * std::cos(v / 17.0 + index / 10.0);
            const int grain = int(hash(std::uint32_t(x + y * 7919 + index * 104729)) % 13) - 6;
            const int value = 128 + int(wave) + int(cell % 61) - 30 + grain;
            row[x] = static_cast<std::uint8_t>(std::clamp(value, 16, 235));
        }
    }
    for (int plane = 1; plane < 3; ++plane) {
        for (int y = 0; y < (frame->height + 1) / 2; ++y) {
            std::uint8_t* row = frame->data[plane] + y * frame->linesize[plane];
            for (int x = 0; x < (frame->width + 1) / 2; ++x) {
                const int u = 2 * x - 2 * pan;
                const int v = 2 * y - pan;
                const double wave = 30.0 * std::sin((u + plane * 40) / 31.0 + v / 29.0);
                row[x] = static_cast<std::uint8_t>(128 + int(wave));
            }
        }
    }
    frame->pts = index;
}

void FillTone(Track& track) {
    AVFrame* frame = track.frame.get();
    Check(AVUtilHlpr::av_frame_make_writable(frame), "writable samples");
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = AVUtilHlpr::av_sample_fmt_is_planar(format);
    const int channels = frame->ch_layout.nb_channels;
    const int bytes = AVUtilHlpr::av_get_bytes_per_sample(format);
    for (int i = 0; i < frame->nb_samples; ++i) {
        const double t = static_cast<double>(track.nextPts + i) / frame->sample_rate;
        const double value = 0.3 * std::sin(2 * M_PI * track.toneHz * t);
        for (int channel = 0; channel < channels; ++channel) {
            std::uint8_t* at = planar ? frame->data[channel] + i * bytes
                                      : frame->data[0] + (i * channels + channel) * bytes;
            switch (AVUtilHlpr::av_get_packed_sample_fmt(format)) {
            case AV_SAMPLE_FMT_U8:
                *at = static_cast<std::uint8_t>(128 + value * 127);
                break;
            case AV_SAMPLE_FMT_S16: {
                const auto sample = static_cast<std::int16_t>(value * 32767);
                std::memcpy(at, &sample, sizeof sample);
                break;
            }
            case AV_SAMPLE_FMT_S32: {
                const auto sample = static_cast<std::int32_t>(value * 2147483647.0);
                std::memcpy(at, &sample, sizeof sample);
                break;
            }
            case AV_SAMPLE_FMT_FLT: {
                const auto sample = static_cast<float>(value);
                std::memcpy(at, &sample, sizeof sample);
                break;
            }
            case AV_SAMPLE_FMT_DBL:
                std::memcpy(at, &value, sizeof value);
                break;
            default:
                throw std::runtime_error("sample format not handled by the media factory");
            }
        }
    }
    frame->pts = track.nextPts;
}

void FillMarkerPicture(AVFrame* frame, std::int64_t index) {
    Check(AVUtilHlpr::av_frame_make_writable(frame), "writable picture");
    if (frame->format != AV_PIX_FMT_YUV420P)
        throw std::runtime_error("the marker picture needs 8-bit 4:2:0 planes");
    for (int y = 0; y < frame->height; ++y) {
        std::uint8_t* row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x) {
            const bool top = y < frame->height / 3;
            row[x] = top && x < frame->width / 3        ? 235
                     : top && x >= frame->width * 2 / 3 ? 140
                                                        : 40;
        }
    }
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < (frame->height + 1) / 2; ++y)
            std::memset(frame->data[plane] + y * frame->linesize[plane], 128,
                        (frame->width + 1) / 2);
    frame->pts = index;
}

// Planar formats of more than 8 bits: the left half at 90 % of the code range (an HDR
// highlight), the right half at 40 % and reddish.
void FillDeepPicture(AVFrame* frame, std::int64_t index) {
    Check(AVUtilHlpr::av_frame_make_writable(frame), "writable picture");
    const AVPixFmtDescriptor* descriptor =
        AVUtilHlpr::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    const int depth = descriptor->comp[0].depth;
    const int black = 16 << (depth - 8), white = 235 << (depth - 8);
    const auto level = [&](double share) {
        return static_cast<std::uint16_t>(black + share * (white - black));
    };
    for (int y = 0; y < frame->height; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(frame->data[0] + y * frame->linesize[0]);
        for (int x = 0; x < frame->width; ++x)
            row[x] = x < frame->width / 2 ? level(0.9) : level(0.4);
    }
    const int chromaHeight = AV_CEIL_RSHIFT(frame->height, descriptor->log2_chroma_h);
    const int chromaWidth = AV_CEIL_RSHIFT(frame->width, descriptor->log2_chroma_w);
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < chromaHeight; ++y) {
            auto* row =
                reinterpret_cast<std::uint16_t*>(frame->data[plane] + y * frame->linesize[plane]);
            for (int x = 0; x < chromaWidth; ++x)
                row[x] = static_cast<std::uint16_t>(
                    plane == 2 && x >= chromaWidth / 2 ? 5 << (depth - 3) : 1 << (depth - 1));
        }
    frame->pts = index;
}

void WriteEncoded(AVFormatContext* output, Track& track, AVPacket* packet) {
    int result;
    while ((result = AVCodecHlpr::avcodec_receive_packet(track.encoder.get(), packet)) >= 0) {
        AVCodecHlpr::av_packet_rescale_ts(packet, track.encoder->time_base,
                                          track.stream->time_base);
        packet->stream_index = track.stream->index;
        Check(AVFormatHlpr::av_interleaved_write_frame(output, packet), "write packet");
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF)
        Check(result, "encode");
}

// Feeds one more frame (or the drain) of a track into the muxer.
void Advance(AVFormatContext* output, Track& track, AVPacket* packet) {
    if (track.bitmap) {
        WriteBitmapSubtitle(output, track, packet);
        return;
    }
    if (track.subtitleEncoder) {
        WriteTextCue(output, track, packet);
        return;
    }
    if (!track.encoder) {
        const std::string text = "Cue number " + std::to_string(track.cue + 1);
        Check(AVCodecHlpr::av_new_packet(packet, static_cast<int>(text.size())), "cue packet");
        std::memcpy(packet->data, text.data(), text.size());
        packet->pts = packet->dts = track.cue * 1000LL;
        packet->duration = 800;
        packet->stream_index = track.stream->index;
        Check(AVFormatHlpr::av_interleaved_write_frame(output, packet), "write cue");
        track.nextPts = ++track.cue * 1000LL;
        track.flushed = track.cue >= track.cues;
        return;
    }
    if (track.nextPts >= track.endPts) {
        Check(AVCodecHlpr::avcodec_send_frame(track.encoder.get(), nullptr), "drain");
        WriteEncoded(output, track, packet);
        track.flushed = true;
        return;
    }
    if (track.encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        const AVPixFmtDescriptor* descriptor =
            AVUtilHlpr::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(track.frame->format));
        if (descriptor && descriptor->comp[0].depth > 8)
            FillDeepPicture(track.frame.get(), track.nextPts);
        else if (track.marker)
            FillMarkerPicture(track.frame.get(), track.nextPts);
        else if (track.motion)
            FillMotionPicture(track.frame.get(), track.nextPts);
        else
            FillPicture(track.frame.get(), track.nextPts);
        track.nextPts += 1;
    } else {
        FillTone(track);
        track.nextPts += track.frame->nb_samples;
    }
    Check(AVCodecHlpr::avcodec_send_frame(track.encoder.get(), track.frame.get()), "encode");
    WriteEncoded(output, track, packet);
}

AVRational TrackTimeBase(const Track& track) {
    if (track.subtitleEncoder || track.bitmap)
        return AVRational{1, 1000};
    return track.encoder ? track.encoder->time_base : track.stream->time_base;
}

} // namespace

std::string MakeMedia(const std::string& path, const MediaRecipe& recipe) {
    AVFormatContext* raw = nullptr;
    Check(AVFormatHlpr::avformat_alloc_output_context2(
              &raw, nullptr, recipe.muxer.empty() ? nullptr : recipe.muxer.c_str(), path.c_str()),
          "output format for " + path);
    raw->pb = nullptr;
    OutputPtr output(raw);

    std::vector<Track> tracks;
    if (!recipe.audioFirst) {
        for (const VideoTrack& video : recipe.video)
            tracks.push_back(AddVideo(output.get(), video, recipe.seconds));
    }
    for (const AudioTrack& audio : recipe.audio)
        tracks.push_back(AddAudio(output.get(), audio, recipe.seconds));
    if (recipe.audioFirst) {
        for (const VideoTrack& video : recipe.video)
            tracks.push_back(AddVideo(output.get(), video, recipe.seconds));
    }
    if (recipe.subtitleCues > 0)
        tracks.push_back(AddSubtitles(output.get(), recipe.subtitleCues));
    for (const SubtitleTrack& subtitles : recipe.subtitles)
        tracks.push_back(AddTextSubtitles(output.get(), subtitles));
    for (const BitmapSubtitleTrack& subtitles : recipe.bitmapSubtitles)
        tracks.push_back(AddBitmapSubtitles(output.get(), subtitles));
    for (const auto& [key, value] : recipe.tags)
        AVUtilHlpr::av_dict_set(&output->metadata, key.c_str(), value.c_str(), 0);

    if (!(output->oformat->flags & AVFMT_NOFILE))
        Check(AVFormatHlpr::avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE),
              "create " + path);
    AVDictionary* muxerOptions = nullptr;
    if (!recipe.muxerOptions.empty())
        AVUtilHlpr::av_dict_parse_string(&muxerOptions, recipe.muxerOptions.c_str(), "=", ":", 0);
    const int header = AVFormatHlpr::avformat_write_header(output.get(), &muxerOptions);
    AVUtilHlpr::av_dict_free(&muxerOptions);
    Check(header, "write header");

    PacketPtr packet(AVCodecHlpr::av_packet_alloc());
    // Always advance the track that is furthest behind, so the muxer sees packets in time order.
    for (;;) {
        Track* next = nullptr;
        for (Track& track : tracks) {
            if (track.flushed)
                continue;
            if (!next || AVUtilHlpr::av_compare_ts(track.nextPts, TrackTimeBase(track),
                                                   next->nextPts, TrackTimeBase(*next)) < 0)
                next = &track;
        }
        if (!next)
            break;
        Advance(output.get(), *next, packet.get());
    }
    Check(AVFormatHlpr::av_write_trailer(output.get()), "write trailer");
    return path;
}

namespace {

std::string Join(const std::string& folder, const std::string& name) {
    return (std::filesystem::path(folder) / name).string();
}

} // namespace

std::string MakeAviMpeg4Mp2(const std::string& folder, double seconds) {
    MediaRecipe recipe;
    recipe.seconds = seconds;
    recipe.video.push_back(VideoTrack{});
    recipe.audio.push_back(AudioTrack{});
    return MakeMedia(Join(folder, "mpeg4_mp2.avi"), recipe);
}

std::string MakeMp4H264Aac(const std::string& folder, double seconds) {
    MediaRecipe recipe;
    recipe.seconds = seconds;
    VideoTrack video;
    video.encoder = "libx264";
    recipe.video.push_back(video);
    AudioTrack audio;
    audio.encoder = "aac";
    recipe.audio.push_back(audio);
    return MakeMedia(Join(folder, "h264_aac.mp4"), recipe);
}

std::string MakeMpegPsMpeg2Mp2(const std::string& folder, double seconds) {
    MediaRecipe recipe;
    recipe.muxer = "vob";
    recipe.seconds = seconds;
    VideoTrack video;
    video.encoder = "mpeg2video";
    video.width = 352;
    video.height = 288;
    recipe.video.push_back(video);
    AudioTrack audio;
    audio.sampleRate = 48000;
    recipe.audio.push_back(audio);
    return MakeMedia(Join(folder, "mpeg2_mp2.mpg"), recipe);
}

std::string MakeWav(const std::string& folder, double seconds) {
    MediaRecipe recipe;
    recipe.seconds = seconds;
    AudioTrack audio;
    audio.encoder = "pcm_s16le";
    recipe.audio.push_back(audio);
    return MakeMedia(Join(folder, "tone.wav"), recipe);
}

std::string MakeMp3(const std::string& folder, double seconds) {
    MediaRecipe recipe;
    recipe.seconds = seconds;
    AudioTrack audio;
    audio.encoder = "libmp3lame";
    recipe.audio.push_back(audio);
    return MakeMedia(Join(folder, "tone.mp3"), recipe);
}

std::string MakeVideoOnly(const std::string& folder, double seconds) {
    MediaRecipe recipe;
    recipe.seconds = seconds;
    recipe.video.push_back(VideoTrack{});
    return MakeMedia(Join(folder, "video_only.avi"), recipe);
}

std::string MakeMotionClip(const std::string& folder, double seconds, int width, int height,
                           int frameRate, bool videoOnly) {
    MediaRecipe recipe;
    recipe.seconds = seconds;
    VideoTrack video;
    video.width = width;
    video.height = height;
    video.frameRateNum = frameRate;
    // Rich enough that the source's own losses do not smooth the grain away.
    video.bitRate = width * height * frameRate / 2;
    video.motion = true;
    recipe.video.push_back(video);
    if (!videoOnly)
        recipe.audio.push_back(AudioTrack{});
    return MakeMedia(Join(folder, "motion_" + std::to_string(width) + "x" + std::to_string(height) +
                                      (videoOnly ? "_v" : "") + ".avi"),
                     recipe);
}

std::string MakeTwoAudio(const std::string& folder, double seconds) {
    MediaRecipe recipe;
    recipe.seconds = seconds;
    recipe.video.push_back(VideoTrack{});
    AudioTrack first;
    first.language = "eng";
    AudioTrack second;
    second.toneHz = 660.0;
    second.channels = 1;
    second.language = "fre";
    recipe.audio = {first, second};
    return MakeMedia(Join(folder, "two_audio.mkv"), recipe);
}

std::string MakeWithSubtitle(const std::string& folder, double seconds) {
    MediaRecipe recipe;
    recipe.seconds = seconds;
    recipe.video.push_back(VideoTrack{});
    recipe.audio.push_back(AudioTrack{});
    recipe.subtitleCues = static_cast<int>(seconds);
    return MakeMedia(Join(folder, "with_subtitle.mkv"), recipe);
}

std::string MakeSrtFile(const std::string& path, int cues, int startMs) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    const auto clock = [](long long ms) {
        char text[32];
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", ms / 3600000,
                      ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
        return std::string(text);
    };
    for (int i = 0; i < cues; ++i) {
        const long long start = startMs + i * 1000LL;
        file << i + 1 << "\r\n"
             << clock(start) << " --> " << clock(start + 800) << "\r\nCue number " << i + 1
             << "\r\n\r\n";
    }
    if (!file)
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::string MakeEmptyFile(const std::string& folder, const std::string& name) {
    const std::string path = Join(folder, name);
    std::ofstream(path, std::ios::binary | std::ios::trunc);
    return path;
}

std::string MakeTruncatedCopy(const std::string& source, const std::string& name, double fraction) {
    const std::string path = Join(std::filesystem::path(source).parent_path().string(), name);
    std::ifstream in(source, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.resize(static_cast<size_t>(static_cast<double>(bytes.size()) * fraction));
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string MakeRandomFile(const std::string& folder, const std::string& name, size_t bytes,
                           std::uint32_t seed) {
    const std::string path = Join(folder, name);
    std::mt19937 random(seed);
    std::vector<char> data(bytes);
    for (char& byte : data)
        byte = static_cast<char>(random() & 0xFF);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
    return path;
}

std::string MakeBitFlippedCopy(const std::string& source, const std::string& name, int flips,
                               std::uint32_t seed, size_t skipBytes) {
    const std::string path = Join(std::filesystem::path(source).parent_path().string(), name);
    std::ifstream in(source, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::mt19937 random(seed);
    if (bytes.size() > skipBytes) {
        std::uniform_int_distribution<size_t> at(skipBytes, bytes.size() - 1);
        for (int i = 0; i < flips; ++i)
            bytes[at(random)] ^= static_cast<char>(1 << (random() % 8));
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

} // namespace velto::test
