// The edges of the main window that block or reach outside the program: file and format
// choice, message boxes, the shell and power-off. The Qt program uses the implementations in
// QtPlatformServices.h; tests put fakes in their place.
#pragma once

#include "ConvertOptionsModel.h"
#include "JobBuilder.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace velto {

class IFileChooser {
public:
    virtual ~IFileChooser() = default;
    // The files to convert, empty when the user cancelled.
    virtual QStringList ChooseSourceFiles() = 0;
    // A folder whose media files, sub-folders' included, are to be converted; empty when the
    // user cancelled.
    virtual QString ChooseSourceFolder() { return {}; }
};

class IOutputFormatChooser {
public:
    virtual ~IOutputFormatChooser() = default;
    // Asks for the output of one probed file. takenPaths are the sources and outputs of the jobs
    // already listed. False when the user cancelled; otherwise the job's records are filled and
    // job.Output.FileName names the output file.
    virtual bool Choose(const TSourceSummary& source, const TTakenPaths& takenPaths,
                        TJobRecords& job) = 0;
    // Several files added at once are asked for once: BeginGroup asks with the files' names
    // shown (first is the first file's probe), then Choose builds each file's records without
    // asking again, until EndGroup. False when the user cancelled. By default each Choose asks.
    virtual bool BeginGroup(const TSourceSummary& first, const QStringList& files) {
        (void)first;
        (void)files;
        return true;
    }
    virtual void EndGroup() {}
    // The dialog as the user left it for the last Choose, kept with the job so that editing it
    // starts from there; none where nothing was asked.
    virtual std::optional<TDialogChoice> LastChoice() const { return std::nullopt; }
    // The next dialog opens at this choice instead of the last Add's.
    virtual void StartFrom(const TDialogChoice& choice) { (void)choice; }
};

class IMessageBox {
public:
    enum class TIcon { Exclamation, Error };
    virtual ~IMessageBox() = default;
    virtual void Show(const QString& text, TIcon icon) = 0;
    // A yes/no question; true for yes.
    virtual bool Confirm(const QString& text) = 0;
};

class IShell {
public:
    enum class TShow { Normal, Maximised, NoActivate };
    virtual ~IShell() = default;
    // Opens a file, folder or address (http:, mailto:) with its associated program.
    virtual bool Open(const QString& target, TShow show) = 0;
};

class IPowerOff {
public:
    virtual ~IPowerOff() = default;
    // Asks the system to power off; the result is not needed.
    virtual void PowerOff() = 0;
};

} // namespace velto
