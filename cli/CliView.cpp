#include "CliView.h"

#include "JsonLine.h"

#include <cstdio>

namespace velto::cli {

namespace {

using Clock = std::chrono::steady_clock;

const char* LevelName(TLogLevel level) {
    switch (level) {
    case llQuiet:
        return "fatal";
    case llError:
        return "warning";
    case llInfo:
        return "info";
    case llDebug:
        return "debug";
    case llAll:
        return "trace";
    }
    return "info";
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int ProgressPercent(int currentMs, int totalMs) {
    if (totalMs <= 0 || currentMs <= 0)
        return 0;
    const std::int64_t percent = static_cast<std::int64_t>(currentMs) * 100 / totalMs;
    return percent > 100 ? 100 : static_cast<int>(percent);
}

int SecondsLeft(const TJobView& job, Clock::time_point now) {
    const int converted = job.CurrentMs - job.StartMs;
    if (job.TotalMs <= 0 || converted <= 0)
        return -1;
    const double elapsed = std::chrono::duration<double>(now - job.Started).count();
    const double remaining = job.TotalMs > job.CurrentMs ? job.TotalMs - job.CurrentMs : 0;
    return static_cast<int>(elapsed * remaining / converted + 0.5);
}

std::string ClockText(int seconds) {
    if (seconds < 0)
        seconds = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

std::string SizeText(std::int64_t bytes) {
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KB", bytes / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024.0));
    return text;
}

std::string ProgressLine(const TJobView& job, Clock::time_point now) {
    std::string line = "[" + std::to_string(job.Id + 1) + "] " + BaseName(job.Source) + "  " +
                       std::to_string(ProgressPercent(job.CurrentMs, job.TotalMs)) + "%  " +
                       ClockText(job.CurrentMs / 1000);
    if (job.TotalMs > 0)
        line += "/" + ClockText(job.TotalMs / 1000);
    line += "  " + std::to_string(job.Fps > 0 ? job.Fps : 0) + " fps  " + SizeText(job.Size);
    const int left = SecondsLeft(job, now);
    line += "  left " + (left < 0 ? std::string("?") : ClockText(left));
    return line;
}

std::string OverallLine(const std::vector<TJobView>& jobs) {
    std::int64_t done = 0, total = 0;
    int ended = 0;
    for (const TJobView& job : jobs) {
        if (job.Ended) {
            ++ended;
            if (job.TotalMs > 0) {
                done += job.TotalMs;
                total += job.TotalMs;
            }
            continue;
        }
        if (job.TotalMs > 0) {
            total += job.TotalMs;
            done += job.CurrentMs < job.TotalMs ? job.CurrentMs : job.TotalMs;
        }
    }
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 0;
    return "overall " + std::to_string(percent) + "%  " + std::to_string(ended) + "/" +
           std::to_string(jobs.size()) + " done";
}

void TConvertView::ClearLive() {
    if (mode_ != TViewMode::Terminal || liveLines_ == 0)
        return;
    out_ << "\x1b[" << liveLines_ << "A\x1b[J";
    liveLines_ = 0;
}

void TConvertView::Print(const std::string& line, bool toErr) {
    ClearLive();
    (toErr ? err_ : out_) << line << '\n';
    (toErr ? err_ : out_).flush();
}

void TConvertView::Added(const TJobView& job, const std::string& profile) {
    if (mode_ == TViewMode::Json) {
        Print(TJsonLine()
                  .Add("event", "added")
                  .Add("job", job.Id)
                  .Add("source", job.Source)
                  .Add("output", job.Output)
                  .Add("profile", profile)
                  .Text());
        return;
    }
    if (!quiet_)
        Print("added [" + std::to_string(job.Id + 1) + "] " + job.Source + " -> " + job.Output);
}

void TConvertView::AddFailed(int id, const std::string& source, const std::string& message) {
    if (mode_ == TViewMode::Json) {
        Print(TJsonLine()
                  .Add("event", "failed")
                  .Add("job", id)
                  .Add("source", source)
                  .AddNull("output")
                  .Add("message", message)
                  .Text());
        return;
    }
    Print("failed [" + std::to_string(id + 1) + "] " + source + ": " + message, true);
}

void TConvertView::Progress(const TJobView& job) {
    if (quiet_)
        return;
    if (mode_ == TViewMode::Json) {
        const int left = SecondsLeft(job, Clock::now());
        TJsonLine line;
        line.Add("event", "progress")
            .Add("job", job.Id)
            .Add("percent", ProgressPercent(job.CurrentMs, job.TotalMs))
            .Add("time_ms", job.CurrentMs)
            .Add("duration_ms", job.TotalMs)
            .Add("fps", job.Fps)
            .Add("size", job.Size);
        if (left < 0)
            line.AddNull("left_s");
        else
            line.Add("left_s", left);
        Print(line.Text());
    }
    // Terminal and plain lines come from Tick.
}

void TConvertView::Log(const TJobView* job, TLogLevel level, const std::string& message) {
    if (quiet_)
        return;
    if (mode_ == TViewMode::Json) {
        TJsonLine line;
        line.Add("event", "log");
        if (job)
            line.Add("job", job->Id);
        else
            line.AddNull("job");
        Print(line.Add("level", LevelName(level)).Add("message", message).Text());
        return;
    }
    // The libraries' information lines are for the JSON log; people see warnings and errors.
    if (level <= llError && !message.empty())
        Print((job ? "[" + std::to_string(job->Id + 1) + "] " : std::string()) + message, true);
}

void TConvertView::Ended(const TJobView& job) {
    const char* result = JobResultName(job.Result);
    if (mode_ == TViewMode::Json) {
        TJsonLine line;
        line.Add("event", result).Add("job", job.Id).Add("source", job.Source);
        if (job.Result == jrFinished || job.Result == jrIncomplete) {
            line.Add("output", job.Output).Add("size", job.Size);
            if (job.Forecast >= 0)
                line.Add("forecast", job.Forecast);
        } else {
            line.AddNull("output");
        }
        if (!job.Message.empty())
            line.Add("message", job.Message);
        Print(line.Text());
        return;
    }
    std::string text = std::string(result) + " [" + std::to_string(job.Id + 1) + "] " + job.Source;
    if (job.Result == jrFinished || job.Result == jrIncomplete)
        text += " -> " + job.Output + " (" + SizeText(job.Size) +
                (job.Forecast >= 0 ? ", forecast " + SizeText(job.Forecast) : std::string()) + ")";
    if (!job.Message.empty())
        text += ": " + job.Message;
    if (job.Result == jrFinished && quiet_)
        return;
    Print(text, job.Result != jrFinished);
}

void TConvertView::Forecast(const TJobView& job) {
    if (mode_ == TViewMode::Json) {
        TJsonLine line;
        line.Add("event", "forecast").Add("job", job.Id).Add("source", job.Source);
        line.Add("output", job.Output);
        if (job.Forecast >= 0)
            line.Add("size", job.Forecast);
        else
            line.AddNull("size");
        Print(line.Text());
        return;
    }
    Print("forecast [" + std::to_string(job.Id + 1) + "] " + job.Source + " -> " + job.Output +
          (job.Forecast >= 0 ? "  about " + SizeText(job.Forecast) : "  size unknown"));
}

void TConvertView::Room(const std::string& folder, std::int64_t needed, std::int64_t free) {
    if (mode_ == TViewMode::Json) {
        TJsonLine line;
        line.Add("event", "room").Add("folder", folder).Add("needed", needed);
        if (free >= 0)
            line.Add("free", free);
        else
            line.AddNull("free");
        Print(line.Text());
        return;
    }
    Print("room " + folder + ": needs about " + SizeText(needed) + ", " +
          (free >= 0 ? SizeText(free) + " free" : "free space unknown"));
}

void TConvertView::Skipped(const TJobView& job) {
    if (mode_ == TViewMode::Json) {
        Print(TJsonLine()
                  .Add("event", "skipped")
                  .Add("job", job.Id)
                  .Add("source", job.Source)
                  .Add("output", job.Output)
                  .Add("size", job.Size)
                  .Text());
        return;
    }
    if (!quiet_)
        Print("skipped [" + std::to_string(job.Id + 1) + "] " + job.Source + " -> " + job.Output +
              " (already there)");
}

void TConvertView::Tick(const std::vector<TJobView>& jobs) {
    if (quiet_ || mode_ == TViewMode::Json)
        return;
    const auto now = Clock::now();
    if (mode_ == TViewMode::Plain) {
        lastPlain_.resize(jobs.size());
        for (size_t i = 0; i < jobs.size(); ++i) {
            if (!jobs[i].Running || now - lastPlain_[i] < std::chrono::seconds(2))
                continue;
            lastPlain_[i] = now;
            Print(ProgressLine(jobs[i], now));
        }
        return;
    }
    ClearLive();
    for (const TJobView& job : jobs) {
        if (!job.Running)
            continue;
        out_ << ProgressLine(job, now) << '\n';
        ++liveLines_;
    }
    out_ << OverallLine(jobs) << '\n';
    ++liveLines_;
    out_.flush();
}

void TConvertView::Summary(const TSummary& summary) {
    if (mode_ == TViewMode::Json) {
        Print(TJsonLine()
                  .Add("event", "summary")
                  .Add("finished", summary.Finished)
                  .Add("incomplete", summary.Incomplete)
                  .Add("failed", summary.Failed)
                  .Add("stopped", summary.Stopped)
                  .Add("skipped", summary.Skipped)
                  .Add("exit", summary.ExitStatus)
                  .Text());
        return;
    }
    Print(std::to_string(summary.Finished) + " finished, " + std::to_string(summary.Incomplete) +
          " incomplete, " + std::to_string(summary.Failed) + " failed, " +
          std::to_string(summary.Stopped) + " stopped" +
          (summary.Skipped > 0 ? ", " + std::to_string(summary.Skipped) + " skipped" : ""));
}

void TConvertView::Error(const std::string& message) {
    if (mode_ == TViewMode::Json) {
        Print(TJsonLine().Add("event", "error").Add("message", message).Text());
        return;
    }
    Print("velto3gp: " + message, true);
}

} // namespace velto::cli
