#include "JobController.h"

#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace velto {

void TActionStates::Apply(int state, int rowCount) {
    switch (state) {
    case 0:
        *this = TActionStates{};
        break;
    case 1:
        Remove = Clear = Start = true;
        break;
    case 2:
        Add = true;
        Remove = Clear = Start = false;
        break;
    case 3:
        Remove = Clear = Start = rowCount > 0;
        break;
    case 4:
        Add = Remove = Clear = Start = Resume = false;
        Stop = Pause = true;
        break;
    case 5:
        Stop = false;
        break;
    case 6:
        Pause = false;
        Resume = true;
        break;
    case 7:
        Pause = true;
        Resume = false;
        break;
    case 8:
        *this = TActionStates{};
        Add = false;
        Clear = true;
        break;
    default:
        break;
    }
}

TJobController::TJobController(TFFmpegEngine& engine, TAppPaths paths, TJobServices services,
                               QObject* parent)
    : QObject(parent), engine_(engine), paths_(std::move(paths)), services_(services) {
    actions_.Apply(0, 0);
    // The handlers run on the engine's threads under its lock: they copy, read the task's file
    // names while the task still exists, and post the rest to the GUI thread.
    engine_.OnLog = [this](int index, TLogLevel level, const std::string& message) {
        if (closing_)
            return;
        QString line = QStringLiteral("#%1.%2: ").arg(index).arg(static_cast<int>(level)) +
                       QString::fromStdString(message);
        QMetaObject::invokeMethod(
            this, [this, line = std::move(line)] { AppendLog(line); }, Qt::QueuedConnection);
    };
    engine_.OnProgress = [this](int index, int, int, int currentDuration, float, float,
                                std::int64_t currentSize, int totalDuration) {
        if (closing_)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, index, currentDuration, currentSize, totalDuration] {
                if (closing_ || !model_.Row(index))
                    return;
                model_.SetProgress(
                    index,
                    QString::number(ProgressPercent(currentDuration, totalDuration)) +
                        QLatin1Char('%'),
                    FormatDuration(currentDuration / 1000), FormatSize(currentSize));
                emit RowActive(index);
            },
            Qt::QueuedConnection);
    };
    engine_.OnTerminate = [this](int index, bool, bool, const std::string& message,
                                 TJobResult result) {
        if (closing_)
            return;
        TEnded ended{index, result, QString::fromStdString(message), {}, {}, false};
        if (index >= 0) {
            try {
                TInputOptions input;
                TOutputOptions output;
                engine_.GetInputOptions(index, input);
                engine_.GetOutputOptions(index, output);
                ended.Source = QString::fromStdString(input.FileName);
                ended.Output = QString::fromStdString(output.FileName);
                ended.Last = index == engine_.TaskCount() - 1;
            } catch (const std::out_of_range&) {
                // The list was cleared under a stopping task: nothing is left to act on.
                return;
            }
        }
        QMetaObject::invokeMethod(
            this, [this, ended] { JobEnded(ended); }, Qt::QueuedConnection);
    };
}

TJobController::~TJobController() {
    Shutdown();
}

void TJobController::Shutdown() {
    closing_ = true;
    engine_.StopTasks();
    // Once the tasks are gone no worker can raise an event, so the handlers can go.
    engine_.ClearTasks();
    engine_.OnLog = nullptr;
    engine_.OnProgress = nullptr;
    engine_.OnTerminate = nullptr;
    engine_.OnBeforeHook = nullptr;
    engine_.OnCustomHook = nullptr;
}

void TJobController::Add() {
    if (!actions_.Add || closing_)
        return;
    const QString libraries = paths_.ProgramFolder + QStringLiteral("/LibAV");
    if (!engine_.LoadLibraries(QDir::toNativeSeparators(libraries).toStdString(), true)) {
        AppendLog(QString::fromStdString(engine_.LastError));
        return;
    }
    engine_.SetLogLevel(llInfo);
    const QString file = services_.Files->ChooseSourceFile();
    if (file.isEmpty())
        return;
    TAVProbe& probe = engine_.Probe;
    if (!probe.LoadFile(file.toStdString())) {
        LogMessage(QStringLiteral("***File load error: ") +
                   QString::fromStdString(probe.LastError));
        return;
    }
    TInputOptions input;
    TOutputOptions output;
    const bool chosen = services_.Formats->Choose(probe, TakenPaths(), input, output);
    TJobNodeData row;
    if (chosen) {
        TFormatInfo info{};
        probe.GetFormatInfo(info);
        row.SourceName = QFileInfo(QString::fromStdString(probe.GetFileName())).fileName();
        row.TotalTime = FormatDuration(info.Duration > 0 ? info.Duration / 1000000 : 0);
        row.SourceSize = FormatSize(probe.GetFileSize());
        row.OutputName = QFileInfo(QString::fromStdString(output.FileName)).fileName();
    }
    probe.Close();
    SetListVisible(true);
    if (chosen)
        AddJob(input, output, row);
}

void TJobController::AddJob(TInputOptions& input, TOutputOptions& output, const TJobNodeData& row) {
    const int index = engine_.AddTask(input.FileName, &input);
    if (index < 0) {
        LogMessage(QStringLiteral("***File open error: ") +
                   QString::fromStdString(engine_.LastError));
        return;
    }
    if (!engine_.AddOutput(index, output.FileName, &output)) {
        const QString error = QString::fromStdString(engine_.LastError);
        engine_.RemoveTask(index);
        LogMessage(QStringLiteral("***Cannot do convert, error: ") + error);
        return;
    }
    model_.Append(row);
    LogMessage(QStringLiteral("***File has been added to convert list."));
    SetState(1);
}

void TJobController::Remove(int row) {
    if (!actions_.Remove || !model_.Row(row) || row >= engine_.TaskCount())
        return;
    engine_.RemoveTask(row);
    model_.Remove(row);
    SetState(3);
}

void TJobController::Clear() {
    if (!actions_.Clear)
        return;
    engine_.ClearTasks();
    model_.Clear();
    SetState(2);
    log_.clear();
    emit LogCleared();
    SetListVisible(false);
}

void TJobController::Start() {
    if (!actions_.Start || engine_.TaskCount() == 0)
        return;
    engine_.SetLogLevel(llInfo);
    engine_.ThreadPriority = tpNormal;
    SetState(4);
    engine_.StartTasks(1);
}

void TJobController::Stop() {
    if (!actions_.Stop)
        return;
    SetState(5);
    engine_.StopTasks();
}

void TJobController::Pause() {
    if (!actions_.Pause)
        return;
    SetState(6);
    engine_.PauseTasks();
}

void TJobController::Resume() {
    if (!actions_.Resume)
        return;
    SetState(7);
    engine_.ResumeTasks();
}

void TJobController::JobEnded(const TEnded& ended) {
    if (closing_)
        return;
    if (ended.Index < 0) {
        SetState(8);
        engine_.ClearTasks();
        return;
    }
    // Read afresh for every job: the preferences may have changed during the run.
    const TJobEndOptions options = TSettingsStore(paths_.Settings()).ReadJobEndOptions(true);
    const QFileInfo source(ended.Source);
    const QFileInfo output(ended.Output);
    // A name that resolves to the source is never deleted as an output, nor the other way round.
    const bool samePath = source.exists() && output.exists() &&
                          source.canonicalFilePath() == output.canonicalFilePath();
    const bool finished = ended.Result == jrFinished;
    if (finished) {
        model_.SetProgressText(ended.Index, QStringLiteral("100%"));
        // Finished means the engine verified the output under its final name; the source goes
        // only then, and only when that file is really there.
        if (options.DeleteSourceWhenDone && source.isFile() && !samePath && output.isFile() &&
            output.size() > 0)
            QFile::remove(ended.Source);
        if (ended.Last && options.ShunDownWhenDone && services_.Power)
            services_.Power->PowerOff();
    }
    if (options.OpenFolderWhenDone && services_.Shell && !ended.Output.isEmpty()) {
        services_.Shell->Open(output.absolutePath(), IShell::TShow::NoActivate);
        emit RaiseRequested();
    }
    if (!finished && options.DelFileWhenCanceled && output.isFile() && !samePath)
        QFile::remove(ended.Output);
    if (ended.Result == jrIncomplete)
        LogMessage(QStringLiteral("***Conversion incomplete: ") + ended.Message);
    if (ended.Result == jrFailed && services_.Messages)
        services_.Messages->Show(ended.Message, IMessageBox::TIcon::Exclamation);
}

std::vector<std::string> TJobController::TakenPaths() const {
    std::vector<std::string> paths;
    for (int i = 0; i < engine_.TaskCount(); ++i) {
        TInputOptions input;
        TOutputOptions output;
        engine_.GetInputOptions(i, input);
        engine_.GetOutputOptions(i, output);
        paths.push_back(input.FileName);
        paths.push_back(output.FileName);
    }
    return paths;
}

void TJobController::SetState(int state) {
    actions_.Apply(state, model_.Count());
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
