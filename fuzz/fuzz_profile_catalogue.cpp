// The profile catalogue over any settings file and factory file (the input holds both, cut at
// kSeparator): loading, selecting every profile, restoring defaults, mapping onto the engine's
// option record and saving never crash, and a saved catalogue loads back with the same titles.
#include "FuzzSupport.h"
#include "ProfileCatalogue.h"
#include "ProfileMapping.h"

#include <algorithm>
#include <string>

using namespace velto;

namespace {
const std::string kSeparator = "\n#factory#\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::WorkFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = fuzz::Fields(data, size, kSeparator);
    const std::string& settingsText = fields[0];
    const std::string factoryText = fields.size() > 1 ? fields[1] : std::string();
    const std::string settings = fuzz::WriteInput(
        "Velto3GPConverter.ini", reinterpret_cast<const std::uint8_t*>(settingsText.data()),
        settingsText.size());
    const std::string factory = fuzz::WriteInput(
        "VideoFormat.dat", reinterpret_cast<const std::uint8_t*>(factoryText.data()),
        factoryText.size());

    TProfileCatalogue catalogue(settings, factory);
    catalogue.Load();
    const int count = static_cast<int>(catalogue.Titles().size());
    if (count > TProfileCatalogue::kMaxProfiles)
        fuzz::Fail("more profiles listed than the catalogue allows");
    for (int index = -1; index <= std::min(count, 40); ++index) {
        catalogue.Select(index);
        catalogue.RestoreVideoDefaults();
        catalogue.RestoreAudioDefaults();
        MapProfile(catalogue.Profile(), catalogue.Selection());
    }
    const std::vector<std::string> titles = catalogue.Titles();
    catalogue.Select(count - 1);
    TOutputChoice choice;
    choice.OutputFormat = count - 1;
    if (catalogue.Save(choice)) {
        TProfileCatalogue reloaded(settings, factory);
        reloaded.Load();
        if (reloaded.Titles() != titles)
            fuzz::Fail("saving the selected profile changed the list of titles");
    }
    return 0;
}
