// Owners of media-library objects and buffers: each frees through the binding units when it goes,
// so that no path (early return, exception, reset) can leak or free twice.
#pragma once

#include <cstdint>
#include <memory>

struct AVFormatContext;
struct AVFrame;
struct AVPacket;
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
// Closes a container opened for reading (avformat_open_input).
struct InputClose {
    void operator()(AVFormatContext* context) const;
};

using OwnedFrame = std::unique_ptr<AVFrame, FrameFree>;
using OwnedPacket = std::unique_ptr<AVPacket, PacketFree>;
using OwnedScaler = std::unique_ptr<SwsContext, ScalerFree>;
using OwnedBuffer = std::unique_ptr<std::uint8_t[], LibraryMemoryFree>;
using OwnedInput = std::unique_ptr<AVFormatContext, InputClose>;

} // namespace velto
