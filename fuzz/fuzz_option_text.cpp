// Option text as profiles and users write it: whatever the bytes, applying them raises nothing but
// the engine's own exceptions, and the task is released cleanly afterwards.
#include "FFmpeg.h"
#include "FuzzSupport.h"

#include <string>

using namespace velto;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::WorkFolder();
    fuzz::BindLibraries();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // A frame-hook option loads the named shared object; arbitrary libraries stay out of reach.
    if (text.find(".so") != std::string::npos)
        return -1;
    TCustomFFmpeg task;
    task.InitOptions();
    task.LogSink = [](TCustomFFmpeg*, int, const std::string&) {};
    try {
        task.ApplyOptionText(text);
    } catch (const FFMpegException&) {
    } catch (const EConvertError&) {    // a number option with text that is no number
    } catch (const EAssertionFailed&) { // a codec tag that is not four characters
    }
    return 0;
}
