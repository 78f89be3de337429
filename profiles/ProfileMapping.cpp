#include "ProfileMapping.h"

#include "AVCodecHlpr.h"
#include "AVProbe.h"
#include "OutputFileName.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
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

} // namespace

bool HasAmrEncoder() {
    return AVCodecHlpr::Loaded() && AVCodecHlpr::avcodec_find_encoder_by_name("libopencore_amrnb");
}

namespace {

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
    } else if (t == ".webm") {
        // Opus runs at 48 kHz and its divisors only.
        if (o.AudioCodec == "libopus" && o.AudioSampleRate != 8000 && o.AudioSampleRate != 16000 &&
            o.AudioSampleRate != 24000 && o.AudioSampleRate != 48000)
            o.AudioSampleRate = 48000;
    } else if (t == ".mp3" || t == ".m4a" || t == ".flac" || t == ".oga") {
        // Sound only, in the one codec each of these files holds.
        o.DisableVideo = true;
        o.AudioCodec = t == ".mp3"    ? "libmp3lame"
                       : t == ".m4a"  ? "libfaac"
                       : t == ".flac" ? "flac"
                                      : "libvorbis";
    } else if (t == ".mkv") {
        o.VideoCodec = "libx264";
    } else if (t == ".wma") {
        o.DisableVideo = true;
        o.AudioCodec = "wmav2";
    } else if (t == ".3gp") {
        // Narrow-band rates: the phone formats' speech encoders run at 12.2 kbit/s.
        if (o.AudioBitRate <= 32000)
            o.AudioBitRate = 12200;
        // Feature phones' own format: AMR-NB speech, 8 kHz mono at its top rate, where this
        // build of the libraries has its encoder (the job builder says so when not).
        if (o.FrameSize == "176x144" && HasAmrEncoder()) {
            o.AudioCodec = "libamr_nb";
            o.AudioSampleRate = 8000;
            o.AudioChannels = 1;
            o.AudioBitRate = 12200;
        }
    } else if (IsDiscType(t)) {
        o.Target = t == ".vcd" ? 1 : t == ".svcd" ? 2 : 3;
        o.TargetNorm = 0;
        o.TargetFallbackNorm = 1;
    }
}

// Speed settings for the encoders whose own defaults are far slower than a desktop converter
// can ask for; free option text the task applies before its typed fields.
std::string EncoderSettings(const std::string& videoCodec) {
    if (videoCodec == "libx265")
        return "preset=fast\n";
    if (videoCodec == "libvpx-vp9")
        return "deadline=good\ncpu-used=4\nrow-mt=1\n";
    return {};
}

// The NTSC rates as exact fractions: taken as decimals they give odd time bases (29.976 became
// 3747/125) that players and phones handle badly.
std::string EncoderRate(const std::string& listText) {
    static const std::pair<const char*, const char*> kNtsc[] = {{"23.976", "24000/1001"},
                                                                {"29.976", "30000/1001"},
                                                                {"29.97", "30000/1001"},
                                                                {"59.94", "60000/1001"}};
    for (const auto& [text, fraction] : kNtsc)
        if (listText == text)
            return fraction;
    return listText;
}

int EvenAtMost(double value, int bound) {
    const int even = static_cast<int>(std::lround(value)) & ~1;
    return std::clamp(even, 2, std::max(2, bound & ~1));
}

bool ParseFrameSize(const std::string& text, int& width, int& height) {
    char tail = 0;
    return std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &tail) == 2 && width > 0 &&
           height > 0;
}

double RateOf(const std::string& text) {
    int num = 0, den = 0;
    if (std::sscanf(text.c_str(), "%d/%d", &num, &den) == 2 && den > 0)
        return double(num) / den;
    char* end = nullptr;
    const double rate = std::strtod(text.c_str(), &end);
    return end != text.c_str() ? rate : 0.0;
}

// The frame size, pads and a square-pixel aspect for the kept proportions.
void FitToSource(TOutputOptions& o, const TOutputProfile& profile, const TSourcePicture& source) {
    int width = 0, height = 0;
    if (o.DisableVideo || o.Target != 0 || source.Width <= 0 || source.Height <= 0 ||
        !ParseFrameSize(o.FrameSize, width, height))
        return;
    const TPictureFit fit = FitPicture(width, height, source, profile.FrameFollowsSource != 0);
    o.FrameSize = std::to_string(fit.Width) + "x" + std::to_string(fit.Height);
    o.PadTop = fit.PadTop;
    o.PadBottom = fit.PadBottom;
    o.PadLeft = fit.PadLeft;
    o.PadRight = fit.PadRight;
    // The engine turns RGB into Y'CbCr at full range: RGB 16,16,16 gives video black (16, 128,
    // 128), where plain 0 would be darker than any picture's black.
    o.PadColor = 0x101010;
    o.AspectRatio = std::to_string(fit.Width + fit.PadLeft + fit.PadRight) + ":" +
                    std::to_string(fit.Height + fit.PadTop + fit.PadBottom);
}

// H.264 for today's phones and tablets: High profile at the level the output frame needs, so
// that every device of that level plays it.
void AddDeviceLevel(TOutputOptions& o, const TOutputProfile& profile,
                    const TSourcePicture& source) {
    if (o.VideoCodec != "libx264" || profile.FrameFollowsSource == 0 || o.DisableVideo)
        return;
    int width = source.Width, height = source.Height;
    if (!o.FrameSize.empty() && !ParseFrameSize(o.FrameSize, width, height))
        return;
    width += std::max(0, o.PadLeft) + std::max(0, o.PadRight);
    height += std::max(0, o.PadTop) + std::max(0, o.PadBottom);
    if (width <= 0 || height <= 0)
        return;
    const double rate = o.FrameRate.empty() ? source.FrameRate : RateOf(o.FrameRate);
    // 100 is High in the codec context's own profile numbers, which x264 reads; the "v" names
    // keep both values off the audio encoder, which has fields of the same names.
    o.ExtOptions +=
        "vprofile=100\nvlevel=" + std::to_string(H264LevelFor(width, height, rate)) + "\n";
}

} // namespace

TSourcePicture SourcePictureOf(const TCustomAVProbe& probe) {
    TSourcePicture picture;
    if (probe.VideoStreamCount <= 0)
        return picture;
    TVideoStreamInfo info{};
    probe.GetVideoStreamInfo(probe.FirstVideoStreamIndex, info);
    if (info.Width <= 0 || info.Height <= 0)
        return picture;
    picture.Width = info.Width;
    picture.Height = info.Height;
    picture.DisplayAspect = info.AspectRatio > 0.0f ? info.AspectRatio : 0.0;
    if (info.FrameRateNum > 0 && info.FrameRateDen > 0)
        picture.FrameRate = double(info.FrameRateNum) / info.FrameRateDen;
    return picture;
}

TPictureFit FitPicture(int frameWidth, int frameHeight, const TSourcePicture& source,
                       bool followSource) {
    TPictureFit fit;
    if (source.Width <= 0 || source.Height <= 0 || frameWidth <= 0 || frameHeight <= 0) {
        // No shape to keep: the whole frame, as without the option.
        fit.Width = std::max(0, frameWidth);
        fit.Height = std::max(0, frameHeight);
        return fit;
    }
    const double aspect =
        source.DisplayAspect > 0.0 ? source.DisplayAspect : double(source.Width) / source.Height;
    if (followSource) {
        // Shown size of the source in square pixels; an upright picture turns the bound.
        const double shownWidth = source.Height * aspect;
        const double shownHeight = source.Height;
        if (shownHeight > shownWidth && frameWidth > frameHeight)
            std::swap(frameWidth, frameHeight);
        const double scale = std::min({1.0, frameWidth / shownWidth, frameHeight / shownHeight});
        fit.Width = EvenAtMost(shownWidth * scale, frameWidth);
        fit.Height = EvenAtMost(shownHeight * scale, frameHeight);
        return fit;
    }
    if (aspect > double(frameWidth) / frameHeight) {
        fit.Width = EvenAtMost(frameWidth, frameWidth);
        fit.Height = EvenAtMost(frameWidth / aspect, frameHeight);
    } else {
        fit.Height = EvenAtMost(frameHeight, frameHeight);
        fit.Width = EvenAtMost(frameHeight * aspect, frameWidth);
    }
    // Pads come in even sizes; the odd two pixels of a split go to the bottom and right.
    const int padHeight = (frameHeight & ~1) - fit.Height;
    const int padWidth = (frameWidth & ~1) - fit.Width;
    fit.PadTop = (padHeight / 2) & ~1;
    fit.PadBottom = padHeight - fit.PadTop;
    fit.PadLeft = (padWidth / 2) & ~1;
    fit.PadRight = padWidth - fit.PadLeft;
    return fit;
}

int H264LevelFor(int width, int height, double frameRate) {
    // Level, largest frame in macroblocks, macroblocks a second.
    static const struct {
        int level;
        double frame;
        double perSecond;
    } kLevels[] = {{30, 1620, 40500},   {31, 3600, 108000},  {32, 5120, 216000},
                   {40, 8192, 245760},  {41, 8192, 245760},  {42, 8704, 522240},
                   {50, 22080, 589824}, {51, 36864, 983040}, {52, 36864, 2073600}};
    const double blocks = double((width + 15) / 16) * ((height + 15) / 16);
    const double rate = frameRate > 0.0 ? frameRate : 30.0;
    for (const auto& level : kLevels)
        if (blocks <= level.frame && blocks * rate <= level.perSecond)
            return level.level;
    return 52;
}

std::string VideoCodecFor(const std::string& code) {
    static const std::pair<const char*, const char*> kTable[] = {
        {"divx", "mpeg4"},     {"xvid", "libxvid"},    {"x264", "libx264"},    {"mp4", "mpeg4"},
        {"h264", "libx264"},   {"mpg1", "mpeg1video"}, {"mpg2", "mpeg2video"}, {"wmv1", "wmv1"},
        {"wmv2", "wmv2"},      {"mjpg", "mjpeg"},      {"h263", "h263"},       {"flv", "flv"},
        {"msm4", "msmpeg4"},   {"msv2", "msmpeg4v2"},  {"h265", "libx265"},    {"hevc", "libx265"},
        {"vp9", "libvpx-vp9"},
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
        {"wma2", "wmav2"},        {"opus", "libopus"},   {"vorbis", "libvorbis"},
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
        o.FrameRate = EncoderRate(frameRate);
    o.VideoCodec = VideoCodecFor(profile.VideoFormat);
    if (Lower(profile.VideoFormat) == "divx")
        o.VideoTag = "DIVX";
    // Apple's players take HEVC in MP4 only under this tag.
    if (o.VideoCodec == "libx265")
        o.VideoTag = "hvc1";
    o.ExtOptions = EncoderSettings(o.VideoCodec);
    o.AudioCodec = AudioCodecFor(profile.AudioFormat);
    ApplyFileTypeRules(o);
    if (o.VideoCodec == "libvpx-vp9") {
        // libvpx's one-pass variable rate runs a third over on a busy picture; its constant-rate
        // mode with a one-second buffer holds the rate.
        o.MinRate = o.MaxRate = o.VideoBitRate;
        o.BufSize = o.VideoBitRate;
    }
    if (profile.IsPSP == "1") {
        o.NeedsVideoAndAudio = true;
        // The PSP plays H.264 up to Main profile, level 3.0: no 8x8 transform, flat matrices.
        if (o.VideoCodec == "libx264")
            o.ExtOptions += "x264-params=level=3.0:8x8dct=0:cqm=flat\n";
    }
    o.Timestamp = 0; // stamped with the time of the conversion
    if (IsDiscType(o.FileType))
        o.FileType = "_" + o.FileType.substr(1) + "_auto.mpg";
    return o;
}

TOutputOptions BuildOutputOptions(const TOutputProfile& profile, const TProfileSelection& selection,
                                  const std::string& sourceFile, const TOutputPlacement& placement,
                                  const TSourcePicture& source) {
    TOutputOptions o = MapProfile(profile, selection);
    if (selection.KeepAspect)
        FitToSource(o, profile, source);
    AddDeviceLevel(o, profile, source);
    // Phones and browsers start playing an MP4 before it has all arrived only with its index
    // in front.
    if (profile.FrameFollowsSource != 0 && o.FileType == ".mp4")
        o.ExtOptions += "movflags=+faststart\n";
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
