// The hook stage of the video path: which pictures the frame hooks see (before-hook handler or
// hook ranges), the custom hook through a bitmap, deinterlacing, and the working copy that carries
// the result on to the output streams.
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "PicturePlanes.h"

#include <exception>

namespace velto {

namespace {

std::string ExceptionText() {
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown exception";
    }
}

} // namespace

TVideoHookState::~TVideoHookState() {
    Reset();
}

void TVideoHookState::Reset() {
    // The previewer draws the preview bitmap, so it goes first.
    Previewer.reset();
    HookPicture.reset();
    Handover.reset();
    Prepared.reset();
    Encoded.reset();
    RangeIndex = 0;
    ResetRGBPicture(CustomPicture);
    ResetRGBPicture(PreviewPicture);
    LastPreviewTime = 0;
}

void TCustomFFmpeg::PreProcessPicture(int inputStream, AVFrame* picture) {
    const std::int64_t pts = run_->InputStreams[inputStream].Pts;
    if (++run_->Counters.HookFrameNumber == 1)
        VideoHooks.RangeIndex = 0;
    if (!CustomHookSink && Settings.FrameHooksInUse)
        DecideHookAction(pts);
    const bool frameHooks = Settings.FrameHooksInUse && HookAction == haContinue;
    if (!Settings.Deinterlace && !CustomHookSink && !frameHooks)
        return;
    if (!MakeWorkingCopy(picture))
        return;
    AVFrame* work = VideoHooks.HookPicture.get();
    if (CustomHookSink) {
        RunCustomHook(work, pts);
    } else if (frameHooks) {
        VeltoPicture planes = PictureOf(*work);
        RunFrameHooks(FrameHooks, &planes, work->format, work->width, work->height, pts);
    }
    // The picture now refers to the working copy and keeps its own properties; its buffers go
    // back to the decoder. The copy itself never takes properties, so side data cannot pile up.
    AVFrame* handover = VideoHooks.Handover.get();
    if (AVUtilHlpr::av_frame_ref(handover, work) < 0)
        return;
    if (AVUtilHlpr::av_frame_copy_props(handover, picture) < 0) {
        AVUtilHlpr::av_frame_unref(handover);
        return;
    }
    AVUtilHlpr::av_frame_unref(picture);
    AVUtilHlpr::av_frame_move_ref(picture, handover);
}

void TCustomFFmpeg::DecideHookAction(std::int64_t pts) {
    if (BeforeHookSink) {
        try {
            BeforeHookSink(this, pts, HookAction);
        } catch (...) {
            Log(0, "Error occurs OnBeforeHook: " + ExceptionText());
            HookAction = haStop;
        }
        if (HookAction == haStop)
            Settings.FrameHooksInUse = 0;
        return;
    }
    if (HookRanges.empty())
        return;
    HookAction = haIgnore;
    for (std::size_t i = VideoHooks.RangeIndex; i < HookRanges.size(); ++i) {
        const THookRange& range = HookRanges[i];
        if (range.Start <= pts && pts <= range.End) {
            VideoHooks.RangeIndex = i;
            HookAction = haContinue;
            return;
        }
        if (i + 1 == HookRanges.size() && range.End < pts) {
            HookAction = haStop;
            Settings.FrameHooksInUse = 0;
        }
    }
}

bool TCustomFFmpeg::MakeWorkingCopy(const AVFrame* picture) {
    if (!VideoHooks.HookPicture)
        VideoHooks.HookPicture.reset(AVUtilHlpr::av_frame_alloc());
    AVFrame* work = VideoHooks.HookPicture.get();
    if (!VideoHooks.Handover)
        VideoHooks.Handover.reset(AVUtilHlpr::av_frame_alloc());
    // A buffer an encoder still holds must not be written again; the next picture gets a new one.
    const bool reusable = work && work->buf[0] && work->format == picture->format &&
                          work->width == picture->width && work->height == picture->height &&
                          AVUtilHlpr::av_frame_is_writable(work);
    if (work && !reusable) {
        AVUtilHlpr::av_frame_unref(work);
        work->format = picture->format;
        work->width = picture->width;
        work->height = picture->height;
        if (AVUtilHlpr::av_frame_get_buffer(work, 0) < 0)
            AVUtilHlpr::av_frame_unref(work);
    }
    if (!work || !work->buf[0] || !VideoHooks.Handover) {
        Log(0, "hook buf malloc error.");
        return false;
    }
    if (Settings.Deinterlace) {
        VeltoPicture target = PictureOf(*work);
        if (DeinterlacePicture(target, PictureOf(*picture),
                               static_cast<AVPixelFormat>(picture->format), picture->width,
                               picture->height))
            return true;
        Log(0, "Deinterlacing failed.");
    }
    // Hooks write into the copy, never into the decoder's picture, which it may still predict
    // from.
    if (AVUtilHlpr::av_frame_copy(work, picture) < 0) {
        Log(0, "hook buf malloc error.");
        return false;
    }
    return true;
}

void TCustomFFmpeg::RunCustomHook(AVFrame* work, std::int64_t pts) {
    const TRGBLogSink log = [this](int level, const std::string& text) { Log(level, text); };
    VeltoPicture planes = PictureOf(*work);
    TRGBPicture& record = VideoHooks.CustomPicture;
    if (!FrameToBitmap(record, planes, work->width, work->height, work->format, log)) {
        StopCustomHook();
        return;
    }
    bool update = true;
    bool stop = false;
    {
        TCanvasLock canvas(*record.bitmap);
        try {
            CustomHookSink(this, *record.bitmap, run_->Counters.HookFrameNumber, pts, update, stop);
        } catch (...) {
            Log(0, "Error occurs OnCustomHook: " + ExceptionText());
            update = false;
        }
    }
    if (update && !BitmapToFrame(record, planes, work->width, work->height, work->format, log)) {
        StopCustomHook();
        return;
    }
    if (stop)
        StopCustomHook();
}

void TCustomFFmpeg::StopCustomHook() {
    CustomHookSink = nullptr;
    CustomHookAssigned = false;
    HookAction = haStop;
    Settings.FrameHooksInUse = 0;
}

} // namespace velto
