/* Stand-in plug-in that exports only "Process": it inverts the first byte of the first plane. */
#include "velto_framehook.h"

void Process(void* context, VeltoPicture* picture, int pixelFormat, int width, int height,
             int64_t pts) {
    (void)context, (void)pixelFormat, (void)width, (void)height, (void)pts;
    if (picture && picture->data[0])
        picture->data[0][0] = (uint8_t)~picture->data[0][0];
}
