#include "frm_ConvertOptions.h"

#include "AVProbe.h"
#include "frm_DialogServices.h"
#include "frm_ProfileList.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace velto {
namespace {

// The value lists' words; the numbers and sizes need no translation.
[[maybe_unused]] const char* const kValueWords[] = {
    QT_TRANSLATE_NOOP("TfrmConvertOptions", "单声道"),
    QT_TRANSLATE_NOOP("TfrmConvertOptions", "立体声"),
    QT_TRANSLATE_NOOP("TfrmConvertOptions", "Auto")};

QComboBox* ValueList(TValueList list) {
    auto* box = new QComboBox;
    // Pick-only: the lists hold exactly the entries the mapping understands; only the shown text
    // is translated, the choice is the entry's position.
    box->setEditable(false);
    for (const char* entry : ValueListEntries(list))
        box->addItem(QCoreApplication::translate("TfrmConvertOptions", entry));
    return box;
}

void AddRow(QGridLayout* grid, int row, const QString& label, QComboBox* box,
            const QString& unit = {}) {
    auto* caption = new QLabel(label);
    caption->setBuddy(box);
    grid->addWidget(caption, row, 0);
    grid->addWidget(box, row, 1);
    if (!unit.isEmpty())
        grid->addWidget(new QLabel(unit), row, 2);
}

} // namespace

TfrmConvertOptions::TfrmConvertOptions(TDialogServices& services, const std::string& settingsFile,
                                       const std::string& factoryFile, QWidget* parent)
    : QDialog(parent), FServices(services), FModel(settingsFile, factoryFile) {
    BuildLayout();
    FModel.Load();
    ShowProfileList();
    ShowSelection();
    ShowOutputChoice();
}

void TfrmConvertOptions::ShowProfileList() {
    const TProfileCatalogue& catalogue = FModel.Catalogue();
    const QString filter = edtProfileFilter->text().trimmed();
    int selected = catalogue.SelectedIndex();
    {
        const QSignalBlocker blocker(cbxVideoFormat);
        const int listed = FillProfileList(cbxVideoFormat, catalogue.Titles(), catalogue.Groups(),
                                           filter, selected);
        // Narrowing may hide the pick: the first title left takes its place. Without a filter a
        // stored choice of nothing stays nothing.
        if (!filter.isEmpty() && listed >= 0)
            selected = listed;
        cbxVideoFormat->setCurrentIndex(RowOfProfile(cbxVideoFormat, selected));
    }
    if (selected != catalogue.SelectedIndex()) {
        FModel.Catalogue().Select(selected);
        ShowSelection();
    }
}

void TfrmConvertOptions::SelectProfile(int index) {
    cbxVideoFormat->setCurrentIndex(RowOfProfile(cbxVideoFormat, index));
}

void TfrmConvertOptions::BuildLayout() {
    setWindowTitle(tr("请选择您要输出的格式"));
    resize(536, 310);

    lblSourceFiles = new QLabel;
    lblSourceFiles->setObjectName(QStringLiteral("lblSourceFiles"));
    lblSourceFiles->setWordWrap(true);
    lblSourceFiles->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblSourceFiles->setVisible(false);
    // Every name of a group, in a list that scrolls rather than growing the dialog.
    lstSourceFiles = new QListWidget;
    lstSourceFiles->setObjectName(QStringLiteral("lstSourceFiles"));
    lstSourceFiles->setTextElideMode(Qt::ElideMiddle);
    lstSourceFiles->setMaximumHeight(lstSourceFiles->fontMetrics().height() * 5);
    lstSourceFiles->setVisible(false);
    lblAVIFormat = new QLabel(tr("输出格式(&O)"));
    cbxVideoFormat = new QComboBox;
    cbxVideoFormat->setMaxVisibleItems(24);
    // Long titles must not widen the dialog; the popup still shows them whole.
    cbxVideoFormat->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbxVideoFormat->setMinimumContentsLength(30);
    lblAVIFormat->setBuddy(cbxVideoFormat);
    edtProfileFilter = new QLineEdit;
    edtProfileFilter->setObjectName(QStringLiteral("edtProfileFilter"));
    edtProfileFilter->setPlaceholderText(tr("筛选格式"));
    edtProfileFilter->setClearButtonEnabled(true);
    edtProfileFilter->setMaximumWidth(160);
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(lblAVIFormat);
    formatRow->addWidget(cbxVideoFormat, 1);
    formatRow->addWidget(edtProfileFilter);

    QLayout* valueRow = BuildValueGroups();
    BuildOutputGroup();

    btnOK = new QPushButton(tr("确定"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(tr("取消"));
    btnHelp = new QPushButton(tr("帮助(&H)"));
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(btnOK);
    buttonRow->addWidget(btnCancel);
    buttonRow->addWidget(btnHelp);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSourceFiles);
    layout->addWidget(lstSourceFiles);
    layout->addLayout(formatRow);
    layout->addLayout(valueRow);
    layout->addWidget(grbWhere);
    layout->addStretch(1);
    layout->addLayout(buttonRow);
    ConnectControls();
}

void TfrmConvertOptions::ConnectControls() {
    connect(cbxVideoFormat, &QComboBox::currentIndexChanged, this,
            &TfrmConvertOptions::cbxVideoFormatChange);
    connect(edtProfileFilter, &QLineEdit::textChanged, this, &TfrmConvertOptions::ShowProfileList);
    for (QComboBox* box : {cbxFrameSize, cbxVideoBitrate, cbxFramerate, cbxAudioBitrate,
                           cbxSampleBitrate, cbxChannels})
        connect(box, &QComboBox::currentIndexChanged, this, &TfrmConvertOptions::ValueListChange);
    connect(chkKeepAspect, &QCheckBox::toggled, this, &TfrmConvertOptions::ValueListChange);
    connect(btnRestoreVideo, &QPushButton::clicked, this,
            &TfrmConvertOptions::btnRestoreVideoClick);
    connect(btnRestoreAudio, &QPushButton::clicked, this,
            &TfrmConvertOptions::btnRestoreAudioClick);
    connect(cbxAudioTrack, &QComboBox::activated, this,
            [this](int row) { FModel.SetAudioStream(cbxAudioTrack->itemData(row).toInt()); });
    connect(cbxSubtitles, &QComboBox::currentIndexChanged, this, [this](int row) {
        FModel.SetSubtitleMode(static_cast<TSubtitleMode>(cbxSubtitles->itemData(row).toInt()));
    });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this,
            [this] { FServices.ShowHelp(this, QStringLiteral("output-format")); });
}

QComboBox* TfrmConvertOptions::BuildFitSizeList() {
    cbxFitSize = new QComboBox;
    cbxFitSize->setEditable(true);
    cbxFitSize->setInsertPolicy(QComboBox::NoInsert);
    cbxFitSize->addItem(tr("不限制"));
    for (const int megabytes : {10, 16, 25, 64})
        cbxFitSize->addItem(QString::number(megabytes));
    cbxFitSize->setToolTip(
        tr("输出文件不超过这个大小(MB), 例如电子邮件 10 或 25, 聊天软件 16 或 64"));
    connect(cbxFitSize, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        std::int64_t bytes = 0;
        if (text == cbxFitSize->itemText(0) || !ParseFitSizeText(text.toStdString(), bytes))
            bytes = 0;
        FModel.SetSizeLimit(bytes);
    });
    return cbxFitSize;
}

QLayout* TfrmConvertOptions::BuildValueGroups() {
    grbWhat = new QGroupBox(tr("视频相关(&V)"));
    cbxFrameSize = ValueList(vlFrameSize);
    cbxVideoBitrate = ValueList(vlVideoBitrate);
    cbxFramerate = ValueList(vlFramerate);
    chkKeepAspect = new QCheckBox(tr("保持画面比例(&K)"));
    btnRestoreVideo = new QPushButton(tr("恢复默认参数(&R)"));
    auto* videoGrid = new QGridLayout(grbWhat);
    AddRow(videoGrid, 0, tr("帧尺寸:"), cbxFrameSize);
    AddRow(videoGrid, 1, tr("比特率(&B):"), cbxVideoBitrate, QStringLiteral("kbps"));
    AddRow(videoGrid, 2, tr("帧率(&F):"), cbxFramerate, QStringLiteral("fps"));
    cbxRotation = new QComboBox;
    cbxRotation->addItem(tr("自动(按源文件)"), int(TRotationChoice::Auto));
    cbxRotation->addItem(tr("不旋转"), int(TRotationChoice::None));
    cbxRotation->addItem(tr("顺时针 90°"), int(TRotationChoice::Cw90));
    cbxRotation->addItem(tr("180°"), int(TRotationChoice::Cw180));
    cbxRotation->addItem(tr("顺时针 270°"), int(TRotationChoice::Cw270));
    AddRow(videoGrid, 3, tr("画面旋转:"), cbxRotation);
    AddRow(videoGrid, 4, tr("限制大小:"), BuildFitSizeList(), QStringLiteral("MB"));
    videoGrid->addWidget(chkKeepAspect, 5, 0, 1, 3);
    videoGrid->addWidget(btnRestoreVideo, 6, 1, Qt::AlignRight);
    connect(cbxRotation, &QComboBox::currentIndexChanged, this, [this](int index) {
        FModel.SetRotation(static_cast<TRotationChoice>(cbxRotation->itemData(index).toInt()));
    });

    GroupBox1 = new QGroupBox(tr("音频相关(&A)"));
    cbxAudioBitrate = ValueList(vlAudioBitrate);
    cbxSampleBitrate = ValueList(vlSampleBitrate);
    cbxChannels = ValueList(vlChannels);
    btnRestoreAudio = new QPushButton(tr("恢复默认参数(&D)"));
    auto* audioGrid = new QGridLayout(GroupBox1);
    AddRow(audioGrid, 0, tr("比特率(&r):"), cbxAudioBitrate, QStringLiteral("kbps"));
    AddRow(audioGrid, 1, tr("采样率:"), cbxSampleBitrate, QStringLiteral("Hz"));
    AddRow(audioGrid, 2, tr("声道:"), cbxChannels);
    cbxAudioTrack = new QComboBox;
    cbxAudioTrack->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    AddRow(audioGrid, 3, tr("音轨(&T):"), cbxAudioTrack);
    cbxSubtitles = new QComboBox;
    cbxSubtitles->addItem(tr("自动"), static_cast<int>(TSubtitleMode::Auto));
    cbxSubtitles->addItem(tr("不要字幕"), static_cast<int>(TSubtitleMode::None));
    cbxSubtitles->addItem(tr("烧录到画面"), static_cast<int>(TSubtitleMode::Burn));
    cbxSubtitles->setToolTip(tr("自动: MP4、M4V、MOV 和 WebM 输出保留文字字幕, 其他格式不带字幕"));
    AddRow(audioGrid, 4, tr("字幕(&S):"), cbxSubtitles);
    audioGrid->addWidget(btnRestoreAudio, 5, 1, Qt::AlignRight);

    auto* valueRow = new QHBoxLayout;
    valueRow->addWidget(grbWhat);
    valueRow->addWidget(GroupBox1);
    return valueRow;
}

void TfrmConvertOptions::BuildOutputGroup() {
    grbWhere = new QGroupBox(tr("输出相关(&F)"));
    rbtConvertToSamePath = new QRadioButton(tr("转换到与源文件相同的文件夹(&C)"));
    rbtConvertToPath = new QRadioButton(tr("输出目录:"));
    rbtConvertToSamePath->setChecked(true);
    auto* radios = new QButtonGroup(this);
    radios->addButton(rbtConvertToSamePath, 0);
    radios->addButton(rbtConvertToPath, 1);
    edtOutPath = new QLineEdit(QString::fromUtf8(kAutoFolder));
    lblFolderProblem = new QLabel;
    lblFolderProblem->setObjectName(QStringLiteral("lblFolderProblem"));
    lblFolderProblem->setStyleSheet(QStringLiteral("color: #b00020;"));
    lblFolderProblem->setWordWrap(true);
    lblFolderProblem->setVisible(false);
    btnOutPath = new QPushButton(QStringLiteral("..."));
    btnOutPath->setFixedWidth(32);
    chkOverwrite = new QCheckBox(tr("覆盖已经存在的文件"));
    auto* whereGrid = new QGridLayout(grbWhere);
    whereGrid->addWidget(rbtConvertToSamePath, 0, 0, 1, 3);
    whereGrid->addWidget(rbtConvertToPath, 1, 0);
    whereGrid->addWidget(edtOutPath, 1, 1);
    whereGrid->addWidget(btnOutPath, 1, 2);
    whereGrid->addWidget(lblFolderProblem, 2, 1, 1, 2);
    whereGrid->addWidget(chkOverwrite, 3, 0, 1, 3);
    connect(edtOutPath, &QLineEdit::textEdited, this, &TfrmConvertOptions::edtOutPathEdited);
    connect(radios, &QButtonGroup::idClicked, this, &TfrmConvertOptions::rbtConvertToSamePathClick);
    connect(btnOutPath, &QPushButton::clicked, this, &TfrmConvertOptions::btnOutPathClick);
    connect(chkOverwrite, &QCheckBox::toggled, this,
            [this](bool checked) { FModel.SetOverwrite(checked); });
}

void TfrmConvertOptions::ShowSelection() {
    const TProfileSelection& selection = FModel.Catalogue().Selection();
    const std::pair<QComboBox*, int> lists[] = {
        {cbxFrameSize, selection.FrameSize},         {cbxVideoBitrate, selection.VideoBitrate},
        {cbxFramerate, selection.Framerate},         {cbxAudioBitrate, selection.AudioBitrate},
        {cbxSampleBitrate, selection.SampleBitrate}, {cbxChannels, selection.Channels}};
    for (const auto& [box, index] : lists) {
        const QSignalBlocker blocker(box);
        box->setCurrentIndex(index);
    }
    {
        const QSignalBlocker blocker(chkKeepAspect);
        chkKeepAspect->setChecked(selection.KeepAspect);
    }
    // The video bit rate list is never locked.
    for (QComboBox* box :
         {cbxFrameSize, cbxFramerate, cbxAudioBitrate, cbxSampleBitrate, cbxChannels})
        box->setEnabled(selection.Editable);
    ShowProfileSizeLimit();
}

void TfrmConvertOptions::ShowProfileSizeLimit() {
    const int profile = FModel.Catalogue().SelectedIndex();
    if (profile == FSizeLimitShownFor)
        return;
    FSizeLimitShownFor = profile;
    // Goes to the model through the list's own change signal.
    const int megabytes = FModel.Catalogue().Profile().FitInto;
    if (megabytes <= 0)
        cbxFitSize->setCurrentIndex(0);
    else if (const int row = cbxFitSize->findText(QString::number(megabytes)); row >= 0)
        cbxFitSize->setCurrentIndex(row);
    else
        cbxFitSize->setEditText(QString::number(megabytes));
}

void TfrmConvertOptions::ShowOutputChoice() {
    const bool same = FModel.SameFolder();
    {
        const QSignalBlocker blockSame(rbtConvertToSamePath);
        const QSignalBlocker blockPath(rbtConvertToPath);
        (same ? rbtConvertToSamePath : rbtConvertToPath)->setChecked(true);
    }
    const std::string& folder = FModel.FolderText();
    edtOutPath->setText(folder == kAutoFolder ? tr("Auto") : QString::fromStdString(folder));
    edtOutPath->setEnabled(!same);
    btnOutPath->setEnabled(!same);
    {
        const QSignalBlocker blocker(chkOverwrite);
        chkOverwrite->setChecked(FModel.Overwrite());
    }
    ShowFolderProblem();
}

void TfrmConvertOptions::edtOutPathEdited(const QString& text) {
    QString folder = text.trimmed();
    // A path pasted from a file manager comes as a file: address.
    if (folder.startsWith(QStringLiteral("file:")))
        folder = QUrl(folder).toLocalFile();
    if (folder.startsWith(QLatin1Char('~')))
        folder.replace(0, 1, QDir::homePath());
    FModel.SetTypedFolder(folder.toStdString());
    ShowFolderProblem();
}

void TfrmConvertOptions::ShowFolderProblem() {
    const std::string folder = FModel.OutputFolder();
    // Nothing to say before a source is known and outputs go beside it.
    const bool problem = !(folder.empty() && FModel.SameFolder()) && !FModel.OutputFolderWritable();
    lblFolderProblem->setVisible(problem);
    if (problem)
        lblFolderProblem->setText(
            folder.empty() ? tr("请输入输出目录。")
                           : tr("输出目录不存在或不能写入: %1")
                                 .arg(QDir::toNativeSeparators(QString::fromStdString(folder))));
}

void TfrmConvertOptions::ValueListChange() {
    TProfileSelection& selection = FModel.Catalogue().Selection();
    selection.FrameSize = cbxFrameSize->currentIndex();
    selection.VideoBitrate = cbxVideoBitrate->currentIndex();
    selection.Framerate = cbxFramerate->currentIndex();
    selection.AudioBitrate = cbxAudioBitrate->currentIndex();
    selection.SampleBitrate = cbxSampleBitrate->currentIndex();
    selection.Channels = cbxChannels->currentIndex();
    selection.KeepAspect = chkKeepAspect->isChecked();
}

void TfrmConvertOptions::cbxVideoFormatChange(int row) {
    const int index = ProfileAtRow(cbxVideoFormat, row);
    if (index < 0)
        return;
    FModel.Catalogue().Select(index);
    ShowSelection();
}

void TfrmConvertOptions::btnRestoreVideoClick() {
    FModel.Catalogue().RestoreVideoDefaults();
    FSizeLimitShownFor = -2;
    ShowSelection();
}

void TfrmConvertOptions::btnRestoreAudioClick() {
    FModel.Catalogue().RestoreAudioDefaults();
    ShowSelection();
}

void TfrmConvertOptions::rbtConvertToSamePathClick(int tag) {
    if (tag == 0)
        FModel.ChooseSameFolder();
    else
        FModel.ChooseOutputFolder();
    ShowOutputChoice();
}

void TfrmConvertOptions::btnOutPathClick() {
    const std::string folder =
        FServices.ChooseFolder(this, tr("请选择输出目录"), FModel.BrowseStartFolder());
    if (folder.empty())
        return;
    if (FServices.IsOnOpticalDrive(folder)) {
        FServices.ShowInformation(this, tr("输出目录不能定位在光驱设备。"));
        return;
    }
    FModel.SetBrowsedFolder(folder);
    ShowOutputChoice();
}

bool TfrmConvertOptions::FormCloseQuery() {
    const std::string path = FModel.CloseCheckPath();
    if (path.empty() || !FServices.IsOnOpticalDrive(path)) {
        // The choices stay as they are: the user mends the folder instead of starting over.
        if (!lblFolderProblem->isVisible())
            return true;
        FServices.ShowInformation(this, lblFolderProblem->text());
        edtOutPath->setFocus();
        return false;
    }
    FServices.ShowInformation(
        this, tr("Input folder is located in CD-ROM, please select output folder."));
    if (btnOutPath->isEnabled())
        btnOutPath->setFocus();
    return false;
}

void TfrmConvertOptions::done(int result) {
    if (FDocked)
        return;
    if (result == QDialog::Accepted && !FormCloseQuery())
        return;
    QDialog::done(result);
}

void TfrmConvertOptions::AttachSource(const TSourceSummary& source) {
    FModel.AttachSource(source);
    ShowFolderProblem();
    ShowAudioTracks();
}

void TfrmConvertOptions::ShowAudioTracks() {
    const QSignalBlocker blocker(cbxAudioTrack);
    cbxAudioTrack->clear();
    const std::vector<TSourceTrack>& tracks = FModel.Source().AudioTracks;
    for (size_t i = 0; i < tracks.size(); ++i) {
        const TSourceTrack& track = tracks[i];
        const QString language =
            track.Language.empty() ? tr("未标明语言") : QString::fromStdString(track.Language);
        QString text = tr("%1: %2, %3, %n 声道", nullptr, track.Channels)
                           .arg(i + 1)
                           .arg(language, QString::fromStdString(track.Codec));
        if (track.Default)
            text += tr(" (默认)");
        cbxAudioTrack->addItem(text, track.StreamIndex);
    }
    cbxAudioTrack->setCurrentIndex(FModel.AudioTrackToConvert());
    // A single track (or none) leaves nothing to choose.
    cbxAudioTrack->setEnabled(tracks.size() > 1);
}

void TfrmConvertOptions::ShowDialogChoice(const TDialogChoice& choice) {
    FModel.ApplyDialogChoice(choice);
    ShowProfileList();
    ShowSelection();
    ShowOutputChoice();
    ShowAudioTracks();
    for (QComboBox* box : {cbxRotation, cbxSubtitles}) {
        const int value = box == cbxRotation ? static_cast<int>(choice.Rotation)
                                             : static_cast<int>(choice.SubtitleMode);
        const QSignalBlocker blocker(box);
        box->setCurrentIndex(std::max(0, box->findData(value)));
    }
}

void TfrmConvertOptions::ShowSourceFiles(const QStringList& files) {
    lblSourceFiles->setVisible(!files.isEmpty());
    lstSourceFiles->clear();
    lstSourceFiles->setVisible(files.size() > 1);
    if (files.isEmpty())
        return;
    QString text = tr("为 %n 个文件选择输出格式:", nullptr, static_cast<int>(files.size()));
    if (files.size() == 1) {
        // One long name must not stretch the dialog: its middle gives way.
        constexpr int kNameWidth = 320;
        const QFontMetrics metrics(lblSourceFiles->font());
        text += QLatin1Char(' ') +
                metrics.elidedText(QFileInfo(files[0]).fileName(), Qt::ElideMiddle, kNameWidth);
    }
    for (const QString& file : files) {
        auto* item = new QListWidgetItem(QFileInfo(file).fileName(), lstSourceFiles);
        item->setToolTip(QDir::toNativeSeparators(file));
    }
    lblSourceFiles->setText(text);
    lblSourceFiles->setToolTip(files.join(QLatin1Char('\n')));
}

void TfrmConvertOptions::AttachSourceFile(const std::string& fileName) {
    TSourceSummary source;
    source.FileName = fileName;
    FModel.AttachSource(std::move(source));
    ShowFolderProblem();
    ShowAudioTracks();
}

bool TfrmConvertOptions::SaveSettings(const TJobEndOptions* jobEnd) {
    return FModel.Save(jobEnd);
}

void TfrmConvertOptions::RemoveButtons() {
    delete btnOK;
    delete btnCancel;
    delete btnHelp;
    btnOK = btnCancel = btnHelp = nullptr;
    // Tracks and subtitles belong to a file being added.
    cbxAudioTrack->setEnabled(false);
    cbxSubtitles->setEnabled(false);
    FDocked = true;
}

void TfrmConvertOptions::keyPressEvent(QKeyEvent* event) {
    // Docked, Enter and Escape belong to the preferences dialog: a QDialog would hide itself.
    if (FDocked)
        QWidget::keyPressEvent(event);
    else
        QDialog::keyPressEvent(event);
}

} // namespace velto
