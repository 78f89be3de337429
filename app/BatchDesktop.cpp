#include "BatchDesktop.h"

#include "QtPlatformServices.h"

namespace velto {

namespace {

const QString kOpenFolder = QStringLiteral("open-folder");

} // namespace

bool PowerOffAfter(const TBatchOutcome& outcome) {
    // A failure earlier in the batch does not keep the machine on once the rest has run, but a
    // stop, a job still queued or a last job that did not finish does.
    return outcome.Finished > 0 && outcome.Stopped == 0 && outcome.Unended == 0 &&
           outcome.LastFinished && !outcome.StopRequested;
}

TBatchDesktop::TBatchDesktop(TDesktopEdges edges, std::function<void(const QString&)> log,
                             QObject* parent)
    : QObject(parent), edges_(edges), log_(std::move(log)) {
    tick_.setInterval(edges_.TickMs);
    connect(&tick_, &QTimer::timeout, this, &TBatchDesktop::Tick);
    if (edges_.Session)
        edges_.Session->OnAction = [this](uint id, const QString& action) {
            if (action == kOpenFolder && folders_.contains(id) && edges_.Shell)
                edges_.Shell->Open(folders_.value(id), IShell::TShow::Normal);
        };
}

TBatchDesktop::~TBatchDesktop() {
    Shutdown();
    if (edges_.Session)
        edges_.Session->OnAction = nullptr;
}

void TBatchDesktop::Report(const TSessionResult& result, const QString& what) {
    if (result.Ok())
        return;
    if (result.Status == TSessionResult::NoBus) {
        if (!busReported_)
            log_(QStringLiteral("***No D-Bus, converting without the desktop's services (sleep, "
                                "notifications, power-off check): ") +
                 result.Error);
        busReported_ = true;
        return;
    }
    log_(QStringLiteral("***%1: %2").arg(what, result.Error));
}

void TBatchDesktop::Hold() {
    if (!edges_.Session)
        return;
    const TSessionResult held = edges_.Session->Inhibit(tr("正在转换视频文件"));
    // Said once a batch: a refusal at every resume would only repeat it.
    if (!held.Ok() && (held.Status == TSessionResult::NoBus || !inhibitReported_)) {
        Report(held, QStringLiteral("Sleep is not held off while converting"));
        inhibitReported_ = true;
    }
}

void TBatchDesktop::RunStarted() {
    CancelCountdown();
    busReported_ = false;
    inhibitReported_ = false;
    Hold();
}

void TBatchDesktop::Paused() {
    if (edges_.Session)
        edges_.Session->Release();
}

void TBatchDesktop::Resumed() {
    Hold();
}

QString TBatchDesktop::NoticeText(const TBatchOutcome& outcome) {
    QString text =
        outcome.Failed > 0
            ? tr("%1 个文件转换完成, %2 个失败").arg(outcome.Finished).arg(outcome.Failed)
            : tr("%1 个文件转换完成").arg(outcome.Finished);
    if (outcome.Stopped > 0)
        text += tr(", %1 个已停止").arg(outcome.Stopped);
    return text;
}

void TBatchDesktop::RunEnded(const TBatchOutcome& outcome, bool notify, bool powerOff) {
    if (edges_.Session)
        edges_.Session->Release();
    if (notify && edges_.Session) {
        QStringList actions;
        if (!outcome.Folder.isEmpty())
            actions << kOpenFolder << tr("打开输出文件夹");
        uint id = 0;
        const TSessionResult shown =
            edges_.Session->Notify(ProductName(), NoticeText(outcome), actions, id);
        if (shown.Ok() && !outcome.Folder.isEmpty())
            folders_.insert(id, outcome.Folder);
        Report(shown, QStringLiteral("No notification shown"));
    }
    if (powerOff && PowerOffAfter(outcome) && edges_.Power)
        StartCountdown();
}

void TBatchDesktop::StartCountdown() {
    if (edges_.Session) {
        // Asked before counting down: a countdown to a refused power-off would mislead.
        QString answer;
        const TSessionResult asked = edges_.Session->CanPowerOff(answer);
        if (asked.Ok() && answer != QStringLiteral("yes") &&
            answer != QStringLiteral("challenge")) {
            log_(QStringLiteral("***Not powering off: logind's CanPowerOff answers \"%1\"")
                     .arg(answer));
            return;
        }
        // Without an answer, PowerOff still tries logind and then systemctl.
        Report(asked, QStringLiteral("CanPowerOff failed"));
    }
    secondsLeft_ = edges_.CountdownSeconds;
    if (edges_.Countdown)
        edges_.Countdown->Show(secondsLeft_, [this] { CancelCountdown(); });
    tick_.start();
}

void TBatchDesktop::Tick() {
    if (--secondsLeft_ > 0) {
        if (edges_.Countdown)
            edges_.Countdown->Update(secondsLeft_);
        return;
    }
    tick_.stop();
    if (edges_.Countdown)
        edges_.Countdown->Close();
    edges_.Power->PowerOff();
}

void TBatchDesktop::CancelCountdown() {
    if (!tick_.isActive())
        return;
    tick_.stop();
    if (edges_.Countdown)
        edges_.Countdown->Close();
    log_(QStringLiteral("***Power-off cancelled."));
}

void TBatchDesktop::Shutdown() {
    if (tick_.isActive()) {
        tick_.stop();
        if (edges_.Countdown)
            edges_.Countdown->Close();
    }
    if (edges_.Session)
        edges_.Session->Release();
}

} // namespace velto
