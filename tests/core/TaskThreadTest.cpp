// The task's worker thread and run control: real conversions started, paused, resumed, stopped
// and destroyed on worker threads, with the termination report each one gives.
#include "EventLoopDispatcher.h"
#include "LogBridge.h"
#include "MainThreadDispatcher.h"
#include "MediaFactory.h"
#include "MyUtils.h"
#include "TranscodeFixture.h"
#include "Waiting.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <memory>
#include <mutex>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velto::test {
namespace {

using namespace std::chrono_literals;
constexpr auto kGenerous = 120s;

struct Report {
    bool finished = false;
    bool failed = false;
    std::string message;
    std::uint32_t threadId = 0;
    TJobResult result = jrFinished;
};

// Collects termination reports from whatever thread gives them.
class Reports {
public:
    void Attach(TCustomFFmpeg& task) {
        task.TerminateSink = [this](TCustomFFmpeg* t) {
            std::lock_guard guard(lock_);
            list_.push_back(
                {t->Finished, t->Failed(), t->ErrorMessage(), CurrentThreadId(), t->Result()});
            changed_.notify_all();
        };
    }
    bool WaitFor(size_t count) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, kGenerous, [&] { return list_.size() >= count; });
    }
    std::vector<Report> List() {
        std::lock_guard guard(lock_);
        return list_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Report> list_;
};

// Makes the system refuse every new thread of this process, as when it is out of them: clone and
// clone3 fail with EAGAIN. For a forked child only; there is no way back.
bool RefuseNewThreads() {
#if defined(__x86_64__)
    constexpr std::uint32_t kRefuse = SECCOMP_RET_ERRNO | (EAGAIN & SECCOMP_RET_DATA);
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone3, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, kRefuse),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
#else
    return false;
#endif
}

class TaskThreadTest : public TranscodeTest {
protected:
    void SetUp() override {
        TranscodeTest::SetUp();
        reports.Attach(task);
    }
    // Parks the worker at its first progress report.
    void PauseAtFirstReport() {
        task.ProgressInterval = 0;
        task.ProgressSink = [](TCustomFFmpeg* t, int, int, int, float, float, std::int64_t, int) {
            if (!t->StopRequested)
                t->Pause();
        };
    }
    Reports reports;
};

TEST_F(TaskThreadTest, ThreadedRunFinishesAndStartsOnlyOnce) {
    Input(MakeAviMpeg4Mp2(folder, 1.0));
    Output("done.mp4", "vcodec=mpeg4\nacodec=aac");
    const auto worker = task.Start(true, tpIdle);
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(task.Running());
    int policy = -1;
    std::uint32_t workerId = 0;
    worker->OnStarted = [&](std::uint32_t id) {
        workerId = id;
        policy = sched_getscheduler(0);
    };
    worker->Resume();
    ASSERT_TRUE(reports.WaitFor(1));
    const Report report = reports.List().at(0);
    EXPECT_TRUE(report.finished);
    EXPECT_FALSE(report.failed);
    EXPECT_EQ(report.result, jrFinished);
    EXPECT_EQ(report.message, "");
    EXPECT_EQ(report.threadId, workerId);
    EXPECT_NE(workerId, CurrentThreadId());
    EXPECT_EQ(policy, SCHED_IDLE);
    EXPECT_TRUE(task.Terminated());
    EXPECT_FALSE(task.Running());
    EXPECT_FALSE(CountStreams(Path("done.mp4"), false).empty());

    EXPECT_EQ(task.Start(true, tpNormal), nullptr);
    task.StopOrFinish();
    // Once no thread uses the task, a wrong second report would have come.
    task.StopAndWait();
    EXPECT_EQ(reports.List().size(), 1u);
}

TEST_F(TaskThreadTest, WithoutANewSystemThreadTheRunHappensOnTheCaller) {
#if defined(__SANITIZE_THREAD__) || !defined(__x86_64__)
    // ThreadSanitizer needs threads of its own in a forked child.
    GTEST_SKIP() << "needs a forked child that may refuse threads";
#endif
    Input(MakeAviMpeg4Mp2(folder, 1.0));
    // One codec thread each, so that the whole run can do without new threads.
    Output("caller.mp4", "vcodec=mpeg4\nacodec=aac\nthreads=1");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!RefuseNewThreads())
            ::_exit(10);
        const auto worker = task.Start(true, tpNormal);
        if (!worker)
            ::_exit(11);
        worker->Resume();
        const std::vector<Report> list = reports.List();
        if (list.size() != 1)
            ::_exit(12);
        if (list[0].threadId != CurrentThreadId())
            ::_exit(13);
        if (list[0].result != jrFinished)
            ::_exit(14);
        // The thread object outlives its report: the caller still holds it, and a second
        // resume does nothing.
        worker->Resume();
        ::_exit(task.Terminated() && !task.Running() && reports.List().size() == 1 ? 0 : 15);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(CountStreams(Path("caller.mp4"), false).empty());
}

TEST_F(TaskThreadTest, MissingFilesAreReportedAsFailures) {
    // Without an input the run is refused before it starts; the output was never created.
    const struct {
        bool withOutput;
        const char* message;
    } rows[] = {{false, "Must supply at least one output file"},
                {true, "Must supply at least one input file"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        TCustomFFmpeg fresh;
        fresh.InitOptions();
        std::vector<std::pair<int, std::string>> logged;
        fresh.LogSink = [&](TCustomFFmpeg*, int level, const std::string& text) {
            logged.emplace_back(level, text);
        };
        Reports own;
        own.Attach(fresh);
        const std::string output =
            Path(std::string("lonely") + (row.withOutput ? "1" : "0") + ".avi");
        if (row.withOutput) {
            fresh.ApplyOptionText("vcodec=mpeg4\ns=176x144\nr=25");
            ASSERT_NO_THROW(fresh.OpenOutputFile(output));
        }
        EXPECT_FALSE(std::filesystem::exists(output));
        EXPECT_EQ(fresh.Start(true, tpNormal), nullptr);
        const std::vector<Report> list = own.List();
        ASSERT_EQ(list.size(), 1u) << "the report comes before Start returns";
        EXPECT_FALSE(list[0].finished);
        EXPECT_TRUE(list[0].failed);
        EXPECT_EQ(list[0].result, jrFailed);
        EXPECT_EQ(list[0].message, row.message);
        EXPECT_EQ(list[0].threadId, CurrentThreadId());
        ASSERT_FALSE(logged.empty());
        EXPECT_EQ(logged.back(), std::make_pair(-1, std::string(row.message)));
        EXPECT_FALSE(std::filesystem::exists(output));
        EXPECT_EQ(fresh.Start(true, tpNormal), nullptr);
        EXPECT_EQ(own.List().size(), 1u);
    }
}

TEST_F(TaskThreadTest, FailingRunReportsItsMessageAndLeavesNoEmptyOutput) {
    Input(MakeVideoOnly(folder, 1.0));
    const std::string prefix = folder + "/missing/log";
    Output("failed.avi", "vcodec=mpeg4\npass=2\npasslogfile=" + prefix);
    const auto worker = task.Start(true, tpNormal);
    ASSERT_NE(worker, nullptr);
    worker->Resume();
    ASSERT_TRUE(reports.WaitFor(1));
    const Report report = reports.List().at(0);
    EXPECT_FALSE(report.finished);
    EXPECT_TRUE(report.failed);
    EXPECT_EQ(report.message, "creat open fail: " + prefix + "-0.log");
    EXPECT_TRUE(Logged(report.message));
    EXPECT_FALSE(std::filesystem::exists(Path("failed.avi")));
}

TEST_F(TaskThreadTest, PauseHoldsTheOutputUntilResumeOrStop) {
    const std::string source = MakeVideoOnly(folder, 6.0);
    const int pictures = CountStreams(source, false).at(0).packets;
    for (bool resume : {true, false}) {
        SCOPED_TRACE(resume ? "resume" : "stop");
        // The second round reuses the task: ResetState makes a reported task startable again.
        task.ResetState();
        Reports own;
        own.Attach(task);
        PauseAtFirstReport();
        const std::string output = resume ? "resumed.mp4" : "stopped.mp4";
        Input(source);
        Output(output, "vcodec=mpeg4");
        const auto worker = task.Start(true, tpLower);
        ASSERT_NE(worker, nullptr);
        int nice = -100;
        worker->OnStarted = [&](std::uint32_t id) { nice = getpriority(PRIO_PROCESS, id); };
        worker->Resume();
        ASSERT_TRUE(WaitUntil([&] { return task.Parked(); }));
        EXPECT_EQ(nice, 10);
        const std::int64_t held = FileSizeOf(Path(output));
        // What is under test: a parked worker writes nothing while time passes.
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(FileSizeOf(Path(output)), held);
        EXPECT_TRUE(own.List().empty());
        EXPECT_TRUE(task.Running());

        if (resume) {
            task.ProgressSink = nullptr;
            task.Resume();
        } else {
            task.StopOrFinish();
        }
        ASSERT_TRUE(own.WaitFor(1));
        const Report report = own.List().at(0);
        EXPECT_EQ(report.finished, resume);
        EXPECT_FALSE(report.failed);
        EXPECT_EQ(report.result, resume ? jrFinished : jrStopped);
        // The stopped output still has its trailer (MP4 cannot be read without one), under the
        // name of an unfinished output.
        EXPECT_EQ(std::filesystem::exists(Path(output)), resume);
        const std::vector<StreamCount> written =
            CountStreams(resume ? Path(output) : UnfinishedOutputName(Path(output)), false);
        ASSERT_EQ(written.size(), 1u);
        if (resume)
            EXPECT_EQ(written[0].packets, pictures);
        else
            EXPECT_LT(written[0].packets, pictures);
        EXPECT_GT(written[0].packets, 0);
    }
}

TEST_F(TaskThreadTest, NeverStartedTaskReportsFromAnotherThreadOnce) {
    task.StopOrFinish();
    task.StopOrFinish();
    ASSERT_TRUE(reports.WaitFor(1));
    // Once no thread uses the task, a wrong second report would have come.
    task.StopAndWait();
    const std::vector<Report> list = reports.List();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_FALSE(list[0].finished);
    EXPECT_FALSE(list[0].failed);
    EXPECT_EQ(list[0].result, jrStopped);
    EXPECT_NE(list[0].threadId, CurrentThreadId());
    EXPECT_EQ(task.Start(true, tpNormal), nullptr);
}

// The report of a task that never ran comes from a thread the task owns: destroying the task
// during that report waits for it to return, and leaves no thread of the task behind.
TEST_F(TaskThreadTest, DestroyingATaskWaitsForItsReportAndJoinsItsThread) {
    const int threadsBefore = ProcessThreadCount();
    auto owned = std::make_unique<TCustomFFmpeg>();
    owned->InitOptions();
    TWatched<int> stage(0); // 1 in the report, 2 returned from it
    owned->TerminateSink = [&](TCustomFFmpeg* t) {
        stage.Update([](int& s) { s = 1; });
        // Takes its time, so that a destructor that did not wait would free the task meanwhile.
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(t->Result(), jrStopped);
        stage.Update([](int& s) { s = 2; });
    };
    EXPECT_TRUE(owned->StopOrFinish());
    EXPECT_TRUE(stage.WaitFor([](int s) { return s >= 1; }));
    EXPECT_TRUE(owned->ThreadsActive());
    owned.reset();
    EXPECT_EQ(stage.Get(), 2);
    EXPECT_LE(ProcessThreadCount(), threadsBefore);
}

TEST_F(TaskThreadTest, DestroyingARunningTaskStopsAndWaitsForIt) {
    const std::string source = MakeVideoOnly(folder, 6.0);
    // The third row's report needs the main thread while the main thread destroys the task.
    enum Case { pausedWorker, neverResumed, reportPostsToMainThread };
    for (Case row : {pausedWorker, neverResumed, reportPostsToMainThread}) {
        SCOPED_TRACE(row);
        TEventLoopDispatcher dispatcher;
        SetMainThreadDispatcher(row == reportPostsToMainThread ? &dispatcher : nullptr);
        auto owned = std::make_unique<TCustomFFmpeg>();
        owned->InitOptions();
        bool served = false;
        std::vector<bool> finished;
        owned->TerminateSink = [&](TCustomFFmpeg* t) {
            finished.push_back(t->Finished);
            if (row == reportPostsToMainThread)
                served = RunOnMainThread([] {});
        };
        owned->ProgressInterval = 0;
        owned->ProgressSink = [](TCustomFFmpeg* t, int, int, int, float, float, std::int64_t, int) {
            t->Pause();
        };
        ASSERT_NO_THROW(owned->OpenInputFile(source));
        owned->ApplyOptionText("vcodec=mpeg4");
        ASSERT_NO_THROW(owned->OpenOutputFile(Path("destroyed" + std::to_string(row) + ".mp4")));
        const auto worker = owned->Start(true, tpNormal);
        ASSERT_NE(worker, nullptr);
        if (row != neverResumed) {
            worker->Resume();
            ASSERT_TRUE(WaitUntil([&] { return owned->Parked(); }));
        }
        owned.reset();
        ASSERT_EQ(finished.size(), 1u);
        EXPECT_FALSE(finished[0]);
        EXPECT_EQ(served, row == reportPostsToMainThread);
        SetMainThreadDispatcher(nullptr);
    }
}

} // namespace
} // namespace velto::test
