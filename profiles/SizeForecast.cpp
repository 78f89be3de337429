#include "SizeForecast.h"

#include "JobBuilder.h"
#include "MyUtils.h"
#include "OutputVerifier.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>

namespace velto {

namespace {

std::string Extension(const std::string& fileName) {
    std::string extension = std::filesystem::path(fileName).extension().string();
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// Bytes a container spends per packet (sample tables, chunk headers and index entries) and once
// (header, trailer), measured on this build's muxers with the shipped profiles; a container not
// listed is taken as a share of the streams instead.
struct TContainerCost {
    const char* Extension;
    int PerPacket;
    int Fixed;
};
constexpr TContainerCost kContainerCosts[] = {
    {".mp4", 12, 4096}, {".m4v", 12, 4096}, {".mov", 12, 4096},  {".3gp", 12, 4096},
    {".3g2", 12, 4096}, {".m4a", 12, 4096}, {".avi", 24, 12288}, {".flv", 15, 1024},
    {".mkv", 14, 4096}, {".webm", 14, 4096}};
constexpr double kOtherContainerShare = 0.04;

// A VCD's muxer pads every second to the format's fixed rate of 1411.2 kbit/s in 2352-byte
// sectors of 2324 bytes written: its size follows from its length alone.
constexpr int kVcdTarget = 1;
constexpr double kVcdBytesPerSecond = 1411200.0 / 8.0 * 2324.0 / 2352.0;

std::int64_t VcdBytes(double seconds) {
    return static_cast<std::int64_t>(kVcdBytesPerSecond * seconds);
}

double FrameRateOf(const TOutputOptions& output, const TSourceSummary& source) {
    const std::string& text = output.FrameRate;
    if (!text.empty()) {
        const size_t slash = text.find('/');
        const double num = std::atof(text.substr(0, slash).c_str());
        const double den = slash == std::string::npos ? 1.0 : std::atof(text.c_str() + slash + 1);
        if (num > 0 && den > 0)
            return num / den;
    }
    return source.Picture.FrameRate > 0 ? source.Picture.FrameRate : 25.0;
}

bool HasVideo(const TOutputOptions& output, const TSourceSummary& source) {
    return !output.DisableVideo && source.VideoStreams > 0;
}

bool HasSound(const TOutputOptions& output, const TSourceSummary& source) {
    return !output.DisableAudio && source.AudioStreams > 0;
}

std::int64_t StreamBytes(std::int64_t bitRate, double seconds) {
    return static_cast<std::int64_t>(static_cast<double>(bitRate) * seconds / 8.0);
}

// The value of an engine option line ("name=value") in an option block; empty when absent.
std::string OptionValue(const std::string& block, const std::string& name) {
    size_t at = 0;
    while ((at = block.find(name + "=", at)) != std::string::npos) {
        if (at == 0 || block[at - 1] == '\n') {
            const size_t start = at + name.size() + 1;
            return block.substr(start, block.find('\n', start) - start);
        }
        ++at;
    }
    return {};
}

} // namespace

bool ParseSizeText(const std::string& text, std::int64_t& bytes) {
    if (text.empty())
        return false;
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop == text.data())
        return false;
    const std::string suffix(stop, end);
    double scale = 1;
    if (suffix == "K" || suffix == "k")
        scale = 1024.0;
    else if (suffix == "M" || suffix == "m")
        scale = 1024.0 * 1024.0;
    else if (suffix == "G" || suffix == "g")
        scale = 1024.0 * 1024.0 * 1024.0;
    else if (!suffix.empty())
        return false;
    const double total = std::floor(value * scale);
    if (!(total >= 1.0) || total > 1024.0 * 1024.0 * 1024.0 * 1024.0)
        return false;
    bytes = static_cast<std::int64_t>(total);
    return true;
}

std::string SizeText(std::int64_t bytes) {
    constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    // Kilobytes whole; a tenth of a megabyte still tells on a card or in a mail.
    return unit == 0 ? StringPrintf("%.0f %s", value, kUnits[unit])
                     : StringPrintf("%.1f %s", value, kUnits[unit]);
}

double ConvertedSeconds(const TOutputOptions& output, const TSourceSummary& source) {
    double seconds = source.DurationUs > 0 ? static_cast<double>(source.DurationUs) / 1e6 : 0.0;
    if (output.RecordingTime > 0)
        seconds = seconds > 0 ? std::min(seconds, output.RecordingTime / 1000.0)
                              : output.RecordingTime / 1000.0;
    return seconds;
}

std::int64_t SoundBitRate(const TOutputOptions& output, const TSourceSummary& source) {
    if (!HasSound(output, source))
        return 0;
    const int channels = output.AudioChannels > 0 ? output.AudioChannels
                         : !source.AudioTracks.empty() && source.AudioTracks[0].Channels > 0
                             ? std::min(source.AudioTracks[0].Channels, 2)
                             : 2;
    const int rate = output.AudioSampleRate > 0 ? output.AudioSampleRate : 44100;
    // FLAC keeps every sample: about 60 % of the 16-bit samples on ordinary sound.
    if (output.AudioCodec == "flac")
        return static_cast<std::int64_t>(rate * channels * 16 * 0.6);
    // AMR-NB's highest mode is 12.2 kbit/s, whatever the rate asked.
    if (output.AudioCodec == "libamr_nb")
        return std::min<std::int64_t>(output.AudioBitRate > 0 ? output.AudioBitRate : 12200, 12200);
    return output.AudioBitRate > 0 ? output.AudioBitRate : 64000;
}

std::int64_t ContainerOverhead(const TOutputOptions& output, const TSourceSummary& source) {
    const double seconds = ConvertedSeconds(output, source);
    double packets = 0;
    if (HasVideo(output, source))
        packets += FrameRateOf(output, source) * seconds;
    if (HasSound(output, source))
        packets += (output.AudioSampleRate > 0 ? output.AudioSampleRate : 44100) / 1024.0 * seconds;
    const std::string extension = Extension(output.FileName);
    for (const TContainerCost& cost : kContainerCosts)
        if (extension == cost.Extension)
            return cost.Fixed + static_cast<std::int64_t>(packets * cost.PerPacket);
    const std::int64_t streams =
        StreamBytes(SoundBitRate(output, source), seconds) +
        (HasVideo(output, source) ? StreamBytes(std::max(0, output.VideoBitRate), seconds) : 0);
    return 8192 + static_cast<std::int64_t>(static_cast<double>(streams) * kOtherContainerShare);
}

std::string FitIntoSize(TOutputOptions& output, const TSourceSummary& source, std::int64_t limit) {
    const double seconds = ConvertedSeconds(output, source);
    if (seconds <= 0)
        return "The length of the source is unknown, so its output cannot be fitted into " +
               SizeText(limit);
    const std::string length = FormatClockTime(static_cast<std::int64_t>(seconds * 1e6));
    if (output.Target == kVcdTarget) {
        const std::int64_t bytes = VcdBytes(seconds);
        if (bytes > limit)
            return StringPrintf("The limit of %s is less than the %s a VCD of %s takes "
                                "(the format fixes its rate at 1411 kbit/s)",
                                SizeText(limit).c_str(), SizeText(bytes).c_str(), length.c_str());
        return {}; // a lower video rate would only be padded out
    }
    const std::int64_t sound = StreamBytes(SoundBitRate(output, source), seconds);
    const std::int64_t overhead = ContainerOverhead(output, source);
    if (sound + overhead >= limit && sound == 0)
        return StringPrintf("The limit of %s is less than the %s the container alone takes "
                            "for %s",
                            SizeText(limit).c_str(), SizeText(overhead).c_str(), length.c_str());
    if (sound + overhead >= limit)
        return StringPrintf("The limit of %s is less than the %s the sound alone takes "
                            "(%lld kbit/s for %s)",
                            SizeText(limit).c_str(), SizeText(sound + overhead).c_str(),
                            static_cast<long long>(SoundBitRate(output, source) / 1000),
                            length.c_str());
    if (!HasVideo(output, source))
        return {}; // the sound's own rate fits: nothing to fit
    // Aim a little under the limit: the encoder's rate control lands within a few per cent,
    // and a result over it costs a further pass.
    const double room = static_cast<double>(limit) * 0.96 - static_cast<double>(sound + overhead);
    std::int64_t rate = static_cast<std::int64_t>(std::max(room, 0.0) * 8.0 / seconds);
    rate = std::clamp<std::int64_t>(rate, 4000, 2000000000);
    const bool constantRate = output.MinRate > 0 && output.MinRate == output.MaxRate;
    if (constantRate) {
        output.MinRate = output.MaxRate = output.BufSize = static_cast<std::int32_t>(rate);
    } else if (output.MaxRate > 0 && rate > output.MaxRate) {
        rate = output.MaxRate; // the player's own ceiling holds
    }
    output.VideoBitRate = static_cast<std::int32_t>(rate);
    output.VideoBitRateTolerance = output.VideoBitRate;
    if (!output.ExtOptions.empty() && output.ExtOptions.back() != '\n')
        output.ExtOptions += '\n';
    output.ExtOptions += "fit_size=" + std::to_string(limit) + "\n";
    return {};
}

std::int64_t ForecastSize(const TJobRecords& job, const TSourceSummary& source) {
    const TOutputOptions& output = job.Output;
    if (const std::string fit = OptionValue(output.ExtOptions, "fit_size"); !fit.empty())
        return std::atoll(fit.c_str());
    const double seconds = ConvertedSeconds(output, source);
    if (seconds <= 0)
        return -1;
    if (output.Target == kVcdTarget)
        return VcdBytes(seconds);
    std::int64_t bytes = StreamBytes(SoundBitRate(output, source), seconds);
    if (HasVideo(output, source))
        bytes += StreamBytes(std::max(0, output.VideoBitRate), seconds);
    return bytes + ContainerOverhead(output, source);
}

std::string TFolderRoom::Shortage() const {
    return "needs about " + SizeText(Needed) + ", " + SizeText(std::max<std::int64_t>(Free, 0)) +
           " free on " + Folder;
}

std::vector<TFolderRoom> RoomForOutputs(const std::vector<TPlannedOutput>& outputs) {
    std::vector<TFolderRoom> rooms;
    std::vector<dev_t> devices;
    for (const TPlannedOutput& output : outputs) {
        std::string folder = std::filesystem::path(output.FileName).parent_path().string();
        if (folder.empty())
            folder = ".";
        struct stat info {};
        struct statvfs space {};
        const bool known = ::stat(folder.c_str(), &info) == 0;
        const auto at =
            known ? std::find(devices.begin(), devices.end(), info.st_dev) : devices.end();
        TFolderRoom* room = nullptr;
        if (at != devices.end()) {
            room = &rooms[static_cast<size_t>(at - devices.begin())];
        } else {
            rooms.push_back({folder, 0, -1});
            devices.push_back(known ? info.st_dev : dev_t(-1));
            room = &rooms.back();
            if (known && ::statvfs(folder.c_str(), &space) == 0)
                room->Free = static_cast<std::int64_t>(space.f_bavail) *
                             static_cast<std::int64_t>(space.f_frsize);
        }
        room->Needed += std::max<std::int64_t>(output.Size, 0);
    }
    return rooms;
}

std::vector<TFolderRoom> RoomForWritingOutputs(const std::vector<TWritingOutput>& outputs) {
    std::vector<TPlannedOutput> remaining;
    for (const TWritingOutput& output : outputs) {
        // The headers and the encoder's first pictures say little of the pace.
        const bool paced = output.TotalMs > 0 && output.DoneMs >= 2000 &&
                           output.DoneMs * 20 >= output.TotalMs && output.Written > 0;
        const double projected =
            paced ? static_cast<double>(output.Written) * static_cast<double>(output.TotalMs) /
                        static_cast<double>(output.DoneMs)
                  : static_cast<double>(std::max(output.Forecast, output.Written));
        const double left = std::clamp(projected - static_cast<double>(output.Written), 0.0, 9e18);
        remaining.push_back({output.FileName, static_cast<std::int64_t>(left)});
    }
    return RoomForOutputs(remaining);
}

} // namespace velto
