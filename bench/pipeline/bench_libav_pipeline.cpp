// The yardstick of bench_convert: a plain conversion written straight on the FFmpeg libraries,
// with no engine around it. It decodes the first video and audio streams, scales the pictures,
// resamples the sound, encodes and muxes, with the settings it is given:
//   bench_libav_pipeline input output threads vcodec WxH fps vbitrate acodec abitrate rate channels
// threads 0 lets every codec size its own threads. Exit status 0 on success.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

void Check(int result, const char* what) {
    if (result < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(result, text, sizeof text);
        throw std::runtime_error(std::string(what) + ": " + text);
    }
}

struct Settings {
    int threads = 1;
    std::string videoCodec;
    int width = 0, height = 0;
    AVRational fps{25, 1};
    std::int64_t videoBitRate = 0;
    std::string audioCodec;
    std::int64_t audioBitRate = 0;
    int sampleRate = 0, channels = 0;
};

struct Output {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    AVPacket* packet = av_packet_alloc();

    // Writes every packet the encoder has ready.
    void Drain(AVCodecContext* encoder, AVStream* stream) {
        while (avcodec_receive_packet(encoder, packet) >= 0) {
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            Check(av_interleaved_write_frame(format, packet), "write");
        }
    }
    void Encode(AVCodecContext* encoder, AVStream* stream, AVFrame* frame) {
        Check(avcodec_send_frame(encoder, frame), "encode");
        Drain(encoder, stream);
    }
};

AVCodecContext* OpenDecoder(AVStream* stream, int threads) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        throw std::runtime_error("no decoder");
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, stream->codecpar);
    context->pkt_timebase = stream->time_base;
    context->thread_count = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? threads : 1;
    Check(avcodec_open2(context, codec, nullptr), "open decoder");
    return context;
}

AVCodecContext* NewEncoder(Output& out, const std::string& name, AVStream*& stream) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (!codec)
        throw std::runtime_error("no encoder " + name);
    stream = avformat_new_stream(out.format, nullptr);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (out.format->oformat->flags & AVFMT_GLOBALHEADER)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return context;
}

void OpenEncoder(AVCodecContext* context, AVStream* stream) {
    Check(avcodec_open2(context, context->codec, nullptr), "open encoder");
    avcodec_parameters_from_context(stream->codecpar, context);
    stream->time_base = context->time_base;
}

int Run(const std::string& inputName, const std::string& outputName, const Settings& s) {
    AVFormatContext* input = nullptr;
    Check(avformat_open_input(&input, inputName.c_str(), nullptr, nullptr), "open input");
    Check(avformat_find_stream_info(input, nullptr), "stream info");
    const int videoIndex = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audioIndex = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* videoDecoder =
        videoIndex >= 0 ? OpenDecoder(input->streams[videoIndex], s.threads) : nullptr;
    AVCodecContext* audioDecoder =
        audioIndex >= 0 ? OpenDecoder(input->streams[audioIndex], 1) : nullptr;

    Output out;
    Check(avformat_alloc_output_context2(&out.format, nullptr, nullptr, outputName.c_str()),
          "output format");
    SwsContext* scaler = nullptr;
    AVFrame* scaled = av_frame_alloc();
    if (videoDecoder) {
        AVCodecContext* v = out.video = NewEncoder(out, s.videoCodec, out.videoStream);
        v->width = s.width;
        v->height = s.height;
        v->time_base = av_inv_q(s.fps);
        v->framerate = s.fps;
        v->pix_fmt = AV_PIX_FMT_YUV420P;
        v->bit_rate = s.videoBitRate;
        v->bit_rate_tolerance = static_cast<int>(s.videoBitRate);
        v->sample_aspect_ratio = AVRational{1, 1};
        v->thread_count = s.threads;
        OpenEncoder(v, out.videoStream);
        scaler = sws_getContext(videoDecoder->width, videoDecoder->height, videoDecoder->pix_fmt,
                                s.width, s.height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr,
                                nullptr, nullptr);
        scaled->format = AV_PIX_FMT_YUV420P;
        scaled->width = s.width;
        scaled->height = s.height;
        Check(av_frame_get_buffer(scaled, 0), "picture");
    }
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* samples = av_frame_alloc();
    if (audioDecoder) {
        AVCodecContext* a = out.audio = NewEncoder(out, s.audioCodec, out.audioStream);
        a->sample_rate = s.sampleRate;
        av_channel_layout_default(&a->ch_layout, s.channels);
        a->sample_fmt = a->codec->sample_fmts ? a->codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        a->bit_rate = s.audioBitRate;
        a->time_base = AVRational{1, s.sampleRate};
        OpenEncoder(a, out.audioStream);
        Check(swr_alloc_set_opts2(&resampler, &a->ch_layout, a->sample_fmt, a->sample_rate,
                                  &audioDecoder->ch_layout, audioDecoder->sample_fmt,
                                  audioDecoder->sample_rate, 0, nullptr),
              "resampler");
        Check(swr_init(resampler), "resampler");
        fifo = av_audio_fifo_alloc(a->sample_fmt, s.channels,
                                   a->frame_size > 0 ? a->frame_size : 1024);
        samples->nb_samples = a->frame_size > 0 ? a->frame_size : 1024;
        samples->format = a->sample_fmt;
        samples->sample_rate = a->sample_rate;
        av_channel_layout_copy(&samples->ch_layout, &a->ch_layout);
        Check(av_frame_get_buffer(samples, 0), "samples");
    }
    Check(avio_open(&out.format->pb, outputName.c_str(), AVIO_FLAG_WRITE), "open output");
    Check(avformat_write_header(out.format, nullptr), "header");

    std::int64_t nextPicture = 0, nextSample = 0;
    std::int64_t firstVideo = AV_NOPTS_VALUE;
    const auto encodePicture = [&](AVFrame* picture) {
        const AVStream* in = input->streams[videoIndex];
        const std::int64_t ts = picture->best_effort_timestamp;
        if (firstVideo == AV_NOPTS_VALUE)
            firstVideo = ts;
        // Constant output rate: a picture covers the output slots up to its time.
        const std::int64_t slot =
            ts == AV_NOPTS_VALUE
                ? nextPicture
                : av_rescale_q(ts - firstVideo, in->time_base, out.video->time_base);
        if (slot < nextPicture - 1)
            return;
        Check(av_frame_make_writable(scaled), "picture");
        sws_scale(scaler, picture->data, picture->linesize, 0, picture->height, scaled->data,
                  scaled->linesize);
        do {
            scaled->pts = nextPicture++;
            out.Encode(out.video, out.videoStream, scaled);
        } while (nextPicture <= slot);
    };
    const auto encodeSamples = [&](bool last) {
        const int size = samples->nb_samples;
        while (av_audio_fifo_size(fifo) >= size || (last && av_audio_fifo_size(fifo) > 0)) {
            Check(av_frame_make_writable(samples), "samples");
            const int count =
                av_audio_fifo_read(fifo, reinterpret_cast<void**>(samples->data), size);
            if (count < size)
                av_samples_set_silence(samples->data, count, size - count, s.channels,
                                       out.audio->sample_fmt);
            samples->pts = nextSample;
            nextSample += size;
            out.Encode(out.audio, out.audioStream, samples);
        }
    };
    std::uint8_t** converted = nullptr;
    int convertedCapacity = 0;
    const auto takeAudio = [&](AVFrame* frame) {
        const int wanted = swr_get_out_samples(resampler, frame ? frame->nb_samples : 0);
        if (wanted > convertedCapacity) {
            if (converted)
                av_freep(&converted[0]);
            av_freep(&converted);
            Check(av_samples_alloc_array_and_samples(&converted, nullptr, s.channels, wanted,
                                                     out.audio->sample_fmt, 0),
                  "samples");
            convertedCapacity = wanted;
        }
        const int count =
            swr_convert(resampler, converted, wanted,
                        frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
                        frame ? frame->nb_samples : 0);
        if (count > 0)
            av_audio_fifo_write(fifo, reinterpret_cast<void**>(converted), count);
        encodeSamples(false);
    };

    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto decode = [&](AVCodecContext* decoder, AVPacket* p) {
        if (avcodec_send_packet(decoder, p) < 0 && p)
            return;
        while (avcodec_receive_frame(decoder, frame) >= 0) {
            if (decoder == videoDecoder)
                encodePicture(frame);
            else
                takeAudio(frame);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == videoIndex && videoDecoder)
            decode(videoDecoder, packet);
        else if (packet->stream_index == audioIndex && audioDecoder)
            decode(audioDecoder, packet);
        av_packet_unref(packet);
    }
    if (videoDecoder) {
        decode(videoDecoder, nullptr);
        out.Encode(out.video, out.videoStream, nullptr);
    }
    if (audioDecoder) {
        decode(audioDecoder, nullptr);
        takeAudio(nullptr);
        encodeSamples(true);
        out.Encode(out.audio, out.audioStream, nullptr);
    }
    Check(av_write_trailer(out.format), "trailer");
    avio_closep(&out.format->pb);

    if (converted)
        av_freep(&converted[0]);
    av_freep(&converted);
    av_packet_free(&packet);
    av_frame_free(&frame);
    av_frame_free(&scaled);
    av_frame_free(&samples);
    av_audio_fifo_free(fifo);
    swr_free(&resampler);
    sws_freeContext(scaler);
    avcodec_free_context(&videoDecoder);
    avcodec_free_context(&audioDecoder);
    avcodec_free_context(&out.video);
    avcodec_free_context(&out.audio);
    av_packet_free(&out.packet);
    avformat_free_context(out.format);
    avformat_close_input(&input);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 12) {
        std::fprintf(stderr,
                     "usage: %s input output threads vcodec WxH fps vbitrate acodec "
                     "abitrate rate channels\n",
                     argv[0]);
        return 2;
    }
    Settings s;
    s.threads = std::atoi(argv[3]);
    s.videoCodec = argv[4];
    if (std::sscanf(argv[5], "%dx%d", &s.width, &s.height) != 2 ||
        av_parse_video_rate(&s.fps, argv[6]) < 0)
        return 2;
    s.videoBitRate = std::atoll(argv[7]);
    s.audioCodec = argv[8];
    s.audioBitRate = std::atoll(argv[9]);
    s.sampleRate = std::atoi(argv[10]);
    s.channels = std::atoi(argv[11]);
    av_log_set_level(AV_LOG_ERROR);
    try {
        return Run(argv[1], argv[2], s);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
