// Disc and camcorder target presets: the norm (given or guessed from frame rates) and the option
// steps of each target, applied through the same handlers as options given by hand.
#include <cmath>

#include "FFmpeg.h"
#include "MyUtils.h"

namespace velto {

int NormFromFrameRate(AVRational rate) {
    if (rate.den == 0)
        return -1;
    // Round half to even, as the frame-rate comparison of the presets expects.
    const double milli = std::nearbyint(static_cast<double>(rate.num) * 1000.0 / rate.den);
    if (milli == 25000.0)
        return tnPAL;
    if (milli == 29970.0 || milli == 23976.0)
        return tnNTSC;
    return -1;
}

TTargetNorm GuessTargetNorm(AVRational frameRate, const std::vector<AVRational>& streamRates,
                            const std::string& fallbackNorm) {
    if (frameRate.den == 0)
        throw FFMpegException("frame_rate is invalid.");
    int norm = NormFromFrameRate(frameRate);
    for (std::size_t i = 0; norm < 0 && i < streamRates.size(); ++i)
        norm = NormFromFrameRate(streamRates[i]);
    if (norm >= 0)
        return static_cast<TTargetNorm>(norm);
    if (fallbackNorm == "film")
        return tnFilm;
    if (fallbackNorm == "ntsc")
        return tnNTSC;
    return tnPAL;
}

std::vector<AVRational> TCustomFFmpeg::InputVideoFrameRates() const {
    std::vector<AVRational> rates;
    for (const TInputFile& input : InputFiles) {
        if (!input.Context)
            continue;
        for (unsigned i = 0; i < input.Context->nb_streams; ++i) {
            const AVStream* stream = input.Context->streams[i];
            if (!stream->codecpar || stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
                continue;
            rates.push_back(stream->r_frame_rate.den != 0 ? stream->r_frame_rate
                                                          : stream->avg_frame_rate);
        }
    }
    return rates;
}

void TCustomFFmpeg::ParseTargetOption(const std::string& value) {
    const std::string target = Trim(value);
    static const char* const kNorms[] = {"pal", "ntsc", "film"};
    for (const char* norm : kNorms) {
        const std::string prefix = std::string(norm) + "-";
        if (target.compare(0, prefix.size(), prefix) == 0) {
            SetTarget(target.substr(prefix.size()), norm, "ntsc");
            return;
        }
    }
    SetTarget(target, "auto", "ntsc");
}

void TCustomFFmpeg::SetTarget(const std::string& name, const std::string& norm,
                              const std::string& fallback) {
    TTargetNorm chosen;
    if (norm == "pal") {
        chosen = tnPAL;
    } else if (norm == "ntsc") {
        chosen = tnNTSC;
    } else if (norm == "film") {
        chosen = tnFilm;
    } else {
        chosen = GuessTargetNorm(Settings.FrameRate, InputVideoFrameRates(), fallback);
        if (Settings.Verbosity > 0 && HasLogSink())
            Log(1, StringPrintf("Assuming %s for target.", chosen == tnPAL ? "PAL" : "NTSC"));
    }
    ApplyPreset(name, chosen);
}

void TCustomFFmpeg::ApplyPreset(const std::string& name, TTargetNorm norm) {
    const bool pal = norm == tnPAL;
    static const char* const kFrameRates[] = {"25", "30000/1001", "24000/1001"};
    const char* frameRate = kFrameRates[norm];
    auto assumeAspect = [this](const char* aspect) {
        if (Settings.FrameAspectRatio != 0.0f)
            return;
        Log(1, StringPrintf("Assuming %s for aspect ratio", aspect));
        SetOption("aspect", aspect);
    };

    if (name == "vcd") {
        SetOption("vcodec", "mpeg1video");
        SetOption("acodec", "mp2");
        SetOutputFormat("vcd");
        SetOption("s", pal ? "352x288" : "352x240");
        SetOption("r", frameRate);
        SetGenericOption("gop", pal ? "15" : "18");
        SetGenericOption("b", "1150000");
        SetGenericOption("maxrate", "1150000");
        SetGenericOption("minrate", "1150000");
        SetGenericOption("bufsize", "327680");
        SetGenericOption("ab", "224000");
        Settings.AudioSampleRate = 44100;
        Settings.AudioChannels = 2;
        SetGenericOption("packetsize", "2324");
        SetGenericOption("muxrate", "1411200");
        Settings.MuxPreload = 0.44f;
        assumeAspect("4:3");
    } else if (name == "svcd") {
        SetOption("vcodec", "mpeg2video");
        SetOption("acodec", "mp2");
        SetOutputFormat("svcd");
        SetOption("s", pal ? "480x576" : "480x480");
        SetOption("r", frameRate);
        SetGenericOption("gop", pal ? "15" : "18");
        SetGenericOption("b", "2040000");
        SetGenericOption("maxrate", "2516000");
        SetGenericOption("minrate", "0");
        SetGenericOption("bufsize", "1835008");
        // The MPEG-2 encoder's own option; the flag of that name is gone from the libraries.
        SetGenericOption("scan_offset", "1");
        SetGenericOption("ab", "224000");
        Settings.AudioSampleRate = 44100;
        SetGenericOption("packetsize", "2324");
        if (Settings.AudioChannels == 1)
            Settings.AudioChannels = 2;
        assumeAspect("4:3");
    } else if (name == "dvd") {
        SetOption("vcodec", "mpeg2video");
        SetOption("acodec", "ac3");
        SetOutputFormat("dvd");
        SetOption("s", pal ? "720x576" : "720x480");
        SetOption("r", frameRate);
        SetGenericOption("gop", pal ? "15" : "18");
        SetGenericOption("b", "6000000");
        SetGenericOption("maxrate", "9000000");
        SetGenericOption("minrate", "0");
        SetGenericOption("bufsize", "1835008");
        SetGenericOption("packetsize", "2048");
        SetGenericOption("muxrate", "10080000");
        SetGenericOption("ab", "448000");
        Settings.AudioSampleRate = 48000;
        if (Settings.AudioChannels == 1)
            Settings.AudioChannels = 2;
        assumeAspect("16:9");
    } else if (name == "dv" || name == "dv50") {
        SetOutputFormat("dv");
        SetOption("s", pal ? "720x576" : "720x480");
        SetOption("pix_fmt", name == "dv50" ? "yuv422p" : (pal ? "yuv420p" : "yuv411p"));
        SetOption("r", frameRate);
        Settings.AudioSampleRate = 48000;
        Settings.AudioChannels = 2;
    } else {
        throw FFMpegException("Unknown target type");
    }
}

} // namespace velto
