// Turns the selected output profile and the values its lists show into the engine's option
// records for one job. Plain functions over plain data; the output-format dialog calls them on OK.
#pragma once

#include "OutputFileName.h"
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

// This build of the libraries has the AMR-NB encoder the feature-phone 3GP profile wants.
bool HasAmrEncoder();

// Codecs, rates, sizes, file-type rules and disc target; FileName stays empty. FileType holds
// the extension the output name will end in ("_psp.mp4", "_dvd_auto.mpg", ".avi", ...).
TOutputOptions MapProfile(const TOutputProfile& profile, const TProfileSelection& selection);

// The source's picture as the probe describes it; Width 0 when it has no video.
struct TSourcePicture {
    int Width = 0;
    int Height = 0;
    double DisplayAspect = 0.0; // width / height as shown; 0: square pixels
    double FrameRate = 0.0;     // pictures a second; 0: unknown
};
TSourcePicture SourcePictureOf(const TCustomAVProbe& probe);

// Where the picture goes in an output frame of square pixels.
struct TPictureFit {
    int Width = 0; // the scaled picture
    int Height = 0;
    int PadTop = 0;
    int PadBottom = 0;
    int PadLeft = 0;
    int PadRight = 0;
};
// The picture at its shown proportions inside frameWidth x frameHeight, sizes even: padded to the
// whole frame, or (followSource) the frame takes the picture's shape, never larger than the
// source is shown, the bound turned for an upright picture.
TPictureFit FitPicture(int frameWidth, int frameHeight, const TSourcePicture& source,
                       bool followSource);

// The lowest H.264 level (times ten) that takes this frame size at this rate: 30 up to 52.
int H264LevelFor(int width, int height, double frameRate);

// Where the output goes and what may not be overwritten.
struct TOutputPlacement {
    std::string FolderText = "Auto"; // "Auto": beside the source; else a folder
    bool Overwrite = false;          // existing files on disk may be replaced
    // Sources and outputs of the jobs already in the list: never chosen as this output.
    TTakenPaths TakenPaths;
};

// MapProfile plus the output file name for sourceFile (the probe's GetFileName). With the
// proportions kept and a source picture known, the frame size, pads and aspect follow from it.
TOutputOptions BuildOutputOptions(const TOutputProfile& profile, const TProfileSelection& selection,
                                  const std::string& sourceFile, const TOutputPlacement& placement,
                                  const TSourcePicture& source = {});

// A fresh input record naming the probed file and the format it was probed with (none).
TInputOptions BuildInputOptions(const TCustomAVProbe& probe);

} // namespace velto
