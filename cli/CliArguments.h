// The command line of velto3gp: subcommand, options and files, checked before anything runs.
#pragma once

#include <cstdint>
#include <istream>
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
    // A job whose output name holds a file that passes the output check is not converted.
    bool SkipExisting = false;
    std::string ReportFile; // --report: one JSON line per job, appended as each ends
    std::string FilesFrom;  // --files-from: a list of sources, one a line; "-" standard input
    int Item = -1;          // --item: only that line of the list, counted from 0; -1 all
    // --audio-lang: ISO 639 code of the sound track to prefer; unset: the settings' preference.
    std::optional<std::string> AudioLanguage;
    std::string Subtitles = "auto"; // --subtitles: auto, none or burn
    std::int64_t MaxSize = 0;       // --max-size: bytes every output must fit into; 0 none
    bool DryRun = false; // --dry-run: print the forecast and the free space, convert nothing
    std::vector<std::string> Files;
};

struct TParseResult {
    std::optional<TCliArguments> Arguments;
    std::string Error; // set when Arguments is empty: a usage error
};

// argv without the program name.
TParseResult ParseArguments(const std::vector<std::string>& args);

// The sources of a --files-from list: every non-empty line, or with item 0 or more only that
// line. False with the reason when the item is not a line holding a path.
bool SourcesFromList(std::istream& list, int item, std::vector<std::string>& sources,
                     std::string& error);

// The --help text.
std::string UsageText();

} // namespace velto::cli
