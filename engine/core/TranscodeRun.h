// The task's run: made by Transcode on the task's worker thread, dropped when the run ends or its
// set-up fails. It owns the stages (demuxer, decoder, encoder, muxer) and what they share: the
// stream tables built on top of the task's file records, the codec contexts open now, the scratch
// objects of the packet path and the counters the report reads. The stages talk through the run.
#pragma once

#include <cstdint>
#include <vector>

#include "Decoder.h"
#include "Demuxer.h"
#include "Encoder.h"
#include "Muxer.h"
#include "StreamStates.h"

namespace velto {

class TCustomFFmpeg;

// Counters and times of the run, read by the report.
struct TRunCounters {
    std::int64_t StartTime = 0;      // microseconds, system clock
    std::int64_t LastReportTime = 0; // microseconds, system clock
    std::int64_t VideoSize = 0;      // bytes
    std::int64_t AudioSize = 0;
    std::int64_t ExtraSize = 0; // global headers
    int DuplicateFrames = 0;
    int DroppedFrames = 0;
    int HookFrameNumber = 0; // decoded video pictures that reached the hook stage
};

class TTranscodeRun {
public:
    explicit TTranscodeRun(TCustomFFmpeg& task)
        : Demuxer(task, *this), Decoder(task, *this), Encoder(task, *this), Muxer(task, *this),
          task_(task) {}
    TTranscodeRun(const TTranscodeRun&) = delete;
    TTranscodeRun& operator=(const TTranscodeRun&) = delete;
    // Closes the codecs the run left open (a failed or stopped run).
    ~TTranscodeRun();

    // Codec contexts of the file records opened by this run, closed (under the codec lock) by
    // the run; an encoder also loses its two-pass statistics.
    void Opened(AVCodecContext* codec, bool encoder);
    void CloseEncoder(AVCodecContext* encoder);
    void CloseDecoder(AVCodecContext* decoder);
    void CloseCodecs();

    // What the decoder hands on, routed to the task's output paths: a decoded picture before
    // the hooks, what an input stream delivers (a packet to copy, or a frame or subtitle it
    // decoded), and the end of an input stream (filters and encoders give up what they hold).
    void PreProcessPicture(int inputStream, AVFrame* picture);
    void Deliver(int inputStream, AVPacket* packet, AVFrame* frame, AVSubtitle* subtitle);
    void EndOfStream(int inputStream);

    TDemuxer Demuxer;
    TDecoder Decoder;
    TEncoder Encoder;
    TMuxer Muxer;
    std::vector<TInputStreamState> InputStreams;
    std::vector<TOutputStreamState> OutputStreams;
    TRunCounters Counters;
    // Scratch objects reused for every packet, so that the packet path allocates nothing.
    OwnedPacket CopyPacket; // output packet of a stream copy
    // Audio scratch kept between blocks: a block behind inserted silence, the resampler output.
    std::vector<std::uint8_t> AudioBlockBuffer;
    std::vector<std::uint8_t> AudioResampleBuffer;

private:
    TCustomFFmpeg& task_;
    std::vector<AVCodecContext*> openEncoders_;
    std::vector<AVCodecContext*> openDecoders_;
};

} // namespace velto
