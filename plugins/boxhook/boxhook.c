/* Sample frame-hook plug-in: draws a filled box onto every frame.
 *
 * Arguments after the plug-in path, each NAME=VALUE, any order:
 *   x=, y=   top-left corner in pixels (default 0, 0)
 *   w=, h=   size in pixels (default 16 x 16)
 *   color=   RRGGBB in hex (default ffffff)
 * An unknown name or a malformed value refuses the hook. The box is clipped to the picture. */
#include "velto_framehook.h"

#include <libavutil/pixfmt.h>

#include <stdatomic.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

typedef struct BoxHook {
    int x, y, w, h;
    uint8_t r, g, b;
    uint8_t luma, cb, cr;
} BoxHook;

/* Contexts configured and not yet released, so that hosts can check their release calls. */
static atomic_int live_contexts;

VELTO_FRAMEHOOK_EXPORT int BoxHookLiveContexts(void) {
    return atomic_load(&live_contexts);
}

static int parse_int(const char* text, int* value) {
    char* end = NULL;
    long number = strtol(text, &end, 10);
    if (end == text || *end != '\0' || number < -100000 || number > 100000)
        return -1;
    *value = (int)number;
    return 0;
}

static int parse_color(const char* text, BoxHook* box) {
    char* end = NULL;
    if (strlen(text) != 6)
        return -1;
    unsigned long rgb = strtoul(text, &end, 16);
    if (*end != '\0')
        return -1;
    box->r = (uint8_t)(rgb >> 16);
    box->g = (uint8_t)(rgb >> 8);
    box->b = (uint8_t)rgb;
    return 0;
}

static uint8_t clip_byte(int value) {
    return (uint8_t)(value < 0 ? 0 : value > 255 ? 255 : value);
}

/* Studio-range BT.601, the usual meaning of YUV frames from a decoder. */
static void compute_yuv(BoxHook* box) {
    int r = box->r, g = box->g, b = box->b;
    box->luma = clip_byte(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    box->cb = clip_byte(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
    box->cr = clip_byte(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

int Configure(void** context, int argc, char* argv[], int highIndex) {
    if (!context || argc > highIndex + 1)
        return 1;
    BoxHook* box = calloc(1, sizeof(*box));
    if (!box)
        return 1;
    box->w = 16;
    box->h = 16;
    box->r = box->g = box->b = 255;
    for (int i = 1; i < argc; ++i) {
        char* value = strchr(argv[i], '=');
        int bad = 1;
        if (value) {
            *value++ = '\0';
            if (strcmp(argv[i], "x") == 0)
                bad = parse_int(value, &box->x);
            else if (strcmp(argv[i], "y") == 0)
                bad = parse_int(value, &box->y);
            else if (strcmp(argv[i], "w") == 0)
                bad = parse_int(value, &box->w);
            else if (strcmp(argv[i], "h") == 0)
                bad = parse_int(value, &box->h);
            else if (strcmp(argv[i], "color") == 0)
                bad = parse_color(value, box);
        }
        if (bad || box->w < 0 || box->h < 0) {
            free(box);
            return 1;
        }
    }
    compute_yuv(box);
    *context = box;
    atomic_fetch_add(&live_contexts, 1);
    return 0;
}

static void fill_plane(uint8_t* plane, int linesize, int x0, int y0, int x1, int y1,
                       uint8_t value) {
    for (int y = y0; y < y1; ++y)
        memset(plane + (ptrdiff_t)y * linesize + x0, value, (size_t)(x1 - x0));
}

static void fill_packed(uint8_t* plane, int linesize, int x0, int y0, int x1, int y1,
                        const uint8_t pixel[3]) {
    for (int y = y0; y < y1; ++y) {
        uint8_t* row = plane + (ptrdiff_t)y * linesize + (ptrdiff_t)x0 * 3;
        for (int x = x0; x < x1; ++x, row += 3)
            memcpy(row, pixel, 3);
    }
}

void Process(void* context, VeltoPicture* picture, int pixelFormat, int width, int height,
             int64_t pts) {
    (void)pts;
    const BoxHook* box = context;
    if (!box || !picture || !picture->data[0])
        return;
    int x0 = box->x < 0 ? 0 : box->x, y0 = box->y < 0 ? 0 : box->y;
    int x1 = box->x + box->w > width ? width : box->x + box->w;
    int y1 = box->y + box->h > height ? height : box->y + box->h;
    if (x0 >= x1 || y0 >= y1)
        return;

    int shiftX = 0, shiftY = 0;
    switch (pixelFormat) {
    case AV_PIX_FMT_RGB24: {
        const uint8_t pixel[3] = {box->r, box->g, box->b};
        fill_packed(picture->data[0], picture->linesize[0], x0, y0, x1, y1, pixel);
        return;
    }
    case AV_PIX_FMT_BGR24: {
        const uint8_t pixel[3] = {box->b, box->g, box->r};
        fill_packed(picture->data[0], picture->linesize[0], x0, y0, x1, y1, pixel);
        return;
    }
    case AV_PIX_FMT_GRAY8:
        fill_plane(picture->data[0], picture->linesize[0], x0, y0, x1, y1, box->luma);
        return;
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
        shiftX = shiftY = 1;
        break;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
        shiftX = 1;
        break;
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
        break;
    default:
        return; /* formats this sample does not know are left alone */
    }
    fill_plane(picture->data[0], picture->linesize[0], x0, y0, x1, y1, box->luma);
    if (!picture->data[1] || !picture->data[2])
        return;
    /* Chroma covers every chroma sample the box touches. */
    int cx0 = x0 >> shiftX, cy0 = y0 >> shiftY;
    int cx1 = (x1 + (1 << shiftX) - 1) >> shiftX, cy1 = (y1 + (1 << shiftY) - 1) >> shiftY;
    fill_plane(picture->data[1], picture->linesize[1], cx0, cy0, cx1, cy1, box->cb);
    fill_plane(picture->data[2], picture->linesize[2], cx0, cy0, cx1, cy1, box->cr);
}

void Release(void* context) {
    if (!context)
        return;
    free(context);
    atomic_fetch_sub(&live_contexts, 1);
}
