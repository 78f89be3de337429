// Run-time binding of the resampling library. Call through SwResampleHlpr::name(...) only.
#pragma once

#include "BindingUnit.h"

extern "C" {
#include <libswresample/swresample.h>
}

// Table order is binding order; the first missing name is the one reported.
#define VELTO_SWRESAMPLE_ENTRY_POINTS(X)                                                           \
    X(swresample_version)                                                                          \
    X(swr_alloc)                                                                                   \
    X(swr_alloc_set_opts2)                                                                         \
    X(swr_init)                                                                                    \
    X(swr_is_initialized)                                                                          \
    X(swr_close)                                                                                   \
    X(swr_free)                                                                                    \
    X(swr_convert)                                                                                 \
    X(swr_convert_frame)                                                                           \
    X(swr_config_frame)                                                                            \
    X(swr_set_compensation)                                                                        \
    X(swr_get_delay)                                                                               \
    X(swr_get_out_samples)                                                                         \
    X(swr_next_pts)

namespace SwResampleHlpr {
VELTO_DECLARE_BINDING_UNIT(VELTO_SWRESAMPLE_ENTRY_POINTS)
} // namespace SwResampleHlpr
