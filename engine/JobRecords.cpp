#include "JobRecords.h"

#include "FFmpegEngine.h"

namespace velto {

TAddedJob AddJob(TFFmpegEngine& engine, const TJobRecords& job) {
    TInputOptions input = job.Input;
    TOutputOptions output = job.Output;
    TAddedJob added;
    if (!job.Refusal.empty()) {
        added.Error = job.Refusal;
        return added;
    }
    const int index = engine.AddTask(input.FileName, &input);
    if (index < 0) {
        added.InputRefused = true;
        added.Error = engine.LastError;
        return added;
    }
    if (!engine.AddOutput(index, output.FileName, &output)) {
        added.Error = engine.LastError;
        engine.RemoveTask(index);
        return added;
    }
    added.Index = index;
    return added;
}

} // namespace velto
