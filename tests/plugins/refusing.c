/* Stand-in plug-in whose "Configure" always refuses, after touching the context it was given. */
#include "velto_framehook.h"

#include <stddef.h>

static int marker;

int Configure(void** context, int argc, char* argv[], int highIndex) {
    (void)argc, (void)argv, (void)highIndex;
    *context = &marker;
    return 1;
}

void Process(void* context, VeltoPicture* picture, int pixelFormat, int width, int height,
             int64_t pts) {
    (void)context, (void)picture, (void)pixelFormat, (void)width, (void)height, (void)pts;
}

void Release(void* context) {
    (void)context;
}
