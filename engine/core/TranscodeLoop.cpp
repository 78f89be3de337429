// Second phase of Transcode: the packet loop that has the demuxer pick the next input file, read
// and correct one packet, and hands it to DecodePacket; and the end of the run.
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

void TCustomFFmpeg::RunLoop() {
    try {
        while (KeepRunning()) {
            double outputMinimum = 0;
            const int file = run_->Demuxer.ChooseInputFile(outputMinimum);
            if (file < 0)
                break;
            if (static_cast<double>(Settings.RecordingTime) / 1000000.0 <= outputMinimum)
                break;
            if (Settings.FileSizeLimit && !OutputFiles.empty() && OutputFiles[0].Context->pb &&
                AVFormatHlpr::avio_seek(OutputFiles[0].Context->pb, 0, SEEK_CUR) >
                    static_cast<std::int64_t>(Settings.FileSizeLimit))
                break;
            AVPacket* packet = run_->Demuxer.Read(file);
            if (!packet) {
                if (Settings.Shortest)
                    break;
                continue;
            }
            if (!HandlePacket(file, packet))
                continue;
            AVCodecHlpr::av_packet_unref(packet);
            const std::int64_t now = AVUtilHlpr::av_gettime();
            if (now - run_->Counters.LastReportTime > ProgressInterval) {
                run_->Counters.LastReportTime = now;
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
    const int index = run_->Demuxer.Correct(file, packet);
    if (index < 0)
        return true;
    try {
        run_->Decoder.Decode(index, packet);
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
    for (int i = 0; i < static_cast<int>(run_->InputStreams.size()); ++i) {
        if (!run_->InputStreams[i].DecodingNeeded)
            continue;
        // A decoder that fails while draining ends its stream there; the files still end.
        try {
            run_->Decoder.Decode(i, nullptr);
        } catch (const TDecodeFailure&) {
        }
    }
    run_->Muxer.FlushBitstreamFilters();
    FinishOutputFiles();
    PrintReport(true);
    for (TOutputStreamState& ost : run_->OutputStreams) {
        if (ost.EncodingNeeded)
            run_->CloseEncoder(ost.Encoder);
    }
    for (TInputStreamState& ist : run_->InputStreams) {
        if (ist.DecodingNeeded)
            run_->CloseDecoder(ist.Decoder);
    }
    Finished = !StopRequested.load() && IncompleteReason.empty();
}

} // namespace velto
