// SIGTERM and its kind reach the event loop as a request to end, once: a second signal is the
// system's again, one ignored at start (nohup) stays ignored, and the handlers the program had
// come back when the catcher goes.
#include "QuitSignals.h"

#include "TestApplication.h"

#include <QApplication>
#include <QSignalSpy>

#include <csignal>
#include <gtest/gtest.h>

namespace velto::test {
namespace {

sighandler_t HandlerOf(int signal) {
    struct sigaction now {};
    ::sigaction(signal, nullptr, &now);
    return now.sa_handler;
}

TEST(QuitSignalsTest, ASignalToEndReachesTheEventLoopOnceAndTheOldHandlersComeBack) {
    NeedApplication();
    // A background shell starts its jobs with SIGINT ignored: this test says how they start.
    const sighandler_t term = ::signal(SIGTERM, SIG_DFL);
    const sighandler_t interrupt = ::signal(SIGINT, SIG_DFL);
    const sighandler_t hangUp = ::signal(SIGHUP, SIG_IGN);
    {
        TQuitSignals catcher;
        QSignalSpy requests(&catcher, &TQuitSignals::QuitRequested);
        ASSERT_EQ(::raise(SIGTERM), 0);
        ASSERT_TRUE(requests.count() == 1 || requests.wait(5000));
        EXPECT_EQ(requests.takeFirst().at(0).toInt(), SIGTERM);
        // Caught once: a sender that insists is not held up by an ending that takes long.
        EXPECT_EQ(HandlerOf(SIGTERM), SIG_DFL);
        EXPECT_EQ(HandlerOf(SIGHUP), SIG_IGN) << "ignored at start (nohup): stays ignored";
        ASSERT_EQ(::raise(SIGINT), 0);
        ASSERT_TRUE(requests.count() == 1 || requests.wait(5000));
        EXPECT_EQ(requests.takeFirst().at(0).toInt(), SIGINT);
    }
    EXPECT_EQ(HandlerOf(SIGHUP), SIG_IGN);
    EXPECT_EQ(HandlerOf(SIGINT), SIG_DFL);
    ::signal(SIGTERM, term);
    ::signal(SIGINT, interrupt);
    ::signal(SIGHUP, hangUp);
}

} // namespace
} // namespace velto::test
