#include "frm_Options.h"

#include "ConcurrencyPolicy.h"
#include "SettingsStore.h"
#include "frm_ConvertOptions.h"
#include "frm_DialogServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace velto {

TfrmOptions::TfrmOptions(TDialogServices& services, const std::string& settingsFile,
                         const std::string& factoryFile, QWidget* parent)
    : QDialog(parent), FServices(services), FSettingsFile(settingsFile) {
    setWindowTitle(tr("选项"));
    resize(478, 390);

    frmConvertOptions = new TfrmConvertOptions(services, settingsFile, factoryFile);
    frmConvertOptions->RemoveButtons();
    frmConvertOptions->setWindowFlags(Qt::Widget);

    PageControl1 = new QTabWidget;
    auto* convertPage = new QWidget;
    auto* convertLayout = new QVBoxLayout(convertPage);
    convertLayout->setContentsMargins(0, 0, 0, 0);
    convertLayout->addWidget(frmConvertOptions, 0, Qt::AlignTop);
    PageControl1->addTab(convertPage, tr("转换参数"));

    PageControl1->addTab(BuildAdvancedPage(), tr("高级"));
    PageControl1->setCurrentIndex(0);

    btnOK = new QPushButton(tr("确定"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(tr("取消"));
    btnApply = new QPushButton(tr("应用(&A)"));
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(btnOK);
    buttonRow->addWidget(btnCancel);
    buttonRow->addWidget(btnApply);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttonRow);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnApply, &QPushButton::clicked, this, &TfrmOptions::btnApplyClick);
    // Sources go to the Trash, not for good; still, the user says so once when ticking it.
    connect(chkDeleteSource, &QCheckBox::clicked, this, [this](bool checked) {
        if (checked && !FServices.Confirm(this, tr("转换完成后，源文件将被移到回收站。确定吗?")))
            chkDeleteSource->setChecked(false);
    });

    ShowSettings(settingsFile);
}

QWidget* TfrmOptions::BuildAdvancedPage() {
    ckbDelWhenCanceled = new QCheckBox(tr("当中断转换时，请删除输出文件"));
    chkDeleteSource = new QCheckBox(tr("当转换完成后，请删除源文件"));
    chkOpenFolder = new QCheckBox(tr("当转换完成后，请打开目标文件所在的文件夹"));
    chkShutdown = new QCheckBox(tr("当所有转换任务完成后，请自动关闭计算机"));
    chkKeepFileDates = new QCheckBox(tr("输出文件保留源文件的修改日期"));
    auto* advancedPage = new QWidget;
    auto* advancedLayout = new QVBoxLayout(advancedPage);
    for (QCheckBox* box :
         {ckbDelWhenCanceled, chkDeleteSource, chkOpenFolder, chkShutdown, chkKeepFileDates})
        advancedLayout->addWidget(box);
    cbxLanguage = new QComboBox;
    cbxLanguage->addItem(tr("跟随系统"), QStringLiteral("auto"));
    cbxLanguage->addItem(QStringLiteral("中文"), QStringLiteral("zh_CN"));
    cbxLanguage->addItem(QStringLiteral("English"), QStringLiteral("en"));
    auto* languageLabel = new QLabel(tr("界面语言(&L):"));
    languageLabel->setBuddy(cbxLanguage);
    auto* languageRow = new QHBoxLayout;
    languageRow->addWidget(languageLabel);
    languageRow->addWidget(cbxLanguage);
    languageRow->addWidget(new QLabel(tr("(重新启动后生效)")));
    languageRow->addStretch(1);
    spnSimultaneousJobs = new QSpinBox;
    spnSimultaneousJobs->setRange(kAutomaticCount, MachineCores());
    spnSimultaneousJobs->setSpecialValueText(tr("自动"));
    auto* jobsLabel = new QLabel(tr("同时转换的任务数(&J):"));
    jobsLabel->setBuddy(spnSimultaneousJobs);
    auto* jobsRow = new QHBoxLayout;
    jobsRow->addWidget(jobsLabel);
    jobsRow->addWidget(spnSimultaneousJobs);
    jobsRow->addStretch(1);
    edtAudioLanguage = new QLineEdit;
    edtAudioLanguage->setMaxLength(3);
    edtAudioLanguage->setMaximumWidth(80);
    edtAudioLanguage->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[A-Za-z]{0,3}")), edtAudioLanguage));
    edtAudioLanguage->setPlaceholderText(tr("无"));
    auto* audioLanguageLabel = new QLabel(tr("首选音轨语言(&P):"));
    audioLanguageLabel->setBuddy(edtAudioLanguage);
    auto* audioLanguageRow = new QHBoxLayout;
    audioLanguageRow->addWidget(audioLanguageLabel);
    audioLanguageRow->addWidget(edtAudioLanguage);
    audioLanguageRow->addWidget(new QLabel(tr("(ISO 639 代码, 如 eng、jpn、chi)")));
    audioLanguageRow->addStretch(1);
    advancedLayout->addSpacing(12);
    advancedLayout->addLayout(jobsRow);
    advancedLayout->addLayout(audioLanguageRow);
    advancedLayout->addLayout(languageRow);
    advancedLayout->addStretch(1);
    return advancedPage;
}

void TfrmOptions::ShowSettings(const std::string& settingsFile) {
    // The boxes show what the batch controller will do: a missing "open folder" key means on.
    const TJobEndOptions options = TSettingsStore(settingsFile).ReadJobEndOptions(true);
    ckbDelWhenCanceled->setChecked(options.DelFileWhenCanceled);
    chkDeleteSource->setChecked(options.DeleteSourceWhenDone);
    chkOpenFolder->setChecked(options.OpenFolderWhenDone);
    chkShutdown->setChecked(options.ShunDownWhenDone);
    chkKeepFileDates->setChecked(TSettingsStore(settingsFile).ReadOption(kKeepFileDatesKey, "0") ==
                                 "1");
    const int language = cbxLanguage->findData(
        QString::fromStdString(TSettingsStore(settingsFile).ReadOption("Language", "auto")));
    cbxLanguage->setCurrentIndex(language < 0 ? 0 : language);
    spnSimultaneousJobs->setValue(SimultaneousJobsPreference(
        TSettingsStore(settingsFile).ReadOption(kSimultaneousJobsKey, "0"), MachineCores()));
    edtAudioLanguage->setText(
        QString::fromStdString(TSettingsStore(settingsFile).ReadOption(kPreferredLanguageKey)));
}

bool TfrmOptions::Save() {
    TJobEndOptions options;
    options.DelFileWhenCanceled = ckbDelWhenCanceled->isChecked();
    options.DeleteSourceWhenDone = chkDeleteSource->isChecked();
    options.OpenFolderWhenDone = chkOpenFolder->isChecked();
    options.ShunDownWhenDone = chkShutdown->isChecked();
    bool saved = frmConvertOptions->SaveSettings(&options);
    std::string error = frmConvertOptions->LastError();
    if (saved) {
        TSettingsStore store(FSettingsFile);
        saved =
            store.SaveOption("Language", cbxLanguage->currentData().toString().toStdString()) &&
            store.SaveOption(kSimultaneousJobsKey, std::to_string(spnSimultaneousJobs->value())) &&
            store.SaveOption(kPreferredLanguageKey,
                             edtAudioLanguage->text().trimmed().toLower().toStdString());
        store.SaveOption(kKeepFileDatesKey, chkKeepFileDates->isChecked() ? "1" : "0");
        error = store.LastError();
    }
    if (saved)
        return true;
    FServices.ShowInformation(this, QString::fromStdString(error));
    return false;
}

void TfrmOptions::btnApplyClick() {
    Save();
}

bool TfrmOptions::FormCloseQuery() {
    return Save();
}

void TfrmOptions::done(int result) {
    // A settings file that could not be written keeps the dialog open, so nothing is lost
    // silently; Cancel still closes.
    if (result == QDialog::Accepted && !FormCloseQuery())
        return;
    QDialog::done(result);
}

} // namespace velto
