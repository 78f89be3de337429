// The media probe on arbitrary bytes: loading fails with a text or succeeds, and every question
// about the container and each stream index (valid or not) is answered without a crash.
#include "AVProbe.h"
#include "FuzzSupport.h"

using namespace velto;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::WorkFolder();
    fuzz::BindLibraries();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteInput("media.bin", data, size);
    TAVProbe probe;
    if (!probe.LoadFile(path)) {
        if (probe.LastError.empty())
            fuzz::Fail("a failed load left no text");
        if (probe.StreamCount != -1)
            fuzz::Fail("a failed load left streams behind");
        return 0;
    }
    TFormatInfo format{};
    probe.GetFormatInfo(format);
    for (int index = -1; index <= probe.StreamCount; ++index) {
        TAudioStreamInfo audio{};
        TVideoStreamInfo video{};
        probe.GetAudioStreamInfo(index, audio);
        probe.GetVideoStreamInfo(index, video);
    }
    probe.GetFileName();
    probe.GetFileSize();
    probe.Close();
    return 0;
}
