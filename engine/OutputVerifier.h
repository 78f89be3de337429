// Checks a written output the way a player would first meet it: it is opened again through the
// probe, must hold the kinds of streams the job made, and must last as long as the job expected.
// Plain C++ shared by the engine's run, the window and the command-line program.
#pragma once

#include <cstdint>
#include <string>

namespace velto {

struct TOutputExpectation {
    bool Video = false;
    bool Audio = false;
    std::int64_t Duration = -1; // microseconds; -1 when the source did not say
    // The expected stream must hold a packet; off for a job stopped before it wrote any.
    bool Packets = true;
};

enum TOutputVerdict {
    ovValid,   // opens, streams present, long enough
    ovShort,   // valid but ends more than DurationTolerance before the expected end
    ovInvalid, // does not open, or a stream kind is missing
};

struct TOutputCheck {
    TOutputVerdict Verdict = ovInvalid;
    std::int64_t Duration = -1; // measured, microseconds; -1 when unknown
    std::string Problem;        // why the output is invalid, empty otherwise
};

// How far an output may fall short of its expected length and still count as complete: one
// second, or 5 % of longer outputs. Encoders pad and trim audio by a frame or two, a changed frame
// rate moves the last picture's end, and containers round their durations; a source cut short
// loses far more than that.
std::int64_t DurationTolerance(std::int64_t expected);

// The libraries must be bound.
TOutputCheck VerifyOutput(const std::string& fileName, const TOutputExpectation& expected);

// "H:MM:SS" of microseconds, as the job list shows times.
std::string FormatClockTime(std::int64_t microseconds);

} // namespace velto
