// The task's option vocabulary: one row per option name, in the order the first match wins, and
// the reading of option text blocks.
#include <algorithm>
#include <cstring>

#include "FFmpeg.h"
#include "MyUtils.h"

namespace velto {

void TCustomFFmpeg::ApplyOptionText(const std::string& text) {
    // Every kind of line break becomes LF, then the block is cut line by line.
    std::string rest;
    const std::string trimmed = Trim(text);
    rest.reserve(trimmed.size());
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] == '\r') {
            rest += '\n';
            if (i + 1 < trimmed.size() && trimmed[i + 1] == '\n')
                ++i;
        } else {
            rest += trimmed[i];
        }
    }
    while (!rest.empty()) {
        std::string line;
        SplitAt(rest, "\n", true, line);
        std::string name;
        SplitAt(line, "=", true, name);
        SetOption(name, line);
    }
}

// The rows are defined in the class's scope so that their captureless lambdas reach the private
// handlers; the table is constant data, built before any task exists.
#define VELTO_INT(option, field)                                                                   \
    {                                                                                              \
        option, [](TCustomFFmpeg& t, const std::string&, const std::string& v) {                   \
            t.Settings.field = StrToInt(v);                                                        \
        }                                                                                          \
    }
#define VELTO_FLOAT(option, field)                                                                 \
    {                                                                                              \
        option, [](TCustomFFmpeg& t, const std::string&, const std::string& v) {                   \
            t.Settings.field = StrToFloat(v);                                                      \
        }                                                                                          \
    }
#define VELTO_SWITCH(option, field)                                                                \
    {                                                                                              \
        option,                                                                                    \
            [](TCustomFFmpeg& t, const std::string&, const std::string&) { t.Settings.field = 1; } \
    }
#define VELTO_TEXT(option, field)                                                                  \
    {                                                                                              \
        option, [](TCustomFFmpeg& t, const std::string&, const std::string& v) {                   \
            if (!v.empty())                                                                        \
                t.Settings.field = v;                                                              \
        }                                                                                          \
    }
#define VELTO_CALL(option, call)                                                                   \
    {                                                                                              \
        option, [](TCustomFFmpeg& t, const std::string& n, const std::string& v) {                 \
            (void)n;                                                                               \
            (void)v;                                                                               \
            t.call;                                                                                \
        }                                                                                          \
    }

namespace {

void DoNothing(TCustomFFmpeg& t, const std::string& n, const std::string&) {
    t.Log(1, "Do nothing: option - " + n);
}

} // namespace

const TCustomFFmpeg::TOptionRow TCustomFFmpeg::OptionTable[] = {
    // Accepted for compatibility; nothing to do for a task.
    {"L", DoNothing},
    {"h", DoNothing},
    {"version", DoNothing},
    {"formats", DoNothing},
    {"i", DoNothing},
    {"y", DoNothing},
    {"benchmark", DoNothing},
    {"apre", DoNothing},
    {"vpre", DoNothing},
    {"spre", DoNothing},
    VELTO_CALL("threads", OptThreads(v)),

    // General, file and timing options.
    VELTO_CALL("v", OptVerbosity(v)),
    VELTO_CALL("f", OptFormat(v)),
    VELTO_CALL("t", OptDuration(v)),
    {"fs",
     [](TCustomFFmpeg& t, const std::string&, const std::string& v) {
         t.Settings.FileSizeLimit = static_cast<std::uint64_t>(StrToInt64(v));
     }},
    {"fit_size",
     [](TCustomFFmpeg& t, const std::string&, const std::string& v) {
         t.Settings.FitSize = std::max<std::int64_t>(0, StrToInt64(v));
     }},
    {"ss",
     [](TCustomFFmpeg& t, const std::string& n, const std::string& v) {
         t.Settings.StartTime = t.ParseTimeOption(n, v, true);
     }},
    {"itsoffset",
     [](TCustomFFmpeg& t, const std::string& n, const std::string& v) {
         t.Settings.InputTimestampOffset = t.ParseTimeOption(n, v, true);
     }},
    VELTO_CALL("itsscale", OptInputTimestampScale(v)),
    VELTO_CALL("timestamp", OptTimestamp(v)),
    VELTO_CALL("map", OptStreamMap(v)),
    VELTO_CALL("map_meta_data", OptMetaDataMap(v)),
    VELTO_INT("dframes", MaxFrames[AVMEDIA_TYPE_DATA]),
    VELTO_INT("vframes", MaxFrames[AVMEDIA_TYPE_VIDEO]),
    VELTO_INT("aframes", MaxFrames[AVMEDIA_TYPE_AUDIO]),
    VELTO_SWITCH("loop_input", LoopInput),
    VELTO_INT("loop_output", LoopOutput),
    VELTO_INT("vsync", VideoSyncMethod),
    VELTO_INT("async", AudioSyncMethod),
    VELTO_FLOAT("adrift_threshold", AudioDriftThreshold),
    VELTO_SWITCH("copyts", CopyTimestamps),
    VELTO_SWITCH("shortest", Shortest),
    VELTO_FLOAT("dts_delta_threshold", DtsDeltaThreshold),
    VELTO_INT("programid", ProgramId),
    VELTO_SWITCH("xerror", ExitOnError),
    VELTO_SWITCH("keep_dates", KeepFileDates),
    VELTO_SWITCH("source_tags", CopySourceTags),
    VELTO_SWITCH("dump", PacketDump),
    VELTO_SWITCH("hex", HexDump),
    VELTO_SWITCH("re", RateEmulation),
    VELTO_SWITCH("isync", InputSync),
    VELTO_FLOAT("muxdelay", MuxMaxDelay),
    VELTO_FLOAT("muxpreload", MuxPreload),
    VELTO_CALL("target", ParseTargetOption(v)),
    VELTO_TEXT("title", Title),
    VELTO_TEXT("author", Author),
    VELTO_TEXT("copyright", Rights),
    VELTO_TEXT("comment", Comment),
    VELTO_TEXT("genre", Genre),
    VELTO_TEXT("album", Album),

    // Video options.
    VELTO_CALL("b", OptBitRate(n, v)),
    VELTO_CALL("vb", OptBitRate(n, v)),
    VELTO_CALL("r", OptFrameRate(v)),
    VELTO_CALL("s", OptFrameSize(v)),
    VELTO_CALL("aspect", OptAspectRatio(v)),
    VELTO_CALL("pix_fmt", OptPixelFormat(v)),
    VELTO_CALL("croptop", SetCrop(fsTop, StrToInt(v))),
    VELTO_CALL("cropbottom", SetCrop(fsBottom, StrToInt(v))),
    VELTO_CALL("cropleft", SetCrop(fsLeft, StrToInt(v))),
    VELTO_CALL("cropright", SetCrop(fsRight, StrToInt(v))),
    VELTO_CALL("padtop", SetPad(fsTop, StrToInt(v))),
    VELTO_CALL("padbottom", SetPad(fsBottom, StrToInt(v))),
    VELTO_CALL("padleft", SetPad(fsLeft, StrToInt(v))),
    VELTO_CALL("padright", SetPad(fsRight, StrToInt(v))),
    VELTO_CALL("padcolor", SetPadColor(static_cast<std::uint32_t>(StrToInt(v)))),
    VELTO_SWITCH("intra", IntraOnly),
    VELTO_SWITCH("vn", VideoDisable),
    VELTO_INT("vdt", VideoDiscard),
    VELTO_CALL("qscale", OptQScale(v)),
    VELTO_TEXT("rc_override", RcOverride),
    VELTO_CALL("vcodec", OptCodec(AVMEDIA_TYPE_VIDEO, v)),
    VELTO_INT("me_threshold", MotionEstimationThreshold),
    VELTO_SWITCH("sameq", SameQuality),
    VELTO_CALL("pass", OptPass(v)),
    VELTO_TEXT("passlogfile", PassLogFilePrefix),
    VELTO_SWITCH("deinterlace", Deinterlace),
    VELTO_SWITCH("psnr", Psnr),
    VELTO_CALL("vstats", OptVideoStats()),
    VELTO_TEXT("vstats_file", VideoStatsFileName),
    VELTO_CALL("vhook", OptFrameHook(v)),
    VELTO_TEXT("vfilters", VideoFilters),
    {"rotate",
     [](TCustomFFmpeg& t, const std::string&, const std::string& v) {
         const int degrees = ((StrToInt(v) % 360) + 360) % 360;
         t.Settings.Rotation = degrees % 90 == 0 ? degrees : 0;
     }},
    VELTO_CALL("intra_matrix", OptMatrix(t.Settings.IntraMatrix, v)),
    VELTO_CALL("inter_matrix", OptMatrix(t.Settings.InterMatrix, v)),
    VELTO_INT("top", TopFieldFirst),
    VELTO_INT("dc", IntraDcPrecision),
    VELTO_CALL("vtag", OptCodecTag(AVMEDIA_TYPE_VIDEO, v)),
    VELTO_CALL("newvideo", OptNewStream(AVMEDIA_TYPE_VIDEO)),
    VELTO_SWITCH("qphist", QpHistogram),
    VELTO_INT("vglobal", VideoGlobalHeader),
    VELTO_INT("vc", VideoChannel),
    VELTO_TEXT("tvstd", VideoStandard),
    VELTO_CALL("vbsf", OptBitstreamFilter(n, v)),

    // Audio options.
    VELTO_CALL("ab", OptBitRate(n, v)),
    VELTO_FLOAT("aq", AudioQScale),
    {"ar",
     [](TCustomFFmpeg& t, const std::string&, const std::string& v) {
         const int rate = StrToInt(v);
         if (rate > 0)
             t.Settings.AudioSampleRate = rate;
     }},
    {"ac",
     [](TCustomFFmpeg& t, const std::string&, const std::string& v) {
         const int channels = StrToInt(v);
         if (channels > 0)
             t.Settings.AudioChannels = channels;
     }},
    VELTO_SWITCH("an", AudioDisable),
    VELTO_CALL("acodec", OptCodec(AVMEDIA_TYPE_AUDIO, v)),
    VELTO_CALL("atag", OptCodecTag(AVMEDIA_TYPE_AUDIO, v)),
    VELTO_INT("vol", AudioVolume),
    VELTO_CALL("newaudio", OptNewStream(AVMEDIA_TYPE_AUDIO)),
    // Language codes are always assigned: the output record clears a language with "".
    {"alang",
     [](TCustomFFmpeg& t, const std::string&, const std::string& v) {
         t.Settings.AudioLanguage = v;
     }},
    VELTO_CALL("sample_fmt", OptSampleFormat(v)),
    VELTO_CALL("absf", OptBitstreamFilter(n, v)),

    // Subtitle options.
    VELTO_SWITCH("sn", SubtitleDisable),
    VELTO_CALL("scodec", OptCodec(AVMEDIA_TYPE_SUBTITLE, v)),
    VELTO_CALL("newsubtitle", OptNewStream(AVMEDIA_TYPE_SUBTITLE)),
    {"slang",
     [](TCustomFFmpeg& t, const std::string&, const std::string& v) {
         t.Settings.SubtitleLanguage = v;
     }},
    VELTO_CALL("sbsf", OptBitstreamFilter(n, v)),
};

#undef VELTO_INT
#undef VELTO_FLOAT
#undef VELTO_SWITCH
#undef VELTO_TEXT
#undef VELTO_CALL

void TCustomFFmpeg::SetOption(const std::string& name, const std::string& value) {
    for (const TOptionRow& row : OptionTable) {
        if (name == row.Name) {
            row.Handler(*this, name, value);
            return;
        }
    }
    SetGenericOption(name, value);
}

} // namespace velto
