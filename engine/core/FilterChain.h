// The video filter chain of one decoded input stream: a buffer source "src" fed with decoded
// pictures, the turn the source's display matrix asks for, a scale filter when the sizes or the
// colour matrix differ (or the tone mapping of a high dynamic range source), the user's graph
// between "in" and "out", and a buffer sink "out" that accepts only the encoder's pixel format.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ColourTags.h"
#include "LibraryObjects.h"

namespace velto {

class TBitmapSubtitles;
struct TaskSettings;

// What the chain does to the picture before the user's graph.
struct TPictureSteps {
    int Rotation = 0;     // clockwise degrees: 0, 90, 180 or 270
    bool ToneMap = false; // PQ/HLG to SDR through zscale and tonemap
    TColourTags Output;   // what the encoder is told the pictures are
};

class TFilterChain {
public:
    TFilterChain();
    ~TFilterChain();
    // Builds the chain from the input stream's pictures to the encoder's size and format; the
    // encoder's size becomes what the chain delivers plus the padding. Raises "Error opening
    // filters: ..." with the reason (the library's where a call failed).
    void Configure(const TaskSettings& settings, const AVCodecParameters* input,
                   AVCodecContext* encoder, const TPictureSteps& steps = {});
    // Before Configure: the chain draws the text subtitles of `file` (its index-th subtitle
    // stream) into the scaled picture. Pictures carry the run's clock, which is the file's
    // clock plus offset microseconds.
    void BurnSubtitles(std::string file, int index, std::int64_t offset);
    // Before Configure: the chain draws the bitmap subtitles of stream `stream` of `file` (DVD,
    // Blu-ray, DVB) at the same place, over the same clock.
    void BurnBitmapSubtitles(std::string file, int stream, std::int64_t offset);
    // Hands a decoded picture (timestamp in microseconds) to the chain, which keeps its own
    // reference; false when the chain refuses it. With null: no more pictures come.
    bool Push(AVFrame* picture);
    // The next picture the chain has ready, or null; valid until the next call.
    AVFrame* Pull();

private:
    OwnedFilterGraph graph_;
    AVFilterContext* source_ = nullptr; // owned by the graph
    AVFilterContext* sink_ = nullptr;   // owned by the graph
    OwnedFrame picture_;
    std::string burnFile_;
    int burnIndex_ = 0;
    std::int64_t burnOffset_ = 0;
    int burnStream_ = -1; // the bitmap stream burned in; -1: text or nothing
    std::unique_ptr<TBitmapSubtitles> bitmaps_;
    AVFilterContext* canvasSource_ = nullptr; // owned by the graph; set with bitmaps_
    AVPixelFormat encoderFormat_ = AV_PIX_FMT_NONE;

    // The picture at this point is width x height; the source's own (turned) is frame.
    AVFilterContext* AppendBurnIn(AVFilterContext* tail, int width, int height, int frameWidth,
                                  int frameHeight);
    AVFilterContext* AppendBitmapBurnIn(AVFilterContext* tail, int width, int height,
                                        int frameWidth, int frameHeight);
};

} // namespace velto
