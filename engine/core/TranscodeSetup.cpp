// First phase of Transcode: the run and its stream tables, codec opening, metadata, headers and
// the mapping report; and the release of the run. Stream mapping is in StreamMapping.cpp, the
// codec parameters in OutputCodecSetup.cpp, the loop in TranscodeLoop.cpp.
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
    run_ = std::make_unique<TTranscodeRun>(*this);
    try {
        BuildInputTables();
        MapStreams();
        for (int i = 0; i < static_cast<int>(run_->OutputStreams.size()); ++i)
            SetUpOutputCodec(i);
        run_->CopyPacket.reset(AVCodecHlpr::av_packet_alloc());
        const bool packetMade = run_->Encoder.AllocatePacket();
        const bool frameMade = run_->Decoder.AllocateFrame();
        if (!run_->CopyPacket || !packetMade || !frameMade)
            throw FFMpegException("av_mallocz fail");
        for (int i = 0; i < static_cast<int>(OutputFiles.size()); ++i)
            AVFormatHlpr::av_dump_format(OutputFiles[i].Context.get(), i,
                                         OutputFiles[i].Context->url, 1);
        LogStreamMapping();
        OpenCodecs();
        for (TInputStreamState& ist : run_->InputStreams) {
            ist.Pts = 0;
            ist.NextPts = AV_NOPTS_VALUE;
            ist.IsStart = 1;
        }
        ApplyMetaDataMaps();
        CopySourceTags();
        OpenOutputTempFiles();
        run_->Muxer.SetLengthLimit(OutputLengthLimit());
        run_->Muxer.WriteHeaders();
    } catch (...) {
        ReleaseRunTables();
        throw;
    }
    run_->Counters.StartTime = AVUtilHlpr::av_gettime();
    run_->Counters.LastReportTime = run_->Counters.StartTime;
    RunLoop();
}

void TCustomFFmpeg::BuildInputTables() {
    const int total = run_->Demuxer.Build();
    try {
        run_->InputStreams.resize(total);
    } catch (const std::bad_alloc&) {
        throw FFMpegException("av_mallocz fail");
    }
    for (size_t i = 0; i < InputFiles.size(); ++i) {
        const int first = run_->Demuxer.FirstStream(static_cast<int>(i));
        for (int k = 0; k < run_->Demuxer.StreamCount(static_cast<int>(i)); ++k) {
            TInputStreamState& ist = run_->InputStreams[first + k];
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
    for (const TOutputStreamState& ost : run_->OutputStreams) {
        const TInputStreamState& source = run_->InputStreams[ost.SourceIndex];
        Log(1, StringPrintf("  Stream #%d.%d -> #%d.%d", source.FileIndex, source.StreamIndex,
                            ost.FileIndex, ost.Index));
        if (ost.SyncIndex != ost.SourceIndex) {
            const TInputStreamState& sync = run_->InputStreams[ost.SyncIndex];
            Log(1, StringPrintf(" [sync #%d.%d]", sync.FileIndex, sync.StreamIndex));
        }
    }
}

void TCustomFFmpeg::OpenCodecs() {
    run_->Encoder.Open();
    run_->Decoder.Open();
    run_->Muxer.InitBitstreamFilters();
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

void TCustomFFmpeg::CopySourceTags() {
    if (!Settings.CopySourceTags || InputFiles.empty() || !InputFiles[0].Context)
        return;
    // What phone galleries sort and show by; a text the user gave for the output wins, the
    // source's date wins over the time of the conversion.
    static const char* const kKeys[] = {"title", "artist", "comment", "location"};
    const AVDictionary* from = InputFiles[0].Context->metadata;
    for (TOutputFile& output : OutputFiles) {
        AVDictionary** to = &output.Context->metadata;
        for (const char* key : kKeys) {
            const AVDictionaryEntry* entry = AVUtilHlpr::av_dict_get(from, key, nullptr, 0);
            if (entry && !AVUtilHlpr::av_dict_get(*to, key, nullptr, 0))
                AVUtilHlpr::av_dict_set(to, key, entry->value, 0);
        }
        if (const AVDictionaryEntry* date =
                AVUtilHlpr::av_dict_get(from, "creation_time", nullptr, 0))
            AVUtilHlpr::av_dict_set(to, "creation_time", date->value, 0);
    }
}

void TCustomFFmpeg::CloseOpenCodecs() {
    if (run_)
        run_->CloseCodecs();
}

void TCustomFFmpeg::ReleaseRunTables() {
    // The run owns its library objects: dropping it closes the codecs it left open and frees
    // packets, frames, filter graphs, scalers, resamplers, queues and the two-pass logs.
    run_.reset();
}

} // namespace velto
