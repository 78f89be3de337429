#include "Muxer.h"

#include <algorithm>
#include <cstring>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "TranscodeRun.h"

namespace velto {

void TMuxer::CheckLength(int file, std::int64_t microseconds) const {
    // A damaged time scale can make a short source write without end.
    if (limit_ > 0 && microseconds > limit_)
        throw FFMpegException(StringPrintf("Output '%s' runs past %s, far beyond the length of "
                                           "its source: the source's timing is damaged",
                                           task_.OutputName(file),
                                           FormatClockTime(limit_).c_str()));
}

void TMuxer::InitBitstreamFilters() {
    for (TOutputStreamState& ost : run_.OutputStreams) {
        const AVCodecParameters* parameters = ost.Stream->codecpar;
        AVRational timeBase = ost.Stream->time_base;
        for (BitstreamFilterPtr& filter : ost.Setup->BitstreamFilters) {
            AVCodecHlpr::avcodec_parameters_copy(filter->par_in, parameters);
            filter->time_base_in = timeBase;
            const int initialised = AVCodecHlpr::av_bsf_init(filter.get());
            if (initialised < 0)
                throw LibraryFailure(
                    StringPrintf("Error initializing bitstream filter: %s", filter->filter->name),
                    initialised);
            parameters = filter->par_out;
            timeBase = filter->time_base_out;
        }
        // A filter may rewrite the extradata the muxer puts in the header.
        if (parameters != ost.Stream->codecpar)
            AVCodecHlpr::avcodec_parameters_copy(ost.Stream->codecpar, parameters);
    }
}

void TMuxer::WriteHeaders() {
    bool allRtp = !task_.OutputFiles.empty();
    for (size_t i = 0; i < task_.OutputFiles.size(); ++i) {
        AVFormatContext* context = task_.OutputFiles[i].Context.get();
        const int written = AVFormatHlpr::avformat_write_header(context, nullptr);
        task_.CheckOutputWrites(static_cast<int>(i));
        if (written < 0)
            throw FFMpegException(StringPrintf(
                "Could not write header for output file #%d (incorrect codec parameters ?): %s",
                static_cast<int>(i), LibraryErrorReason(written).c_str()));
        if (std::strcmp(context->oformat->name, "rtp") != 0)
            allRtp = false;
    }
    if (allRtp && task_.HasLogSink()) {
        std::vector<AVFormatContext*> contexts;
        for (TOutputFile& output : task_.OutputFiles)
            contexts.push_back(output.Context.get());
        char sdp[2048] = {};
        AVFormatHlpr::av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp,
                                    sizeof sdp);
        task_.Log(1, "SDP: " + Trim(sdp));
    }
}

void TMuxer::Write(int file, AVPacket* packet, AVCodecContext* encoder,
                   TBitstreamFilterChain& chain) {
    FilterAndWrite(file, packet, encoder, chain, 0);
}

void TMuxer::FilterAndWrite(int file, AVPacket* packet, AVCodecContext* encoder,
                            TBitstreamFilterChain& chain, size_t position) {
    if (position < chain.size()) {
        AVBSFContext* filter = chain[position].get();
        const int sent = AVCodecHlpr::av_bsf_send_packet(filter, packet);
        if (sent < 0) {
            // A failing filter passes the packet on unchanged.
            ReportFilterFailure(filter, packet ? packet->stream_index : -1, encoder, sent);
            FilterAndWrite(file, packet, encoder, chain, position + 1);
            return;
        }
        if (filtered_.size() <= position)
            filtered_.resize(position + 1);
        OwnedPacket& slot = filtered_[position];
        if (!slot)
            slot.reset(AVCodecHlpr::av_packet_alloc());
        if (!slot)
            throw FFMpegException("av_mallocz fail");
        AVPacket* filtered = slot.get();
        for (;;) {
            const int received = AVCodecHlpr::av_bsf_receive_packet(filter, filtered);
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
                break;
            if (received < 0) {
                ReportFilterFailure(filter, packet ? packet->stream_index : -1, encoder, received);
                break;
            }
            FilterAndWrite(file, filtered, encoder, chain, position + 1);
        }
        if (!packet) // end of stream reaches the next filter as well
            FilterAndWrite(file, nullptr, encoder, chain, position + 1);
        return;
    }
    if (packet)
        WritePacket(file, packet);
}

void TMuxer::WritePacket(int file, AVPacket* packet) {
    const int first = fileFirst_[file];
    TOutputStreamState& ost = run_.OutputStreams[first + packet->stream_index];
    const std::int64_t start = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (start != AV_NOPTS_VALUE) {
        const std::int64_t end = start + std::max<std::int64_t>(packet->duration, 0);
        if (ost.LastPts == AV_NOPTS_VALUE || end > ost.LastPts)
            ost.LastPts = end;
        CheckLength(file, AVUtilHlpr::av_rescale_q(end, ost.Stream->time_base, AV_TIME_BASE_Q));
    }
    const int written =
        AVFormatHlpr::av_interleaved_write_frame(task_.OutputFiles[file].Context.get(), packet);
    // The byte stream buffers: a full disk shows in its error flag before any call fails.
    task_.CheckOutputWrites(file);
    if (written < 0)
        throw FFMpegException(StringPrintf("Could not write '%s': %s", task_.OutputName(file),
                                           LibraryErrorReason(written).c_str()));
}

void TMuxer::ReportFilterFailure(AVBSFContext* filter, int streamIndex, AVCodecContext* encoder,
                                 int code) {
    if (!task_.Settings.ExitOnError && !task_.HasLogSink())
        return;
    const char* codec = encoder && encoder->codec ? encoder->codec->name : "copy";
    const std::string text = OpenErrorText(
        StringPrintf("%s failed for stream %d, codec %s", filter->filter->name, streamIndex, codec),
        code);
    if (task_.Settings.ExitOnError)
        throw FFMpegException(text);
    task_.Log(0, text);
}

void TMuxer::FlushBitstreamFilters() {
    for (TOutputStreamState& ost : run_.OutputStreams) {
        if (!ost.Setup->BitstreamFilters.empty())
            FilterAndWrite(ost.FileIndex, nullptr, ost.Encoder, ost.Setup->BitstreamFilters, 0);
    }
}

} // namespace velto
