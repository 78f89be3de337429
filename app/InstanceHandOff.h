// One window per user: a copy of the program started while another runs (a file manager's
// "Open with", a second click on the launcher) hands its files to the running one and ends.
// The running copy listens on a local socket in the user's runtime folder.
#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

namespace velto {

class TInstanceHandOff : public QObject {
    Q_OBJECT
public:
    // socketPath: where copies meet; one per kept list, so that separate lists run apart.
    explicit TInstanceHandOff(QString socketPath, QObject* parent = nullptr);
    ~TInstanceHandOff() override;

    // Gives the files (absolute paths, maybe none) to a running copy and returns true once it
    // has taken them. Otherwise this copy listens for later ones and false is returned.
    bool HandToRunningCopy(const QStringList& files);

    // The socket path for a kept list: in $XDG_RUNTIME_DIR, else the temporary folder.
    static QString SocketFor(const QString& queueFile);

signals:
    // Another copy was started with these files; the window should add them and come forward.
    void FilesHandedOver(const QStringList& files);

private:
    void TakeConnection();

    QString socketPath_;
    QLocalServer* server_ = nullptr;
};

} // namespace velto
