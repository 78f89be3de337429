// The preferences dialog: a docked output-format dialog whose values become the defaults for the
// next added files, and the four job-end options. The only place settings are saved (OK and
// Apply; Cancel and the close box save nothing). Main thread.
#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QPushButton;
class QTabWidget;

namespace velto {

class TDialogServices;
class TfrmConvertOptions;

class TfrmOptions : public QDialog {
    Q_OBJECT

public:
    // Loads the settings at once. services must outlive the dialog.
    TfrmOptions(TDialogServices& services, const std::string& settingsFile,
                const std::string& factoryFile, QWidget* parent = nullptr);

    // Closes with OK only once the settings are written.
    void done(int result) override;

    TfrmConvertOptions* frmConvertOptions;
    QTabWidget* PageControl1;
    QCheckBox* ckbDelWhenCanceled;
    QCheckBox* chkDeleteSource;
    QCheckBox* chkOpenFolder;
    QCheckBox* chkShutdown;
    QCheckBox* chkKeepFileDates;
    // The window's language: follow the system, Chinese or English; used from the next start.
    QComboBox* cbxLanguage;
    // Conversions run at the same time: 0 shows as automatic, else 1 to the cores.
    QSpinBox* spnSimultaneousJobs;
    // ISO 639 code of the sound track language to prefer; empty: none.
    QLineEdit* edtAudioLanguage;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QPushButton* btnApply;

public slots:
    void btnApplyClick();
    // Saves; on a failure tells the user and returns false.
    bool FormCloseQuery();

private:
    // The job-end boxes, the language and the number of jobs at once.
    QWidget* BuildAdvancedPage();
    void ShowSettings(const std::string& settingsFile);
    bool Save();

    TDialogServices& FServices;
    std::string FSettingsFile;
};

} // namespace velto
