#include "SwResampleHlpr.h"

namespace SwResampleHlpr {
VELTO_DEFINE_BINDING_UNIT(VELTO_SWRESAMPLE_ENTRY_POINTS, "libswresample.so.%d",
                          LIBSWRESAMPLE_VERSION_MAJOR, "libswresample.so")
} // namespace SwResampleHlpr
