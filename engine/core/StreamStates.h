// The run's record of each input and output stream, built by the transcode set-up on top of the
// file records and shared by the stages of the run (TranscodeRun.h). The library objects here are
// owned by type and go with the records; nothing here owns a codec context (those belong to the
// file records and are tracked by the run while they are open).
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "FilterChain.h"
#include "TaskSettings.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace velto {

struct TOutputStreamSetup;

// What an encoder reported about the last packet it produced (its quality statistics), read by
// the report and the video statistics file.
struct TCodedFrame {
    int Quality = 0; // lambda: FF_QP2LAMBDA per quantiser step
    int PictureType = AV_PICTURE_TYPE_NONE;
    std::int64_t Error[4] = {}; // squared error per plane, when the encoder computes PSNR
};

// One stream of an input file during a run. Timestamps are microseconds.
struct TInputStreamState {
    int FileIndex = 0;
    int StreamIndex = 0;
    AVStream* Stream = nullptr;        // not owned
    AVCodecContext* Decoder = nullptr; // the input record's decoder context, not owned
    int Discard = 1;                   // no output stream is fed from this stream (yet)
    int DecodingNeeded = 0;
    int RateEmulation = 0;
    std::int64_t RateEmulationStart = 0;
    int RateEmulationFrames = 0;
    std::int64_t NextPts = AV_NOPTS_VALUE;
    std::int64_t Pts = 0;
    int IsStart = 1;             // cleared once audio drift handling has adjusted the stream
    bool DecoderDrained = false; // the decoder returned end of stream
    float Quality = 0.0f;        // quality of the last decoded picture (same-quality encoding)

    std::unique_ptr<TFilterChain> Filters; // video with the filter chain only
};

// One stream of an output file during a run.
struct TOutputStreamState {
    int FileIndex = 0;
    int Index = 0;                       // stream index within the output file
    int SourceIndex = 0;                 // entry of the input stream table
    AVStream* Stream = nullptr;          // not owned
    AVCodecContext* Encoder = nullptr;   // the output record's encoder context, not owned
    TOutputStreamSetup* Setup = nullptr; // the output record (copy flag, filters), not owned
    int EncodingNeeded = 0;
    std::int32_t FrameNumber = 0;
    int SyncIndex = 0;         // entry of the input stream table the stream syncs to
    std::int64_t SyncOpts = 0; // video: next frame index (encoder time base); audio: samples
    // End of the last packet written, in the stream's time base (the stream's output time).
    std::int64_t LastPts = AV_NOPTS_VALUE;

    // Video.
    int VideoResample = 0;
    OwnedFrame TempPicture; // owns its pixel buffer
    OwnedScaler ImageResampler;
    // A picture whose size or format is not the stream's (a decoder that cannot crop to an
    // odd offset, a size change midway) is brought to the stream's first.
    OwnedFrame AdaptedPicture;
    OwnedScaler PictureAdapter;
    int ResampleHeight = 0;
    int VideoCrop = 0;
    int TopBand = 0;
    int LeftBand = 0;
    int VideoPad = 0;
    int PadTop = 0;
    int PadBottom = 0;
    int PadLeft = 0;
    int PadRight = 0;

    // Audio.
    int AudioResample = 0;
    OwnedResampler Resampler;
    int ReformatPair = -6; // encoder format + 5 x decoder format; -6 means none
    OwnedResampler Reformatter;
    OwnedAudioFifo Fifo;
    int ResampleInRate = 0; // input rate and channel count the resampler was made for
    int ResampleInChannels = 0;
    std::int64_t AudioNextPts = AV_NOPTS_VALUE; // encoder time base: end of the last frame sent
    OwnedFrame AudioFrame;      // the encoder's input frame, its buffer reused frame by frame
    int AudioFrameCapacity = 0; // samples its buffer holds
    TCodedFrame Coded;

    HelperFilePtr LogFile; // two-pass log, open in the first pass only
};

// The time base a copied stream gets from its input: the decoder's when the container's is finer
// than it and finer than a millisecond, the container's otherwise.
AVRational CopyTimeBase(AVRational streamTimeBase, AVRational decoderTimeBase);

// Keeps the quality statistics side data of an encoded packet in ost.Coded.
void NoteCodedFrame(TOutputStreamState& ost, const AVPacket* packet);

// Scales decoded samples of any sample format by volume / 256 (the frame must be writable).
void ApplyVolume(AVFrame* frame, int volume);

} // namespace velto
