// The video filter chain of one output stream: a buffer source "src" fed with decoded pictures,
// a scale filter when the sizes differ, the user's graph between "in" and "out", and a buffer sink
// "out" that accepts only the encoder's pixel format.
#include "AVFilterHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "MyUtils.h"

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

void TCustomFFmpeg::ConfigureFilters(TInputStreamState& ist, TOutputStreamState& ost) {
    const TaskSettings& s = Settings;
    if (s.CropTop || s.CropBottom || s.CropLeft || s.CropRight)
        Refuse("Cannot enable crop options and filters at the same time.");
    AVCodecContext* codec = ost.Encoder;
    const AVCodecParameters* input = ist.Stream->codecpar;
    ist.FilterGraph.reset(AVFilterHlpr::avfilter_graph_alloc());
    if (!ist.FilterGraph)
        throw FFMpegException("Error opening filters!");
    AVFilterGraph* graph = ist.FilterGraph.get();

    const AVRational aspect =
        input->sample_aspect_ratio.num ? input->sample_aspect_ratio : AVRational{0, 1};
    // Pictures enter with the stream's current timestamp, in microseconds.
    const std::string sourceArguments =
        StringPrintf("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", input->width,
                     input->height, input->format, AV_TIME_BASE, aspect.num, aspect.den);
    ist.InputFilter = CreateFilter(graph, "buffer", "src", sourceArguments.c_str());
    ist.OutputFilter = CreateFilter(graph, "buffersink", "out", nullptr);
    const AVPixelFormat formats[] = {codec->pix_fmt};
    Check(AVUtilHlpr::av_opt_set_bin(ist.OutputFilter, "pix_fmts",
                                     reinterpret_cast<const std::uint8_t*>(formats), sizeof formats,
                                     AV_OPT_SEARCH_CHILDREN));

    AVFilterContext* tail = ist.InputFilter;
    const int width = codec->width - s.PadLeft - s.PadRight;
    const int height = codec->height - s.PadTop - s.PadBottom;
    if (input->width - s.CropLeft - s.CropRight + s.PadLeft + s.PadRight != codec->width ||
        input->height - s.CropTop - s.CropBottom + s.PadTop + s.PadBottom != codec->height) {
        const std::string arguments = StringPrintf("%d:%d", width, height);
        AVFilterContext* scale = CreateFilter(graph, "scale", "scale", arguments.c_str());
        Check(AVFilterHlpr::avfilter_link(tail, 0, scale, 0));
        tail = scale;
    }

    if (!s.VideoFilters.empty())
        ParseUserGraph(graph, s.VideoFilters, tail, ist.OutputFilter);
    else
        Check(AVFilterHlpr::avfilter_link(tail, 0, ist.OutputFilter, 0));
    Check(AVFilterHlpr::avfilter_graph_config(graph, nullptr));

    const int w = AVFilterHlpr::av_buffersink_get_w(ist.OutputFilter);
    const int h = AVFilterHlpr::av_buffersink_get_h(ist.OutputFilter);
    if ((s.PadTop || s.PadBottom || s.PadLeft || s.PadRight) &&
        (w != s.FrameWidth || h != s.FrameHeight))
        Refuse("Cannot enable pad options and the filters which resize frame at the same "
               "time. (crop, rotate, scale, transpose, etc.)");
    codec->width = w + s.PadLeft + s.PadRight;
    codec->height = h + s.PadTop + s.PadBottom;
    ist.FilteredPicture.reset(AVUtilHlpr::av_frame_alloc());
    CheckAllocated(ist.FilteredPicture.get());
}

} // namespace velto
