// Owners of media-library objects and buffers: each frees through the binding units when it goes,
// so that no path (early return, exception, reset) can leak or free twice.
#pragma once

#include <cstdint>
#include <memory>

struct AVAudioFifo;
struct AVBSFContext;
struct AVCodecContext;
struct AVDictionary;
struct AVFilterGraph;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct SwsContext;

namespace velto {

// The deleters do nothing once the library that made the object is unbound: its code is gone and
// the object with it.
struct FrameFree {
    void operator()(AVFrame* frame) const;
};
struct PacketFree {
    void operator()(AVPacket* packet) const;
};
struct ScalerFree {
    void operator()(SwsContext* context) const;
};
struct LibraryMemoryFree {
    void operator()(void* memory) const;
};
struct CodecContextFree {
    void operator()(AVCodecContext* context) const;
};
// Frees a container context that has no open file (avformat_free_context).
struct FormatContextFree {
    void operator()(AVFormatContext* context) const;
};
struct BitstreamFilterFree {
    void operator()(AVBSFContext* filter) const;
};
struct ResamplerFree {
    void operator()(SwrContext* context) const;
};
struct FilterGraphFree {
    void operator()(AVFilterGraph* graph) const;
};
struct AudioFifoFree {
    void operator()(AVAudioFifo* fifo) const;
};
struct DictionaryFree {
    void operator()(AVDictionary* dictionary) const;
};
// Closes a container opened for reading (avformat_open_input).
struct InputClose {
    void operator()(AVFormatContext* context) const;
};
// Closes an output container's file, unless the format writes none, and frees the context.
struct OutputClose {
    void operator()(AVFormatContext* context) const;
};

using OwnedFrame = std::unique_ptr<AVFrame, FrameFree>;
using OwnedPacket = std::unique_ptr<AVPacket, PacketFree>;
using OwnedScaler = std::unique_ptr<SwsContext, ScalerFree>;
using OwnedBuffer = std::unique_ptr<std::uint8_t[], LibraryMemoryFree>;
using OwnedCodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using OwnedFormatContext = std::unique_ptr<AVFormatContext, FormatContextFree>;
using OwnedBitstreamFilter = std::unique_ptr<AVBSFContext, BitstreamFilterFree>;
using OwnedResampler = std::unique_ptr<SwrContext, ResamplerFree>;
using OwnedFilterGraph = std::unique_ptr<AVFilterGraph, FilterGraphFree>;
using OwnedAudioFifo = std::unique_ptr<AVAudioFifo, AudioFifoFree>;
using OwnedDictionary = std::unique_ptr<AVDictionary, DictionaryFree>;
using OwnedInput = std::unique_ptr<AVFormatContext, InputClose>;
using OwnedOutput = std::unique_ptr<AVFormatContext, OutputClose>;

} // namespace velto
