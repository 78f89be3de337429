// Buses of the test's own (dbus-daemon processes with a policy that allows everything) and small
// stand-ins for logind and the notification server on them. The stand-ins answer on a thread of
// their own, so that the program's blocking calls from the test's thread get their replies.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace velto::test {

// A dbus-daemon for one test; Address() is empty when it could not start.
class TTestBus {
public:
    // folder holds the daemon's configuration.
    explicit TTestBus(const QString& folder, const QString& name);
    ~TTestBus();
    const QString& Address() const { return address_; }
    const QString& Error() const { return error_; }
    static bool DaemonInstalled();

private:
    QProcess daemon_;
    QString address_;
    QString error_;
};

struct TInhibitCall {
    QString What, Who, Why, Mode;
    // Our end of the pipe whose other end logind handed out.
    int ReadEnd = -1;
};

class TFakeLogind : public QDBusVirtualObject {
public:
    ~TFakeLogind() override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }

    void SetCanPowerOff(const QString& answer);
    // Inhibit answers with an access-denied error, as logind does for a refused caller.
    void SetRefuseInhibit(bool refuse);
    std::vector<TInhibitCall> Inhibits() const;
    int CanPowerOffCalls() const;
    int RefusedInhibits() const;
    int PowerOffCalls() const;
    // The program has closed every copy of the descriptor of Inhibit call i.
    bool Released(size_t i) const;

private:
    mutable std::mutex mutex_;
    std::vector<TInhibitCall> inhibits_;
    QString canPowerOff_ = QStringLiteral("yes");
    bool refuseInhibit_ = false;
    int refusedInhibits_ = 0;
    int canPowerOffCalls_ = 0;
    int powerOffCalls_ = 0;
};

struct TNotifyCall {
    QString AppName, Summary, Body;
    QStringList Actions;
    uint Id = 0;
};

class TFakeNotifications : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }
    std::vector<TNotifyCall> Calls() const;

private:
    mutable std::mutex mutex_;
    std::vector<TNotifyCall> calls_;
};

// Both buses with logind on the "system" one and the notification server on the "session" one.
// Ready() is false, with Error() telling why, when something could not be set up.
class TFakeDesktop {
public:
    explicit TFakeDesktop(const QString& folder);
    ~TFakeDesktop();
    bool Ready() const { return ready_; }
    const QString& Error() const { return error_; }
    QString SystemAddress() const { return system_.Address(); }
    QString SessionAddress() const { return session_.Address(); }
    // The notification server's signal that the user picked an action.
    void InvokeAction(uint id, const QString& action);

    TFakeLogind Logind;
    TFakeNotifications Notifications;

private:
    TTestBus system_, session_;
    QThread thread_;
    std::optional<QDBusConnection> systemBus_, sessionBus_;
    bool ready_ = false;
    QString error_;
};

} // namespace velto::test
