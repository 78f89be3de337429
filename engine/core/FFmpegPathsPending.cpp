// Plain stand-ins for the video output path, so that a run can encode before its own unit
// exists: no hooks, deinterlacing or padding. FFmpegVideo.cpp replaces these definitions and
// deletes this file.
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

} // namespace velto
