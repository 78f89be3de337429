#include "AVFormatHlpr.h"

namespace AVFormatHlpr {
VELTO_DEFINE_BINDING_UNIT(VELTO_AVFORMAT_ENTRY_POINTS, "libavformat.so.%d",
                          LIBAVFORMAT_VERSION_MAJOR, "libavformat.so")
} // namespace AVFormatHlpr
