#include "QuitSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velto {
namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

// A handler may only write: the signal's number goes through a socket pair to the event loop.
int gPair[2] = {-1, -1};
std::array<struct sigaction, kSignals.size()> gPrevious{};

void OnSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(gPair[0], &number, 1);
    errno = saved;
}

} // namespace

TQuitSignals::TQuitSignals(QObject* parent) : QObject(parent) {
    if (gPair[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gPair) != 0) {
        qWarning("Signals to end the program are not caught: no socket pair");
        return;
    }
    // A full pair must not block the handler; the signal it drops is already on its way.
    ::fcntl(gPair[0], F_SETFL, ::fcntl(gPair[0], F_GETFL) | O_NONBLOCK);
    notifier_ = new QSocketNotifier(gPair[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TQuitSignals::ReadSignal);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], nullptr, &gPrevious[i]);
        // Ignored when we started (nohup, a shell's background job): it stays so.
        if (gPrevious[i].sa_handler != SIG_IGN)
            ::sigaction(kSignals[i], &action, nullptr);
    }
}

TQuitSignals::~TQuitSignals() {
    if (!notifier_)
        return;
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    delete notifier_;
    ::close(gPair[0]);
    ::close(gPair[1]);
    gPair[0] = gPair[1] = -1;
}

void TQuitSignals::ReadSignal() {
    unsigned char number = 0;
    if (::read(gPair[1], &number, 1) == 1)
        emit QuitRequested(number);
}

} // namespace velto
