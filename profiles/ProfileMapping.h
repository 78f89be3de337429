// Turns the selected output profile and the values its lists show into the engine's option
// records for one job. Plain functions over plain data; the output-format dialog calls them on OK.
#pragma once

#include "OutputProfile.h"
#include "TaskOptions.h"
#include "ValueLists.h"

#include <string>
#include <vector>

namespace velto {

class TCustomAVProbe;

// Encoder names for the profile's codec codes (compared in lower case); empty for an unknown
// code. The names are the old generation's ("libfaac", "libamr_nb"): the engine maps them onto
// this build's encoders and reports a missing one under the name given here.
std::string VideoCodecFor(const std::string& code);
std::string AudioCodecFor(const std::string& code);

// Codecs, rates, sizes, file-type rules and disc target; FileName stays empty. FileType holds
// the extension the output name will end in ("_psp.mp4", "_dvd_auto.mpg", ".avi", ...).
TOutputOptions MapProfile(const TOutputProfile& profile, const TProfileSelection& selection);

// Where the output goes and what may not be overwritten.
struct TOutputPlacement {
    std::string FolderText = "Auto"; // "Auto": beside the source; else a folder
    bool Overwrite = false;          // existing files on disk may be replaced
    // Sources and outputs of the jobs already in the list: never chosen as this output.
    std::vector<std::string> TakenPaths;
};

// MapProfile plus the output file name for sourceFile (the probe's GetFileName).
TOutputOptions BuildOutputOptions(const TOutputProfile& profile, const TProfileSelection& selection,
                                  const std::string& sourceFile, const TOutputPlacement& placement);

// A fresh input record naming the probed file and the format it was probed with (none).
TInputOptions BuildInputOptions(const TCustomAVProbe& probe);

} // namespace velto
