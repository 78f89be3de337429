// What the picture path needs to know about colour: the tags an output of a given frame carries,
// the matrix a source was made with, and whether a source is high dynamic range. Plain functions.
#pragma once

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

namespace velto {

struct TColourTags {
    AVColorPrimaries Primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic Transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace Matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange Range = AVCOL_RANGE_UNSPECIFIED;
};

// BT.709 from 1280x720 up, BT.601 below (the 625-line flavour at 25 and 50 pictures a second);
// full range only for the JPEG pixel formats.
TColourTags OutputColourTags(int width, int height, AVRational frameRate, AVPixelFormat format);

// The matrix the source's samples were made with: its tag, else what its frame size implies.
AVColorSpace SourceMatrix(const AVCodecParameters* source);
// Limited unless tagged full or stored in a JPEG pixel format.
AVColorRange SourceRange(const AVCodecParameters* source);

// PQ or HLG transfer.
bool IsHighDynamicRange(const AVCodecParameters* source);
// At most 8 bits a sample.
bool IsEightBit(AVPixelFormat format);

// Names as the scale filter's colour-matrix options spell them; "auto" for anything else.
const char* ScaleMatrixName(AVColorSpace matrix);
// Names as the zscale filter spells them.
const char* ZscalePrimariesName(AVColorPrimaries primaries);
const char* ZscaleMatrixName(AVColorSpace matrix);
// The swscale coefficient table for a matrix.
int SwsColourSpace(AVColorSpace matrix);

} // namespace velto
