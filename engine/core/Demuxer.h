// The demuxer stage of a run: which input file to read next, reading its packets and bringing
// their timestamps onto the run's clock (offset, scale, discontinuities).
#pragma once

#include <cstdint>
#include <vector>

#include "LibraryObjects.h"

namespace velto {

class TCustomFFmpeg;
class TTranscodeRun;

// The correction a discontinuity calls for: packetTime (microseconds, after offset and scale)
// against the stream's next and current timestamps. Returns the amount to subtract from the
// file's offset and the packet's timestamps, or 0 when the packet is continuous (or timestamps
// are to be copied unchanged).
std::int64_t DiscontinuityDelta(std::int64_t packetTime, std::int64_t nextPts,
                                std::int64_t currentPts, float threshold, bool copyTimestamps);

class TDemuxer {
public:
    TDemuxer(TCustomFFmpeg& task, TTranscodeRun& run) : task_(task), run_(run) {}

    // Numbers the streams of the task's inputs as they are now; returns how many there are.
    // Streams that appear later are not read on.
    int Build();
    // Index of each file's first entry in the run's input stream table, and its stream count.
    int FirstStream(int file) const { return files_[file].FirstStream; }
    int StreamCount(int file) const { return files_[file].StreamCount; }

    // The input whose stream is furthest behind (by output time, or input time with "isync"),
    // or -1 when every input has ended or a frame limit is reached; outputMinimum is the least
    // output time in seconds.
    int ChooseInputFile(double& outputMinimum) const;
    // The next packet of an input, or null at its end (the input is then never chosen again).
    // The packet stays valid until the next read.
    AVPacket* Read(int file);
    // Puts the packet onto the run's clock; returns its entry in the input stream table, or -1
    // for a stream that is not read (unknown or feeding no output).
    int Correct(int file, AVPacket* packet);

private:
    struct TInputFileState {
        bool EndOfFile = false;
        int FirstStream = 0;
        int StreamCount = 0;
    };
    TCustomFFmpeg& task_;
    TTranscodeRun& run_;
    std::vector<TInputFileState> files_;
    OwnedPacket packet_;
};

} // namespace velto
