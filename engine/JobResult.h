// How one conversion job ended. Plain C++ so that the window, the command-line program and the
// engine share it: only jrFinished means a complete, verified output under its final name.
#pragma once

namespace velto {

enum TJobResult {
    jrFinished,   // converted, verified, renamed into place
    jrIncomplete, // the source ended before its stated length; the output is short
    jrFailed,     // an error ended the run; no new output is left behind
    jrStopped     // a stop request ended the run, or the job never ran
};

// Lower-case English word for logs and the command line: "finished", "incomplete", ...
inline const char* JobResultName(TJobResult result) {
    switch (result) {
    case jrFinished:
        return "finished";
    case jrIncomplete:
        return "incomplete";
    case jrFailed:
        return "failed";
    case jrStopped:
        return "stopped";
    }
    return "failed";
}

} // namespace velto
