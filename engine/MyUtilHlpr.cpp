#include "MyUtilHlpr.h"

namespace MyUtilHlpr {
VELTO_DEFINE_BINDING_UNIT(VELTO_MYUTIL_ENTRY_POINTS, nullptr, 0, "libmyutil.so")
} // namespace MyUtilHlpr
