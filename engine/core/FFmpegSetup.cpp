// First phase of Transcode: per-run tables, codec opening, metadata, headers and the mapping
// report; and the release routine of the tables. Stream mapping and codec parameters are in
// FFmpegMapping.cpp, the loop in FFmpegLoop.cpp.
#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "CodecLock.h"
#include "FFmpeg.h"
#include "MyUtilHlpr.h"
#include "MyUtils.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"

#include <algorithm>
#include <cstring>

namespace velto {

namespace {

void Remove(std::vector<AVCodecContext*>& list, AVCodecContext* context) {
    list.erase(std::remove(list.begin(), list.end(), context), list.end());
}

// The metadata keys a map_meta_data copies, with their size limits and the older names that
// some demuxers use instead.
struct MetaDataKey {
    const char* key;
    const char* alternative;
    size_t limit;
};
constexpr MetaDataKey kMetaDataKeys[] = {
    {"title", nullptr, 511},   {"author", "artist", 511}, {"copyright", nullptr, 511},
    {"comment", nullptr, 511}, {"album", nullptr, 511},   {"year", "date", 31},
    {"track", nullptr, 31},    {"genre", nullptr, 31},
};

std::string MetaDataValue(AVDictionary* metadata, const MetaDataKey& key) {
    const AVDictionaryEntry* entry = AVUtilHlpr::av_dict_get(metadata, key.key, nullptr, 0);
    if (!entry && key.alternative)
        entry = AVUtilHlpr::av_dict_get(metadata, key.alternative, nullptr, 0);
    return entry ? std::string(entry->value).substr(0, key.limit) : std::string();
}

} // namespace

void TCustomFFmpeg::Transcode() {
    try {
        BuildInputTables();
        MapStreams();
        for (int i = 0; i < static_cast<int>(Run.OutputStreams.size()); ++i)
            SetUpOutputCodec(i);
        Run.CopyPacket.reset(AVCodecHlpr::av_packet_alloc());
        Run.EncodedPacket.reset(AVCodecHlpr::av_packet_alloc());
        Run.DecodedFrame.reset(AVUtilHlpr::av_frame_alloc());
        if (!Run.CopyPacket || !Run.EncodedPacket || !Run.DecodedFrame)
            throw FFMpegException("av_mallocz fail");
        for (int i = 0; i < static_cast<int>(OutputFiles.size()); ++i)
            AVFormatHlpr::av_dump_format(OutputFiles[i].Context.get(), i,
                                         OutputFiles[i].Context->url, 1);
        LogStreamMapping();
        OpenCodecs();
        for (TInputStreamState& ist : Run.InputStreams) {
            ist.Pts = 0;
            ist.NextPts = AV_NOPTS_VALUE;
            ist.IsStart = 1;
        }
        ApplyMetaDataMaps();
        OpenOutputTempFiles();
        Run.OutputLimit = OutputLengthLimit();
        WriteHeaders();
    } catch (...) {
        ReleaseRunTables();
        throw;
    }
    Counters.StartTime = AVUtilHlpr::av_gettime();
    Counters.LastReportTime = Counters.StartTime;
    RunLoop();
}

void TCustomFFmpeg::BuildInputTables() {
    Run = TRunTables{};
    Counters = TRunCounters{};
    try {
        Run.InputFiles.resize(InputFiles.size());
        int total = 0;
        for (size_t i = 0; i < InputFiles.size(); ++i) {
            Run.InputFiles[i].FirstStream = total;
            Run.InputFiles[i].StreamCount = static_cast<int>(InputFiles[i].Context->nb_streams);
            total += Run.InputFiles[i].StreamCount;
        }
        Run.InputStreams.resize(total);
    } catch (const std::bad_alloc&) {
        throw FFMpegException("av_mallocz fail");
    }
    for (size_t i = 0; i < InputFiles.size(); ++i) {
        const TInputFileState& file = Run.InputFiles[i];
        for (int k = 0; k < file.StreamCount; ++k) {
            TInputStreamState& ist = Run.InputStreams[file.FirstStream + k];
            ist.Stream = InputFiles[i].Context->streams[k];
            ist.FileIndex = static_cast<int>(i);
            ist.StreamIndex = k;
            ist.Discard = 1;
            if (k < static_cast<int>(InputFiles[i].Streams.size())) {
                ist.Decoder = InputFiles[i].Streams[k].CodecContext.get();
                ist.RateEmulation = InputFiles[i].Streams[k].RateEmulation;
            }
            if (ist.RateEmulation) {
                ist.RateEmulationStart = AVUtilHlpr::av_gettime();
                ist.RateEmulationFrames = 0;
            }
        }
    }
}

void TCustomFFmpeg::LogStreamMapping() {
    if (Settings.Verbosity < 0 || !HasLogSink())
        return;
    Log(1, "Stream mapping:");
    for (const TOutputStreamState& ost : Run.OutputStreams) {
        const TInputStreamState& source = Run.InputStreams[ost.SourceIndex];
        Log(1, StringPrintf("  Stream #%d.%d -> #%d.%d", source.FileIndex, source.StreamIndex,
                            ost.FileIndex, ost.Index));
        if (ost.SyncIndex != ost.SourceIndex) {
            const TInputStreamState& sync = Run.InputStreams[ost.SyncIndex];
            Log(1, StringPrintf(" [sync #%d.%d]", sync.FileIndex, sync.StreamIndex));
        }
    }
}

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

void TCustomFFmpeg::OpenCodecs() {
    for (TOutputStreamState& ost : Run.OutputStreams) {
        if (!ost.EncodingNeeded)
            continue;
        const AVCodec* codec = ost.Setup->Encoder;
        if (!codec || codec->id != ost.Encoder->codec_id)
            codec = AVCodecHlpr::avcodec_find_encoder(ost.Encoder->codec_id);
        if (!codec)
            throw FFMpegException(StringPrintf("Unsupported codec for output stream #%d.%d",
                                               ost.FileIndex, ost.Index));
        SetCodecThreads(ost.Encoder);
        {
            std::lock_guard lock(CodecLock());
            AVDictionary* own = EncoderOwnOptions(codec, Settings.PrivateOptions);
            const int opened = AVCodecHlpr::avcodec_open2(ost.Encoder, codec, &own);
            AVUtilHlpr::av_dict_free(&own);
            if (opened < 0)
                throw LibraryFailure(
                    StringPrintf("Error while opening codec for output stream #%d.%d - maybe "
                                 "incorrect parameters such as bit_rate, rate, width or height",
                                 ost.FileIndex, ost.Index),
                    opened);
            OpenEncoders.push_back(ost.Encoder);
        }
        Counters.ExtraSize += ost.Encoder->extradata_size;
        // The muxer reads the stream's parameters, which only the opened encoder knows fully.
        AVCodecHlpr::avcodec_parameters_from_context(ost.Stream->codecpar, ost.Encoder);
        ost.Stream->time_base = ost.Encoder->time_base;
    }
    for (TInputStreamState& ist : Run.InputStreams) {
        if (!ist.DecodingNeeded)
            continue;
        const AVCodec* codec =
            ist.Decoder ? AVCodecHlpr::avcodec_find_decoder(ist.Decoder->codec_id) : nullptr;
        if (!codec)
            throw FFMpegException(
                StringPrintf("Unsupported codec (id=%d) for input stream #%d.%d",
                             ist.Decoder ? static_cast<int>(ist.Decoder->codec_id) : 0,
                             ist.FileIndex, ist.StreamIndex));
        ist.Decoder->pkt_timebase = ist.Stream->time_base;
        SetCodecThreads(ist.Decoder);
        std::lock_guard lock(CodecLock());
        const int opened = AVCodecHlpr::avcodec_open2(ist.Decoder, codec, nullptr);
        if (opened < 0)
            throw LibraryFailure(StringPrintf("Error while opening codec for input stream #%d.%d",
                                              ist.FileIndex, ist.StreamIndex),
                                 opened);
        OpenDecoders.push_back(ist.Decoder);
    }
    InitBitstreamFilters();
}

void TCustomFFmpeg::InitBitstreamFilters() {
    for (TOutputStreamState& ost : Run.OutputStreams) {
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

void TCustomFFmpeg::ApplyMetaDataMaps() {
    for (const TMetaDataMap& map : Settings.MetadataMaps) {
        if (map.OutFile < 0 || map.OutFile >= static_cast<int>(OutputFiles.size()))
            throw FFMpegException(StringPrintf("Invalid output file index %d map_meta_data(%d,%d)",
                                               map.OutFile, map.OutFile, map.InFile));
        if (map.InFile < 0 || map.InFile >= static_cast<int>(InputFiles.size()))
            throw FFMpegException(StringPrintf("Invalid input file index %d map_meta_data(%d,%d)",
                                               map.InFile, map.OutFile, map.InFile));
        AVDictionary* from = InputFiles[map.InFile].Context->metadata;
        AVDictionary** to = &OutputFiles[map.OutFile].Context->metadata;
        for (const MetaDataKey& key : kMetaDataKeys) {
            const std::string value = MetaDataValue(from, key);
            // An empty value removes the key, as copying an empty field did.
            AVUtilHlpr::av_dict_set(to, key.key, value.empty() ? nullptr : value.c_str(), 0);
        }
    }
}

void TCustomFFmpeg::WriteHeaders() {
    bool allRtp = !OutputFiles.empty();
    for (size_t i = 0; i < OutputFiles.size(); ++i) {
        AVFormatContext* context = OutputFiles[i].Context.get();
        const int written = AVFormatHlpr::avformat_write_header(context, nullptr);
        CheckOutputWrites(static_cast<int>(i));
        if (written < 0)
            throw FFMpegException(StringPrintf(
                "Could not write header for output file #%d (incorrect codec parameters ?): %s",
                static_cast<int>(i), LibraryErrorReason(written).c_str()));
        if (std::strcmp(context->oformat->name, "rtp") != 0)
            allRtp = false;
    }
    if (allRtp && HasLogSink()) {
        std::vector<AVFormatContext*> contexts;
        for (TOutputFile& output : OutputFiles)
            contexts.push_back(output.Context.get());
        char sdp[2048] = {};
        AVFormatHlpr::av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp,
                                    sizeof sdp);
        Log(1, "SDP: " + Trim(sdp));
    }
}

void TCustomFFmpeg::CloseEncoder(AVCodecContext* encoder) {
    AVUtilHlpr::av_freep(&encoder->stats_in);
    std::lock_guard lock(CodecLock());
    AVCodecHlpr::avcodec_close(encoder);
    Remove(OpenEncoders, encoder);
}

void TCustomFFmpeg::CloseDecoder(AVCodecContext* decoder) {
    std::lock_guard lock(CodecLock());
    AVCodecHlpr::avcodec_close(decoder);
    Remove(OpenDecoders, decoder);
}

void TCustomFFmpeg::CloseOpenCodecs() {
    while (!OpenEncoders.empty())
        CloseEncoder(OpenEncoders.front());
    while (!OpenDecoders.empty())
        CloseDecoder(OpenDecoders.front());
}

void TCustomFFmpeg::ReleaseRunTables() {
    // The tables own their library objects: dropping them frees packets, frames, filter graphs,
    // scalers, resamplers, queues and closes the two-pass logs.
    Run = TRunTables{};
}

} // namespace velto
