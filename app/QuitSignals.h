// A request to end from outside the window (SIGTERM from the session at log-out or from kill,
// SIGINT from the terminal, SIGHUP when the terminal goes) ends the program as its own Quit
// does: the list is written and the hand-off socket removed, not left behind by a killed copy.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace velto {

class TQuitSignals : public QObject {
    Q_OBJECT
public:
    // Catches the signals from now on; only one exists at a time.
    explicit TQuitSignals(QObject* parent = nullptr);
    // Gives the signals back to the handlers they had before.
    ~TQuitSignals() override;

signals:
    // Raised on the event loop's thread. Each signal is caught once: a second one, when ending
    // takes too long for the sender, ends the program at once.
    void QuitRequested(int signal);

private:
    void ReadSignal();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace velto
