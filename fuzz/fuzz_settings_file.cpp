// The settings file reader on any file content: reading never fails, and a value written and
// saved reads back while every other value stays as it was.
#include "FuzzSupport.h"
#include "IniFile.h"

#include <string>

using namespace velto;

namespace {

struct Probe {
    const char* section;
    const char* key;
};
// Keys the program reads, plus odd spellings.
const Probe kProbes[] = {{"Options", "FormatNum"},
                         {"options", "OUTPUTFORMAT"},
                         {"Options", "RecentOutputFolder"},
                         {"VideoFormat0", "Title"},
                         {"VideoFormat0", "FileType"},
                         {"VideoFormat-1", "Channels"},
                         {"", ""},
                         {"Options", "ShunDownWhenDone"}};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::WorkFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteInput("settings.ini", data, size);
    TIniFile ini(path);
    std::string before[std::size(kProbes)];
    for (std::size_t i = 0; i < std::size(kProbes); ++i) {
        before[i] = ini.ReadString(kProbes[i].section, kProbes[i].key, "<none>");
        ini.ReadInteger(kProbes[i].section, kProbes[i].key, -7);
        ini.ReadBool(kProbes[i].section, kProbes[i].key, true);
    }
    if (!ini.Loaded())
        return 0;
    if (!ini.WriteString("VideoFormat3", "FrameSize", "320 x 240") || !ini.UpdateFile())
        fuzz::Fail("a plain value could not be written: " + ini.LastError());

    TIniFile again(path);
    if (again.ReadString("videoformat3", "framesize", "") != "320 x 240")
        fuzz::Fail("the written value does not read back");
    for (std::size_t i = 0; i < std::size(kProbes); ++i) {
        const std::string after = again.ReadString(kProbes[i].section, kProbes[i].key, "<none>");
        if (after != before[i])
            fuzz::Fail(std::string("writing one key changed ") + kProbes[i].section + "/" +
                       kProbes[i].key + " from '" + before[i] + "' to '" + after + "'");
    }
    return 0;
}
