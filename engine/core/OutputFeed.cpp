// The hand-over from the decoder stage to the output streams: decoded pictures through the input
// stream's filter chain, packets of stream copies, the packets the encoders have ready, subtitle
// encoding; everything reaches the files through the muxer stage.
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

void TCustomFFmpeg::ServeOutputs(int inputStream, AVPacket* packet, AVFrame* frame,
                                 AVSubtitle* subtitle) {
    TInputStreamState& ist = run_->InputStreams[inputStream];
    if (Settings.StartTime != 0 && ist.Pts < Settings.StartTime)
        return;
    if (frame && ist.Filters && ist.Decoder && ist.Decoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        frame->pts = ist.Pts;
        if (ist.Filters->Push(frame))
            FeedFilteredPictures(inputStream, packet);
        return;
    }
    FeedOutputs(inputStream, packet, frame, subtitle);
}

void TCustomFFmpeg::FeedFilteredPictures(int inputStream, AVPacket* packet) {
    TInputStreamState& ist = run_->InputStreams[inputStream];
    AVFrame* picture = nullptr;
    while (!StopRequested.load() && (picture = ist.Filters->Pull())) {
        if (picture->pts != AV_NOPTS_VALUE)
            ist.Pts = picture->pts;
        FeedOutputs(inputStream, packet, picture, nullptr);
    }
}

void TCustomFFmpeg::EndOfStream(int inputStream) {
    TInputStreamState& ist = run_->InputStreams[inputStream];
    // Filters that hold pictures back (frame-rate changes, temporal denoisers) give them up
    // only when told that no more come.
    if (ist.Filters && ist.Filters->Push(nullptr))
        FeedFilteredPictures(inputStream, nullptr);
    for (int i = 0; i < static_cast<int>(run_->OutputStreams.size()); ++i) {
        const TOutputStreamState& ost = run_->OutputStreams[i];
        if (ost.SourceIndex == inputStream && ost.EncodingNeeded)
            FlushEncoder(i);
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
                    run_->Encoder.EncodeSubtitle(i, inputStream, subtitle,
                                                 packet ? packet->pts : AV_NOPTS_VALUE);
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

} // namespace velto
