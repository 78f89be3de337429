// Binds all media libraries from one folder, or none of them. Main thread only, before tasks run.
#pragma once

#include <string>

namespace velto {

// Loads codec, filter, container, utility, scaling, resampling and helper, in that order. Returns
// at once after a first success; any failure unloads everything and leaves LibraryError() set.
bool LoadLibraries(const std::string& folder, bool versionedNames);
void UnloadLibraries();
bool LibrariesLoaded();
const std::string& LibraryError();

} // namespace velto
