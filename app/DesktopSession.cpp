#include "DesktopSession.h"

#include "QtPlatformServices.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QVariantMap>

#include <atomic>

namespace velto {

namespace {

const QString kLogin1 = QStringLiteral("org.freedesktop.login1");
const QString kLogin1Path = QStringLiteral("/org/freedesktop/login1");
const QString kLogin1Manager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
// The GUI thread waits for these answers: a service that hangs must not freeze the window long.
constexpr int kCallTimeoutMs = 5000;

QString SystemBusAddress() {
    const QString named = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    return named.isEmpty() ? QStringLiteral("unix:path=/var/run/dbus/system_bus_socket") : named;
}

// As libdbus finds it, without its autolaunch, which would start a bus of its own.
QString SessionBusAddress() {
    const QString named = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!named.isEmpty())
        return named;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus")))
        return QStringLiteral("unix:path=") + runtime + QStringLiteral("/bus");
    return {};
}

std::optional<QDBusConnection> ConnectTo(const QString& address, const QString& kind,
                                         QString& error) {
    static std::atomic<int> counter{0};
    if (address.isEmpty()) {
        error = QStringLiteral("no %1 bus address").arg(kind);
        return std::nullopt;
    }
    const QString name = QStringLiteral("velto-%1-%2").arg(kind).arg(++counter);
    QDBusConnection bus = QDBusConnection::connectToBus(address, name);
    if (bus.isConnected())
        return bus;
    error = QStringLiteral("no %1 bus at %2 (%3)").arg(kind, address, bus.lastError().message());
    QDBusConnection::disconnectFromBus(name);
    return std::nullopt;
}

TSessionResult Failure(const QDBusMessage& reply) {
    return {TSessionResult::Failed,
            QStringLiteral("%1: %2").arg(reply.errorName(), reply.errorMessage())};
}

} // namespace

TDBusDesktopSession::TDBusDesktopSession(QObject* parent) : QObject(parent) {}

TDBusDesktopSession::~TDBusDesktopSession() {
    Release();
    for (auto* bus : {&system_, &session_})
        if (*bus)
            QDBusConnection::disconnectFromBus((*bus)->name());
}

void TDBusDesktopSession::Connect() {
    if (connected_)
        return;
    connected_ = true;
    system_ = ConnectTo(SystemBusAddress(), QStringLiteral("system"), systemError_);
    session_ = ConnectTo(SessionBusAddress(), QStringLiteral("session"), sessionError_);
    if (session_)
        session_->connect(kNotifications, kNotificationsPath, kNotifications,
                          QStringLiteral("ActionInvoked"), this,
                          SLOT(ActionInvoked(uint, QString)));
}

TSessionResult TDBusDesktopSession::Missing() const {
    QStringList missing;
    for (const QString& error : {systemError_, sessionError_})
        if (!error.isEmpty())
            missing << error;
    return {TSessionResult::NoBus, missing.join(QStringLiteral(", "))};
}

QDBusMessage TDBusDesktopSession::Call(QDBusConnection& bus, const QDBusMessage& message) const {
    return bus.call(message, QDBus::Block, kCallTimeoutMs);
}

TSessionResult TDBusDesktopSession::Inhibit(const QString& why) {
    Connect();
    if (held_.isValid())
        return {};
    if (!system_)
        return Missing();
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin1, kLogin1Path, kLogin1Manager,
                                                       QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << ProductName() << why << QStringLiteral("block");
    const QDBusMessage reply = Call(*system_, call);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return Failure(reply);
    const QDBusUnixFileDescriptor fd =
        qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().value(0));
    if (!fd.isValid())
        return {TSessionResult::Failed, QStringLiteral("logind gave no descriptor")};
    held_ = fd;
    return {};
}

void TDBusDesktopSession::Release() {
    // The last copy closes the descriptor, which ends the inhibitor.
    held_ = QDBusUnixFileDescriptor();
}

TSessionResult TDBusDesktopSession::Notify(const QString& summary, const QString& body,
                                           const QStringList& actions, uint& id) {
    Connect();
    if (!session_)
        return Missing();
    QDBusMessage call = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath,
                                                       kNotifications, QStringLiteral("Notify"));
    // The desktop finds the program's name and icon through its .desktop file.
    QString entry = QGuiApplication::desktopFileName();
    if (entry.isEmpty())
        entry = QStringLiteral("velto3gpconverter");
    const QVariantMap hints{{QStringLiteral("desktop-entry"), entry}};
    call << ProductName() << 0u << QStringLiteral("velto3gpconverter") << summary << body << actions
         << hints << -1;
    const QDBusMessage reply = Call(*session_, call);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return Failure(reply);
    id = reply.arguments().value(0).toUInt();
    return {};
}

TSessionResult TDBusDesktopSession::CanPowerOff(QString& answer) {
    Connect();
    if (!system_)
        return Missing();
    const QDBusMessage reply =
        Call(*system_, QDBusMessage::createMethodCall(kLogin1, kLogin1Path, kLogin1Manager,
                                                      QStringLiteral("CanPowerOff")));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return Failure(reply);
    answer = reply.arguments().value(0).toString();
    return {};
}

void TDBusDesktopSession::PowerOff() {
    Connect();
    if (system_) {
        QDBusMessage call = QDBusMessage::createMethodCall(kLogin1, kLogin1Path, kLogin1Manager,
                                                           QStringLiteral("PowerOff"));
        call << false;
        if (Call(*system_, call).type() == QDBusMessage::ReplyMessage)
            return;
    }
    QProcess::startDetached(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
}

void TDBusDesktopSession::ActionInvoked(uint id, const QString& action) {
    if (OnAction)
        OnAction(id, action);
}

} // namespace velto
