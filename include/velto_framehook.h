/* Frame-hook plug-in contract of Velto 3GP Converter.
 *
 * A plug-in is a shared object that exports, with C linkage and by these exact names:
 *   Process   (required)  changes a decoded picture in place, before it is encoded;
 *   Configure (optional)  called once per hook with the hook's arguments; 0 accepts them;
 *   Release   (optional)  called once when the task's hooks are released.
 * A plug-in without Configure can only be added without arguments. One library may serve several
 * hooks at once, in several tasks and on several threads: keep all state in the context. The host
 * loads a plug-in library once per process and never unloads it. */
#ifndef VELTO_FRAMEHOOK_H
#define VELTO_FRAMEHOOK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Most arguments a hook takes, the plug-in's path (argument 0) included. */
#define VELTO_FRAMEHOOK_MAX_ARGS 64

/* One picture: up to four planes, each with its line size in bytes (a plane's row y starts at
 * data[i] + y * linesize[i]). Unused planes are NULL. The pixel format code passed beside it is
 * the FFmpeg AVPixelFormat value of the host's build (see libavutil/pixfmt.h), e.g. 0 for planar
 * YUV 4:2:0, 2 for packed RGB24, 3 for packed BGR24. */
typedef struct VeltoPicture {
    uint8_t* data[4];
    int linesize[4];
} VeltoPicture;

/* context: where the plug-in stores its own state for this hook (starts NULL).
 * argc, argv: the hook's arguments; argv[0] is the plug-in's path. The strings are the host's
 * copies: the plug-in may modify them during the call but must not keep pointers to them.
 * highIndex: the highest index the argument array may hold (VELTO_FRAMEHOOK_MAX_ARGS - 1).
 * Returns 0 to accept the arguments; anything else refuses the hook. */
typedef int (*VeltoConfigureFunc)(void** context, int argc, char* argv[], int highIndex);

/* Called for every hooked frame on the task's worker thread; pts is in microseconds. */
typedef void (*VeltoProcessFunc)(void* context, VeltoPicture* picture, int pixelFormat, int width,
                                 int height, int64_t pts);

/* Frees what Configure set up. */
typedef void (*VeltoReleaseFunc)(void* context);

#ifndef VELTO_FRAMEHOOK_HOST
#if defined(__GNUC__)
#define VELTO_FRAMEHOOK_EXPORT __attribute__((visibility("default")))
#else
#define VELTO_FRAMEHOOK_EXPORT
#endif
/* Prototypes for plug-in authors; the host looks these names up at run time. */
VELTO_FRAMEHOOK_EXPORT int Configure(void** context, int argc, char* argv[], int highIndex);
VELTO_FRAMEHOOK_EXPORT void Process(void* context, VeltoPicture* picture, int pixelFormat,
                                    int width, int height, int64_t pts);
VELTO_FRAMEHOOK_EXPORT void Release(void* context);
#endif

#ifdef __cplusplus
}
#endif

#endif /* VELTO_FRAMEHOOK_H */
