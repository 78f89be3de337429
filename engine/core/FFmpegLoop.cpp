// Second phase of Transcode: the packet loop that picks the next input file by timestamps, reads
// and corrects one packet and hands it to DecodePacket; and the end of the run.
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "LogBridge.h"
#include "MyUtils.h"

#include <cmath>
#include <cstdlib>
#include <memory>

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

int TCustomFFmpeg::ChooseInputFile(double& outputMinimum) {
    double inputMinimum = 1e100;
    outputMinimum = 1e100;
    int file = -1;
    for (const TOutputStreamState& ost : Run.OutputStreams) {
        const TInputStreamState& ist = Run.InputStreams[ost.SourceIndex];
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
        if (!Run.InputFiles[ist.FileIndex].EndOfFile) {
            if (inputTime < inputMinimum) {
                inputMinimum = inputTime;
                if (Settings.InputSync)
                    file = ist.FileIndex;
            }
            if (outputTime < outputMinimum) {
                outputMinimum = outputTime;
                if (!Settings.InputSync)
                    file = ist.FileIndex;
            }
        }
        // Only video, audio and data have a frame limit.
        if (type >= 0 && type < 3 && ost.FrameNumber >= Settings.MaxFrames[type]) {
            file = -1;
            break;
        }
    }
    return file;
}

void TCustomFFmpeg::RunLoop() {
    try {
        OwnedPacket holder(AVCodecHlpr::av_packet_alloc());
        AVPacket* packet = holder.get();
        if (!packet)
            throw FFMpegException("av_mallocz fail");
        while (KeepRunning()) {
            double outputMinimum = 0;
            const int file = ChooseInputFile(outputMinimum);
            if (file < 0)
                break;
            if (static_cast<double>(Settings.RecordingTime) / 1000000.0 <= outputMinimum)
                break;
            if (Settings.FileSizeLimit && !OutputFiles.empty() && OutputFiles[0].Context->pb &&
                AVFormatHlpr::avio_seek(OutputFiles[0].Context->pb, 0, SEEK_CUR) >
                    static_cast<std::int64_t>(Settings.FileSizeLimit))
                break;
            if (AVFormatHlpr::av_read_frame(InputFiles[file].Context.get(), packet) < 0) {
                Run.InputFiles[file].EndOfFile = true;
                if (Settings.Shortest)
                    break;
                continue;
            }
            if (!HandlePacket(file, packet))
                continue;
            AVCodecHlpr::av_packet_unref(packet);
            const std::int64_t now = AVUtilHlpr::av_gettime();
            if (now - Counters.LastReportTime > ProgressInterval) {
                Counters.LastReportTime = now;
                PrintReport(false);
            }
        }
        EndRun();
    } catch (...) {
        ReleaseRunTables();
        throw;
    }
    ReleaseRunTables();
}

bool TCustomFFmpeg::HandlePacket(int file, AVPacket* packet) {
    const TInputFileState& state = Run.InputFiles[file];
    if (Settings.PacketDump)
        AVFormatHlpr::av_pkt_dump_log2(nullptr, AVLevelFromLibraryLevel(2), packet,
                                       Settings.HexDump,
                                       InputFiles[file].Context->streams[packet->stream_index]);
    // Streams that appeared after set-up have no entry; unused streams are not read on.
    if (packet->stream_index < 0 || packet->stream_index >= state.StreamCount)
        return true;
    const int index = state.FirstStream + packet->stream_index;
    TInputStreamState& ist = Run.InputStreams[index];
    if (ist.Discard)
        return true;

    const AVRational timeBase = ist.Stream->time_base;
    const std::int64_t offset =
        AVUtilHlpr::av_rescale_q(InputFiles[file].TimestampOffset, AV_TIME_BASE_Q, timeBase);
    if (packet->dts != AV_NOPTS_VALUE)
        packet->dts += offset;
    if (packet->pts != AV_NOPTS_VALUE)
        packet->pts += offset;
    const double scale = file < kMaxFiles && packet->stream_index < kMaxStreams
                             ? Settings.InputTimestampScale[file][packet->stream_index]
                             : 0.0;
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
            DiscontinuityDelta(packetTime, ist.NextPts, ist.Pts, Settings.DtsDeltaThreshold,
                               Settings.CopyTimestamps != 0);
        if (delta != 0) {
            InputFiles[file].TimestampOffset -= delta;
            if (Settings.Verbosity > 2)
                Log(1, StringPrintf("timestamp discontinuity %lld, new offset= %lld",
                                    static_cast<long long>(delta),
                                    static_cast<long long>(InputFiles[file].TimestampOffset)));
            const std::int64_t shift = AVUtilHlpr::av_rescale_q(delta, AV_TIME_BASE_Q, timeBase);
            packet->dts -= shift;
            if (packet->pts != AV_NOPTS_VALUE)
                packet->pts -= shift;
        }
    }

    try {
        DecodePacket(index, packet);
    } catch (const TDecodeFailure& failure) {
        if (Settings.ExitOnError)
            throw;
        if (Settings.Verbosity >= 0)
            Log(1, failure.what());
        AVCodecHlpr::av_packet_unref(packet);
        return false;
    }
    return true;
}

void TCustomFFmpeg::EndRun() {
    for (int i = 0; i < static_cast<int>(Run.InputStreams.size()); ++i) {
        if (!Run.InputStreams[i].DecodingNeeded)
            continue;
        // A decoder that fails while draining ends its stream there; the files still end.
        try {
            DecodePacket(i, nullptr);
        } catch (const TDecodeFailure&) {
        }
    }
    FlushBitstreamFilters();
    FinishOutputFiles();
    PrintReport(true);
    for (TOutputStreamState& ost : Run.OutputStreams) {
        if (ost.EncodingNeeded)
            CloseEncoder(ost.Encoder);
    }
    for (TInputStreamState& ist : Run.InputStreams) {
        if (ist.DecodingNeeded)
            CloseDecoder(ist.Decoder);
    }
    Finished = !StopRequested.load() && IncompleteReason.empty();
}

} // namespace velto
