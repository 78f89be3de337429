// Entry of velto3gp: the program's folder, the streams, and Ctrl-C / SIGTERM turned into a flag
// that stops the jobs; everything else is in CliCommands.
#include "CliCommands.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace {

std::atomic<bool> interrupted{false};
std::atomic<int> interruptSignal{0};

extern "C" void OnSignal(int signal) {
    int none = 0;
    interruptSignal.compare_exchange_strong(none, signal);
    interrupted.store(true);
}

std::string ProgramFolder(const char* argv0) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        self = std::filesystem::absolute(argv0, error);
    return self.parent_path().string();
}

} // namespace

int main(int argc, char* argv[]) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed pipe ends output, not the program: the jobs still finish.
    std::signal(SIGPIPE, SIG_IGN);

    velto::cli::TCliContext context;
    context.ProgramFolder = ProgramFolder(argv[0]);
    context.Out = &std::cout;
    context.Err = &std::cerr;
    context.OutIsTerminal = isatty(STDOUT_FILENO) == 1;
    context.Interrupted = &interrupted;
    context.InterruptSignal = &interruptSignal;
    context.In = &std::cin;
    return velto::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), context);
}
