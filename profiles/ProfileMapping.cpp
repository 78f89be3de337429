#include "ProfileMapping.h"

#include "AVProbe.h"
#include "OutputFileName.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace velto {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return text;
}

// The whole text as a decimal integer, or the fall-back (empty, stray characters, overflow).
int IntegerOr(const std::string& text, int fallback) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty() ? value : fallback;
}

std::string WithoutBlanks(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

constexpr std::string_view kDiscTypes = ".vcd.svcd.dvd";

bool IsDiscType(const std::string& fileType) {
    return !fileType.empty() && kDiscTypes.find(fileType) != std::string_view::npos;
}

// Rules keyed on the profile's exact file type; the first matching one applies.
void ApplyFileTypeRules(TOutputOptions& o) {
    const std::string& t = o.FileType;
    if (t == ".flv" || t == ".swf") {
        if (o.AudioSampleRate != 11025 && o.AudioSampleRate != 22050 && o.AudioSampleRate != 44100)
            o.AudioSampleRate = 22050;
    } else if (t == ".ogg") {
        o.VideoCodec = "libtheora";
        o.AudioCodec = "flac";
    } else if (t == ".psp") {
        o.FileFormat = "psp";
        o.VideoCodec = "mpeg4";
        o.AudioCodec = "libfaac";
        o.AudioSampleRate = 24000;
        o.FrameRate = "15000/1001";
        o.FileType = "_psp.mp4";
    } else if (t == ".ipod") {
        o.VideoCodec = "mpeg4";
        o.AudioCodec = "libfaac";
        o.FrameSize = "320x240";
        o.FileType = "_ipod.mp4";
    } else if (t == ".rm10") {
        o.VideoCodec = "rv10";
        o.FileType = "_rv10.rm";
    } else if (t == ".rm20") {
        o.VideoCodec = "rv20";
        o.FileType = "_rv20.rm";
    } else if (t == ".mp4" || t == ".wmv") {
    } else if (t == ".mkv") {
        o.VideoCodec = "libx264";
    } else if (t == ".wma") {
        o.DisableVideo = true;
        o.AudioCodec = "wmav2";
    } else if (t == ".3gp") {
        // Narrow-band rates: the phone formats' speech encoders run at 12.2 kbit/s.
        if (o.AudioBitRate <= 32000)
            o.AudioBitRate = 12200;
    } else if (IsDiscType(t)) {
        o.Target = t == ".vcd" ? 1 : t == ".svcd" ? 2 : 3;
        o.TargetNorm = 0;
        o.TargetFallbackNorm = 1;
    }
}

} // namespace

std::string VideoCodecFor(const std::string& code) {
    static const std::pair<const char*, const char*> kTable[] = {
        {"divx", "mpeg4"},   {"xvid", "libxvid"},    {"x264", "libx264"},    {"mp4", "mpeg4"},
        {"h264", "libx264"}, {"mpg1", "mpeg1video"}, {"mpg2", "mpeg2video"}, {"wmv1", "wmv1"},
        {"wmv2", "wmv2"},    {"mjpg", "mjpeg"},      {"h263", "h263"},       {"flv", "flv"},
        {"msm4", "msmpeg4"}, {"msv2", "msmpeg4v2"},
    };
    const std::string key = Lower(code);
    for (const auto& [c, name] : kTable)
        if (key == c)
            return name;
    return {};
}

std::string AudioCodecFor(const std::string& code) {
    static const std::pair<const char*, const char*> kTable[] = {
        {"aac", "libfaac"},       {"acc", "libfaac"},    {"ac3", "ac3"},
        {"flac", "flac"},         {"mp3", "libmp3lame"}, {"pcm8", "adpcm_ima_qt"},
        {"pcm", "libmp3lame"}, // the code has always meant MP3 here, not PCM
        {"wav", "adpcm_ima_wav"}, {"amr", "libamr_nb"},  {"wma1", "wmav1"},
        {"wma2", "wmav2"},
    };
    const std::string key = Lower(code);
    for (const auto& [c, name] : kTable)
        if (key == c)
            return name;
    return {};
}

TOutputOptions MapProfile(const TOutputProfile& profile, const TProfileSelection& selection) {
    TOutputOptions o;
    o.FileType = profile.FileType;
    o.AudioBitRate = IntegerOr(ListEntryText(vlAudioBitrate, selection.AudioBitrate), 64) * 1000;
    o.AudioSampleRate = IntegerOr(ListEntryText(vlSampleBitrate, selection.SampleBitrate), 22050);
    o.AudioChannels =
        ListEntryText(vlChannels, selection.Channels).empty() ? 0 : selection.Channels + 1;
    const std::string frameSize = ListEntryText(vlFrameSize, selection.FrameSize);
    if (frameSize != "Auto")
        o.FrameSize = WithoutBlanks(frameSize);
    o.VideoBitRate = IntegerOr(ListEntryText(vlVideoBitrate, selection.VideoBitrate), 200) * 1000;
    // The encoders' own allowance is 4 Mbit whatever the rate, so a low rate drifts 20-40 % high
    // before it is corrected; one second's worth keeps the average within a few per cent.
    o.VideoBitRateTolerance = o.VideoBitRate;
    const std::string frameRate = ListEntryText(vlFramerate, selection.Framerate);
    if (frameRate != "Auto")
        o.FrameRate = frameRate;
    o.VideoCodec = VideoCodecFor(profile.VideoFormat);
    if (Lower(profile.VideoFormat) == "divx")
        o.VideoTag = "DIVX";
    o.AudioCodec = AudioCodecFor(profile.AudioFormat);
    ApplyFileTypeRules(o);
    o.Timestamp = 0; // stamped with the time of the conversion
    if (IsDiscType(o.FileType))
        o.FileType = "_" + o.FileType.substr(1) + "_auto.mpg";
    return o;
}

TOutputOptions BuildOutputOptions(const TOutputProfile& profile, const TProfileSelection& selection,
                                  const std::string& sourceFile,
                                  const TOutputPlacement& placement) {
    TOutputOptions o = MapProfile(profile, selection);
    o.FileName = OutputFileName(sourceFile, placement.FolderText, o.FileType, placement.Overwrite,
                                placement.TakenPaths);
    return o;
}

TInputOptions BuildInputOptions(const TCustomAVProbe& probe) {
    TInputOptions in;
    in.FileName = probe.GetFileName();
    in.FileFormat = probe.InputFormatName;
    return in;
}

} // namespace velto
