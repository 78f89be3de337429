// Release of the task's per-run file tables: everything the input and output set-up allocated.
#include "CodecLock.h"
#include "FFmpeg.h"

namespace velto {

void TCustomFFmpeg::ReleaseFiles() {
    DiscardOutputTempFiles();
    {
        // A codec context that a run left open is closed by its free; that close needs the lock.
        std::lock_guard lock(CodecLock());
        for (TOutputFile& output : OutputFiles)
            output.Streams.clear();
        for (TInputFile& input : InputFiles)
            input.Streams.clear();
    }
    for (TOutputFile& output : OutputFiles)
        output.Context.reset();
    OutputFiles.clear();
    for (TInputFile& input : InputFiles)
        input.Context.reset();
    InputFiles.clear();
}

} // namespace velto
