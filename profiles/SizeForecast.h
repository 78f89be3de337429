// What a job's output will weigh and whether the folders it goes to can hold it, worked out from
// its records before anything runs; and the video rate that makes a job fit into a size.
// Plain C++, no widgets; any thread.
#pragma once

#include "JobRecords.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velto {

struct TSourceSummary;

// "16M", "700K", "1.5G", "4000000": bytes, the suffixes counting in powers of 1024; false for
// anything else, zero or a size past 1 TiB.
bool ParseSizeText(const std::string& text, std::int64_t& bytes);
// "11.2 MB", "640 KB", "3 bytes" (powers of 1024; kilobytes whole, larger units to a tenth).
std::string SizeText(std::int64_t bytes);

// Bytes the container adds around the coded streams of this job: its header and index.
std::int64_t ContainerOverhead(const TOutputOptions& output, const TSourceSummary& source);
// The sound's bit rate in the output (what the encoder really spends), 0 without sound.
std::int64_t SoundBitRate(const TOutputOptions& output, const TSourceSummary& source);
// The seconds of the source the job converts; 0 when unknown.
double ConvertedSeconds(const TOutputOptions& output, const TSourceSummary& source);

// Gives the job the video rate that fills `limit` bytes (with the sound and the container's
// overhead), two passes and the check of the result. An empty string when done, else why the
// limit cannot be kept, with the figures.
std::string FitIntoSize(TOutputOptions& output, const TSourceSummary& source, std::int64_t limit);

// The expected output size in bytes: the limit of a fitted job, else the bit rates over the
// duration plus the container, else a measured ratio of the source for quality-based codecs;
// -1 when nothing tells (unknown duration).
std::int64_t ForecastSize(const TJobRecords& job, const TSourceSummary& source);

// The outputs of one file system, summed against its free space.
struct TFolderRoom {
    std::string Folder; // the first output folder of the batch on it
    std::int64_t Needed = 0;
    std::int64_t Free = -1; // -1: unknown (the folder cannot be asked)
    bool Enough() const { return Free < 0 || Needed <= Free; }
    // "needs about 11.2 MB, 2.9 MB free on /media/card"
    std::string Shortage() const;
};

// Per file system of the output folders, in the order first met. An output of unknown size
// counts as nothing.
struct TPlannedOutput {
    std::string FileName;
    std::int64_t Size = -1;
};
std::vector<TFolderRoom> RoomForOutputs(const std::vector<TPlannedOutput>& outputs);

// An output being written: its size so far and how far its source is converted.
struct TWritingOutput {
    std::string FileName;
    std::int64_t Written = 0;
    std::int64_t DoneMs = 0;
    std::int64_t TotalMs = 0;
    std::int64_t Forecast = -1;
};
// What the outputs being written still need at the pace they fill, per file system against its
// free space. A job too early to tell by its pace counts what its forecast leaves.
std::vector<TFolderRoom> RoomForWritingOutputs(const std::vector<TWritingOutput>& outputs);

} // namespace velto
