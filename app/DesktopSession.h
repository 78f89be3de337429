// The desktop's services a running batch uses: logind's sleep inhibitor and power-off checks on
// the system bus, and notifications on the session bus. TDBusDesktopSession reaches them over
// QtDBus; tests put fake services on buses of their own.
#pragma once

#include "PlatformServices.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace velto {

// What a call to one of the services came to.
struct TSessionResult {
    enum TStatus { Done, NoBus, Failed };
    TStatus Status = Done;
    // Why, for NoBus and Failed.
    QString Error;
    bool Ok() const { return Status == Done; }
};

class IDesktopSession {
public:
    virtual ~IDesktopSession() = default;
    // Keeps the machine from sleeping or going idle until Release. Taking it while held changes
    // nothing.
    virtual TSessionResult Inhibit(const QString& why) = 0;
    virtual void Release() = 0;
    // A notification with actions given as key, label pairs; id is the one the desktop gave it.
    virtual TSessionResult Notify(const QString& summary, const QString& body,
                                  const QStringList& actions, uint& id) = 0;
    // logind's answer: "yes", "no", "challenge" or "na".
    virtual TSessionResult CanPowerOff(QString& answer) = 0;
    // Run on the GUI thread when the user picks an action of one of the notifications.
    std::function<void(uint id, const QString& action)> OnAction;
};

// Connects on first use to the buses the environment names (DBUS_SYSTEM_BUS_ADDRESS,
// DBUS_SESSION_BUS_ADDRESS, else the usual sockets), on connections of its own, so that the
// addresses are read when the object is made rather than at the process's first bus use.
// Also powers off: logind's PowerOff, falling back to `systemctl poweroff`.
class TDBusDesktopSession : public QObject, public IDesktopSession, public IPowerOff {
    Q_OBJECT
public:
    explicit TDBusDesktopSession(QObject* parent = nullptr);
    ~TDBusDesktopSession() override;

    TSessionResult Inhibit(const QString& why) override;
    void Release() override;
    TSessionResult Notify(const QString& summary, const QString& body, const QStringList& actions,
                          uint& id) override;
    TSessionResult CanPowerOff(QString& answer) override;
    void PowerOff() override;
    bool Inhibited() const { return held_.isValid(); }

private slots:
    void ActionInvoked(uint id, const QString& action);

private:
    void Connect();
    // NoBus naming every bus that is missing, when the one needed is.
    TSessionResult Missing() const;
    QDBusMessage Call(QDBusConnection& bus, const QDBusMessage& message) const;

    bool connected_ = false;
    std::optional<QDBusConnection> system_, session_;
    QString systemError_, sessionError_;
    // logind keeps the inhibitor while any copy of this descriptor is open.
    QDBusUnixFileDescriptor held_;
};

} // namespace velto
