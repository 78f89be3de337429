#include "SwScaleHlpr.h"

namespace SwScaleHlpr {
VELTO_DEFINE_BINDING_UNIT(VELTO_SWSCALE_ENTRY_POINTS, "libswscale.so.%d", LIBSWSCALE_VERSION_MAJOR,
                          "libswscale.so")
} // namespace SwScaleHlpr
