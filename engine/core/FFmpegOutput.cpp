// Output set-up: creating one output file of a task with its streams, metadata and muxer settings,
// and the checks that decide which kinds of streams it gets.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "MyUtils.h"

namespace velto {

namespace {

constexpr std::size_t kMaxFileName = 1023;
constexpr std::size_t kMaxMetadataText = 511;
constexpr std::size_t kMaxGenreText = 31;

void SetMetadata(AVFormatContext* context, const char* key, const std::string& value,
                 std::size_t limit) {
    if (!value.empty())
        AVUtilHlpr::av_dict_set(&context->metadata, key, value.substr(0, limit).c_str(), 0);
}

// Index of the opened input that is the same file as fileName, or -1. Opening it for writing
// would truncate the source the task is about to read.
int InputIndexOfFile(const std::vector<TInputFile>& inputs, const std::string& fileName) {
    struct stat target {};
    if (::stat(fileName.c_str(), &target) != 0)
        return -1;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        struct stat source {};
        const AVFormatContext* context = inputs[i].Context.get();
        if (context && context->url && ::stat(context->url, &source) == 0 &&
            source.st_dev == target.st_dev && source.st_ino == target.st_ino)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

bool TCustomFFmpeg::HasNoResizingFilter(const std::string& chain) {
    std::string text = chain;
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::string kResizing = ",crop,rotate,scale,transpose,";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = text.substr(start, end - start);
        const std::string name = item.substr(0, item.find('='));
        if (kResizing.find("," + name + ",") != std::string::npos)
            return false;
        start = end + 1;
    }
    return true;
}

void TCustomFFmpeg::CheckInputStreamKinds(bool& hasVideo, bool& hasAudio, bool& hasSubtitle) const {
    hasVideo = hasAudio = hasSubtitle = false;
    for (const TInputFile& input : InputFiles) {
        if (!input.Context)
            continue;
        for (unsigned i = 0; i < input.Context->nb_streams; ++i) {
            const int kind = input.Context->streams[i]->codecpar->codec_type;
            if (kind < AVMEDIA_TYPE_UNKNOWN || kind >= AVMEDIA_TYPE_NB)
                throw FFMpegException("invalid codec_type of input file");
            hasVideo |= kind == AVMEDIA_TYPE_VIDEO;
            hasAudio |= kind == AVMEDIA_TYPE_AUDIO;
            hasSubtitle |= kind == AVMEDIA_TYPE_SUBTITLE;
        }
    }
}

namespace {

// The forced formats apply to one output only, whatever the outcome.
struct ResetForcedFormats {
    TaskSettings& s;
    ~ResetForcedFormats() {
        s.OutputFormat = nullptr;
        s.InputFormat = nullptr;
    }
};

std::string CreationTime(std::int64_t secondsSince1970) {
    const std::time_t seconds = static_cast<std::time_t>(secondsSince1970);
    std::tm utc{};
    char text[32] = "";
    if (::gmtime_r(&seconds, &utc) &&
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc))
        return text;
    return {};
}

} // namespace

void TCustomFFmpeg::CheckFilterOptions() const {
    const TaskSettings& s = Settings;
    if (!s.VideoFilters.empty() &&
        (s.CropTop != 0 || s.CropBottom != 0 || s.CropLeft != 0 || s.CropRight != 0))
        throw FFMpegException("Cannot enable crop options and filters at the same time.");
    if (s.PadTop + s.PadBottom + s.PadLeft + s.PadRight != 0 &&
        !HasNoResizingFilter(s.VideoFilters))
        throw FFMpegException("Cannot enable pad options and the filters which resize frame at "
                              "the same time. (crop, rotate, scale, transpose, etc.)");
}

void TCustomFFmpeg::OpenOutputFile(const std::string& fileName) {
    if (OutputFiles.size() >= static_cast<std::size_t>(kMaxFiles))
        throw FFMpegException(
            StringPrintf("Too many output files: a task takes at most %d", kMaxFiles));
    ResetForcedFormats resetFormats{Settings};
    CheckFilterOptions();
    Settings.FiltersInUse = !Settings.VideoFilters.empty() || !Settings.BurnSubtitleFile.empty();

    const AVOutputFormat* format = Settings.OutputFormat;
    if (!format)
        format = AVFormatHlpr::av_guess_format(nullptr, fileName.c_str(), nullptr);
    if (!format)
        throw FFMpegException(
            StringPrintf("Unable to find a suitable output format for '%s'", fileName.c_str()));
    const std::string name = fileName.substr(0, kMaxFileName);
    AVFormatContext* context = nullptr;
    const int allocated =
        AVFormatHlpr::avformat_alloc_output_context2(&context, format, nullptr, name.c_str());
    if (allocated < 0 || !context)
        throw FFMpegException(OpenErrorText(fileName, allocated < 0 ? allocated : AVERROR(ENOMEM)));
    // Registered at once so that the stream records have a home; unregistered on early failure.
    OutputFiles.emplace_back().Context.reset(context);
    try {
        AddOutputStreams(context);
    } catch (...) {
        TOutputFile last = std::move(OutputFiles.back());
        OutputFiles.pop_back();
        last.Streams.clear();
        last.Context.reset();
        throw;
    }
    SetOutputMetadata(context);
    // From here on a failure leaves the output registered; the task's clean-up releases it.
    CheckOutputTarget(context, fileName);

    // Muxer settings; muxers without such an option ignore them.
    AVUtilHlpr::av_opt_set_int(context, "preload",
                               static_cast<std::int64_t>(Settings.MuxPreload * 1000000),
                               AV_OPT_SEARCH_CHILDREN);
    context->max_delay = static_cast<int>(Settings.MuxMaxDelay * 1000000);
    AVUtilHlpr::av_opt_set_int(context, "loop", Settings.LoopOutput, AV_OPT_SEARCH_CHILDREN);
    ApplyGenericOptions(context, Settings.FormatOptionHolder.get(), AV_OPT_FLAG_ENCODING_PARAM);
}

void TCustomFFmpeg::AddOutputStreams(AVFormatContext* context) {
    const AVOutputFormat* format = context->oformat;
    bool useVideo = Settings.VideoStreamCopy || format->video_codec != AV_CODEC_ID_NONE ||
                    !Settings.VideoCodecName.empty();
    bool useAudio = Settings.AudioStreamCopy || format->audio_codec != AV_CODEC_ID_NONE ||
                    !Settings.AudioCodecName.empty();
    bool useSubtitle = Settings.SubtitleStreamCopy || format->subtitle_codec != AV_CODEC_ID_NONE ||
                       !Settings.SubtitleCodecName.empty();
    if (!InputFiles.empty()) {
        bool hasVideo = false, hasAudio = false, hasSubtitle = false;
        try {
            CheckInputStreamKinds(hasVideo, hasAudio, hasSubtitle);
        } catch (const std::exception& error) {
            throw FFMpegException(
                StringPrintf("check_audio_video_sub_inputs fail: %s", error.what()));
        }
        useVideo = useVideo && hasVideo;
        useAudio = useAudio && hasAudio;
        useSubtitle = useSubtitle && hasSubtitle;
    }
    // A first pass measures the picture alone, but the PSP's muxer will not start a file
    // without its sound.
    const bool picture = FitPass() == 1 && std::strcmp(format->name, "psp") != 0;
    struct StreamStep {
        bool wanted;
        void (TCustomFFmpeg::*create)(AVFormatContext*);
        const char* failure;
    } const steps[] = {
        {useVideo && !Settings.VideoDisable, &TCustomFFmpeg::NewVideoStream,
         "new_video_stream fail: %s"},
        {useAudio && !Settings.AudioDisable && !picture, &TCustomFFmpeg::NewAudioStream,
         "new_audio_stream fail: %s"},
        {useSubtitle && !Settings.SubtitleDisable && !picture, &TCustomFFmpeg::NewSubtitleStream,
         "new_subtitle_stream fail: %s"},
    };
    for (const StreamStep& step : steps) {
        if (!step.wanted)
            continue;
        try {
            (this->*step.create)(context);
        } catch (const std::exception& error) {
            throw FFMpegException(StringPrintf(step.failure, error.what()));
        }
    }
}

void TCustomFFmpeg::SetOutputMetadata(AVFormatContext* context) const {
    if (Settings.RecordingTimestamp != 0) {
        const std::string time = CreationTime(Settings.RecordingTimestamp);
        if (!time.empty())
            AVUtilHlpr::av_dict_set(&context->metadata, "creation_time", time.c_str(), 0);
    }
    SetMetadata(context, "title", Settings.Title, kMaxMetadataText);
    SetMetadata(context, "author", Settings.Author, kMaxMetadataText);
    SetMetadata(context, "copyright", Settings.Rights, kMaxMetadataText);
    SetMetadata(context, "comment", Settings.Comment, kMaxMetadataText);
    SetMetadata(context, "album", Settings.Album, kMaxMetadataText);
    SetMetadata(context, "genre", Settings.Genre, kMaxGenreText);
    if (Settings.Year > 0)
        SetMetadata(context, "year", std::to_string(Settings.Year), kMaxMetadataText);
    if (Settings.Track > 0)
        SetMetadata(context, "track", std::to_string(Settings.Track), kMaxMetadataText);
}

void TCustomFFmpeg::CheckOutputTarget(AVFormatContext* context, const std::string& fileName) const {
    const int flags = context->oformat->flags;
    if ((flags & AVFMT_NEEDNUMBER) && !AVFormatHlpr::av_filename_number_test(context->url))
        throw FFMpegException(OpenErrorText(context->url, -33));
    if (flags & AVFMT_NOFILE)
        return;
    const int input = InputIndexOfFile(InputFiles, fileName);
    if (input >= 0)
        throw FFMpegException(StringPrintf("Could not open '%s': it is input file #%d of this task",
                                           fileName.c_str(), input));
    // Nothing is created yet: the run writes a temporary file and renames it at the end.
    const std::string problem = OutputFolderProblem(fileName);
    if (!problem.empty())
        throw FFMpegException(
            StringPrintf("Could not open '%s': %s", fileName.c_str(), problem.c_str()));
}

} // namespace velto
