#include "LibraryObjects.h"

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "SwScaleHlpr.h"

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

void InputClose::operator()(AVFormatContext* context) const {
    if (AVFormatHlpr::avformat_close_input)
        AVFormatHlpr::avformat_close_input(&context);
}

} // namespace velto
