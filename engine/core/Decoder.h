// The decoder stage of a run: opens the decoders of the input streams that feed an encoder,
// decodes (or, for stream copies, times) each packet and hands pictures, sound and subtitles to
// the run, which serves the output streams.
#pragma once

#include "LibraryObjects.h"

namespace velto {

class TCustomFFmpeg;
class TTranscodeRun;
struct TInputStreamState;

// The time base the decoder works in: one frame for video, one sample for audio. The demuxer no
// longer fills the decoder's own field, so it is derived from the stream.
AVRational DecoderTimeBase(const TInputStreamState& ist);

class TDecoder {
public:
    TDecoder(TCustomFFmpeg& task, TTranscodeRun& run) : task_(task), run_(run) {}

    // The frame every decoded picture or block of sound passes through; false without memory.
    bool AllocateFrame();
    // Opens the decoder of every input stream that needs decoding (under the codec lock).
    void Open();
    // Decodes (or, with packet null, drains) one input stream and hands what comes out to the
    // run; raises TDecodeFailure for what the decoder refuses.
    void Decode(int inputStream, AVPacket* packet);
    AVRational FrameTimeBase(int inputStream) const;

private:
    void AdvanceCopyTimestamp(int inputStream, const AVPacket* packet);
    void DecodeFrames(int inputStream, AVPacket* packet);
    void DecodeSubtitle(int inputStream, AVPacket* packet);
    void EmulateRate(TInputStreamState& ist);

    TCustomFFmpeg& task_;
    TTranscodeRun& run_;
    OwnedFrame frame_; // reused for every frame, so that the packet path allocates nothing
};

} // namespace velto
