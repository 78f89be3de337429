// The status bar's figures for a run: how far the whole batch is, time spent, time left and
// speed, from each job's length and converted part. Plain arithmetic, any thread.
#pragma once

#include <cstdint>
#include <vector>

namespace velto {

struct TJobAmount {
    std::int64_t TotalMs = 0; // the job's source length; 0 when unknown
    std::int64_t DoneMs = 0;  // converted so far
    bool Ended = false;       // nothing more will be converted
    bool Finished = false;    // ended with a complete output, which counts as whole
};

struct TBatchFigures {
    // Converted duration over the batch's duration; 100 only when every job finished.
    int Percent = 0;
    std::int64_t ElapsedMs = 0;
    // -1 while it cannot be estimated (nothing converted yet, or no known lengths).
    std::int64_t RemainingMs = -1;
    // Source time converted per second of run time; 0 while unknown.
    double Speed = 0.0;
};

// elapsedMs is the run's own time, pauses left out.
TBatchFigures ComputeBatchFigures(const std::vector<TJobAmount>& jobs, std::int64_t elapsedMs);

} // namespace velto
