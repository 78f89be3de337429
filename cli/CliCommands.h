// The three subcommands of velto3gp over the engine and the catalogue, as plain functions of
// their arguments and streams: main only supplies the program folder, the streams and the
// interrupt flag.
#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

namespace velto::cli {

inline constexpr int kExitFinished = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

struct TCliContext {
    std::string ProgramFolder; // holds LibAV/ and, in the build folder, the data files
    std::ostream* Out = nullptr;
    std::ostream* Err = nullptr;
    bool OutIsTerminal = false;
    // Set (by a signal handler) to stop the jobs; read while a batch runs.
    const std::atomic<bool>* Interrupted = nullptr;
};

// Runs the command line (argv without the program name); returns the exit status.
int RunCli(const std::vector<std::string>& args, const TCliContext& context);

} // namespace velto::cli
