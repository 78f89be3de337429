// The output side of the video path: per output stream, keep the frame rate by dropping or
// repeating pictures, crop, scale and pad, encode and write; and the preview tap.
#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "PicturePlanes.h"
#include "PreviewLock.h"
#include "SwScaleHlpr.h"

#include <climits>
#include <cmath>
#include <memory>

namespace velto {

namespace {

// Drops a kept frame's references when the call ends, also by an exception.
using FrameUnref = TLibraryFree<AVUtilHlpr::av_frame_unref>;

// Gives frame a buffer of its own again when an encoder still holds the previous one; the
// contents are about to be overwritten, so nothing is copied.
void MakeFrameWritable(AVFrame* frame) {
    if (AVUtilHlpr::av_frame_is_writable(frame))
        return;
    const int format = frame->format;
    const int width = frame->width;
    const int height = frame->height;
    AVUtilHlpr::av_frame_unref(frame);
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (AVUtilHlpr::av_frame_get_buffer(frame, 0) < 0)
        throw FFMpegException("av_malloc fail");
}

void SetPlanes(AVFrame* frame, const VeltoPicture& planes) {
    for (int i = 0; i < 4; ++i) {
        frame->data[i] = planes.data[i];
        frame->linesize[i] = planes.linesize[i];
    }
}

// The picture scaled to the size and format the stream was set up for, or null when the
// scaler cannot take it.
AVFrame* AdaptPicture(TOutputStreamState& ost, const AVFrame& picture,
                      const AVCodecParameters& input) {
    if (picture.width <= 0 || picture.height <= 0 || picture.format < 0)
        return nullptr;
    ost.PictureAdapter.reset(SwScaleHlpr::sws_getCachedContext(
        ost.PictureAdapter.release(), picture.width, picture.height,
        static_cast<AVPixelFormat>(picture.format), input.width, input.height,
        static_cast<AVPixelFormat>(input.format), SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!ost.PictureAdapter)
        return nullptr;
    if (!ost.AdaptedPicture) {
        ost.AdaptedPicture.reset(AVUtilHlpr::av_frame_alloc());
        if (!ost.AdaptedPicture)
            throw FFMpegException("av_malloc fail");
        ost.AdaptedPicture->format = input.format;
        ost.AdaptedPicture->width = input.width;
        ost.AdaptedPicture->height = input.height;
    }
    AVFrame* adapted = ost.AdaptedPicture.get();
    MakeFrameWritable(adapted);
    SwScaleHlpr::sws_scale(ost.PictureAdapter.get(), picture.data, picture.linesize, 0,
                           picture.height, adapted->data, adapted->linesize);
    AVUtilHlpr::av_frame_copy_props(adapted, &picture);
    return adapted;
}

} // namespace

void TCustomFFmpeg::SetPreview(bool on) {
    if (on)
        PostHookFlags.fetch_or(1u);
    else
        PostHookFlags.fetch_and(~1u);
}

int TCustomFFmpeg::VideoCopies(TOutputStreamState& ost) {
    const TInputStreamState& sync = run_->InputStreams[ost.SyncIndex];
    const double syncTime = static_cast<double>(sync.Pts - Settings.StartTime) / AV_TIME_BASE;
    const double tb = av_q2d(ost.Encoder->time_base);
    if (!(tb > 0.0))
        return 1;
    const int method = Settings.VideoSyncMethod;
    // Rounding is to the nearest integer with ties to even (the default rounding mode).
    if (!(method > 0 || (method != 0 && tb > 0.001))) {
        ost.SyncOpts = std::llrint(syncTime / tb);
        return 1;
    }
    int copies = 1;
    const double vdelta = syncTime / tb - static_cast<double>(ost.SyncOpts);
    if (vdelta < -1.1)
        copies = 0;
    else if (method == 2)
        ost.SyncOpts = std::llrint(syncTime / tb);
    else if (vdelta > 1.1)
        copies = vdelta >= INT_MAX ? INT_MAX : static_cast<int>(std::lrint(vdelta));
    if (copies == 0) {
        ++run_->Counters.DroppedFrames;
        if (Settings.Verbosity > 2)
            Log(1, "*** drop!");
    } else if (copies > 1) {
        run_->Counters.DuplicateFrames += copies - 1;
        if (Settings.Verbosity > 2)
            Log(1, StringPrintf("*** %d dup!", copies - 1));
    }
    return copies;
}

AVFrame* TCustomFFmpeg::FormatPicture(TOutputStreamState& ost, int inputStream, AVFrame* picture,
                                      AVFrame* view) {
    const TInputStreamState& ist = run_->InputStreams[inputStream];
    AVCodecContext* encoder = ost.Encoder;
    const bool filtered = ist.Filters != nullptr;
    const auto fail = [&](const char* text) -> AVFrame* {
        if (Settings.ExitOnError)
            throw FFMpegException(text);
        Log(0, text);
        return nullptr;
    };
    if (!filtered) {
        // The crop bands and the scaler were set up for the stream's size and format; a picture
        // that differs in either would be read past its end, so it is brought to them first.
        const AVCodecParameters* input = ist.Stream->codecpar;
        if (picture->width != input->width || picture->height != input->height ||
            picture->format != input->format) {
            picture = AdaptPicture(ost, *picture, *input);
            if (!picture) {
                ++run_->Counters.DroppedFrames;
                if (Settings.Verbosity > 2)
                    Log(1, "*** drop!");
                return nullptr;
            }
        }
    }
    const auto decoderFormat = static_cast<AVPixelFormat>(picture->format);
    const auto encoderFormat = encoder->pix_fmt;
    VeltoPicture formatted = PictureOf(*picture);
    if (ost.VideoCrop && !filtered &&
        !CropPictureView(formatted, PictureOf(*picture), decoderFormat, ost.TopBand, ost.LeftBand))
        return fail("error cropping picture");

    const bool resample = ost.VideoResample && !filtered && ost.ImageResampler.get();
    if (!ost.VideoPad && !resample) {
        if (AVUtilHlpr::av_frame_ref(view, picture) < 0)
            throw FFMpegException("Video encoding failed");
        SetPlanes(view, formatted);
        view->width = encoder->width; // the crop view; the sizes match when nothing is scaled
        view->height = encoder->height;
        return view;
    }
    AVFrame* temp = ost.TempPicture.get();
    if (!temp)
        throw FFMpegException("Video encoding failed");
    MakeFrameWritable(temp);
    VeltoPicture final = PictureOf(*temp);
    VeltoPicture target = final;
    const VeltoPicture* padSource = &formatted;
    if (ost.VideoPad && resample &&
        !CropPictureView(target, final, encoderFormat, ost.PadTop, ost.PadLeft))
        return fail("error padding picture");
    if (resample) {
        padSource = nullptr;
        SwScaleHlpr::sws_scale(ost.ImageResampler.get(), formatted.data, formatted.linesize, 0,
                               ost.ResampleHeight, target.data, target.linesize);
    }
    if (ost.VideoPad &&
        !PadPicture(final, padSource, encoder->width, encoder->height, encoderFormat, ost.PadTop,
                    ost.PadBottom, ost.PadLeft, ost.PadRight, Settings.PadColor))
        return fail("error padding picture");
    if (AVUtilHlpr::av_frame_ref(view, temp) < 0)
        throw FFMpegException("Video encoding failed");
    return view;
}

void TCustomFFmpeg::DoVideoOut(int outputStream, int inputStream, AVFrame* picture,
                               int& encodedSize) {
    TOutputStreamState& ost = run_->OutputStreams[outputStream];
    AVCodecContext* encoder = ost.Encoder;
    encodedSize = 0;
    // Pictures a decoder still held when the frame limit ended the loop are not counted as
    // drops or repeats: how many it holds depends on its thread count.
    if (ost.FrameNumber >= Settings.MaxFrames[0])
        return;
    int copies = VideoCopies(ost);
    copies = static_cast<int>(std::min<std::int64_t>(
        copies, static_cast<std::int64_t>(Settings.MaxFrames[0]) - ost.FrameNumber));
    if (copies <= 0)
        return;

    // Both frames are kept for the task and hold references only within this call.
    if (!VideoHooks.Prepared)
        VideoHooks.Prepared.reset(AVUtilHlpr::av_frame_alloc());
    if (!VideoHooks.Encoded)
        VideoHooks.Encoded.reset(AVUtilHlpr::av_frame_alloc());
    AVFrame* prepared = VideoHooks.Prepared.get();
    AVFrame* frame = VideoHooks.Encoded.get();
    if (!prepared || !frame)
        throw FFMpegException("Video encoding failed");
    std::unique_ptr<AVFrame, FrameUnref> release(prepared);
    AVFrame* final = FormatPicture(ost, inputStream, picture, prepared);
    if (!final)
        return;

    const AVCodecContext* defaults = Settings.CodecOptionHolders[AVMEDIA_TYPE_VIDEO]
                                         ? Settings.CodecOptionHolders[AVMEDIA_TYPE_VIDEO].get()
                                         : encoder;
    const bool interlacedCoding =
        defaults->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME);
    const float quality =
        Settings.SameQuality ? run_->InputStreams[inputStream].Quality : ost.Setup->Quality;
    for (int i = 0; i < copies && KeepRunning(); ++i) {
        if (AVUtilHlpr::av_frame_ref(frame, final) < 0)
            throw FFMpegException("Video encoding failed");
        frame->width = encoder->width;
        frame->height = encoder->height;
        frame->sample_aspect_ratio = encoder->sample_aspect_ratio;
        frame->interlaced_frame = picture->interlaced_frame;
        if (interlacedCoding)
            frame->top_field_first =
                Settings.TopFieldFirst == -1 ? picture->top_field_first : Settings.TopFieldFirst;
        frame->quality = static_cast<int>(std::lround(quality));
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        frame->pts = ost.SyncOpts;
        run_->Muxer.CheckLength(
            ost.FileIndex,
            AVUtilHlpr::av_rescale_q(ost.SyncOpts, encoder->time_base, AV_TIME_BASE_Q));
        const int sent = AVCodecHlpr::avcodec_send_frame(encoder, frame);
        AVUtilHlpr::av_frame_unref(frame);
        if (sent < 0)
            throw FFMpegException("Video encoding failed");
        const int bytes = run_->Encoder.WritePackets(outputStream);
        if (bytes > 0) {
            encodedSize = bytes;
            if ((PostHookFlags.load() & 1u) || VideoHooks.Previewer)
                PreviewTap(final, AVUtilHlpr::av_rescale_q(ost.SyncOpts, encoder->time_base,
                                                           AV_TIME_BASE_Q));
        }
        ++ost.SyncOpts;
        ++ost.FrameNumber;
    }
}

void TCustomFFmpeg::PreviewTap(const AVFrame* picture, std::int64_t pts) {
    std::lock_guard<std::mutex> lock(PreviewLock());
    if (!(PostHookFlags.load() & 1u)) {
        // The preview was turned off from another thread; its window goes now.
        VideoHooks.Previewer.reset();
        return;
    }
    const std::int64_t now = AVUtilHlpr::av_gettime();
    if (now - VideoHooks.LastPreviewTime <= VideoHooks.PreviewInterval)
        return;
    const TRGBLogSink log = [this](int level, const std::string& text) { Log(level, text); };
    TRGBPicture& record = VideoHooks.PreviewPicture;
    bool shown = FrameToBitmap(record, PictureOf(*picture), picture->width, picture->height,
                               picture->format, log);
    if (shown) {
        if (!VideoHooks.Previewer)
            VideoHooks.Previewer = std::make_unique<TPreviewer>();
        shown =
            VideoHooks.Previewer->ShowFrame(*record.bitmap, run_->Counters.HookFrameNumber, pts);
    }
    VideoHooks.LastPreviewTime = now;
    if (!shown) {
        PostHookFlags.fetch_and(~1u);
        VideoHooks.Previewer.reset();
    }
}

} // namespace velto
