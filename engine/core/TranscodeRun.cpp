#include "TranscodeRun.h"

#include <algorithm>
#include <mutex>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "CodecLock.h"
#include "FFmpeg.h"

namespace velto {

namespace {

void Remove(std::vector<AVCodecContext*>& list, AVCodecContext* context) {
    list.erase(std::remove(list.begin(), list.end(), context), list.end());
}

} // namespace

TTranscodeRun::~TTranscodeRun() {
    CloseCodecs();
}

void TTranscodeRun::PreProcessPicture(int inputStream, AVFrame* picture) {
    task_.PreProcessPicture(inputStream, picture);
}

void TTranscodeRun::Deliver(int inputStream, AVPacket* packet, AVFrame* frame,
                            AVSubtitle* subtitle) {
    task_.ServeOutputs(inputStream, packet, frame, subtitle);
}

void TTranscodeRun::EndOfStream(int inputStream) {
    task_.EndOfStream(inputStream);
}

void TTranscodeRun::Opened(AVCodecContext* codec, bool encoder) {
    (encoder ? openEncoders_ : openDecoders_).push_back(codec);
}

void TTranscodeRun::CloseEncoder(AVCodecContext* encoder) {
    AVUtilHlpr::av_freep(&encoder->stats_in);
    std::lock_guard lock(CodecLock());
    AVCodecHlpr::avcodec_close(encoder);
    Remove(openEncoders_, encoder);
}

void TTranscodeRun::CloseDecoder(AVCodecContext* decoder) {
    std::lock_guard lock(CodecLock());
    AVCodecHlpr::avcodec_close(decoder);
    Remove(openDecoders_, decoder);
}

void TTranscodeRun::CloseCodecs() {
    while (!openEncoders_.empty())
        CloseEncoder(openEncoders_.front());
    while (!openDecoders_.empty())
        CloseDecoder(openDecoders_.front());
}

} // namespace velto
