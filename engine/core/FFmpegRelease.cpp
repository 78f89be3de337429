// Release of the task's per-run file tables: everything the input and output set-up allocated.
#include "AVFormatHlpr.h"
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
    for (TOutputFile& output : OutputFiles) {
        AVFormatContext* context = output.Context;
        output.Context = nullptr;
        if (!context)
            continue;
        if (context->pb && !(context->oformat && (context->oformat->flags & AVFMT_NOFILE)))
            AVFormatHlpr::avio_closep(&context->pb);
        AVFormatHlpr::avformat_free_context(context);
    }
    OutputFiles.clear();
    for (TInputFile& input : InputFiles) {
        if (input.Context)
            AVFormatHlpr::avformat_close_input(&input.Context);
    }
    InputFiles.clear();
}

} // namespace velto
