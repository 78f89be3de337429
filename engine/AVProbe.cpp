#include "AVProbe.h"

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LogBridge.h"
#include "MyUtils.h"
#include "SwScaleHlpr.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace velto {

int DisplayRotationOf(const AVStream* stream) {
    if (!stream)
        return 0;
    const std::uint8_t* matrix =
        AVFormatHlpr::av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix)
        return 0;
    // The matrix's angle is counter-clockwise; players turn the other way.
    const double angle =
        -AVUtilHlpr::av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
    if (!std::isfinite(angle))
        return 0;
    const long quarter = std::lround(angle / 90.0);
    if (std::abs(angle - quarter * 90.0) > 1.0)
        return 0;
    return static_cast<int>(((quarter % 4) + 4) % 4) * 90;
}

namespace {

template <size_t N> void CopyText(char (&target)[N], const char* text) {
    std::memset(target, 0, N);
    if (text)
        std::strncpy(target, text, N - 1);
}

const char* Metadata(AVDictionary* metadata, const char* key, const char* alternative = nullptr) {
    const AVDictionaryEntry* entry = AVUtilHlpr::av_dict_get(metadata, key, nullptr, 0);
    if (!entry && alternative)
        entry = AVUtilHlpr::av_dict_get(metadata, alternative, nullptr, 0);
    return entry ? entry->value : nullptr;
}

std::int32_t LeadingNumber(const char* text) {
    return text ? static_cast<std::int32_t>(std::strtol(text, nullptr, 10)) : 0;
}

std::int32_t ClampToInt32(std::int64_t value) {
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<std::int32_t>(value);
}

std::int64_t ToMicroseconds(std::int64_t value, AVRational timeBase) {
    if (value == AV_NOPTS_VALUE)
        return -1;
    return AVUtilHlpr::av_rescale_q(value, timeBase, AVRational{1, 1000000});
}

// Fills the fields shared by the audio and video records; false when the index is unusable.
template <typename Info>
const AVStream* StreamForInfo(const TCustomAVProbe& probe, int index, int firstIndex,
                              AVMediaType type, const char* kindName, Info& info) {
    std::memset(info.Language, 0, sizeof info.Language);
    std::memset(info.CodecName, 0, sizeof info.CodecName);
    info.StartTime = info.StartTimeUs = info.Duration = info.DurationUs = -1;
    info.BitRate = -1;
    if (!probe.FormatContext()) {
        EngineLog(1, "file not loaded.\n");
        return nullptr;
    }
    if (index < 0) {
        index = firstIndex;
        if (index == -1) {
            EngineLog(0, "no %s stream.\n", kindName);
            return nullptr;
        }
    } else if (index >= probe.StreamCount) {
        EngineLog(0, "stream index #%d is invalid.\n", index);
        return nullptr;
    }
    const AVStream* stream = probe.FormatContext()->streams[index];
    if (stream->codecpar->codec_type != type) {
        EngineLog(0, "stream #%d is not %s stream.\n", index, kindName);
        return nullptr;
    }
    CopyText(info.Language, Metadata(stream->metadata, "language"));
    CopyText(info.CodecName, AVCodecHlpr::avcodec_get_name(stream->codecpar->codec_id));
    info.StartTime = stream->start_time;
    info.StartTimeUs = ToMicroseconds(stream->start_time, stream->time_base);
    info.Duration = stream->duration;
    info.DurationUs = ToMicroseconds(stream->duration, stream->time_base);
    info.BitRate = ClampToInt32(stream->codecpar->bit_rate);
    return stream;
}

} // namespace

TCustomAVProbe::TCustomAVProbe() {
    Analyse();
}

TCustomAVProbe::~TCustomAVProbe() {
    TCustomAVProbe::Close();
}

void TCustomAVProbe::CheckLibraries() {
    if (!AVCodecHlpr::Loaded())
        throw std::runtime_error("LibAVCodec not loaded.");
    if (!AVFormatHlpr::Loaded())
        throw std::runtime_error("LibAVFormat not loaded.");
    if (!AVUtilHlpr::Loaded())
        throw std::runtime_error("LibAVUtil not loaded.");
    if (!SwScaleHlpr::Loaded())
        throw std::runtime_error("LibSwScale not loaded.");
}

bool TCustomAVProbe::LoadFile(const std::string& fileName, const std::string& formatName) {
    CheckLibraries();
    Close();
    const AVInputFormat* format = nullptr;
    if (!formatName.empty()) {
        format = AVFormatHlpr::av_find_input_format(formatName.c_str());
        if (!format) {
            LastError = StringPrintf("Unknown input format: %s", formatName.c_str());
            return false;
        }
    }
    if (std::string refusal = NotARegularFileText(fileName); !refusal.empty()) {
        LastError = std::move(refusal);
        return false;
    }
    // On failure the library frees the pre-allocated context and clears the pointer.
    AVFormatContext* context = AVFormatHlpr::avformat_alloc_context();
    const int opened =
        AVFormatHlpr::avformat_open_input(&context, fileName.c_str(), format, nullptr);
    if (opened < 0) {
        LastError = OpenErrorText(fileName, opened);
        Close();
        return false;
    }
    owned_.reset(context);
    if (AVFormatHlpr::avformat_find_stream_info(context, nullptr) < 0) {
        LastError = StringPrintf("%s: could not find codec parameters", fileName.c_str());
        Close();
        return false;
    }
    Analyse();
    InputFormatName = formatName;
    return true;
}

void TCustomAVProbe::Attach(AVFormatContext* context) {
    CheckLibraries();
    Close();
    attached_ = context;
    Analyse();
}

void TCustomAVProbe::Close() {
    InputFormatName.clear();
    owned_.reset();
    attached_ = nullptr;
    Analyse();
}

void TCustomAVProbe::Analyse() {
    StreamCount = ProgramCount = AudioStreamCount = VideoStreamCount = SubtitleStreamCount = -1;
    FirstAudioStreamIndex = FirstVideoStreamIndex = FirstSubtitleStreamIndex = -1;
    if (!FormatContext())
        return;
    StreamCount = static_cast<int>(FormatContext()->nb_streams);
    ProgramCount = static_cast<int>(FormatContext()->nb_programs);
    AudioStreamCount = VideoStreamCount = SubtitleStreamCount = 0;
    for (int i = 0; i < StreamCount; ++i) {
        switch (FormatContext()->streams[i]->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            ++VideoStreamCount;
            if (FirstVideoStreamIndex == -1)
                FirstVideoStreamIndex = i;
            break;
        case AVMEDIA_TYPE_AUDIO:
            ++AudioStreamCount;
            if (FirstAudioStreamIndex == -1)
                FirstAudioStreamIndex = i;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            ++SubtitleStreamCount;
            if (FirstSubtitleStreamIndex == -1)
                FirstSubtitleStreamIndex = i;
            break;
        default:
            break;
        }
    }
}

void TCustomAVProbe::GetFormatInfo(TFormatInfo& info) const {
    std::memset(&info, 0, sizeof info);
    if (!FormatContext()) {
        info.StartTime = info.Duration = info.Timestamp = -1;
        info.BitRate = info.Year = info.Track = -1;
        EngineLog(1, "file not loaded.\n");
        return;
    }
    AVDictionary* metadata = FormatContext()->metadata;
    info.StartTime = FormatContext()->start_time;
    info.Duration = FormatContext()->duration;
    info.BitRate = ClampToInt32(FormatContext()->bit_rate);
    const char* created = Metadata(metadata, "creation_time");
    std::int64_t createdUs = 0;
    if (created && AVUtilHlpr::av_parse_time(&createdUs, created, 0) >= 0)
        info.Timestamp = createdUs / 1000000;
    CopyText(info.Title, Metadata(metadata, "title"));
    CopyText(info.Author, Metadata(metadata, "author", "artist"));
    CopyText(info.Rights, Metadata(metadata, "copyright"));
    CopyText(info.Comment, Metadata(metadata, "comment"));
    CopyText(info.Album, Metadata(metadata, "album"));
    info.Year = LeadingNumber(Metadata(metadata, "year", "date"));
    info.Track = LeadingNumber(Metadata(metadata, "track"));
    CopyText(info.Genre, Metadata(metadata, "genre"));
}

void TCustomAVProbe::GetAudioStreamInfo(int index, TAudioStreamInfo& info) const {
    info.Channels = info.SampleRate = info.SampleFormat = -1;
    const AVStream* stream =
        StreamForInfo(*this, index, FirstAudioStreamIndex, AVMEDIA_TYPE_AUDIO, "audio", info);
    if (!stream)
        return;
    info.Channels = stream->codecpar->ch_layout.nb_channels;
    info.SampleRate = stream->codecpar->sample_rate;
    info.SampleFormat = stream->codecpar->format;
}

void TCustomAVProbe::GetVideoStreamInfo(int index, TVideoStreamInfo& info) const {
    info.Height = info.Width = info.PixelFormat = info.FrameRateNum = info.FrameRateDen = -1;
    info.AspectRatio = -1.0f;
    const AVStream* stream =
        StreamForInfo(*this, index, FirstVideoStreamIndex, AVMEDIA_TYPE_VIDEO, "video", info);
    if (!stream)
        return;
    const AVCodecParameters* parameters = stream->codecpar;
    info.Height = parameters->height;
    info.Width = parameters->width;
    info.PixelFormat = parameters->format;
    info.AspectRatio = 0.0f;
    if (parameters->sample_aspect_ratio.num != 0 && parameters->height > 0)
        info.AspectRatio = static_cast<float>(av_q2d(parameters->sample_aspect_ratio) *
                                              parameters->width / parameters->height);
    info.FrameRateNum = stream->r_frame_rate.num;
    info.FrameRateDen = stream->r_frame_rate.den;
}

std::string TCustomAVProbe::GetFileName() const {
    if (!FormatContext()) {
        EngineLog(1, "file not loaded.\n");
        return {};
    }
    std::string name = FormatContext()->url ? FormatContext()->url : "";
    if (name.size() > 1024)
        name.resize(1024);
    return name;
}

std::int64_t TCustomAVProbe::GetFileSize() const {
    if (!FormatContext()) {
        EngineLog(1, "file not loaded.\n");
        return -1;
    }
    const std::int64_t size =
        FormatContext()->pb ? AVFormatHlpr::avio_size(FormatContext()->pb) : 0;
    if (size > 0)
        return size;
    const std::string name = GetFileName();
    const std::int64_t onDisk = FileSizeOf(name);
    return onDisk >= 0 ? onDisk : size;
}

} // namespace velto
