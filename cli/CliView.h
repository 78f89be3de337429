// What velto3gp shows while it converts: on a terminal a live line per running job and an
// overall line, redrawn in place; into a pipe plain lines; with --json one object per line.
#pragma once

#include "JobResult.h"
#include "LogBridge.h"

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace velto::cli {

enum class TViewMode { Terminal, Plain, Json };

struct TJobView {
    int Id = 0; // position among the files given
    std::string Source;
    std::string Output;
    bool Running = false;
    bool Ended = false;
    TJobResult Result = jrStopped;
    std::string Message;
    int CurrentMs = 0;
    int TotalMs = -1;
    int Fps = 0;
    std::int64_t Size = 0;
    std::int64_t Forecast = -1; // expected output size in bytes; -1 unknown
    // When the first progress came, and the converted time it reported: the pace is measured
    // from there, since a job's set-up is no part of it.
    std::chrono::steady_clock::time_point Started{};
    int StartMs = 0;
    // The job's first event of the run: its time in the report counts from there.
    std::chrono::steady_clock::time_point Began{};
};

struct TSummary {
    int Finished = 0;
    int Incomplete = 0;
    int Failed = 0;
    int Stopped = 0;
    int Skipped = 0;
    int ExitStatus = 0;
};

// Whole percent of the converted time, 0 to 100; 0 while the length is unknown.
int ProgressPercent(int currentMs, int totalMs);
// Seconds left at the pace so far, or -1 while it cannot be told.
int SecondsLeft(const TJobView& job, std::chrono::steady_clock::time_point now);
// "h:mm:ss".
std::string ClockText(int seconds);
// "512 B", "1.5 KB", "12.3 MB".
std::string SizeText(std::int64_t bytes);
// One job's progress line: "[1] clip.avi  42%  0:00:12/0:00:30  25 fps  1.2 MB  left 0:00:17".
std::string ProgressLine(const TJobView& job, std::chrono::steady_clock::time_point now);
// The overall line over every job: "overall 35%  1/3 done".
std::string OverallLine(const std::vector<TJobView>& jobs);

class TConvertView {
public:
    TConvertView(TViewMode mode, bool quiet, std::ostream& out, std::ostream& err)
        : mode_(mode), quiet_(quiet), out_(out), err_(err) {}

    void Added(const TJobView& job, const std::string& profile);
    // A file that never became a job.
    void AddFailed(int id, const std::string& source, const std::string& message);
    void Progress(const TJobView& job);
    void Log(const TJobView* job, TLogLevel level, const std::string& message);
    void Ended(const TJobView& job);
    // A job's expected output size (for --dry-run).
    void Forecast(const TJobView& job);
    // What the outputs on one file system need against its free space.
    void Room(const std::string& folder, std::int64_t needed, std::int64_t free);
    // A job left out because its output is already there and complete.
    void Skipped(const TJobView& job);
    // Redraws the live lines (terminal only; plain lines at most every few seconds per job).
    void Tick(const std::vector<TJobView>& jobs);
    void Summary(const TSummary& summary);
    void Error(const std::string& message);

private:
    // Permanent text above the live block.
    void Print(const std::string& line, bool toErr = false);
    void ClearLive();

    TViewMode mode_;
    bool quiet_;
    std::ostream& out_;
    std::ostream& err_;
    int liveLines_ = 0;
    std::vector<std::chrono::steady_clock::time_point> lastPlain_;
};

} // namespace velto::cli
