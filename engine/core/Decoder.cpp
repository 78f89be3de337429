#include "Decoder.h"

#include <algorithm>
#include <mutex>
#include <type_traits>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "CodecLock.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "TranscodeRun.h"

namespace velto {

namespace {

template <typename T> void ScaleSamples(std::uint8_t* data, int count, int volume) {
    T* samples = reinterpret_cast<T*>(data);
    for (int i = 0; i < count; ++i) {
        if constexpr (std::is_same_v<T, std::int16_t>) {
            // Integer formula of the 16-bit path, exact for 16-bit data.
            const int value = (samples[i] * volume + 128) >> 8;
            samples[i] = static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
        } else if constexpr (std::is_same_v<T, std::uint8_t>) {
            const int value = (((samples[i] - 128) * volume + 128) >> 8) + 128;
            samples[i] = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
            const std::int64_t value = (static_cast<std::int64_t>(samples[i]) * volume + 128) >> 8;
            samples[i] =
                static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
        } else {
            samples[i] = static_cast<T>(samples[i] * volume / 256.0);
        }
    }
}

} // namespace

void ApplyVolume(AVFrame* frame, int volume) {
    const AVSampleFormat format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = AVUtilHlpr::av_sample_fmt_is_planar(format);
    const int channels = std::max(1, frame->ch_layout.nb_channels);
    const int planes = planar ? channels : 1;
    const int count = frame->nb_samples * (planar ? 1 : channels);
    for (int plane = 0; plane < planes && plane < AV_NUM_DATA_POINTERS; ++plane) {
        std::uint8_t* data = frame->extended_data[plane];
        switch (AVUtilHlpr::av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            ScaleSamples<std::uint8_t>(data, count, volume);
            break;
        case AV_SAMPLE_FMT_S16:
            ScaleSamples<std::int16_t>(data, count, volume);
            break;
        case AV_SAMPLE_FMT_S32:
            ScaleSamples<std::int32_t>(data, count, volume);
            break;
        case AV_SAMPLE_FMT_FLT:
            ScaleSamples<float>(data, count, volume);
            break;
        case AV_SAMPLE_FMT_DBL:
            ScaleSamples<double>(data, count, volume);
            break;
        default:
            break;
        }
    }
}

AVRational DecoderTimeBase(const TInputStreamState& ist) {
    const AVCodecParameters* parameters = ist.Stream->codecpar;
    if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
        for (AVRational rate : {ist.Stream->avg_frame_rate, ist.Stream->r_frame_rate}) {
            if (rate.num > 0 && rate.den > 0)
                return AVRational{rate.den, rate.num};
        }
    } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO && parameters->sample_rate > 0) {
        return AVRational{1, parameters->sample_rate};
    }
    if (ist.Decoder && ist.Decoder->time_base.num > 0 && ist.Decoder->time_base.den > 0)
        return ist.Decoder->time_base;
    return ist.Stream->time_base;
}

AVRational TDecoder::FrameTimeBase(int inputStream) const {
    return DecoderTimeBase(run_.InputStreams[inputStream]);
}

bool TDecoder::AllocateFrame() {
    frame_.reset(AVUtilHlpr::av_frame_alloc());
    return frame_ != nullptr;
}

void TDecoder::Open() {
    for (TInputStreamState& ist : run_.InputStreams) {
        if (!ist.DecodingNeeded)
            continue;
        const AVCodec* codec =
            ist.Decoder ? AVCodecHlpr::avcodec_find_decoder(ist.Decoder->codec_id) : nullptr;
        if (!codec)
            throw FFMpegException(
                StringPrintf("Unsupported codec (id=%d) for input stream #%d.%d",
                             ist.Decoder ? static_cast<int>(ist.Decoder->codec_id) : 0,
                             ist.FileIndex, ist.StreamIndex));
        ist.Decoder->pkt_timebase = ist.Stream->time_base;
        task_.SetCodecThreads(ist.Decoder);
        std::lock_guard lock(CodecLock());
        const int opened = AVCodecHlpr::avcodec_open2(ist.Decoder, codec, nullptr);
        if (opened < 0)
            throw LibraryFailure(StringPrintf("Error while opening codec for input stream #%d.%d",
                                              ist.FileIndex, ist.StreamIndex),
                                 opened);
        run_.Opened(ist.Decoder, false);
    }
}

void TDecoder::Decode(int inputStream, AVPacket* packet) {
    TInputStreamState& ist = run_.InputStreams[inputStream];
    if (ist.NextPts == AV_NOPTS_VALUE)
        ist.NextPts = ist.Pts;
    if (packet && packet->dts != AV_NOPTS_VALUE) {
        ist.NextPts = ist.Pts =
            AVUtilHlpr::av_rescale_q(packet->dts, ist.Stream->time_base, AV_TIME_BASE_Q);
    }
    if (!ist.DecodingNeeded) {
        if (!packet)
            return;
        ist.Pts = ist.NextPts;
        AdvanceCopyTimestamp(inputStream, packet);
        run_.Deliver(inputStream, packet, nullptr, nullptr);
        return;
    }
    if (ist.Decoder->codec_type == AVMEDIA_TYPE_SUBTITLE)
        DecodeSubtitle(inputStream, packet);
    else
        DecodeFrames(inputStream, packet);
    if (!packet)
        run_.EndOfStream(inputStream);
}

void TDecoder::AdvanceCopyTimestamp(int inputStream, const AVPacket* packet) {
    TInputStreamState& ist = run_.InputStreams[inputStream];
    const AVCodecParameters* parameters = ist.Stream->codecpar;
    if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
        int frameSize = parameters->frame_size;
        if (frameSize <= 0 && packet->duration > 0 && parameters->sample_rate > 0)
            frameSize = static_cast<int>(AVUtilHlpr::av_rescale_q(
                packet->duration, ist.Stream->time_base, AVRational{1, parameters->sample_rate}));
        if (parameters->sample_rate > 0)
            ist.NextPts +=
                static_cast<std::int64_t>(AV_TIME_BASE) * frameSize / parameters->sample_rate;
    } else if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
        const AVRational frame = FrameTimeBase(inputStream);
        if (frame.num > 0 && frame.den > 0)
            ist.NextPts += static_cast<std::int64_t>(AV_TIME_BASE) * frame.num / frame.den;
    }
}

namespace {

[[noreturn]] void ThrowDecodeFailure(const TInputStreamState& ist, int code) {
    throw TDecodeFailure(StringPrintf("Error while decoding stream #%d.%d: %s", ist.FileIndex,
                                      ist.StreamIndex, LibraryErrorReason(code).c_str()));
}

} // namespace

void TDecoder::DecodeFrames(int inputStream, AVPacket* packet) {
    TInputStreamState& ist = run_.InputStreams[inputStream];
    AVCodecContext* decoder = ist.Decoder;
    if (ist.DecoderDrained)
        return;
    int sent = AVCodecHlpr::avcodec_send_packet(decoder, packet);
    if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF)
        ThrowDecodeFailure(ist, sent);
    AVFrame* frame = frame_.get();
    int frames = 0;
    for (;;) {
        const int received = AVCodecHlpr::avcodec_receive_frame(decoder, frame);
        if (received == AVERROR(EAGAIN))
            break;
        if (received == AVERROR_EOF) {
            ist.DecoderDrained = true;
            break;
        }
        if (received < 0)
            ThrowDecodeFailure(ist, received);
        ist.Pts = ist.NextPts;
        if (++frames > 1 && packet && task_.Settings.Verbosity > 0)
            task_.Log(0, StringPrintf("Multiple frames in a packet from stream %d",
                                      packet->stream_index));
        if (decoder->codec_type == AVMEDIA_TYPE_AUDIO) {
            if (frame->sample_rate > 0)
                ist.NextPts += static_cast<std::int64_t>(AV_TIME_BASE) * frame->nb_samples /
                               frame->sample_rate;
            if (task_.Settings.AudioVolume != 256 && AVUtilHlpr::av_frame_make_writable(frame) >= 0)
                ApplyVolume(frame, task_.Settings.AudioVolume);
        } else if (decoder->codec_type == AVMEDIA_TYPE_VIDEO) {
            ist.Quality = static_cast<float>(frame->quality);
            // The picture's own time: a threaded decoder hands pictures back several packets
            // late, so the clock of the last packet read would run ahead of them.
            if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
                ist.Pts = ist.NextPts = AVUtilHlpr::av_rescale_q(
                    frame->best_effort_timestamp, ist.Stream->time_base, AV_TIME_BASE_Q);
            const AVRational tb = FrameTimeBase(inputStream);
            if (tb.num > 0 && tb.den > 0)
                ist.NextPts += static_cast<std::int64_t>(AV_TIME_BASE) * tb.num / tb.den;
            run_.PreProcessPicture(inputStream, frame);
        } else {
            AVUtilHlpr::av_frame_unref(frame);
            throw TDecodeFailure(
                StringPrintf("Error while decoding stream #%d.%d", ist.FileIndex, ist.StreamIndex));
        }
        EmulateRate(ist);
        run_.Deliver(inputStream, packet, frame, nullptr);
        AVUtilHlpr::av_frame_unref(frame);
    }
}

void TDecoder::DecodeSubtitle(int inputStream, AVPacket* packet) {
    TInputStreamState& ist = run_.InputStreams[inputStream];
    if (!packet)
        return;
    ist.Pts = ist.NextPts;
    AVSubtitle subtitle = {};
    int got = 0;
    const int decoded = AVCodecHlpr::avcodec_decode_subtitle2(ist.Decoder, &subtitle, &got, packet);
    if (decoded < 0)
        ThrowDecodeFailure(ist, decoded);
    if (got) {
        EmulateRate(ist);
        run_.Deliver(inputStream, packet, nullptr, &subtitle);
        AVCodecHlpr::avsubtitle_free(&subtitle);
    }
}

void TDecoder::EmulateRate(TInputStreamState& ist) {
    if (!ist.RateEmulation)
        return;
    const AVRational tb = FrameTimeBase(static_cast<int>(&ist - run_.InputStreams.data()));
    if (tb.num > 0 && tb.den > 0) {
        const std::int64_t target =
            static_cast<std::int64_t>(ist.RateEmulationFrames) * tb.num * AV_TIME_BASE / tb.den;
        const std::int64_t ahead = target - (AVUtilHlpr::av_gettime() - ist.RateEmulationStart);
        if (ahead > 50000)
            AVUtilHlpr::av_usleep(static_cast<unsigned>(ahead / 1000 * 1000));
    }
    ++ist.RateEmulationFrames;
}

} // namespace velto
