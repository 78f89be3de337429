// The bridge to the libraries' own option system: options the table does not know are collected
// in holder contexts and copied into the real contexts when inputs and outputs are set up. Also
// codec look-up by name and time parsing.
#include <cstring>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "LogBridge.h"
#include "MyUtils.h"

namespace velto {

namespace {

// Sets name on an AVClass-enabled object; returns the option's description when the value was
// taken, nullptr when the object has no such option or rejected the value.
const AVOption* SetNamedOption(void* object, const char* name, const char* value) {
    if (!object)
        return nullptr;
    if (AVUtilHlpr::av_opt_set(object, name, value, 0) < 0)
        return nullptr;
    return AVUtilHlpr::av_opt_find(object, name, nullptr, 0, 0);
}

// Codec names of the old library generation that this build knows under another name.
const char* CurrentCodecName(const std::string& name) {
    if (name == "libfaac")
        return "aac";
    if (name == "libamr_nb")
        return "libopencore_amrnb";
    return name.c_str();
}

// Generic option names of the old library generation that this build spells differently.
std::string CurrentOptionName(const std::string& name) {
    if (name == "gop")
        return "g";
    return name;
}

// True when the own option class of some muxer or encoder has an option of this name.
bool IsPrivateOutputOption(const char* name) {
    void* state = nullptr;
    while (const AVOutputFormat* format = AVFormatHlpr::av_muxer_iterate(&state)) {
        if (format->priv_class &&
            AVUtilHlpr::av_opt_find(const_cast<AVClass**>(&format->priv_class), name, nullptr, 0,
                                    AV_OPT_SEARCH_FAKE_OBJ))
            return true;
    }
    state = nullptr;
    while (const AVCodec* codec = AVCodecHlpr::av_codec_iterate(&state)) {
        if (codec->priv_class && AVCodecHlpr::av_codec_is_encoder(codec) &&
            AVUtilHlpr::av_opt_find(const_cast<AVClass**>(&codec->priv_class), name, nullptr, 0,
                                    AV_OPT_SEARCH_FAKE_OBJ))
            return true;
    }
    return false;
}

} // namespace

bool TCustomFFmpeg::SetGenericOption(const std::string& rawName, const std::string& rawValue) {
    const std::string name = CurrentOptionName(Trim(rawName));
    const std::string value = Trim(rawValue);
    if (name.empty() || value.empty())
        return false;
    auto holder = [this](AVMediaType kind) -> void* {
        return Settings.CodecOptionHolders[kind].get();
    };

    // Video, audio, data, subtitle, attachment; data and attachment have no option flag of
    // their own, so any codec option of the name counts for them.
    static const struct {
        AVMediaType kind;
        int flag;
    } kKinds[] = {{AVMEDIA_TYPE_VIDEO, AV_OPT_FLAG_VIDEO_PARAM},
                  {AVMEDIA_TYPE_AUDIO, AV_OPT_FLAG_AUDIO_PARAM},
                  {AVMEDIA_TYPE_DATA, 0},
                  {AVMEDIA_TYPE_SUBTITLE, AV_OPT_FLAG_SUBTITLE_PARAM},
                  {AVMEDIA_TYPE_ATTACHMENT, 0}};
    const AVOption* accepted = nullptr;
    void* videoHolder = holder(AVMEDIA_TYPE_VIDEO);
    for (const auto& entry : kKinds) {
        // A bare "b" has always been the video bit rate; audio takes "ab".
        if (name == "b" && entry.kind != AVMEDIA_TYPE_VIDEO)
            continue;
        if (videoHolder &&
            AVUtilHlpr::av_opt_find(videoHolder, name.c_str(), nullptr, entry.flag, 0))
            accepted = SetNamedOption(holder(entry.kind), name.c_str(), value.c_str());
    }
    if (!accepted)
        accepted = SetNamedOption(Settings.FormatOptionHolder.get(), name.c_str(), value.c_str());
    if (!accepted)
        accepted = SetNamedOption(Settings.ScalerOptionHolder.get(), name.c_str(), value.c_str());
    if (!accepted && name.size() > 1) {
        // "ab" reaches the audio "b", "vb" the video "b", "sfoo" the subtitle "foo".
        const std::string rest = name.substr(1);
        if (name[0] == 'a')
            accepted = SetNamedOption(holder(AVMEDIA_TYPE_AUDIO), rest.c_str(), value.c_str());
        else if (name[0] == 'v')
            accepted = SetNamedOption(videoHolder, rest.c_str(), value.c_str());
        else if (name[0] == 's')
            accepted = SetNamedOption(holder(AVMEDIA_TYPE_SUBTITLE), rest.c_str(), value.c_str());
    }
    if (!accepted) {
        // Options the old libraries kept on the common contexts now belong to the private
        // classes of single muxers and encoders; they are kept to be set when those exist.
        if (!IsPrivateOutputOption(name.c_str()))
            return false;
        Settings.PrivateOptions.emplace_back(name, value);
        return true;
    }
    Settings.GenericOptionNames.emplace_back(accepted->name);

    std::int64_t debug = 0;
    bool debugging = false;
    if (videoHolder && AVUtilHlpr::av_opt_get_int(videoHolder, "debug", 0, &debug) >= 0)
        debugging = debug != 0;
    if (!debugging && Settings.FormatOptionHolder &&
        AVUtilHlpr::av_opt_get_int(Settings.FormatOptionHolder.get(), "fdebug", 0, &debug) >= 0)
        debugging = debug != 0;
    if (debugging) {
        AVUtilHlpr::av_log_set_level(AVLevelFromLibraryLevel(2));
        SetLogThreshold(2);
        Settings.Verbosity = 2;
    }
    return true;
}

void TCustomFFmpeg::ApplyGenericOptions(void* target, void* holder, int flags) {
    if (!target || !holder)
        return;
    for (const std::string& name : Settings.GenericOptionNames) {
        std::uint8_t* text = nullptr;
        if (AVUtilHlpr::av_opt_get(holder, name.c_str(), 0, &text) < 0 || !text)
            continue;
        const AVOption* option = AVUtilHlpr::av_opt_find(holder, name.c_str(), nullptr, 0, 0);
        const OwnedBuffer owned(text);
        std::string value(reinterpret_cast<const char*>(text));
        if (value.size() > 255)
            value.resize(255);
        if (option && (option->flags & flags) == flags)
            AVUtilHlpr::av_opt_set(target, name.c_str(), value.c_str(), 0);
    }
    for (const auto& [name, value] : Settings.PrivateOptions) {
        const AVOption* option =
            AVUtilHlpr::av_opt_find(target, name.c_str(), nullptr, 0, AV_OPT_SEARCH_CHILDREN);
        if (option && (option->flags & flags) == flags)
            AVUtilHlpr::av_opt_set(target, name.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN);
    }
}

AVCodecID TCustomFFmpeg::FindCodecId(const std::string& name, AVMediaType kind, bool encoder) {
    if (name.empty())
        return AV_CODEC_ID_NONE;
    const char* role = encoder ? "encoder" : "decoder";
    const char* libraryName = CurrentCodecName(name);
    const AVCodec* codec = encoder ? AVCodecHlpr::avcodec_find_encoder_by_name(libraryName)
                                   : AVCodecHlpr::avcodec_find_decoder_by_name(libraryName);
    if (!codec)
        throw FFMpegException(StringPrintf("Unknown %s '%s'", role, name.c_str()));
    if (codec->type != kind)
        throw FFMpegException(StringPrintf("Invalid %s type '%s'", role, name.c_str()));
    return codec->id;
}

const AVCodec* TCustomFFmpeg::FindEncoderByName(const std::string& name) const {
    return name.empty() ? nullptr
                        : AVCodecHlpr::avcodec_find_encoder_by_name(CurrentCodecName(name));
}

std::int64_t TCustomFFmpeg::ParseTimeOption(const std::string& option, const std::string& text,
                                            bool isDuration) {
    std::int64_t microseconds = 0;
    if (AVUtilHlpr::av_parse_time(&microseconds, text.c_str(), isDuration ? 1 : 0) < 0)
        throw FFMpegException(StringPrintf("Invalid %s specification for %s: %s",
                                           isDuration ? "duration" : "date", option.c_str(),
                                           text.c_str()));
    return microseconds;
}

} // namespace velto
