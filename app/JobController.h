// The decisions behind the conversion list and the run buttons: adding, removing and clearing
// jobs, starting, stopping, pausing and resuming the batch, the enabled state of the seven list
// and run actions, and what happens when a job ends. Plain logic over the engine and the list
// model; the main window binds it to widgets. Public members belong to the GUI thread; the
// engine's events arrive on workers and are copied and posted here.
#pragma once

#include "AppPaths.h"
#include "FFmpegEngine.h"
#include "JobListModel.h"
#include "PlatformServices.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>

namespace velto {

struct TActionStates {
    bool Add = true;
    bool Remove = false;
    bool Clear = false;
    bool Start = false;
    bool Stop = false;
    bool Pause = false;
    bool Resume = false;

    // States 0 to 8: created, added, cleared, removed, started, stop requested, paused,
    // resumed, run ended. rowCount decides Remove, Clear and Start after a removal.
    void Apply(int state, int rowCount);
};

struct TJobServices {
    IFileChooser* Files = nullptr;
    IOutputFormatChooser* Formats = nullptr;
    IMessageBox* Messages = nullptr;
    IShell* Shell = nullptr;
    IPowerOff* Power = nullptr;
};

class TJobController : public QObject {
    Q_OBJECT
public:
    // paths.ProgramFolder holds LibAV/; job-end options come from paths.SettingsFile.
    TJobController(TFFmpegEngine& engine, TAppPaths paths, TJobServices services,
                   QObject* parent = nullptr);
    ~TJobController() override;

    TJobListModel& Model() { return model_; }
    const TActionStates& Actions() const { return actions_; }
    const QStringList& Log() const { return log_; }
    bool ListVisible() const { return listVisible_; }

    void Add();
    // row is the selected row, -1 for none.
    void Remove(int row);
    void Clear();
    void Start();
    void Stop();
    void Pause();
    void Resume();
    // The program is ending: no job's end is handled any more and every job stops.
    void Shutdown();
    // Diagnostics go to the log between two empty lines.
    void LogMessage(const QString& message);

signals:
    void ActionsChanged();
    void ListVisibleChanged(bool visible);
    void LogAppended(const QString& line);
    void LogCleared();
    // A job reported progress: its row wants selecting and scrolling into view.
    void RowActive(int row);
    // The output folder was opened: the window comes back to the front.
    void RaiseRequested();

private:
    struct TEnded {
        int Index;
        TJobResult Result;
        QString Message;
        QString Source;
        QString Output;
        bool Last;
    };
    void AddJob(TInputOptions& input, TOutputOptions& output, const TJobNodeData& row);
    void SetState(int state);
    void SetListVisible(bool visible);
    void AppendLog(const QString& line);
    void JobEnded(const TEnded& ended);
    std::vector<std::string> TakenPaths() const;

    TFFmpegEngine& engine_;
    TAppPaths paths_;
    TJobServices services_;
    TJobListModel model_;
    TActionStates actions_;
    QStringList log_;
    bool listVisible_ = false;
    // Read by the engine's handlers on workers: set once the program is ending.
    std::atomic<bool> closing_{false};
};

} // namespace velto
