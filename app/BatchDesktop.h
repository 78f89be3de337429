// When a batch takes and gives back the desktop's services: sleep is held off while jobs
// convert, one notification tells how the batch ended and can open its output folder, and the
// machine powers off after a drained batch once a cancellable countdown has run out. Plain logic
// over IDesktopSession, IPowerOff, IShell and the countdown's view; the controller tells it what
// the batch does.
#pragma once

#include "DesktopSession.h"
#include "PlatformServices.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace velto {

// The countdown before powering off as the user sees it: a box with the seconds left and Cancel.
class IPowerOffCountdownView {
public:
    virtual ~IPowerOffCountdownView() = default;
    // Does not block; cancel is to be called when the user cancels.
    virtual void Show(int secondsLeft, std::function<void()> cancel) = 0;
    virtual void Update(int secondsLeft) = 0;
    virtual void Close() = 0;
};

// How the jobs of a batch ended, read when the run is over.
struct TBatchOutcome {
    int Finished = 0;
    // Failed, or came out short.
    int Failed = 0;
    int Stopped = 0;
    // Still queued or running: the batch did not drain.
    int Unended = 0;
    // The job that ended last finished.
    bool LastFinished = false;
    bool StopRequested = false;
    // Where the last finished job wrote; empty when none finished.
    QString Folder;
};

// Only a batch that drained by itself, nothing stopped and its last job finished, leads to a
// power-off.
bool PowerOffAfter(const TBatchOutcome& outcome);

struct TDesktopEdges {
    IDesktopSession* Session = nullptr;
    IPowerOff* Power = nullptr;
    IShell* Shell = nullptr;
    IPowerOffCountdownView* Countdown = nullptr;
    int CountdownSeconds = 60;
    int TickMs = 1000;
};

class TBatchDesktop : public QObject {
    Q_OBJECT
public:
    // log takes one line for the window's log.
    TBatchDesktop(TDesktopEdges edges, std::function<void(const QString&)> log,
                  QObject* parent = nullptr);
    ~TBatchDesktop() override;

    // A new batch: a countdown left from the last one is cancelled, sleep is held off.
    void RunStarted();
    void Paused();
    void Resumed();
    // notify and powerOff are what the user's choices and the program's state allow.
    void RunEnded(const TBatchOutcome& outcome, bool notify, bool powerOff);
    // The program is ending: nothing is held, no power-off follows.
    void Shutdown();
    bool CountingDown() const { return tick_.isActive(); }
    void CancelCountdown();

    // The notification's text, e.g. "3 个文件转换完成, 1 个失败".
    static QString NoticeText(const TBatchOutcome& outcome);

private:
    void Hold();
    void StartCountdown();
    void Tick();
    // Logs a failure, a missing bus once a batch.
    void Report(const TSessionResult& result, const QString& what);

    TDesktopEdges edges_;
    std::function<void(const QString&)> log_;
    QTimer tick_;
    int secondsLeft_ = 0;
    bool busReported_ = false;
    bool inhibitReported_ = false;
    // Each notification opens the folder of its own batch.
    QHash<uint, QString> folders_;
};

} // namespace velto
