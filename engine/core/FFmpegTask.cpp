// Construction of a task, its option state (settings, holders, filter chains, hooks) and its log
// sink.
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "FFmpeg.h"
#include "SwScaleHlpr.h"

namespace velto {

TCustomFFmpeg::TCustomFFmpeg() = default;

TCustomFFmpeg::~TCustomFFmpeg() {
    StopAndWait();
    ReleaseFiles();
    ResetOptionState();
}

void TCustomFFmpeg::ResetOptionState() {
    if (FrameHooks)
        ReleaseFrameHooks(&FrameHooks);
    // Assigning a fresh record frees the holders, chains and matrices of the old one.
    Settings = TaskSettings{};
    HookAction = haContinue;
    HookRanges.clear();
    VideoHooks.Reset();
}

void TCustomFFmpeg::AllocateOptionHolders() {
    for (int kind = 0; kind < kMediaKindCount; ++kind) {
        Settings.CodecOptionHolders[kind].reset(AVCodecHlpr::avcodec_alloc_context3(nullptr));
        if (Settings.CodecOptionHolders[kind])
            Settings.CodecOptionHolders[kind]->codec_type = static_cast<AVMediaType>(kind);
    }
    Settings.FormatOptionHolder.reset(AVFormatHlpr::avformat_alloc_context());
    Settings.ScalerOptionHolder.reset(SwScaleHlpr::sws_getContext(
        16, 16, static_cast<AVPixelFormat>(0), 16, 16, static_cast<AVPixelFormat>(0),
        Settings.ScalerFlags, nullptr, nullptr, nullptr));
}

void TCustomFFmpeg::InitOptions() {
    ResetOptionState();
    AllocateOptionHolders();
}

void TCustomFFmpeg::Log(int level, const std::string& text) {
    if (LogSink)
        LogSink(this, level, text);
}

} // namespace velto
