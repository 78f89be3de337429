// The command line of velto3gp: subcommand, options and files, checked before anything runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velto::cli {

enum class TCommand { Help, Version, Profiles, Probe, Convert };

struct TCliArguments {
    TCommand Command = TCommand::Help;
    bool Json = false;
    bool Quiet = false;
    // convert
    std::string Profile;   // -p: an index or a title
    std::string OutputDir; // -o: empty for the folder choice of the settings
    int Jobs = 0;          // -j: 0 for the automatic count
    int Threads = -1;      // --threads: -1 leaves the task's automatic count
    bool Overwrite = false;
    bool KeepDates = false; // --keep-dates: outputs take their sources' modification times
    int Rotation = -1; // --rotate: -1 as the source's display matrix says, else clockwise degrees
    std::string FrameSize;    // -s "WxH", as a frame size of the profile lists
    std::string FrameRate;    // -r
    std::string VideoBitrate; // --vb, kbit/s
    std::string AudioBitrate; // --ab, kbit/s
    std::string SampleRate;   // --ar, Hz
    int Channels = 0;         // --ac: 1 or 2, 0 for the profile's
    std::vector<std::string> Files;
};

struct TParseResult {
    std::optional<TCliArguments> Arguments;
    std::string Error; // set when Arguments is empty: a usage error
};

// argv without the program name.
TParseResult ParseArguments(const std::vector<std::string>& args);

// The --help text.
std::string UsageText();

} // namespace velto::cli
