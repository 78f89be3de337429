// Validation of crop and pad values, shared by the options, the output record and the presets.
#include "FFmpeg.h"

namespace velto {

namespace {

const char* SideName(TFrameSide side) {
    switch (side) {
    case fsTop:
        return "Top";
    case fsBottom:
        return "Bottom";
    case fsLeft:
        return "Left";
    default:
        return "Right";
    }
}

} // namespace

void TCustomFFmpeg::SetCrop(TFrameSide side, int value) {
    if (value < 0)
        return;
    if (value % 2 != 0)
        throw FFMpegException(std::string(SideName(side)) + " crop size must be a multiple of 2");
    const bool vertical = side == fsTop || side == fsBottom;
    int& frameSize = vertical ? Settings.FrameHeight : Settings.FrameWidth;
    if (value >= frameSize)
        throw FFMpegException(
            std::string(vertical ? "Vertical" : "Horizontal") +
            " crop dimensions are outside the range of the original image.\nRemember to crop "
            "first and scale second.");
    int& crop = side == fsTop      ? Settings.CropTop
                : side == fsBottom ? Settings.CropBottom
                : side == fsLeft   ? Settings.CropLeft
                                   : Settings.CropRight;
    crop = value;
    frameSize -= value;
}

void TCustomFFmpeg::SetPad(TFrameSide side, int value) {
    if (value < 0)
        return;
    if (value % 2 != 0)
        throw FFMpegException(std::string(SideName(side)) + " pad size must be a multiple of 2");
    int& pad = side == fsTop      ? Settings.PadTop
               : side == fsBottom ? Settings.PadBottom
               : side == fsLeft   ? Settings.PadLeft
                                  : Settings.PadRight;
    pad = value;
}

} // namespace velto
