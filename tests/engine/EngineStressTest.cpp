// The engine component driven hard: hundreds of batches in which event handlers on the workers and
// the main thread add, start, pause, resume, stop, remove and clear at random, with and without a
// main-thread dispatcher. A watchdog ends the process when a batch hangs; every batch must end
// with exactly one final event, raised when none of its tasks runs any more.
#include "FFmpegEngine.h"

#include "EventLoopDispatcher.h"
#include "MediaFactory.h"
#include "TestLibraries.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

namespace velto::test {
namespace {

using namespace std::chrono_literals;

// Aborts the whole process when it is not disarmed in time: a deadlock would otherwise only show
// as the test runner's time-out, without saying where.
class TWatchdog {
public:
    TWatchdog(std::chrono::seconds limit, std::string what)
        : thread_([this, limit, what = std::move(what)] {
              std::unique_lock guard(lock_);
              if (!changed_.wait_for(guard, limit, [this] { return disarmed_; })) {
                  std::fprintf(stderr, "watchdog: %s hung; aborting\n", what.c_str());
                  std::abort();
              }
          }) {}
    ~TWatchdog() {
        {
            std::lock_guard guard(lock_);
            disarmed_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool disarmed_ = false;
    std::thread thread_;
};

enum class THandlerMove { None, Pause, Resume, Stop, RemoveOne, Clear, Add, Start };

struct TStressCase {
    const char* name;
    bool dispatcher;
    int cycles;
};

class EngineStress : public ::testing::TestWithParam<TStressCase> {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        source = MakeVideoOnly(folder, 0.2);
        ASSERT_TRUE(engine.LoadLibraries(LibAVFolder(), true)) << engine.LastError;
        engine.SetProgressInterval(100);
        engine.OnProgress = [this](int index, int, int, int, float, float, std::int64_t, int) {
            progressEvents.fetch_add(1);
            if (index < 0)
                Fail("progress without a task index");
            Act(Draw(progressMoves));
        };
        engine.OnTerminate = [this](int index, bool finished, bool, const std::string& message,
                                    TJobResult result) {
            if (index >= 0) {
                (finished ? finishedRuns : otherEnds).fetch_add(1);
                if (!message.empty() && Chance(20))
                    std::fprintf(stderr, "ended: %s\n", message.c_str());
                // Handlers run at the same time on several threads. A task that ran reports
                // inside its batch, which cannot end before the handler returns; a stopped one
                // may report after a late stop, outside any batch and beside its final event,
                // whose check below reads the list: it makes no move.
                if (result != jrStopped)
                    Act(Draw(terminateMoves));
                return;
            }
            // The batch is over: none of its tasks may still run.
            for (int i = 0; i < engine.TaskCount(); ++i)
                if (engine.Tasks(i)->Running())
                    Fail("final event while a task runs");
            if (Chance(2))
                engine.ClearTasks(); // as the desktop program does
            std::lock_guard guard(lock);
            batchOpen = false;
            ++finalEvents;
            changed.notify_all();
        };
        engine.OnLog = [this](int, TLogLevel, const std::string&) {
            if (Chance(50))
                engine.TaskCount();
        };
    }

    void Fail(const char* what) {
        std::lock_guard guard(lock);
        failures.emplace_back(what);
    }
    bool Chance(int oneIn) {
        std::lock_guard guard(randomLock);
        return std::uniform_int_distribution<int>(1, oneIn)(random) == 1;
    }
    THandlerMove Draw(const std::vector<THandlerMove>& moves) {
        std::lock_guard guard(randomLock);
        return moves[std::uniform_int_distribution<size_t>(0, moves.size() - 1)(random)];
    }
    void AddOne() {
        const int index = engine.AddTask(source, nullptr);
        if (index < 0)
            return Fail("add refused");
        TOutputOptions output;
        output.VideoCodec = "mpeg4";
        const std::string name =
            folder + "/out" + std::to_string(outputNumber.fetch_add(1) % 16) + ".avi";
        if (!engine.AddOutput(index, name, &output))
            engine.RemoveTask(index);
    }
    // One move, from a handler or from the main thread.
    void Act(THandlerMove move) {
        switch (move) {
        case THandlerMove::None:
            break;
        case THandlerMove::Pause:
            engine.PauseTasks();
            break;
        case THandlerMove::Resume:
            engine.ResumeTasks();
            break;
        case THandlerMove::Stop:
            engine.StopTasks();
            break;
        case THandlerMove::RemoveOne:
            try {
                if (const int count = engine.TaskCount(); count > 0)
                    engine.RemoveTask(count - 1);
            } catch (const std::out_of_range&) {
                // Another thread shortened the list in between.
            }
            break;
        case THandlerMove::Clear:
            engine.ClearTasks();
            break;
        case THandlerMove::Add:
            AddOne();
            break;
        case THandlerMove::Start: {
            // Only into the running batch, which cannot end while a handler of one of its running
            // or reporting tasks runs: a start after its end would begin a batch the count does
            // not expect.
            bool open = false;
            {
                std::lock_guard guard(lock);
                open = batchOpen;
            }
            if (open)
                engine.StartTasks(Chance(2) ? 1 : 2);
            break;
        }
        }
    }
    // Waits for the batch's final event, pumping the dispatcher and resuming what a handler
    // paused; stops the batch when it takes long.
    void WaitForFinal(int expected, TEventLoopDispatcher* dispatcher) {
        const auto stopAt = std::chrono::steady_clock::now() + 2s;
        for (;;) {
            {
                std::unique_lock guard(lock);
                if (changed.wait_for(guard, 5ms, [&] { return finalEvents >= expected; }))
                    return;
            }
            if (dispatcher)
                dispatcher->RunPending();
            if (Chance(3))
                Act(Draw(mainMoves));
            engine.ResumeTasks();
            if (std::chrono::steady_clock::now() > stopAt)
                engine.StopTasks();
        }
    }

    const std::vector<THandlerMove> progressMoves{
        THandlerMove::None,      THandlerMove::None,  THandlerMove::Pause, THandlerMove::Resume,
        THandlerMove::Stop,      THandlerMove::Start, THandlerMove::Add,   THandlerMove::RemoveOne,
        THandlerMove::RemoveOne, THandlerMove::Clear};
    const std::vector<THandlerMove> terminateMoves{
        THandlerMove::None,  THandlerMove::None,      THandlerMove::RemoveOne,
        THandlerMove::Clear, THandlerMove::Stop,      THandlerMove::Start,
        THandlerMove::Add,   THandlerMove::RemoveOne, THandlerMove::Pause};
    const std::vector<THandlerMove> mainMoves{THandlerMove::Pause, THandlerMove::Resume,
                                              THandlerMove::Stop,  THandlerMove::RemoveOne,
                                              THandlerMove::Clear, THandlerMove::None};

    TFFmpegEngine engine;
    std::string folder;
    std::string source;
    std::atomic<int> outputNumber{0};
    std::mutex randomLock;
    std::mt19937 random{20261208};
    std::mutex lock;
    std::condition_variable changed;
    int finalEvents = 0;
    std::atomic<int> finishedRuns{0};
    std::atomic<int> otherEnds{0};
    std::atomic<int> progressEvents{0};
    bool batchOpen = false;
    std::vector<std::string> failures;
};

TEST_P(EngineStress, EveryBatchEndsOnceWhateverTheHandlersDo) {
    const TStressCase stress = GetParam();
    TEventLoopDispatcher dispatcher;
    if (stress.dispatcher)
        SetMainThreadDispatcher(&dispatcher);
    const TWatchdog watchdog(std::chrono::seconds(240), stress.name);
    for (int cycle = 0; cycle < stress.cycles; ++cycle) {
        engine.ClearTasks();
        const int tasks = 1 + cycle % 3;
        for (int i = 0; i < tasks; ++i)
            AddOne();
        ASSERT_GT(engine.TaskCount(), 0);
        // Counts 0 run on the main thread: from the dispatcher's timer, or inside StartTasks.
        const int count = cycle % 4 == 0 ? 0 : 1 + cycle % 2;
        {
            std::lock_guard guard(lock);
            batchOpen = true;
        }
        engine.StartTasks(count);
        WaitForFinal(cycle + 1, stress.dispatcher ? &dispatcher : nullptr);
        std::lock_guard guard(lock);
        ASSERT_EQ(finalEvents, cycle + 1) << "cycle " << cycle;
        ASSERT_TRUE(failures.empty()) << failures.front() << " in cycle " << cycle;
    }
    // No late second final event from any batch: the wait ends at once when one comes, and
    // otherwise gives the threads still leaving their reports time to end.
    engine.ClearTasks();
    {
        std::unique_lock guard(lock);
        changed.wait_for(guard, 50ms, [&] { return finalEvents > stress.cycles; });
    }
    if (stress.dispatcher)
        dispatcher.RunPending();
    {
        std::lock_guard guard(lock);
        EXPECT_EQ(finalEvents, stress.cycles);
    }
    // The moves must leave conversions to run, or the test proves nothing about running ones.
    EXPECT_GT(finishedRuns.load(), stress.cycles / 4);
    EXPECT_GT(progressEvents.load(), stress.cycles / 4);
    std::printf("%d finished, %d stopped or failed, %d progress events\n", finishedRuns.load(),
                otherEnds.load(), progressEvents.load());
    engine.OnProgress = nullptr;
    engine.OnTerminate = nullptr;
    engine.OnLog = nullptr;
    SetMainThreadDispatcher(nullptr);
}

// ThreadSanitizer runs the conversions several times slower; fewer cycles keep it inside the
// watchdog on a busy machine.
#ifdef __SANITIZE_THREAD__
constexpr int kCycles = 150;
#else
constexpr int kCycles = 300;
#endif

INSTANTIATE_TEST_SUITE_P(Cycles, EngineStress,
                         ::testing::Values(TStressCase{"WithoutDispatcher", false, kCycles},
                                           TStressCase{"WithDispatcher", true, kCycles}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velto::test
