// A task with bound libraries and a recording log sink, plus the helpers the transcode tests use
// to build inputs with unusual timestamps and to check outputs packet by packet.
#pragma once

#include "FFmpeg.h"
#include "TestLibraries.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace velto::test {

// What a demux (and optionally a full decode) of a file found, per stream.
struct StreamCount {
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    int packets = 0;
    int keyPackets = 0;
    bool firstIsKey = false;
    double firstTime = 0.0; // seconds, first packet's dts (or pts)
    double endTime = 0.0;   // seconds, largest pts + duration
    int frames = 0;         // decoded frames (pictures or audio frames)
    int decodeErrors = 0;
};

// Demuxes path; with decode, also decodes every packet and drains the decoders. Empty on failure
// to open.
std::vector<StreamCount> CountStreams(const std::string& path, bool decode);

// Copies source into dest (format from dest's name), passing every packet through edit, which may
// change its timestamps (in the output stream's time base) or return false to drop it. Packets are
// given in file order with their running number.
using PacketEdit = std::function<bool(AVPacket& packet, AVMediaType type, int number)>;
void Remux(const std::string& source, const std::string& dest, const PacketEdit& edit);

class TranscodeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Applies the option text and opens an input / creates an output; fails the test otherwise.
    void Input(const std::string& path, const std::string& options = {});
    void Output(const std::string& name, const std::string& options);
    // Runs the transcode and closes every file; returns the failure message ("" on success).
    std::string Transcode();
    bool Logged(const std::string& text) const;
    bool LoggedFragment(const std::string& fragment) const;
    std::string Path(const std::string& name) const { return folder + "/" + name; }

    TCustomFFmpeg task;
    std::string folder;
    std::vector<std::string> lines;
};

} // namespace velto::test
