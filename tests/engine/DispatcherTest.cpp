#include "EventLoopDispatcher.h"
#include "MainThreadDispatcher.h"
#include "Waiting.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace velto {
namespace {

// Installs a dispatcher as the process-wide one for one test.
struct ScopedDispatcher {
    explicit ScopedDispatcher(IMainThreadDispatcher* dispatcher) {
        SetMainThreadDispatcher(dispatcher);
    }
    ~ScopedDispatcher() { SetMainThreadDispatcher(nullptr); }
};

TEST(Dispatcher, PostedWorkRunsOnTheMainThreadInOrderUntilQuit) {
    TEventLoopDispatcher loop;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(loop.Post([&, i] {
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
            }));
        loop.Post([&] { loop.Quit(); });
    });
    loop.Run();
    worker.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    for (auto id : threads)
        EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(Dispatcher, PostAndWaitReturnsAfterTheWorkRanAndCarriesItsException) {
    TEventLoopDispatcher loop;
    std::atomic<bool> workerDone{false};
    int value = 0;
    std::thread::id ranOn;
    bool resultSeenByWorker = false;
    std::string error;
    std::thread worker([&] {
        EXPECT_FALSE(loop.IsMainThread());
        EXPECT_TRUE(loop.PostAndWait([&] {
            value = 42;
            ranOn = std::this_thread::get_id();
        }));
        resultSeenByWorker = value == 42;
        try {
            loop.PostAndWait([] { throw std::runtime_error("window failed"); });
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        workerDone = true;
        loop.Quit();
    });
    loop.Run();
    worker.join();
    EXPECT_TRUE(resultSeenByWorker);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(error, "window failed");
}

TEST(Dispatcher, SingleShotTimersFireInDeadlineOrderAndNotEarly) {
    TEventLoopDispatcher loop;
    std::vector<int> order;
    const auto start = TEventLoopDispatcher::Clock::now();
    auto elapsedAtLast = 0ms;
    loop.SingleShot(60ms, [&] {
        order.push_back(2);
        elapsedAtLast = std::chrono::duration_cast<std::chrono::milliseconds>(
            TEventLoopDispatcher::Clock::now() - start);
        loop.Quit();
    });
    loop.SingleShot(20ms, [&] { order.push_back(1); });
    loop.SingleShot(0ms, [&] { order.push_back(0); });
    EXPECT_EQ(order.size(), 0u); // nothing runs before the loop does
    loop.Run();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_GE(elapsedAtLast, 60ms);
}

// A main thread that waits (bounded) for a worker which itself waits for the main thread: the
// serving wait keeps running the worker's calls, so both get on.
TEST(Dispatcher, ServingWaitLetsAWorkerBlockedOnTheMainThreadFinish) {
    TEventLoopDispatcher loop;
    std::atomic<bool> workerDone{false};
    int callsOnMain = 0;
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(loop.PostAndWait([&] { ++callsOnMain; }));
        workerDone = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(loop.WaitServing([&] { return workerDone.load(); }, 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    worker.join();
    EXPECT_EQ(callsOnMain, 20);
}

TEST(Dispatcher, ServingWaitGivesUpAtItsBound) {
    TEventLoopDispatcher loop;
    bool timerRan = false;
    loop.SingleShot(0ms, [&] { timerRan = true; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(loop.WaitServing([] { return false; }, 50ms));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 50ms);
    EXPECT_LT(waited, 2s);
    EXPECT_FALSE(timerRan); // timers wait for the loop proper
}

TEST(Dispatcher, ShutdownReleasesBlockedCallersAndRefusesNewWork) {
    TEventLoopDispatcher loop;
    std::atomic<bool> workRan{false};
    std::atomic<int> result{-1};
    std::thread worker([&] { result = loop.PostAndWait([&] { workRan = true; }) ? 1 : 0; });
    // Wait until the worker's call is queued, without running it.
    EXPECT_TRUE(test::WaitUntil([&] { return loop.Pending() > 0; }));
    loop.Shutdown();
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(workRan);
    EXPECT_FALSE(loop.Post([] {}));
    std::thread late([&] { EXPECT_FALSE(loop.PostAndWait([&] { workRan = true; })); });
    late.join();
    EXPECT_FALSE(workRan);
    loop.Run(); // returns at once once shut down
}

TEST(Dispatcher, DestroyingTheLoopReleasesAWorkerWaitingOnIt) {
    std::atomic<int> result{-1};
    std::thread worker;
    {
        TEventLoopDispatcher loop;
        worker = std::thread([&] { result = loop.PostAndWait([] {}) ? 1 : 0; });
        EXPECT_TRUE(test::WaitUntil([&] { return loop.Pending() > 0; }));
    }
    worker.join();
    EXPECT_EQ(result, 0);
}

TEST(Dispatcher, RunOnMainThreadUsesTheInstalledDispatcher) {
    // Without a dispatcher the work runs where it is called.
    std::thread::id ranOn;
    std::thread bare(
        [&] { EXPECT_TRUE(RunOnMainThread([&] { ranOn = std::this_thread::get_id(); })); });
    const auto bareId = bare.get_id();
    bare.join();
    EXPECT_EQ(ranOn, bareId);

    TEventLoopDispatcher loop;
    ScopedDispatcher installed(&loop);
    EXPECT_EQ(MainThreadDispatcher(), &loop);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        EXPECT_TRUE(RunOnMainThread([&] { ranOn = std::this_thread::get_id(); }));
        done = true;
    });
    EXPECT_TRUE(loop.WaitServing([&] { return done.load(); }, 10s));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

} // namespace
} // namespace velto
