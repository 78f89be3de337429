// One row of the conversion list: seven texts in column order, the job's state and paths, and
// the text formats the rows use for durations and byte counts.
#pragma once

#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace velto {

struct TDialogChoice;
struct TInputOptions;
struct TOutputOptions;

// How fast one job converts: its source time against the run's own time (pauses left out),
// measured from its first report so that time spent waiting in the queue does not count.
struct TJobPace {
    std::int64_t FirstMediaMs = -1;
    std::int64_t FirstRunMs = 0;
    std::int64_t LastMediaMs = 0;
    std::int64_t LastRunMs = 0;
    void Report(std::int64_t mediaMs, std::int64_t runMs);
    // Time left for the rest of totalMs at the pace so far; -1 while it cannot be told.
    std::int64_t LeftMs(std::int64_t totalMs, std::int64_t currentMs) const;
};

// Where a job stands. The last four are how a job ended.
enum class TJobStatus { Queued, Running, Paused, Finished, Incomplete, Failed, Stopped };

// The records a job was added with, kept so that a failed or stopped job can be run again.
struct TJobRecords;

struct TJobNodeData {
    static constexpr int kColumnCount = 7;
    // The status column follows the seven texts.
    static constexpr int kStatusColumn = 7;

    QString SourceName;
    QString OutputName;

    // Column k's text, formatted from the row's figures; empty for any other column.
    QString Text(int column) const;

    TJobStatus Status = TJobStatus::Queued;
    int Percent = 0;
    // Why the job failed, stopped or came out short; empty otherwise.
    QString Reason;
    QString SourcePath;
    QString OutputPath;
    // Where a stopped or short job's output was kept under a name that says it is unfinished;
    // empty when nothing was kept.
    QString KeptPath;
    // The source's length, and how much of it is converted, in milliseconds.
    std::int64_t TotalMs = 0;
    std::int64_t CurrentMs = 0;
    std::int64_t SourceBytes = 0;
    std::int64_t OutputBytes = 0;
    // What the output is expected to weigh, shown until the job reports and beside its real
    // size after; -1 when it cannot be told.
    std::int64_t ForecastBytes = -1;
    // A progress report of the current run has arrived (or the job finished).
    bool Reported = false;
    // Pictures a second and the pace that tells the time left, while running.
    int Fps = 0;
    TJobPace Pace;
    // The serial of the engine task behind the row (the engine renumbers its list, a serial
    // holds), 0 once the run that held it has ended.
    std::uint64_t TaskSerial = 0;
    // Counted in the status bar's figures: queued when the current or last run started.
    bool InRun = false;
    std::shared_ptr<const TJobRecords> Options;
    // How the dialog was left for the job, where it was asked (an edit opens it so).
    std::shared_ptr<const TDialogChoice> Choice;

    bool Ended() const { return Status >= TJobStatus::Finished; }
    // The file Play and Open folder show: the output once finished, else what was kept.
    QString PlayablePath() const { return Status == TJobStatus::Finished ? OutputPath : KeptPath; }
    // Failed, stopped and short jobs can be put back in the queue.
    bool CanRunAgain() const {
        return Status == TJobStatus::Failed || Status == TJobStatus::Stopped ||
               Status == TJobStatus::Incomplete;
    }
};

// "H:MM:SS" with unpadded hours; empty for zero or fewer seconds.
QString FormatDuration(std::int64_t seconds);
// The source length column: FormatDuration of the whole seconds, but a source shorter than a
// second shows its hundredths ("0:00:00.40") rather than nothing.
QString FormatSourceDuration(std::int64_t microseconds);
// "512B" below 1024, else the quotient with two decimals and " KB", " MB" or " GB".
QString FormatSize(std::int64_t bytes, const QLocale& locale = QLocale());
// Whole percent of current over total: 0 when the total is unknown, never above 100.
int ProgressPercent(std::int64_t currentMs, std::int64_t totalMs);

} // namespace velto
