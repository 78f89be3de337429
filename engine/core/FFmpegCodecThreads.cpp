// Codec threads of a run: video decoders and encoders use frame and slice threads as each codec
// allows; the count comes from the task's "threads" setting or, when automatic, from the cores and
// the tasks running at once. Audio codecs stay on the task's thread: their share of the work is
// small, and their timing then never depends on a thread count.
#include "AVCodecHlpr.h"
#include "ConcurrencyPolicy.h"
#include "FFmpeg.h"

namespace velto {

void TCustomFFmpeg::SetCodecThreads(AVCodecContext* codec) const {
    if (codec->codec_type != AVMEDIA_TYPE_VIDEO) {
        codec->thread_count = 1;
        return;
    }
    // A codec without thread support drops back to one thread when it opens.
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    codec->thread_count = ThreadsPerTask(Settings.ThreadCount, TasksAtOnce, MachineCores());
}

} // namespace velto
