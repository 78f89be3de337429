// What a size limit costs: the same job on the same clip once as one pass at the video rate the
// limit gives, once as the two passes (and any repeat) a limit runs, through the engine with the
// shipped profiles. Variants alternate; each figure is the median wall time.
//   bench_two_pass [--runs N] [--seconds S] [--limit BYTES]
// Without a limit it is 4 MiB per 30 s of clip (the 720p clip of the media factory).
#include "AVProbe.h"
#include "FFmpegEngine.h"
#include "JobBuilder.h"
#include "MediaFactory.h"
#include "ProfileCatalogue.h"
#include "SettingsStore.h"
#include "SizeForecast.h"
#include "TestLibraries.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace velto;

namespace {

constexpr int kProfiles[] = {24, 0}; // Phone / Tablet H.264 720p; MP4 MPEG-4 Video

TJobRecords Fitted(int profileIndex, const TSourceSummary& source, const std::string& folder,
                   std::int64_t limit) {
    TProfileCatalogue catalogue(SettingsFilePath(VELTO_DATA_DIR),
                                FactoryProfilesPath(VELTO_DATA_DIR));
    catalogue.Load();
    catalogue.Select(profileIndex);
    const TOutputProfile profile = catalogue.Profile();
    TJobBuilder builder(profile, SelectionFor(profile), TOutputPlacement{folder + "/", true, {}});
    builder.SetSizeLimit(limit);
    return builder.Build(source);
}

// The same records with no limit: one pass at the rate the limit gave.
TJobRecords OnePass(TJobRecords job) {
    std::string& text = job.Output.ExtOptions;
    const size_t at = text.find("fit_size=");
    if (at != std::string::npos)
        text.erase(at, text.find('\n', at) + 1 - at);
    return job;
}

// Seconds of wall time for the job, and its output's size.
double Run(const TJobRecords& job, std::int64_t& size) {
    TFFmpegEngine engine;
    if (!engine.LoadLibraries(test::LibAVFolder(), true)) {
        std::fprintf(stderr, "%s\n", engine.LastError.c_str());
        std::exit(1);
    }
    engine.SetLogLevel(llQuiet);
    std::mutex lock;
    std::condition_variable ended;
    bool done = false, finished = false;
    std::string message;
    engine.OnTerminate = [&](int index, bool, bool, const std::string& text, TJobResult result) {
        std::lock_guard guard(lock);
        if (index < 0) {
            done = true;
            ended.notify_all();
        } else {
            finished = result == jrFinished;
            message = text;
        }
    };
    const auto start = std::chrono::steady_clock::now();
    const TAddedJob added = AddJob(engine, job);
    if (added.Index < 0) {
        std::fprintf(stderr, "%s\n", added.Error.c_str());
        std::exit(1);
    }
    engine.StartTasks(1);
    {
        std::unique_lock guard(lock);
        ended.wait(guard, [&] { return done; });
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!finished) {
        std::fprintf(stderr, "job failed: %s\n", message.c_str());
        std::exit(1);
    }
    size = static_cast<std::int64_t>(fs::file_size(job.Output.FileName));
    fs::remove(job.Output.FileName);
    return seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 3;
    double seconds = 30;
    std::int64_t limit = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--seconds")
            seconds = std::max(1.0, std::atof(argv[i + 1]));
        else if (option == "--limit")
            limit = std::atoll(argv[i + 1]);
    }
    if (limit <= 0)
        limit = static_cast<std::int64_t>(4.0 * 1024 * 1024 * seconds / 30.0);
    test::LoadTestLibraries();
    const std::string folder = test::ScratchFolder();
    const std::string clip = test::MakeMotionClip(folder, seconds, 1280, 720);
    TAVProbe probe;
    if (!probe.LoadFile(clip))
        return 1;
    const TSourceSummary source = SummarizeSource(probe);
    probe.Close();
    std::printf("clip 1280x720, %.0f s; limit %s; %d alternating runs, median wall time\n\n",
                seconds, SizeText(limit).c_str(), runs);
    std::printf("| profile | one pass s | size | two passes s | size | ratio "
                "|\n|---|---|---|---|---|---|\n");
    for (const int profile : kProfiles) {
        const TJobRecords twoPasses = Fitted(profile, source, folder, limit);
        const TJobRecords onePass = OnePass(twoPasses);
        std::vector<double> one, two;
        std::int64_t oneSize = 0, twoSize = 0;
        for (int run = 0; run < runs; ++run) {
            one.push_back(Run(onePass, oneSize));
            two.push_back(Run(twoPasses, twoSize));
        }
        std::printf("| %d %s | %.2f | %s | %.2f | %s | %.2f |\n", profile,
                    twoPasses.Output.VideoCodec.c_str(), Median(one), SizeText(oneSize).c_str(),
                    Median(two), SizeText(twoSize).c_str(), Median(two) / Median(one));
    }
    return 0;
}
