// The video filter chain of one output stream: a buffer source "src" fed with decoded pictures,
// a scale filter when the sizes differ, the user's graph between "in" and "out", and a buffer sink
// "out" that accepts only the encoder's pixel format.
#include "AVFilterHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "MyUtils.h"

namespace velto {

namespace {

struct InOutDeleter {
    void operator()(AVFilterInOut* list) const { AVFilterHlpr::avfilter_inout_free(&list); }
};

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

int TCustomFFmpeg::ConfigureFilters(TInputStreamState& ist, TOutputStreamState& ost) {
    const TaskSettings& s = Settings;
    if (s.CropTop || s.CropBottom || s.CropLeft || s.CropRight) {
        FilterError = "Cannot enable crop options and filters at the same time.";
        return -1;
    }
    AVCodecContext* codec = ost.Encoder;
    const AVCodecParameters* input = ist.Stream->codecpar;
    ist.FilterGraph.reset(AVFilterHlpr::avfilter_graph_alloc());
    if (!ist.FilterGraph)
        return -1;

    const AVRational aspect =
        input->sample_aspect_ratio.num ? input->sample_aspect_ratio : AVRational{0, 1};
    // Pictures enter with the stream's current timestamp, in microseconds.
    const std::string sourceArguments =
        StringPrintf("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", input->width,
                     input->height, input->format, AV_TIME_BASE, aspect.num, aspect.den);
    if (AVFilterHlpr::avfilter_graph_create_filter(
            &ist.InputFilter, AVFilterHlpr::avfilter_get_by_name("buffer"), "src",
            sourceArguments.c_str(), nullptr, ist.FilterGraph.get()) < 0)
        return -1;
    if (AVFilterHlpr::avfilter_graph_create_filter(
            &ist.OutputFilter, AVFilterHlpr::avfilter_get_by_name("buffersink"), "out", nullptr,
            nullptr, ist.FilterGraph.get()) < 0)
        return -1;
    const AVPixelFormat formats[] = {codec->pix_fmt};
    if (AVUtilHlpr::av_opt_set_bin(ist.OutputFilter, "pix_fmts",
                                   reinterpret_cast<const std::uint8_t*>(formats), sizeof formats,
                                   AV_OPT_SEARCH_CHILDREN) < 0)
        return -1;

    AVFilterContext* tail = ist.InputFilter;
    const int width = codec->width - s.PadLeft - s.PadRight;
    const int height = codec->height - s.PadTop - s.PadBottom;
    if (input->width - s.CropLeft - s.CropRight + s.PadLeft + s.PadRight != codec->width ||
        input->height - s.CropTop - s.CropBottom + s.PadTop + s.PadBottom != codec->height) {
        AVFilterContext* scale = nullptr;
        const std::string arguments = StringPrintf("%d:%d", width, height);
        if (AVFilterHlpr::avfilter_graph_create_filter(
                &scale, AVFilterHlpr::avfilter_get_by_name("scale"), "scale", arguments.c_str(),
                nullptr, ist.FilterGraph.get()) < 0 ||
            AVFilterHlpr::avfilter_link(tail, 0, scale, 0) < 0)
            return -1;
        tail = scale;
    }

    if (!s.VideoFilters.empty()) {
        std::unique_ptr<AVFilterInOut, InOutDeleter> outputs(Label("in", tail));
        std::unique_ptr<AVFilterInOut, InOutDeleter> inputs(Label("out", ist.OutputFilter));
        if (!outputs || !inputs)
            return -1;
        AVFilterInOut* openInputs = inputs.release();
        AVFilterInOut* openOutputs = outputs.release();
        const int parsed = AVFilterHlpr::avfilter_graph_parse_ptr(
            ist.FilterGraph.get(), s.VideoFilters.c_str(), &openInputs, &openOutputs, nullptr);
        AVFilterHlpr::avfilter_inout_free(&openInputs);
        AVFilterHlpr::avfilter_inout_free(&openOutputs);
        if (parsed < 0)
            return -1;
    } else if (AVFilterHlpr::avfilter_link(tail, 0, ist.OutputFilter, 0) < 0) {
        return -1;
    }
    if (AVFilterHlpr::avfilter_graph_config(ist.FilterGraph.get(), nullptr) < 0)
        return -1;

    const int w = AVFilterHlpr::av_buffersink_get_w(ist.OutputFilter);
    const int h = AVFilterHlpr::av_buffersink_get_h(ist.OutputFilter);
    if ((s.PadTop || s.PadBottom || s.PadLeft || s.PadRight) &&
        (w != s.FrameWidth || h != s.FrameHeight)) {
        FilterError = "Cannot enable pad options and the filters which resize frame at the same "
                      "time. (crop, rotate, scale, transpose, etc.)";
        return -1;
    }
    codec->width = w + s.PadLeft + s.PadRight;
    codec->height = h + s.PadTop + s.PadBottom;
    ist.FilteredPicture.reset(AVUtilHlpr::av_frame_alloc());
    return ist.FilteredPicture ? 0 : -1;
}

} // namespace velto
