// Run-time binding of the filter library. Call through AVFilterHlpr::name(...) only.
#pragma once

#include "BindingUnit.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

// Table order is binding order; the first missing name is the one reported.
#define VELTO_AVFILTER_ENTRY_POINTS(X)                                                             \
    X(avfilter_version)                                                                            \
    X(avfilter_get_by_name)                                                                        \
    X(avfilter_graph_alloc)                                                                        \
    X(avfilter_graph_free)                                                                         \
    X(avfilter_graph_create_filter)                                                                \
    X(avfilter_graph_parse_ptr)                                                                    \
    X(avfilter_graph_config)                                                                       \
    X(avfilter_link)                                                                               \
    X(avfilter_inout_alloc)                                                                        \
    X(avfilter_inout_free)                                                                         \
    X(av_buffersrc_parameters_alloc)                                                               \
    X(av_buffersrc_parameters_set)                                                                 \
    X(av_buffersrc_add_frame_flags)                                                                \
    X(av_buffersink_get_frame)                                                                     \
    X(av_buffersink_get_frame_flags)                                                               \
    X(av_buffersink_get_w)                                                                         \
    X(av_buffersink_get_h)                                                                         \
    X(av_buffersink_get_format)                                                                    \
    X(av_buffersink_get_time_base)                                                                 \
    X(av_buffersink_get_frame_rate)                                                                \
    X(av_buffersink_get_sample_aspect_ratio)

namespace AVFilterHlpr {
VELTO_DECLARE_BINDING_UNIT(VELTO_AVFILTER_ENTRY_POINTS)
} // namespace AVFilterHlpr
