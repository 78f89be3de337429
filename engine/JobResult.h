// How one conversion job ended. Plain C++ so that the window, the command-line program and the
// engine share it: only jrFinished means a complete, verified output under its final name.
#pragma once

#include <string>

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

// Where an unfinished (stopped or short) output is kept when asked to: the output's name with
// ".part" before its extension, "clip_(new).mp4" -> "clip_(new).part.mp4", so that the file
// still opens with its player but never passes for the finished one.
inline std::string UnfinishedOutputName(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || dot <= base)
        return fileName + ".part";
    return fileName.substr(0, dot) + ".part" + fileName.substr(dot);
}

} // namespace velto
