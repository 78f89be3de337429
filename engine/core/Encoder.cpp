#include "Encoder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "CodecLock.h"
#include "FFmpeg.h"
#include "MyUtilHlpr.h"
#include "MyUtils.h"
#include "TranscodeRun.h"

namespace velto {

namespace {

// Options of the encoder's own class ("preset", "cpu-used") reach it only as it opens: before
// that the context has no private part to set them on.
AVDictionary* EncoderOwnOptions(const AVCodec* codec,
                                const std::vector<std::pair<std::string, std::string>>& options) {
    AVDictionary* own = nullptr;
    const int kind = codec->type == AVMEDIA_TYPE_VIDEO   ? AV_OPT_FLAG_VIDEO_PARAM
                     : codec->type == AVMEDIA_TYPE_AUDIO ? AV_OPT_FLAG_AUDIO_PARAM
                                                         : AV_OPT_FLAG_SUBTITLE_PARAM;
    for (const auto& [name, value] : options) {
        if (!codec->priv_class)
            break;
        const AVOption* option =
            AVUtilHlpr::av_opt_find(const_cast<AVClass**>(&codec->priv_class), name.c_str(),
                                    nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
        if (option && (option->flags & AV_OPT_FLAG_ENCODING_PARAM) && (option->flags & kind))
            AVUtilHlpr::av_dict_set(&own, name.c_str(), value.c_str(), 0);
    }
    return own;
}

} // namespace

bool TEncoder::AllocatePacket() {
    packet_.reset(AVCodecHlpr::av_packet_alloc());
    return packet_ != nullptr;
}

namespace {

// libx265 writes its banner and statistics to the terminal itself, past the library log and
// whatever filter the program puts on it: it says its errors only, unless the library log is
// verbose or the encoder's own parameters name a level.
void QuietX265(const AVCodec* codec, AVDictionary*& options) {
    if (std::strcmp(codec->name, "libx265") != 0)
        return;
    const AVDictionaryEntry* given = AVUtilHlpr::av_dict_get(options, "x265-params", nullptr, 0);
    std::string params = given ? given->value : "";
    if (params.find("log-level") != std::string::npos)
        return;
    const int level = AVUtilHlpr::av_log_get_level();
    const char* x265Level = level < AV_LOG_ERROR     ? "none"
                            : level < AV_LOG_VERBOSE ? "error"
                            : level < AV_LOG_DEBUG   ? "info"
                                                     : "debug";
    params += (params.empty() ? "" : ":") + std::string("log-level=") + x265Level;
    AVUtilHlpr::av_dict_set(&options, "x265-params", params.c_str(), 0);
}

} // namespace

void TEncoder::Open() {
    for (TOutputStreamState& ost : run_.OutputStreams) {
        if (!ost.EncodingNeeded)
            continue;
        const AVCodec* codec = ost.Setup->Encoder;
        if (!codec || codec->id != ost.Encoder->codec_id)
            codec = AVCodecHlpr::avcodec_find_encoder(ost.Encoder->codec_id);
        if (!codec)
            throw FFMpegException(StringPrintf("Unsupported codec for output stream #%d.%d",
                                               ost.FileIndex, ost.Index));
        task_.SetCodecThreads(ost.Encoder);
        {
            std::lock_guard lock(CodecLock());
            AVDictionary* own = EncoderOwnOptions(codec, task_.Settings.PrivateOptions);
            QuietX265(codec, own);
            // x264 keeps its own two-pass statistics, by default in the working folder.
            if ((ost.Encoder->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) &&
                std::strcmp(codec->name, "libx264") == 0)
                AVUtilHlpr::av_dict_set(
                    &own, "stats",
                    (PassLogName(static_cast<int>(&ost - run_.OutputStreams.data())) + ".x264")
                        .c_str(),
                    AV_DICT_DONT_OVERWRITE);
            const int opened = AVCodecHlpr::avcodec_open2(ost.Encoder, codec, &own);
            AVUtilHlpr::av_dict_free(&own);
            if (opened < 0)
                throw LibraryFailure(
                    StringPrintf("Error while opening codec for output stream #%d.%d - maybe "
                                 "incorrect parameters such as bit_rate, rate, width or height",
                                 ost.FileIndex, ost.Index),
                    opened);
            run_.Opened(ost.Encoder, true);
        }
        run_.Counters.ExtraSize += ost.Encoder->extradata_size;
        // The muxer reads the stream's parameters, which only the opened encoder knows fully.
        AVCodecHlpr::avcodec_parameters_from_context(ost.Stream->codecpar, ost.Encoder);
        ost.Stream->time_base = ost.Encoder->time_base;
    }
}

std::string TEncoder::PassLogName(int n) const {
    const std::string& given =
        task_.FitPass() != 0 ? task_.FitLogPrefix() : task_.Settings.PassLogFilePrefix;
    const std::string prefix = given.empty() ? "ffmpeg2pass" : given;
    return (prefix + "-" + std::to_string(n) + ".log").substr(0, 1023);
}

void TEncoder::OpenPassLog(int n) {
    TOutputStreamState& ost = run_.OutputStreams[n];
    AVCodecContext* codec = ost.Encoder;
    if (!ost.EncodingNeeded || !(codec->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)))
        return;
    const std::string name = PassLogName(n);
    if (codec->flags & AV_CODEC_FLAG_PASS1) {
        ost.LogFile.reset(MyUtilHlpr::my_fopen(name.c_str(), "w"));
        if (!ost.LogFile)
            throw FFMpegException("creat file fail: " + name);
        return;
    }
    std::FILE* file = MyUtilHlpr::my_fopen(name.c_str(), "r");
    if (!file)
        throw FFMpegException("creat open fail: " + name);
    MyUtilHlpr::my_fseek(file, 0, SEEK_END);
    const long size = MyUtilHlpr::my_ftell(file);
    MyUtilHlpr::my_fseek(file, 0, SEEK_SET);
    char* buffer = size >= 0 ? static_cast<char*>(AVUtilHlpr::av_malloc(size + 1)) : nullptr;
    if (!buffer) {
        MyUtilHlpr::my_fclose(file);
        throw FFMpegException("Could not allocate log buffer");
    }
    const size_t read = MyUtilHlpr::my_fread(buffer, 1, size, file);
    MyUtilHlpr::my_fclose(file);
    buffer[read] = 0;
    AVUtilHlpr::av_freep(&codec->stats_in);
    codec->stats_in = buffer;
    HoldRateWithinLog(codec);
}

namespace {

// The bits the pictures a first pass logged would take at the coarsest and the finest
// quantiser the encoder may use; false when the log is not libavcodec's own (x264, libvpx).
bool LoggedBitBounds(const AVCodecContext* codec, double& fewest, double& most, int& frames) {
    fewest = most = 0;
    frames = 0;
    for (const char* line = codec->stats_in; line;) {
        while (std::isspace(static_cast<unsigned char>(*line)))
            ++line;
        if (!*line)
            break;
        float q = 0;
        int itex = 0, ptex = 0, mv = 0, misc = 0;
        if (std::sscanf(line, " in:%*d out:%*d type:%*d q:%f itex:%d ptex:%d mv:%d misc:%d", &q,
                        &itex, &ptex, &mv, &misc) != 5)
            return false;
        const double texture = static_cast<double>(q) * (itex + ptex + 1.0) / FF_QP2LAMBDA;
        fewest += texture / std::max(1, codec->qmax) + mv + misc;
        most += texture / std::max(1, codec->qmin) + mv + misc;
        ++frames;
        line = std::strchr(line, ';');
        if (line)
            ++line;
    }
    return frames > 0;
}

} // namespace

void TEncoder::HoldRateWithinLog(AVCodecContext* codec) const {
    // libavcodec's own second pass refuses a rate its quantisers cannot reach, and 5.1 then frees
    // its rate-control expression twice: the rate is checked against the log first.
    double fewest = 0, most = 0;
    int frames = 0;
    if (!LoggedBitBounds(codec, fewest, most, frames))
        return;
    const double fps = codec->framerate.num > 0 && codec->framerate.den > 0
                           ? av_q2d(codec->framerate)
                           : 1.0 / av_q2d(codec->time_base);
    const double seconds = frames / fps;
    const double lowest = fewest * 1.05 / seconds;
    const double highest = most * 0.95 / seconds;
    if (static_cast<double>(codec->bit_rate) < lowest)
        throw TRateOutOfReach(StringPrintf("The video cannot be made as small as %lld kbit/s: at "
                                           "this frame size and frame rate "
                                           "it needs at least %lld kbit/s",
                                           static_cast<long long>(codec->bit_rate / 1000),
                                           static_cast<long long>(std::llround(lowest / 1000))),
                              static_cast<double>(codec->bit_rate) / lowest,
                              task_.PictureMayShrink());
    if (static_cast<double>(codec->bit_rate) > highest && highest > lowest)
        codec->bit_rate = static_cast<std::int64_t>(highest);
}

int TEncoder::WritePackets(int outputStream) {
    TOutputStreamState& ost = run_.OutputStreams[outputStream];
    AVPacket* packet = packet_.get();
    int bytes = 0;
    int received = 0;
    while ((received = AVCodecHlpr::avcodec_receive_packet(ost.Encoder, packet)) >= 0) {
        bytes += packet->size;
        NoteCodedFrame(ost, packet);
        if (ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO)
            run_.Counters.VideoSize += packet->size;
        else
            run_.Counters.AudioSize += packet->size;
        if (ost.LogFile && ost.Encoder->stats_out)
            MyUtilHlpr::my_fprintf(ost.LogFile.get(), "%s", ost.Encoder->stats_out);
        packet->stream_index = ost.Index;
        // Encoders leave picture durations open; MP4 would then cut the last picture off.
        if (ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO && packet->duration <= 0)
            packet->duration = 1;
        AVCodecHlpr::av_packet_rescale_ts(packet, ost.Encoder->time_base, ost.Stream->time_base);
        run_.Muxer.Write(ost.FileIndex, packet, ost.Encoder, ost.Setup->BitstreamFilters);
        AVCodecHlpr::av_packet_unref(packet);
    }
    // "Needs more input" and "drained" end the loop normally; anything else lost pictures or sound.
    if (received != AVERROR(EAGAIN) && received != AVERROR_EOF)
        throw FFMpegException(ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO
                                  ? "Video encoding failed"
                                  : "Audio encoding failed");
    return bytes;
}

void TEncoder::EncodeSubtitle(int outputStream, int inputStream, AVSubtitle* subtitle,
                              std::int64_t pts) {
    TOutputStreamState& ost = run_.OutputStreams[outputStream];
    const TInputStreamState& ist = run_.InputStreams[inputStream];
    if (pts == AV_NOPTS_VALUE) {
        if (task_.Settings.ExitOnError)
            throw FFMpegException("Subtitle packets must have a pts");
        task_.Log(0, "Subtitle packets must have a pts");
        return;
    }
    constexpr int kSubtitleBufferSize = 65536;
    if (subtitleBuffer_.empty())
        subtitleBuffer_.resize(kSubtitleBufferSize);
    // DVB subtitles are shown by one packet and cleared by a second one.
    const bool dvb = ost.Encoder->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    const int count = dvb ? 2 : 1;
    const std::int64_t base =
        AVUtilHlpr::av_rescale_q(pts, ist.Stream->time_base, ost.Stream->time_base);
    for (int i = 0; i < count; ++i) {
        AVSubtitle copy = *subtitle;
        if (dvb && i == 1)
            copy.num_rects = 0;
        const int size = AVCodecHlpr::avcodec_encode_subtitle(ost.Encoder, subtitleBuffer_.data(),
                                                              kSubtitleBufferSize, &copy);
        if (size < 0)
            throw FFMpegException("Subtitle encoding failed");
        OwnedPacket packet(AVCodecHlpr::av_packet_alloc());
        if (!packet || AVCodecHlpr::av_new_packet(packet.get(), size) < 0)
            throw FFMpegException("av_mallocz fail");
        std::copy_n(subtitleBuffer_.data(), size, packet->data);
        packet->stream_index = ost.Index;
        const std::uint32_t display =
            dvb ? (i == 0 ? subtitle->start_display_time : subtitle->end_display_time) : 0;
        // Display times are milliseconds; the stream's time base need not be 90 kHz.
        packet->pts =
            base + AVUtilHlpr::av_rescale_q(display, AVRational{1, 1000}, ost.Stream->time_base);
        packet->dts = packet->pts;
        if (!dvb && subtitle->end_display_time > subtitle->start_display_time)
            packet->duration =
                AVUtilHlpr::av_rescale_q(subtitle->end_display_time - subtitle->start_display_time,
                                         AVRational{1, 1000}, ost.Stream->time_base);
        run_.Muxer.Write(ost.FileIndex, packet.get(), ost.Encoder, ost.Setup->BitstreamFilters);
        ++ost.FrameNumber;
    }
}

} // namespace velto
