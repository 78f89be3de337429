// Run-time binding of the scaling library. Call through SwScaleHlpr::name(...) only.
#pragma once

#include "BindingUnit.h"

extern "C" {
#include <libswscale/swscale.h>
}

// Table order is binding order; the first missing name is the one reported.
#define VELTO_SWSCALE_ENTRY_POINTS(X)                                                              \
    X(sws_scale)                                                                                   \
    X(sws_getContext)                                                                              \
    X(sws_freeContext)                                                                             \
    X(sws_getCachedContext)                                                                        \
    X(sws_get_class)                                                                               \
    X(sws_isSupportedInput)                                                                        \
    X(sws_isSupportedOutput)                                                                       \
    X(sws_setColorspaceDetails)                                                                    \
    X(sws_getCoefficients)                                                                         \
    X(swscale_version)

namespace SwScaleHlpr {
VELTO_DECLARE_BINDING_UNIT(VELTO_SWSCALE_ENTRY_POINTS)
} // namespace SwScaleHlpr
