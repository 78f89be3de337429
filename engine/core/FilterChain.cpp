#include "FilterChain.h"

#include "AVFilterHlpr.h"
#include "AVUtilHlpr.h"
#include "BitmapSubtitles.h"
#include "FFmpeg.h"
#include "MyUtils.h"

#include <cctype>

namespace velto {

namespace {

AVFilterInOut* Label(const char* name, AVFilterContext* filter) {
    AVFilterInOut* entry = AVFilterHlpr::avfilter_inout_alloc();
    if (!entry)
        return nullptr;
    entry->name = AVUtilHlpr::av_strdup(name);
    entry->filter_ctx = filter;
    entry->pad_idx = 0;
    entry->next = nullptr;
    return entry;
}

} // namespace

namespace {

constexpr const char* kFiltersFailed = "Error opening filters";

// A failed filter call ends the set-up with the library's reason.
void Check(int code) {
    if (code < 0)
        throw LibraryFailure(kFiltersFailed, code);
}

void CheckAllocated(const void* object) {
    if (!object)
        throw LibraryFailure(kFiltersFailed, AVERROR(ENOMEM));
}

[[noreturn]] void Refuse(const std::string& reason) {
    throw FFMpegException(std::string(kFiltersFailed) + ": " + reason);
}

AVFilterContext* CreateFilter(AVFilterGraph* graph, const char* filter, const char* name,
                              const char* arguments) {
    AVFilterContext* context = nullptr;
    Check(AVFilterHlpr::avfilter_graph_create_filter(
        &context, AVFilterHlpr::avfilter_get_by_name(filter), name, arguments, nullptr, graph));
    return context;
}

// The user's graph between the labels "in" (after tail) and "out" (the sink).
void ParseUserGraph(AVFilterGraph* graph, const std::string& text, AVFilterContext* tail,
                    AVFilterContext* sink) {
    OwnedFilterInOut outputs(Label("in", tail));
    OwnedFilterInOut inputs(Label("out", sink));
    CheckAllocated(outputs.get());
    CheckAllocated(inputs.get());
    AVFilterInOut* openInputs = inputs.release();
    AVFilterInOut* openOutputs = outputs.release();
    const int parsed = AVFilterHlpr::avfilter_graph_parse_ptr(graph, text.c_str(), &openInputs,
                                                              &openOutputs, nullptr);
    AVFilterHlpr::avfilter_inout_free(&openInputs);
    AVFilterHlpr::avfilter_inout_free(&openOutputs);
    Check(parsed);
}

} // namespace

namespace {

// Appends a filter after tail and returns it as the new tail.
AVFilterContext* Append(AVFilterGraph* graph, AVFilterContext* tail, const char* filter,
                        const char* name, const std::string& arguments) {
    AVFilterContext* next =
        CreateFilter(graph, filter, name, arguments.empty() ? nullptr : arguments.c_str());
    Check(AVFilterHlpr::avfilter_link(tail, 0, next, 0));
    return next;
}

// Turns the picture as players show it; transposing also swaps its sides.
AVFilterContext* AppendRotation(AVFilterGraph* graph, AVFilterContext* tail, int rotation) {
    switch (rotation) {
    case 90:
        return Append(graph, tail, "transpose", "rotate", "dir=clock");
    case 180:
        tail = Append(graph, tail, "hflip", "rotate_h", "");
        return Append(graph, tail, "vflip", "rotate_v", "");
    case 270:
        return Append(graph, tail, "transpose", "rotate", "dir=cclock");
    default:
        return tail;
    }
}

const char* ZscaleTransferName(int transfer) {
    return transfer == AVCOL_TRC_ARIB_STD_B67 ? "arib-std-b67" : "smpte2084";
}

// Resizes into linear light, maps the highlights down with Hable's curve and comes back as
// BT.709-style SDR in the output's matrix.
AVFilterContext* AppendToneMap(AVFilterGraph* graph, AVFilterContext* tail,
                               const AVCodecParameters* input, int width, int height,
                               const TColourTags& output) {
    const std::string linear =
        StringPrintf("w=%d:h=%d:tin=%s:pin=bt2020:min=bt2020nc:rin=%s:t=linear:npl=100", width,
                     height, ZscaleTransferName(input->color_trc),
                     SourceRange(input) == AVCOL_RANGE_JPEG ? "full" : "limited");
    tail = Append(graph, tail, "zscale", "tonemap_linear", linear);
    tail = Append(graph, tail, "format", "tonemap_float", "pix_fmts=gbrpf32le");
    tail = Append(graph, tail, "zscale", "tonemap_primaries",
                  StringPrintf("p=%s", ZscalePrimariesName(output.Primaries)));
    tail = Append(graph, tail, "tonemap", "tonemap", "tonemap=hable:desat=0");
    return Append(graph, tail, "zscale", "tonemap_sdr",
                  StringPrintf("t=bt709:m=%s:r=%s", ZscaleMatrixName(output.Matrix),
                               output.Range == AVCOL_RANGE_JPEG ? "full" : "limited"));
}

const char* ScaleRangeName(AVColorRange range) {
    return range == AVCOL_RANGE_JPEG ? "pc" : "tv";
}

} // namespace

TFilterChain::TFilterChain() = default;
TFilterChain::~TFilterChain() = default;

void TFilterChain::Configure(const TaskSettings& s, const AVCodecParameters* input,
                             AVCodecContext* codec, const TPictureSteps& steps) {
    if (s.CropTop || s.CropBottom || s.CropLeft || s.CropRight)
        Refuse("Cannot enable crop options and filters at the same time.");
    graph_.reset(AVFilterHlpr::avfilter_graph_alloc());
    if (!graph_)
        throw FFMpegException("Error opening filters!");
    AVFilterGraph* graph = graph_.get();

    const AVRational aspect =
        input->sample_aspect_ratio.num ? input->sample_aspect_ratio : AVRational{0, 1};
    // Pictures enter with the stream's current timestamp, in microseconds.
    const std::string sourceArguments =
        StringPrintf("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", input->width,
                     input->height, input->format, AV_TIME_BASE, aspect.num, aspect.den);
    source_ = CreateFilter(graph, "buffer", "src", sourceArguments.c_str());
    sink_ = CreateFilter(graph, "buffersink", "out", nullptr);
    const AVPixelFormat formats[] = {codec->pix_fmt};
    Check(AVUtilHlpr::av_opt_set_bin(sink_, "pix_fmts",
                                     reinterpret_cast<const std::uint8_t*>(formats), sizeof formats,
                                     AV_OPT_SEARCH_CHILDREN));

    AVFilterContext* tail = AppendRotation(graph, source_, steps.Rotation);
    const bool sidesSwapped = steps.Rotation == 90 || steps.Rotation == 270;
    const int turnedWidth = sidesSwapped ? input->height : input->width;
    const int turnedHeight = sidesSwapped ? input->width : input->height;
    const int width = codec->width - s.PadLeft - s.PadRight;
    const int height = codec->height - s.PadTop - s.PadBottom;
    const AVColorSpace sourceMatrix = SourceMatrix(input);
    const bool matrixChanges =
        steps.Output.Matrix != AVCOL_SPC_UNSPECIFIED &&
        std::string(ScaleMatrixName(sourceMatrix)) != ScaleMatrixName(steps.Output.Matrix);
    if (steps.ToneMap) {
        tail = AppendToneMap(graph, tail, input, width, height, steps.Output);
    } else if (turnedWidth + s.PadLeft + s.PadRight != codec->width ||
               turnedHeight + s.PadTop + s.PadBottom != codec->height || matrixChanges) {
        std::string arguments = StringPrintf("w=%d:h=%d", width, height);
        if (steps.Output.Matrix != AVCOL_SPC_UNSPECIFIED)
            arguments += StringPrintf(
                ":in_color_matrix=%s:out_color_matrix=%s:in_range=%s:out_range=%s",
                ScaleMatrixName(sourceMatrix), ScaleMatrixName(steps.Output.Matrix),
                ScaleRangeName(SourceRange(input)), ScaleRangeName(steps.Output.Range));
        tail = Append(graph, tail, "scale", "scale", arguments);
    }

    encoderFormat_ = codec->pix_fmt;
    tail = AppendBurnIn(tail, width, height, turnedWidth, turnedHeight);

    if (!s.VideoFilters.empty())
        ParseUserGraph(graph, s.VideoFilters, tail, sink_);
    else
        Check(AVFilterHlpr::avfilter_link(tail, 0, sink_, 0));
    Check(AVFilterHlpr::avfilter_graph_config(graph, nullptr));

    const int w = AVFilterHlpr::av_buffersink_get_w(sink_);
    const int h = AVFilterHlpr::av_buffersink_get_h(sink_);
    if ((s.PadTop || s.PadBottom || s.PadLeft || s.PadRight) &&
        (w != s.FrameWidth || h != s.FrameHeight))
        Refuse("Cannot enable pad options and the filters which resize frame at the same "
               "time. (crop, rotate, scale, transpose, etc.)");
    codec->width = w + s.PadLeft + s.PadRight;
    codec->height = h + s.PadTop + s.PadBottom;
    picture_.reset(AVUtilHlpr::av_frame_alloc());
    CheckAllocated(picture_.get());
}

namespace {

// A filter option value as the option parser reads it back: every character that is not
// plainly safe goes behind a backslash, so any file name survives.
std::string OptionValue(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (!(std::isalnum(u) || c == '/' || c == '.' || c == '_' || c == '-'))
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// The overlay blends in the encoder's layout: left to choose, it may pull the film through
// a format with alpha or RGB and back, which shifts every pixel a little.
std::string OverlayFormat(AVPixelFormat encoder) {
    const AVPixFmtDescriptor* layout = AVUtilHlpr::av_pix_fmt_desc_get(encoder);
    if (!layout)
        return "format=yuv420";
    if (layout->flags & AV_PIX_FMT_FLAG_RGB)
        return "format=gbrp";
    // This generation blends ten bits in 4:2:0 and 4:2:2 only.
    const char* depth = layout->comp[0].depth > 8 ? "p10" : "";
    if (layout->log2_chroma_w == 1 && layout->log2_chroma_h == 1)
        return std::string("format=yuv420") + depth;
    if (layout->log2_chroma_w == 1)
        return std::string("format=yuv422") + depth;
    return "format=yuv444";
}

} // namespace

void TFilterChain::BurnSubtitles(std::string file, int index, std::int64_t offset) {
    burnFile_ = std::move(file);
    burnIndex_ = index;
    burnOffset_ = offset;
    burnStream_ = -1;
}

void TFilterChain::BurnBitmapSubtitles(std::string file, int stream, std::int64_t offset) {
    burnFile_ = std::move(file);
    burnStream_ = stream;
    burnOffset_ = offset;
}

// The subtitle pictures come as canvases of this picture's size, one pushed with every
// picture and at its time, so the overlay never waits for a subtitle that is not due.
AVFilterContext* TFilterChain::AppendBitmapBurnIn(AVFilterContext* tail, int width, int height,
                                                  int frameWidth, int frameHeight) {
    bitmaps_ = std::make_unique<TBitmapSubtitles>(burnFile_, burnStream_, width, height, frameWidth,
                                                  frameHeight);
    AVFilterGraph* graph = graph_.get();
    canvasSource_ =
        CreateFilter(graph, "buffer", "burn_canvas",
                     StringPrintf("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=1/1",
                                  width, height, AV_PIX_FMT_RGBA, AV_TIME_BASE)
                         .c_str());
    AVFilterContext* overlay =
        CreateFilter(graph, "overlay", "burn_in", OverlayFormat(encoderFormat_).c_str());
    Check(AVFilterHlpr::avfilter_link(tail, 0, overlay, 0));
    Check(AVFilterHlpr::avfilter_link(canvasSource_, 0, overlay, 1));
    return overlay;
}

AVFilterContext* TFilterChain::AppendBurnIn(AVFilterContext* tail, int width, int height,
                                            int frameWidth, int frameHeight) {
    if (burnFile_.empty())
        return tail;
    if (burnStream_ >= 0)
        return AppendBitmapBurnIn(tail, width, height, frameWidth, frameHeight);
    AVFilterGraph* graph = graph_.get();
    const auto append = [&](const char* filter, const char* name, const std::string& arguments) {
        if (!AVFilterHlpr::avfilter_get_by_name(filter))
            Refuse(StringPrintf("this build has no '%s' filter", filter));
        AVFilterContext* next = CreateFilter(graph, filter, name, arguments.c_str());
        Check(AVFilterHlpr::avfilter_link(tail, 0, next, 0));
        tail = next;
    };
    // The cues are timed by the file's clock; the run's clock starts where the source does.
    const long long shift = -static_cast<long long>(burnOffset_);
    if (shift != 0)
        append("setpts", "burn_clock", StringPrintf("expr=PTS%+lld", shift));
    append("subtitles", "burn_in",
           "filename=" + OptionValue(burnFile_) + ":stream_index=" + std::to_string(burnIndex_));
    if (shift != 0)
        append("setpts", "run_clock", StringPrintf("expr=PTS%+lld", -shift));
    return tail;
}

bool TFilterChain::Push(AVFrame* picture) {
    if (canvasSource_ && !picture) {
        // Closing ends the canvases with the film; a second close is refused and harmless.
        [[maybe_unused]] const int closed =
            AVFilterHlpr::av_buffersrc_add_frame_flags(canvasSource_, nullptr, 0);
    } else if (canvasSource_) {
        // The subtitles run on the file's clock, as the text burn-in's do.
        AVFrame* canvas = bitmaps_->CanvasAt(picture->pts - burnOffset_);
        canvas->pts = picture->pts;
        const int added = AVFilterHlpr::av_buffersrc_add_frame_flags(canvasSource_, canvas,
                                                                     AV_BUFFERSRC_FLAG_KEEP_REF);
        if (added < 0)
            throw LibraryFailure("Error while burning in subtitles", added);
    }
    return AVFilterHlpr::av_buffersrc_add_frame_flags(
               source_, picture, picture ? AV_BUFFERSRC_FLAG_KEEP_REF : 0) >= 0;
}

AVFrame* TFilterChain::Pull() {
    AVUtilHlpr::av_frame_unref(picture_.get());
    if (AVFilterHlpr::av_buffersink_get_frame(sink_, picture_.get()) < 0)
        return nullptr;
    return picture_.get();
}

} // namespace velto
