// Audio output path: real re-encodes checked by decoding what was written.
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "MediaFactory.h"
#include "TranscodeFixture.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <regex>

namespace velto::test {
namespace {

struct DecodedAudio {
    AVCodecID codec = AV_CODEC_ID_NONE;
    int rate = 0;
    int channels = 0;
    std::int64_t samples = 0;       // per channel
    std::int64_t silentSamples = 0; // positions where every channel is exactly zero
    double rms = 0.0;               // full scale 1.0
    std::vector<int> frameSizes;
    int encoderFrameSize = 0; // as the container declares it
};

double SampleAt(const AVFrame* frame, int channel, int index) {
    const AVSampleFormat format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = AVUtilHlpr::av_sample_fmt_is_planar(format);
    const int channels = frame->ch_layout.nb_channels;
    const std::uint8_t* plane = frame->extended_data[planar ? channel : 0];
    const int at = planar ? index : index * channels + channel;
    switch (AVUtilHlpr::av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return (plane[at] - 128) / 128.0;
    case AV_SAMPLE_FMT_S16:
        return reinterpret_cast<const std::int16_t*>(plane)[at] / 32768.0;
    case AV_SAMPLE_FMT_S32:
        return reinterpret_cast<const std::int32_t*>(plane)[at] / 2147483648.0;
    case AV_SAMPLE_FMT_FLT:
        return reinterpret_cast<const float*>(plane)[at];
    case AV_SAMPLE_FMT_DBL:
        return reinterpret_cast<const double*>(plane)[at];
    default:
        return 0.0;
    }
}

// Decodes the first audio stream of path completely.
DecodedAudio DecodeAudio(const std::string& path) {
    DecodedAudio result;
    AVFormatContext* input = nullptr;
    if (AVFormatHlpr::avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0)
        return result;
    AVFormatHlpr::avformat_find_stream_info(input, nullptr);
    int index = -1;
    for (unsigned i = 0; i < input->nb_streams && index < 0; ++i)
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            index = static_cast<int>(i);
    const AVCodec* codec =
        index < 0 ? nullptr
                  : AVCodecHlpr::avcodec_find_decoder(input->streams[index]->codecpar->codec_id);
    AVCodecContext* decoder = codec ? AVCodecHlpr::avcodec_alloc_context3(codec) : nullptr;
    if (decoder) {
        result.codec = codec->id;
        result.encoderFrameSize = input->streams[index]->codecpar->frame_size;
        AVCodecHlpr::avcodec_parameters_to_context(decoder, input->streams[index]->codecpar);
        AVCodecHlpr::avcodec_open2(decoder, codec, nullptr);
        AVPacket* packet = AVCodecHlpr::av_packet_alloc();
        AVFrame* frame = AVUtilHlpr::av_frame_alloc();
        double squares = 0.0;
        const auto receive = [&] {
            while (AVCodecHlpr::avcodec_receive_frame(decoder, frame) >= 0) {
                result.rate = frame->sample_rate;
                result.channels = frame->ch_layout.nb_channels;
                result.frameSizes.push_back(frame->nb_samples);
                for (int i = 0; i < frame->nb_samples; ++i) {
                    bool silent = true;
                    for (int c = 0; c < result.channels; ++c) {
                        const double value = SampleAt(frame, c, i);
                        squares += value * value;
                        silent = silent && value == 0.0;
                    }
                    result.silentSamples += silent;
                }
                result.samples += frame->nb_samples;
                AVUtilHlpr::av_frame_unref(frame);
            }
        };
        while (AVFormatHlpr::av_read_frame(input, packet) >= 0) {
            if (packet->stream_index == index &&
                AVCodecHlpr::avcodec_send_packet(decoder, packet) >= 0)
                receive();
            AVCodecHlpr::av_packet_unref(packet);
        }
        AVCodecHlpr::avcodec_send_packet(decoder, nullptr);
        receive();
        if (result.samples && result.channels)
            result.rms =
                std::sqrt(squares / (static_cast<double>(result.samples) * result.channels));
        AVUtilHlpr::av_frame_free(&frame);
        AVCodecHlpr::av_packet_free(&packet);
        AVCodecHlpr::avcodec_free_context(&decoder);
    }
    AVFormatHlpr::avformat_close_input(&input);
    return result;
}

std::string MakeTone(const std::string& path, const std::string& encoder, double seconds) {
    MediaRecipe recipe;
    recipe.seconds = seconds;
    AudioTrack audio;
    audio.encoder = encoder;
    recipe.audio.push_back(audio);
    return MakeMedia(path, recipe);
}

using AudioOutputTest = TranscodeTest;

TEST_F(AudioOutputTest, ReencodesKeepRateChannelsAndDuration) {
    struct Row {
        std::string name;
        std::string inputEncoder, inputName, output, options;
        AVCodecID codec;
        int rate, channels;
    };
    const Row rows[] = {
        {"wav to mp3", "pcm_s16le", "in.wav", "out.mp3", "acodec=libmp3lame", AV_CODEC_ID_MP3,
         44100, 2},
        {"mp2 to aac in mp4", "mp2", "in.mp2", "out.mp4", "acodec=aac", AV_CODEC_ID_AAC, 44100, 2},
        {"stereo 44100 to mono 22050", "mp2", "in.mp2", "out.mp2", "acodec=mp2\nar=22050\nac=1",
         AV_CODEC_ID_MP2, 22050, 1},
        {"to ima adpcm 8000 mono", "mp2", "in.mp2", "out.wav",
         "acodec=adpcm_ima_wav\nar=8000\nac=1", AV_CODEC_ID_ADPCM_IMA_WAV, 8000, 1},
        {"to 8-bit pcm", "pcm_s16le", "in.wav", "out.wav", "acodec=pcm_u8\nar=11025",
         AV_CODEC_ID_PCM_U8, 11025, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        task.InitOptions();
        const std::string source = MakeTone(Path(row.name + row.inputName), row.inputEncoder, 1.0);
        Input(source);
        Output(row.name + row.output, row.options);
        ASSERT_EQ(Transcode(), "");
        const DecodedAudio in = DecodeAudio(source);
        const DecodedAudio out = DecodeAudio(Path(row.name + row.output));
        EXPECT_EQ(out.codec, row.codec);
        EXPECT_EQ(out.rate, row.rate);
        EXPECT_EQ(out.channels, row.channels);
        // The output lasts as long as the input, within one encoder frame.
        ASSERT_FALSE(out.frameSizes.empty());
        const int frame = *std::max_element(out.frameSizes.begin(), out.frameSizes.end());
        EXPECT_NEAR(static_cast<double>(out.samples) / out.rate,
                    static_cast<double>(in.samples) / in.rate,
                    static_cast<double>(frame) / out.rate);
        EXPECT_GT(out.rms, 0.05);
        // MP2 takes whole frames only: its short tail goes out padded, not dropped.
        if (row.codec == AV_CODEC_ID_MP2) {
            for (int size : out.frameSizes)
                EXPECT_EQ(size, 1152);
            EXPECT_GE(out.samples * in.rate, in.samples * out.rate);
        }
    }
}

TEST_F(AudioOutputTest, SyncFillsGapsAndDropsSamplesAheadOfTime) {
    const std::string source = MakeTone(Path("tone.mkv"), "mp2", 2.0);
    constexpr double kPacket = 1152.0 / 44100;
    struct Row {
        std::string name;
        int dropFrom, dropCount; // audio packets removed from the input
        std::string inputOptions, options;
        double seconds, silence;
    };
    const Row rows[] = {
        {"gap without sync", 20, 20, "", "", 2.0 - 20 * kPacket, 0.0},
        {"gap with sync", 20, 20, "", "async=1", 2.0, 20 * kPacket},
        {"gap longer than one insertion", 20, 40, "", "async=1", 2.0, 40 * kPacket},
        {"late start", 0, 0, "itsoffset=0.5", "async=1", 2.5, 0.5},
        {"early start", 0, 0, "itsoffset=-0.3", "async=1", 1.7, 0.0},
        {"early start without sync", 0, 0, "itsoffset=-0.3", "", 2.0, 0.0},
        // Every timestamp of stream 0 doubled: the 2 s of tone spread over twice their span,
        // each packet followed by a gap of silence of its length (none after the last).
        {"stretched clock with sync", 0, 0, "itsscale=0:2", "async=1", 3.92, 1.91},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        task.InitOptions();
        const std::string input = Path(row.name + ".mkv");
        Remux(source, input, [&](AVPacket&, AVMediaType, int number) {
            return number < row.dropFrom || number >= row.dropFrom + row.dropCount;
        });
        Input(input, row.inputOptions);
        Output(row.name + ".wav", "acodec=pcm_s16le\n" + row.options);
        ASSERT_EQ(Transcode(), "");
        const DecodedAudio out = DecodeAudio(Path(row.name + ".wav"));
        EXPECT_NEAR(out.samples / 44100.0, row.seconds, kPacket);
        EXPECT_NEAR(out.silentSamples / 44100.0, row.silence, 0.01);
    }
}

TEST_F(AudioOutputTest, VolumeScalesSamplesOfEveryDecoderFormat) {
    struct Row {
        std::string encoder, name;
    };
    const Row rows[] = {{"pcm_s16le", "s16.wav"}, {"libmp3lame", "float.mp3"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string source = MakeTone(Path(row.name), row.encoder, 1.0);
        double rms[2] = {};
        const int volumes[2] = {256, 128};
        for (int i = 0; i < 2; ++i) {
            task.InitOptions();
            Input(source, "vol=" + std::to_string(volumes[i]));
            const std::string name = std::to_string(volumes[i]) + row.name + ".wav";
            Output(name, "acodec=pcm_s16le");
            ASSERT_EQ(Transcode(), "");
            rms[i] = DecodeAudio(Path(name)).rms;
        }
        ASSERT_GT(rms[0], 0.05);
        EXPECT_NEAR(rms[1] / rms[0], 0.5, 0.01);
    }
}

TEST_F(AudioOutputTest, SmallDriftIsCompensatedByAtMostTheMethod) {
    const std::string source = MakeTone(Path("tone.mkv"), "mp2", 2.0);
    // Every packet from the 20th on comes 7 ms (309 samples) late: below the drift threshold.
    const std::string input = Path("drift.mkv");
    Remux(source, input, [&](AVPacket& packet, AVMediaType, int number) {
        if (number >= 20)
            packet.pts = packet.dts = packet.pts + 7;
        return true;
    });
    for (int method : {100, 1000}) {
        SCOPED_TRACE(method);
        task.InitOptions();
        lines.clear();
        // The late start is filled first, which ends the start phase; the drift comes after.
        Input(input, "itsoffset=0.1");
        Output("drift.wav", "acodec=pcm_s16le\nv=3\nasync=" + std::to_string(method));
        ASSERT_EQ(Transcode(), "");
        const std::regex logged("^compensating audio timestamp drift:([-0-9.]+) "
                                "compensation:(-?[0-9]+) in:44100$");
        std::vector<double> drifts;
        std::smatch match;
        for (const std::string& line : lines) {
            if (!std::regex_match(line, match, logged))
                continue;
            const double drift = std::stod(match[1]);
            drifts.push_back(drift);
            EXPECT_GT(std::fabs(drift), 50.0);
            EXPECT_EQ(std::stoi(match[2]), std::clamp(static_cast<int>(drift), -method, method));
        }
        ASSERT_FALSE(drifts.empty());
        EXPECT_GT(*std::max_element(drifts.begin(), drifts.end()), 300.0);
        EXPECT_LT(drifts.back(), drifts.front()); // the resampler catches up
        EXPECT_FALSE(LoggedFragment("discarding"));
        // Only the late start is filled with silence, not the drift.
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& line) {
                                    return line.find("audio samples of silence") != line.npos;
                                }),
                  1);
    }
}

} // namespace
} // namespace velto::test
