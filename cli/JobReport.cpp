#include "JobReport.h"

#include "JsonLine.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velto::cli {

std::string OutcomeLine(const TJobOutcome& outcome) {
    TJsonLine line;
    line.Add("source", outcome.Source);
    if (outcome.Output.empty())
        line.AddNull("output");
    else
        line.Add("output", outcome.Output);
    line.Add("result", outcome.Result);
    if (outcome.Size < 0)
        line.AddNull("size");
    else
        line.Add("size", outcome.Size);
    if (outcome.Duration < 0)
        line.AddNull("duration");
    else
        line.Add("duration", std::round(outcome.Duration * 1000.0) / 1000.0);
    line.Add("seconds", std::round(outcome.Seconds * 1000.0) / 1000.0);
    if (outcome.Message.empty())
        line.AddNull("message");
    else
        line.Add("message", outcome.Message);
    return line.Text();
}

TJobReport::~TJobReport() {
    if (fd_ >= 0)
        close(fd_);
}

bool TJobReport::Open(const std::string& fileName, std::string& error) {
    fd_ = open(fileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error = "cannot open the report '" + fileName + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

bool TJobReport::Append(const TJobOutcome& outcome, std::string& error) {
    const std::string line = OutcomeLine(outcome) + '\n';
    ssize_t written;
    do {
        written = write(fd_, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(line.size()))
        return true;
    // A short write (a full disk) leaves a partial line; a line feed ends it so that the
    // readers' next line stays whole.
    if (written > 0)
        (void)!write(fd_, "\n", 1);
    error = std::string("cannot write the report: ") +
            (written < 0 ? std::strerror(errno) : "the disk is full");
    return false;
}

} // namespace velto::cli
