// The option-driven settings of one transcoding task with their defaults. Written by the option
// table, the target presets and the input/output set-up on the caller's thread while the task is
// idle; read by the run on the task's worker thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "LibraryObjects.h"
#include "MyUtilHlpr.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace velto {

constexpr int kMaxFiles = 20;        // input files, output files per task
constexpr int kMaxStreams = 20;      // streams per file (MAX_STREAMS)
constexpr int kMaxStreamMaps = 400;  // "map" entries
constexpr int kMaxMetaDataMaps = 20; // "map_meta_data" entries
constexpr int kMaxHookWords = 64;    // words of one "vhook" command line
constexpr int kMediaKindCount = 5;   // video, audio, data, subtitle, attachment
constexpr int kMaxCodecThreads = 64; // "threads"
constexpr float kNoAudioQScale = -99999.0f;

using CodecContextPtr = OwnedCodecContext;
using FormatContextPtr = OwnedFormatContext;
using ScalerContextPtr = OwnedScaler;
using BitstreamFilterPtr = OwnedBitstreamFilter;
// A file opened through the helper library.
using HelperFilePtr = TLibraryOwner<std::FILE, MyUtilHlpr::my_fclose>;

// Bitstream filters applied to one stream's packets in order; a new filter goes at the end. The
// chain is handed to an output stream with std::move, which leaves the source empty.
using TBitstreamFilterChain = std::vector<BitstreamFilterPtr>;

// One "map" entry: input file and stream, and the file and stream it syncs to.
struct TStreamMap {
    int FileIndex = 0;
    int StreamIndex = 0;
    int SyncFileIndex = 0;
    int SyncStreamIndex = 0;
};

// An input stream by file and stream index; Stream -1: no choice.
struct TStreamChoice {
    int FileIndex = 0;
    int StreamIndex = -1;
};

// One "map_meta_data" entry: metadata of input file InFile is copied into output file OutFile.
struct TMetaDataMap {
    int OutFile = 0;
    int InFile = 0;
};

// The "itsscale" factors by input and stream. Tasks seldom set one, and a full 20 x 20 table took
// 3 KiB in every waiting job, so only those set are kept.
class TTimestampScales {
public:
    // The factor set for that input's stream; 0 (no scaling) when none was.
    double At(int input, int stream) const {
        const auto entry = Find(input, stream);
        return entry == entries_.end() ? 0.0 : entry->Scale;
    }
    void Set(int input, int stream, double scale) {
        if (const auto entry = Find(input, stream); entry != entries_.end())
            entries_[static_cast<std::size_t>(entry - entries_.begin())].Scale = scale;
        else
            entries_.push_back({input, stream, scale});
    }
    bool Empty() const { return entries_.empty(); }

private:
    struct TEntry {
        int Input = 0;
        int Stream = 0;
        double Scale = 0.0;
    };
    std::vector<TEntry>::const_iterator Find(int input, int stream) const {
        return std::find_if(entries_.begin(), entries_.end(), [&](const TEntry& entry) {
            return entry.Input == input && entry.Stream == stream;
        });
    }
    std::vector<TEntry> entries_;
};

// Flags are int 0/1 unless said. Times are microseconds unless said. Text settings the option
// table calls "string copies" use an empty string for "none".
struct TaskSettings {
    // Files, timing and run control.
    const AVInputFormat* InputFormat = nullptr;   // forced format of the next input
    const AVOutputFormat* OutputFormat = nullptr; // forced format of the next output
    std::int64_t StartTime = 0;
    std::int64_t RecordingTime = std::numeric_limits<std::int64_t>::max();
    int ExpectedDuration = -1; // milliseconds
    std::int64_t InputTimestampOffset = 0;
    TTimestampScales InputTimestampScale;
    std::int64_t RecordingTimestamp = 0; // seconds since 1970
    std::uint64_t FileSizeLimit = 0;     // bytes, 0 = no limit
    // The verified output must hold at most this many bytes: the video is encoded in two passes
    // and again at a lower rate when it comes out over ("fit_size"); 0 = no such limit.
    std::int64_t FitSize = 0;
    int MaxFrames[3] = {INT32_MAX, INT32_MAX, INT32_MAX}; // by AVMEDIA_TYPE_VIDEO/AUDIO/DATA
    std::vector<TStreamMap> StreamMaps;                   // at most kMaxStreamMaps
    std::vector<TMetaDataMap> MetadataMaps;               // at most kMaxMetaDataMaps
    int LoopInput = 0;
    int LoopOutput = -1;
    std::uint8_t CopyTimestamps = 0;
    int Shortest = 0;
    int InputSync = 0;
    int ProgramId = 0;
    int RateEmulation = 0;
    int VideoSyncMethod = -1;
    int AudioSyncMethod = 0;
    float AudioDriftThreshold = 0.1f; // seconds
    float DtsDeltaThreshold = 10.0f;  // seconds
    float MuxMaxDelay = 0.7f;         // seconds
    float MuxPreload = 0.5f;          // seconds
    std::uint8_t ExitOnError = 0;
    int Verbosity = 1;
    int PacketDump = 0;
    int HexDump = 0;
    int ThreadCount = 0; // codec threads of the video codecs; 0: sized from the machine
    int PgmyuvCompatibility = 0;
    int ScalerFlags = SWS_BICUBIC;
    int KeepFileDates = 0;  // the output takes the first input's modification time
    int CopySourceTags = 0; // the output takes the first input's date, title, place and such

    // Output metadata; the output set-up truncates to the container's limits (511, genre 31).
    std::string Title;
    std::string Author;
    std::string Rights;
    std::string Comment;
    std::string Album;
    std::string Genre;
    int Year = 0;
    int Track = 0;

    // Video.
    int FrameWidth = 0;
    int FrameHeight = 0;
    float FrameAspectRatio = 0.0f;
    // FrameAspectRatio is the source's shape as read, before any turn; false once "aspect" set it.
    bool AspectFromInput = false;
    int FramePixelFormat = AV_PIX_FMT_NONE;
    bool PixelFormatNamed = false; // set by the pix_fmt option, not taken from the source
    AVRational FrameRate = {0, 0};
    int PadTop = 0;
    int PadBottom = 0;
    int PadLeft = 0;
    int PadRight = 0;
    int PadColor[3] = {16, 128, 128}; // Y, Cb, Cr
    int CropTop = 0;
    int CropBottom = 0;
    int CropLeft = 0;
    int CropRight = 0;
    float VideoQScale = 0.0f;
    std::vector<std::uint16_t> IntraMatrix; // empty until first use, then 64 coefficients
    std::vector<std::uint16_t> InterMatrix;
    std::string RcOverride;
    int VideoDisable = 0;
    int VideoDiscard = 0;
    std::string VideoCodecName;
    std::uint32_t VideoCodecTag = 0;
    int VideoStreamCopy = 0;
    int SameQuality = 0;
    int Deinterlace = 0;
    int TopFieldFirst = -1;
    int MotionEstimationThreshold = 0;
    int IntraDcPrecision = 8;
    int QpHistogram = 0;
    std::string VideoFilters;
    std::uint8_t FiltersInUse = 0;
    int Rotation = 0; // clockwise degrees (0, 90, 180, 270) the picture is turned before scaling
    int IntraOnly = 0;
    int Psnr = 0;
    int PassNumber = 0;
    std::string PassLogFilePrefix;
    std::string VideoStatsFileName;
    HelperFilePtr VideoStatsFile; // opened on the first statistics line, closed with the options
    int VideoChannel = 0;
    std::string VideoStandard;
    std::uint8_t FrameHooksInUse = 0;
    int VideoGlobalHeader = 0; // bit 0 forces global headers, bit 1 local headers
    TBitstreamFilterChain VideoBitstreamFilters;

    // Audio.
    int AudioSampleRate = 44100;
    float AudioQScale = kNoAudioQScale;
    int AudioDisable = 0;
    int AudioChannels = 2;
    std::string AudioCodecName;
    std::uint32_t AudioCodecTag = 0;
    std::string AudioLanguage;
    int AudioStreamCopy = 0;
    int AudioVolume = 256;
    int AudioSampleFormat = AV_SAMPLE_FMT_NONE;
    TBitstreamFilterChain AudioBitstreamFilters;

    // Subtitles.
    int SubtitleDisable = 0;
    std::string SubtitleCodecName;
    std::string SubtitleLanguage;
    int SubtitleStreamCopy = 0;
    TBitstreamFilterChain SubtitleBitstreamFilters;

    // The input stream an output's sound or subtitles come from when no map is given; a choice
    // that is out of range or of another kind falls back to the first unused stream of the kind.
    TStreamChoice AudioSource;
    TStreamChoice SubtitleSource;
    // A text subtitle drawn into the picture: the file holding it and its number among that
    // file's subtitle streams. Empty: nothing is burned in.
    std::string BurnSubtitleFile;
    int BurnSubtitleIndex = 0;
    // A bitmap subtitle stream (DVD, Blu-ray, DVB) drawn instead: its index among all the file's
    // streams, as the overlay reads it with a demuxer of its own; -1 for text.
    int BurnBitmapStream = -1;

    // Generic option holders: library contexts that collect the options the table does not know,
    // so that the set-up can copy them into real contexts (ApplyGenericOptions). Allocated by
    // TCustomFFmpeg::AllocateOptionHolders when the libraries are bound.
    CodecContextPtr CodecOptionHolders[kMediaKindCount]; // by AVMediaType, video .. attachment
    FormatContextPtr FormatOptionHolder;
    ScalerContextPtr ScalerOptionHolder;
    std::vector<std::string> GenericOptionNames; // library names, in order, duplicates kept
    // Options that only some muxer's or encoder's own class knows (such as "muxrate"), as given;
    // ApplyGenericOptions sets them on contexts whose private data has them.
    std::vector<std::pair<std::string, std::string>> PrivateOptions;
};

} // namespace velto
