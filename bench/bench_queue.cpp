// A long queue through one velto3gp call: N names of one small media-factory clip in a list, one
// `velto3gp convert --files-from LIST --report R`, then (with --rerun) the same call again with
// --skip-existing after one output was emptied. Prints wall time, time per file, the child's peak
// memory (from wait4), the most descriptors it held at once (sampled from /proc) and the report's
// results.
//   bench_queue [--files N] [--seconds S] [--profile P] [--rerun] [--keep]
// Run it under the limit to check, e.g. `ulimit -n 1024; bench_queue --files 1500 --rerun`.
#include "MediaFactory.h"
#include "TestLibraries.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TOptions {
    int files = 10000;
    double seconds = 0.5;
    int profile = 0; // MP4 MPEG-4 Video, AAC sound
    bool rerun = false;
    bool keep = false;
};

struct TRun {
    int status = -1;
    double wall = 0;
    double peakMiB = 0;
    int mostDescriptors = 0;
};

int Descriptors(pid_t pid) {
    std::error_code error;
    int count = 0;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
         !error && it != end; it.increment(error))
        ++count;
    return count;
}

TRun RunProgram(const std::vector<std::string>& args, const std::string& config) {
    TRun run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::atomic<bool> done{false};
    std::atomic<int> most{0};
    std::thread sampler([&] {
        while (!done) {
            most = std::max(most.load(), Descriptors(pid));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    done = true;
    sampler.join();
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakMiB = usage.ru_maxrss / 1024.0;
    run.mostDescriptors = most;
    return run;
}

// Results of the report lines from line `from` on, counted by result.
std::map<std::string, int> Results(const std::string& report, size_t from, size_t& lines) {
    std::map<std::string, int> results;
    std::ifstream stream(report);
    lines = 0;
    for (std::string line; std::getline(stream, line); ++lines) {
        if (lines < from)
            continue;
        const size_t at = line.find("\"result\":\"");
        if (at == std::string::npos) {
            ++results["unreadable line"];
            continue;
        }
        const size_t begin = at + 10;
        ++results[line.substr(begin, line.find('"', begin) - begin)];
    }
    return results;
}

void Print(const char* name, const TRun& run, int files,
           const std::map<std::string, int>& results) {
    std::printf("%-28s exit %3d  wall %8.1f s  per file %6.1f ms  peak %6.1f MiB  fds %3d ", name,
                run.status, run.wall, run.wall * 1000.0 / files, run.peakMiB, run.mostDescriptors);
    for (const auto& [result, count] : results)
        std::printf(" %s %d", result.c_str(), count);
    std::printf("\n");
    std::fflush(stdout);
}

bool ParseOptions(int argc, char** argv, TOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--files" && hasValue)
            options.files = std::atoi(argv[++i]);
        else if (arg == "--seconds" && hasValue)
            options.seconds = std::atof(argv[++i]);
        else if (arg == "--profile" && hasValue)
            options.profile = std::atoi(argv[++i]);
        else if (arg == "--rerun")
            options.rerun = true;
        else if (arg == "--keep")
            options.keep = true;
        else
            return false;
    }
    return options.files > 0 && options.seconds > 0;
}

} // namespace

int main(int argc, char** argv) {
    TOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: bench_queue [--files N] [--seconds S] [--profile P] "
                             "[--rerun] [--keep]\n");
        return 2;
    }
    velto::test::LoadTestLibraries();
    const std::string folder = velto::test::ScratchFolder();
    const std::string clip = velto::test::MakeAviMpeg4Mp2(folder, options.seconds);
    fs::create_directories(folder + "/src");
    fs::create_directories(folder + "/out");
    const std::string list = folder + "/list.txt";
    {
        // Hard links: thousands of sources under their own names without thousands of copies.
        std::ofstream stream(list);
        for (int i = 0; i < options.files; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/src/clip%05d.avi", i);
            fs::create_hard_link(clip, folder + name);
            stream << folder << name << '\n';
        }
    }
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    std::printf("%d names of one %.1f s 176x144 MPEG-4 + MP2 clip (%ju bytes), profile %d, "
                "open-file limit %ju, %u cores\n",
                options.files, options.seconds, static_cast<std::uintmax_t>(fs::file_size(clip)),
                options.profile, static_cast<std::uintmax_t>(files.rlim_cur),
                std::thread::hardware_concurrency());
    const std::string report = folder + "/report.jsonl";
    const std::vector<std::string> args = {VELTO_CLI_PROGRAM,
                                           "convert",
                                           "-p",
                                           std::to_string(options.profile),
                                           "-o",
                                           folder + "/out",
                                           "--quiet",
                                           "--files-from",
                                           list,
                                           "--report",
                                           report};
    const TRun first = RunProgram(args, folder + "/config");
    size_t lines = 0;
    Print("first run", first, options.files, Results(report, 0, lines));
    int status = first.status;
    if (options.rerun) {
        // An emptied output must be made again; the rest passed over.
        std::ofstream(folder + "/out/clip00007_(new).mp4", std::ios::trunc).close();
        std::vector<std::string> again = args;
        again.push_back("--skip-existing");
        const size_t before = lines;
        const TRun second = RunProgram(again, folder + "/config");
        Print("again, --skip-existing", second, options.files, Results(report, before, lines));
        std::printf("second run took %.2f of the first run's time\n", second.wall / first.wall);
        status = status ? status : second.status;
    }
    if (!options.keep)
        fs::remove_all(folder);
    else
        std::printf("kept %s\n", folder.c_str());
    return status;
}
