// The option records through which the application describes one task (input and output), and
// the task class TFFmpeg that the engine component keeps in its list. Records are applied on the
// caller's (main) thread before the task runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "FFmpeg.h"

namespace velto {

class TBitmap;
class TFFmpeg;

// Handlers the component passes for its OnBeforeHook and OnCustomHook events.
using TBeforeHookHandler =
    std::function<void(TFFmpeg* task, std::int64_t pts, THookAction& action)>;
using TCustomHookHandler = std::function<void(TFFmpeg* task, TBitmap& bitmap, int frameNumber,
                                              std::int64_t pts, bool& update, bool& stopHook)>;

struct TInputOptions {
    std::string FileName;
    std::string FileFormat;
    std::int32_t StartTime = -1; // milliseconds
    std::int32_t ProgramID = -1;
    std::string ExtOptions;
    bool operator==(const TInputOptions&) const = default;
};

struct TOutputOptions {
    std::string FileName;
    std::string FileType;
    std::string FileFormat;
    std::int32_t PacketSize = -1;
    std::int32_t MuxRate = -1;
    float MuxDelay = -1.0f;
    float MuxPreload = -1.0f;
    std::string AudioCodec;
    bool DisableAudio = false;
    std::int32_t Volume = -1;
    std::int32_t AudioChannels = -1;
    std::int32_t AudioSampleRate = -1;
    std::int32_t AudioBitRate = -1;
    std::int32_t AudioBitRateTolerance = -1;
    std::string AudioLanguage;
    std::int32_t AudioSync = 0;
    std::string AudioTag;
    std::string VideoCodec;
    bool DisableVideo = false;
    std::string FrameRate;
    std::string FrameSize;
    std::string AspectRatio;
    std::int32_t CropTop = -1;
    std::int32_t CropBottom = -1;
    std::int32_t CropLeft = -1;
    std::int32_t CropRight = -1;
    std::int32_t PadTop = -1;
    std::int32_t PadBottom = -1;
    std::int32_t PadLeft = -1;
    std::int32_t PadRight = -1;
    std::uint32_t PadColor = 0; // RGB, red in the lowest byte
    std::int32_t GopSize = -1;
    std::int32_t VideoBitRate = -1;
    std::int32_t MaxRate = -1;
    std::int32_t MinRate = -1;
    std::int32_t VideoBitRateTolerance = -1;
    std::int32_t BufSize = -1;
    std::int32_t VideoSync = -1;
    std::string VideoTag;
    std::string VideoFilters;
    bool DisableSubtitle = false;
    std::string SubtitleLanguage;
    // The source's streams (index in the file) the sound and the subtitles come from; -1: the
    // first of the kind.
    std::int32_t AudioStream = -1;
    std::int32_t SubtitleStream = -1;
    // A subtitle file beside the source, read when the source carries none.
    std::string SubtitleFile;
    // The output's subtitle encoder ("mov_text", "webvtt"); empty: the container's own.
    std::string SubtitleCodec;
    // The chosen subtitles are drawn into the picture instead of kept as a stream.
    bool BurnSubtitle = false;
    bool CopyTimestamps = false;
    std::int32_t RecordingTime = -1; // milliseconds
    double Timestamp = -1.0;         // days since 1899-12-30, local time; 0 = now
    std::int32_t Year = -1;
    std::int32_t Track = -1;
    std::string Title;                   // the output keeps at most 511 characters
    std::string Author;                  // 511
    std::string Rights;                  // 511
    std::string Comment;                 // 511
    std::string Album;                   // 511
    std::string Genre;                   // 31
    std::int32_t Target = 0;             // 1 vcd, 2 svcd, 3 dvd
    std::int32_t TargetNorm = 0;         // 0 auto, 1 pal, 2 ntsc
    std::int32_t TargetFallbackNorm = 1; // 1 pal, else ntsc
    bool CustomHook = false;
    bool BeforeHook = false;
    std::string HookRanges;
    std::string ExtOptions;
    // A stopped or incomplete run keeps what it wrote under UnfinishedOutputName (JobResult.h),
    // never under the output name; off, only a finished run leaves a file.
    bool KeepUnfinished = true;
    // The player the output is made for plays nothing without both a picture and a sound
    // stream: a source lacking one is refused when the output is added.
    bool NeedsVideoAndAudio = false;
    bool operator==(const TOutputOptions&) const = default;
};

// A task as the engine component keeps it.
class TFFmpeg : public TCustomFFmpeg {
public:
    // The worker's sinks see this class too: it must not be torn down under a running worker.
    ~TFFmpeg() override { StopAndWait(); }

    std::int32_t Index = -1;
    // Id of the thread running the task, 0 when none. Informative only: library lines are
    // credited to tasks by TaskOfThisThread, since ids are recycled.
    std::atomic<std::uint32_t> ThreadID{0};
    // Identity within the component for starts due later (an index may move, an address recur).
    std::uint64_t Serial = 0;
    TInputOptions InputOptions;
    TOutputOptions OutputOptions;
    // At most one of the two handlers is set; without either, HookRanges limit the hooks.
    // ApplyOutputRecord also hands them to the run as its hook sinks.
    TBeforeHookHandler BeforeHookHandler;
    TCustomHookHandler CustomHookHandler;
    // How Add set the task up (its input, then each output), kept to be done again when it
    // runs: a waiting job holds its records, not its open files.
    std::vector<std::function<void(TFFmpeg&)>> SetUpSteps;
};

// Items "start-end" in milliseconds separated by ","; kept when start <= end and end >= 0,
// sorted by their end.
std::vector<THookRange> ParseHookRanges(const std::string& text);

// Seconds since 1970 UTC of a local date-time in days since 1899-12-30, with the standard
// time-zone bias in minutes (UTC = local + bias).
std::int64_t DateTimeToUnixSeconds(double localDays, int biasMinutes);

void ApplyInputRecord(TFFmpeg& task, const std::string& fileName, TInputOptions& record);
void ApplyOutputRecord(TFFmpeg& task, const std::string& fileName, TOutputOptions& record,
                       const TCustomHookHandler& customHook, const TBeforeHookHandler& beforeHook);

} // namespace velto
