#include "CliArguments.h"

#include "SizeForecast.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <map>

namespace velto::cli {

namespace {

bool ParseCount(const std::string& text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end && value >= low && value <= high;
}

// Positive whole number written in decimal digits only (kept as text for the value lists).
bool IsPositiveNumber(const std::string& text) {
    int value = 0;
    return ParseCount(text, 1, 1000000000, value);
}

// An option's value into the arguments; the usage error, empty when the value is good.
using TValueSetter = std::string (*)(const std::string& v, TCliArguments& a);

std::string SetFrameSize(const std::string& v, TCliArguments& a) {
    const size_t x = v.find_first_of("xX");
    if (x == std::string::npos || !IsPositiveNumber(v.substr(0, x)) ||
        !IsPositiveNumber(v.substr(x + 1)))
        return "-s takes a frame size as WIDTHxHEIGHT, not '" + v + "'";
    a.FrameSize = v.substr(0, x) + " x " + v.substr(x + 1);
    return {};
}

std::string SetRotation(const std::string& v, TCliArguments& a) {
    static const std::map<std::string, int> kTurns = {{"auto", -1}, {"none", 0},  {"0", 0},
                                                      {"90", 90},   {"180", 180}, {"270", 270}};
    const auto turn = kTurns.find(v);
    if (turn == kTurns.end())
        return "--rotate takes auto, none, 90, 180 or 270, not '" + v + "'";
    a.Rotation = turn->second;
    return {};
}

std::string SetMaxSize(const std::string& v, TCliArguments& a) {
    if (!ParseSizeText(v, a.MaxSize))
        return "--max-size takes a size in bytes or with K, M or G (powers of 1024), such as "
               "16M, not '" +
               v + "'";
    return {};
}

const std::map<std::string, TValueSetter> kValuedOptions = {
    {"--rotate", SetRotation},
    {"--max-size", SetMaxSize},
    {"-p", [](const std::string& v, TCliArguments& a) { return a.Profile = v, std::string(); }},
    {"-o",
     [](const std::string& v, TCliArguments& a) {
         return v.empty() ? std::string("option '-o' needs a folder") : (a.OutputDir = v, "");
     }},
    {"-j",
     [](const std::string& v, TCliArguments& a) {
         return ParseCount(v, 1, 64, a.Jobs)
                    ? std::string()
                    : "-j takes a number of jobs from 1 to 64, not '" + v + "'";
     }},
    {"--threads",
     [](const std::string& v, TCliArguments& a) {
         return ParseCount(v, 0, 64, a.Threads)
                    ? std::string()
                    : "--threads takes a number from 0 (automatic) to 64, not '" + v + "'";
     }},
    {"--report",
     [](const std::string& v, TCliArguments& a) {
         return v.empty() ? std::string("option '--report' needs a file") : (a.ReportFile = v, "");
     }},
    {"--files-from",
     [](const std::string& v, TCliArguments& a) {
         return v.empty() ? std::string("option '--files-from' needs a file or '-'")
                          : (a.FilesFrom = v, "");
     }},
    {"--item",
     [](const std::string& v, TCliArguments& a) {
         return ParseCount(v, 0, 100000000, a.Item)
                    ? std::string()
                    : "--item takes a line number counted from 0, not '" + v + "'";
     }},
    {"-s", SetFrameSize},
    {"-r", [](const std::string& v, TCliArguments& a) { return a.FrameRate = v, std::string(); }},
    {"--vb",
     [](const std::string& v, TCliArguments& a) { return a.VideoBitrate = v, std::string(); }},
    {"--ab",
     [](const std::string& v, TCliArguments& a) { return a.AudioBitrate = v, std::string(); }},
    {"--ar",
     [](const std::string& v, TCliArguments& a) { return a.SampleRate = v, std::string(); }},
    {"--ac",
     [](const std::string& v, TCliArguments& a) {
         return ParseCount(v, 1, 2, a.Channels)
                    ? std::string()
                    : "--ac takes 1 (mono) or 2 (stereo), not '" + v + "'";
     }},
    {"--audio-lang",
     [](const std::string& v, TCliArguments& a) {
         const bool code =
             (v.size() == 2 || v.size() == 3) && std::all_of(v.begin(), v.end(), [](char c) {
                 return std::isalpha(static_cast<unsigned char>(c)) != 0;
             });
         return code ? (a.AudioLanguage = v, std::string())
                     : "--audio-lang takes an ISO 639 language code such as 'eng' or 'ja', not '" +
                           v + "'";
     }},
    {"--subtitles",
     [](const std::string& v, TCliArguments& a) {
         return v == "auto" || v == "none" || v == "burn"
                    ? (a.Subtitles = v, std::string())
                    : "--subtitles takes auto, none or burn, not '" + v + "'";
     }},
};

const std::map<std::string, std::string> kLongNames = {
    {"--profile", "-p"}, {"--output-dir", "-o"}, {"--jobs", "-j"}};

const std::map<std::string, TCommand> kCommands = {
    {"--help", TCommand::Help},       {"-h", TCommand::Help},           {"help", TCommand::Help},
    {"--version", TCommand::Version}, {"profiles", TCommand::Profiles}, {"probe", TCommand::Probe},
    {"convert", TCommand::Convert}};

// A flag without a value; false when arg is none of them.
bool ApplyFlag(const std::string& arg, bool convert, TCliArguments& a) {
    if (arg == "--help" || arg == "-h")
        a.Command = TCommand::Help;
    else if (arg == "--json")
        a.Json = true;
    else if (arg == "--quiet" || arg == "-q")
        a.Quiet = true;
    else if (convert && arg == "--overwrite")
        a.Overwrite = true;
    else if (convert && arg == "--skip-existing")
        a.SkipExisting = true;
    else if (convert && arg == "--keep-dates")
        a.KeepDates = true;
    else if (convert && arg == "--dry-run")
        a.DryRun = true;
    else
        return false;
    return true;
}

// What the whole command needs once every argument is read; empty when it has it.
std::string MissingPart(const TCliArguments& a, const std::string& command) {
    if (a.Command == TCommand::Probe && a.Files.empty())
        return "probe needs at least one file";
    if (a.Command == TCommand::Convert) {
        if (a.Profile.empty())
            return "convert needs a profile: -p INDEX or -p TITLE (see 'velto3gp profiles')";
        if (a.Files.empty() && a.FilesFrom.empty())
            return "convert needs at least one file";
        if (a.Item >= 0 && a.FilesFrom.empty())
            return "--item needs --files-from";
    }
    if ((a.Command == TCommand::Profiles || a.Command == TCommand::Version) && !a.Files.empty())
        return "'" + command + "' takes no files";
    return {};
}

} // namespace

TParseResult ParseArguments(const std::vector<std::string>& args) {
    TParseResult result;
    TCliArguments a;
    const auto fail = [&](std::string message) {
        result.Error = std::move(message);
        return result;
    };
    if (args.empty())
        return fail("no command given");
    const std::string& command = args[0];
    const auto found = kCommands.find(command);
    if (found == kCommands.end())
        return fail("unknown command '" + command + "'");
    a.Command = found->second;
    const bool convert = a.Command == TCommand::Convert;

    bool filesOnly = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (filesOnly || arg.empty() || arg[0] != '-' || arg == "-") {
            a.Files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            filesOnly = true;
            continue;
        }
        if (ApplyFlag(arg, convert, a))
            continue;
        // Options with a value: "--opt value" or "--opt=value".
        std::string name = arg;
        std::optional<std::string> value;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const auto alias = kLongNames.find(name);
        const auto setter = kValuedOptions.find(alias != kLongNames.end() ? alias->second : name);
        if (setter == kValuedOptions.end() || !convert)
            return fail("unknown option '" + name + "' for " + command);
        if (!value) {
            if (i + 1 >= args.size())
                return fail("option '" + name + "' needs a value");
            value = args[++i];
        }
        if (std::string error = setter->second(*value, a); !error.empty())
            return fail(std::move(error));
    }
    if (std::string missing = MissingPart(a, command); !missing.empty())
        return fail(std::move(missing));
    result.Arguments = a;
    return result;
}

bool SourcesFromList(std::istream& list, int item, std::vector<std::string>& sources,
                     std::string& error) {
    std::string line;
    for (int number = 0; std::getline(list, line); ++number) {
        // Lists written on other systems end their lines with CR LF.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (item < 0) {
            if (!line.empty())
                sources.push_back(line);
        } else if (number == item) {
            if (line.empty())
                break;
            sources.push_back(line);
            return true;
        }
    }
    if (item >= 0) {
        error = "the list has no file on line " + std::to_string(item) + " (counted from 0)";
        return false;
    }
    if (sources.empty()) {
        error = "the list names no file";
        return false;
    }
    return true;
}

std::string UsageText() {
    return R"(Usage:
  velto3gp profiles [--json]
  velto3gp probe FILE... [--json]
  velto3gp convert -p INDEX|TITLE [options] FILE...
  velto3gp --help | --version

Convert options:
  -p, --profile INDEX|TITLE  output profile, by its index or title (see 'profiles')
  -o, --output-dir DIR       write outputs into DIR (default: the folder chosen in the
                             settings, else beside each source)
  -j, --jobs N               conversions at once (default: one per core)
      --threads N            codec threads per conversion (0: automatic)
      --overwrite            replace existing files instead of numbering the new name
      --skip-existing        do not convert a source whose output is already there and
                             complete (checked); a damaged or short one is made again
      --report FILE          append one JSON line per job to FILE as each ends
      --files-from FILE      convert the files listed in FILE, one a line ('-': standard input)
      --item N               only line N of that list, counted from 0 (default with
                             --files-from: $SLURM_ARRAY_TASK_ID when set)
      --keep-dates           give each output its source's modification time
      --rotate auto|none|90|180|270
                             turn the picture clockwise (auto: as the source's display
                             matrix says)
  -s WxH                     frame size, one of the profile frame sizes
  -r FPS                     frame rate, one of the profile frame rates
      --vb KBITS             video bit rate, one of the profile video bit rates
      --ab KBITS             audio bit rate, one of the profile audio bit rates
      --ar HZ                audio sample rate, one of the profile sample rates
      --ac N                 audio channels: 1 or 2
      --audio-lang CODE      convert the first sound track in this language (ISO 639,
                             e.g. eng, ja); else the track flagged default, else the first
      --subtitles MODE       auto: kept as text in MP4, M4V, MOV and WebM outputs, left out
                             of others; none: left out; burn: drawn into the picture
      --max-size SIZE        make every output at most SIZE (K, M, G: powers of 1024,
                             e.g. 16M): the video rate is chosen to fill it, in two passes
      --dry-run              print each output's expected size and the free space of the
                             output folders; convert nothing
      --json                 one JSON object per line for every event
  -q, --quiet                no progress or log lines, only results and the summary

Exit status: 0 every job finished or was skipped; 1 a job failed or was incomplete for a
reason a retry will not change; 75 a job failed for a reason that may pass (disk full, a
temporary write failure): try again later; 2 usage error; 130 interrupted by SIGINT, 143 by
SIGTERM (jobs stopped, unfinished outputs removed).
)";
}

} // namespace velto::cli
