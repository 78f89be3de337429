// The output-format dialog: profile list, video and audio value lists with their lock and
// restore buttons, and the output folder choice. Modal for each file being added (OK builds the
// job's records), or docked in the preferences without its buttons (its values are saved there).
// It never writes the settings file by itself. A view over TConvertOptionsModel; main thread.
#pragma once

#include "ConvertOptionsModel.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace velto {

class TCustomAVProbe;
class TDialogServices;

class TfrmConvertOptions : public QDialog {
    Q_OBJECT

public:
    // Loads the settings and the catalogue at once. services must outlive the dialog.
    TfrmConvertOptions(TDialogServices& services, const std::string& settingsFile,
                       const std::string& factoryFile, QWidget* parent = nullptr);

    // The file being added, as its probe found it; call before showing the dialog for an Add.
    void AttachSource(const TSourceSummary& source);
    // The same for a source known by name only.
    void AttachSourceFile(const std::string& fileName);
    // Names the files this choice is for, above the profile list (hidden when empty).
    void ShowSourceFiles(const QStringList& files);
    // Opens as the choice was left (editing a listed job); after AttachSource.
    void ShowDialogChoice(const TDialogChoice& choice);
    // After an Add: the profile and folder become the next Add's starting point.
    bool SaveRecentChoice() { return FModel.SaveRecentChoice(); }

    // After OK: the job's records. takenPaths are the sources and outputs of the jobs already in
    // the list, never chosen as this output.
    TJobRecords BuildJob(const TTakenPaths& takenPaths = {}) const {
        return FModel.BuildJob(takenPaths);
    }

    // Writes the selected profile's values and the output choice (and the job-end options when
    // given). Used by the preferences only.
    bool SaveSettings(const TJobEndOptions* jobEnd = nullptr);
    const std::string& LastError() const { return FModel.LastError(); }

    // Drops OK, Cancel and help, for docking in the preferences; the dialog then never closes
    // itself.
    void RemoveButtons();

    // Ends with OK only when the output does not lie on an optical drive.
    void done(int result) override;

    const TConvertOptionsModel& Model() const { return FModel; }
    // The catalogue place of the profile picked in the grouped list (-1: none).
    int SelectedProfile() const { return FModel.Catalogue().SelectedIndex(); }
    void SelectProfile(int index);

    QLabel* lblSourceFiles;
    QListWidget* lstSourceFiles;
    QLabel* lblAVIFormat;
    QLineEdit* edtProfileFilter;
    // Rows are captions and titles; ProfileAtRow tells a row's profile.
    QComboBox* cbxVideoFormat;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QPushButton* btnHelp;
    QGroupBox* grbWhat;
    QComboBox* cbxFrameSize;
    QComboBox* cbxVideoBitrate;
    QComboBox* cbxFramerate;
    QCheckBox* chkKeepAspect;
    QComboBox* cbxRotation; // data: TRotationChoice
    // "Fit into": no limit, the sizes messengers and e-mail take, or a size typed (megabytes).
    QComboBox* cbxFitSize;
    QPushButton* btnRestoreVideo;
    QGroupBox* GroupBox1;
    QComboBox* cbxAudioBitrate;
    QComboBox* cbxSampleBitrate;
    QComboBox* cbxChannels;
    QPushButton* btnRestoreAudio;
    // The source's sound tracks (language, codec, channels); the job converts the one shown.
    QComboBox* cbxAudioTrack;
    // Automatic, none, burned into the picture.
    QComboBox* cbxSubtitles;
    QGroupBox* grbWhere;
    QRadioButton* rbtConvertToSamePath;
    QRadioButton* rbtConvertToPath;
    QLineEdit* edtOutPath;
    QPushButton* btnOutPath;
    QLabel* lblFolderProblem;
    QCheckBox* chkOverwrite;

public slots:
    // row: a row of the grouped list; captions select nothing.
    void cbxVideoFormatChange(int row);
    void btnRestoreVideoClick();
    void btnRestoreAudioClick();
    // Tag 0: same folder; tag 1: output folder.
    void rbtConvertToSamePathClick(int tag);
    void btnOutPathClick();
    // False (with the CD-ROM message) while the output would land on an optical drive.
    bool FormCloseQuery();

private:
    void BuildLayout();
    // The video and audio value groups, side by side.
    QLayout* BuildValueGroups();
    QComboBox* BuildFitSizeList();
    void BuildOutputGroup();
    void ConnectControls();
    // Widgets from the model, without echoing the changes back.
    void ShowSelection();
    // The profile's own size limit in "fit into", once each time another profile is shown.
    void ShowProfileSizeLimit();
    void ShowOutputChoice();
    // The grouped list again, narrowed by the filter, keeping the pick when it is still listed.
    void ShowProfileList();
    // Says, below the folder, when outputs could not be written there.
    void ShowFolderProblem();
    void edtOutPathEdited(const QString& text);
    // The sound track list for the attached source, the track to be converted current.
    void ShowAudioTracks();
    // A user's pick in one of the value lists.
    void ValueListChange();
    void keyPressEvent(QKeyEvent* event) override;

    TDialogServices& FServices;
    TConvertOptionsModel FModel;
    int FSizeLimitShownFor = -2; // the profile whose limit "fit into" was last set to
    bool FDocked = false;
};

} // namespace velto
