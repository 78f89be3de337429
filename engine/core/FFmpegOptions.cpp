// Handlers of the option table that do more than store one value, and the guarded setters used
// when the option records are applied.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "LogBridge.h"
#include "MyUtilHlpr.h"
#include "MyUtils.h"

namespace velto {

namespace {

// A C integer (decimal, "0x" hexadecimal or leading-0 octal) at p; p moves past it. Text that is
// no number reads as 0, like strtol; values beyond int are clamped rather than wrapped.
int ReadCInteger(const char*& p) {
    char* end = nullptr;
    const long value = MyUtilHlpr::my_strtol(p, &end, 0);
    if (end)
        p = end;
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

// A C floating-point number with "." whatever the locale; 0.0 when none can be read.
double ReadCFloat(const char* p) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    if (*p == '+')
        ++p;
    double value = 0.0;
    const auto result = std::from_chars(p, p + std::strlen(p), value);
    if (result.ec != std::errc() || !std::isfinite(value))
        return 0.0;
    return value;
}

// Integer of an aspect-ratio part, 0 when it is not an integer.
int IntOrZero(const std::string& text) {
    try {
        return StrToInt(text);
    } catch (const EConvertError&) {
        return 0;
    }
}

// The program's own folder with a trailing separator.
std::string ProgramFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return exe.parent_path().string() + "/";
}

} // namespace

void TCustomFFmpeg::OptVerbosity(const std::string& value) {
    const int level = StrToInt(value);
    Settings.Verbosity = level;
    AVUtilHlpr::av_log_set_level(AVLevelFromLibraryLevel(level));
    SetLogThreshold(level);
}

void TCustomFFmpeg::OptThreads(const std::string& value) {
    // The libraries hold frame threads to 64; 0 leaves the count to the machine.
    const int count = StrToInt(value);
    if (count < 0 || count > kMaxCodecThreads)
        throw FFMpegException("threads must be between 0 and 64");
    Settings.ThreadCount = count;
}

void TCustomFFmpeg::OptFormat(const std::string& value) {
    if (value.empty())
        return;
    std::string name = value;
    if (name == "pgmyuv") {
        Settings.PgmyuvCompatibility = 1;
        name = "image2";
        Log(1, "pgmyuv format is deprecated, use image2");
    }
    Settings.InputFormat = AVFormatHlpr::av_find_input_format(name.c_str());
    Settings.OutputFormat = AVFormatHlpr::av_guess_format(name.c_str(), nullptr, nullptr);
    if (!Settings.InputFormat && !Settings.OutputFormat)
        throw FFMpegException(StringPrintf("Unknown input or output format: %s", name.c_str()));
}

void TCustomFFmpeg::SetInputFormat(const std::string& value) {
    if (value.empty())
        return;
    std::string name = value;
    if (name == "pgmyuv") {
        Settings.PgmyuvCompatibility = 1;
        name = "image2";
        Log(1, "pgmyuv format is deprecated, use image2");
    }
    Settings.InputFormat = AVFormatHlpr::av_find_input_format(name.c_str());
    if (!Settings.InputFormat)
        throw FFMpegException(StringPrintf("Unknown input format: %s", name.c_str()));
}

void TCustomFFmpeg::SetOutputFormat(const std::string& value) {
    if (value.empty())
        return;
    std::string name = value;
    if (name == "pgmyuv") {
        Settings.PgmyuvCompatibility = 1;
        name = "image2";
        Log(1, "pgmyuv format is deprecated, use image2");
    }
    Settings.OutputFormat = AVFormatHlpr::av_guess_format(name.c_str(), nullptr, nullptr);
    if (!Settings.OutputFormat)
        throw FFMpegException(StringPrintf("Unknown output format: %s", name.c_str()));
}

void TCustomFFmpeg::OptDuration(const std::string& value) {
    // Kept in 64 bits: a recording time beyond 24.8 days must not wrap to a negative limit.
    const std::int64_t milliseconds = ParseTimeOption("t", value, true) / 1000;
    if (milliseconds <= 0)
        return;
    Settings.RecordingTime = milliseconds * 1000;
    Settings.ExpectedDuration = static_cast<int>(std::min<std::int64_t>(milliseconds, INT_MAX));
}

void TCustomFFmpeg::SetRecordingTime(int milliseconds) {
    if (milliseconds <= 0)
        return;
    Settings.RecordingTime = static_cast<std::int64_t>(milliseconds) * 1000;
    Settings.ExpectedDuration = milliseconds;
}

void TCustomFFmpeg::OptInputTimestampScale(const std::string& value) {
    const char* p = value.c_str();
    const int stream = ReadCInteger(p);
    if (*p)
        ++p;
    const double scale = ReadCFloat(p);
    if (stream < 0 || stream >= kMaxStreams)
        throw FFMpegException(StringPrintf("stream index over MAX_STREAMS(%d)", kMaxStreams));
    // The scale belongs to the input opened next; once all input slots are used there is none.
    const std::size_t input = InputFiles.size();
    if (input >= static_cast<std::size_t>(kMaxFiles))
        throw FFMpegException(StringPrintf("input file index over MAX_FILES(%d)", kMaxFiles));
    Settings.InputTimestampScale.Set(static_cast<int>(input), stream, scale);
}

void TCustomFFmpeg::OptTimestamp(const std::string& value) {
    const std::int64_t microseconds = ParseTimeOption("timestamp", value, false);
    std::int64_t seconds = microseconds / 1000000;
    const std::int64_t remainder = microseconds % 1000000;
    if (remainder >= 500000)
        ++seconds;
    else if (remainder <= -500000)
        --seconds;
    Settings.RecordingTimestamp = seconds;
}

void TCustomFFmpeg::OptStreamMap(const std::string& value) {
    if (Settings.StreamMaps.size() >= static_cast<std::size_t>(kMaxStreamMaps))
        throw FFMpegException(
            StringPrintf("Too many stream maps: at most %d are allowed", kMaxStreamMaps));
    TStreamMap map;
    const char* p = value.c_str();
    map.FileIndex = ReadCInteger(p);
    if (*p)
        ++p;
    map.StreamIndex = ReadCInteger(p);
    if (*p) {
        ++p;
        map.SyncFileIndex = ReadCInteger(p);
        if (*p)
            ++p;
        map.SyncStreamIndex = ReadCInteger(p);
    } else {
        map.SyncFileIndex = map.FileIndex;
        map.SyncStreamIndex = map.StreamIndex;
    }
    Settings.StreamMaps.push_back(map);
}

void TCustomFFmpeg::OptMetaDataMap(const std::string& value) {
    if (Settings.MetadataMaps.size() >= static_cast<std::size_t>(kMaxMetaDataMaps))
        throw FFMpegException(
            StringPrintf("Too many metadata maps: at most %d are allowed", kMaxMetaDataMaps));
    TMetaDataMap map;
    const char* p = value.c_str();
    map.OutFile = ReadCInteger(p);
    if (*p)
        ++p;
    map.InFile = ReadCInteger(p);
    Settings.MetadataMaps.push_back(map);
}

void TCustomFFmpeg::OptBitRate(const std::string& name, const std::string& value) {
    if (!SetGenericOption(name, value) || !HasLogSink())
        return;
    const auto kind = !name.empty() && name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO;
    std::int64_t bitRate = 0;
    if (AVUtilHlpr::av_opt_get_int(Settings.CodecOptionHolders[kind].get(), "b", 0, &bitRate) >=
            0 &&
        bitRate < 1000)
        Log(1, "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not "
               "kbits/s");
}

void TCustomFFmpeg::OptFrameRate(const std::string& value) {
    if (value.empty())
        return;
    AVRational rate{0, 0};
    if (AVUtilHlpr::av_parse_video_rate(&rate, value.c_str()) < 0)
        throw FFMpegException("Incorrect frame rate");
    Settings.FrameRate = rate;
}

void TCustomFFmpeg::OptFrameSize(const std::string& value) {
    if (value.empty())
        return;
    int width = 0;
    int height = 0;
    if (AVUtilHlpr::av_parse_video_size(&width, &height, value.c_str()) < 0)
        throw FFMpegException("Incorrect frame size");
    Settings.FrameWidth = width;
    Settings.FrameHeight = height;
    if (width % 2 != 0 || height % 2 != 0)
        throw FFMpegException("Frame size must be a multiple of 2");
}

void TCustomFFmpeg::OptAspectRatio(const std::string& value) {
    if (value.empty())
        return;
    double ratio = 0.0;
    const std::size_t colon = value.find(':');
    if (colon != std::string::npos) {
        const int width = IntOrZero(value.substr(0, colon));
        const int height = IntOrZero(value.substr(colon + 1));
        if (height > 0)
            ratio = static_cast<double>(width) / height;
    } else {
        try {
            ratio = StrToFloat(value);
        } catch (const EConvertError&) {
            ratio = 0.0;
        }
    }
    if (ratio == 0.0)
        throw FFMpegException("Incorrect aspect ratio specification.");
    Settings.FrameAspectRatio = static_cast<float>(ratio);
    Settings.AspectFromInput = false;
}

// Logs the heading line (format -1) and one line per format, as the "list" value asks.
void TCustomFFmpeg::LogFormatList(int count, void (*describe)(char*, int, int)) {
    if (!HasLogSink())
        return;
    for (int format = -1; format < count; ++format) {
        char text[128] = {};
        describe(text, sizeof text, format);
        Log(1, Trim(text));
    }
}

void TCustomFFmpeg::OptPixelFormat(const std::string& value) {
    if (value.empty())
        return;
    if (value == "list") {
        LogFormatList(40, [](char* text, int size, int format) {
            AVUtilHlpr::av_get_pix_fmt_string(text, size, static_cast<AVPixelFormat>(format));
        });
        return;
    }
    Settings.FramePixelFormat = AVUtilHlpr::av_get_pix_fmt(value.c_str());
    Settings.PixelFormatNamed = true;
}

void TCustomFFmpeg::OptSampleFormat(const std::string& value) {
    if (value.empty())
        return;
    if (value == "list") {
        LogFormatList(5, [](char* text, int size, int format) {
            AVUtilHlpr::av_get_sample_fmt_string(text, size, static_cast<AVSampleFormat>(format));
        });
        return;
    }
    Settings.AudioSampleFormat = AVUtilHlpr::av_get_sample_fmt(value.c_str());
}

void TCustomFFmpeg::OptQScale(const std::string& value) {
    const float scale = StrToFloat(value);
    if (!(scale > 0.0f && scale <= 255.0f))
        throw FFMpegException("qscale must be > 0.0 and <= 255");
    Settings.VideoQScale = scale;
}

void TCustomFFmpeg::OptPass(const std::string& value) {
    const int pass = StrToInt(value);
    if (pass != 1 && pass != 2)
        throw FFMpegException("pass number can be only 1 or 2");
    Settings.PassNumber = pass;
}

void TCustomFFmpeg::OptCodec(AVMediaType kind, const std::string& value) {
    if (value.empty())
        return;
    std::string& codecName = kind == AVMEDIA_TYPE_VIDEO   ? Settings.VideoCodecName
                             : kind == AVMEDIA_TYPE_AUDIO ? Settings.AudioCodecName
                                                          : Settings.SubtitleCodecName;
    int& copy = kind == AVMEDIA_TYPE_VIDEO   ? Settings.VideoStreamCopy
                : kind == AVMEDIA_TYPE_AUDIO ? Settings.AudioStreamCopy
                                             : Settings.SubtitleStreamCopy;
    codecName.clear();
    if (value == "copy")
        copy = 1;
    else
        codecName = value;
}

void TCustomFFmpeg::OptCodecTag(AVMediaType kind, const std::string& value) {
    if (value.empty())
        return;
    const bool video = kind == AVMEDIA_TYPE_VIDEO;
    if (value.size() != 4)
        throw EAssertionFailed(video ? "video tag parameter must be 4 chars"
                                     : "audio tag parameter must be 4 chars");
    const auto byte = [&](int i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(value[i]));
    };
    const std::uint32_t tag = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
    (video ? Settings.VideoCodecTag : Settings.AudioCodecTag) = tag;
}

void TCustomFFmpeg::OptBitstreamFilter(const std::string& name, const std::string& value) {
    if (value.empty() || value[0] == '=')
        return;
    const std::string filterName = value.substr(0, value.find('='));
    const AVBitStreamFilter* filter = AVCodecHlpr::av_bsf_get_by_name(filterName.c_str());
    AVBSFContext* instance = nullptr;
    if (!filter || AVCodecHlpr::av_bsf_alloc(filter, &instance) < 0 || !instance)
        throw FFMpegException(StringPrintf("Unknown bitstream filter %s", Trim(value).c_str()));
    // The instance is initialised when the stream it belongs to knows its parameters.
    TBitstreamFilterChain& chain = name[0] == 'v'   ? Settings.VideoBitstreamFilters
                                   : name[0] == 'a' ? Settings.AudioBitstreamFilters
                                                    : Settings.SubtitleBitstreamFilters;
    chain.emplace_back(instance);
}

void TCustomFFmpeg::OptMatrix(std::vector<std::uint16_t>& matrix, const std::string& value) {
    matrix.assign(64, 0);
    std::size_t position = 0;
    for (int i = 0;; ++i) {
        // Spaces, an optional sign, digits; the sign counts only when the number ends the text.
        std::size_t p = position;
        while (p < value.size() && value[p] == ' ')
            ++p;
        bool negative = false;
        if (p < value.size() && (value[p] == '-' || value[p] == '+')) {
            negative = value[p] == '-';
            ++p;
        }
        std::int64_t number = 0;
        while (p < value.size() && value[p] >= '0' && value[p] <= '9') {
            number = std::min<std::int64_t>(number * 10 + (value[p] - '0'), INT_MAX);
            ++p;
        }
        if (negative && p == value.size())
            number = -number;
        matrix[i] = static_cast<std::uint16_t>(number);
        if (i == 63)
            break;
        const std::size_t comma = value.find(',', position);
        if (comma == std::string::npos)
            throw FFMpegException(
                StringPrintf("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i));
        position = comma + 1;
    }
}

void TCustomFFmpeg::OptVideoStats() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string clock =
        StringPrintf("%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec);
    Settings.VideoStatsFileName =
        StringPrintf("%svstats_%s.log", ProgramFolder().c_str(), clock.c_str());
}

void TCustomFFmpeg::OptNewStream(AVMediaType kind) {
    if (OutputFiles.empty())
        throw FFMpegException("At least one output file must be specified");
    AVFormatContext* output = OutputFiles.back().Context.get();
    if (kind == AVMEDIA_TYPE_VIDEO)
        NewVideoStream(output);
    else if (kind == AVMEDIA_TYPE_AUDIO)
        NewAudioStream(output);
    else
        NewSubtitleStream(output);
}

void TCustomFFmpeg::OptFrameHook(const std::string& value) {
    if (value.empty())
        return;
    const char delimiter = value.find('|') != std::string::npos ? '|' : ' ';
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(delimiter, start);
        if (end == std::string::npos)
            end = value.size();
        if (end > start)
            words.push_back(value.substr(start, end - start));
        start = end + 1;
    }
    // Dropping words would hand the plug-in a different command line than the user wrote.
    if (words.size() > static_cast<std::size_t>(kMaxHookWords))
        throw FFMpegException(StringPrintf(
            "Too many words in video hook command line: at most %d are allowed", kMaxHookWords));
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    if (AddFrameHook(&FrameHooks, static_cast<int>(argv.size()), argv.data()) != 0)
        throw FFMpegException("Failed to add video hook function: " + value);
    Settings.FrameHooksInUse = 1;
}

void TCustomFFmpeg::SetStartTime(std::int64_t microseconds) {
    if (microseconds > 0)
        Settings.StartTime = microseconds;
}

void TCustomFFmpeg::SetProgramId(int id) {
    if (id >= 0)
        Settings.ProgramId = id;
}

void TCustomFFmpeg::SetAudioVolume(int volume) {
    if (volume >= 0)
        Settings.AudioVolume = volume;
}

void TCustomFFmpeg::SetMuxMaxDelay(float seconds) {
    if (seconds > 0.0f)
        Settings.MuxMaxDelay = seconds;
}

void TCustomFFmpeg::SetMuxPreload(float seconds) {
    if (seconds > 0.0f)
        Settings.MuxPreload = seconds;
}

void TCustomFFmpeg::SetYear(int year) {
    if (year > 0)
        Settings.Year = year;
}

void TCustomFFmpeg::SetTrack(int track) {
    if (track > 0)
        Settings.Track = track;
}

void TCustomFFmpeg::SetPadColor(std::uint32_t rgb) {
    RgbToYCbCr(rgb, Settings.PadColor);
}

} // namespace velto
