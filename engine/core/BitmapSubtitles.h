// The pictures of a bitmap subtitle stream (DVD, Blu-ray, DVB) as RGBA canvases of the picture
// they are drawn into: a second demuxer of the source reads the stream ahead of the run, its
// decoder turns packets into subtitles, and the canvas for a moment shows the one on screen then.
// Owned by one filter chain and called from the task's worker only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LibraryObjects.h"

namespace velto {

class TBitmapSubtitles {
public:
    // Opens stream `stream` of `file` and reads its first subtitle, so that a stream that cannot
    // be decoded fails before the first picture. The canvas is width x height; the subtitles'
    // own frame is the decoder's size, or referenceWidth x referenceHeight when it has none.
    // Raises FFMpegException with the library's reason.
    TBitmapSubtitles(const std::string& file, int stream, int width, int height, int referenceWidth,
                     int referenceHeight);
    ~TBitmapSubtitles();
    TBitmapSubtitles(const TBitmapSubtitles&) = delete;
    TBitmapSubtitles& operator=(const TBitmapSubtitles&) = delete;

    // The canvas showing what is on screen at `time` (microseconds of the file's clock; times
    // only grow). Transparent where nothing is shown; redrawn only when that changes, into a
    // fresh buffer so that canvases the filters still hold stay as they were.
    AVFrame* CanvasAt(std::int64_t time);

private:
    // One picture of a subtitle, kept as palette indexes in the subtitles' own frame.
    struct TRect {
        int X = 0, Y = 0, Width = 0, Height = 0;
        std::vector<std::uint8_t> Indexes;  // Width * Height
        std::vector<std::uint32_t> Colours; // ARGB, as the decoder's palette gives them
    };
    // One decoded subtitle and the span it is shown in; no rectangles: it clears the screen.
    struct TShown {
        int Serial = 0;
        std::int64_t Start = 0;
        std::int64_t End = INT64_MAX;        // until the next one, when the stream gives no end
        int FrameWidth = 0, FrameHeight = 0; // the frame the rectangles are placed in
        std::vector<TRect> Rects;
    };
    struct TCodecFree {
        void operator()(AVCodecContext* context) const;
    };

    std::string file_;
    int stream_;
    OwnedInput input_;
    std::unique_ptr<AVCodecContext, TCodecFree> decoder_;
    OwnedPacket packet_;
    OwnedFrame canvas_;
    int width_, height_;
    int referenceWidth_, referenceHeight_;
    std::unique_ptr<TShown> current_, next_;
    bool ended_ = false;
    int serials_ = 0;
    int drawn_ = -1; // the serial of what the canvas shows; 0: nothing, -1: not drawn yet
    bool asked_ = false;

    void Open();
    // Decodes packets until the next subtitle is in next_ or the stream ends.
    void ReadNext();
    std::unique_ptr<TShown> Keep(const AVSubtitle& subtitle);
    // Before the first canvas: a run that starts late in the film seeks to a little before
    // time instead of reading the film from its beginning up to there.
    void SkipTo(std::int64_t time);
    void Draw(const TShown* shown);
};

} // namespace velto
