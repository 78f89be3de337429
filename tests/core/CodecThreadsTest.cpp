// Codec thread settings of a run: video codecs take the task's count or their share of the cores,
// audio codecs stay on one thread.
#include "AVCodecHlpr.h"
#include "ConcurrencyPolicy.h"
#include "TaskFixture.h"

namespace velto::test {
namespace {

using CodecThreadsTest = TaskTest;

TEST_F(CodecThreadsTest, VideoCodecsShareTheCoresAudioCodecsKeepOneThread) {
    const int cores = MachineCores();
    struct Row {
        AVMediaType kind;
        int threads, tasksAtOnce, expected;
    };
    const Row rows[] = {
        {AVMEDIA_TYPE_VIDEO, 0, 1, 0}, // alone: the codec sizes itself from every core
        {AVMEDIA_TYPE_VIDEO, 0, 2 * cores, 1}, {AVMEDIA_TYPE_VIDEO, 0, 2, std::max(1, cores / 2)},
        {AVMEDIA_TYPE_VIDEO, 3, 8, 3}, // a count given wins
        {AVMEDIA_TYPE_AUDIO, 0, 1, 1},         {AVMEDIA_TYPE_AUDIO, 4, 1, 1},
    };
    for (const Row& row : rows) {
        AVCodecContext* codec = AVCodecHlpr::avcodec_alloc_context3(nullptr);
        ASSERT_NE(codec, nullptr);
        codec->codec_type = row.kind;
        task.Settings.ThreadCount = row.threads;
        task.TasksAtOnce = row.tasksAtOnce;
        task.SetCodecThreads(codec);
        EXPECT_EQ(codec->thread_count, row.expected)
            << row.kind << " " << row.threads << " " << row.tasksAtOnce;
        if (row.kind == AVMEDIA_TYPE_VIDEO) {
            EXPECT_EQ(codec->thread_type, FF_THREAD_FRAME | FF_THREAD_SLICE);
        }
        AVCodecHlpr::avcodec_free_context(&codec);
    }
}

} // namespace
} // namespace velto::test
