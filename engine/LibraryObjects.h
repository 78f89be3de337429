// Owners of media-library objects and buffers: each frees through the binding units when it goes,
// so that no path (early return, exception, reset) can leak or free twice.
#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>

#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"

namespace velto {

// Frees an object with the bound free function Free, which takes either the object or the
// address of the pointer to it (and clears it). Does nothing once the library that made the
// object is unbound: its code is gone and the object with it.
template <auto& Free> struct TLibraryFree {
    template <typename T> void operator()(T* object) const {
        if (!Free)
            return;
        using Function = std::remove_reference_t<decltype(Free)>;
        if constexpr (std::is_same_v<Function, void (*)(T**)>)
            Free(&object);
        else
            Free(object);
    }
};

// An object of type T owned together with the bound function that frees it.
template <typename T, auto& Free> using TLibraryOwner = std::unique_ptr<T, TLibraryFree<Free>>;

using LibraryMemoryFree = TLibraryFree<AVUtilHlpr::av_free>;

// Closes an output container's file, unless the format writes none, and frees the context.
struct OutputClose {
    void operator()(AVFormatContext* context) const;
};

// Frees a codec context and the first-pass log text a second pass reads from it, which
// avcodec_free_context leaves to the caller (the encoder may never have been opened).
struct CodecContextFree {
    void operator()(AVCodecContext* context) const;
};

using OwnedFrame = TLibraryOwner<AVFrame, AVUtilHlpr::av_frame_free>;
using OwnedPacket = TLibraryOwner<AVPacket, AVCodecHlpr::av_packet_free>;
using OwnedScaler = TLibraryOwner<SwsContext, SwScaleHlpr::sws_freeContext>;
using OwnedBuffer = std::unique_ptr<std::uint8_t[], LibraryMemoryFree>;
using OwnedCodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
// A container context that has no open file (avformat_free_context).
using OwnedFormatContext = TLibraryOwner<AVFormatContext, AVFormatHlpr::avformat_free_context>;
using OwnedBitstreamFilter = TLibraryOwner<AVBSFContext, AVCodecHlpr::av_bsf_free>;
using OwnedResampler = TLibraryOwner<SwrContext, SwResampleHlpr::swr_free>;
using OwnedFilterGraph = TLibraryOwner<AVFilterGraph, AVFilterHlpr::avfilter_graph_free>;
using OwnedAudioFifo = TLibraryOwner<AVAudioFifo, AVUtilHlpr::av_audio_fifo_free>;
using OwnedDictionary = TLibraryOwner<AVDictionary, AVUtilHlpr::av_dict_free>;
// A container opened for reading (avformat_open_input).
using OwnedInput = TLibraryOwner<AVFormatContext, AVFormatHlpr::avformat_close_input>;
using OwnedOutput = std::unique_ptr<AVFormatContext, OutputClose>;
using OwnedFilterInOut = TLibraryOwner<AVFilterInOut, AVFilterHlpr::avfilter_inout_free>;

} // namespace velto
