// Transcode set-up of each output stream's codec: the parameters copied from its source for a
// stream copy, or the encoder prepared (sample queue, scaler, filter chain) for encoding.
#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "ColourTags.h"
#include "Decoder.h"
#include "FFmpeg.h"
#include "MyUtilHlpr.h"
#include "MyUtils.h"
#include "SwScaleHlpr.h"

#include <algorithm>
#include <cstring>

namespace velto {

AVRational CopyTimeBase(AVRational streamTimeBase, AVRational decoderTimeBase) {
    const double stream = av_q2d(streamTimeBase);
    if (decoderTimeBase.num > 0 && decoderTimeBase.den > 0 && stream < av_q2d(decoderTimeBase) &&
        stream < 0.001)
        return decoderTimeBase;
    return streamTimeBase;
}

namespace {

std::string Language(AVStream* stream) {
    const AVDictionaryEntry* entry =
        AVUtilHlpr::av_dict_get(stream->metadata, "language", nullptr, 0);
    return entry ? entry->value : "";
}

} // namespace

void TCustomFFmpeg::SetUpOutputCodec(int n) {
    TOutputStreamState& ost = run_->OutputStreams[n];
    TInputStreamState& ist = run_->InputStreams[ost.SourceIndex];
    AVCodecContext* codec = ost.Encoder;
    AVCodecParameters* input = ist.Stream->codecpar;

    if (Language(ost.Stream).empty()) {
        const std::string language = Language(ist.Stream).substr(0, 3);
        if (!language.empty())
            AVUtilHlpr::av_dict_set(&ost.Stream->metadata, "language", language.c_str(), 0);
    }
    ost.Stream->disposition = ist.Stream->disposition;

    if (ost.Setup->StreamCopy) {
        SetUpStreamCopy(ost, ist);
    } else {
        switch (codec->codec_type) {
        case AVMEDIA_TYPE_AUDIO:
            // A damaged header can leave a stream whose samples nobody could describe; the
            // converters would fail on it mid-run or worse.
            if (input->format < 0 || input->sample_rate <= 0 || input->ch_layout.nb_channels <= 0)
                throw FFMpegException(
                    StringPrintf("Input stream #%d.%d has no sample format, rate or channels: "
                                 "the source is damaged or not supported",
                                 ist.FileIndex, ist.StreamIndex));
            ost.Fifo.reset(AVUtilHlpr::av_audio_fifo_alloc(
                codec->sample_fmt, std::max(1, codec->ch_layout.nb_channels), 1024));
            if (!ost.Fifo)
                throw FFMpegException("av_fifo_init fail");
            ost.ReformatPair = -6;
            ost.AudioResample =
                codec->sample_rate != input->sample_rate || Settings.AudioSyncMethod > 1;
            ist.DecodingNeeded = 1;
            ost.EncodingNeeded = 1;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            SetUpSubtitleEncoding(ost, ist);
            break;
        case AVMEDIA_TYPE_VIDEO:
            SetUpVideoEncoding(ost, ist);
            break;
        default:
            throw FFMpegException("invalid codec_type of output stream");
        }
        run_->Encoder.OpenPassLog(n);
    }
}

void TCustomFFmpeg::SetUpStreamCopy(TOutputStreamState& ost, TInputStreamState& ist) {
    AVCodecContext* codec = ost.Encoder;
    const AVCodecParameters* input = ist.Stream->codecpar;
    AVCodecParameters* output = ost.Stream->codecpar;
    const std::uint32_t tag = output->codec_tag ? output->codec_tag : codec->codec_tag;
    // All parameters, extradata included, are copied: the output stream frees its own copy.
    if (AVCodecHlpr::avcodec_parameters_copy(output, input) < 0)
        throw FFMpegException("av_mallocz fail");
    output->codec_tag = tag;
    if (!tag) {
        const AVCodecTag* const* table = OutputFiles[ost.FileIndex].Context->oformat->codec_tag;
        unsigned int known = 0;
        if (!table || AVFormatHlpr::av_codec_get_id(table, input->codec_tag) > 0 ||
            !AVFormatHlpr::av_codec_get_tag2(table, input->codec_id, &known))
            output->codec_tag = input->codec_tag;
    }
    const AVRational timeBase = CopyTimeBase(ist.Stream->time_base, DecoderTimeBase(ist));
    switch (input->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        if (Settings.AudioVolume != 256)
            throw FFMpegException(
                "-acodec copy and -vol are incompatible (frames are not decoded)");
        if ((output->block_align == 1 && output->codec_id == AV_CODEC_ID_MP3) ||
            output->codec_id == AV_CODEC_ID_AC3)
            output->block_align = 0;
        break;
    case AVMEDIA_TYPE_VIDEO:
        if (CustomHookAssigned)
            throw FFMpegException(
                "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
        if (Settings.FrameHooksInUse)
            throw FFMpegException(
                "-vcodec copy and -vhook are incompatible (frames are not decoded)");
        if (PostHookFlags)
            throw FFMpegException(
                "-vcodec copy and PostHooks are incompatible (frames are not decoded)");
        // The sample aspect ratio was chosen when the output stream was created.
        if (ost.Stream->sample_aspect_ratio.num)
            output->sample_aspect_ratio = ost.Stream->sample_aspect_ratio;
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        break;
    default:
        throw FFMpegException("invalid codec_type of output stream");
    }
    // The unopened encoder context mirrors the copy so that the run reads one place.
    AVCodecHlpr::avcodec_parameters_to_context(codec, output);
    codec->time_base = timeBase;
    ost.Stream->time_base = timeBase;
}

namespace {

// Text subtitle encoders read their styles from an ASS script header. Encoders open before
// decoders, so the header a decoder would make is not there yet: ASS sources bring their own,
// every other text source gets a plain one.
constexpr const char kPlainSubtitleHeader[] =
    "[Script Info]\r\n"
    "ScriptType: v4.00+\r\n"
    "PlayResX: 384\r\n"
    "PlayResY: 288\r\n"
    "ScaledBorderAndShadow: yes\r\n"
    "\r\n"
    "[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
    "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
    "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\r\n"
    "Style: Default,Arial,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,0\r\n"
    "\r\n"
    "[Events]\r\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";

bool HasScriptHeader(const AVCodecParameters* input) {
    return (input->codec_id == AV_CODEC_ID_ASS || input->codec_id == AV_CODEC_ID_SSA) &&
           input->extradata_size > 0 && input->extradata;
}

// The scaler writes the output's matrix and range, whatever the source was made with.
void ConvertScalerMatrix(SwsContext* scaler, const AVCodecParameters* input,
                         const TColourTags& output) {
    // Packed RGB and grey ends have no matrix: the scaler then refuses, which changes nothing.
    const int from = SwsColourSpace(SourceMatrix(input));
    const int to = SwsColourSpace(output.Matrix);
    SwScaleHlpr::sws_setColorspaceDetails(scaler, SwScaleHlpr::sws_getCoefficients(from),
                                          SourceRange(input) == AVCOL_RANGE_JPEG,
                                          SwScaleHlpr::sws_getCoefficients(to),
                                          output.Range == AVCOL_RANGE_JPEG, 0, 1 << 16, 1 << 16);
}

} // namespace

void TCustomFFmpeg::SetUpSubtitleEncoding(TOutputStreamState& ost, TInputStreamState& ist) {
    AVCodecContext* codec = ost.Encoder;
    const AVCodecParameters* input = ist.Stream->codecpar;
    const AVCodecDescriptor* from = AVCodecHlpr::avcodec_descriptor_get(input->codec_id);
    const AVCodecDescriptor* to = AVCodecHlpr::avcodec_descriptor_get(codec->codec_id);
    // A picture cannot become text: the encoder would fail on the first cue.
    if (from && to && (to->props & AV_CODEC_PROP_TEXT_SUB) &&
        !(from->props & AV_CODEC_PROP_TEXT_SUB))
        throw FFMpegException(StringPrintf(
            "Input stream #%d.%d holds picture subtitles (%s), which output stream #%d.%d (%s) "
            "cannot take",
            ist.FileIndex, ist.StreamIndex, from->name, ost.FileIndex, ost.Index, to->name));
    if (!codec->subtitle_header) {
        const bool own = HasScriptHeader(input);
        const std::size_t size =
            own ? static_cast<std::size_t>(input->extradata_size) : sizeof kPlainSubtitleHeader - 1;
        auto* header = static_cast<std::uint8_t*>(AVUtilHlpr::av_mallocz(size + 1));
        if (!header)
            throw FFMpegException("av_mallocz fail");
        std::memcpy(header,
                    own ? input->extradata
                        : reinterpret_cast<const std::uint8_t*>(kPlainSubtitleHeader),
                    size);
        codec->subtitle_header = header;
        codec->subtitle_header_size = static_cast<int>(size);
    }
    // Cue times are milliseconds.
    if (codec->time_base.num <= 0 || codec->time_base.den <= 0)
        codec->time_base = AVRational{1, 1000};
    ist.DecodingNeeded = 1;
    ost.EncodingNeeded = 1;
}

void TCustomFFmpeg::OpenImageResampler(TOutputStreamState& ost, const AVCodecParameters* input) {
    const AVCodecContext* codec = ost.Encoder;
    const TaskSettings& s = Settings;
    std::int64_t flags = Settings.ScalerFlags;
    if (Settings.ScalerOptionHolder)
        AVUtilHlpr::av_opt_get_int(Settings.ScalerOptionHolder.get(), "sws_flags", 0, &flags);
    // The first pass of a fitted job only measures: the fastest scaler serves.
    Settings.ScalerFlags = FitPass() == 1 ? SWS_FAST_BILINEAR : static_cast<int>(flags);
    ost.ImageResampler.reset(SwScaleHlpr::sws_getContext(
        input->width - s.CropLeft - s.CropRight, input->height - s.CropTop - s.CropBottom,
        static_cast<AVPixelFormat>(input->format), codec->width - s.PadLeft - s.PadRight,
        codec->height - s.PadTop - s.PadBottom, codec->pix_fmt, Settings.ScalerFlags, nullptr,
        nullptr, nullptr));
    if (!ost.ImageResampler)
        throw FFMpegException("Cannot get resampling context");
    ost.ResampleHeight =
        Settings.FiltersInUse ? input->height : input->height - s.CropTop - s.CropBottom;
}

void TCustomFFmpeg::SetUpVideoEncoding(TOutputStreamState& ost, TInputStreamState& ist) {
    AVCodecContext* codec = ost.Encoder;
    const AVCodecParameters* input = ist.Stream->codecpar;
    const TaskSettings& s = Settings;
    // The scaler aborts the whole program on a picture format it is not told; a damaged header
    // leaves exactly that.
    if (input->format < 0 || input->width <= 0 || input->height <= 0)
        throw FFMpegException(StringPrintf("Input stream #%d.%d has no pixel format or picture "
                                           "size: the source is damaged or not supported",
                                           ist.FileIndex, ist.StreamIndex));
    if (codec->pix_fmt < 0 || codec->width <= 0 || codec->height <= 0)
        throw FFMpegException(StringPrintf("Output stream #%d.%d has no pixel format or picture "
                                           "size",
                                           ost.FileIndex, ost.Index));
    ost.VideoCrop = s.CropTop || s.CropBottom || s.CropLeft || s.CropRight;
    ost.VideoPad = s.PadTop || s.PadBottom || s.PadLeft || s.PadRight;
    ost.VideoResample =
        !(input->width - s.CropLeft - s.CropRight + s.PadLeft + s.PadRight == codec->width &&
          input->height - s.CropTop - s.CropBottom + s.PadTop + s.PadBottom == codec->height &&
          input->format == codec->pix_fmt);
    if (ost.VideoCrop) {
        ost.TopBand = s.CropTop;
        ost.LeftBand = s.CropLeft;
    }
    const auto allocatePicture = [&](const char* failure) {
        ost.TempPicture.reset(AVUtilHlpr::av_frame_alloc());
        if (!ost.TempPicture)
            throw FFMpegException(failure);
        ost.TempPicture->format = codec->pix_fmt;
        ost.TempPicture->width = codec->width;
        ost.TempPicture->height = codec->height;
        if (AVUtilHlpr::av_frame_get_buffer(ost.TempPicture.get(), 0) < 0)
            throw FFMpegException(failure);
    };
    if (ost.VideoPad) {
        ost.PadTop = s.PadTop;
        ost.PadBottom = s.PadBottom;
        ost.PadLeft = s.PadLeft;
        ost.PadRight = s.PadRight;
        if (!ost.VideoResample)
            allocatePicture("avpicture_alloc fail");
    }
    if (ost.VideoResample) {
        allocatePicture("Cannot allocate temp picture, check pix fmt");
        OpenImageResampler(ost, input);
    }
    ist.DecodingNeeded = 1;
    ost.EncodingNeeded = 1;
    TPictureSteps steps;
    steps.Rotation = s.Rotation;
    steps.Output = OutputColourTags(codec->width, codec->height, codec->framerate, codec->pix_fmt);
    if (IsHighDynamicRange(input) && IsEightBit(codec->pix_fmt)) {
        steps.ToneMap = AVFilterHlpr::avfilter_get_by_name("zscale") &&
                        AVFilterHlpr::avfilter_get_by_name("tonemap");
        if (!steps.ToneMap)
            Log(0, "This build of libavfilter has no zscale or tonemap filter: the high dynamic "
                   "range picture is converted without tone mapping");
    }
    if (ost.ImageResampler)
        ConvertScalerMatrix(ost.ImageResampler.get(), input, steps.Output);
    // Pictures that need no scaling still need their matrix converted to what they are tagged.
    const bool matrixOnly =
        !ost.VideoResample && !ost.VideoCrop &&
        std::string(ScaleMatrixName(SourceMatrix(input))) != ScaleMatrixName(steps.Output.Matrix);
    if (Settings.FiltersInUse || steps.Rotation != 0 || steps.ToneMap || matrixOnly) {
        ist.Filters = std::make_unique<TFilterChain>();
        const std::int64_t clock = InputFiles[ist.FileIndex].TimestampOffset;
        if (!Settings.BurnSubtitleFile.empty() && Settings.BurnBitmapStream >= 0)
            ist.Filters->BurnBitmapSubtitles(Settings.BurnSubtitleFile, Settings.BurnBitmapStream,
                                             clock);
        else if (!Settings.BurnSubtitleFile.empty())
            ist.Filters->BurnSubtitles(Settings.BurnSubtitleFile, Settings.BurnSubtitleIndex,
                                       clock);
        ist.Filters->Configure(Settings, ist.Stream->codecpar, ost.Encoder, steps);
    }
    codec->color_primaries = steps.Output.Primaries;
    codec->color_trc = steps.Output.Transfer;
    codec->colorspace = steps.Output.Matrix;
    codec->color_range = steps.Output.Range;
}

} // namespace velto
