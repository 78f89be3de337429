// Whole conversions through the engine, measured against a plain conversion written on the
// libraries (bench_libav_pipeline) and against the ffmpeg program when it is installed. Every
// conversion runs in a child process, so wall time, CPU time and peak memory come from the
// system the same way for all three; variants alternate and each figure is the median.
//   bench_convert [--runs N] [--seconds S] [file...]
// Without files it makes its clips with the test media factory: a 720p H.264 + MP3 clip for the
// single jobs and four short ones for the batch. Files named on the command line replace the
// 720p clip (each is measured on its own).
#include "ConcurrencyPolicy.h"
#include "FFmpegEngine.h"
#include "MediaFactory.h"
#include "ProfileCatalogue.h"
#include "ProfileMapping.h"
#include "SettingsStore.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace velto;

namespace {

constexpr int kMpeg4Profile = 0; // MP4 MPEG-4 Video
constexpr int kH264Profile = 10; // MP4 MPEG-4 AVC Video

struct Measure {
    double wall = 0, cpu = 0, peakMiB = 0;
};

TOutputOptions RecordFor(int profileIndex, const std::string& source, const std::string& folder) {
    TProfileCatalogue catalogue(SettingsFilePath(VELTO_DATA_DIR),
                                FactoryProfilesPath(VELTO_DATA_DIR));
    catalogue.Load();
    catalogue.Select(profileIndex);
    const TOutputProfile profile = catalogue.Profile();
    TOutputPlacement placement{folder + "/", true, {}};
    return BuildOutputOptions(profile, SelectionFor(profile), source, placement);
}

// Child: converts the inputs through the engine component, jobs at a time, each task with the
// given codec threads (0: automatic). Exit status 0 when every job finished.
int RunEngine(int jobs, int threads, int profileIndex, const std::string& folder,
              const std::vector<std::string>& inputs) {
    TFFmpegEngine engine;
    if (!engine.LoadLibraries(VELTO_LIBAV_DIR, true)) {
        std::fprintf(stderr, "%s\n", engine.LastError.c_str());
        return 1;
    }
    engine.SetLogLevel(llQuiet);
    for (const std::string& input : inputs) {
        if (!engine.Probe.LoadFile(input)) {
            std::fprintf(stderr, "%s\n", engine.Probe.LastError.c_str());
            return 1;
        }
        TInputOptions in = BuildInputOptions(engine.Probe);
        TOutputOptions out = RecordFor(profileIndex, input, folder);
        if (threads > 0)
            out.ExtOptions += "\nthreads=" + std::to_string(threads);
        const int index = engine.AddTask(input, &in);
        if (index < 0 || !engine.AddOutput(index, out.FileName, &out)) {
            std::fprintf(stderr, "%s\n", engine.LastError.c_str());
            return 1;
        }
    }
    std::mutex lock;
    std::condition_variable ended;
    bool done = false, allFinished = true;
    engine.OnTerminate = [&](int index, bool finished, bool failed, const std::string& message,
                             TJobResult) {
        std::lock_guard guard(lock);
        if (index < 0) {
            done = true;
            ended.notify_all();
        } else if (!finished || failed) {
            allFinished = false;
            std::fprintf(stderr, "job %d: %s\n", index, message.c_str());
        }
    };
    engine.StartTasks(SimultaneousJobs(jobs, engine.TaskCount(), MachineCores()));
    std::unique_lock guard(lock);
    ended.wait(guard, [&] { return done; });
    return allFinished ? 0 : 1;
}

// Runs a program in a child process and measures it; exits the benchmark when it fails.
Measure Spawn(const std::vector<std::string>& arguments) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Measure m;
    m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
            usage.ru_stime.tv_usec / 1e6;
    m.peakMiB = usage.ru_maxrss / 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string line;
        for (const std::string& argument : arguments)
            line += argument + " ";
        std::fprintf(stderr, "failed: %s\n", line.c_str());
        std::exit(1);
    }
    return m;
}

std::string Self() {
    return fs::read_symlink("/proc/self/exe").string();
}

std::vector<std::string> EngineCommand(int jobs, int threads, int profile,
                                       const std::string& folder,
                                       const std::vector<std::string>& inputs) {
    std::vector<std::string> command{
        Self(), "--engine", std::to_string(jobs), std::to_string(threads), std::to_string(profile),
        folder};
    command.insert(command.end(), inputs.begin(), inputs.end());
    return command;
}

// The settings the engine's record resolves to, for the two yardsticks.
struct Plain {
    std::string videoCodec, size, fps, audioCodec;
    int videoBitRate, audioBitRate, sampleRate, channels;
};

Plain PlainSettings(const TOutputOptions& r) {
    return {r.VideoCodec,
            r.FrameSize.empty() ? "320x240" : r.FrameSize,
            r.FrameRate.empty() ? "25" : r.FrameRate,
            r.AudioCodec == "libfaac" ? "aac" : r.AudioCodec,
            r.VideoBitRate,
            r.AudioBitRate,
            r.AudioSampleRate,
            r.AudioChannels > 0 ? r.AudioChannels : 2};
}

std::vector<std::string> PipelineCommand(const Plain& p, int threads, const std::string& input,
                                         const std::string& output) {
    return {(fs::path(Self()).parent_path() / "bench_libav_pipeline").string(),
            input,
            output,
            std::to_string(threads),
            p.videoCodec,
            p.size,
            p.fps,
            std::to_string(p.videoBitRate),
            p.audioCodec,
            std::to_string(p.audioBitRate),
            std::to_string(p.sampleRate),
            std::to_string(p.channels)};
}

// threads 0: the program's default threads.
std::vector<std::string> FfmpegCommand(const Plain& p, int threads, const std::string& input,
                                       const std::string& output) {
    std::vector<std::string> c{"ffmpeg", "-nostdin", "-v", "error", "-y"};
    if (threads > 0)
        c.insert(c.end(), {"-threads", std::to_string(threads)});
    c.insert(c.end(), {"-i", input});
    if (threads > 0)
        c.insert(c.end(), {"-threads", std::to_string(threads)});
    c.insert(c.end(), {"-s", p.size, "-r", p.fps, "-c:v", p.videoCodec, "-b:v",
                       std::to_string(p.videoBitRate), "-bt", std::to_string(p.videoBitRate),
                       "-c:a", p.audioCodec, "-b:a", std::to_string(p.audioBitRate), "-ar",
                       std::to_string(p.sampleRate), "-ac", std::to_string(p.channels), output});
    return c;
}

bool HaveFfmpeg() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Variant {
    std::string name;
    std::vector<std::string> command;
    std::vector<Measure> runs;
    Measure Median() const {
        std::vector<double> wall, cpu, peak;
        for (const Measure& m : runs) {
            wall.push_back(m.wall);
            cpu.push_back(m.cpu);
            peak.push_back(m.peakMiB);
        }
        return {::Median(wall), ::Median(cpu), ::Median(peak)};
    }
};

// Runs the variants in turn, runs times over, and prints their medians with the ratios of the
// first variant to each of the others.
void Compare(const std::string& title, std::vector<Variant> variants, int runs) {
    for (int i = 0; i < runs; ++i)
        for (Variant& v : variants)
            v.runs.push_back(Spawn(v.command));
    std::printf("\n%s (median of %d)\n", title.c_str(), runs);
    std::printf("  %-40s %8s %8s %9s\n", "", "wall s", "CPU s", "peak MiB");
    for (const Variant& v : variants) {
        const Measure m = v.Median();
        std::printf("  %-40s %8.2f %8.2f %9.1f\n", v.name.c_str(), m.wall, m.cpu, m.peakMiB);
    }
    const Measure first = variants[0].Median();
    for (size_t i = 1; i < variants.size(); ++i) {
        const Measure other = variants[i].Median();
        std::printf("  %s / %s: wall %.2fx, CPU %.2fx, peak %.2fx\n", variants[0].name.c_str(),
                    variants[i].name.c_str(), first.wall / other.wall, first.cpu / other.cpu,
                    first.peakMiB / other.peakMiB);
    }
    std::fflush(stdout);
}

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string CpuName() {
    std::ifstream file("/proc/cpuinfo");
    std::string line;
    while (std::getline(file, line))
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown";
}

std::string MakeClip(const std::string& folder, const std::string& name, double seconds, int width,
                     int height) {
    test::MediaRecipe recipe;
    recipe.seconds = seconds;
    test::VideoTrack video;
    video.encoder = "libx264";
    video.width = width;
    video.height = height;
    video.bitRate = 4000000;
    video.maxBFrames = 2;
    recipe.video.push_back(video);
    test::AudioTrack audio;
    audio.encoder = "libmp3lame";
    recipe.audio.push_back(audio);
    return test::MakeMedia(folder + "/" + name, recipe);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--engine" && argc >= 7)
        return RunEngine(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), argv[5],
                         std::vector<std::string>(argv + 6, argv + argc));

    int runs = 5;
    double seconds = 14.0;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (argument == "--seconds" && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else
            files.push_back(fs::absolute(argument).string());
    }
    TFFmpegEngine binder;
    if (!binder.LoadLibraries(VELTO_LIBAV_DIR, true)) {
        std::fprintf(stderr, "%s\n", binder.LastError.c_str());
        return 1;
    }
    const fs::path folder = fs::temp_directory_path() / ("velto_bench_" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string out = (folder / "out").string();
    fs::create_directories(out);
    std::vector<std::string> batch;
    if (files.empty()) {
        files.push_back(MakeClip(folder.string(), "clip720p.mkv", seconds, 1280, 720));
        for (int i = 0; i < 4; ++i)
            batch.push_back(
                MakeClip(folder.string(), "short" + std::to_string(i) + ".mkv", 4.0, 640, 360));
    }
    const bool ffmpeg = HaveFfmpeg();
    std::printf("Machine: %s, %d cores; load average before: %s\n", CpuName().c_str(),
                MachineCores(), LoadAverage().c_str());

    for (const std::string& file : files) {
        for (const int profile : {kMpeg4Profile, kH264Profile}) {
            const TOutputOptions record = RecordFor(profile, file, out);
            const Plain plain = PlainSettings(record);
            const std::string label = fs::path(file).filename().string() + " -> " +
                                      plain.videoCodec + " " + plain.size + " (profile " +
                                      std::to_string(profile) + ")";
            const std::string pipelineOut =
                out + "/pipeline" + fs::path(record.FileName).extension().string();
            const std::string ffmpegOut =
                out + "/ffmpeg" + fs::path(record.FileName).extension().string();
            std::vector<Variant> automatic{
                {"engine, automatic threads", EngineCommand(1, 0, profile, out, {file}), {}}};
            if (ffmpeg)
                automatic.push_back(
                    {"ffmpeg, default threads", FfmpegCommand(plain, 0, file, ffmpegOut), {}});
            automatic.push_back(
                {"engine, one thread", EngineCommand(1, 1, profile, out, {file}), {}});
            Compare(label + ": one job", automatic, runs);

            std::vector<Variant> single{
                {"engine, one thread", EngineCommand(1, 1, profile, out, {file}), {}},
                {"plain libav pipeline, one thread",
                 PipelineCommand(plain, 1, file, pipelineOut),
                 {}}};
            if (ffmpeg)
                single.push_back(
                    {"ffmpeg, one thread", FfmpegCommand(plain, 1, file, ffmpegOut), {}});
            Compare(label + ": one thread", single, runs);
        }
    }
    if (!batch.empty()) {
        std::vector<Variant> variants{{"engine, automatic jobs and threads",
                                       EngineCommand(0, 0, kMpeg4Profile, out, batch),
                                       {}},
                                      {"engine, one job at a time, one thread",
                                       EngineCommand(1, 1, kMpeg4Profile, out, batch),
                                       {}}};
        Compare("Batch of four 4 s 640x360 clips -> MPEG-4 profile", variants, runs);
    }
    std::printf("\nLoad average after: %s\n", LoadAverage().c_str());
    fs::remove_all(folder);
    return 0;
}
