// The --report file of velto3gp: one JSON object per job, appended as the job ends, for a
// scheduler or a script to collect. Each line goes out in one write() on a file opened for
// appending, so workers sharing a report never interleave and a crash never leaves half a line.
#pragma once

#include <cstdint>
#include <string>

namespace velto::cli {

struct TJobOutcome {
    std::string Source;
    std::string Output;     // empty when the job never had one
    std::string Result;     // finished, incomplete, failed, stopped, skipped
    std::int64_t Size = -1; // bytes of the output on disk; -1 when there is none
    double Duration = -1.0; // seconds of media in the output; -1 when unknown
    double Seconds = 0.0;   // wall-clock time the job took
    std::string Message;    // why it failed, was short or skipped; empty otherwise
};

// The report's line for a job, without the line feed.
std::string OutcomeLine(const TJobOutcome& outcome);

class TJobReport {
public:
    TJobReport() = default;
    ~TJobReport();
    TJobReport(const TJobReport&) = delete;
    TJobReport& operator=(const TJobReport&) = delete;

    // Opens (creating) the file for appending; false with the reason.
    bool Open(const std::string& fileName, std::string& error);
    bool IsOpen() const { return fd_ >= 0; }
    // Appends the job's line; false with the reason when it could not be written whole.
    bool Append(const TJobOutcome& outcome, std::string& error);

private:
    int fd_ = -1;
};

} // namespace velto::cli
