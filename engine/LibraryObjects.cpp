#include "LibraryObjects.h"

namespace velto {

void OutputClose::operator()(AVFormatContext* context) const {
    if (!AVFormatHlpr::avformat_free_context)
        return;
    if (context->pb && !(context->oformat && (context->oformat->flags & AVFMT_NOFILE)))
        AVFormatHlpr::avio_closep(&context->pb);
    AVFormatHlpr::avformat_free_context(context);
}

void CodecContextFree::operator()(AVCodecContext* context) const {
    if (!AVCodecHlpr::avcodec_free_context)
        return;
    if (AVUtilHlpr::av_freep)
        AVUtilHlpr::av_freep(&context->stats_in);
    AVCodecHlpr::avcodec_free_context(&context);
}

} // namespace velto
