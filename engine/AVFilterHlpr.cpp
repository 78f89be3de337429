#include "AVFilterHlpr.h"

namespace AVFilterHlpr {
VELTO_DEFINE_BINDING_UNIT(VELTO_AVFILTER_ENTRY_POINTS, "libavfilter.so.%d",
                          LIBAVFILTER_VERSION_MAJOR, "libavfilter.so")
} // namespace AVFilterHlpr
