#include "Previewer.h"
#include "EventLoopDispatcher.h"
#include "RecordingPreviewWindow.h"
#include "Waiting.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <thread>

extern "C" {
#include <libavutil/avutil.h>
}

using namespace std::chrono_literals;

namespace velto {
namespace {

struct ScopedDispatcher {
    explicit ScopedDispatcher(IMainThreadDispatcher* dispatcher) {
        SetMainThreadDispatcher(dispatcher);
    }
    ~ScopedDispatcher() { SetMainThreadDispatcher(nullptr); }
};

// Claims the caller is never the main thread and counts every hand-off it is asked for.
class CountingDispatcher : public IMainThreadDispatcher {
public:
    bool IsMainThread() const override { return false; }
    bool Post(std::function<void()>) override { return ++calls, false; }
    bool PostAndWait(std::function<void()>) override { return ++calls, false; }
    void SingleShot(std::chrono::milliseconds, std::function<void()>) override { ++calls; }
    bool WaitServing(const std::function<bool()>& done, std::chrono::milliseconds) override {
        return done();
    }
    std::atomic<int> calls{0};
};

std::unique_ptr<TBitmap> MakeBitmap(int width, int height) {
    auto bitmap = std::make_unique<TBitmap>(width, height);
    for (int x = 0; x < width * 3; ++x)
        bitmap->ScanLine(0)[x] = static_cast<std::uint8_t>(x);
    return bitmap;
}

TEST(Previewer, TimeTextIsHoursMinutesSecondsAndMilliseconds) {
    struct Case {
        std::int64_t time;
        const char* text;
    };
    for (const Case& c :
         {Case{3723500000LL, "01:02:03.500"}, Case{90061000000LL, "25:01:01.000"},
          Case{AV_NOPTS_VALUE, "N/A"}, Case{0, "00:00:00.000"}, Case{999, "00:00:00.000"},
          Case{59999999, "00:00:59.999"}, Case{360000000000LL, "100:00:00.000"}})
        EXPECT_EQ(TPreviewer::PreviewTimeText(c.time), c.text) << c.time;
}

TEST(Previewer, ShowsFramesOnTheMainThreadWhileTheWorkerWaits) {
    TEventLoopDispatcher loop;
    ScopedDispatcher installed(&loop);
    auto record = std::make_shared<test::PreviewWindowRecord>();
    auto bitmap = MakeBitmap(40, 30);
    std::atomic<bool> done{false};
    bool first = false, second = false;
    std::thread worker([&] {
        {
            // The previewer dies on the worker; its window must still die on the main thread.
            TPreviewer previewer(test::RecordingWindowFactory(record));
            first = previewer.ShowFrame(*bitmap, 5, 3723500000LL);
            second = previewer.ShowFrame(*bitmap, 6, AV_NOPTS_VALUE);
            EXPECT_EQ(previewer.FrameNumber(), 6);
        }
        done = true;
    });
    ASSERT_TRUE(loop.WaitServing([&] { return done.load(); }, 10s));
    worker.join();
    loop.RunPending();

    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(record->created, 1);
    EXPECT_EQ(record->width, 40);
    EXPECT_EQ(record->height, 30);
    EXPECT_EQ(record->captions, (std::vector<std::string>{"01:02:03.500", "N/A"}));
    EXPECT_EQ(record->draws, 2);
    EXPECT_EQ(record->lastTopRow,
              std::vector<std::uint8_t>(bitmap->ScanLine(0), bitmap->ScanLine(0) + 40 * 3));
    EXPECT_EQ(record->destroyed, 1);
    EXPECT_TRUE(record->AllOn(std::this_thread::get_id()));
}

TEST(Previewer, AfterTheUserClosedTheWindowNoFrameTouchesIt) {
    auto record = std::make_shared<test::PreviewWindowRecord>();
    auto bitmap = MakeBitmap(8, 8);
    TPreviewer previewer(test::RecordingWindowFactory(record));
    ASSERT_TRUE(previewer.ShowFrame(*bitmap, 1, 0)); // no dispatcher: runs here
    record->close();
    EXPECT_TRUE(previewer.Closed());
    const size_t calls = record->Calls();
    {
        CountingDispatcher counting;
        ScopedDispatcher installed(&counting);
        EXPECT_FALSE(previewer.ShowFrame(*bitmap, 2, 40000));
        EXPECT_FALSE(previewer.ShowFrame(*bitmap, 3, 80000));
        EXPECT_EQ(counting.calls, 0);
    }
    EXPECT_EQ(record->Calls(), calls);
    EXPECT_EQ(record->draws, 1);
}

TEST(Previewer, APreviewerThatNeverShowedAFrameIsFreedWithoutWindowWork) {
    auto record = std::make_shared<test::PreviewWindowRecord>();
    CountingDispatcher counting;
    ScopedDispatcher installed(&counting);
    { TPreviewer previewer(test::RecordingWindowFactory(record)); }
    EXPECT_EQ(counting.calls, 0);
    EXPECT_EQ(record->Calls(), 0u);
}

TEST(Previewer, WithoutAUsableWindowThePreviewEnds) {
    auto bitmap = MakeBitmap(8, 8);
    const TPreviewWindowFactory none;
    const TPreviewWindowFactory refuses = [](int, int, std::function<void()>) {
        return std::unique_ptr<IPreviewWindow>();
    };
    const TPreviewWindowFactory throws =
        [](int, int, std::function<void()>) -> std::unique_ptr<IPreviewWindow> {
        throw std::runtime_error("no display");
    };
    for (const auto* factory : {&none, &refuses, &throws}) {
        TPreviewer previewer(*factory);
        EXPECT_FALSE(previewer.ShowFrame(*bitmap, 1, 0));
        EXPECT_TRUE(previewer.Closed());
    }
}

// A task is being destroyed on the main thread while its worker, holding the preview lock, shows
// a frame: the main thread's bounded wait keeps serving the worker, so neither blocks the other.
TEST(Previewer, MainThreadWaitingForAPreviewingWorkerDoesNotDeadlock) {
    TEventLoopDispatcher loop;
    ScopedDispatcher installed(&loop);
    auto record = std::make_shared<test::PreviewWindowRecord>();
    auto bitmap = MakeBitmap(16, 16);
    auto previewer = std::make_unique<TPreviewer>(test::RecordingWindowFactory(record));
    std::mutex previewLock;
    std::atomic<bool> stop{false}, ended{false};
    std::atomic<int> shown{0};
    std::thread worker([&] {
        for (int frame = 0; !stop; ++frame) {
            {
                std::lock_guard guard(previewLock);
                if (!previewer->ShowFrame(*bitmap, frame, frame * 40000LL))
                    break;
                ++shown;
            }
            // Frames are previewed at intervals, so the lock is free now and then: the interval
            // is part of what is under test, not a wait for anything.
            std::this_thread::sleep_for(1ms);
        }
        ended = true;
    });
    ASSERT_TRUE(loop.WaitServing([&] { return shown >= 3; }, 10s));

    // The main thread needs the preview lock (a flag change): it waits for it while serving.
    bool locked = false;
    EXPECT_TRUE(loop.WaitServing([&] { return locked = previewLock.try_lock(); }, 10s));
    if (locked)
        previewLock.unlock();

    stop = true;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(loop.WaitServing([&] { return ended.load(); }, 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    worker.join();
    previewer.reset();
    EXPECT_EQ(record->destroyed, 1);
    EXPECT_TRUE(record->AllOn(std::this_thread::get_id()));
}

// When the main thread shuts its loop down instead, a worker blocked in ShowFrame is let go.
TEST(Previewer, ShuttingTheLoopDownReleasesAWorkerInShowFrame) {
    TEventLoopDispatcher loop;
    ScopedDispatcher installed(&loop);
    auto record = std::make_shared<test::PreviewWindowRecord>();
    auto bitmap = MakeBitmap(16, 16);
    TPreviewer previewer(test::RecordingWindowFactory(record));
    std::atomic<int> result{-1};
    std::thread worker([&] { result = previewer.ShowFrame(*bitmap, 1, 0) ? 1 : 0; });
    EXPECT_TRUE(test::WaitUntil([&] { return loop.Pending() > 0; }));
    loop.Shutdown();
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(record->created, 0);
}

} // namespace
} // namespace velto
