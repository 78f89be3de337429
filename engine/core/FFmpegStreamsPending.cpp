// Placeholder definitions so that the engine links before the output set-up exists. The output
// set-up defines these three in FFmpegOutput.cpp and deletes this file in the same commit.
#include "FFmpeg.h"

namespace velto {

void TCustomFFmpeg::NewVideoStream(AVFormatContext*) {
    throw FFMpegException("Could not alloc stream");
}

void TCustomFFmpeg::NewAudioStream(AVFormatContext*) {
    throw FFMpegException("Could not alloc stream");
}

void TCustomFFmpeg::NewSubtitleStream(AVFormatContext*) {
    throw FFMpegException("Could not alloc stream");
}

} // namespace velto
