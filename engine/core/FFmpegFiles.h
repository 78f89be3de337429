// Per-run file tables of a task: the opened inputs and the created outputs, with a set-up record
// per stream. The input and output set-up fill these records; the transcode set-up reads them,
// opens the codec contexts they hold (under CodecLock) and builds its own per-run state on top.
//
// Ownership: everything here belongs to the task and is owned by type. TCustomFFmpeg::ReleaseFiles
// (called by the task's destructor and its clean-up) drops, in this order, the stream records
// (their codec contexts and bitstream filters), then each output (its open file and context),
// then each input's context: streams refer into the containers, so they go first. Whoever opens a
// codec context held here must close it before the release (avcodec_free_context also closes an
// open context, so a missed close does not leak).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TaskSettings.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace velto {

// Decoder settings of one input stream, made at input set-up.
struct TInputStreamSetup {
    // Decoder context filled from the stream's codec parameters, with the generic decoder options
    // and the thread count applied. Configured, not opened.
    CodecContextPtr CodecContext;
    int RateEmulation = 0; // read input at its native frame rate ("re")
};

// One opened input file.
struct TInputFile {
    OwnedInput Context;
    std::int64_t TimestampOffset = 0;       // microseconds
    std::int64_t StartSkipped = 0;          // microseconds of the file before its start time
    std::vector<TInputStreamSetup> Streams; // index = AVStream index in Context
};

// Encoder settings of one output stream, made by NewVideoStream/NewAudioStream/NewSubtitleStream.
struct TOutputStreamSetup {
    // Encoder settings: codec_type, codec_id, codec_tag, flags, time_base/framerate, picture or
    // audio parameters, rate control (rc_override is av_malloc'ed and freed with the context).
    // Configured, not opened; unused (but present) when StreamCopy is set.
    CodecContextPtr CodecContext;
    const AVCodec* Encoder = nullptr;       // looked up by codec id; may be null (no such encoder)
    bool StreamCopy = false;                // copy packets from the mapped input stream
    TBitstreamFilterChain BitstreamFilters; // applied to this stream's packets, in order
    float Quality = 0.0f; // fixed-quantiser quality (118 per quantiser step), 0 when unset
};

// One created output file.
struct TOutputFile {
    OwnedOutput Context;
    std::vector<TOutputStreamSetup> Streams; // index = AVStream index in Context
    // The hidden file the run writes before it is renamed over Context->url; empty when the run
    // has not opened one or has renamed it. The clean-up removes a file still named here.
    std::string TempName;
    // The output's own name while the run writes under TempName (Context->url); empty before.
    std::string FinalName;
    std::int64_t ClosedSize = -1; // bytes written, once the run has closed the file
};

} // namespace velto
