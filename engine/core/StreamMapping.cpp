// Transcode set-up: which input stream feeds each output stream, from the "map" entries or by
// media type (and program), checked before anything is opened.
#include "AVFormatHlpr.h"
#include "FFmpeg.h"
#include "MyUtils.h"

namespace velto {

void TCustomFFmpeg::CheckStreamMaps(int outputStreams) const {
    const std::vector<TStreamMap>& maps = Settings.StreamMaps;
    if (!maps.empty() && static_cast<int>(maps.size()) != outputStreams)
        throw FFMpegException("Number of stream maps must match number of output streams");
    const int inputCount = static_cast<int>(InputFiles.size());
    for (const TStreamMap& map : maps) {
        if (map.FileIndex < 0 || map.FileIndex >= inputCount || map.StreamIndex < 0 ||
            map.StreamIndex >= run_->Demuxer.StreamCount(map.FileIndex))
            throw FFMpegException(
                StringPrintf("Could not find input stream #%d.%d", map.FileIndex, map.StreamIndex));
        if (map.SyncFileIndex < 0 || map.SyncFileIndex >= inputCount || map.SyncStreamIndex < 0 ||
            map.SyncStreamIndex >= run_->Demuxer.StreamCount(map.SyncFileIndex))
            throw FFMpegException(StringPrintf("Could not find sync stream #%d.%d",
                                               map.SyncFileIndex, map.SyncStreamIndex));
    }
}

void TCustomFFmpeg::MapStreams() {
    int count = 0;
    for (size_t i = 0; i < OutputFiles.size(); ++i) {
        if (OutputFiles[i].Context->nb_streams == 0)
            throw FFMpegException("Output file does not contain any stream");
        count += static_cast<int>(OutputFiles[i].Context->nb_streams);
    }
    CheckStreamMaps(count);
    std::vector<int> first;
    try {
        run_->OutputStreams.resize(count);
        first.resize(OutputFiles.size());
    } catch (const std::bad_alloc&) {
        throw FFMpegException("av_mallocz fail");
    }
    int n = 0;
    for (size_t i = 0; i < OutputFiles.size(); ++i) {
        first[i] = n;
        for (unsigned k = 0; k < OutputFiles[i].Context->nb_streams; ++k, ++n)
            MapOutputStream(static_cast<int>(i), static_cast<int>(k), n);
    }
    run_->Muxer.SetFirstStreams(std::move(first));
}

void TCustomFFmpeg::MapOutputStream(int file, int index, int n) {
    AVFormatContext* output = OutputFiles[file].Context.get();
    TOutputStreamState& ost = run_->OutputStreams[n];
    ost.FileIndex = file;
    ost.Index = index;
    ost.Stream = output->streams[index];
    if (index >= static_cast<int>(OutputFiles[file].Streams.size()) ||
        !OutputFiles[file].Streams[index].CodecContext)
        throw FFMpegException("invalid codec_type of output stream");
    ost.Setup = &OutputFiles[file].Streams[index];
    ost.Encoder = ost.Setup->CodecContext.get();
    const AVMediaType type = ost.Encoder->codec_type;

    const std::vector<TStreamMap>& maps = Settings.StreamMaps;
    int source = -1;
    if (!maps.empty()) {
        const TStreamMap& map = maps[n];
        source = run_->Demuxer.FirstStream(map.FileIndex) + map.StreamIndex;
        if (InputStreamType(source) != type) {
            AVFormatHlpr::av_dump_format(output, file, output->url, 1);
            throw FFMpegException(StringPrintf("Codec type mismatch for mapping #%d.%d -> #%d.%d",
                                               map.FileIndex, map.StreamIndex, ost.FileIndex,
                                               ost.Index));
        }
        ost.SyncIndex = run_->Demuxer.FirstStream(map.SyncFileIndex) + map.SyncStreamIndex;
    } else {
        source = ChosenSource(type);
        if (source < 0)
            source = Settings.ProgramId ? ProgramSource(type) : UnusedSource(type);
        // A stream already in use may feed a further output; the last one of the type.
        if (source < 0 && !Settings.ProgramId)
            source = LastSource(type);
        if (source < 0) {
            AVFormatHlpr::av_dump_format(output, file, output->url, 1);
            throw FFMpegException(
                StringPrintf("Could not find input stream matching output stream #%d.%d",
                             ost.FileIndex, ost.Index));
        }
        ost.SyncIndex = source;
    }
    ost.SourceIndex = source;
    run_->InputStreams[source].Discard = 0;
}

AVMediaType TCustomFFmpeg::InputStreamType(int inputStream) const {
    return run_->InputStreams[inputStream].Stream->codecpar->codec_type;
}

int TCustomFFmpeg::ProgramSource(AVMediaType type) const {
    for (int f = 0; f < static_cast<int>(InputFiles.size()); ++f) {
        const AVFormatContext* input = InputFiles[f].Context.get();
        for (unsigned p = 0; p < input->nb_programs; ++p) {
            const AVProgram* program = input->programs[p];
            if (program->id != Settings.ProgramId)
                continue;
            for (unsigned s = 0; s < program->nb_stream_indexes; ++s) {
                const int index = static_cast<int>(program->stream_index[s]);
                if (index >= run_->Demuxer.StreamCount(f))
                    continue;
                const int candidate = run_->Demuxer.FirstStream(f) + index;
                if (run_->InputStreams[candidate].Discard && InputStreamType(candidate) == type)
                    return candidate;
            }
        }
    }
    return -1;
}

int TCustomFFmpeg::ChosenSource(AVMediaType type) const {
    const TStreamChoice* choice = type == AVMEDIA_TYPE_AUDIO      ? &Settings.AudioSource
                                  : type == AVMEDIA_TYPE_SUBTITLE ? &Settings.SubtitleSource
                                                                  : nullptr;
    if (!choice || choice->StreamIndex < 0 || choice->FileIndex < 0 ||
        choice->FileIndex >= static_cast<int>(InputFiles.size()) ||
        choice->StreamIndex >= run_->Demuxer.StreamCount(choice->FileIndex))
        return -1;
    const int candidate = run_->Demuxer.FirstStream(choice->FileIndex) + choice->StreamIndex;
    return run_->InputStreams[candidate].Discard && InputStreamType(candidate) == type ? candidate
                                                                                       : -1;
}

int TCustomFFmpeg::UnusedSource(AVMediaType type) const {
    for (int j = 0; j < static_cast<int>(run_->InputStreams.size()); ++j) {
        if (run_->InputStreams[j].Discard && InputStreamType(j) == type)
            return j;
    }
    return -1;
}

int TCustomFFmpeg::LastSource(AVMediaType type) const {
    int source = -1;
    for (int j = 0; j < static_cast<int>(run_->InputStreams.size()); ++j) {
        if (InputStreamType(j) == type)
            source = j;
    }
    return source;
}

} // namespace velto
