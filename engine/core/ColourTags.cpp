#include "ColourTags.h"

#include "AVUtilHlpr.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace velto {

namespace {

bool IsJpegFormat(int format) {
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
           format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P ||
           format == AV_PIX_FMT_YUVJ411P;
}

bool IsHighDefinition(int width, int height) {
    return width >= 1280 || height >= 720;
}

} // namespace

TColourTags OutputColourTags(int width, int height, AVRational frameRate, AVPixelFormat format) {
    TColourTags tags;
    if (IsHighDefinition(width, height)) {
        tags.Primaries = AVCOL_PRI_BT709;
        tags.Transfer = AVCOL_TRC_BT709;
        tags.Matrix = AVCOL_SPC_BT709;
    } else {
        const double rate = frameRate.den > 0 ? av_q2d(frameRate) : 0.0;
        const bool pal = (rate > 24.5 && rate < 25.5) || (rate > 49.5 && rate < 50.5);
        tags.Primaries = pal ? AVCOL_PRI_BT470BG : AVCOL_PRI_SMPTE170M;
        tags.Transfer = AVCOL_TRC_SMPTE170M;
        tags.Matrix = pal ? AVCOL_SPC_BT470BG : AVCOL_SPC_SMPTE170M;
    }
    tags.Range = IsJpegFormat(format) ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    return tags;
}

AVColorSpace SourceMatrix(const AVCodecParameters* source) {
    switch (source->color_space) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_FCC:
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return source->color_space;
    default:
        break;
    }
    if (source->color_primaries == AVCOL_PRI_BT2020)
        return AVCOL_SPC_BT2020_NCL;
    return IsHighDefinition(source->width, source->height) ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
}

AVColorRange SourceRange(const AVCodecParameters* source) {
    if (source->color_range == AVCOL_RANGE_JPEG || IsJpegFormat(source->format))
        return AVCOL_RANGE_JPEG;
    return AVCOL_RANGE_MPEG;
}

bool IsHighDynamicRange(const AVCodecParameters* source) {
    return source->color_trc == AVCOL_TRC_SMPTE2084 || source->color_trc == AVCOL_TRC_ARIB_STD_B67;
}

bool IsEightBit(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = AVUtilHlpr::av_pix_fmt_desc_get(format);
    return descriptor && descriptor->comp[0].depth <= 8;
}

const char* ScaleMatrixName(AVColorSpace matrix) {
    switch (matrix) {
    case AVCOL_SPC_BT709:
        return "bt709";
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return "bt601";
    case AVCOL_SPC_SMPTE240M:
        return "smpte240m";
    case AVCOL_SPC_FCC:
        return "fcc";
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return "bt2020";
    default:
        return "auto";
    }
}

const char* ZscalePrimariesName(AVColorPrimaries primaries) {
    switch (primaries) {
    case AVCOL_PRI_BT470BG:
        return "bt470bg";
    case AVCOL_PRI_SMPTE170M:
        return "smpte170m";
    default:
        return "bt709";
    }
}

const char* ZscaleMatrixName(AVColorSpace matrix) {
    switch (matrix) {
    case AVCOL_SPC_BT470BG:
        return "bt470bg";
    case AVCOL_SPC_SMPTE170M:
        return "smpte170m";
    default:
        return "bt709";
    }
}

int SwsColourSpace(AVColorSpace matrix) {
    switch (matrix) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    case AVCOL_SPC_FCC:
        return SWS_CS_FCC;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    default:
        return SWS_CS_ITU601;
    }
}

} // namespace velto
