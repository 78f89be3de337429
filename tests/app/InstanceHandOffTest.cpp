// Copies of the window meet on a local socket: a second copy hands its files to the first and
// ends, a socket left by a copy that crashed does not stop the next one listening, and a
// message that cannot be from a copy of the program is dropped.
#include "InstanceHandOff.h"

#include "TestApplication.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace velto::test {
namespace {

// A later copy runs on a thread of its own: it blocks until the first copy, on this thread's
// event loop, has taken its files.
bool HandOffFromAnotherCopy(const QString& socket, const QStringList& files) {
    std::atomic<int> handed = -1;
    std::thread later([&] { handed = TInstanceHandOff(socket).HandToRunningCopy(files); });
    QElapsedTimer clock;
    clock.start();
    while (handed < 0 && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    later.join();
    return handed == 1;
}

TEST(InstanceHandOffTest, ALaterCopyHandsItsFilesToTheRunningOneEvenOverALeftOverSocket) {
    NeedApplication();
    // A socket's path is short: not in the test's own (long) scratch folder.
    const QTemporaryDir folder;
    const QString socket = folder.path() + QStringLiteral("/v.socket");
    // What a copy that was killed leaves behind.
    std::ofstream(socket.toStdString()) << "left over";
    QStringList received;
    int messages = 0;
    {
        TInstanceHandOff first(socket);
        ASSERT_FALSE(first.HandToRunningCopy({})) << "nobody runs yet: the first copy listens";
        QObject::connect(&first, &TInstanceHandOff::FilesHandedOver, [&](const QStringList& files) {
            received = files;
            ++messages;
        });
        const QStringList files = {QStringLiteral("/media/日本 clip.mp4"),
                                   QStringLiteral("/tmp/two\nlines.avi")};
        EXPECT_TRUE(HandOffFromAnotherCopy(socket, files));
        EXPECT_EQ(received, files);
        // A launcher click without files also comes through: the window comes forward.
        EXPECT_TRUE(HandOffFromAnotherCopy(socket, {}));
        EXPECT_EQ(messages, 2);
        EXPECT_TRUE(received.isEmpty());

        // Something else on the socket claims 4 GB: it is cut off, the next copy still served.
        QLocalSocket stranger;
        stranger.connectToServer(socket);
        ASSERT_TRUE(stranger.waitForConnected(5000));
        stranger.write(QByteArray("\xff\xff\xff\xff garbage", 12));
        stranger.flush();
        QElapsedTimer clock;
        clock.start();
        while (stranger.state() == QLocalSocket::ConnectedState && clock.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            stranger.waitForDisconnected(10);
        }
        EXPECT_NE(stranger.state(), QLocalSocket::ConnectedState);
        EXPECT_EQ(messages, 2);
        EXPECT_TRUE(HandOffFromAnotherCopy(socket, {QStringLiteral("/a.mkv")}));
        EXPECT_EQ(messages, 3);
    }
    // The first copy has ended: the next one finds nobody and becomes the one that listens.
    TInstanceHandOff next(socket);
    EXPECT_FALSE(next.HandToRunningCopy({QStringLiteral("/b.mkv")}));
    EXPECT_TRUE(HandOffFromAnotherCopy(socket, {}));
}

TEST(InstanceHandOffTest, EachKeptListHasItsOwnShortSocket) {
    const QString one = TInstanceHandOff::SocketFor(QStringLiteral("/home/a/.local/state/q.json"));
    const QString two = TInstanceHandOff::SocketFor(QStringLiteral("/home/b/.local/state/q.json"));
    EXPECT_NE(one, two);
    EXPECT_EQ(one, TInstanceHandOff::SocketFor(QStringLiteral("/home/a/.local/state/q.json")));
    EXPECT_LT(one.toUtf8().size(), 108) << "the limit of a socket's path";
}

} // namespace
} // namespace velto::test
