#include "DesktopBus.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QStandardPaths>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace velto::test {

namespace {

// Anyone may connect, own any name and send anything: the buses exist for one test.
constexpr const char* kBusConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
)";

QString DaemonProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
}

} // namespace

bool TTestBus::DaemonInstalled() {
    return !DaemonProgram().isEmpty();
}

TTestBus::TTestBus(const QString& folder, const QString& name) {
    const QString config = folder + QStringLiteral("/") + name + QStringLiteral("-bus.conf");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(kBusConfig) < 0) {
        error_ = QStringLiteral("cannot write ") + config;
        return;
    }
    file.close();
    daemon_.start(DaemonProgram(), {QStringLiteral("--config-file=") + config,
                                    QStringLiteral("--print-address"), QStringLiteral("--nofork")});
    if (!daemon_.waitForStarted(10000)) {
        error_ = QStringLiteral("dbus-daemon did not start: ") + daemon_.errorString();
        return;
    }
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty())
        error_ = QStringLiteral("dbus-daemon printed no address: ") +
                 QString::fromUtf8(daemon_.readAllStandardError());
}

TTestBus::~TTestBus() {
    if (daemon_.state() == QProcess::NotRunning)
        return;
    daemon_.terminate();
    if (!daemon_.waitForFinished(5000))
        daemon_.kill();
    daemon_.waitForFinished(5000);
}

TFakeLogind::~TFakeLogind() {
    for (const TInhibitCall& call : inhibits_)
        close(call.ReadEnd);
}

bool TFakeLogind::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (message.interface() != QStringLiteral("org.freedesktop.login1.Manager"))
        return false;
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    std::lock_guard lock(mutex_);
    if (member == QStringLiteral("Inhibit") && args.size() == 4 && refuseInhibit_) {
        ++refusedInhibits_;
        connection.send(
            message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                     QStringLiteral("Permission denied")));
        return true;
    }
    if (member == QStringLiteral("Inhibit") && args.size() == 4) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return false;
        inhibits_.push_back({args[0].toString(), args[1].toString(), args[2].toString(),
                             args[3].toString(), ends[0]});
        // The reply holds its own copy; ours goes, so the program's is the only write end.
        const QDBusUnixFileDescriptor handed(ends[1]);
        close(ends[1]);
        connection.send(message.createReply(QVariant::fromValue(handed)));
        return true;
    }
    if (member == QStringLiteral("CanPowerOff")) {
        ++canPowerOffCalls_;
        connection.send(message.createReply(canPowerOff_));
        return true;
    }
    if (member == QStringLiteral("PowerOff") && args.size() == 1) {
        ++powerOffCalls_;
        connection.send(message.createReply());
        return true;
    }
    return false;
}

void TFakeLogind::SetCanPowerOff(const QString& answer) {
    std::lock_guard lock(mutex_);
    canPowerOff_ = answer;
}

void TFakeLogind::SetRefuseInhibit(bool refuse) {
    std::lock_guard lock(mutex_);
    refuseInhibit_ = refuse;
}

int TFakeLogind::RefusedInhibits() const {
    std::lock_guard lock(mutex_);
    return refusedInhibits_;
}

std::vector<TInhibitCall> TFakeLogind::Inhibits() const {
    std::lock_guard lock(mutex_);
    return inhibits_;
}

int TFakeLogind::CanPowerOffCalls() const {
    std::lock_guard lock(mutex_);
    return canPowerOffCalls_;
}

int TFakeLogind::PowerOffCalls() const {
    std::lock_guard lock(mutex_);
    return powerOffCalls_;
}

bool TFakeLogind::Released(size_t i) const {
    std::lock_guard lock(mutex_);
    if (i >= inhibits_.size())
        return false;
    pollfd fd{inhibits_[i].ReadEnd, POLLIN, 0};
    return poll(&fd, 1, 0) == 1 && (fd.revents & POLLHUP);
}

bool TFakeNotifications::handleMessage(const QDBusMessage& message,
                                       const QDBusConnection& connection) {
    const QList<QVariant> args = message.arguments();
    if (message.interface() != QStringLiteral("org.freedesktop.Notifications") ||
        message.member() != QStringLiteral("Notify") || args.size() != 8)
        return false;
    std::lock_guard lock(mutex_);
    // Ids that are not small counts from one, so that a program guessing them would miss.
    const uint id = 7000 + static_cast<uint>(calls_.size()) * 13;
    calls_.push_back({args[0].toString(), args[3].toString(), args[4].toString(),
                      qdbus_cast<QStringList>(args[5]), id});
    connection.send(message.createReply(QVariant::fromValue(id)));
    return true;
}

std::vector<TNotifyCall> TFakeNotifications::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

TFakeDesktop::TFakeDesktop(const QString& folder)
    : system_(folder, QStringLiteral("system")), session_(folder, QStringLiteral("session")) {
    for (const TTestBus* bus : {&system_, &session_})
        if (bus->Address().isEmpty()) {
            error_ = bus->Error();
            return;
        }
    static std::atomic<int> counter{0};
    const int n = ++counter;
    systemBus_ =
        QDBusConnection::connectToBus(system_.Address(), QStringLiteral("fake-logind-%1").arg(n));
    sessionBus_ = QDBusConnection::connectToBus(session_.Address(),
                                                QStringLiteral("fake-notifications-%1").arg(n));
    if (!systemBus_->isConnected() || !sessionBus_->isConnected()) {
        error_ = QStringLiteral("cannot connect to the test's buses");
        return;
    }
    thread_.start();
    Logind.moveToThread(&thread_);
    Notifications.moveToThread(&thread_);
    if (!systemBus_->registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &Logind) ||
        !systemBus_->registerService(QStringLiteral("org.freedesktop.login1")) ||
        !sessionBus_->registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"),
                                            &Notifications) ||
        !sessionBus_->registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        error_ = QStringLiteral("cannot register the fake services");
        return;
    }
    ready_ = true;
}

TFakeDesktop::~TFakeDesktop() {
    for (auto* bus : {&systemBus_, &sessionBus_})
        if (*bus) {
            (*bus)->unregisterObject(QStringLiteral("/org/freedesktop/login1"));
            (*bus)->unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
            QDBusConnection::disconnectFromBus((*bus)->name());
        }
    thread_.quit();
    thread_.wait();
}

void TFakeDesktop::InvokeAction(uint id, const QString& action) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
    signal << id << action;
    sessionBus_->send(signal);
}

} // namespace velto::test
