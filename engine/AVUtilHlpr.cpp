#include "AVUtilHlpr.h"

namespace AVUtilHlpr {
VELTO_DEFINE_BINDING_UNIT(VELTO_AVUTIL_ENTRY_POINTS, "libavutil.so.%d", LIBAVUTIL_VERSION_MAJOR,
                          "libavutil.so")
} // namespace AVUtilHlpr
