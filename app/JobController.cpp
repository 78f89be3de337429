#include "JobController.h"

#include "ConcurrencyPolicy.h"
#include "GuiHandOver.h"
#include "QueueFile.h"
#include "QueueWriter.h"
#include "Refusals.h"
#include "SettingsStore.h"
#include "SizeForecast.h"
#include "SourceFiles.h"
#include "Trash.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <stdexcept>

namespace velto {

void TActionStates::Apply(TActionEvent event, int rowCount) {
    switch (event) {
    case TActionEvent::Created:
        *this = TActionStates{};
        break;
    case TActionEvent::Added:
        Remove = Clear = Start = true;
        break;
    case TActionEvent::Cleared:
        Add = true;
        Remove = Clear = Start = false;
        break;
    case TActionEvent::Removed:
        Remove = Clear = Start = rowCount > 0;
        break;
    case TActionEvent::Started:
        // Files can be added at any time; they join the running batch.
        Remove = Clear = Start = Resume = false;
        Stop = StopAfter = Pause = true;
        break;
    case TActionEvent::StopRequested:
        Stop = StopAfter = false;
        break;
    case TActionEvent::StopAfterRequested:
        StopAfter = false;
        break;
    case TActionEvent::Paused:
        Pause = false;
        Resume = true;
        break;
    case TActionEvent::Resumed:
        Pause = true;
        Resume = false;
        break;
    case TActionEvent::RunEnded:
        // The list stays a queue after a run: more can be added, ended rows removed.
        *this = TActionStates{};
        Remove = Clear = rowCount > 0;
        break;
    }
}

void TJobController::ShowProgress(std::uint64_t task, int fps, int currentDuration,
                                  std::int64_t currentSize, int totalDuration) {
    const int row = model_.RowOfTask(task);
    if (closing_ || row < 0)
        return;
    const int percent = ProgressPercent(currentDuration, totalDuration);
    bool started = false;
    model_.Update(row, [&](TJobNodeData& data) {
        data.Reported = true;
        data.OutputBytes = currentSize;
        data.Percent = percent;
        data.CurrentMs = currentDuration;
        if (totalDuration > 0)
            data.TotalMs = totalDuration;
        if (data.Status == TJobStatus::Queued) {
            data.Status = TJobStatus::Running;
            started = true;
        }
        data.Fps = fps;
        data.Pace.Report(currentDuration, runClock_.elapsed() - PausedMs());
    });
    // Kept once a job starts: a crash from here on brings it back stopped.
    if (started)
        SaveQueue();
    emit RowActive(row);
    WatchRoomWhileWriting();
}

TJobController::TJobController(TFFmpegEngine& engine, TAppPaths paths, TJobServices services,
                               QObject* parent)
    : QObject(parent), engine_(engine), paths_(std::move(paths)), services_(services),
      queueFile_(services.QueueFile) {
    actions_.Apply(TActionEvent::Created, 0);
    // Only rows appended keep the taken paths; anything else may have changed a name.
    const auto forgetTaken = [this] { takenRows_ = -1; };
    connect(&model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int) {
                if (first < takenRows_)
                    takenRows_ = -1;
            });
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, forgetTaken);
    connect(&model_, &QAbstractItemModel::rowsMoved, this, forgetTaken);
    connect(&model_, &QAbstractItemModel::modelReset, this, forgetTaken);
    connect(&model_, &QAbstractItemModel::layoutChanged, this, forgetTaken);
    connect(&model_, &QAbstractItemModel::dataChanged, this, forgetTaken);
    desktop_ = std::make_unique<TBatchDesktop>(
        TDesktopEdges{services_.Desktop, services_.Power, services_.Shell, services_.Countdown,
                      services_.PowerOffCountdownSeconds, services_.CountdownTickMs},
        [this](const QString& line) { LogMessage(line); });
    // The handlers run on the engine's threads under its lock: they copy, read the task's file
    // names while the task still exists, and post the rest to the GUI thread.
    engine_.OnLog = [this](int index, TLogLevel level, const std::string& message) {
        if (closing_)
            return;
        QString line = QStringLiteral("#%1.%2: ").arg(index).arg(static_cast<int>(level)) +
                       QString::fromStdString(message);
        PostToGuiThread(this, [this, line = std::move(line)] { AppendLog(line); });
    };
    engine_.OnProgress = [this](int, int, int fps, int currentDuration, float, float,
                                std::int64_t currentSize, int totalDuration) {
        if (closing_)
            return;
        // Rows are found by the task's serial: jobs removed or moved during the run renumber
        // the tasks between this report and its handling.
        const std::uint64_t task = TFFmpegEngine::ReportingTaskSerial();
        PostToGuiThread(this, [=, this] {
            ShowProgress(task, fps, currentDuration, currentSize, totalDuration);
        });
    };
    engine_.OnTerminate = [this](int index, bool, bool, const std::string& message,
                                 TJobResult result) {
        if (closing_)
            return;
        TEnded ended{index,  TFFmpegEngine::ReportingTaskSerial(),
                     result, QString::fromStdString(message),
                     {},     {}};
        if (index >= 0) {
            try {
                TInputOptions input;
                TOutputOptions output;
                engine_.GetInputOptions(index, input);
                engine_.GetOutputOptions(index, output);
                ended.Source = QString::fromStdString(input.FileName);
                ended.Output = QString::fromStdString(output.FileName);
            } catch (const std::out_of_range&) {
                // The list was cleared under a stopping task: nothing is left to act on.
                return;
            }
        }
        PostToGuiThread(this, [this, ended] { JobEnded(ended); });
    };
}

TJobController::~TJobController() {
    Shutdown();
}

void TJobController::Shutdown() {
    closing_ = true;
    // Joined before anything it hands over to can go; the list still waiting is written.
    probes_.reset();
    queueWriter_.reset();
    engine_.StopTasks();
    // Once the tasks are gone no worker can raise an event, so the handlers can go.
    engine_.ClearTasks();
    engine_.OnLog = nullptr;
    engine_.OnProgress = nullptr;
    engine_.OnTerminate = nullptr;
    engine_.OnBeforeHook = nullptr;
    engine_.OnCustomHook = nullptr;
    if (desktop_)
        desktop_->Shutdown();
}

bool TJobController::LoadLibraries() {
    if (engine_.LoadLibraries(paths_.LibrariesFolder.toStdString(), true))
        return true;
    AppendLog(QString::fromStdString(engine_.LastError));
    if (services_.Messages)
        services_.Messages->Show(
            tr("无法载入媒体库:\n%1").arg(QString::fromStdString(engine_.LastError)),
            IMessageBox::TIcon::Error);
    return false;
}

void TJobController::Add() {
    if (!actions_.Add || closing_)
        return;
    if (!LoadLibraries())
        return;
    const QStringList files = services_.Files->ChooseSourceFiles();
    if (!files.isEmpty())
        AddFiles(files);
}

void TJobController::AddFolder() {
    if (!actions_.Add || closing_ || !LoadLibraries())
        return;
    const QString folder = services_.Files->ChooseSourceFolder();
    if (!folder.isEmpty())
        AddFiles({folder});
}

namespace {

std::shared_ptr<const TDialogChoice> KeptChoice(const std::optional<TDialogChoice>& choice) {
    return choice ? std::make_shared<const TDialogChoice>(*choice) : nullptr;
}

void AddFailure(QStringList& failures, const QString& file, const QString& reason) {
    failures << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), reason);
}

// A few probes at once: each is mostly waiting on the disk or one core's parsing.
int ProbeThreads() {
    return std::clamp(MachineCores(), 1, 4);
}

// Outcomes handled in one turn of the event loop, so that the window keeps answering.
constexpr int kAddSliceMs = 10;

} // namespace

void TJobController::AddFiles(const QStringList& paths) {
    if (!actions_.Add || closing_ || paths.isEmpty() || !LoadLibraries())
        return;
    engine_.SetLogLevel(llInfo);
    TAddGroup group;
    QStringList missing;
    group.Files = ExpandSources(paths, &missing);
    for (const QString& file : missing)
        AddFailure(group.Failures, file, tr("文件不存在"));
    for (const QString& path : paths)
        if (QFileInfo(path).isDir() && ExpandSources({path}).isEmpty())
            AddFailure(group.Failures, path, tr("文件夹中没有可转换的媒体文件"));
    if (group.Files.isEmpty()) {
        ShowFailures(group.Failures);
        return;
    }
    if (!probes_)
        probes_ = std::make_unique<TProbePool>(
            ProbeThreads(), [this](std::vector<TProbeOutcome>&& outcomes) {
                PostToGuiThread(this, [this, outcomes = std::move(outcomes)]() mutable {
                    Probed(std::move(outcomes));
                });
            });
    std::vector<std::string> files;
    files.reserve(static_cast<size_t>(group.Files.size()));
    for (const QString& file : group.Files)
        files.push_back(file.toStdString());
    group.First = probes_->Add(files);
    group.End = group.First + files.size();
    groups_.push_back(std::move(group));
    // Start waits for the files still coming.
    actions_.Start = false;
    emit ActionsChanged();
}

void TJobController::Probed(std::vector<TProbeOutcome> outcomes) {
    if (closing_)
        return;
    for (TProbeOutcome& outcome : outcomes)
        if (outcome.Ticket >= firstWanted_)
            arrived_.push_back(std::move(outcome));
    ScheduleAdding();
}

void TJobController::ScheduleAdding() {
    if (addScheduled_ || arrived_.empty())
        return;
    addScheduled_ = true;
    QMetaObject::invokeMethod(
        this, [this] { AddArrived(); }, Qt::QueuedConnection);
}

void TJobController::AddArrived() {
    addScheduled_ = false;
    if (asking_ || closing_)
        return;
    QElapsedTimer slice;
    slice.start();
    while (!arrived_.empty() && !groups_.empty() && slice.elapsed() < kAddSliceMs) {
        const TProbeOutcome outcome = std::move(arrived_.front());
        arrived_.pop_front();
        TakeOutcome(groups_.front(), outcome);
        // The question's own event loop may have seen the program end.
        if (closing_ || groups_.empty())
            return;
        if (outcome.Ticket + 1 >= groups_.front().End)
            FinishGroup();
    }
    // The whole list is written each time: often enough to lose little, seldom enough to cost
    // little while thousands of rows come in.
    if (queueUnsaved_ && (!Adding() || !sinceSaved_.isValid() || sinceSaved_.elapsed() > 2000)) {
        SaveQueue();
        queueUnsaved_ = false;
        sinceSaved_.start();
    }
    ScheduleAdding();
}

void TJobController::TakeOutcome(TAddGroup& group, const TProbeOutcome& outcome) {
    if (outcome.Dropped || group.Refused)
        return;
    const QString file = QString::fromStdString(outcome.File);
    if (!outcome.Readable) {
        const QString reason = QString::fromStdString(outcome.Error);
        LogMessage(QStringLiteral("***File load error: ") + reason);
        AddFailure(group.Failures, file, RefusalReason(file, reason));
        return;
    }
    SetListVisible(true);
    auto job = std::make_shared<TJobRecords>();
    if (!group.Asked) {
        group.Asked = true;
        asking_ = true;
        group.Refused = !services_.Formats->BeginGroup(outcome.Source, group.Files);
        asking_ = false;
    }
    if (!group.Refused && !closing_)
        group.Refused = !services_.Formats->Choose(outcome.Source, TakenPaths(), *job);
    if (group.Refused) {
        if (probes_)
            probes_->Drop(outcome.Ticket + 1, group.End);
        return;
    }
    // Once for the files added together: the same lack holds for every one of them.
    for (const std::string& note : job->Notes)
        if (group.Notes.insert(note).second)
            LogMessage(QStringLiteral("***") + QString::fromStdString(note));
    TJobNodeData row;
    row.SourceName = QFileInfo(file).fileName();
    row.SourcePath = file;
    row.TotalMs = outcome.Source.DurationUs / 1000;
    row.SourceBytes = outcome.Source.Size;
    row.Choice = KeptChoice(services_.Formats->LastChoice());
    row.ForecastBytes = ForecastSize(*job, outcome.Source);
    QString reason;
    if (!AddJob(job, std::move(row), reason))
        AddFailure(group.Failures, file, reason);
}

void TJobController::FinishGroup() {
    const TAddGroup group = std::move(groups_.front());
    groups_.pop_front();
    if (group.Asked)
        services_.Formats->EndGroup();
    if (groups_.empty()) {
        // During a run the run's own actions stay as they are.
        if (model_.Count() > 0 && !running_)
            SetState(TActionEvent::Added);
        else
            emit ActionsChanged();
    }
    // The message box runs an event loop of its own: no outcome is taken inside it.
    asking_ = true;
    ShowFailures(group.Failures);
    asking_ = false;
}

void TJobController::CancelAdding() {
    if (probes_) {
        firstWanted_ = probes_->NextTicket();
        probes_->Drop(0, firstWanted_);
    }
    for (const TAddGroup& group : groups_)
        if (group.Asked)
            services_.Formats->EndGroup();
    groups_.clear();
    arrived_.clear();
}

void TJobController::ShowFailures(const QStringList& failures) {
    if (failures.isEmpty() || !services_.Messages)
        return;
    const QString text = failures.size() == 1 ? tr("无法添加文件 %1").arg(failures.first())
                                              : tr("以下 %1 个文件无法添加:\n%2")
                                                    .arg(failures.size())
                                                    .arg(failures.join(QLatin1Char('\n')));
    services_.Messages->Show(text, IMessageBox::TIcon::Exclamation);
}

std::uint64_t TJobController::CreateTask(const TJobRecords& job, QString& reason) {
    const TAddedJob added = velto::AddJob(engine_, job);
    if (added.Index < 0) {
        reason = QString::fromStdString(added.Error);
        LogMessage((added.InputRefused ? QStringLiteral("***File open error: ")
                                       : QStringLiteral("***Cannot do convert, error: ")) +
                   reason);
        return 0;
    }
    return engine_.TaskSerial(added.Index);
}

bool TJobController::AddJob(const std::shared_ptr<const TJobRecords>& job, TJobNodeData row,
                            QString& reason) {
    const QString output = QString::fromStdString(job->Output.FileName);
    // Said now rather than when the run reaches the job.
    const QFileInfo folder(QFileInfo(output).absolutePath());
    if (!folder.isDir() || !folder.isWritable()) {
        reason =
            tr("输出目录不存在或不能写入: %1").arg(QDir::toNativeSeparators(folder.filePath()));
        LogMessage(QStringLiteral("***Cannot do convert, error: ") + reason);
        return false;
    }
    const std::uint64_t task = CreateTask(*job, reason);
    if (task == 0)
        return false;
    row.OutputName = QFileInfo(output).fileName();
    row.OutputPath = output;
    row.TaskSerial = task;
    row.Status = TJobStatus::Queued;
    row.Options = job;
    row.InRun = running_;
    model_.Append(row);
    // Kept in the queue file by the adding loop, a slice of rows at a time.
    queueUnsaved_ = true;
    LogMessage(QStringLiteral("***File has been added to convert list."));
    if (running_) {
        JoinRun();
        emit ActionsChanged();
    } else {
        SetState(TActionEvent::Added);
    }
    return true;
}

bool TJobController::CanRemoveDuringRun(int row) const {
    const TJobNodeData* data = model_.Row(row);
    // A job converting is stopped first; one waiting or already ended can go.
    return running_ && !closing_ && data && data->Status != TJobStatus::Running &&
           data->Status != TJobStatus::Paused;
}

void TJobController::Remove(int row) {
    const TJobNodeData* data = model_.Row(row);
    const bool duringRun = running_;
    if (!data || (duringRun ? !CanRemoveDuringRun(row) : !actions_.Remove))
        return;
    if (const int task = engine_.TaskIndex(data->TaskSerial); task >= 0)
        engine_.RemoveTask(task);
    model_.Remove(row);
    SaveQueue();
    // During a run the run's own actions stay as they are.
    if (duringRun)
        emit ActionsChanged();
    else
        SetState(TActionEvent::Removed);
}

int TJobController::MoveTarget(int row, int step) const {
    const TJobNodeData* data = model_.Row(row);
    if (closing_ || !data || data->Status != TJobStatus::Queued || data->TaskSerial == 0 ||
        step == 0)
        return -1;
    for (int target = row + step; model_.Row(target); target += step)
        if (model_.Row(target)->Status == TJobStatus::Queued && model_.Row(target)->TaskSerial != 0)
            return target;
    return -1;
}

int TJobController::MoveWaiting(int row, int step) {
    return PlaceWaiting(row, MoveTarget(row, step));
}

int TJobController::MoveWaitingTo(int row, int target) {
    if (MoveTarget(row, target > row ? 1 : -1) < 0)
        return -1;
    const int step = target > row ? -1 : 1;
    target = std::clamp(target, 0, model_.Count() - 1);
    for (; target != row; target += step) {
        const TJobNodeData* other = model_.Row(target);
        if (other->Status == TJobStatus::Queued && other->TaskSerial != 0)
            return PlaceWaiting(row, target);
    }
    return -1;
}

int TJobController::PlaceWaiting(int row, int target) {
    if (target < 0)
        return -1;
    model_.Move(row, target);
    SyncTaskOrder();
    SaveQueue();
    emit ActionsChanged();
    return target;
}

void TJobController::SyncTaskOrder() {
    int position = 0;
    for (int i = 0; i < model_.Count(); ++i) {
        const int task = engine_.TaskIndex(model_.Row(i)->TaskSerial);
        if (task < 0)
            continue;
        // Only ever moves a task up: those before it are already in place.
        if (task != position)
            engine_.MoveTask(task, position);
        ++position;
    }
}

void TJobController::Clear() {
    if (!actions_.Clear || asking_)
        return;
    CancelAdding();
    engine_.ClearTasks();
    model_.Clear();
    normalPaths_.clear();
    SaveQueue();
    // A new list starts its figures afresh.
    finalElapsedMs_ = 0;
    SetState(TActionEvent::Cleared);
    log_.clear();
    emit LogCleared();
    SetListVisible(false);
}

namespace {

QStringList Shortages(const std::vector<TFolderRoom>& rooms) {
    QStringList tight;
    for (const TFolderRoom& room : rooms)
        if (!room.Enough())
            tight << TJobController::tr("%1: 约需 %2, 仅剩 %3")
                         .arg(QDir::toNativeSeparators(QString::fromStdString(room.Folder)),
                              QString::fromStdString(SizeText(room.Needed)),
                              QString::fromStdString(SizeText(room.Free)));
    return tight;
}

} // namespace

bool TJobController::RoomForRun() {
    std::vector<TPlannedOutput> outputs;
    for (int i = 0; i < model_.Count(); ++i) {
        const TJobNodeData* row = model_.Row(i);
        if (row->TaskSerial != 0 && !row->Ended())
            outputs.push_back({row->OutputPath.toStdString(), row->ForecastBytes});
    }
    const QStringList tight = Shortages(RoomForOutputs(outputs));
    if (tight.isEmpty() || !services_.Messages)
        return true;
    LogMessage(QStringLiteral("***Not enough room: ") + tight.join(QStringLiteral("; ")));
    return services_.Messages->Confirm(tr("输出文件夹的剩余空间可能不够:\n%1\n\n仍然开始转换吗?")
                                           .arg(tight.join(QLatin1Char('\n'))));
}

void TJobController::WatchRoomWhileWriting() {
    if (!watchRoom_ || !actions_.Pause || (roomChecked_.isValid() && roomChecked_.elapsed() < 1000))
        return;
    roomChecked_.start();
    std::vector<TWritingOutput> writing;
    for (int i = 0; i < model_.Count(); ++i) {
        const TJobNodeData* row = model_.Row(i);
        if (row->Status == TJobStatus::Running && row->Reported)
            writing.push_back({row->OutputPath.toStdString(), row->OutputBytes, row->CurrentMs,
                               row->TotalMs, row->ForecastBytes});
    }
    const QStringList tight = Shortages(RoomForWritingOutputs(writing));
    if (tight.isEmpty())
        return;
    // Told once a run: whoever resumes without making room has chosen to go on.
    watchRoom_ = false;
    Pause();
    LogMessage(QStringLiteral("***Output folder filling faster than forecast, paused: ") +
               tight.join(QStringLiteral("; ")));
    if (services_.Messages)
        services_.Messages->Show(
            tr("输出文件夹比预计的更快被写满:\n%1\n\n转换已暂停: 请腾出空间后点击“继续”。")
                .arg(tight.join(QLatin1Char('\n'))),
            IMessageBox::TIcon::Exclamation);
}

void TJobController::Start() {
    if (!actions_.Start || Adding() || engine_.TaskCount() == 0)
        return;
    // Asked before any work: a disk found full minutes in costs the time and the file.
    if (!RoomForRun())
        return;
    engine_.SetLogLevel(llInfo);
    engine_.ThreadPriority = tpNormal;
    model_.UpdateAll([](TJobNodeData& row) { row.InRun = row.TaskSerial != 0; });
    running_ = true;
    openedFolders_.clear();
    stopRequested_ = lastEndedFinished_ = false;
    lastFinishedFolder_.clear();
    desktop_->RunStarted();
    runClock_.start();
    pausedMs_ = 0;
    pauseClock_.invalidate();
    watchRoom_ = true;
    roomChecked_.invalidate();
    SetState(TActionEvent::Started);
    // Several jobs at once as the preference says; read at every start, as the dialog may have
    // changed it since.
    staleBatchEnds_ = 0;
    engine_.StartTasks(JobsAtOnce());
}

int TJobController::JobsAtOnce() const {
    const int cores = MachineCores();
    const int preference = SimultaneousJobsPreference(
        TSettingsStore(paths_.Settings()).ReadOption(kSimultaneousJobsKey, "0"), cores);
    return SimultaneousJobs(preference, engine_.TaskCount(), cores);
}

void TJobController::JoinRun() {
    // A batch that has just ended still has its final report on the way: the jobs then run as
    // a batch of their own, and that report must not end the run.
    if (!engine_.StartTasks(JobsAtOnce()))
        ++staleBatchEnds_;
}

void TJobController::ReleaseEndedTask(int row) {
    const TJobNodeData* data = model_.Row(row);
    const int task = data ? engine_.TaskIndex(data->TaskSerial) : -1;
    if (task < 0)
        return;
    engine_.RemoveTask(task);
    model_.Update(row, [](TJobNodeData& ended) { ended.TaskSerial = 0; });
}

void TJobController::Stop() {
    if (!actions_.Stop)
        return;
    SetState(TActionEvent::StopRequested);
    stopRequested_ = true;
    engine_.StopTasks();
}

void TJobController::StopAfterCurrent() {
    if (!actions_.StopAfter)
        return;
    SetState(TActionEvent::StopAfterRequested);
    LogMessage(QStringLiteral("***No further job is started: the run ends with the current ones"));
    engine_.StopStartingTasks();
}

void TJobController::Pause() {
    if (!actions_.Pause)
        return;
    SetState(TActionEvent::Paused);
    pauseClock_.start();
    model_.UpdateAll([](TJobNodeData& row) {
        if (row.Status == TJobStatus::Running)
            row.Status = TJobStatus::Paused;
    });
    engine_.PauseTasks();
    desktop_->Paused();
}

void TJobController::Resume() {
    if (!actions_.Resume)
        return;
    SetState(TActionEvent::Resumed);
    if (pauseClock_.isValid())
        pausedMs_ += pauseClock_.elapsed();
    pauseClock_.invalidate();
    model_.UpdateAll([](TJobNodeData& row) {
        if (row.Status == TJobStatus::Paused)
            row.Status = TJobStatus::Running;
    });
    engine_.ResumeTasks();
    desktop_->Resumed();
}

bool TJobController::CanEdit(int row) const {
    const TJobNodeData* data = model_.Row(row);
    // A waiting job can be changed during a run too: its task is replaced before it starts.
    // While files are being added their format question is in use.
    return !closing_ && !Adding() && data && data->Status == TJobStatus::Queued &&
           engine_.TaskIndex(data->TaskSerial) >= 0;
}

void TJobController::Edit(int row) {
    if (!CanEdit(row) || !LoadLibraries())
        return;
    const TJobNodeData old = *model_.Row(row);
    TAVProbe& probe = engine_.Probe;
    if (!probe.LoadFile(old.SourcePath.toStdString())) {
        const QString reason = QString::fromStdString(probe.LastError);
        if (services_.Messages)
            services_.Messages->Show(
                tr("无法添加文件 %1")
                    .arg(QStringLiteral("%1: %2").arg(old.SourcePath,
                                                      RefusalReason(old.SourcePath, reason))),
                IMessageBox::TIcon::Exclamation);
        return;
    }
    const TSourceSummary source = SummarizeSource(probe);
    probe.Close();
    // The job's own output name is free for its new format.
    const TTakenPaths taken = TakenPaths(row);
    auto job = std::make_shared<TJobRecords>();
    if (old.Choice)
        services_.Formats->StartFrom(*old.Choice);
    if (!services_.Formats->BeginGroup(source, {old.SourcePath}) ||
        !services_.Formats->Choose(source, taken, *job)) {
        services_.Formats->EndGroup();
        return;
    }
    services_.Formats->EndGroup();
    // During a run the job may have started while the dialog was open: it keeps its format.
    const int oldTask = engine_.TaskIndex(old.TaskSerial);
    if (oldTask < 0 || engine_.TaskStarted(oldTask) ||
        model_.Row(row)->Status != TJobStatus::Queued) {
        if (services_.Messages)
            services_.Messages->Show(tr("%1 已经开始转换, 格式没有改变。").arg(old.SourceName),
                                     IMessageBox::TIcon::Exclamation);
        return;
    }
    QString reason;
    const std::uint64_t added = CreateTask(*job, reason);
    if (added == 0) {
        if (services_.Messages)
            services_.Messages->Show(
                tr("无法添加文件 %1").arg(QStringLiteral("%1: %2").arg(old.SourcePath, reason)),
                IMessageBox::TIcon::Exclamation);
        return;
    }
    engine_.RemoveTask(engine_.TaskIndex(old.TaskSerial));
    const QString output = QString::fromStdString(job->Output.FileName);
    model_.Update(row, [&](TJobNodeData& data) {
        data.TaskSerial = added;
        data.Options = job;
        data.Choice = KeptChoice(services_.Formats->LastChoice());
        data.OutputPath = output;
        data.OutputName = QFileInfo(output).fileName();
        data.TotalMs = source.DurationUs / 1000;
    });
    SyncTaskOrder();
    SaveQueue();
    if (running_)
        JoinRun();
    emit ActionsChanged();
}

bool TJobController::CanRunAgain() const {
    if (closing_)
        return false;
    for (int i = 0; i < model_.Count(); ++i)
        if (model_.Row(i)->CanRunAgain() && model_.Row(i)->Options)
            return true;
    return false;
}

void TJobController::RunAgain(const QList<int>& rows) {
    if (closing_)
        return;
    QList<int> chosen = rows;
    if (chosen.isEmpty())
        for (int i = 0; i < model_.Count(); ++i)
            chosen << i;
    QStringList failures;
    bool queued = false;
    for (int i : chosen) {
        const TJobNodeData* data = model_.Row(i);
        if (!data || !data->CanRunAgain() || !data->Options)
            continue;
        // Ended in this run: its task has served and goes before a new one is made.
        ReleaseEndedTask(i);
        QString reason;
        const std::uint64_t task = CreateTask(*data->Options, reason);
        model_.Update(i, [&](TJobNodeData& row) {
            row.TaskSerial = task;
            row.Reason = reason;
            if (task == 0)
                return;
            row.Status = TJobStatus::Queued;
            row.InRun = running_;
            row.KeptPath.clear();
            row.Percent = 0;
            row.CurrentMs = 0;
            row.OutputBytes = 0;
            row.Reported = false;
            row.Fps = 0;
            row.Pace = {};
        });
        if (task == 0)
            failures << QStringLiteral("%1: %2").arg(data->SourceName, reason);
        else
            queued = true;
    }
    // Tasks made now come after those of jobs already waiting, whatever their rows.
    SyncTaskOrder();
    SaveQueue();
    if (!queued) {
        emit ActionsChanged();
    } else if (running_) {
        JoinRun();
        emit ActionsChanged();
    } else {
        SetState(TActionEvent::Added);
        // Asked for while idle: it runs now rather than waiting for another Start.
        Start();
    }
    if (!failures.isEmpty() && services_.Messages)
        services_.Messages->Show(failures.join(QLatin1Char('\n')), IMessageBox::TIcon::Exclamation);
}

void TJobController::OpenOutputFolder(int row) {
    const TJobNodeData* data = model_.Row(row);
    const QString file = data ? data->PlayablePath() : QString();
    if (services_.Shell && !file.isEmpty())
        services_.Shell->Open(QFileInfo(file).absolutePath(), IShell::TShow::Normal);
}

void TJobController::Play(int row) {
    const TJobNodeData* data = model_.Row(row);
    const QString file = data ? data->PlayablePath() : QString();
    if (services_.Shell && !file.isEmpty() && QFileInfo(file).isFile())
        services_.Shell->Open(file, IShell::TShow::Normal);
}

void TJobController::StopForQuit() {
    quitting_ = true;
    if (actions_.Stop)
        Stop();
}

std::int64_t TJobController::PausedMs() const {
    return pausedMs_ + (pauseClock_.isValid() ? pauseClock_.elapsed() : 0);
}

TBatchFigures TJobController::BatchFigures() const {
    std::vector<TJobAmount> jobs;
    for (int i = 0; i < model_.Count(); ++i) {
        const TJobNodeData* row = model_.Row(i);
        if (row->InRun) {
            const bool finished = row->Status == TJobStatus::Finished;
            // The last report may come before the end: a finished job converted all of it.
            jobs.push_back(
                {row->TotalMs, finished ? row->TotalMs : row->CurrentMs, row->Ended(), finished});
        }
    }
    std::int64_t elapsed = finalElapsedMs_;
    if (running_ && runClock_.isValid())
        elapsed =
            runClock_.elapsed() - pausedMs_ - (pauseClock_.isValid() ? pauseClock_.elapsed() : 0);
    return ComputeBatchFigures(jobs, elapsed);
}

TJobStatus JobStatusOf(TJobResult result) {
    switch (result) {
    case jrFinished:
        return TJobStatus::Finished;
    case jrIncomplete:
        return TJobStatus::Incomplete;
    case jrFailed:
        return TJobStatus::Failed;
    case jrStopped:
        return TJobStatus::Stopped;
    }
    return TJobStatus::Failed;
}

void TJobController::BatchEnded() {
    if (staleBatchEnds_ > 0) {
        --staleBatchEnds_;
        return;
    }
    finalElapsedMs_ = BatchFigures().ElapsedMs;
    running_ = false;
    // Read before the tasks go; the choices are read afresh as for every job.
    const bool shutDown =
        TSettingsStore(paths_.Settings()).ReadJobEndOptions(true).ShunDownWhenDone;
    desktop_->RunEnded(BatchOutcome(), !quitting_, shutDown && !quitting_);
    // The tasks go first: Start then has nothing left to start but the jobs the run did not
    // reach (it was told to stop after the current ones), which wait for the next Start.
    engine_.ClearTasks();
    model_.UpdateAll([this](TJobNodeData& row) {
        row.TaskSerial = 0;
        if (row.Status != TJobStatus::Queued || !row.Options)
            return;
        QString reason;
        row.TaskSerial = CreateTask(*row.Options, reason);
        if (row.TaskSerial == 0) {
            row.Status = TJobStatus::Failed;
            row.Reason = reason;
        }
    });
    SetState(TActionEvent::RunEnded);
    SaveQueue();
    emit RunEnded();
}

void TJobController::JobEnded(const TEnded& ended) {
    if (closing_)
        return;
    if (ended.Index < 0) {
        BatchEnded();
        return;
    }
    const int row = model_.RowOfTask(ended.Task);
    if (row < 0)
        return; // removed while its end was on its way
    const TJobStatus status = JobStatusOf(ended.Result);
    // The engine keeps a stopped or short output (when asked to) only under this name.
    QString kept;
    if (status == TJobStatus::Stopped || status == TJobStatus::Incomplete) {
        kept = QString::fromStdString(UnfinishedOutputName(ended.Output.toStdString()));
        if (!QFileInfo(kept).isFile())
            kept.clear();
    }
    model_.Update(row, [&](TJobNodeData& data) {
        data.Status = status;
        data.KeptPath = kept;
        data.Reason = status == TJobStatus::Finished ? QString() : ended.Message;
        if (status == TJobStatus::Finished) {
            data.Reported = true;
            data.Percent = 100;
            // What is on disk, beside the forecast: the last report may be a pass's.
            data.OutputBytes = QFileInfo(ended.Output).size();
        }
    });
    SaveQueue();
    if (status == TJobStatus::Failed)
        LogMessage(QStringLiteral("***%1: %2").arg(ended.Source, ended.Message));
    // Read afresh for every job: the preferences may have changed during the run.
    const TJobEndOptions options = TSettingsStore(paths_.Settings()).ReadJobEndOptions(true);
    const QFileInfo source(ended.Source);
    const QFileInfo output(ended.Output);
    // A name that resolves to the source is never deleted as an output, nor the other way round.
    const bool samePath = source.exists() && output.exists() &&
                          source.canonicalFilePath() == output.canonicalFilePath();
    const bool finished = ended.Result == jrFinished;
    if (finished) {
        // Finished means the engine verified the output under its final name; the source goes
        // only then, and only when that file is really there.
        // To the Trash, so that a wrong choice can be undone; where there is no Trash the
        // source stays.
        if (options.DeleteSourceWhenDone && source.isFile() && !samePath && output.isFile() &&
            output.size() > 0 && !MoveToTrash(ended.Source))
            LogMessage(QStringLiteral("***Source not moved to the Trash: ") + ended.Source);
        lastFinishedFolder_ = output.absolutePath();
    }
    lastEndedFinished_ = finished;
    if (options.OpenFolderWhenDone && services_.Shell && !ended.Output.isEmpty() && !quitting_ &&
        !openedFolders_.contains(output.absolutePath())) {
        openedFolders_.insert(output.absolutePath());
        services_.Shell->Open(output.absolutePath(), IShell::TShow::NoActivate);
        emit RaiseRequested();
    }
    if (ended.Result == jrIncomplete)
        LogMessage(QStringLiteral("***Conversion incomplete: ") + ended.Message);
    if (ended.Result == jrFailed && services_.Messages && !quitting_)
        services_.Messages->Show(ended.Message, IMessageBox::TIcon::Exclamation);
}

const std::string& TJobController::NormalPath(const QString& path) const {
    // Each path is put in its normal form once: a list of thousands would otherwise go to the
    // disk for every entry at every file added.
    auto known = normalPaths_.find(path);
    if (known == normalPaths_.end())
        known = normalPaths_.emplace(path, TTakenPaths::NormalForm(path.toStdString())).first;
    return known->second;
}

TTakenPaths TJobController::TakenPaths(int exceptOutputOf) const {
    TTakenPaths taken;
    for (int i = 0; i < model_.Count(); ++i) {
        taken.AddNormal(NormalPath(model_.Row(i)->SourcePath));
        if (i != exceptOutputOf)
            taken.AddNormal(NormalPath(model_.Row(i)->OutputPath));
    }
    return taken;
}

const TTakenPaths& TJobController::TakenPaths() const {
    if (takenRows_ < 0 || takenRows_ > model_.Count()) {
        taken_ = TTakenPaths();
        takenRows_ = 0;
    }
    for (; takenRows_ < model_.Count(); ++takenRows_) {
        taken_.AddNormal(NormalPath(model_.Row(takenRows_)->SourcePath));
        taken_.AddNormal(NormalPath(model_.Row(takenRows_)->OutputPath));
    }
    return taken_;
}

TBatchOutcome TJobController::BatchOutcome() const {
    TBatchOutcome outcome;
    for (int i = 0; i < model_.Count(); ++i) {
        const TJobNodeData* row = model_.Row(i);
        if (!row->InRun)
            continue;
        switch (row->Status) {
        case TJobStatus::Finished:
            ++outcome.Finished;
            break;
        case TJobStatus::Failed:
        case TJobStatus::Incomplete:
            ++outcome.Failed;
            break;
        case TJobStatus::Stopped:
            ++outcome.Stopped;
            break;
        default:
            ++outcome.Unended;
        }
    }
    outcome.LastFinished = lastEndedFinished_;
    outcome.StopRequested = stopRequested_;
    outcome.Folder = lastFinishedFolder_;
    return outcome;
}

void TJobController::SaveQueue() {
    if (queueFile_.isEmpty())
        return;
    if (!queueWriter_)
        queueWriter_ = std::make_unique<TQueueWriter>(queueFile_, [this](const QString& error) {
            PostToGuiThread(this, [this, error] { QueueSaved(error); });
        });
    std::vector<TJobNodeData> rows;
    rows.reserve(static_cast<size_t>(model_.Count()));
    for (int i = 0; i < model_.Count(); ++i)
        rows.push_back(*model_.Row(i));
    queueWriter_->Save(std::move(rows));
}

void TJobController::QueueSaved(const QString& error) {
    if (error.isEmpty()) {
        queueErrorLogged_ = false;
        return;
    }
    if (!queueErrorLogged_ && !closing_)
        LogMessage(
            QStringLiteral("***The list could not be kept in %1: %2").arg(queueFile_, error));
    queueErrorLogged_ = true;
}

void TJobController::RestoreQueue() {
    if (queueFile_.isEmpty() || queueLock_ || model_.Count() > 0)
        return;
    // One copy of the program keeps the list; another one works without keeping it.
    QDir().mkpath(QFileInfo(queueFile_).absolutePath());
    queueLock_ = std::make_unique<QLockFile>(queueFile_ + QStringLiteral(".lock"));
    queueLock_->setStaleLockTime(0);
    if (!queueLock_->tryLock(0)) {
        LogMessage(QStringLiteral("***The list is not kept: another copy of the program keeps %1")
                       .arg(queueFile_));
        queueFile_.clear();
        return;
    }
    QString error;
    std::vector<TJobNodeData> rows = LoadQueueFile(queueFile_, error);
    if (!error.isEmpty()) {
        // Set aside rather than overwritten by the next save.
        const QString aside = queueFile_ + QStringLiteral(".damaged");
        QFile::remove(aside);
        QFile::rename(queueFile_, aside);
        LogMessage(QStringLiteral("***The kept list could not be read (%1), moved to %2")
                       .arg(error, aside));
        return;
    }
    if (rows.empty())
        return;
    bool waiting = false;
    for (const TJobNodeData& row : rows)
        waiting |= row.Status == TJobStatus::Queued && row.Options;
    const bool bound = waiting && LoadLibraries();
    for (TJobNodeData& row : rows) {
        if (row.Status == TJobStatus::Finished)
            continue;
        // Whatever a cut-off run was writing is not an output.
        RemoveRunLeftovers(row.OutputPath);
        if (row.Status == TJobStatus::Running || row.Status == TJobStatus::Paused) {
            row.Status = TJobStatus::Stopped;
            row.Reason = tr("程序在转换时退出, 未完成的输出已删除");
            // The figures were saved some reports before the end and their file is gone.
            row.Percent = 0;
            row.CurrentMs = 0;
            row.OutputBytes = 0;
            row.Reported = false;
        }
        if (!row.KeptPath.isEmpty() && !QFileInfo(row.KeptPath).isFile())
            row.KeptPath.clear();
        if (row.Status != TJobStatus::Queued)
            continue;
        QString reason = tr("无法读取保存的设置");
        row.TaskSerial = row.Options && bound ? CreateTask(*row.Options, reason) : 0;
        if (row.TaskSerial == 0) {
            row.Status = TJobStatus::Failed;
            row.Reason = reason;
        }
    }
    for (const TJobNodeData& row : rows)
        model_.Append(row);
    SaveQueue();
    LogMessage(QStringLiteral("***%1 jobs restored from %2").arg(rows.size()).arg(queueFile_));
    SetState(TActionEvent::Added);
    SetListVisible(true);
}

void TJobController::SetState(TActionEvent event) {
    actions_.Apply(event, model_.Count());
    // Rows that already ran have no task: Start needs a queued job.
    if (event == TActionEvent::Added || event == TActionEvent::Removed ||
        event == TActionEvent::RunEnded)
        actions_.Start = engine_.TaskCount() > 0 && !Adding();
    emit ActionsChanged();
}

void TJobController::SetListVisible(bool visible) {
    if (listVisible_ == visible)
        return;
    listVisible_ = visible;
    emit ListVisibleChanged(visible);
}

void TJobController::AppendLog(const QString& line) {
    log_.append(line);
    emit LogAppended(line);
}

void TJobController::LogMessage(const QString& message) {
    AppendLog({});
    AppendLog(message);
    AppendLog({});
}

} // namespace velto
