// Packet decoding and stream copy: DecodePacket feeds every output stream of one input stream,
// WriteFrame sends output packets through the bitstream filters into the muxer, DoSubtitleOut
// encodes subtitles.
#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "MyUtilHlpr.h"
#include "MyUtils.h"

#include <algorithm>
#include <cmath>
#include <memory>

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

void TCustomFFmpeg::DecodePacket(int inputStream, AVPacket* packet) {
    TInputStreamState& ist = run_->InputStreams[inputStream];
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
        ServeOutputs(inputStream, packet, nullptr, nullptr);
        return;
    }
    if (ist.Decoder->codec_type == AVMEDIA_TYPE_SUBTITLE)
        DecodeSubtitle(inputStream, packet);
    else
        DecodeFrames(inputStream, packet);
    if (!packet) {
        FlushFilterGraph(inputStream);
        for (int i = 0; i < static_cast<int>(run_->OutputStreams.size()); ++i) {
            const TOutputStreamState& ost = run_->OutputStreams[i];
            if (ost.SourceIndex == inputStream && ost.EncodingNeeded)
                FlushEncoder(i);
        }
    }
}

void TCustomFFmpeg::AdvanceCopyTimestamp(int inputStream, const AVPacket* packet) {
    TInputStreamState& ist = run_->InputStreams[inputStream];
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
        const AVRational frame = InputFrameTimeBase(inputStream);
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

void TCustomFFmpeg::DecodeFrames(int inputStream, AVPacket* packet) {
    TInputStreamState& ist = run_->InputStreams[inputStream];
    AVCodecContext* decoder = ist.Decoder;
    if (ist.DecoderDrained)
        return;
    int sent = AVCodecHlpr::avcodec_send_packet(decoder, packet);
    if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF)
        ThrowDecodeFailure(ist, sent);
    AVFrame* frame = run_->DecodedFrame.get();
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
        if (++frames > 1 && packet && Settings.Verbosity > 0)
            Log(0,
                StringPrintf("Multiple frames in a packet from stream %d", packet->stream_index));
        if (decoder->codec_type == AVMEDIA_TYPE_AUDIO) {
            if (frame->sample_rate > 0)
                ist.NextPts += static_cast<std::int64_t>(AV_TIME_BASE) * frame->nb_samples /
                               frame->sample_rate;
            if (Settings.AudioVolume != 256 && AVUtilHlpr::av_frame_make_writable(frame) >= 0)
                ApplyVolume(frame, Settings.AudioVolume);
        } else if (decoder->codec_type == AVMEDIA_TYPE_VIDEO) {
            ist.Quality = static_cast<float>(frame->quality);
            // The picture's own time: a threaded decoder hands pictures back several packets
            // late, so the clock of the last packet read would run ahead of them.
            if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
                ist.Pts = ist.NextPts = AVUtilHlpr::av_rescale_q(
                    frame->best_effort_timestamp, ist.Stream->time_base, AV_TIME_BASE_Q);
            const AVRational tb = InputFrameTimeBase(inputStream);
            if (tb.num > 0 && tb.den > 0)
                ist.NextPts += static_cast<std::int64_t>(AV_TIME_BASE) * tb.num / tb.den;
            PreProcessPicture(inputStream, frame);
        } else {
            AVUtilHlpr::av_frame_unref(frame);
            throw TDecodeFailure(
                StringPrintf("Error while decoding stream #%d.%d", ist.FileIndex, ist.StreamIndex));
        }
        EmulateRate(ist);
        ServeOutputs(inputStream, packet, frame, nullptr);
        AVUtilHlpr::av_frame_unref(frame);
    }
}

void TCustomFFmpeg::DecodeSubtitle(int inputStream, AVPacket* packet) {
    TInputStreamState& ist = run_->InputStreams[inputStream];
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
        ServeOutputs(inputStream, packet, nullptr, &subtitle);
        AVCodecHlpr::avsubtitle_free(&subtitle);
    }
}

void TCustomFFmpeg::EmulateRate(TInputStreamState& ist) {
    if (!ist.RateEmulation)
        return;
    const AVRational tb = InputFrameTimeBase(static_cast<int>(&ist - run_->InputStreams.data()));
    if (tb.num > 0 && tb.den > 0) {
        const std::int64_t target =
            static_cast<std::int64_t>(ist.RateEmulationFrames) * tb.num * AV_TIME_BASE / tb.den;
        const std::int64_t ahead = target - (AVUtilHlpr::av_gettime() - ist.RateEmulationStart);
        if (ahead > 50000)
            AVUtilHlpr::av_usleep(static_cast<unsigned>(ahead / 1000 * 1000));
    }
    ++ist.RateEmulationFrames;
}

void TCustomFFmpeg::ServeOutputs(int inputStream, AVPacket* packet, AVFrame* frame,
                                 AVSubtitle* subtitle) {
    TInputStreamState& ist = run_->InputStreams[inputStream];
    if (Settings.StartTime != 0 && ist.Pts < Settings.StartTime)
        return;
    const bool filtered =
        frame && ist.FilterGraph && ist.Decoder && ist.Decoder->codec_type == AVMEDIA_TYPE_VIDEO;
    if (filtered) {
        frame->pts = ist.Pts;
        if (AVFilterHlpr::av_buffersrc_add_frame_flags(ist.InputFilter, frame,
                                                       AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
            return;
        while (!StopRequested.load() && AVFilterHlpr::av_buffersink_get_frame(
                                            ist.OutputFilter, ist.FilteredPicture.get()) >= 0) {
            if (ist.FilteredPicture->pts != AV_NOPTS_VALUE)
                ist.Pts = ist.FilteredPicture->pts;
            FeedOutputs(inputStream, packet, ist.FilteredPicture.get(), nullptr);
            AVUtilHlpr::av_frame_unref(ist.FilteredPicture.get());
        }
        return;
    }
    FeedOutputs(inputStream, packet, frame, subtitle);
}

void TCustomFFmpeg::FlushFilterGraph(int inputStream) {
    TInputStreamState& ist = run_->InputStreams[inputStream];
    if (!ist.FilterGraph || !ist.FilteredPicture)
        return;
    // Filters that hold pictures back (frame-rate changes, temporal denoisers) give them up
    // only when told that no more come.
    if (AVFilterHlpr::av_buffersrc_add_frame_flags(ist.InputFilter, nullptr, 0) < 0)
        return;
    while (!StopRequested.load() && AVFilterHlpr::av_buffersink_get_frame(
                                        ist.OutputFilter, ist.FilteredPicture.get()) >= 0) {
        if (ist.FilteredPicture->pts != AV_NOPTS_VALUE)
            ist.Pts = ist.FilteredPicture->pts;
        FeedOutputs(inputStream, nullptr, ist.FilteredPicture.get(), nullptr);
        AVUtilHlpr::av_frame_unref(ist.FilteredPicture.get());
    }
}

void TCustomFFmpeg::FeedOutputs(int inputStream, AVPacket* packet, AVFrame* frame,
                                AVSubtitle* subtitle) {
    TInputStreamState& ist = run_->InputStreams[inputStream];
    for (int i = 0; i < static_cast<int>(run_->OutputStreams.size()); ++i) {
        TOutputStreamState& ost = run_->OutputStreams[i];
        if (ost.SourceIndex != inputStream)
            continue;
        if (ost.EncodingNeeded) {
            switch (ost.Encoder->codec_type) {
            case AVMEDIA_TYPE_AUDIO:
                if (frame)
                    DoAudioOut(i, inputStream, frame);
                break;
            case AVMEDIA_TYPE_VIDEO:
                if (frame) {
                    int encodedSize = 0;
                    DoVideoOut(i, inputStream, frame, encodedSize);
                    if (!Settings.VideoStatsFileName.empty() && encodedSize)
                        WriteVideoStats(i, encodedSize);
                }
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                if (subtitle)
                    DoSubtitleOut(i, inputStream, subtitle, packet ? packet->pts : AV_NOPTS_VALUE);
                break;
            default:
                throw FFMpegException("invalid codec_type");
            }
            continue;
        }
        if (!packet)
            continue;
        // A copy has to start on a key frame, or the first pictures cannot be decoded.
        if (ost.FrameNumber == 0 && !(packet->flags & AV_PKT_FLAG_KEY))
            continue;
        if (ost.Encoder->codec_type == AVMEDIA_TYPE_AUDIO)
            run_->Counters.AudioSize += packet->size;
        else if (ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
            run_->Counters.VideoSize += packet->size;
            ++ost.SyncOpts;
        }
        AVPacket* copy = run_->CopyPacket.get();
        if (AVCodecHlpr::av_packet_ref(copy, packet) < 0)
            throw FFMpegException("av_mallocz fail");
        const AVRational from = ist.Stream->time_base;
        const AVRational to = ost.Stream->time_base;
        copy->stream_index = ost.Index;
        copy->pts = packet->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE
                                                  : AVUtilHlpr::av_rescale_q(packet->pts, from, to);
        copy->dts = packet->dts == AV_NOPTS_VALUE
                        ? AVUtilHlpr::av_rescale_q(ist.Pts, AV_TIME_BASE_Q, to)
                        : AVUtilHlpr::av_rescale_q(packet->dts, from, to);
        copy->duration = AVUtilHlpr::av_rescale_q(packet->duration, from, to);
        copy->flags = packet->flags;
        run_->Muxer.Write(ost.FileIndex, copy, ost.Encoder, ost.Setup->BitstreamFilters);
        AVCodecHlpr::av_packet_unref(copy); // the muxer normally took the data already
        ++ost.Encoder->frame_number;
        ++ost.FrameNumber;
    }
}

int TCustomFFmpeg::WriteEncodedPackets(int outputStream) {
    TOutputStreamState& ost = run_->OutputStreams[outputStream];
    AVPacket* packet = run_->EncodedPacket.get();
    int bytes = 0;
    int received = 0;
    while ((received = AVCodecHlpr::avcodec_receive_packet(ost.Encoder, packet)) >= 0) {
        bytes += packet->size;
        NoteCodedFrame(ost, packet);
        if (ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO)
            run_->Counters.VideoSize += packet->size;
        else
            run_->Counters.AudioSize += packet->size;
        if (ost.LogFile && ost.Encoder->stats_out)
            MyUtilHlpr::my_fprintf(ost.LogFile.get(), "%s", ost.Encoder->stats_out);
        packet->stream_index = ost.Index;
        // Encoders leave picture durations open; MP4 would then cut the last picture off.
        if (ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO && packet->duration <= 0)
            packet->duration = 1;
        AVCodecHlpr::av_packet_rescale_ts(packet, ost.Encoder->time_base, ost.Stream->time_base);
        run_->Muxer.Write(ost.FileIndex, packet, ost.Encoder, ost.Setup->BitstreamFilters);
        AVCodecHlpr::av_packet_unref(packet);
    }
    // "Needs more input" and "drained" end the loop normally; anything else lost pictures or sound.
    if (received != AVERROR(EAGAIN) && received != AVERROR_EOF)
        throw FFMpegException(ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO
                                  ? "Video encoding failed"
                                  : "Audio encoding failed");
    return bytes;
}

void TCustomFFmpeg::DoSubtitleOut(int outputStream, int inputStream, AVSubtitle* subtitle,
                                  std::int64_t pts) {
    TOutputStreamState& ost = run_->OutputStreams[outputStream];
    const TInputStreamState& ist = run_->InputStreams[inputStream];
    if (pts == AV_NOPTS_VALUE) {
        if (Settings.ExitOnError)
            throw FFMpegException("Subtitle packets must have a pts");
        Log(0, "Subtitle packets must have a pts");
        return;
    }
    constexpr int kSubtitleBufferSize = 65536;
    if (run_->SubtitleBuffer.empty())
        run_->SubtitleBuffer.resize(kSubtitleBufferSize);
    // DVB subtitles are shown by one packet and cleared by a second one.
    const bool dvb = ost.Encoder->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    const int count = dvb ? 2 : 1;
    const std::int64_t base =
        AVUtilHlpr::av_rescale_q(pts, ist.Stream->time_base, ost.Stream->time_base);
    for (int i = 0; i < count; ++i) {
        AVSubtitle copy = *subtitle;
        if (dvb && i == 1)
            copy.num_rects = 0;
        const int size = AVCodecHlpr::avcodec_encode_subtitle(
            ost.Encoder, run_->SubtitleBuffer.data(), kSubtitleBufferSize, &copy);
        if (size < 0)
            throw FFMpegException("Subtitle encoding failed");
        OwnedPacket packet(AVCodecHlpr::av_packet_alloc());
        if (!packet || AVCodecHlpr::av_new_packet(packet.get(), size) < 0)
            throw FFMpegException("av_mallocz fail");
        std::copy_n(run_->SubtitleBuffer.data(), size, packet->data);
        packet->stream_index = ost.Index;
        const std::uint32_t display =
            dvb ? (i == 0 ? subtitle->start_display_time : subtitle->end_display_time) : 0;
        // Display times are milliseconds; the stream's time base need not be 90 kHz.
        packet->pts =
            base + AVUtilHlpr::av_rescale_q(display, AVRational{1, 1000}, ost.Stream->time_base);
        packet->dts = packet->pts;
        if (!dvb && subtitle->end_display_time > subtitle->start_display_time)
            packet->duration =
                AVUtilHlpr::av_rescale_q(subtitle->end_display_time - subtitle->start_display_time,
                                         AVRational{1, 1000}, ost.Stream->time_base);
        run_->Muxer.Write(ost.FileIndex, packet.get(), ost.Encoder, ost.Setup->BitstreamFilters);
        ++ost.FrameNumber;
    }
}

} // namespace velto
