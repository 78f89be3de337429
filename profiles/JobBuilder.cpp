#include "JobBuilder.h"

#include "AVCodecHlpr.h"
#include "AVProbe.h"
#include "AVUtilHlpr.h"
#include "SizeForecast.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>

namespace velto {

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TSourceTrack TrackOf(const AVStream* stream) {
    TSourceTrack track;
    track.StreamIndex = stream->index;
    if (const AVDictionaryEntry* language =
            AVUtilHlpr::av_dict_get(stream->metadata, "language", nullptr, 0))
        track.Language = language->value;
    if (track.Language == "und")
        track.Language.clear();
    const AVCodecParameters* parameters = stream->codecpar;
    if (const AVCodecDescriptor* codec =
            AVCodecHlpr::avcodec_descriptor_get(parameters->codec_id)) {
        track.Codec = codec->name;
        track.Text = (codec->props & AV_CODEC_PROP_TEXT_SUB) != 0;
    }
    track.Channels = parameters->ch_layout.nb_channels;
    track.Default = (stream->disposition & AV_DISPOSITION_DEFAULT) != 0;
    return track;
}

// Subtitle file extensions and the decoder each is read with.
struct TCueFileKind {
    const char* Extension;
    const char* Codec;
};
constexpr TCueFileKind kCueFileKinds[] = {
    {".srt", "subrip"}, {".ass", "ass"}, {".ssa", "ssa"}, {".vtt", "webvtt"}};

// ISO 639-1 codes and their 639-2 forms (bibliographic first where the two differ), for the
// languages films are most often dubbed or subtitled in.
constexpr const char* kLanguages[][3] = {
    {"en", "eng", ""},    {"fr", "fre", "fra"}, {"de", "ger", "deu"}, {"es", "spa", ""},
    {"it", "ita", ""},    {"pt", "por", ""},    {"ja", "jpn", ""},    {"zh", "chi", "zho"},
    {"ko", "kor", ""},    {"ru", "rus", ""},    {"ar", "ara", ""},    {"hi", "hin", ""},
    {"nl", "dut", "nld"}, {"sv", "swe", ""},    {"no", "nor", ""},    {"da", "dan", ""},
    {"fi", "fin", ""},    {"pl", "pol", ""},    {"cs", "cze", "ces"}, {"el", "gre", "ell"},
    {"tr", "tur", ""},    {"he", "heb", ""},    {"th", "tha", ""},    {"vi", "vie", ""},
    {"hu", "hun", ""},    {"ro", "rum", "ron"}, {"uk", "ukr", ""},    {"id", "ind", ""},
    {"fa", "per", "fas"}, {"ms", "may", "msa"}, {"sk", "slo", "slk"}, {"is", "ice", "isl"},
};

// One spelling per language: the 639-1 code when the table knows it.
std::string CanonicalLanguage(const std::string& code) {
    const std::string lower = Lower(code);
    for (const auto& names : kLanguages)
        for (const char* name : names)
            if (*name && lower == name)
                return names[0];
    return lower;
}

bool LooksLikeLanguage(const std::string& text) {
    return (text.size() == 2 || text.size() == 3) &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
}

} // namespace

bool SameLanguage(const std::string& a, const std::string& b) {
    return !a.empty() && !b.empty() && CanonicalLanguage(a) == CanonicalLanguage(b);
}

namespace {

const TCueFileKind* CueFileKind(const std::filesystem::path& file) {
    const std::string extension = Lower(file.extension().string());
    const auto kind = std::find_if(std::begin(kCueFileKinds), std::end(kCueFileKinds),
                                   [&](const TCueFileKind& k) { return extension == k.Extension; });
    return kind == std::end(kCueFileKinds) ? nullptr : kind;
}

// The cue files of a folder, read from the disk again only once the folder has changed: a
// folder of thousands of films was read through once for each of them (10^8 entries at 10,000).
// Any thread: the window probes on several.
std::vector<std::filesystem::path> CueFilesIn(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    struct TListing {
        fs::file_time_type Changed;
        std::vector<fs::path> Files;
    };
    static std::mutex lock;
    static std::map<fs::path, TListing> listings;
    std::error_code error;
    const fs::file_time_type changed = fs::last_write_time(folder, error);
    if (error)
        return {};
    // A folder's time moves in steps of a clock tick: one changed within the last seconds may
    // change again without its time moving, so it is read afresh each time.
    const bool settled = fs::file_time_type::clock::now() - changed > std::chrono::seconds(2);
    std::lock_guard guard(lock);
    if (const auto known = listings.find(folder);
        settled && known != listings.end() && known->second.Changed == changed)
        return known->second.Files;
    TListing listing{changed, {}};
    for (fs::directory_iterator entries(folder, error), end; !error && entries != end;
         entries.increment(error)) {
        std::error_code kindError;
        if (CueFileKind(entries->path()) && entries->is_regular_file(kindError))
            listing.Files.push_back(entries->path());
    }
    // The folders of one batch are few; a long session's are not kept for ever.
    if (listings.size() >= 64)
        listings.clear();
    if (settled)
        listings[folder] = listing;
    return listing.Files;
}

} // namespace

std::vector<TSourceTrack> FindSubtitleFiles(const std::string& sourceFile) {
    namespace fs = std::filesystem;
    std::vector<TSourceTrack> found;
    const fs::path source(sourceFile);
    const std::string stem = source.stem().string();
    if (stem.empty())
        return found;
    for (const fs::path& file :
         CueFilesIn(source.parent_path().empty() ? fs::path(".") : source.parent_path())) {
        const std::string name = file.filename().string();
        const std::string extension = file.extension().string();
        const TCueFileKind* kind = CueFileKind(file);
        if (!kind || name.size() < stem.size() + extension.size() ||
            name.compare(0, stem.size(), stem) != 0 || name[stem.size()] != '.')
            continue;
        // "film.srt" has nothing between; "film.eng.srt" its language.
        const std::string middle =
            name.size() == stem.size() + extension.size()
                ? std::string()
                : name.substr(stem.size() + 1, name.size() - stem.size() - 1 - extension.size());
        TSourceTrack track;
        track.Codec = kind->Codec;
        track.Text = true;
        track.FileName = file.string();
        if (!middle.empty()) {
            const std::string last = middle.substr(middle.rfind('.') + 1);
            if (LooksLikeLanguage(last))
                track.Language = Lower(last);
            else
                continue; // "film.part2.srt" belongs to another film
        }
        found.push_back(track);
    }
    std::sort(found.begin(), found.end(), [](const TSourceTrack& a, const TSourceTrack& b) {
        if (a.Language.empty() != b.Language.empty())
            return a.Language.empty();
        return a.FileName < b.FileName;
    });
    return found;
}

TSourceSummary SummarizeSource(const TCustomAVProbe& probe) {
    TSourceSummary summary;
    summary.FileName = probe.GetFileName();
    summary.FormatName = probe.InputFormatName;
    TFormatInfo info{};
    probe.GetFormatInfo(info);
    if (info.Duration > 0)
        summary.DurationUs = info.Duration;
    summary.Size = probe.GetFileSize();
    summary.VideoStreams = std::max(0, probe.VideoStreamCount);
    summary.AudioStreams = std::max(0, probe.AudioStreamCount);
    summary.Picture = SourcePictureOf(probe);
    if (const AVFormatContext* context = probe.FormatContext();
        context && probe.FirstVideoStreamIndex >= 0 &&
        probe.FirstVideoStreamIndex < static_cast<int>(context->nb_streams))
        summary.Rotation = DisplayRotationOf(context->streams[probe.FirstVideoStreamIndex]);
    if (const AVFormatContext* context = probe.FormatContext()) {
        for (unsigned i = 0; i < context->nb_streams; ++i) {
            const AVStream* stream = context->streams[i];
            if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                summary.AudioTracks.push_back(TrackOf(stream));
            else if (stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE)
                summary.SubtitleTracks.push_back(TrackOf(stream));
        }
    }
    if (summary.SubtitleTracks.empty() && !summary.FileName.empty())
        summary.SubtitleTracks = FindSubtitleFiles(summary.FileName);
    return summary;
}

int ChooseAudioTrack(const TSourceSummary& source, const std::string& language, int pickedStream) {
    const std::vector<TSourceTrack>& tracks = source.AudioTracks;
    const auto index = [&](auto found) {
        return found == tracks.end() ? -1 : static_cast<int>(found - tracks.begin());
    };
    if (tracks.empty())
        return -1;
    if (pickedStream >= 0) {
        const int picked = index(std::find_if(tracks.begin(), tracks.end(), [&](const auto& t) {
            return t.StreamIndex == pickedStream;
        }));
        if (picked >= 0)
            return picked;
    }
    if (!language.empty()) {
        const int spoken = index(std::find_if(tracks.begin(), tracks.end(), [&](const auto& t) {
            return SameLanguage(t.Language, language);
        }));
        if (spoken >= 0)
            return spoken;
    }
    const int flagged =
        index(std::find_if(tracks.begin(), tracks.end(), [](const auto& t) { return t.Default; }));
    return flagged >= 0 ? flagged : 0;
}

int ChooseSubtitleTrack(const TSourceSummary& source, const std::string& language, bool bitmaps) {
    const std::vector<TSourceTrack>& tracks = source.SubtitleTracks;
    int first = -1, spoken = -1;
    for (int i = 0; i < static_cast<int>(tracks.size()); ++i) {
        if (!tracks[i].Text && !bitmaps)
            continue;
        if (tracks[i].Default)
            return i;
        if (first < 0)
            first = i;
        if (spoken < 0 && SameLanguage(tracks[i].Language, language))
            spoken = i;
    }
    return spoken >= 0 ? spoken : first;
}

std::string TextSubtitleCodecFor(const std::string& outputFile) {
    const std::string extension = Lower(std::filesystem::path(outputFile).extension().string());
    if (extension == ".mp4" || extension == ".m4v" || extension == ".mov")
        return "mov_text";
    if (extension == ".webm")
        return "webvtt";
    return {};
}

bool ParseRotationChoice(const std::string& text, TRotationChoice& choice) {
    static const std::pair<const char*, TRotationChoice> kChoices[] = {
        {"auto", TRotationChoice::Auto}, {"none", TRotationChoice::None},
        {"0", TRotationChoice::None},    {"90", TRotationChoice::Cw90},
        {"180", TRotationChoice::Cw180}, {"270", TRotationChoice::Cw270}};
    for (const auto& [name, value] : kChoices)
        if (text == name) {
            choice = value;
            return true;
        }
    return false;
}

int RotationFor(TRotationChoice choice, const TSourceSummary& source) {
    return choice == TRotationChoice::Auto ? source.Rotation : static_cast<int>(choice);
}

namespace {

// The picture as it will enter the scaler: a quarter turn swaps its sides and its shape.
TSourcePicture TurnedPicture(TSourcePicture picture, int rotation) {
    if (rotation != 90 && rotation != 270)
        return picture;
    std::swap(picture.Width, picture.Height);
    if (picture.DisplayAspect > 0.0)
        picture.DisplayAspect = 1.0 / picture.DisplayAspect;
    return picture;
}

} // namespace

TJobBuilder::TJobBuilder(TOutputProfile profile, TProfileSelection selection,
                         TOutputPlacement placement)
    : FProfile(std::move(profile)), FSelection(selection), FPlacement(std::move(placement)) {}

void TJobBuilder::ChooseTracks(const TSourceSummary& source, TOutputOptions& output) const {
    if (!output.DisableAudio) {
        const int audio = ChooseAudioTrack(source, FLanguage, FAudioStream);
        if (audio >= 0)
            output.AudioStream = source.AudioTracks[audio].StreamIndex;
    }
    const bool burn = FSubtitleMode == TSubtitleMode::Burn && !output.DisableVideo;
    // Containers take subtitles as text only; pictures can only be drawn into the film.
    const int subtitle =
        FSubtitleMode == TSubtitleMode::None ? -1 : ChooseSubtitleTrack(source, FLanguage, burn);
    // The PSP's MP4 variant takes no subtitle stream: its muxer refuses the header.
    const std::string codec =
        output.FileFormat == "psp" ? std::string() : TextSubtitleCodecFor(output.FileName);
    if (subtitle < 0 || (!burn && codec.empty())) {
        output.DisableSubtitle = true;
        return;
    }
    const TSourceTrack& track = source.SubtitleTracks[subtitle];
    output.SubtitleStream = track.StreamIndex;
    output.SubtitleFile = track.FileName;
    output.BurnSubtitle = burn;
    if (!burn) {
        output.SubtitleCodec = codec;
        // The source's streams keep their own tag; a file beside it says it in its name.
        if (!track.FileName.empty())
            output.SubtitleLanguage = track.Language;
    }
}

TJobRecords TJobBuilder::Build(const TSourceSummary& source) {
    TJobRecords job;
    job.Input.FileName = source.FileName;
    job.Input.FileFormat = source.FormatName;
    const int rotation = source.Picture.Width > 0 ? RotationFor(FRotation, source) : 0;
    const TSourcePicture picture = TurnedPicture(source.Picture, rotation);
    job.Output = BuildOutputOptions(FProfile, FSelection, source.FileName, FPlacement, picture);
    ChooseTracks(source, job.Output);
    if (rotation != 0 && !job.Output.DisableVideo) {
        // The engine turns the picture and leaves its size to the job: the source's own size
        // ("Auto") is the turned one.
        job.Output.ExtOptions += "rotate=" + std::to_string(rotation) + "\n";
        if (job.Output.FrameSize.empty() && job.Output.Target == 0)
            job.Output.FrameSize =
                std::to_string(picture.Width) + "x" + std::to_string(picture.Height);
    }
    job.Output.ExtOptions += "source_tags=1\n";
    FNotes.clear();
    if (FProfile.FileType == ".3gp" && job.Output.FrameSize == "176x144" &&
        job.Output.AudioCodec != "libamr_nb" && !job.Output.DisableAudio)
        FNotes.push_back("This build of libavcodec has no AMR-NB encoder (libopencore_amrnb, in "
                         "libavcodec-extra): the 3GP sound is AAC instead");
    if (FKeepFileDates)
        job.Output.ExtOptions += "keep_dates=1\n";
    if (FCodecThreads >= 0)
        job.Output.ExtOptions += (job.Output.ExtOptions.empty() ? "" : "\n") +
                                 std::string("threads=") + std::to_string(FCodecThreads);
    job.Output.KeepUnfinished = FKeepUnfinished;
    FRefusal = FSizeLimit > 0 ? FitIntoSize(job.Output, source, FSizeLimit) : std::string();
    job.Refusal = FRefusal;
    job.Notes = FNotes;
    FPlacement.TakenPaths.push_back(job.Input.FileName);
    if (!job.Output.FileName.empty())
        FPlacement.TakenPaths.push_back(job.Output.FileName);
    return job;
}

} // namespace velto
