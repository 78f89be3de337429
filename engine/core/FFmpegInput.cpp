// Input set-up: opening one input file of a task, probing its streams and reading their
// properties back into the settings so that output options start from the source's values.
#include <memory>

#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "AVUtilHlpr.h"
#include "CodecLock.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "SetupRules.h"

namespace velto {

namespace {

// Demuxer options that carry the input settings to raw and capture demuxers; demuxers without
// such an option leave it unused.
AVDictionary* DemuxerOptions(const TaskSettings& settings) {
    AVDictionary* options = nullptr;
    auto set = [&options](const char* key, const std::string& value) {
        AVUtilHlpr::av_dict_set(&options, key, value.c_str(), 0);
    };
    const int width = settings.FrameWidth + settings.PadLeft + settings.PadRight;
    const int height = settings.FrameHeight + settings.PadTop + settings.PadBottom;
    if (width > 0 && height > 0)
        set("video_size", StringPrintf("%dx%d", width, height));
    if (settings.FramePixelFormat != AV_PIX_FMT_NONE) {
        const char* name =
            AVUtilHlpr::av_get_pix_fmt_name(static_cast<AVPixelFormat>(settings.FramePixelFormat));
        if (name)
            set("pixel_format", name);
    }
    if (settings.FrameRate.num > 0 && settings.FrameRate.den > 0)
        set("framerate", StringPrintf("%d/%d", settings.FrameRate.num, settings.FrameRate.den));
    if (settings.AudioSampleRate > 0)
        set("sample_rate", std::to_string(settings.AudioSampleRate));
    if (settings.AudioChannels > 0)
        set("channels", std::to_string(settings.AudioChannels));
    if (settings.VideoChannel != 0)
        set("channel", std::to_string(settings.VideoChannel));
    if (!settings.VideoStandard.empty())
        set("standard", settings.VideoStandard);
    if (settings.LoopInput != 0)
        set("loop", "1");
    return options;
}

} // namespace

void TCustomFFmpeg::OpenInputFile(const std::string& fileName) {
    // The per-input settings apply to this input only, whatever the outcome.
    struct ResetPerInput {
        TaskSettings& s;
        ~ResetPerInput() {
            s.InputFormat = nullptr;
            s.OutputFormat = nullptr;
            s.VideoChannel = 0;
            s.RateEmulation = 0;
            s.VideoCodecName.clear();
            s.AudioCodecName.clear();
            s.SubtitleCodecName.clear();
        }
    } resetPerInput{Settings};

    if (InputFiles.size() >= static_cast<std::size_t>(kMaxFiles))
        throw FFMpegException(
            StringPrintf("Too many input files: a task takes at most %d", kMaxFiles));
    OwnedInput context = OpenInputContext(fileName);

    if (Settings.ProgramId != 0) {
        for (unsigned i = 0; i < context->nb_programs; ++i)
            if (context->programs[i]->id != Settings.ProgramId)
                context->programs[i]->discard = AVDISCARD_ALL;
    }
    int probed;
    {
        std::lock_guard lock(CodecLock());
        probed = AVFormatHlpr::avformat_find_stream_info(context.get(), nullptr);
    }
    // A quiet log must not let a source through whose streams could not be described.
    if (probed < 0)
        throw FFMpegException(
            StringPrintf("%s: could not find codec parameters", fileName.c_str()));

    std::int64_t timestamp = Settings.StartTime;
    if (context->start_time != AV_NOPTS_VALUE)
        timestamp += context->start_time;
    TInputFile input;
    if (Settings.StartTime != 0) {
        // A failed seek leaves the input where the library put it.
        AVFormatHlpr::av_seek_frame(context.get(), -1, timestamp, AVSEEK_FLAG_BACKWARD);
        input.StartSkipped = std::max<std::int64_t>(0, Settings.StartTime);
        Settings.StartTime = 0;
    }

    input.Streams.resize(context->nb_streams);
    for (unsigned i = 0; i < context->nb_streams; ++i)
        ReadInputStream(context->streams[i], input.Streams[i], fileName);

    if (context->duration != AV_NOPTS_VALUE && context->duration > 0) {
        const std::int64_t milliseconds = context->duration / 1000;
        if (Settings.ExpectedDuration < milliseconds)
            Settings.ExpectedDuration =
                static_cast<int>(std::min<std::int64_t>(milliseconds, INT32_MAX));
    }

    input.TimestampOffset = Settings.CopyTimestamps ? Settings.InputTimestampOffset
                                                    : Settings.InputTimestampOffset - timestamp;
    input.Context = std::move(context);
    const int index = static_cast<int>(InputFiles.size());
    InputFiles.push_back(std::move(input));
    if (Settings.Verbosity >= 0)
        AVFormatHlpr::av_dump_format(InputFiles.back().Context.get(), index, fileName.c_str(), 0);
}

void TCustomFFmpeg::OpenSubtitleFile(const std::string& fileName) {
    if (InputFiles.empty())
        throw FFMpegException("A subtitle file needs the source opened first");
    // The cue file's length and first cue say nothing of the film's.
    const int expected = Settings.ExpectedDuration;
    const std::int64_t startTime = Settings.StartTime;
    Settings.StartTime = 0;
    // The output's codec names are set by now; opening an input would take them for forced
    // decoders and clear them.
    std::string names[] = {std::move(Settings.VideoCodecName), std::move(Settings.AudioCodecName),
                           std::move(Settings.SubtitleCodecName)};
    const auto restore = [&] {
        Settings.ExpectedDuration = expected;
        Settings.StartTime = startTime;
        Settings.VideoCodecName = std::move(names[0]);
        Settings.AudioCodecName = std::move(names[1]);
        Settings.SubtitleCodecName = std::move(names[2]);
    };
    Settings.VideoCodecName.clear();
    Settings.AudioCodecName.clear();
    Settings.SubtitleCodecName.clear();
    try {
        OpenInputFile(fileName);
    } catch (...) {
        restore();
        throw;
    }
    restore();
    TInputFile& cues = InputFiles.back();
    // Cue times are the film's times: they move with the source, not with the first cue.
    cues.TimestampOffset = InputFiles.front().TimestampOffset;
    bool text = false;
    for (unsigned i = 0; i < cues.Context->nb_streams; ++i)
        text |= cues.Context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE;
    if (!text) {
        InputFiles.pop_back();
        throw FFMpegException(
            StringPrintf("'%s' holds no subtitles the converter can read", fileName.c_str()));
    }
    Settings.SubtitleSource = {static_cast<int>(InputFiles.size()) - 1, 0};
}

bool TCustomFFmpeg::CanBurnSubtitles() {
    return AVFilterHlpr::avfilter_get_by_name("subtitles") != nullptr;
}

void TCustomFFmpeg::BurnSubtitlesFrom(const std::string& file, int stream) {
    Settings.BurnBitmapStream = -1;
    if (!file.empty()) {
        Settings.BurnSubtitleFile = file;
        Settings.BurnSubtitleIndex = 0;
        return;
    }
    if (InputFiles.empty())
        throw FFMpegException("Subtitles to burn in need the source opened first");
    // The filter counts subtitle streams only.
    const AVFormatContext* source = InputFiles.front().Context.get();
    int ordinal = 0;
    bool found = false;
    unsigned chosen = 0;
    for (unsigned i = 0; i < source->nb_streams && !found; ++i) {
        if (source->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE)
            continue;
        found = stream < 0 || static_cast<int>(i) == stream;
        if (found)
            chosen = i;
        else
            ++ordinal;
    }
    if (!found)
        throw FFMpegException(
            StringPrintf("'%s' has no subtitle stream %d to burn in", source->url, stream));
    Settings.BurnSubtitleFile = source->url;
    Settings.BurnSubtitleIndex = ordinal;
    // libass draws text only: pictures go through the overlay, found by their stream index.
    const AVCodecDescriptor* codec =
        AVCodecHlpr::avcodec_descriptor_get(source->streams[chosen]->codecpar->codec_id);
    if (codec && (codec->props & AV_CODEC_PROP_BITMAP_SUB))
        Settings.BurnBitmapStream = static_cast<int>(chosen);
}

bool TCustomFFmpeg::BurnsBitmapSubtitles() const {
    return Settings.BurnBitmapStream >= 0;
}

OwnedInput TCustomFFmpeg::OpenInputContext(const std::string& fileName) {
    AVCodecID videoId = FindCodecId(Settings.VideoCodecName, AVMEDIA_TYPE_VIDEO, false);
    const AVCodecID audioId = FindCodecId(Settings.AudioCodecName, AVMEDIA_TYPE_AUDIO, false);
    const AVCodecID subtitleId =
        FindCodecId(Settings.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, false);
    if (Settings.PgmyuvCompatibility && videoId == AV_CODEC_ID_NONE)
        videoId = AV_CODEC_ID_PGMYUV;

    if (std::string refusal = NotARegularFileText(fileName); !refusal.empty())
        throw FFMpegException(refusal);
    AVFormatContext* raw = AVFormatHlpr::avformat_alloc_context();
    if (!raw)
        throw FFMpegException(OpenErrorText(fileName, AVERROR(ENOMEM)));
    ApplyGenericOptions(raw, Settings.FormatOptionHolder.get(), AV_OPT_FLAG_DECODING_PARAM);
    raw->video_codec_id = videoId;
    raw->audio_codec_id = audioId;
    raw->subtitle_codec_id = subtitleId;

    OwnedDictionary options(DemuxerOptions(Settings));
    AVDictionary* optionList = options.release();
    // On failure the library frees the context itself and clears the pointer.
    const int opened = AVFormatHlpr::avformat_open_input(&raw, fileName.c_str(),
                                                         Settings.InputFormat, &optionList);
    options.reset(optionList);
    if (opened < 0) {
        if (raw)
            AVFormatHlpr::avformat_free_context(raw);
        throw FFMpegException(OpenErrorText(fileName, opened));
    }
    return OwnedInput(raw);
}

void TCustomFFmpeg::ReadInputStream(AVStream* stream, TInputStreamSetup& setup,
                                    const std::string& fileName) {
    AVCodecParameters* parameters = stream->codecpar;
    const int kind = parameters->codec_type;
    if (kind < AVMEDIA_TYPE_UNKNOWN || kind >= AVMEDIA_TYPE_NB)
        throw FFMpegException("invalid codec_type");

    setup.CodecContext.reset(AVCodecHlpr::avcodec_alloc_context3(nullptr));
    AVCodecContext* codec = setup.CodecContext.get();
    if (!codec)
        throw FFMpegException(OpenErrorText(fileName, AVERROR(ENOMEM)));
    AVCodecHlpr::avcodec_parameters_to_context(codec, parameters);
    codec->pkt_timebase = stream->time_base;

    switch (kind) {
    case AVMEDIA_TYPE_VIDEO: {
        ApplyGenericOptions(codec, Settings.CodecOptionHolders[AVMEDIA_TYPE_VIDEO].get(),
                            AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);
        Settings.FrameHeight = parameters->height;
        Settings.FrameWidth = parameters->width;
        Settings.FrameAspectRatio =
            InputAspectRatio(stream->sample_aspect_ratio, parameters->sample_aspect_ratio,
                             parameters->width, parameters->height);
        Settings.AspectFromInput = true;
        codec->pix_fmt = static_cast<AVPixelFormat>(InputPixelFormat(parameters->format, fileName));
        Settings.FramePixelFormat = codec->pix_fmt;

        const AVRational rate = stream->r_frame_rate;
        // The codec-level rate of this library generation is the stream's average rate.
        const AVRational codecRate = stream->avg_frame_rate;
        if ((codecRate.num != rate.num || codecRate.den != rate.den) && codecRate.num != 0 &&
            codecRate.den != 0 && rate.den != 0 && Settings.Verbosity > 0 && HasLogSink())
            Log(1, StringPrintf("Seems stream %d codec frame rate differs from container frame "
                                "rate: %2.2f (%d/%d) -> %2.2f (%d/%d)",
                                stream->index, av_q2d(codecRate), codecRate.num, codecRate.den,
                                av_q2d(rate), rate.num, rate.den));
        Settings.FrameRate = rate;
        setup.RateEmulation = Settings.RateEmulation;
        if (Settings.VideoDisable)
            stream->discard = AVDISCARD_ALL;
        else if (Settings.VideoDiscard != 0)
            stream->discard = static_cast<AVDiscard>(Settings.VideoDiscard);
        break;
    }
    case AVMEDIA_TYPE_AUDIO:
        ApplyGenericOptions(codec, Settings.CodecOptionHolders[AVMEDIA_TYPE_AUDIO].get(),
                            AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
        Settings.AudioChannels = parameters->ch_layout.nb_channels;
        Settings.AudioSampleRate = parameters->sample_rate;
        Settings.AudioSampleFormat = parameters->format;
        if (Settings.AudioDisable)
            stream->discard = AVDISCARD_ALL;
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        if (Settings.SubtitleDisable)
            stream->discard = AVDISCARD_ALL;
        break;
    default: // data, attachment, unknown
        break;
    }
}

} // namespace velto
