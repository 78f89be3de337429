// Measures how long the media probe takes per file and how much memory a probe holds, on files
// made by the test media factory. Run by hand: bench_probe [repetitions].
#include "AVProbe.h"
#include "LibraryBinding.h"
#include "MediaFactory.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long value = 0;
            status >> value;
            return value;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 200;
    if (!velto::LoadLibraries(VELTO_LIBAV_DIR, true)) {
        std::fprintf(stderr, "%s\n", velto::LibraryError().c_str());
        return 1;
    }
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "velto_bench";
    std::filesystem::create_directories(folder);
    const std::string files[] = {
        velto::test::MakeAviMpeg4Mp2(folder.string(), 5.0),
        velto::test::MakeMp4H264Aac(folder.string(), 5.0),
        velto::test::MakeMpegPsMpeg2Mp2(folder.string(), 5.0),
        velto::test::MakeMp3(folder.string(), 5.0),
    };
    for (const std::string& file : files) {
        velto::TAVProbe probe;
        const long before = ResidentKilobytes();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < repetitions; ++i) {
            if (!probe.LoadFile(file)) {
                std::fprintf(stderr, "%s\n", probe.LastError.c_str());
                return 1;
            }
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const double perFile =
            std::chrono::duration<double, std::micro>(elapsed).count() / repetitions;
        std::printf("%-40s %9.1f us/probe  rss %+ld KiB after %d probes\n",
                    std::filesystem::path(file).filename().c_str(), perFile,
                    ResidentKilobytes() - before, repetitions);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
