// Output stream creation: one video, audio or subtitle stream of an output with its encoder
// settings taken from the task's settings, which are then reset for the next stream of the kind.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "SetupRules.h"

namespace velto {

namespace {

constexpr float kQualityPerQuantiser = FF_QP2LAMBDA;

// A 64-entry quantiser matrix in memory the codec context frees.
std::uint16_t* CopyMatrix(const std::vector<std::uint16_t>& matrix) {
    auto* copy = static_cast<std::uint16_t*>(AVUtilHlpr::av_mallocz(64 * sizeof(std::uint16_t)));
    if (copy)
        std::memcpy(copy, matrix.data(), std::min<std::size_t>(matrix.size(), 64) * sizeof(*copy));
    return copy;
}

void SetLanguage(AVStream* stream, std::string& language) {
    if (language.empty())
        return;
    AVUtilHlpr::av_dict_set(&stream->metadata, "language", language.substr(0, 3).c_str(), 0);
    language.clear();
}

} // namespace

TOutputStreamSetup& TCustomFFmpeg::AddOutputStream(AVFormatContext* output, AVMediaType kind,
                                                   AVStream*& stream) {
    TOutputFile* file = nullptr;
    for (TOutputFile& candidate : OutputFiles)
        if (candidate.Context.get() == output)
            file = &candidate;
    // The transcode tables hold kMaxStreams streams per file, as the old library did.
    if (!file || !output || output->nb_streams >= static_cast<unsigned>(kMaxStreams))
        throw FFMpegException("Could not alloc stream");
    stream = AVFormatHlpr::avformat_new_stream(output, nullptr);
    if (!stream)
        throw FFMpegException("Could not alloc stream");
    stream->id = static_cast<int>(output->nb_streams) - 1;
    // Keep the records aligned with the streams even when the settings below fail.
    file->Streams.resize(output->nb_streams);
    TOutputStreamSetup& setup = file->Streams.back();
    setup.CodecContext.reset(AVCodecHlpr::avcodec_alloc_context3(nullptr));
    if (!setup.CodecContext)
        throw FFMpegException("Could not alloc stream");
    setup.CodecContext->codec_type = kind;
    return setup;
}

void TCustomFFmpeg::NewVideoStream(AVFormatContext* output) {
    AVStream* stream = nullptr;
    TOutputStreamSetup* record = nullptr;
    try {
        record = &AddOutputStream(output, AVMEDIA_TYPE_VIDEO, stream);
    } catch (...) {
        Settings.VideoCodecName.clear();
        throw;
    }
    TOutputStreamSetup& setup = *record;
    AVCodecContext* codec = setup.CodecContext.get();
    AVCodecContext* holder = Settings.CodecOptionHolders[AVMEDIA_TYPE_VIDEO].get();
    setup.BitstreamFilters = std::move(Settings.VideoBitstreamFilters);
    Settings.VideoBitstreamFilters.clear();
    if (Settings.VideoCodecTag != 0)
        codec->codec_tag = Settings.VideoCodecTag;

    if ((Settings.VideoGlobalHeader & 1) ||
        (Settings.VideoGlobalHeader == 0 && (output->oformat->flags & AVFMT_GLOBALHEADER))) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (holder)
            holder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (Settings.VideoGlobalHeader & 2) {
        codec->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
        if (holder)
            holder->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    }

    if (Settings.VideoStreamCopy) {
        setup.StreamCopy = true;
        const double aspect = Settings.FrameWidth * Settings.FrameHeight != 0
                                  ? Settings.FrameHeight *
                                        static_cast<double>(Settings.FrameAspectRatio) /
                                        Settings.FrameWidth
                                  : Settings.FrameAspectRatio * 3.0 / 4.0;
        stream->sample_aspect_ratio = AVUtilHlpr::av_d2q(aspect, 255);
    } else {
        ConfigureVideoEncoder(output, stream, setup);
    }

    Settings.VideoDisable = 0;
    Settings.VideoStreamCopy = 0;
    Settings.VideoCodecName.clear();
}

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// x264 refuses the generic rate-control values of a context made for no codec ("broken ffmpeg
// default settings detected"), so an H.264 job would fail at its first picture; x265 and libvpx
// take them, but a key picture every 12 and a quantiser capped at 31 of VP9's 63 cost quality
// and overshoot the rate. They start from their own values instead; options the user set are
// applied on top as for any encoder.
void UseEncoderRateDefaults(AVCodecContext* codec, const AVCodec* encoder) {
    if (!encoder ||
        (std::strcmp(encoder->name, "libx264") != 0 && std::strcmp(encoder->name, "libx265") != 0 &&
         std::strcmp(encoder->name, "libvpx-vp9") != 0))
        return;
    AVCodecContext* own = AVCodecHlpr::avcodec_alloc_context3(encoder);
    if (!own)
        return;
    codec->bit_rate = own->bit_rate;
    codec->max_b_frames = own->max_b_frames;
    codec->gop_size = own->gop_size;
    codec->keyint_min = own->keyint_min;
    codec->i_quant_factor = own->i_quant_factor;
    codec->b_quant_factor = own->b_quant_factor;
    codec->qmin = own->qmin;
    codec->qmax = own->qmax;
    codec->max_qdiff = own->max_qdiff;
    codec->qblur = own->qblur;
    codec->qcompress = own->qcompress;
    codec->refs = own->refs;
    codec->me_range = own->me_range;
    codec->me_subpel_quality = own->me_subpel_quality;
    codec->me_cmp = own->me_cmp;
    codec->trellis = own->trellis;
    AVCodecHlpr::avcodec_free_context(&own);
}

} // namespace

void TCustomFFmpeg::ChooseVideoEncoder(AVFormatContext* output, TOutputStreamSetup& setup) {
    AVCodecContext* codec = setup.CodecContext.get();
    AVCodecID id = AV_CODEC_ID_NONE;
    const AVCodec* named = nullptr;
    // XviD files are MPEG-4 with the XVID tag; without the XviD library the native encoder
    // makes the same kind of stream.
    const bool xvid = Lower(Settings.VideoCodecName) == "libxvid";
    if (xvid && !FindEncoderByName("libxvid")) {
        Log(1, "The XviD encoder (libxvid) is not in this build: the native MPEG-4 encoder "
               "writes the XviD stream");
        Settings.VideoCodecName = "mpeg4";
    }
    if (!Settings.VideoCodecName.empty()) {
        try {
            id = FindCodecId(Settings.VideoCodecName, AVMEDIA_TYPE_VIDEO, true);
        } catch (...) {
            Settings.VideoCodecName.clear();
            throw;
        }
        named = FindEncoderByName(Settings.VideoCodecName);
    } else {
        id = AVFormatHlpr::av_guess_codec(output->oformat, nullptr, output->url, nullptr,
                                          AVMEDIA_TYPE_VIDEO);
    }
    codec->codec_id = id;
    setup.Encoder = named ? named : AVCodecHlpr::avcodec_find_encoder(id);
    if (xvid && codec->codec_tag == 0 && output->oformat &&
        std::strcmp(output->oformat->name, "avi") == 0)
        codec->codec_tag = MKTAG('X', 'V', 'I', 'D');
}

void TCustomFFmpeg::ConfigureVideoEncoder(AVFormatContext* output, AVStream* stream,
                                          TOutputStreamSetup& setup) {
    AVCodecContext* codec = setup.CodecContext.get();
    ScalePictureForFit();
    // A frame rate needs both terms; an unknown one falls back to 25 frames per second.
    const AVRational fps = Settings.FrameRate.num > 0 && Settings.FrameRate.den > 0
                               ? Settings.FrameRate
                               : AVRational{25, 1};
    ChooseVideoEncoder(output, setup);
    UseEncoderRateDefaults(codec, setup.Encoder);
    ApplyGenericOptions(codec, Settings.CodecOptionHolders[AVMEDIA_TYPE_VIDEO].get(),
                        AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);

    const AVRational rate =
        NearestFrameRate(setup.Encoder ? setup.Encoder->supported_framerates : nullptr, fps);
    codec->framerate = rate;
    codec->time_base = av_inv_q(rate);

    codec->width = Settings.FrameWidth + Settings.PadRight + Settings.PadLeft;
    codec->height = Settings.FrameHeight + Settings.PadTop + Settings.PadBottom;
    // A picture turned a quarter shows the source's shape the other way up; an aspect given
    // for the output already describes the turned picture.
    double shape = Settings.FrameAspectRatio;
    if (Settings.AspectFromInput && shape > 0 &&
        (Settings.Rotation == 90 || Settings.Rotation == 270))
        shape = 1.0 / shape;
    const double aspect = codec->width * codec->height != 0
                              ? shape * static_cast<double>(codec->height) / codec->width
                              : shape * 3.0 / 4.0;
    codec->sample_aspect_ratio = AVUtilHlpr::av_d2q(aspect, 255);
    stream->sample_aspect_ratio = codec->sample_aspect_ratio;

    // Phones and players decode 8-bit 4:2:0 H.264 only, while x264 takes nearly any source
    // format; a format the user named still holds.
    int pixelFormat = Settings.FramePixelFormat;
    if (setup.Encoder && std::strcmp(setup.Encoder->name, "libx264") == 0 &&
        !Settings.PixelFormatNamed)
        pixelFormat = AV_PIX_FMT_YUV420P;
    codec->pix_fmt = static_cast<AVPixelFormat>(
        SupportedPixelFormat(setup.Encoder ? setup.Encoder->pix_fmts : nullptr, pixelFormat));
    ConfigureVideoRateControl(setup);
}

void TCustomFFmpeg::ConfigureVideoRateControl(TOutputStreamSetup& setup) {
    AVCodecContext* codec = setup.CodecContext.get();
    if (Settings.IntraOnly)
        codec->gop_size = 0;
    if (Settings.VideoQScale != 0.0f || Settings.SameQuality) {
        codec->flags |= AV_CODEC_FLAG_QSCALE;
        setup.Quality = kQualityPerQuantiser * Settings.VideoQScale;
        codec->global_quality = static_cast<int>(setup.Quality);
    }
    if (!Settings.IntraMatrix.empty())
        codec->intra_matrix = CopyMatrix(Settings.IntraMatrix);
    if (!Settings.InterMatrix.empty())
        codec->inter_matrix = CopyMatrix(Settings.InterMatrix);

    if (!Settings.RcOverride.empty()) {
        std::vector<RcOverride> overrides;
        try {
            overrides = ParseRcOverride(Settings.RcOverride);
        } catch (...) {
            Settings.VideoCodecName.clear();
            throw;
        }
        codec->rc_override =
            static_cast<RcOverride*>(AVUtilHlpr::av_calloc(overrides.size(), sizeof(RcOverride)));
        if (!codec->rc_override)
            throw FFMpegException("Could not alloc stream");
        std::memcpy(codec->rc_override, overrides.data(), overrides.size() * sizeof(RcOverride));
        codec->rc_override_count = static_cast<int>(overrides.size());
    }

    if (codec->rc_initial_buffer_occupancy == 0)
        codec->rc_initial_buffer_occupancy = codec->rc_buffer_size * 3 / 4;
    codec->intra_dc_precision = Settings.IntraDcPrecision - 8;
    if (Settings.Psnr)
        codec->flags |= AV_CODEC_FLAG_PSNR;
    // A constant-rate encoder holds its rate by itself (libvpx refuses two passes at constant
    // rate): a fitted job then gets the check and the repeat alone.
    const bool constantRate = codec->rc_min_rate > 0 && codec->rc_min_rate == codec->rc_max_rate;
    const int pass = FitPass() != 0 ? (constantRate ? 0 : FitPass()) : Settings.PassNumber;
    if (pass == 1)
        codec->flags |= AV_CODEC_FLAG_PASS1;
    // A fitted job's first pass only measures: coarse sub-pixel motion search will do (x264
    // makes its own first pass fast).
    if (FitPass() == 1)
        codec->me_subpel_quality = std::min(codec->me_subpel_quality, 2);
    else if (pass == 2)
        codec->flags |= AV_CODEC_FLAG_PASS2;
    if (FitPass() != 0 && sizeFit_.RateScale != 1.0) {
        const auto scaled = [this](std::int64_t rate) {
            return static_cast<std::int64_t>(static_cast<double>(rate) * sizeFit_.RateScale);
        };
        codec->bit_rate = scaled(codec->bit_rate);
        codec->rc_max_rate = scaled(codec->rc_max_rate);
        codec->rc_min_rate = scaled(codec->rc_min_rate);
        codec->bit_rate_tolerance = static_cast<int>(scaled(codec->bit_rate_tolerance));
    }
}

void TCustomFFmpeg::NewAudioStream(AVFormatContext* output) {
    AVStream* stream = nullptr;
    TOutputStreamSetup* record = nullptr;
    try {
        record = &AddOutputStream(output, AVMEDIA_TYPE_AUDIO, stream);
    } catch (...) {
        Settings.AudioCodecName.clear();
        Settings.AudioLanguage.clear();
        throw;
    }
    TOutputStreamSetup& setup = *record;
    AVCodecContext* codec = setup.CodecContext.get();
    AVCodecContext* holder = Settings.CodecOptionHolders[AVMEDIA_TYPE_AUDIO].get();
    setup.BitstreamFilters = std::move(Settings.AudioBitstreamFilters);
    Settings.AudioBitstreamFilters.clear();
    if (Settings.AudioCodecTag != 0)
        codec->codec_tag = Settings.AudioCodecTag;
    if (output->oformat->flags & AVFMT_GLOBALHEADER) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (holder)
            holder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }

    const int channels = Settings.AudioChannels > 0 ? Settings.AudioChannels : 0;
    if (Settings.AudioStreamCopy) {
        setup.StreamCopy = true;
        if (channels > 0)
            AVUtilHlpr::av_channel_layout_default(&codec->ch_layout, channels);
    } else {
        AVCodecID id = AVFormatHlpr::av_guess_codec(output->oformat, nullptr, output->url, nullptr,
                                                    AVMEDIA_TYPE_AUDIO);
        ApplyGenericOptions(codec, holder, AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
        try {
            if (!Settings.AudioCodecName.empty())
                id = FindCodecId(Settings.AudioCodecName, AVMEDIA_TYPE_AUDIO, true);
        } catch (...) {
            Settings.AudioCodecName.clear();
            Settings.AudioLanguage.clear();
            throw;
        }
        codec->codec_id = id;
        setup.Encoder = AVCodecHlpr::avcodec_find_encoder(id);
        if (Settings.AudioQScale > kNoAudioQScale) {
            codec->flags |= AV_CODEC_FLAG_QSCALE;
            setup.Quality = kQualityPerQuantiser * Settings.AudioQScale;
            codec->global_quality = static_cast<int>(setup.Quality);
        }
        if (channels > 0)
            AVUtilHlpr::av_channel_layout_default(&codec->ch_layout, channels);
        codec->sample_fmt = static_cast<AVSampleFormat>(SupportedSampleFormat(
            setup.Encoder ? setup.Encoder->sample_fmts : nullptr, Settings.AudioSampleFormat));
    }

    codec->sample_rate = Settings.AudioSampleRate;
    if (Settings.AudioSampleRate > 0)
        codec->time_base = AVRational{1, Settings.AudioSampleRate};
    SetLanguage(stream, Settings.AudioLanguage);

    Settings.AudioDisable = 0;
    Settings.AudioStreamCopy = 0;
    Settings.AudioCodecName.clear();
}

void TCustomFFmpeg::NewSubtitleStream(AVFormatContext* output) {
    AVStream* stream = nullptr;
    TOutputStreamSetup* record = nullptr;
    try {
        record = &AddOutputStream(output, AVMEDIA_TYPE_SUBTITLE, stream);
    } catch (...) {
        Settings.SubtitleCodecName.clear();
        Settings.SubtitleLanguage.clear();
        throw;
    }
    TOutputStreamSetup& setup = *record;
    AVCodecContext* codec = setup.CodecContext.get();
    setup.BitstreamFilters = std::move(Settings.SubtitleBitstreamFilters);
    Settings.SubtitleBitstreamFilters.clear();

    if (Settings.SubtitleStreamCopy) {
        setup.StreamCopy = true;
    } else {
        ApplyGenericOptions(codec, Settings.CodecOptionHolders[AVMEDIA_TYPE_SUBTITLE].get(),
                            AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_SUBTITLE_PARAM);
        // Without a name the container's own kind (mov_text for MP4, WebVTT for WebM).
        AVCodecID id = AVFormatHlpr::av_guess_codec(output->oformat, nullptr, output->url, nullptr,
                                                    AVMEDIA_TYPE_SUBTITLE);
        try {
            if (!Settings.SubtitleCodecName.empty())
                id = FindCodecId(Settings.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, true);
        } catch (...) {
            Settings.SubtitleCodecName.clear();
            Settings.SubtitleLanguage.clear();
            throw;
        }
        codec->codec_id = id;
        setup.Encoder = AVCodecHlpr::avcodec_find_encoder(id);
    }
    SetLanguage(stream, Settings.SubtitleLanguage);

    Settings.SubtitleDisable = 0;
    Settings.SubtitleStreamCopy = 0;
    Settings.SubtitleCodecName.clear();
}

} // namespace velto
