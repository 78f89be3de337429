// The desktop's services as the window's batch uses them, over real D-Bus connections: buses of
// the test's own (dbus-daemon) with stand-ins for logind and the notification server that record
// every call, and a window with no bus at all.
#include "BatchDesktop.h"
#include "DesktopBus.h"
#include "MainWindowSupport.h"

#include <QPlainTextEdit>

namespace velto::test {
namespace {

struct TCountdownRecorder : IPowerOffCountdownView {
    int shown = 0;
    int closed = 0;
    std::vector<int> seconds;
    std::function<void()> cancel;
    void Show(int secondsLeft, std::function<void()> onCancel) override {
        ++shown;
        seconds.push_back(secondsLeft);
        cancel = std::move(onCancel);
    }
    void Update(int secondsLeft) override { seconds.push_back(secondsLeft); }
    void Close() override { ++closed; }
};

// Sets an environment variable for one test and puts the old value back.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~TScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

class DesktopServicesTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        window.reset();
        ASSERT_TRUE(TTestBus::DaemonInstalled()) << "dbus-daemon is needed (package dbus-daemon)";
        bus = std::make_unique<TFakeDesktop>(QString::fromStdString(folder));
        ASSERT_TRUE(bus->Ready()) << bus->Error().toStdString();
        systemEnv.emplace("DBUS_SYSTEM_BUS_ADDRESS", bus->SystemAddress().toUtf8());
        sessionEnv.emplace("DBUS_SESSION_BUS_ADDRESS", bus->SessionAddress().toUtf8());
        // The program's own D-Bus session, which also powers off; a countdown of three short
        // ticks.
        window =
            std::make_unique<TfrmMain>(paths, TMainServices{&fakes, &fakes, &fakes, &fakes, nullptr,
                                                            nullptr, &countdown, 3, 20});
    }
    void TearDown() override {
        window.reset();
        bus.reset();
        systemEnv.reset();
        sessionEnv.reset();
        MainWindowTest::TearDown();
    }
    int LogLinesStartingWith(const QString& start) const {
        int count = 0;
        for (const QString& line : window->mmoLog->toPlainText().split(QLatin1Char('\n')))
            count += line.startsWith(start);
        return count;
    }
    TFakeLogind& Logind() { return bus->Logind; }

    TCountdownRecorder countdown;
    std::unique_ptr<TFakeDesktop> bus;
    std::optional<TScopedEnv> systemEnv, sessionEnv;
};

TBatchOutcome Outcome(int finished, int failed, int stopped) {
    TBatchOutcome outcome;
    outcome.Finished = finished;
    outcome.Failed = failed;
    outcome.Stopped = stopped;
    return outcome;
}

TEST_F(DesktopServicesTest, SleepIsHeldWhileConvertingAndGivenBackOnPauseAndAtTheEnd) {
    Settings("OpenFolderWhenDone=0\nShunDownWhenDone=1\nSimultaneousJobs=1\n");
    fakes.inputOptions = "re"; // at the clip's own pace: the stop finds it converting
    AddFiles(Clips(1, 120.0));
    EXPECT_TRUE(Logind().Inhibits().empty()) << "nothing is held before the run";
    window->actStart->trigger();
    ASSERT_EQ(Logind().Inhibits().size(), 1u);
    const TInhibitCall held = Logind().Inhibits()[0];
    EXPECT_EQ(held.What, "sleep:idle");
    EXPECT_EQ(held.Mode, "block");
    EXPECT_EQ(held.Who, ProductName());
    EXPECT_FALSE(held.Why.isEmpty());
    EXPECT_FALSE(Logind().Released(0));

    window->actPause->trigger();
    EXPECT_TRUE(WaitFor([&] { return Logind().Released(0); }, 5000)) << "a paused batch";
    window->actResume->trigger();
    ASSERT_EQ(Logind().Inhibits().size(), 2u);
    EXPECT_FALSE(Logind().Released(1));

    window->actStop->trigger();
    ASSERT_TRUE(RunEnded());
    EXPECT_TRUE(WaitFor([&] { return Logind().Released(1); }, 5000)) << "the ended batch";
    // One notification tells how it ended; a stopped batch never powers off.
    const std::vector<TNotifyCall> calls = bus->Notifications.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Summary, ProductName());
    EXPECT_EQ(calls[0].Body, TBatchDesktop::NoticeText(Outcome(0, 0, 1)));
    EXPECT_TRUE(calls[0].Actions.isEmpty()) << "no folder to open: nothing finished";
    EXPECT_EQ(countdown.shown, 0);
    EXPECT_EQ(Logind().CanPowerOffCalls(), 0);
    EXPECT_EQ(Logind().PowerOffCalls(), 0);
    EXPECT_EQ(LogLinesStartingWith(QStringLiteral("***")) -
                  LogLinesStartingWith(QStringLiteral("***File has been added")),
              0)
        << "the services answered: nothing to report";
}

TEST_F(DesktopServicesTest, ADrainedBatchNotifiesOnceWithItsFolderAndPowersOffAfterTheCountdown) {
    Settings("OpenFolderWhenDone=0\nShunDownWhenDone=1\n");
    AddFiles(Clips(2, 1.0));
    window->actStart->trigger();
    ASSERT_TRUE(RunEnded());
    ASSERT_EQ(Row(0).Status, TJobStatus::Finished);
    ASSERT_EQ(Row(1).Status, TJobStatus::Finished);
    const std::vector<TNotifyCall> calls = bus->Notifications.Calls();
    ASSERT_EQ(calls.size(), 1u) << "one notification for the batch, not one per job";
    EXPECT_EQ(calls[0].Body, TBatchDesktop::NoticeText(Outcome(2, 0, 0)));
    EXPECT_EQ(calls[0].Actions,
              QStringList({QStringLiteral("open-folder"), TBatchDesktop::tr("打开输出文件夹")}));
    EXPECT_TRUE(Logind().Released(0));

    // Powered off only once the countdown has run out.
    EXPECT_EQ(countdown.shown, 1);
    EXPECT_EQ(Logind().PowerOffCalls(), 0);
    ASSERT_TRUE(WaitFor([&] { return Logind().PowerOffCalls() == 1; }, 10000));
    EXPECT_EQ(Logind().CanPowerOffCalls(), 1);
    EXPECT_EQ(countdown.seconds, std::vector<int>({3, 2, 1}));
    EXPECT_EQ(countdown.closed, 1);

    // Picking the notification's action opens the batch's folder.
    fakes.opened.clear();
    bus->InvokeAction(calls[0].Id + 1, QStringLiteral("open-folder"));
    bus->InvokeAction(calls[0].Id, QStringLiteral("open-folder"));
    ASSERT_TRUE(WaitFor([&] { return !fakes.opened.isEmpty(); }, 5000));
    EXPECT_EQ(fakes.opened, QStringList({QString::fromStdString(folder)}))
        << "another notification's id opens nothing";
}

TEST_F(DesktopServicesTest, ACancelledCountdownOrARefusedPowerOffLeavesTheMachineOn) {
    Settings("OpenFolderWhenDone=0\nShunDownWhenDone=1\n");
    AddFiles(Clips(1, 1.0, "first"));
    window->actStart->trigger();
    ASSERT_TRUE(RunEnded());
    ASSERT_EQ(countdown.shown, 1);
    ASSERT_TRUE(countdown.cancel);
    countdown.cancel();
    EXPECT_FALSE(Controller().Desktop().CountingDown());
    EXPECT_EQ(LogLinesStartingWith(QStringLiteral("***Power-off cancelled.")), 1);

    // logind says no: no countdown at all, and the log says why.
    Logind().SetCanPowerOff(QStringLiteral("no"));
    AddFiles(Clips(1, 1.0, "second"));
    window->actStart->trigger();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(countdown.shown, 1);
    EXPECT_FALSE(Controller().Desktop().CountingDown());
    EXPECT_EQ(LogLinesStartingWith(QStringLiteral("***Not powering off: logind's CanPowerOff")), 1);
    EXPECT_EQ(Logind().PowerOffCalls(), 0);
    EXPECT_EQ(bus->Notifications.Calls().size(), 2u);
}

TEST_F(DesktopServicesTest, ARefusedInhibitorIsLoggedOnceAndTheBatchStillRuns) {
    Settings("OpenFolderWhenDone=0\nSimultaneousJobs=1\n");
    Logind().SetRefuseInhibit(true);
    fakes.inputOptions = "re";
    AddFiles(Clips(1, 120.0));
    window->actStart->trigger();
    ASSERT_TRUE(WaitFor([&] { return Row(0).Percent > 0; }));
    window->actPause->trigger();
    window->actResume->trigger();
    window->actStop->trigger();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Logind().RefusedInhibits(), 2);
    EXPECT_EQ(LogLinesStartingWith(QStringLiteral("***Sleep is not held off while converting: "
                                                  "org.freedesktop.DBus.Error.AccessDenied")),
              1)
        << window->mmoLog->toPlainText().toStdString();
}

TEST_F(MainWindowTest, WithNoBusAtAllTheBatchRunsAndTheLogSaysSoOnce) {
    window.reset();
    TScopedEnv system("DBUS_SYSTEM_BUS_ADDRESS",
                      QByteArray::fromStdString("unix:path=" + folder + "/no-system-bus"));
    TScopedEnv session("DBUS_SESSION_BUS_ADDRESS",
                       QByteArray::fromStdString("unix:path=" + folder + "/no-session-bus"));
    // Power-off stays off here: without logind it would fall back to systemctl.
    Settings("OpenFolderWhenDone=0\nShunDownWhenDone=0\n");
    window = std::make_unique<TfrmMain>(
        paths, TMainServices{&fakes, &fakes, &fakes, &fakes, nullptr, nullptr, &fakes});
    AddFiles(Clips(2, 1.0));
    window->actStart->trigger();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Row(0).Status, TJobStatus::Finished);
    EXPECT_EQ(Row(1).Status, TJobStatus::Finished);
    int told = 0;
    for (const QString& line : window->mmoLog->toPlainText().split(QLatin1Char('\n')))
        told += line.startsWith(QStringLiteral("***No D-Bus"));
    EXPECT_EQ(told, 1) << window->mmoLog->toPlainText().toStdString();
    EXPECT_TRUE(fakes.messages.isEmpty()) << "a missing bus is no reason for a message box";
    window.reset();
}

} // namespace
} // namespace velto::test
