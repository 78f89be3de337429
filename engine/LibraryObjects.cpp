#include "LibraryObjects.h"

#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace velto {

void FrameFree::operator()(AVFrame* frame) const {
    if (AVUtilHlpr::av_frame_free)
        AVUtilHlpr::av_frame_free(&frame);
}

void PacketFree::operator()(AVPacket* packet) const {
    if (AVCodecHlpr::av_packet_free)
        AVCodecHlpr::av_packet_free(&packet);
}

void ScalerFree::operator()(SwsContext* context) const {
    if (SwScaleHlpr::sws_freeContext)
        SwScaleHlpr::sws_freeContext(context);
}

void LibraryMemoryFree::operator()(void* memory) const {
    if (AVUtilHlpr::av_free)
        AVUtilHlpr::av_free(memory);
}

void CodecContextFree::operator()(AVCodecContext* context) const {
    if (AVCodecHlpr::avcodec_free_context)
        AVCodecHlpr::avcodec_free_context(&context);
}

void FormatContextFree::operator()(AVFormatContext* context) const {
    if (AVFormatHlpr::avformat_free_context)
        AVFormatHlpr::avformat_free_context(context);
}

void BitstreamFilterFree::operator()(AVBSFContext* filter) const {
    if (AVCodecHlpr::av_bsf_free)
        AVCodecHlpr::av_bsf_free(&filter);
}

void ResamplerFree::operator()(SwrContext* context) const {
    if (SwResampleHlpr::swr_free)
        SwResampleHlpr::swr_free(&context);
}

void FilterGraphFree::operator()(AVFilterGraph* graph) const {
    if (AVFilterHlpr::avfilter_graph_free)
        AVFilterHlpr::avfilter_graph_free(&graph);
}

void AudioFifoFree::operator()(AVAudioFifo* fifo) const {
    if (AVUtilHlpr::av_audio_fifo_free)
        AVUtilHlpr::av_audio_fifo_free(fifo);
}

void DictionaryFree::operator()(AVDictionary* dictionary) const {
    if (AVUtilHlpr::av_dict_free)
        AVUtilHlpr::av_dict_free(&dictionary);
}

void InputClose::operator()(AVFormatContext* context) const {
    if (AVFormatHlpr::avformat_close_input)
        AVFormatHlpr::avformat_close_input(&context);
}

void OutputClose::operator()(AVFormatContext* context) const {
    if (!AVFormatHlpr::avformat_free_context)
        return;
    if (context->pb && !(context->oformat && (context->oformat->flags & AVFMT_NOFILE)))
        AVFormatHlpr::avio_closep(&context->pb);
    AVFormatHlpr::avformat_free_context(context);
}

} // namespace velto
