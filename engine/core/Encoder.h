// The encoder stage of a run: opens the encoders of the output streams that encode, keeps their
// two-pass logs, collects the packets they have ready and encodes subtitles, and hands every
// packet to the muxer stage.
#pragma once

#include <cstdint>
#include <vector>

#include "LibraryObjects.h"

struct AVSubtitle;

namespace velto {

class TCustomFFmpeg;
class TTranscodeRun;

class TEncoder {
public:
    TEncoder(TCustomFFmpeg& task, TTranscodeRun& run) : task_(task), run_(run) {}

    // The packet every encoded packet passes through; false without memory.
    bool AllocatePacket();
    // Opens the encoder of every output stream that encodes (under the codec lock), with the
    // options of the encoder's own class; the muxer then reads the stream's parameters.
    void Open();
    // The two-pass log of an output stream: written in the first pass, read in the second.
    void OpenPassLog(int outputStream);
    std::string PassLogName(int outputStream) const;
    // A second pass's rate brought within what its first pass's log says the encoder can reach.
    void HoldRateWithinLog(AVCodecContext* codec) const;
    // Receives every packet the encoder of an output stream has ready and writes it; returns
    // the bytes written.
    int WritePackets(int outputStream);
    // Encodes one subtitle of an input stream (pts in its time base) for an output stream.
    void EncodeSubtitle(int outputStream, int inputStream, AVSubtitle* subtitle, std::int64_t pts);

private:
    TCustomFFmpeg& task_;
    TTranscodeRun& run_;
    OwnedPacket packet_;                       // reused for every packet an encoder hands back
    std::vector<std::uint8_t> subtitleBuffer_; // subtitle encoder output, kept between packets
};

} // namespace velto
