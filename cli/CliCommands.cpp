#include "CliCommands.h"

#include "AVProbe.h"
#include "CliArguments.h"
#include "CliProfiles.h"
#include "CliView.h"
#include "ConcurrencyPolicy.h"
#include "FFmpegEngine.h"
#include "JobReport.h"
#include "JsonLine.h"
#include "OutputFileName.h"
#include "OutputVerifier.h"
#include "SizeForecast.h"
#include "WorkerEnvironment.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

namespace velto::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kProgramVersion = VELTO_VERSION;

bool LoadEngine(TFFmpegEngine& engine, const TCliPaths& paths, TConvertView& view) {
    if (engine.LoadLibraries(paths.LibrariesFolder, true))
        return true;
    view.Error(engine.LastError);
    return false;
}

int Profiles(const TCliArguments& args, const TCliPaths& paths, std::ostream& out) {
    TProfileCatalogue catalogue(paths.SettingsFile, paths.FactoryProfiles);
    catalogue.Load();
    const auto& titles = catalogue.Titles();
    for (size_t i = 0; i < titles.size(); ++i) {
        if (!args.Json) {
            out << i << '\t' << titles[i] << '\n';
            continue;
        }
        catalogue.Select(static_cast<int>(i));
        const TOutputProfile& p = catalogue.Profile();
        out << TJsonLine()
                   .Add("index", static_cast<int>(i))
                   .Add("title", titles[i])
                   .Add("file_type", p.FileType)
                   .Add("video", p.VideoFormat)
                   .Add("audio", p.AudioFormat)
                   .Add("frame_size", p.FrameSize)
                   .Add("frame_rate", p.Framerate)
                   .Add("video_kbits", p.VideoBitrate)
                   .Add("audio_kbits", p.AudioBitrate)
                   .Add("sample_rate", p.SampleBitrate)
                   .Add("channels", p.Channels + 1)
                   .Text()
            << '\n';
    }
    return kExitFinished;
}

std::string StreamsJson(const TAVProbe& probe) {
    std::string json = "[";
    for (int i = 0; i < probe.StreamCount; ++i) {
        const AVMediaType type = probe.FormatContext()->streams[i]->codecpar->codec_type;
        TJsonLine stream;
        stream.Add("index", i);
        if (type == AVMEDIA_TYPE_VIDEO) {
            TVideoStreamInfo v{};
            probe.GetVideoStreamInfo(i, v);
            stream.Add("type", "video").Add("codec", std::string(v.CodecName));
            stream.Add("width", v.Width).Add("height", v.Height);
            stream.Add("fps", v.FrameRateDen > 0 ? double(v.FrameRateNum) / v.FrameRateDen : 0.0);
            stream.Add("bit_rate", v.BitRate);
        } else if (type == AVMEDIA_TYPE_AUDIO) {
            TAudioStreamInfo a{};
            probe.GetAudioStreamInfo(i, a);
            stream.Add("type", "audio").Add("codec", std::string(a.CodecName));
            stream.Add("sample_rate", a.SampleRate).Add("channels", a.Channels);
            stream.Add("bit_rate", a.BitRate);
            if (a.Language[0])
                stream.Add("language", std::string(a.Language));
        } else {
            stream.Add("type", type == AVMEDIA_TYPE_SUBTITLE ? "subtitle" : "other");
        }
        if (i > 0)
            json += ',';
        json += stream.Text();
    }
    return json + "]";
}

std::string StreamsText(const TAVProbe& probe) {
    std::string text;
    for (int i = 0; i < probe.StreamCount; ++i) {
        const AVMediaType type = probe.FormatContext()->streams[i]->codecpar->codec_type;
        char line[256];
        if (type == AVMEDIA_TYPE_VIDEO) {
            TVideoStreamInfo v{};
            probe.GetVideoStreamInfo(i, v);
            std::snprintf(line, sizeof line, "  #%d video %s %dx%d %.3f fps\n", i, v.CodecName,
                          v.Width, v.Height,
                          v.FrameRateDen > 0 ? double(v.FrameRateNum) / v.FrameRateDen : 0.0);
        } else if (type == AVMEDIA_TYPE_AUDIO) {
            TAudioStreamInfo a{};
            probe.GetAudioStreamInfo(i, a);
            std::snprintf(line, sizeof line, "  #%d audio %s %d Hz %d ch\n", i, a.CodecName,
                          a.SampleRate, a.Channels);
        } else {
            std::snprintf(line, sizeof line, "  #%d %s\n", i,
                          type == AVMEDIA_TYPE_SUBTITLE ? "subtitle" : "other");
        }
        text += line;
    }
    return text;
}

// The container the library read the file as ("avi", "mov,mp4,m4a,3gp,3g2,mj2"): the probe's
// InputFormatName is the format it was told to use, empty when it found one itself.
std::string DetectedFormat(const TAVProbe& probe) {
    const AVFormatContext* context = probe.FormatContext();
    return context && context->iformat && context->iformat->name ? context->iformat->name
                                                                 : "unknown";
}

int Probe(const TCliArguments& args, const TCliPaths& paths, const TCliContext& context) {
    TConvertView view(args.Json ? TViewMode::Json : TViewMode::Plain, args.Quiet, *context.Out,
                      *context.Err);
    TFFmpegEngine engine;
    if (!LoadEngine(engine, paths, view))
        return kExitFailed;
    engine.SetLogLevel(llQuiet);
    int status = kExitFinished;
    for (const std::string& file : args.Files) {
        TAVProbe& probe = engine.Probe;
        if (!probe.LoadFile(file)) {
            status = kExitFailed;
            if (args.Json)
                *context.Out << TJsonLine().Add("file", file).Add("error", probe.LastError).Text()
                             << '\n';
            else
                *context.Err << "velto3gp: " << file << ": " << probe.LastError << '\n';
            continue;
        }
        TFormatInfo info{};
        probe.GetFormatInfo(info);
        const std::int64_t durationMs = info.Duration > 0 ? info.Duration / 1000 : -1;
        if (args.Json) {
            *context.Out << TJsonLine()
                                .Add("file", file)
                                .Add("format", DetectedFormat(probe))
                                .Add("duration_ms", durationMs)
                                .Add("size", probe.GetFileSize())
                                .Add("bit_rate", info.BitRate)
                                .AddRaw("streams", StreamsJson(probe))
                                .Text()
                         << '\n';
        } else {
            *context.Out << file << ": " << DetectedFormat(probe) << ", "
                         << ClockText(static_cast<int>(durationMs / 1000)) << ", "
                         << SizeText(probe.GetFileSize()) << '\n'
                         << StreamsText(probe);
        }
        probe.Close();
    }
    return status;
}

// What the engine's handlers pass to the main thread; they run under the engine's lock and only
// copy.
struct TEngineEvent {
    enum { Progress, Log, Ended, BatchEnded } Kind = Log;
    std::uint64_t Serial = 0; // the task's; 0 for the engine's own lines
    int CurrentMs = 0, TotalMs = -1, Fps = 0;
    std::int64_t Size = 0;
    TLogLevel Level = llInfo;
    std::string Text;
    TJobResult Result = jrStopped;
};

class TConvertRun {
public:
    TConvertRun(const TCliArguments& args, const TCliPaths& paths, const TCliContext& context)
        : args_(args), paths_(paths), context_(context),
          view_(args.Json               ? TViewMode::Json
                : context.OutIsTerminal ? TViewMode::Terminal
                                        : TViewMode::Plain,
                args.Quiet, *context.Out, *context.Err) {}

    int Run();

private:
    // The sources of the command line and --files-from; false with the usage error printed.
    bool ReadSources();
    // The output name already holds a complete output of this job: the job is reported
    // skipped and not added.
    bool SkipDone(int id, const TSourceSummary& source, const TJobRecords& records);
    // One line in the --report file, when one is kept.
    void Report(const TJobOutcome& outcome);
    bool AddJobs(const TOutputProfile& profile, const TProfileSelection& selection,
                 const std::string& title);
    void BindEvents();
    // Runs the jobs to the batch's end; true when the user interrupted it.
    bool RunBatch();
    // Prints the summary; the exit status.
    int Summarize(bool interrupted);
    TJobView PlannedJob(int id, const TSourceSummary& source, const TJobRecords& records) const;
    // Whether every output folder can hold what the batch will write there (said when not).
    bool EnoughRoom();
    // Pauses the jobs while those being written would fill their folder at the pace they write,
    // and resumes them once there is room (or after a while without, to fail as a retry).
    void WatchRoom();
    void Push(TEngineEvent event);
    void Handle(const TEngineEvent& event);
    // Handles what the engine has raised so far, on the calling thread.
    void HandleWaitingEvents();
    TJobView* JobOfTask(std::uint64_t serial);
    // The job's end: shown, reported, its own scratch removed.
    void EndJob(TJobView& job, TJobResult result, const std::string& message);
    // The engine holds the jobs running and a few to start next; the rest wait here as their
    // records, so a list of thousands costs little. Called as jobs end.
    void FeedEngine(int atOnce, bool interrupted);
    // Jobs the engine holds at once: those that run, and some to start as soon as one ends.
    int TasksAhead() const;

    const TCliArguments& args_;
    const TCliPaths& paths_;
    const TCliContext& context_;
    TConvertView view_;
    TFFmpegEngine engine_;
    std::vector<std::string> sources_; // what to convert, in order: Id is the position here
    std::vector<TJobView> jobs_;       // one per file that passed Add's checks, in order
    std::unordered_map<std::uint64_t, int> jobOfSerial_; // engine task serial -> jobs_ position
    std::deque<std::pair<int, TJobRecords>> waiting_;    // jobs not yet given to the engine
    int batches_ = 0;                                    // started and not yet ended
    std::vector<int> addFailures_;                       // files that did not
    std::vector<std::string> addFailureMessages_;
    int skipped_ = 0;
    TJobReport report_;
    // Two-pass logs and anything else of a job's own: never the working folder.
    TPrivateFolder scratch_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<TEngineEvent> events_;
    Clock::time_point roomChecked_{};
    Clock::time_point pausedForRoom_{};
    bool roomPaused_ = false;
};

void TConvertRun::Push(TEngineEvent event) {
    {
        std::lock_guard guard(lock_);
        events_.push_back(std::move(event));
    }
    changed_.notify_all();
}

void TConvertRun::HandleWaitingEvents() {
    std::deque<TEngineEvent> events;
    {
        std::lock_guard guard(lock_);
        events.swap(events_);
    }
    for (const TEngineEvent& event : events)
        Handle(event);
}

TJobView* TConvertRun::JobOfTask(std::uint64_t serial) {
    const auto at = jobOfSerial_.find(serial);
    return at == jobOfSerial_.end() ? nullptr : &jobs_[static_cast<size_t>(at->second)];
}

int TConvertRun::TasksAhead() const {
    return SimultaneousJobs(args_.Jobs, static_cast<int>(sources_.size()), MachineCores()) + 2;
}

void TConvertRun::FeedEngine(int atOnce, bool interrupted) {
    bool added = false;
    while (!interrupted && !waiting_.empty() && engine_.TaskCount() < TasksAhead()) {
        auto [position, records] = std::move(waiting_.front());
        waiting_.pop_front();
        TJobView& job = jobs_[static_cast<size_t>(position)];
        const TAddedJob again = AddJob(engine_, records);
        if (again.Index < 0) {
            // The file changed or went since the checks: the job fails as any failed run does.
            job.Began = Clock::now();
            EndJob(job, jrFailed, again.Error);
            continue;
        }
        const std::uint64_t serial = engine_.TaskSerial(again.Index);
        jobOfSerial_[serial] = position;
        job.Began = Clock::time_point{};
        // The checks' lines were shown when the job was first added.
        std::lock_guard guard(lock_);
        std::erase_if(events_, [serial](const TEngineEvent& event) {
            return event.Serial == serial && event.Kind == TEngineEvent::Log;
        });
        added = true;
    }
    if (added && !engine_.StartTasks(atOnce))
        ++batches_;
}

bool TConvertRun::AddJobs(const TOutputProfile& profile, const TProfileSelection& selection,
                          const std::string& title) {
    if (!args_.OutputDir.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(args_.OutputDir, error)) {
            view_.Error("output folder '" + args_.OutputDir + "' does not exist");
            return false;
        }
    }
    TJobBuilder builder = JobBuilderFor(args_, paths_.SettingsFile, profile, selection);
    const auto refuse = [this](int id, const std::string& file, const std::string& message) {
        view_.AddFailed(id, file, message);
        addFailures_.push_back(id);
        addFailureMessages_.push_back(message);
        TJobOutcome outcome;
        outcome.Source = file;
        outcome.Result = "failed";
        outcome.Message = message;
        Report(outcome);
    };
    for (size_t id = 0; id < sources_.size(); ++id) {
        // Ctrl-C or a scheduler's cancel stops a long list while it is still being added.
        if (context_.Interrupted && context_.Interrupted->load())
            break;
        // What the last job's checks logged is shown now rather than held for the whole list;
        // a dry run shows only its forecast.
        if (args_.DryRun) {
            std::lock_guard guard(lock_);
            events_.clear();
        } else {
            HandleWaitingEvents();
        }
        const std::string& file = sources_[id];
        TAVProbe& probe = engine_.Probe;
        if (!probe.LoadFile(file)) {
            refuse(static_cast<int>(id), file, probe.LastError);
            continue;
        }
        const TSourceSummary source = SummarizeSource(probe);
        probe.Close();
        TJobRecords records = builder.Build(source);
        for (const std::string& note : builder.Notes())
            view_.Log(nullptr, llError, note);
        if (!builder.Refusal().empty()) {
            refuse(static_cast<int>(id), file, builder.Refusal());
            continue;
        }
        if (args_.SkipExisting && SkipDone(static_cast<int>(id), source, records))
            continue;
        if (!args_.DryRun && !scratch_.Path().empty()) {
            const std::string own = scratch_.Path() + "/" + std::to_string(id);
            std::error_code error;
            if (std::filesystem::create_directory(own, error)) {
                std::string& text = records.Output.ExtOptions;
                if (!text.empty() && text.back() != '\n')
                    text += '\n';
                text += "passlogfile=" + own + "/pass";
            }
        }
        const TAddedJob added = AddJob(engine_, records);
        if (added.Index < 0) {
            refuse(static_cast<int>(id), file, added.Error);
            continue;
        }
        jobOfSerial_[engine_.TaskSerial(added.Index)] = static_cast<int>(jobs_.size());
        jobs_.push_back(PlannedJob(static_cast<int>(id), source, records));
        // A dry run forecasts only what a real run would take: the engine's checks ran.
        if (args_.DryRun) {
            engine_.RemoveTask(added.Index);
            view_.Forecast(jobs_.back());
            continue;
        }
        if (engine_.TaskCount() > TasksAhead()) {
            engine_.RemoveTask(added.Index);
            waiting_.emplace_back(static_cast<int>(jobs_.size()) - 1, std::move(records));
        }
        view_.Added(jobs_.back(), title);
    }
    return true;
}

TJobView TConvertRun::PlannedJob(int id, const TSourceSummary& source,
                                 const TJobRecords& records) const {
    TJobView job;
    job.Id = id;
    job.Source = sources_[static_cast<size_t>(id)];
    job.Output = records.Output.FileName;
    job.TotalMs = source.DurationUs > 0 ? static_cast<int>(source.DurationUs / 1000) : -1;
    job.Forecast = ForecastSize(records, source);
    return job;
}

bool TConvertRun::EnoughRoom() {
    std::vector<TPlannedOutput> outputs;
    for (const TJobView& job : jobs_)
        outputs.push_back({job.Output, job.Forecast});
    std::string shortage;
    for (const TFolderRoom& room : RoomForOutputs(outputs)) {
        if (args_.DryRun)
            view_.Room(room.Folder, room.Needed, room.Free);
        if (!room.Enough()) {
            view_.Error("not enough room for the outputs: " + room.Shortage());
            if (shortage.empty())
                shortage = room.Shortage();
        }
    }
    if (shortage.empty() || args_.DryRun)
        return shortage.empty();
    // The whole batch is refused: a script's report says so for every job.
    for (const TJobView& job : jobs_) {
        TJobOutcome outcome;
        outcome.Source = job.Source;
        outcome.Result = "failed";
        outcome.Message = "not enough room for the outputs: " + shortage;
        Report(outcome);
    }
    return false;
}

bool TConvertRun::ReadSources() {
    sources_ = args_.Files;
    if (args_.FilesFrom.empty())
        return true;
    const int item = args_.Item >= 0 ? args_.Item : SchedulerItem();
    std::ifstream file;
    std::istream* list = context_.In ? context_.In : &std::cin;
    if (args_.FilesFrom != "-") {
        file.open(args_.FilesFrom);
        if (!file) {
            *context_.Err << "velto3gp: cannot read the list '" << args_.FilesFrom
                          << "': " << std::strerror(errno) << '\n';
            return false;
        }
        list = &file;
    }
    std::string error;
    if (!SourcesFromList(*list, item, sources_, error)) {
        *context_.Err << "velto3gp: " << args_.FilesFrom << ": " << error << '\n';
        return false;
    }
    return true;
}

bool TConvertRun::SkipDone(int id, const TSourceSummary& source, const TJobRecords& records) {
    const std::string& output = records.Output.FileName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(output, error))
        return false;
    TOutputExpectation expected;
    expected.Video = source.VideoStreams > 0 && !records.Output.DisableVideo;
    expected.Audio = source.AudioStreams > 0 && !records.Output.DisableAudio;
    expected.Duration = source.DurationUs > 0 ? source.DurationUs : -1;
    if (records.Output.RecordingTime > 0) {
        const std::int64_t limit = static_cast<std::int64_t>(records.Output.RecordingTime) * 1000;
        expected.Duration = expected.Duration > 0 ? std::min(expected.Duration, limit) : limit;
    }
    const TOutputCheck check = VerifyOutput(output, expected);
    if (check.Verdict != ovValid)
        return false;
    ++skipped_;
    TJobView job;
    job.Id = id;
    job.Source = source.FileName.empty() ? sources_[static_cast<size_t>(id)] : source.FileName;
    job.Output = output;
    const auto size = std::filesystem::file_size(output, error);
    job.Size = error ? 0 : static_cast<std::int64_t>(size);
    view_.Skipped(job);
    TJobOutcome outcome;
    outcome.Source = sources_[static_cast<size_t>(id)];
    outcome.Output = output;
    outcome.Result = "skipped";
    outcome.Size = error ? -1 : job.Size;
    outcome.Duration = check.Duration > 0 ? check.Duration / 1e6 : -1.0;
    outcome.Message = "the output is already there and complete";
    Report(outcome);
    return true;
}

void TConvertRun::Report(const TJobOutcome& outcome) {
    if (!report_.IsOpen())
        return;
    std::string error;
    if (!report_.Append(outcome, error))
        view_.Error(error);
}

void TConvertRun::Handle(const TEngineEvent& event) {
    TJobView* job = JobOfTask(event.Serial);
    if (job && !job->Ended && job->Began == Clock::time_point{})
        job->Began = Clock::now();
    switch (event.Kind) {
    case TEngineEvent::Progress:
        if (!job)
            return;
        if (!job->Running) {
            job->Running = true;
            job->Started = Clock::now();
            job->StartMs = event.CurrentMs;
        }
        job->CurrentMs = event.CurrentMs;
        if (event.TotalMs > 0)
            job->TotalMs = event.TotalMs;
        job->Fps = event.Fps;
        job->Size = event.Size;
        view_.Progress(*job);
        break;
    case TEngineEvent::Log:
        view_.Log(job, event.Level, event.Text);
        break;
    case TEngineEvent::Ended:
        if (job)
            EndJob(*job, event.Result, event.Text);
        break;
    case TEngineEvent::BatchEnded:
        --batches_;
        break;
    }
}

void TConvertRun::EndJob(TJobView& job, TJobResult result, const std::string& message) {
    job.Running = false;
    job.Ended = true;
    job.Result = result;
    job.Message = message;
    TJobOutcome outcome;
    outcome.Source = job.Source;
    outcome.Result = JobResultName(result);
    outcome.Message = message;
    outcome.Seconds = std::chrono::duration<double>(Clock::now() - job.Began).count();
    if (result == jrFinished || result == jrIncomplete) {
        std::error_code error;
        const auto size = std::filesystem::file_size(job.Output, error);
        if (!error)
            job.Size = static_cast<std::int64_t>(size);
        outcome.Output = job.Output;
        outcome.Size = error ? -1 : job.Size;
        if (report_.IsOpen()) {
            const TOutputCheck check = VerifyOutput(job.Output, {});
            outcome.Duration = check.Duration > 0 ? check.Duration / 1e6 : -1.0;
        }
    }
    view_.Ended(job);
    Report(outcome);
    if (!scratch_.Path().empty()) {
        std::error_code error;
        std::filesystem::remove_all(scratch_.Path() + "/" + std::to_string(job.Id), error);
    }
}

void TConvertRun::BindEvents() {
    engine_.OnProgress = [this](int, int, int fps, int currentMs, float, float, std::int64_t size,
                                int totalMs) {
        TEngineEvent event;
        event.Kind = TEngineEvent::Progress;
        event.Serial = TFFmpegEngine::ReportingTaskSerial();
        event.Fps = fps;
        event.CurrentMs = currentMs;
        event.Size = size;
        event.TotalMs = totalMs;
        Push(std::move(event));
    };
    engine_.OnLog = [this](int, TLogLevel level, const std::string& message) {
        TEngineEvent event;
        event.Kind = TEngineEvent::Log;
        event.Serial = TFFmpegEngine::ReportingTaskSerial();
        event.Level = level;
        event.Text = message;
        Push(std::move(event));
    };
    engine_.OnTerminate = [this](int index, bool, bool, const std::string& message,
                                 TJobResult result) {
        TEngineEvent event;
        event.Kind = index < 0 ? TEngineEvent::BatchEnded : TEngineEvent::Ended;
        event.Serial = index < 0 ? 0 : TFFmpegEngine::ReportingTaskSerial();
        event.Text = message;
        event.Result = result;
        Push(std::move(event));
    };
}

bool TConvertRun::RunBatch() {
    bool interrupted = false;
    const int atOnce = SimultaneousJobs(args_.Jobs, static_cast<int>(jobs_.size()), MachineCores());
    // What Add logged comes first; a job's time counts from its first event of the run.
    HandleWaitingEvents();
    for (TJobView& job : jobs_)
        job.Began = Clock::time_point{};
    batches_ = engine_.StartTasks(atOnce) ? 0 : 1;
    auto nextTick = Clock::now();
    for (;;) {
        std::deque<TEngineEvent> events;
        {
            std::unique_lock guard(lock_);
            changed_.wait_for(guard, std::chrono::milliseconds(100),
                              [this] { return !events_.empty(); });
            events.swap(events_);
        }
        for (const TEngineEvent& event : events) {
            Handle(event);
            // An ended job leaves the engine; one that waits takes its place below.
            if (event.Kind == TEngineEvent::Ended && event.Serial != 0) {
                const int index = engine_.TaskIndex(event.Serial);
                if (index >= 0)
                    engine_.RemoveTask(index);
            }
        }
        FeedEngine(atOnce, interrupted);
        if (batches_ <= 0 && (waiting_.empty() || interrupted))
            break;
        if (!interrupted && context_.Interrupted && context_.Interrupted->load()) {
            interrupted = true;
            engine_.StopTasks();
        }
        if (!interrupted)
            WatchRoom();
        if (Clock::now() >= nextTick) {
            view_.Tick(jobs_);
            nextTick = Clock::now() + std::chrono::milliseconds(250);
        }
    }
    engine_.OnProgress = nullptr;
    engine_.OnLog = nullptr;
    engine_.OnTerminate = nullptr;
    engine_.ClearTasks();
    return interrupted;
}

void TConvertRun::WatchRoom() {
    const Clock::time_point now = Clock::now();
    if (now - roomChecked_ < std::chrono::seconds(roomPaused_ ? 2 : 1))
        return;
    roomChecked_ = now;
    std::vector<TWritingOutput> writing;
    for (const TJobView& job : jobs_)
        if (job.Running && !job.Ended)
            writing.push_back({job.Output, job.Size, job.CurrentMs, job.TotalMs, job.Forecast});
    std::string shortage;
    for (const TFolderRoom& room : RoomForWritingOutputs(writing))
        if (!room.Enough())
            shortage += (shortage.empty() ? "" : "; ") + room.Shortage();
    if (!roomPaused_) {
        if (shortage.empty())
            return;
        roomPaused_ = true;
        pausedForRoom_ = now;
        engine_.PauseTasks();
        view_.Error("the output folder is filling faster than forecast (" + shortage +
                    "): paused until there is room");
        return;
    }
    // Nobody may be there to make room: a worker gives up waiting, and a job that then runs out
    // of space fails as one to retry.
    const bool waitedLong = now - pausedForRoom_ >= std::chrono::minutes(10);
    if (!shortage.empty() && !waitedLong)
        return;
    roomPaused_ = false;
    engine_.ResumeTasks();
    view_.Error(shortage.empty() ? "there is room again: resumed"
                                 : "no room was made in 10 minutes: resumed anyway");
}

int TConvertRun::Summarize(bool interrupted) {
    TSummary summary;
    summary.Failed = static_cast<int>(addFailures_.size());
    summary.Skipped = skipped_;
    bool retryable = false;
    for (const std::string& message : addFailureMessages_)
        retryable = retryable || RetryableFailure(message);
    for (const TJobView& job : jobs_) {
        if (job.Ended && job.Result == jrFailed && RetryableFailure(job.Message))
            retryable = true;
        switch (job.Ended ? job.Result : jrStopped) {
        case jrFinished:
            ++summary.Finished;
            break;
        case jrIncomplete:
            ++summary.Incomplete;
            break;
        case jrFailed:
            ++summary.Failed;
            break;
        case jrStopped:
            ++summary.Stopped;
            break;
        }
    }
    interrupted = interrupted || (context_.Interrupted && context_.Interrupted->load());
    const bool terminated = context_.InterruptSignal && context_.InterruptSignal->load() == SIGTERM;
    // A retry helps the jobs that failed for a passing reason; the others fail again, and
    // --skip-existing passes over what is done.
    if (interrupted)
        summary.ExitStatus = terminated ? kExitTerminated : kExitInterrupted;
    else if (summary.Finished + summary.Skipped == static_cast<int>(sources_.size()))
        summary.ExitStatus = kExitFinished;
    else
        summary.ExitStatus = retryable ? kExitTemporary : kExitFailed;
    view_.Summary(summary);
    return summary.ExitStatus;
}

int TConvertRun::Run() {
    TProfileCatalogue catalogue(paths_.SettingsFile, paths_.FactoryProfiles);
    catalogue.Load();
    const int profileIndex = FindProfile(catalogue.Titles(), args_.Profile);
    if (profileIndex < 0) {
        *context_.Err << "velto3gp: no profile '" << args_.Profile
                      << "' (see 'velto3gp profiles')\n";
        return kExitUsage;
    }
    catalogue.Select(profileIndex);
    TProfileSelection selection = catalogue.Selection();
    std::string error;
    if (!ApplyOverrides(args_, selection, error)) {
        *context_.Err << "velto3gp: " << error << '\n';
        return kExitUsage;
    }
    if (!ReadSources())
        return kExitUsage;
    if (!args_.ReportFile.empty()) {
        if (!report_.Open(args_.ReportFile, error)) {
            *context_.Err << "velto3gp: " << error << '\n';
            return kExitUsage;
        }
    }
    if (!LoadEngine(engine_, paths_, view_))
        return kExitFailed;
    engine_.SetLogLevel(llInfo);
    engine_.SetProgressInterval(500);
    engine_.ThreadPriority = tpNormal;
    BindEvents();
    if (!AddJobs(catalogue.Profile(), selection, catalogue.Titles()[profileIndex]))
        return kExitUsage;
    // Refused before any work: a disk found full minutes in costs the time and the file.
    if (!EnoughRoom()) {
        engine_.ClearTasks();
        return kExitFailed;
    }
    if (args_.DryRun)
        return addFailures_.empty() ? kExitFinished : kExitFailed;
    const bool interrupted = !jobs_.empty() && RunBatch();
    return Summarize(interrupted);
}

} // namespace

int RunCli(const std::vector<std::string>& args, const TCliContext& context) {
    const TParseResult parsed = ParseArguments(args);
    if (!parsed.Arguments) {
        *context.Err << "velto3gp: " << parsed.Error << "\n\n" << UsageText();
        return kExitUsage;
    }
    const TCliArguments& a = *parsed.Arguments;
    switch (a.Command) {
    case TCommand::Help:
        *context.Out << UsageText();
        return kExitFinished;
    case TCommand::Version:
        *context.Out << "velto3gp " << kProgramVersion << " (engine " << TFFmpegEngine::Version
                     << ")\n";
        return kExitFinished;
    default:
        break;
    }
    const TCliPaths paths = PathsForProgram(context.ProgramFolder);
    if (!paths.SettingsError.empty() && !a.Quiet)
        *context.Err << "velto3gp: " << paths.SettingsError << '\n';
    switch (a.Command) {
    case TCommand::Profiles:
        return Profiles(a, paths, *context.Out);
    case TCommand::Probe:
        return Probe(a, paths, context);
    case TCommand::Convert: {
        TConvertRun run(a, paths, context);
        return run.Run();
    }
    default:
        return kExitUsage;
    }
}

} // namespace velto::cli
