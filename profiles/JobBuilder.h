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
};

// How a job turns its picture: as the source's display matrix says, not at all, or a fixed
// clockwise turn for a clip whose flag is wrong.
enum class TRotationChoice { Auto = -1, None = 0, Cw90 = 90, Cw180 = 180, Cw270 = 270 };
// "auto", "none", "0", "90", "180", "270"; false for anything else.
bool ParseRotationChoice(const std::string& text, TRotationChoice& choice);
// The clockwise degrees a job with this choice turns this source by.
int RotationFor(TRotationChoice choice, const TSourceSummary& source);

// The summary of the file the probe has open.
TSourceSummary SummarizeSource(const TCustomAVProbe& probe);

class TJobBuilder {
public:
    TJobBuilder(TOutputProfile profile, TProfileSelection selection, TOutputPlacement placement);

    // Codec threads for every job (the engine's "threads" option); -1 leaves the engine's choice.
    void SetCodecThreads(int threads) { FCodecThreads = threads; }
    // A stopped or short run leaves its output under the output name (when nothing is there);
    // off, only a finished and verified run leaves a file. The engine alone acts on it.
    void SetKeepUnfinished(bool keep) { FKeepUnfinished = keep; }
    void SetRotation(TRotationChoice rotation) { FRotation = rotation; }
    // The output takes the source's modification time.
    void SetKeepFileDates(bool keep) { FKeepFileDates = keep; }

    // The records for one source. Its output name is then taken, together with the source, so a
    // later job of the same builder never writes over either.
    TJobRecords Build(const TSourceSummary& source);

    const TOutputPlacement& Placement() const { return FPlacement; }
    // What the last Build changed from the profile because this build of the libraries lacks
    // something (a line each, for the log).
    const std::vector<std::string>& Notes() const { return FNotes; }

private:
    TOutputProfile FProfile;
    TProfileSelection FSelection;
    TOutputPlacement FPlacement;
    int FCodecThreads = -1;
    bool FKeepUnfinished = true;
    TRotationChoice FRotation = TRotationChoice::Auto;
    bool FKeepFileDates = false;
    std::vector<std::string> FNotes;
};

} // namespace velto
