// Reads back what a conversion wrote, as a player would meet it: the streams the probe finds
// with their tags and flags, the sound's level, a picture at a time and the subtitle cues.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velto::test {

struct ProbedStream {
    int type = -1; // AVMediaType
    std::string codec;
    std::string language;
    int disposition = 0;
    int channels = 0;
};

// Every stream of the file through the engine's probe; empty when it does not open.
std::vector<ProbedStream> ProbeStreams(const std::string& path);
// The streams of one type, in file order.
std::vector<ProbedStream> StreamsOfType(const std::vector<ProbedStream>& streams, int type);

// Root mean square of the first audio stream's decoded samples (full scale 1.0); -1 when there
// is no sound to decode.
double AudioLevel(const std::string& path);

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> luma; // width * height
};
// The grey plane of the first picture shown at or after `seconds`; empty when there is none.
Picture PictureAt(const std::string& path, double seconds);
// Mean absolute luma difference of two same-size pictures between rows top and bottom, given as
// fractions of the height; -1 when the sizes differ.
double MeanDifference(const Picture& a, const Picture& b, double top, double bottom);

struct Cue {
    std::int64_t startMs = 0;
    std::string text; // the cue's dialogue text as the decoder gives it
};
// The cues of the first subtitle stream.
std::vector<Cue> SubtitleCues(const std::string& path);

} // namespace velto::test
