#include "CliArguments.h"

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
    static const std::map<std::string, TCommand> kCommands = {
        {"--help", TCommand::Help},       {"-h", TCommand::Help},
        {"help", TCommand::Help},         {"--version", TCommand::Version},
        {"profiles", TCommand::Profiles}, {"probe", TCommand::Probe},
        {"convert", TCommand::Convert}};
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
        if (arg == "--help" || arg == "-h") {
            a.Command = TCommand::Help;
            continue;
        }
        if (arg == "--json") {
            a.Json = true;
            continue;
        }
        if (arg == "--quiet" || arg == "-q") {
            a.Quiet = true;
            continue;
        }
        if (convert && arg == "--overwrite") {
            a.Overwrite = true;
            continue;
        }
        // Options with a value: "--opt value" or "--opt=value".
        std::string name = arg;
        std::optional<std::string> value;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        static const char* const kValued[] = {"-p",     "--profile", "-o",  "--output-dir", "-j",
                                              "--jobs", "--threads", "-s",  "-r",           "--vb",
                                              "--ab",   "--ar",      "--ac"};
        bool known = false;
        for (const char* option : kValued)
            known = known || name == option;
        if (!known || !convert)
            return fail("unknown option '" + name + "' for " + command);
        if (!value) {
            if (i + 1 >= args.size())
                return fail("option '" + name + "' needs a value");
            value = args[++i];
        }
        const std::string& v = *value;
        if (name == "-p" || name == "--profile") {
            a.Profile = v;
        } else if (name == "-o" || name == "--output-dir") {
            if (v.empty())
                return fail("option '-o' needs a folder");
            a.OutputDir = v;
        } else if (name == "-j" || name == "--jobs") {
            if (!ParseCount(v, 1, 64, a.Jobs))
                return fail("-j takes a number of jobs from 1 to 64, not '" + v + "'");
        } else if (name == "--threads") {
            if (!ParseCount(v, 0, 64, a.Threads))
                return fail("--threads takes a number from 0 (automatic) to 64, not '" + v + "'");
        } else if (name == "-s") {
            const size_t x = v.find_first_of("xX");
            if (x == std::string::npos || !IsPositiveNumber(v.substr(0, x)) ||
                !IsPositiveNumber(v.substr(x + 1)))
                return fail("-s takes a frame size as WIDTHxHEIGHT, not '" + v + "'");
            a.FrameSize = v.substr(0, x) + " x " + v.substr(x + 1);
        } else if (name == "-r") {
            a.FrameRate = v;
        } else if (name == "--vb") {
            a.VideoBitrate = v;
        } else if (name == "--ab") {
            a.AudioBitrate = v;
        } else if (name == "--ar") {
            a.SampleRate = v;
        } else if (name == "--ac") {
            if (!ParseCount(v, 1, 2, a.Channels))
                return fail("--ac takes 1 (mono) or 2 (stereo), not '" + v + "'");
        }
    }
    if (a.Command == TCommand::Probe && a.Files.empty())
        return fail("probe needs at least one file");
    if (convert) {
        if (a.Profile.empty())
            return fail("convert needs a profile: -p INDEX or -p TITLE (see 'velto3gp profiles')");
        if (a.Files.empty())
            return fail("convert needs at least one file");
    }
    if ((a.Command == TCommand::Profiles || a.Command == TCommand::Version) && !a.Files.empty())
        return fail("'" + command + "' takes no files");
    result.Arguments = a;
    return result;
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
  -s WxH                     frame size, one of the profile frame sizes
  -r FPS                     frame rate, one of the profile frame rates
      --vb KBITS             video bit rate, one of the profile video bit rates
      --ab KBITS             audio bit rate, one of the profile audio bit rates
      --ar HZ                audio sample rate, one of the profile sample rates
      --ac N                 audio channels: 1 or 2
      --json                 one JSON object per line for every event
  -q, --quiet                no progress or log lines, only results and the summary

Exit status: 0 every job finished; 1 a job failed or was incomplete; 2 usage error;
130 interrupted (jobs stopped, unfinished outputs removed).
)";
}

} // namespace velto::cli
