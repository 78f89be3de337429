// Turning the application's option records into options of a task.
#include "TaskOptions.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "MyUtils.h"

namespace velto {

namespace {

// Whole milliseconds of a hook-range part, or -1 when it is not an integer.
std::int64_t RangeMilliseconds(const std::string& text) {
    try {
        return StrToInt64(text);
    } catch (const EConvertError&) {
        return -1;
    }
}

// Standard (not daylight-saving) bias of the local time zone in minutes: UTC = local + bias.
int StandardBiasMinutes() {
    tzset();
    return static_cast<int>(timezone / 60);
}

// The current local time as days since 1899-12-30.
double LocalNowDays() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return (static_cast<double>(now) + static_cast<double>(local.tm_gmtoff)) / 86400.0 + 25569.0;
}

void SetGenericNumber(TFFmpeg& task, const char* name, std::int32_t value) {
    if (value > 0)
        task.SetGenericOption(name, std::to_string(value));
}

void SetText(TFFmpeg& task, const char* name, const std::string& value) {
    if (!value.empty())
        task.SetOption(name, value);
}

} // namespace

std::vector<THookRange> ParseHookRanges(const std::string& text) {
    std::vector<THookRange> ranges;
    std::string rest = Trim(text);
    while (!rest.empty()) {
        std::string item;
        SplitAt(rest, ",", true, item);
        item = Trim(item);
        std::string start;
        SplitAt(item, "-", true, start);
        const std::int64_t from = RangeMilliseconds(Trim(start));
        const std::int64_t to = RangeMilliseconds(item);
        // Kept in range so that the conversion to microseconds cannot overflow.
        constexpr std::int64_t kLimit = INT64_MAX / 1000;
        if (from <= to && to >= 0 && from >= -kLimit && to <= kLimit)
            ranges.push_back({from * 1000, to * 1000});
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const THookRange& a, const THookRange& b) { return a.End < b.End; });
    return ranges;
}

std::int64_t DateTimeToUnixSeconds(double localDays, int biasMinutes) {
    return std::llround((localDays - 25569.0 + biasMinutes / 1440.0) * 86400.0);
}

void ApplyInputRecord(TFFmpeg& task, const std::string& fileName, TInputOptions& record) {
    if (record.FileName.empty())
        record.FileName = fileName;
    task.InputOptions = record;
    task.ApplyOptionText(record.ExtOptions);
    task.SetInputFormat(record.FileFormat);
    if (record.StartTime > 0)
        task.SetStartTime(static_cast<std::int64_t>(record.StartTime) * 1000);
    task.SetProgramId(record.ProgramID);
}

namespace {

void ApplyAudioFields(TFFmpeg& task, const TOutputOptions& r) {
    SetText(task, "acodec", r.AudioCodec);
    if (r.DisableAudio)
        task.SetOption("an", "");
    task.SetAudioVolume(r.Volume);
    if (r.AudioChannels > 0)
        task.SetOption("ac", std::to_string(r.AudioChannels));
    if (r.AudioSampleRate > 0)
        task.SetOption("ar", std::to_string(r.AudioSampleRate));
    SetGenericNumber(task, "ab", r.AudioBitRate);
    SetGenericNumber(task, "abt", r.AudioBitRateTolerance);
    if (r.AudioStream >= 0)
        task.Settings.AudioSource = {0, r.AudioStream};
    task.SetOption("alang", r.AudioLanguage);
    task.SetAudioSyncMethod(r.AudioSync);
    SetText(task, "atag", r.AudioTag);
}

// The video rates the job asks for; for a size limit, applied again after a disc's target.
void ApplyVideoRates(TFFmpeg& task, const TOutputOptions& r) {
    SetGenericNumber(task, "vb", r.VideoBitRate);
    SetGenericNumber(task, "maxrate", r.MaxRate);
    SetGenericNumber(task, "minrate", r.MinRate);
    SetGenericNumber(task, "bt", r.VideoBitRateTolerance);
    SetGenericNumber(task, "bufsize", r.BufSize);
}

void ApplyVideoFields(TFFmpeg& task, const TOutputOptions& r) {
    SetText(task, "vcodec", r.VideoCodec);
    if (r.DisableVideo)
        task.SetOption("vn", "");
    SetText(task, "r", r.FrameRate);
    SetText(task, "s", r.FrameSize);
    SetText(task, "aspect", r.AspectRatio);
    task.SetCrop(fsTop, r.CropTop);
    task.SetCrop(fsBottom, r.CropBottom);
    task.SetCrop(fsLeft, r.CropLeft);
    task.SetCrop(fsRight, r.CropRight);
    task.SetPad(fsTop, r.PadTop);
    task.SetPad(fsBottom, r.PadBottom);
    task.SetPad(fsLeft, r.PadLeft);
    task.SetPad(fsRight, r.PadRight);
    // There are no system colour indexes here; only the RGB bits count.
    task.SetPadColor(r.PadColor & 0xFFFFFF);
    SetGenericNumber(task, "gop", r.GopSize);
    ApplyVideoRates(task, r);
    task.SetVideoSyncMethod(r.VideoSync);
    SetText(task, "vtag", r.VideoTag);
    SetText(task, "vfilters", r.VideoFilters);
}

// Which subtitles the output gets: a stream of the source or the file beside it, kept as a
// stream or drawn into the picture.
void ApplySubtitleFields(TFFmpeg& task, const TOutputOptions& r) {
    if (r.BurnSubtitle) {
        task.BurnSubtitlesFrom(r.SubtitleFile, r.SubtitleStream);
        if (!task.BurnsBitmapSubtitles() && !task.CanBurnSubtitles())
            throw FFMpegException("Subtitles cannot be burned in: this build's libavfilter has "
                                  "no 'subtitles' filter (libass)");
        task.SetOption("sn", "");
        return;
    }
    if (r.DisableSubtitle) {
        task.SetOption("sn", "");
        return;
    }
    if (!r.SubtitleFile.empty()) {
        // A cue file that cannot be read costs the subtitles, not the film.
        try {
            task.OpenSubtitleFile(r.SubtitleFile);
        } catch (const std::exception& error) {
            task.Log(0, std::string("Subtitles left out: ") + error.what());
            task.SetOption("sn", "");
            return;
        }
    } else if (r.SubtitleStream >= 0) {
        task.Settings.SubtitleSource = {0, r.SubtitleStream};
    }
    SetText(task, "scodec", r.SubtitleCodec);
}

// Subtitles, timing and the metadata texts.
void ApplyFileFields(TFFmpeg& task, const TOutputOptions& r) {
    ApplySubtitleFields(task, r);
    task.SetOption("slang", r.SubtitleLanguage);
    task.Settings.CopyTimestamps = r.CopyTimestamps ? 1 : 0;
    task.SetRecordingTime(r.RecordingTime);
    if (r.Timestamp >= 0.0 && std::isfinite(r.Timestamp)) {
        const double days = r.Timestamp == 0.0 ? LocalNowDays() : r.Timestamp;
        task.Settings.RecordingTimestamp = DateTimeToUnixSeconds(days, StandardBiasMinutes());
    }
    task.SetYear(r.Year);
    task.SetTrack(r.Track);
    SetText(task, "title", r.Title);
    SetText(task, "author", r.Author);
    SetText(task, "copyright", r.Rights);
    SetText(task, "comment", r.Comment);
    SetText(task, "album", r.Album);
    SetText(task, "genre", r.Genre);

    static const char* const kTargets[] = {nullptr, "vcd", "svcd", "dvd"};
    if (r.Target >= 1 && r.Target <= 3) {
        const char* norm = r.TargetNorm == 1 ? "pal" : r.TargetNorm == 2 ? "ntsc" : "auto";
        task.SetTarget(kTargets[r.Target], norm, r.TargetFallbackNorm == 1 ? "pal" : "ntsc");
        // A disc holds its own rates over the list's, but a size limit's are what the limit was
        // worked out from (the sound's included). A VCD's rate is fixed by its standard.
        if (r.Target != 1 && task.Settings.FitSize > 0) {
            ApplyVideoRates(task, r);
            SetGenericNumber(task, "ab", r.AudioBitRate);
        }
    }
}

void ApplyHookFields(TFFmpeg& task, const TOutputOptions& r, const TCustomHookHandler& customHook,
                     const TBeforeHookHandler& beforeHook) {
    if (r.CustomHook && customHook) {
        task.CustomHookHandler = customHook;
        task.CustomHookAssigned = true;
        task.CustomHookSink = [](TCustomFFmpeg* self, TBitmap& bitmap, int frameNumber,
                                 std::int64_t pts, bool& update, bool& stopHook) {
            auto* owner = static_cast<TFFmpeg*>(self);
            owner->CustomHookHandler(owner, bitmap, frameNumber, pts, update, stopHook);
        };
    } else if (r.BeforeHook && beforeHook) {
        task.BeforeHookHandler = beforeHook;
        task.BeforeHookSink = [](TCustomFFmpeg* self, std::int64_t pts, THookAction& action) {
            auto* owner = static_cast<TFFmpeg*>(self);
            owner->BeforeHookHandler(owner, pts, action);
        };
    } else if (!r.CustomHook && !r.BeforeHook) {
        task.HookRanges = ParseHookRanges(r.HookRanges);
    }
}

// The source's streams against what the output needs of them: an output of one kind from a
// source without it would hold no stream at all; one of subtitles or data alone, nothing to
// watch or hear.
void CheckSourceFeedsOutput(TFFmpeg& task, const TOutputOptions& record) {
    bool video = false, audio = false, subtitle = false;
    task.CheckInputStreamKinds(video, audio, subtitle);
    const char* source = task.InputOptions.FileName.c_str();
    if (record.NeedsVideoAndAudio && (!video || !audio))
        throw FFMpegException(StringPrintf("This output profile needs a source with both video "
                                           "and audio; '%s' has no %s stream",
                                           source, video ? "audio" : "video"));
    if (!video && !audio && !task.InputFiles.empty())
        throw FFMpegException(
            StringPrintf("'%s' holds neither a picture nor sound to convert", source));
    if (record.DisableVideo && !record.DisableAudio && !audio)
        throw FFMpegException(StringPrintf(
            "This output profile makes a sound file, and '%s' has no sound to put in it", source));
    if (record.DisableAudio && !record.DisableVideo && !video)
        throw FFMpegException(StringPrintf("This output profile makes a picture-only file, and "
                                           "'%s' has no picture to put in it",
                                           source));
}

} // namespace

void ApplyOutputRecord(TFFmpeg& task, const std::string& fileName, TOutputOptions& record,
                       const TCustomHookHandler& customHook, const TBeforeHookHandler& beforeHook) {
    if (record.FileName.empty())
        record.FileName = fileName;
    CheckSourceFeedsOutput(task, record);
    task.OutputOptions = record;
    const TOutputOptions& r = record;
    task.KeepUnfinishedOutput = r.KeepUnfinished;
    // The free text first, so that every typed field that is given wins over it.
    task.ApplyOptionText(r.ExtOptions);

    task.SetOutputFormat(r.FileFormat);
    SetGenericNumber(task, "packetsize", r.PacketSize);
    SetGenericNumber(task, "muxrate", r.MuxRate);
    task.SetMuxMaxDelay(r.MuxDelay);
    task.SetMuxPreload(r.MuxPreload);
    ApplyAudioFields(task, r);
    ApplyVideoFields(task, r);
    ApplyFileFields(task, r);
    ApplyHookFields(task, r, customHook, beforeHook);
}

} // namespace velto
