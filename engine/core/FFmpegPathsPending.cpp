// Plain stand-ins for the audio and video output paths and the progress report, so that a run can
// encode before their own units exist: no hooks, deinterlacing, padding, audio drift handling or
// statistics. FFmpegAudio.cpp, FFmpegVideo.cpp and FFmpegReport.cpp replace these definitions and
// delete this file.
#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"

#include <cmath>
#include <memory>
#include <vector>

namespace velto {

namespace {

struct FrameDeleter {
    void operator()(AVFrame* frame) const { AVUtilHlpr::av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

} // namespace

void TCustomFFmpeg::PreProcessPicture(int, AVFrame*) {}

void TCustomFFmpeg::DoVideoOut(int outputStream, int inputStream, AVFrame* picture,
                               int& encodedSize) {
    TOutputStreamState& ost = Run.OutputStreams[outputStream];
    const TInputStreamState& sync = Run.InputStreams[ost.SyncIndex];
    AVCodecContext* encoder = ost.Encoder;
    encodedSize = 0;
    if (ost.VideoPad || (ost.VideoCrop && !ost.VideoResample))
        throw FFMpegException("Cropping and padding are not available yet");
    const double syncTime = static_cast<double>(sync.Pts - Settings.StartTime) / AV_TIME_BASE;
    const double tb = av_q2d(encoder->time_base);
    int copies = 1;
    if (tb > 0) {
        const double vdelta = syncTime / tb - static_cast<double>(ost.SyncOpts);
        if (vdelta < -1.1)
            copies = 0;
        else if (vdelta > 1.1)
            copies = static_cast<int>(std::lround(vdelta));
    }
    if (copies == 0)
        ++Counters.DroppedFrames;
    else if (copies > 1)
        Counters.DuplicateFrames += copies - 1;
    copies = std::min<std::int64_t>(copies, Settings.MaxFrames[0] - ost.FrameNumber);
    if (copies <= 0)
        return;

    AVFrame* final = picture;
    if (ost.VideoResample && !Run.InputStreams[inputStream].FilterGraph) {
        if (AVUtilHlpr::av_frame_make_writable(ost.TempPicture) < 0)
            throw FFMpegException("Video encoding failed");
        // Cropping shifts the source planes by the bands.
        const AVPixFmtDescriptor* descriptor =
            AVUtilHlpr::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
        const std::uint8_t* planes[4] = {};
        for (int p = 0; p < 4 && picture->data[p]; ++p) {
            const bool chroma = descriptor && (p == 1 || p == 2);
            const int top = chroma ? ost.TopBand >> descriptor->log2_chroma_h : ost.TopBand;
            const int left = chroma ? ost.LeftBand >> descriptor->log2_chroma_w : ost.LeftBand;
            planes[p] = picture->data[p] + top * picture->linesize[p] + left;
        }
        SwScaleHlpr::sws_scale(ost.ImageResampler, planes, picture->linesize, 0, ost.ResampleHeight,
                               ost.TempPicture->data, ost.TempPicture->linesize);
        final = ost.TempPicture;
    }
    FramePtr frame(AVUtilHlpr::av_frame_alloc());
    for (int i = 0; i < copies && !StopRequested.load(); ++i) {
        if (!frame || AVUtilHlpr::av_frame_ref(frame.get(), final) < 0)
            throw FFMpegException("Video encoding failed");
        frame->pts = ost.SyncOpts;
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        frame->quality = static_cast<int>(std::lround(ost.Setup->Quality));
        const int sent = AVCodecHlpr::avcodec_send_frame(encoder, frame.get());
        AVUtilHlpr::av_frame_unref(frame.get());
        if (sent < 0)
            throw FFMpegException("Video encoding failed");
        const int bytes = WriteEncodedPackets(outputStream);
        if (bytes > 0)
            encodedSize = bytes;
        ++ost.SyncOpts;
        ++ost.FrameNumber;
    }
}

void TCustomFFmpeg::DoAudioOut(int outputStream, int inputStream, AVFrame* samples) {
    TOutputStreamState& ost = Run.OutputStreams[outputStream];
    const TInputStreamState& sync = Run.InputStreams[ost.SyncIndex];
    AVCodecContext* encoder = ost.Encoder;
    (void)inputStream;
    if (!ost.Resampler) {
        if (SwResampleHlpr::swr_alloc_set_opts2(
                &ost.Resampler, &encoder->ch_layout, encoder->sample_fmt, encoder->sample_rate,
                &samples->ch_layout, static_cast<AVSampleFormat>(samples->format),
                samples->sample_rate, 0, nullptr) < 0 ||
            SwResampleHlpr::swr_init(ost.Resampler) < 0)
            throw FFMpegException(
                StringPrintf("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                             samples->ch_layout.nb_channels, samples->sample_rate,
                             encoder->ch_layout.nb_channels, encoder->sample_rate));
    }
    const int queued = AVUtilHlpr::av_audio_fifo_size(ost.Fifo);
    const double syncTime = static_cast<double>(sync.Pts - Settings.StartTime) / AV_TIME_BASE;
    ost.SyncOpts = std::llround(syncTime * encoder->sample_rate) - queued;

    const int capacity = SwResampleHlpr::swr_get_out_samples(ost.Resampler, samples->nb_samples);
    if (capacity > 0) {
        std::vector<std::uint8_t*> converted(
            std::max(1, encoder->ch_layout.nb_channels) + AV_NUM_DATA_POINTERS, nullptr);
        if (AVUtilHlpr::av_samples_alloc(converted.data(), nullptr, encoder->ch_layout.nb_channels,
                                         capacity, encoder->sample_fmt, 0) < 0)
            throw FFMpegException("av_malloc failed");
        const int count = SwResampleHlpr::swr_convert(
            ost.Resampler, converted.data(), capacity,
            const_cast<const std::uint8_t**>(samples->extended_data), samples->nb_samples);
        const int written = count > 0
                                ? AVUtilHlpr::av_audio_fifo_write(
                                      ost.Fifo, reinterpret_cast<void**>(converted.data()), count)
                                : 0;
        AVUtilHlpr::av_freep(&converted[0]);
        if (written < count)
            throw FFMpegException("av_fifo_realloc2() failed");
    }
    EncodeQueuedAudio(outputStream, false);
}

void TCustomFFmpeg::EncodeQueuedAudio(int outputStream, bool last) {
    TOutputStreamState& ost = Run.OutputStreams[outputStream];
    AVCodecContext* encoder = ost.Encoder;
    const bool variable = encoder->frame_size <= 1 ||
                          (encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    const bool smallLast = encoder->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
    for (;;) {
        const int queued = AVUtilHlpr::av_audio_fifo_size(ost.Fifo);
        int count = variable ? queued : encoder->frame_size;
        if (queued <= 0 || (queued < count && !(last && smallLast)))
            return;
        count = std::min(count, queued);
        FramePtr frame(AVUtilHlpr::av_frame_alloc());
        if (!frame)
            throw FFMpegException("av_malloc failed");
        frame->nb_samples = count;
        frame->format = encoder->sample_fmt;
        frame->sample_rate = encoder->sample_rate;
        AVUtilHlpr::av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout);
        if (AVUtilHlpr::av_frame_get_buffer(frame.get(), 0) < 0)
            throw FFMpegException("av_malloc failed");
        AVUtilHlpr::av_audio_fifo_read(ost.Fifo, reinterpret_cast<void**>(frame->data), count);
        frame->pts = ost.SyncOpts;
        if (AVCodecHlpr::avcodec_send_frame(encoder, frame.get()) < 0)
            throw FFMpegException("Audio encoding failed");
        WriteEncodedPackets(outputStream);
        ost.SyncOpts += count;
    }
}

void TCustomFFmpeg::FlushEncoder(int outputStream) {
    TOutputStreamState& ost = Run.OutputStreams[outputStream];
    if (ost.Encoder->codec_type == AVMEDIA_TYPE_AUDIO && ost.Fifo)
        EncodeQueuedAudio(outputStream, true);
    if (ost.Encoder->codec_type == AVMEDIA_TYPE_AUDIO ||
        ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        AVCodecHlpr::avcodec_send_frame(ost.Encoder, nullptr);
        WriteEncodedPackets(outputStream);
    }
}

void TCustomFFmpeg::WriteVideoStats(int, int) {}

void TCustomFFmpeg::PrintReport(bool) {}

} // namespace velto
