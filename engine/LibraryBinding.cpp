#include "LibraryBinding.h"

#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LogBridge.h"
#include "MyUtilHlpr.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"

namespace velto {

namespace {
bool librariesLoaded = false;
std::string libraryError;
} // namespace

bool LoadLibraries(const std::string& folder, bool versionedNames) {
    if (librariesLoaded)
        return true;
    libraryError.clear();
    const bool ok = AVCodecHlpr::Load(libraryError, folder, versionedNames, true) &&
                    AVFilterHlpr::Load(libraryError, folder, versionedNames, true) &&
                    AVFormatHlpr::Load(libraryError, folder, versionedNames, true) &&
                    AVUtilHlpr::Load(libraryError, folder, versionedNames) &&
                    SwScaleHlpr::Load(libraryError, folder, versionedNames) &&
                    SwResampleHlpr::Load(libraryError, folder, versionedNames) &&
                    MyUtilHlpr::Load(libraryError, folder, versionedNames);
    if (ok) {
        librariesLoaded = true;
        SetLogThreshold(LibraryLevelFromAV(AVUtilHlpr::av_log_get_level()));
    } else {
        UnloadLibraries();
    }
    return librariesLoaded;
}

void UnloadLibraries() {
    librariesLoaded = false;
    AVCodecHlpr::Unload();
    AVFilterHlpr::Unload();
    AVFormatHlpr::Unload();
    AVUtilHlpr::Unload();
    SwScaleHlpr::Unload();
    SwResampleHlpr::Unload();
    MyUtilHlpr::Unload();
}

bool LibrariesLoaded() {
    return librariesLoaded;
}

const std::string& LibraryError() {
    return libraryError;
}

} // namespace velto
