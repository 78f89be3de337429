#include "InstanceHandOff.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <memory>
#include <optional>

namespace velto {

namespace {

constexpr int kHandOffMs = 5000;
constexpr char kTaken = '+';
// A message is its length (4 bytes, big-endian), then the paths, each ended by a NUL: the one
// byte a path cannot hold. Longer ones are not from a copy of this program.
constexpr quint32 kMaxMessage = 16u << 20;

QByteArray Message(const QStringList& files) {
    QByteArray paths;
    for (const QString& file : files)
        paths += file.toUtf8() + '\0';
    QByteArray message;
    QDataStream(&message, QIODevice::WriteOnly) << static_cast<quint32>(paths.size());
    return message + paths;
}

// The files once the whole message is in buffer, nullopt while it is not; throws away a buffer
// that cannot be a message.
std::optional<QStringList> TakeMessage(QByteArray& buffer, bool& bad) {
    if (buffer.size() < 4)
        return std::nullopt;
    quint32 length = 0;
    QDataStream(buffer.left(4)) >> length;
    bad = length > kMaxMessage;
    if (bad || static_cast<quint32>(buffer.size()) - 4 < length)
        return std::nullopt;
    QStringList files;
    for (const QByteArray& path : buffer.mid(4, length).split('\0'))
        if (!path.isEmpty())
            files << QString::fromUtf8(path);
    return files;
}

} // namespace

TInstanceHandOff::TInstanceHandOff(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {}

TInstanceHandOff::~TInstanceHandOff() {
    if (server_)
        server_->close();
}

QString TInstanceHandOff::SocketFor(const QString& queueFile) {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::tempPath();
    // Socket paths are short (108 bytes): the list's path is hashed into the name.
    const QByteArray key =
        QCryptographicHash::hash(QFileInfo(queueFile).absoluteFilePath().toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return folder + QStringLiteral("/velto3gpconverter-") + QString::fromLatin1(key) +
           QStringLiteral(".socket");
}

bool TInstanceHandOff::HandToRunningCopy(const QStringList& files) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (socket.waitForConnected(kHandOffMs)) {
        socket.write(Message(files));
        // Ended only once the running copy says it has the files: else this copy runs itself.
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(kHandOffMs)) {
        }
        if (socket.waitForReadyRead(kHandOffMs) && socket.read(1) == QByteArray(1, kTaken))
            return true;
    }
    // Nobody listens: a socket left by a copy that crashed is in the way.
    QLocalServer::removeServer(socketPath_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &TInstanceHandOff::TakeConnection);
    if (!server_->listen(socketPath_)) {
        // Copies started later then run on their own, as without this.
        qWarning("Later copies cannot hand files to this one: %s",
                 qPrintable(server_->errorString()));
        delete server_;
        server_ = nullptr;
    }
    return false;
}

void TInstanceHandOff::TakeConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            bool bad = false;
            const std::optional<QStringList> files = TakeMessage(*buffer, bad);
            if (bad)
                socket->abort();
            if (!files)
                return;
            buffer->clear();
            socket->write(QByteArray(1, kTaken));
            socket->flush();
            emit FilesHandedOver(*files);
        });
    }
}

} // namespace velto
