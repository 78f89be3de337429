// The muxer stage of a run: the output headers, the bitstream filters of each output stream and
// the interleaved writes into the output files, checked for write failures and runaway length.
#pragma once

#include <cstdint>
#include <vector>

#include "LibraryObjects.h"
#include "TaskSettings.h"

namespace velto {

class TCustomFFmpeg;
class TTranscodeRun;

class TMuxer {
public:
    TMuxer(TCustomFFmpeg& task, TTranscodeRun& run) : task_(task), run_(run) {}

    // Where each output file's streams start in the run's output stream table.
    void SetFirstStreams(std::vector<int> first) { fileFirst_ = std::move(first); }
    // Output time in microseconds that no packet may pass; -1 for none.
    void SetLengthLimit(std::int64_t microseconds) { limit_ = microseconds; }
    // Raises when an output reaches `microseconds`, past the run's limit.
    void CheckLength(int file, std::int64_t microseconds) const;

    // Sets up every output stream's bitstream filters from the stream's parameters.
    void InitBitstreamFilters();
    void WriteHeaders();
    // Sends a packet of output file `file` through the chain into the interleaving writer; takes
    // the packet's reference.
    void Write(int file, AVPacket* packet, AVCodecContext* encoder, TBitstreamFilterChain& chain);
    // End of the streams for the bitstream filters: what they hold is written.
    void FlushBitstreamFilters();

private:
    void FilterAndWrite(int file, AVPacket* packet, AVCodecContext* encoder,
                        TBitstreamFilterChain& chain, size_t position);
    void WritePacket(int file, AVPacket* packet);
    void ReportFilterFailure(AVBSFContext* filter, int streamIndex, AVCodecContext* encoder,
                             int code);

    TCustomFFmpeg& task_;
    TTranscodeRun& run_;
    std::vector<int> fileFirst_;
    std::int64_t limit_ = -1;
    // Output of the bitstream filter at each position of a chain; made on first use, so that
    // the packet path allocates nothing.
    std::vector<OwnedPacket> filtered_;
};

} // namespace velto
