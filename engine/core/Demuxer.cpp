#include "Demuxer.h"

#include <cmath>
#include <cstdlib>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "LogBridge.h"
#include "MyUtils.h"
#include "TranscodeRun.h"

namespace velto {

std::int64_t DiscontinuityDelta(std::int64_t packetTime, std::int64_t nextPts,
                                std::int64_t currentPts, float threshold, bool copyTimestamps) {
    if (copyTimestamps || nextPts == AV_NOPTS_VALUE)
        return 0;
    const std::int64_t delta = packetTime - nextPts;
    if (std::llabs(delta) > static_cast<std::int64_t>(threshold * AV_TIME_BASE) ||
        packetTime + 1 < currentPts)
        return delta;
    return 0;
}

int TDemuxer::Build() {
    const std::vector<TInputFile>& inputs = task_.InputFiles;
    try {
        files_.assign(inputs.size(), TInputFileState{});
        int total = 0;
        for (size_t i = 0; i < inputs.size(); ++i) {
            files_[i].FirstStream = total;
            files_[i].StreamCount = static_cast<int>(inputs[i].Context->nb_streams);
            total += files_[i].StreamCount;
        }
        return total;
    } catch (const std::bad_alloc&) {
        throw FFMpegException("av_mallocz fail");
    }
}

int TDemuxer::ChooseInputFile(double& outputMinimum) const {
    double inputMinimum = 1e100;
    outputMinimum = 1e100;
    double outputChoice = 1e100;
    bool timed = false;
    int file = -1;
    for (const TOutputStreamState& ost : run_.OutputStreams) {
        const TInputStreamState& ist = run_.InputStreams[ost.SourceIndex];
        const AVMediaType type = ost.Encoder->codec_type;
        double outputTime;
        // A copied stream's time is what it has written: its sync counter only counts packets,
        // which is no clock when the container's time base is not one frame.
        if (type == AVMEDIA_TYPE_VIDEO && ost.EncodingNeeded)
            outputTime = static_cast<double>(ost.SyncOpts) * av_q2d(ost.Encoder->time_base);
        else
            outputTime = ost.LastPts == AV_NOPTS_VALUE
                             ? 0.0
                             : static_cast<double>(ost.LastPts) * av_q2d(ost.Stream->time_base);
        const double inputTime = static_cast<double>(ist.Pts);
        if (!files_[ist.FileIndex].EndOfFile) {
            if (inputTime < inputMinimum) {
                inputMinimum = inputTime;
                if (task_.Settings.InputSync)
                    file = ist.FileIndex;
            }
            if (outputTime < outputChoice) {
                outputChoice = outputTime;
                if (!task_.Settings.InputSync)
                    file = ist.FileIndex;
            }
            // Subtitles are sparse: their last cue says nothing of how far the output has got,
            // so it must not hold back the end of a run of limited length.
            if (type != AVMEDIA_TYPE_SUBTITLE && outputTime < outputMinimum)
                outputMinimum = outputTime;
        }
        if (type != AVMEDIA_TYPE_SUBTITLE)
            timed = true;
        // Only video, audio and data have a frame limit.
        if (type >= 0 && type < 3 && ost.FrameNumber >= task_.Settings.MaxFrames[type]) {
            file = -1;
            break;
        }
    }
    if (!timed)
        outputMinimum = outputChoice;
    return file;
}

AVPacket* TDemuxer::Read(int file) {
    if (!packet_) {
        packet_.reset(AVCodecHlpr::av_packet_alloc());
        if (!packet_)
            throw FFMpegException("av_mallocz fail");
    }
    if (AVFormatHlpr::av_read_frame(task_.InputFiles[file].Context.get(), packet_.get()) < 0) {
        files_[file].EndOfFile = true;
        return nullptr;
    }
    return packet_.get();
}

int TDemuxer::Correct(int file, AVPacket* packet) {
    const TInputFileState& state = files_[file];
    if (task_.Settings.PacketDump)
        AVFormatHlpr::av_pkt_dump_log2(
            nullptr, AVLevelFromLibraryLevel(2), packet, task_.Settings.HexDump,
            task_.InputFiles[file].Context->streams[packet->stream_index]);
    // Streams that appeared after set-up have no entry; unused streams are not read on.
    if (packet->stream_index < 0 || packet->stream_index >= state.StreamCount)
        return -1;
    const int index = state.FirstStream + packet->stream_index;
    TInputStreamState& ist = run_.InputStreams[index];
    if (ist.Discard)
        return -1;

    const AVRational timeBase = ist.Stream->time_base;
    const std::int64_t offset =
        AVUtilHlpr::av_rescale_q(task_.InputFiles[file].TimestampOffset, AV_TIME_BASE_Q, timeBase);
    if (packet->dts != AV_NOPTS_VALUE)
        packet->dts += offset;
    if (packet->pts != AV_NOPTS_VALUE)
        packet->pts += offset;
    const double scale = task_.Settings.InputTimestampScale.At(file, packet->stream_index);
    if (scale != 0.0) {
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts = std::llround(static_cast<double>(packet->dts) * scale);
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts = std::llround(static_cast<double>(packet->pts) * scale);
    }

    if (packet->dts != AV_NOPTS_VALUE && ist.NextPts != AV_NOPTS_VALUE) {
        const std::int64_t packetTime =
            AVUtilHlpr::av_rescale_q(packet->dts, timeBase, AV_TIME_BASE_Q);
        const std::int64_t delta =
            DiscontinuityDelta(packetTime, ist.NextPts, ist.Pts, task_.Settings.DtsDeltaThreshold,
                               task_.Settings.CopyTimestamps != 0);
        if (delta != 0) {
            task_.InputFiles[file].TimestampOffset -= delta;
            if (task_.Settings.Verbosity > 2)
                task_.Log(1, StringPrintf(
                                 "timestamp discontinuity %lld, new offset= %lld",
                                 static_cast<long long>(delta),
                                 static_cast<long long>(task_.InputFiles[file].TimestampOffset)));
            const std::int64_t shift = AVUtilHlpr::av_rescale_q(delta, AV_TIME_BASE_Q, timeBase);
            packet->dts -= shift;
            if (packet->pts != AV_NOPTS_VALUE)
                packet->pts -= shift;
        }
    }
    return index;
}

} // namespace velto
