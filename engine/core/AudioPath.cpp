// The audio output path: each decoded block of an input stream is brought to the encoder's rate,
// channel layout and sample format, kept in step with the sync time, framed through the output
// stream's FIFO and encoded. FlushEncoder drains what is left at the end of the input.
#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "SwResampleHlpr.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace velto {

namespace {

// The largest run of silence inserted with one block, counted in bytes of 16-bit samples; a
// longer gap is filled over the following blocks.
constexpr int kMaxSilenceBytes = 131072;

// One block of samples as planes of one sample format; packed formats use the first plane.
struct SampleBlock {
    std::vector<std::uint8_t*> planes;
    int count = 0;
    int channels = 0;
    AVSampleFormat format = AV_SAMPLE_FMT_NONE;

    bool Planar() const { return AVUtilHlpr::av_sample_fmt_is_planar(format); }
    // Bytes of one sample position in one plane.
    int Stride() const {
        return AVUtilHlpr::av_get_bytes_per_sample(format) * (Planar() ? 1 : channels);
    }
};

SampleBlock BlockOf(AVFrame* frame) {
    SampleBlock block;
    block.count = frame->nb_samples;
    block.channels = frame->ch_layout.nb_channels;
    block.format = static_cast<AVSampleFormat>(frame->format);
    const int planes = block.Planar() ? block.channels : 1;
    for (int p = 0; p < planes; ++p)
        block.planes.push_back(frame->extended_data[p]);
    return block;
}

// Points the planes of a block of `count` samples into buffer, which is grown to fit.
void LayOver(SampleBlock& block, std::vector<std::uint8_t>& buffer, int count) {
    const size_t planeSize = static_cast<size_t>(count) * block.Stride();
    const size_t planes = block.Planar() ? block.channels : 1;
    if (buffer.size() < planeSize * planes)
        buffer.resize(planeSize * planes);
    block.planes.resize(planes);
    for (size_t p = 0; p < planes; ++p)
        block.planes[p] = buffer.data() + p * planeSize;
    block.count = count;
}

void SkipSamples(SampleBlock& block, int count) {
    for (std::uint8_t*& plane : block.planes)
        plane += static_cast<size_t>(count) * block.Stride();
    block.count -= count;
}

// The block becomes `count` samples of silence followed by its samples, in buffer.
void PrependSilence(SampleBlock& block, int count, std::vector<std::uint8_t>& buffer) {
    SampleBlock result = block;
    LayOver(result, buffer, count + block.count);
    AVUtilHlpr::av_samples_set_silence(result.planes.data(), 0, count, block.channels,
                                       block.format);
    AVUtilHlpr::av_samples_copy(result.planes.data(), block.planes.data(), count, 0, block.count,
                                block.channels, block.format);
    block = result;
}

// A layout with an order the resampler can mix: unknown orders become the default layout.
AVChannelLayout MixableLayout(const AVChannelLayout& layout) {
    AVChannelLayout result = {};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
        AVUtilHlpr::av_channel_layout_default(&result, layout.nb_channels);
    else
        AVUtilHlpr::av_channel_layout_copy(&result, &layout);
    return result;
}

// Makes (or drops) the resampler so that it matches this block: rate, channel layout and sample
// format conversions are all one SwrContext. A block whose parameters differ from the previous
// one gets a new context, so a decoder that changes its output mid-stream is never fed into a
// context made for other planes.
void PrepareResampler(TCustomFFmpeg& task, TOutputStreamState& ost, const AVFrame* samples) {
    AVCodecContext* enc = ost.Encoder;
    const AVSampleFormat format = static_cast<AVSampleFormat>(samples->format);
    AVChannelLayout input = MixableLayout(samples->ch_layout);
    AVChannelLayout output = MixableLayout(enc->ch_layout);
    const bool sameLayout = AVUtilHlpr::av_channel_layout_compare(&input, &output) == 0;
    const bool needed = ost.AudioResample || !sameLayout || format != enc->sample_fmt ||
                        samples->sample_rate != enc->sample_rate;
    const int pair = enc->sample_fmt + AV_SAMPLE_FMT_NB * format;
    if (!needed ||
        (ost.Resampler && ost.ReformatPair == pair && ost.ResampleInRate == samples->sample_rate &&
         ost.ResampleInChannels == input.nb_channels)) {
        if (!needed)
            ost.Resampler.reset();
        AVUtilHlpr::av_channel_layout_uninit(&input);
        AVUtilHlpr::av_channel_layout_uninit(&output);
        return;
    }
    ost.Resampler.reset();
    ost.ReformatPair = -6;
    SwrContext* made = nullptr;
    int result =
        SwResampleHlpr::swr_alloc_set_opts2(&made, &output, enc->sample_fmt, enc->sample_rate,
                                            &input, format, samples->sample_rate, 0, nullptr);
    ost.Resampler.reset(made);
    // Drift compensation needs the resampling stage even between equal rates.
    if (result >= 0 && task.Settings.AudioSyncMethod > 1)
        result = AVUtilHlpr::av_opt_set_int(ost.Resampler.get(), "flags", SWR_FLAG_RESAMPLE, 0);
    if (result >= 0)
        result = SwResampleHlpr::swr_init(ost.Resampler.get());
    AVUtilHlpr::av_channel_layout_uninit(&input);
    AVUtilHlpr::av_channel_layout_uninit(&output);
    if (result < 0) {
        ost.Resampler.reset();
        if (ost.AudioResample || samples->sample_rate != enc->sample_rate || !sameLayout)
            throw FFMpegException(
                StringPrintf("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                             samples->ch_layout.nb_channels, samples->sample_rate,
                             enc->ch_layout.nb_channels, enc->sample_rate));
        const char* from = AVUtilHlpr::av_get_sample_fmt_name(format);
        const char* to = AVUtilHlpr::av_get_sample_fmt_name(enc->sample_fmt);
        throw FFMpegException(StringPrintf("Cannot convert %s sample format to %s sample format",
                                           from ? from : "?", to ? to : "?"));
    }
    ost.ReformatPair = pair;
    ost.ResampleInRate = samples->sample_rate;
    ost.ResampleInChannels = samples->ch_layout.nb_channels;
}

// Keeps the samples handed to the encoder in step with the sync time: drops the head of the
// block, puts silence before it or nudges the resampler. False when nothing of the block is left.
bool SyncAudio(TCustomFFmpeg& task, TTranscodeRun& run, TOutputStreamState& ost,
               TInputStreamState& ist, SampleBlock& block, int inputRate) {
    const TaskSettings& settings = task.Settings;
    AVCodecContext* enc = ost.Encoder;
    const TInputStreamState& sync = run.InputStreams[ost.SyncIndex];
    const double syncTime = static_cast<double>(sync.Pts - settings.StartTime) / AV_TIME_BASE;
    const int queued = AVUtilHlpr::av_audio_fifo_size(ost.Fifo.get());
    if (settings.AudioSyncMethod <= 0) {
        ost.SyncOpts = std::llround(syncTime * enc->sample_rate) - queued;
        return true;
    }
    const double delta = syncTime * enc->sample_rate - static_cast<double>(ost.SyncOpts) - queued;
    if (std::fabs(delta) <= 50)
        return true;
    const double idelta = delta * inputRate / enc->sample_rate;
    std::int64_t sampleDelta = static_cast<std::int64_t>(idelta);
    if (ist.IsStart || std::fabs(delta) > settings.AudioDriftThreshold * enc->sample_rate) {
        if (sampleDelta < 0) {
            const int skip = static_cast<int>(std::min<std::int64_t>(-sampleDelta, block.count));
            SkipSamples(block, skip);
            if (settings.Verbosity > 2)
                task.Log(1, StringPrintf("discarding %d audio samples", static_cast<int>(-delta)));
            if (block.count <= 0)
                return false;
            ist.IsStart = 0;
        } else {
            const int limit = kMaxSilenceBytes / (2 * std::max(1, block.channels));
            if (sampleDelta + block.count <= limit)
                ist.IsStart = 0;
            else // the rest of the gap follows with the next block
                sampleDelta = std::max(0, limit - block.count);
            if (sampleDelta > 0)
                PrependSilence(block, static_cast<int>(sampleDelta), run.AudioBlockBuffer);
            if (settings.Verbosity > 2)
                task.Log(
                    1, StringPrintf("adding %d audio samples of silence", static_cast<int>(delta)));
        }
    } else if (settings.AudioSyncMethod > 1 && ost.Resampler.get()) {
        const int method = settings.AudioSyncMethod;
        const int comp = std::clamp(static_cast<int>(delta), -method, method);
        if (settings.Verbosity > 2)
            task.Log(1, StringPrintf("compensating audio timestamp drift:%f compensation:%d in:%d",
                                     delta, comp, enc->sample_rate));
        SwResampleHlpr::swr_set_compensation(ost.Resampler.get(), comp, enc->sample_rate);
    }
    return true;
}

// Resamples or converts a block into the output stream's FIFO.
void QueueSamples(TCustomFFmpeg& task, TTranscodeRun& run, TOutputStreamState& ost,
                  SampleBlock& block) {
    AVCodecContext* enc = ost.Encoder;
    SampleBlock out = block;
    if (ost.Resampler.get()) {
        const int capacity = SwResampleHlpr::swr_get_out_samples(ost.Resampler.get(), block.count);
        if (capacity <= 0)
            return;
        out.channels = enc->ch_layout.nb_channels;
        out.format = enc->sample_fmt;
        LayOver(out, run.AudioResampleBuffer, capacity);
        const int count = SwResampleHlpr::swr_convert(
            ost.Resampler.get(), out.planes.data(), capacity,
            const_cast<const std::uint8_t**>(block.planes.data()), block.count);
        if (count < 0) {
            if (task.Settings.ExitOnError)
                throw FFMpegException("av_audio_convert() failed");
            task.Log(0, "av_audio_convert() failed");
            return;
        }
        out.count = count;
    }
    if (out.count <= 0)
        return;
    if (AVUtilHlpr::av_audio_fifo_write(ost.Fifo.get(), reinterpret_cast<void**>(out.planes.data()),
                                        out.count) < out.count)
        throw FFMpegException("av_fifo_realloc2() failed");
}

// The output stream's encoder frame for frameSamples samples. Its buffer is reused while it is
// large enough and no encoder still holds it, so that steady encoding allocates nothing.
AVFrame* EncoderAudioFrame(TOutputStreamState& ost, int frameSamples) {
    const AVCodecContext* enc = ost.Encoder;
    if (!ost.AudioFrame)
        ost.AudioFrame.reset(AVUtilHlpr::av_frame_alloc());
    AVFrame* frame = ost.AudioFrame.get();
    if (!frame)
        throw FFMpegException("av_malloc failed");
    if (frame->buf[0] &&
        (ost.AudioFrameCapacity < frameSamples || !AVUtilHlpr::av_frame_is_writable(frame)))
        AVUtilHlpr::av_frame_unref(frame);
    if (!frame->buf[0]) {
        frame->nb_samples = frameSamples;
        frame->format = enc->sample_fmt;
        frame->sample_rate = enc->sample_rate;
        AVUtilHlpr::av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
        if (AVUtilHlpr::av_frame_get_buffer(frame, 0) < 0)
            throw FFMpegException("av_malloc failed");
        ost.AudioFrameCapacity = frameSamples;
    }
    frame->nb_samples = frameSamples;
    return frame;
}

} // namespace

void TCustomFFmpeg::DoAudioOut(int outputStream, int inputStream, AVFrame* samples) {
    TOutputStreamState& ost = run_->OutputStreams[outputStream];
    TInputStreamState& ist = run_->InputStreams[inputStream];
    AVCodecContext* enc = ost.Encoder;
    // A block the decoder could not describe cannot be converted safely.
    if (!ost.Fifo || samples->nb_samples <= 0 || samples->sample_rate <= 0 ||
        samples->ch_layout.nb_channels <= 0 || samples->format < 0 || enc->sample_rate <= 0)
        return;
    if (samples->ch_layout.nb_channels != enc->ch_layout.nb_channels)
        ost.AudioResample = 1;
    PrepareResampler(*this, ost, samples);
    SampleBlock block = BlockOf(samples);
    if (!SyncAudio(*this, *run_, ost, ist, block, samples->sample_rate))
        return;
    QueueSamples(*this, *run_, ost, block);
    EncodeQueuedAudio(outputStream, false);
}

void TCustomFFmpeg::EncodeQueuedAudio(int outputStream, bool last) {
    TOutputStreamState& ost = run_->OutputStreams[outputStream];
    AVCodecContext* enc = ost.Encoder;
    // Encoders without a frame size (PCM and the like) take whatever has been queued.
    const bool anySize = enc->frame_size < 2;
    const bool smallLast = enc->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
    const int channels = enc->ch_layout.nb_channels;
    for (;;) {
        const int queued = AVUtilHlpr::av_audio_fifo_size(ost.Fifo.get());
        const int wanted = anySize ? queued : enc->frame_size;
        if (queued <= 0 || (queued < wanted && !last))
            return;
        const int count = std::min(wanted, queued);
        // A short tail goes out padded with silence to an encoder that takes only whole frames,
        // rather than being lost.
        const int frameSamples = smallLast ? count : wanted;
        AVFrame* frame = EncoderAudioFrame(ost, frameSamples);
        AVUtilHlpr::av_audio_fifo_read(ost.Fifo.get(),
                                       reinterpret_cast<void**>(frame->extended_data), count);
        if (frameSamples > count)
            AVUtilHlpr::av_samples_set_silence(frame->extended_data, count, frameSamples - count,
                                               channels, enc->sample_fmt);
        const AVRational sampleBase{1, enc->sample_rate};
        std::int64_t pts = AVUtilHlpr::av_rescale_q(ost.SyncOpts, sampleBase, enc->time_base);
        // Frames never overlap: a sync time that went back cannot make timestamps go back.
        if (ost.AudioNextPts != AV_NOPTS_VALUE && pts < ost.AudioNextPts)
            pts = ost.AudioNextPts;
        frame->pts = pts;
        if (AVCodecHlpr::avcodec_send_frame(enc, frame) < 0)
            throw FFMpegException("Audio encoding failed");
        run_->Encoder.WritePackets(outputStream);
        ost.AudioNextPts = pts + AVUtilHlpr::av_rescale_q(frameSamples, sampleBase, enc->time_base);
        ost.SyncOpts += frameSamples;
    }
}

void TCustomFFmpeg::FlushEncoder(int outputStream) {
    TOutputStreamState& ost = run_->OutputStreams[outputStream];
    AVCodecContext* enc = ost.Encoder;
    if (enc->codec_type == AVMEDIA_TYPE_AUDIO && ost.Fifo.get()) {
        // The resampler holds back the last few samples for its filter; take them too.
        if (ost.Resampler.get()) {
            SampleBlock tail;
            tail.channels = enc->ch_layout.nb_channels;
            tail.format = enc->sample_fmt;
            const int capacity = SwResampleHlpr::swr_get_out_samples(ost.Resampler.get(), 0);
            if (capacity > 0) {
                LayOver(tail, run_->AudioResampleBuffer, capacity);
                const int count = SwResampleHlpr::swr_convert(
                    ost.Resampler.get(), tail.planes.data(), capacity, nullptr, 0);
                if (count > 0)
                    AVUtilHlpr::av_audio_fifo_write(
                        ost.Fifo.get(), reinterpret_cast<void**>(tail.planes.data()), count);
            }
        }
        EncodeQueuedAudio(outputStream, true);
    }
    if (enc->codec_type == AVMEDIA_TYPE_AUDIO || enc->codec_type == AVMEDIA_TYPE_VIDEO) {
        // A refused drain request would silently lose the encoder's delayed frames.
        const int sent = AVCodecHlpr::avcodec_send_frame(enc, nullptr);
        if (sent < 0 && sent != AVERROR_EOF)
            throw FFMpegException(enc->codec_type == AVMEDIA_TYPE_VIDEO ? "Video encoding failed"
                                                                        : "Audio encoding failed");
        run_->Encoder.WritePackets(outputStream);
    }
}

} // namespace velto
