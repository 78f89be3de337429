#include "BitmapSubtitles.h"

#include "CodecLock.h"
#include "FFmpeg.h"
#include "MyUtils.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace velto {

namespace {

// Frees a decoded subtitle however its copy ends.
struct TSubtitleHold {
    AVSubtitle Subtitle{};
    ~TSubtitleHold() { AVCodecHlpr::avsubtitle_free(&Subtitle); }
};

} // namespace

void TBitmapSubtitles::TCodecFree::operator()(AVCodecContext* context) const {
    if (!AVCodecHlpr::avcodec_free_context)
        return;
    std::lock_guard lock(CodecLock());
    AVCodecHlpr::avcodec_free_context(&context);
}

TBitmapSubtitles::TBitmapSubtitles(const std::string& file, int stream, int width, int height,
                                   int referenceWidth, int referenceHeight)
    : file_(file), stream_(stream), width_(width), height_(height), referenceWidth_(referenceWidth),
      referenceHeight_(referenceHeight) {
    Open();
    ReadNext();
}

TBitmapSubtitles::~TBitmapSubtitles() = default;

void TBitmapSubtitles::Open() {
    const std::string reading =
        StringPrintf("Cannot read the subtitles to burn in from '%s'", file_.c_str());
    AVFormatContext* raw = nullptr;
    const int opened = AVFormatHlpr::avformat_open_input(&raw, file_.c_str(), nullptr, nullptr);
    if (opened < 0)
        throw LibraryFailure(reading, opened);
    input_.reset(raw);
    {
        std::lock_guard lock(CodecLock());
        const int probed = AVFormatHlpr::avformat_find_stream_info(raw, nullptr);
        if (probed < 0)
            throw LibraryFailure(reading, probed);
    }
    if (stream_ < 0 || stream_ >= static_cast<int>(raw->nb_streams) ||
        raw->streams[stream_]->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE)
        throw FFMpegException(
            StringPrintf("'%s' has no subtitle stream %d to burn in", file_.c_str(), stream_));
    // The run reads the rest of the file; this reader wants the subtitles only.
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (static_cast<int>(i) != stream_)
            raw->streams[i]->discard = AVDISCARD_ALL;

    const AVStream* source = raw->streams[stream_];
    const AVCodec* codec = AVCodecHlpr::avcodec_find_decoder(source->codecpar->codec_id);
    if (!codec)
        throw FFMpegException(StringPrintf(
            "Subtitles to burn in cannot be decoded: this build has no decoder for '%s'",
            AVCodecHlpr::avcodec_get_name(source->codecpar->codec_id)));
    decoder_.reset(AVCodecHlpr::avcodec_alloc_context3(codec));
    packet_.reset(AVCodecHlpr::av_packet_alloc());
    canvas_.reset(AVUtilHlpr::av_frame_alloc());
    if (!decoder_ || !packet_ || !canvas_)
        throw LibraryFailure(reading, AVERROR(ENOMEM));
    const int copied = AVCodecHlpr::avcodec_parameters_to_context(decoder_.get(), source->codecpar);
    if (copied < 0)
        throw LibraryFailure(reading, copied);
    // Subtitle times come out in microseconds only when the decoder knows the packets' clock.
    decoder_->pkt_timebase = source->time_base;
    std::lock_guard lock(CodecLock());
    const int ready = AVCodecHlpr::avcodec_open2(decoder_.get(), codec, nullptr);
    if (ready < 0)
        throw LibraryFailure(
            StringPrintf("Error while opening the subtitle decoder '%s'", codec->name), ready);
}

void TBitmapSubtitles::ReadNext() {
    while (!ended_ && !next_) {
        AVPacket* packet = packet_.get();
        const int read = AVFormatHlpr::av_read_frame(input_.get(), packet);
        // A damaged tail is the run's demuxer's to report: here it only ends the subtitles.
        const bool flushing = read < 0;
        if (flushing) {
            ended_ = true;
            if (!(decoder_->codec->capabilities & AV_CODEC_CAP_DELAY))
                return;
            packet->data = nullptr;
            packet->size = 0;
        } else if (packet->stream_index != stream_) {
            AVCodecHlpr::av_packet_unref(packet);
            continue;
        }
        TSubtitleHold hold;
        int got = 0;
        const int used =
            AVCodecHlpr::avcodec_decode_subtitle2(decoder_.get(), &hold.Subtitle, &got, packet);
        AVCodecHlpr::av_packet_unref(packet);
        if (used < 0)
            throw LibraryFailure(
                StringPrintf("Error while decoding the subtitles to burn in (stream #%d of '%s')",
                             stream_, file_.c_str()),
                used);
        if (got && hold.Subtitle.pts != AV_NOPTS_VALUE)
            next_ = Keep(hold.Subtitle);
    }
}

std::unique_ptr<TBitmapSubtitles::TShown> TBitmapSubtitles::Keep(const AVSubtitle& subtitle) {
    auto shown = std::make_unique<TShown>();
    shown->Serial = ++serials_;
    shown->Start = subtitle.pts + std::int64_t{subtitle.start_display_time} * 1000;
    // No end, or an end before the start: shown until the next subtitle replaces it.
    if (subtitle.end_display_time != UINT32_MAX &&
        subtitle.end_display_time > subtitle.start_display_time)
        shown->End = subtitle.pts + std::int64_t{subtitle.end_display_time} * 1000;
    // Some decoders learn their frame from the stream itself, so it is read per subtitle.
    const bool sized = decoder_->width > 0 && decoder_->height > 0;
    shown->FrameWidth = sized ? decoder_->width : referenceWidth_;
    shown->FrameHeight = sized ? decoder_->height : referenceHeight_;
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        const AVSubtitleRect* rect = subtitle.rects[i];
        if (rect->type != SUBTITLE_BITMAP || rect->w <= 0 || rect->h <= 0 || !rect->data[0] ||
            !rect->data[1])
            continue;
        TRect kept;
        kept.X = rect->x;
        kept.Y = rect->y;
        kept.Width = rect->w;
        kept.Height = rect->h;
        kept.Indexes.resize(static_cast<std::size_t>(rect->w) * rect->h);
        for (int y = 0; y < rect->h; ++y)
            std::memcpy(kept.Indexes.data() + static_cast<std::size_t>(y) * rect->w,
                        rect->data[0] + static_cast<std::ptrdiff_t>(y) * rect->linesize[0],
                        rect->w);
        const int colours = std::clamp(rect->nb_colors, 0, 256);
        kept.Colours.assign(colours, 0);
        std::memcpy(kept.Colours.data(), rect->data[1], colours * sizeof(std::uint32_t));
        shown->Rects.push_back(std::move(kept));
    }
    return shown;
}

void TBitmapSubtitles::SkipTo(std::int64_t time) {
    // A subtitle shown for longer than this before the run's start is rare; one is kept.
    constexpr std::int64_t kLead = 10 * 1000000LL;
    const std::int64_t target = time - kLead;
    if (ended_ || !next_ || next_->Start >= target)
        return;
    if (AVFormatHlpr::avformat_seek_file(input_.get(), -1, INT64_MIN, target, target, 0) < 0)
        return; // read on from here: slower, the same pictures
    AVCodecHlpr::avcodec_flush_buffers(decoder_.get());
    current_.reset();
    next_.reset();
    ReadNext();
}

AVFrame* TBitmapSubtitles::CanvasAt(std::int64_t time) {
    if (!asked_) {
        asked_ = true;
        SkipTo(time);
    }
    for (;;) {
        if (!next_)
            ReadNext();
        if (!next_ || next_->Start > time)
            break;
        current_ = std::move(next_);
    }
    const TShown* shown =
        current_ && !current_->Rects.empty() && time >= current_->Start && time < current_->End
            ? current_.get()
            : nullptr;
    if (drawn_ != (shown ? shown->Serial : 0))
        Draw(shown);
    return canvas_.get();
}

void TBitmapSubtitles::Draw(const TShown* shown) {
    AVFrame* canvas = canvas_.get();
    AVUtilHlpr::av_frame_unref(canvas);
    canvas->format = AV_PIX_FMT_RGBA;
    canvas->width = width_;
    canvas->height = height_;
    const int allocated = AVUtilHlpr::av_frame_get_buffer(canvas, 0);
    if (allocated < 0)
        throw LibraryFailure("Error while burning in subtitles", allocated);
    for (int y = 0; y < height_; ++y)
        std::memset(canvas->data[0] + static_cast<std::ptrdiff_t>(y) * canvas->linesize[0], 0,
                    static_cast<std::size_t>(width_) * 4);
    drawn_ = shown ? shown->Serial : 0;
    if (!shown || shown->FrameWidth <= 0 || shown->FrameHeight <= 0)
        return;
    // Nearest-neighbour from the subtitles' frame onto the picture they are burned into.
    const std::int64_t fw = shown->FrameWidth, fh = shown->FrameHeight;
    for (const TRect& rect : shown->Rects) {
        const int top =
            static_cast<int>(std::max<std::int64_t>(0, std::int64_t{rect.Y} * height_ / fh));
        const int bottom = static_cast<int>(
            std::min<std::int64_t>(height_, (std::int64_t{rect.Y} + rect.Height) * height_ / fh));
        const int left =
            static_cast<int>(std::max<std::int64_t>(0, std::int64_t{rect.X} * width_ / fw));
        const int right = static_cast<int>(
            std::min<std::int64_t>(width_, (std::int64_t{rect.X} + rect.Width) * width_ / fw));
        for (int y = top; y < bottom; ++y) {
            const int sy =
                std::clamp(static_cast<int>(y * fh / height_) - rect.Y, 0, rect.Height - 1);
            std::uint8_t* out =
                canvas->data[0] + static_cast<std::ptrdiff_t>(y) * canvas->linesize[0];
            for (int x = left; x < right; ++x) {
                const int sx =
                    std::clamp(static_cast<int>(x * fw / width_) - rect.X, 0, rect.Width - 1);
                const std::uint8_t index =
                    rect.Indexes[static_cast<std::size_t>(sy) * rect.Width + sx];
                if (index >= rect.Colours.size())
                    continue;
                const std::uint32_t argb = rect.Colours[index];
                std::uint8_t* pixel = out + x * 4;
                pixel[0] = static_cast<std::uint8_t>(argb >> 16);
                pixel[1] = static_cast<std::uint8_t>(argb >> 8);
                pixel[2] = static_cast<std::uint8_t>(argb);
                pixel[3] = static_cast<std::uint8_t>(argb >> 24);
            }
        }
    }
}

} // namespace velto
