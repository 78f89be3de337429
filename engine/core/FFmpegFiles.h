// Per-run file tables of a task: the opened inputs and the created outputs. The input and output
// set-up fill and extend these records; the option table only reads their counts and streams.
#pragma once

#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
}

namespace velto {

// One opened input file.
struct TInputFile {
    AVFormatContext* Context = nullptr; // owned by the task; closed by its clean-up
    std::int64_t TimestampOffset = 0;   // microseconds
};

// One created output file.
struct TOutputFile {
    AVFormatContext* Context = nullptr; // owned by the task; released by its clean-up
};

} // namespace velto
