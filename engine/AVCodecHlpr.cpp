#include "AVCodecHlpr.h"

namespace AVCodecHlpr {
VELTO_DEFINE_BINDING_UNIT(VELTO_AVCODEC_ENTRY_POINTS, "libavcodec.so.%d", LIBAVCODEC_VERSION_MAJOR,
                          "libavcodec.so")
} // namespace AVCodecHlpr
