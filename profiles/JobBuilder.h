// Turns a profile selection, what the probe found in a source and where outputs go into a job's
// option records and output name. The window's output-format dialog and the command line both
// build their jobs here, so the same source and profile make the same file whichever is used.
// Plain C++, no widgets.
#pragma once

#include "JobRecords.h"
#include "OutputProfile.h"
#include "ProfileMapping.h"
#include "ValueLists.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velto {

class TCustomAVProbe;

// One sound or subtitle track of a source, as the output-format dialog lists it.
struct TSourceTrack {
    int StreamIndex = -1; // in the source file; -1 for a subtitle file beside it
    std::string Language; // ISO 639 code as tagged; empty when untagged
    std::string Codec;    // the decoder's name: "aac", "subrip", "hdmv_pgs_subtitle"
    int Channels = 0;     // sound only
    bool Default = false; // the source flags it as the one to play
    bool Text = false;    // subtitles held as text rather than pictures
    std::string FileName; // the subtitle file beside the source; empty for the source's own
    bool operator==(const TSourceTrack&) const = default;
};

// What a job keeps of its source's probe: enough to build its records and to be shown.
struct TSourceSummary {
    std::string FileName;
    // The format the source was probed with: empty, as sources are probed without one.
    std::string FormatName;
    std::int64_t DurationUs = 0; // 0: unknown
    std::int64_t Size = 0;
    int VideoStreams = 0;
    int AudioStreams = 0;
    TSourcePicture Picture; // as stored, before any turn
    // The clockwise turn players give the picture (0, 90, 180, 270), from its display matrix.
    int Rotation = 0;
    std::vector<TSourceTrack> AudioTracks;
    // The source's own subtitles; when it has none, the subtitle files beside it
    // ("film.srt", "film.eng.srt"), the one without a language first.
    std::vector<TSourceTrack> SubtitleTracks;
};

// How a job turns its picture: as the source's display matrix says, not at all, or a fixed
// clockwise turn for a clip whose flag is wrong.
enum class TRotationChoice { Auto = -1, None = 0, Cw90 = 90, Cw180 = 180, Cw270 = 270 };
// "auto", "none", "0", "90", "180", "270"; false for anything else.
bool ParseRotationChoice(const std::string& text, TRotationChoice& choice);
// The clockwise degrees a job with this choice turns this source by.
int RotationFor(TRotationChoice choice, const TSourceSummary& source);

// The summary of the file the probe has open, with the subtitle files found beside it.
TSourceSummary SummarizeSource(const TCustomAVProbe& probe);

// Subtitle files beside a source named like it: "film.srt", "film.eng.srt", ".ass", ".ssa",
// ".vtt"; the plain name first, the others by name.
std::vector<TSourceTrack> FindSubtitleFiles(const std::string& sourceFile);

// Whether two ISO 639 codes name one language ("en", "eng"; "fre", "fra"), ignoring case.
bool SameLanguage(const std::string& a, const std::string& b);

// The sound track a job converts, as its index in AudioTracks (-1: the source has none): the
// stream the user picked when the source has it, else the first in the preferred language,
// else the one flagged default, else the first.
int ChooseAudioTrack(const TSourceSummary& source, const std::string& language,
                     int pickedStream = -1);

enum class TSubtitleMode {
    Auto, // kept as a stream where the container holds text subtitles, else left out
    None, // always left out
    Burn, // drawn into the picture
};

// The subtitle track a job uses, as its index in SubtitleTracks, or -1: text tracks only (and
// bitmap ones too when `bitmaps`, for burning in), the one flagged default first, else the first
// in the preferred language, else the first.
int ChooseSubtitleTrack(const TSourceSummary& source, const std::string& language,
                        bool bitmaps = false);

// The text subtitle encoder of an output file by its extension: mov_text for MP4, M4V and MOV,
// WebVTT for WebM; empty for containers without text subtitles.
std::string TextSubtitleCodecFor(const std::string& outputFile);

class TJobBuilder {
public:
    TJobBuilder(TOutputProfile profile, TProfileSelection selection, TOutputPlacement placement);

    // Codec threads for every job (the engine's "threads" option); -1 leaves the engine's choice.
    void SetCodecThreads(int threads) { FCodecThreads = threads; }
    // A stopped or short run leaves its output under the output name (when nothing is there);
    // off, only a finished and verified run leaves a file. The engine alone acts on it.
    void SetKeepUnfinished(bool keep) { FKeepUnfinished = keep; }
    // ISO 639 code of the sound and subtitle language to prefer; empty: none.
    void SetPreferredLanguage(std::string code) { FLanguage = std::move(code); }
    void SetSubtitleMode(TSubtitleMode mode) { FSubtitleMode = mode; }
    // The source stream of the sound track to convert for the next jobs; -1: chosen by rule.
    void SetAudioStream(int stream) { FAudioStream = stream; }
    void SetRotation(TRotationChoice rotation) { FRotation = rotation; }
    // The output takes the source's modification time.
    void SetKeepFileDates(bool keep) { FKeepFileDates = keep; }
    // Every output must come to at most this many bytes; 0: no limit.
    void SetSizeLimit(std::int64_t bytes) { FSizeLimit = bytes; }
    std::int64_t SizeLimit() const { return FSizeLimit; }

    // The records for one source. Its output name is then taken, together with the source, so a
    // later job of the same builder never writes over either.
    TJobRecords Build(const TSourceSummary& source);

    const TOutputPlacement& Placement() const { return FPlacement; }
    // What the last Build changed from the profile because this build of the libraries lacks
    // something (a line each, for the log).
    const std::vector<std::string>& Notes() const { return FNotes; }
    // Why the last Build's job cannot be added as asked (a size limit it cannot keep), with the
    // figures; empty when it can.
    const std::string& Refusal() const { return FRefusal; }

private:
    TOutputProfile FProfile;
    TProfileSelection FSelection;
    TOutputPlacement FPlacement;
    int FCodecThreads = -1;
    bool FKeepUnfinished = true;
    std::string FLanguage;
    TSubtitleMode FSubtitleMode = TSubtitleMode::Auto;
    int FAudioStream = -1;

    void ChooseTracks(const TSourceSummary& source, TOutputOptions& output) const;
    TRotationChoice FRotation = TRotationChoice::Auto;
    bool FKeepFileDates = false;
    std::vector<std::string> FNotes;
    std::int64_t FSizeLimit = 0;
    std::string FRefusal;
};

} // namespace velto
