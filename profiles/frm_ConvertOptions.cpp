#include "frm_ConvertOptions.h"

#include "AVProbe.h"
#include "frm_DialogServices.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace velto {
namespace {

// The value lists' words; the numbers and sizes need no translation.
[[maybe_unused]] const char* const kValueWords[] = {
    QT_TRANSLATE_NOOP("TfrmConvertOptions", "单声道"),
    QT_TRANSLATE_NOOP("TfrmConvertOptions", "立体声")};

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
    {
        const QSignalBlocker blocker(cbxVideoFormat);
        cbxVideoFormat->clear();
        for (const std::string& title : FModel.Catalogue().Titles())
            cbxVideoFormat->addItem(QString::fromStdString(title));
        cbxVideoFormat->setCurrentIndex(FModel.Catalogue().SelectedIndex());
    }
    ShowSelection();
    ShowOutputChoice();
}

void TfrmConvertOptions::BuildLayout() {
    setWindowTitle(tr("请选择您要输出的格式"));
    resize(536, 310);

    lblSourceFiles = new QLabel;
    lblSourceFiles->setObjectName(QStringLiteral("lblSourceFiles"));
    lblSourceFiles->setWordWrap(true);
    lblSourceFiles->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblSourceFiles->setVisible(false);
    lblAVIFormat = new QLabel(tr("输出格式(&O)"));
    cbxVideoFormat = new QComboBox;
    cbxVideoFormat->setMaxVisibleItems(20);
    cbxVideoFormat->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    lblAVIFormat->setBuddy(cbxVideoFormat);
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(lblAVIFormat);
    formatRow->addWidget(cbxVideoFormat, 1);

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
    for (QComboBox* box : {cbxFrameSize, cbxVideoBitrate, cbxFramerate, cbxAudioBitrate,
                           cbxSampleBitrate, cbxChannels})
        connect(box, &QComboBox::currentIndexChanged, this, &TfrmConvertOptions::ValueListChange);
    connect(chkKeepAspect, &QCheckBox::toggled, this, &TfrmConvertOptions::ValueListChange);
    connect(btnRestoreVideo, &QPushButton::clicked, this,
            &TfrmConvertOptions::btnRestoreVideoClick);
    connect(btnRestoreAudio, &QPushButton::clicked, this,
            &TfrmConvertOptions::btnRestoreAudioClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this,
            [this] { FServices.ShowHelp(this, QStringLiteral("output-format")); });
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
    videoGrid->addWidget(chkKeepAspect, 4, 0, 1, 3);
    videoGrid->addWidget(btnRestoreVideo, 5, 1, Qt::AlignRight);
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
    audioGrid->addWidget(btnRestoreAudio, 3, 1, Qt::AlignRight);

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
    edtOutPath->setReadOnly(true);
    btnOutPath = new QPushButton(QStringLiteral("..."));
    btnOutPath->setFixedWidth(32);
    chkOverwrite = new QCheckBox(tr("覆盖已经存在的文件"));
    auto* whereGrid = new QGridLayout(grbWhere);
    whereGrid->addWidget(rbtConvertToSamePath, 0, 0, 1, 3);
    whereGrid->addWidget(rbtConvertToPath, 1, 0);
    whereGrid->addWidget(edtOutPath, 1, 1);
    whereGrid->addWidget(btnOutPath, 1, 2);
    whereGrid->addWidget(chkOverwrite, 2, 0, 1, 3);
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
}

void TfrmConvertOptions::ShowOutputChoice() {
    const bool same = FModel.SameFolder();
    {
        const QSignalBlocker blockSame(rbtConvertToSamePath);
        const QSignalBlocker blockPath(rbtConvertToPath);
        (same ? rbtConvertToSamePath : rbtConvertToPath)->setChecked(true);
    }
    edtOutPath->setText(QString::fromStdString(FModel.FolderText()));
    edtOutPath->setEnabled(!same);
    btnOutPath->setEnabled(!same);
    const QSignalBlocker blocker(chkOverwrite);
    chkOverwrite->setChecked(FModel.Overwrite());
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

void TfrmConvertOptions::cbxVideoFormatChange(int index) {
    FModel.Catalogue().Select(index);
    ShowSelection();
}

void TfrmConvertOptions::btnRestoreVideoClick() {
    FModel.Catalogue().RestoreVideoDefaults();
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
    if (path.empty() || !FServices.IsOnOpticalDrive(path))
        return true;
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
}

void TfrmConvertOptions::ShowSourceFiles(const QStringList& files) {
    lblSourceFiles->setVisible(!files.isEmpty());
    if (files.isEmpty())
        return;
    // A long group shows its first names and how many more; the tooltip has them all.
    constexpr int kShown = 5;
    QStringList names;
    for (int i = 0; i < files.size() && i < kShown; ++i)
        names << QFileInfo(files[i]).fileName();
    QString text = tr("为 %n 个文件选择输出格式:", nullptr, static_cast<int>(files.size())) +
                   QLatin1Char(' ') + names.join(QStringLiteral(", "));
    if (files.size() > kShown)
        text += tr(" 等");
    lblSourceFiles->setText(text);
    lblSourceFiles->setToolTip(files.join(QLatin1Char('\n')));
}

void TfrmConvertOptions::AttachSourceFile(const std::string& fileName) {
    TSourceSummary source;
    source.FileName = fileName;
    FModel.AttachSource(std::move(source));
}

bool TfrmConvertOptions::SaveSettings(const TJobEndOptions* jobEnd) {
    return FModel.Save(jobEnd);
}

void TfrmConvertOptions::RemoveButtons() {
    delete btnOK;
    delete btnCancel;
    delete btnHelp;
    btnOK = btnCancel = btnHelp = nullptr;
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
