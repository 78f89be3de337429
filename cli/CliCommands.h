// The three subcommands of velto3gp over the engine and the catalogue, as plain functions of
// their arguments and streams: main only supplies the program folder, the streams and the
// interrupt flag.
#pragma once

#include <atomic>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace velto::cli {

inline constexpr int kExitFinished = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;
// A job failed for a reason that may pass (EX_TEMPFAIL): a scheduler should try again.
inline constexpr int kExitTemporary = 75;
inline constexpr int kExitTerminated = 143;

struct TCliContext {
    std::string ProgramFolder; // holds LibAV/ and, in the build folder, the data files
    std::ostream* Out = nullptr;
    std::ostream* Err = nullptr;
    bool OutIsTerminal = false;
    // Set (by a signal handler) to stop the jobs; read while a batch runs.
    const std::atomic<bool>* Interrupted = nullptr;
    // The signal that set Interrupted (SIGINT or SIGTERM); null or 0 counts as SIGINT.
    const std::atomic<int>* InterruptSignal = nullptr;
    std::istream* In = nullptr; // "--files-from -"; null for the process's standard input
};

// Runs the command line (argv without the program name); returns the exit status.
int RunCli(const std::vector<std::string>& args, const TCliContext& context);

} // namespace velto::cli
