// A job as the front ends hand it to the engine: its two option records, and the one way a job
// becomes a task, so that the window, the command line and a restored queue add jobs alike.
#pragma once

#include "TaskOptions.h"

#include <string>
#include <vector>

namespace velto {

class TFFmpegEngine;

struct TJobRecords {
    TInputOptions Input;
    TOutputOptions Output;
    // Why the job cannot be made as asked (a size it cannot fit into); AddJob refuses it with
    // this reason. Empty for a job that can.
    std::string Refusal;
    // What the job changed from its profile because the libraries lack something, a line each
    // for the log.
    std::vector<std::string> Notes;
    bool operator==(const TJobRecords&) const = default;
};

struct TAddedJob {
    // The new task's index, -1 when the job was refused.
    int Index = -1;
    // The input was refused (it could not be opened) rather than the output record.
    bool InputRefused = false;
    std::string Error;
};

// Adds a task for the records: its input, then its output. A refused output removes the task
// again, so a failed add leaves the engine's list as it was. The records themselves are copied:
// the engine writes into what it is given, and callers keep theirs for a later run.
TAddedJob AddJob(TFFmpegEngine& engine, const TJobRecords& job);

} // namespace velto
