// Run-time binding of the container library. Call through AVFormatHlpr::name(...) only.
#pragma once

#include "BindingUnit.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}

// Table order is binding order; the first missing name is the one reported.
#define VELTO_AVFORMAT_ENTRY_POINTS(X)                                                             \
    X(avformat_version)                                                                            \
    X(avformat_get_class)                                                                          \
    X(avformat_alloc_context)                                                                      \
    X(avformat_free_context)                                                                       \
    X(avformat_open_input)                                                                         \
    X(avformat_close_input)                                                                        \
    X(avformat_find_stream_info)                                                                   \
    X(avformat_alloc_output_context2)                                                              \
    X(avformat_new_stream)                                                                         \
    X(av_new_program)                                                                              \
    X(avformat_write_header)                                                                       \
    X(av_write_trailer)                                                                            \
    X(av_interleaved_write_frame)                                                                  \
    X(av_write_frame)                                                                              \
    X(av_read_frame)                                                                               \
    X(av_read_pause)                                                                               \
    X(av_read_play)                                                                                \
    X(av_seek_frame)                                                                               \
    X(avformat_seek_file)                                                                          \
    X(av_find_input_format)                                                                        \
    X(av_guess_format)                                                                             \
    X(av_guess_codec)                                                                              \
    X(av_guess_frame_rate)                                                                         \
    X(av_guess_sample_aspect_ratio)                                                                \
    X(av_stream_get_side_data)                                                                     \
    X(av_stream_new_side_data)                                                                     \
    X(av_find_best_stream)                                                                         \
    X(av_find_program_from_stream)                                                                 \
    X(avformat_match_stream_specifier)                                                             \
    X(avformat_query_codec)                                                                        \
    X(av_codec_get_id)                                                                             \
    X(av_codec_get_tag)                                                                            \
    X(av_codec_get_tag2)                                                                           \
    X(av_filename_number_test)                                                                     \
    X(av_get_frame_filename)                                                                       \
    X(av_match_ext)                                                                                \
    X(av_demuxer_iterate)                                                                          \
    X(av_muxer_iterate)                                                                            \
    X(avio_open)                                                                                   \
    X(avio_open2)                                                                                  \
    X(avio_closep)                                                                                 \
    X(avio_size)                                                                                   \
    X(avio_feof)                                                                                   \
    X(avio_flush)                                                                                  \
    X(avio_seek)                                                                                   \
    X(avio_check)                                                                                  \
    X(av_dump_format)                                                                              \
    X(av_sdp_create)                                                                               \
    X(av_pkt_dump_log2)

namespace AVFormatHlpr {
VELTO_DECLARE_BINDING_UNIT(VELTO_AVFORMAT_ENTRY_POINTS)
} // namespace AVFormatHlpr
