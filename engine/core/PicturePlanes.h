// Work on the planes of a decoded picture: crop views, padding with a colour and deinterlacing.
// Pictures are plain plane pointers and line sizes; nothing here allocates.
#pragma once

#define VELTO_FRAMEHOOK_HOST
#include "velto_framehook.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace velto {

// dst becomes a view of src starting `top` rows and `left` columns in (chroma planes shifted by
// their subsampling). False for formats without addressable planes (palette, bitstream, hardware)
// and for bands that do not fall on a chroma sample.
bool CropPictureView(VeltoPicture& dst, const VeltoPicture& src, AVPixelFormat format, int top,
                     int left);

// Fills the four bands of dst (width x height) with the colour (Y, Cb, Cr; alpha planes opaque)
// and, when src is given, copies src into the area between them. Planar 8-bit YUV formats only;
// false for any other format or for bands that leave no inner area.
bool PadPicture(VeltoPicture& dst, const VeltoPicture* src, int width, int height,
                AVPixelFormat format, int top, int bottom, int left, int right, const int color[3]);

// Writes src into dst with the lines of the bottom field rebuilt from their neighbours by the
// vertical filter (-1 4 2 4 -1) / 8; top-field lines are copied. Planar 8-bit YUV and grey
// formats with width and height multiples of 4 only; false otherwise. dst may not overlap src.
bool DeinterlacePicture(VeltoPicture& dst, const VeltoPicture& src, AVPixelFormat format, int width,
                        int height);

} // namespace velto
