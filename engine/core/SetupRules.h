// Small decisions of the input and output set-up, kept apart from the library calls so that each
// rule can be checked on its own.
#pragma once

#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace velto {

// Display aspect ratio of an input picture: the stream's sample aspect ratio (the codec's when the
// stream has none) times width / height; 4:3 when neither size nor ratio is known.
float InputAspectRatio(AVRational streamAspect, AVRational codecAspect, int width, int height);

// The pixel format to assume for an input picture: RealMedia files (".rm", ".rmvb", any case) whose
// decoder reports none are planar YUV 4:2:0; everything else keeps what the decoder said.
int InputPixelFormat(int codecFormat, const std::string& fileName);

// Entry of a {0,0}-terminated list nearest to rate (exact rational distance, first wins a tie).
AVRational NearestFrameRate(const AVRational* rates, AVRational rate);
// wanted when the list is null or holds it; else the list's first entry.
int SupportedPixelFormat(const AVPixelFormat* formats, int wanted);
int SupportedSampleFormat(const AVSampleFormat* formats, int wanted);

// Rate-control overrides "start,end,q/start,end,q...": q > 0 is a quantiser, q <= 0 a quality
// factor of -q %. Raises FFMpegException "error parsing rc_override" on a cut-short group.
std::vector<RcOverride> ParseRcOverride(const std::string& text);

} // namespace velto
