#include "BatchProgress.h"

#include <algorithm>

namespace velto {

TBatchFigures ComputeBatchFigures(const std::vector<TJobAmount>& jobs, std::int64_t elapsedMs) {
    TBatchFigures figures;
    figures.ElapsedMs = std::max<std::int64_t>(elapsedMs, 0);
    std::int64_t total = 0;
    std::int64_t done = 0;
    std::int64_t converted = 0;
    std::int64_t left = 0;
    bool allFinished = true;
    for (const TJobAmount& job : jobs) {
        const std::int64_t length = std::max<std::int64_t>(job.TotalMs, 0);
        const std::int64_t part = std::clamp<std::int64_t>(job.DoneMs, 0, length);
        total += length;
        done += job.Finished ? length : part;
        // Speed counts what was really converted; a stopped job's untouched rest is not work,
        // nor is it still to do.
        converted += part;
        if (!job.Ended)
            left += length - part;
        allFinished = allFinished && job.Finished;
    }
    if (total <= 0)
        return figures;
    const int percent = static_cast<int>(std::min<std::int64_t>(done * 100 / total, 100));
    // A batch with a job stopped, failed or still running is never shown as complete.
    figures.Percent = allFinished ? percent : std::min(percent, 99);
    if (figures.ElapsedMs > 0 && converted > 0) {
        figures.Speed = static_cast<double>(converted) / static_cast<double>(figures.ElapsedMs);
        figures.RemainingMs = static_cast<std::int64_t>(static_cast<double>(left) / figures.Speed);
    }
    return figures;
}

} // namespace velto
