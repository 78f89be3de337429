// The catalogue as the command line sees it: the user's settings file (the window's), the profile
// chosen by index or title, the user's value overrides checked against the window's lists, and
// the job records built by the window's mapping and naming.
#pragma once

#include "CliArguments.h"
#include "JobBuilder.h"
#include "ProfileCatalogue.h"
#include "ProfileMapping.h"

#include <string>
#include <vector>

namespace velto::cli {

struct TCliPaths {
    std::string LibrariesFolder; // empty: the system's library path
    std::string SettingsFile;    // the user's copy
    std::string FactoryProfiles; // VideoFormat.dat
    std::string SettingsError;   // why the user's copy could not be made
};

// The places for the program in programFolder, as the window finds them.
TCliPaths PathsForProgram(const std::string& programFolder);

// The profile of -p: a whole number is an index into the list, anything else a title (exact,
// then ignoring ASCII case). -1 when nothing matches.
int FindProfile(const std::vector<std::string>& titles, const std::string& choice);

// Applies -s, -r, --vb, --ab, --ar and --ac to the selection. Each value must be an entry of the
// window's list; false with the reason otherwise.
bool ApplyOverrides(const TCliArguments& args, TProfileSelection& selection, std::string& error);

// Where outputs go: -o when given, else the output choice of the settings file.
TOutputPlacement PlacementFor(const TCliArguments& args, const std::string& settingsFile);

// The builder for the jobs of one convert command: the window's, placed by PlacementFor, with
// --threads, and leaving nothing under the output name of a job that did not finish.
TJobBuilder JobBuilderFor(const TCliArguments& args, const std::string& settingsFile,
                          const TOutputProfile& profile, const TProfileSelection& selection);

// The entries of a value list, joined by ", " (for error messages).
std::string ListEntries(TValueList list);

} // namespace velto::cli
