#include "UiTestSupport.h"

#include "SettingsStore.h"
#include "frm_ConvertOptions.h"
#include "frm_Options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

namespace velto::test {
namespace {

using OptionsTest = DialogTest;

TEST_F(OptionsTest, OkSavesTheProfileAndTheJobEndOptionsForTheNextAdd) {
    TfrmOptions options(Services, SettingsFile, FactoryFile);
    EXPECT_EQ(options.PageControl1->currentIndex(), 0);
    EXPECT_EQ(options.frmConvertOptions->btnOK, nullptr);
    options.show();
    options.frmConvertOptions->SelectProfile(1);
    options.frmConvertOptions->cbxVideoBitrate->setCurrentText("400");
    options.chkShutdown->setChecked(true);
    QTest::mouseClick(options.btnOK, Qt::LeftButton);
    EXPECT_FALSE(options.isVisible());

    const TJobEndOptions saved = TSettingsStore(SettingsFile).ReadJobEndOptions(true);
    EXPECT_TRUE(saved.ShunDownWhenDone);
    // Shown ticked for the missing key and saved as such: the folder still opens.
    EXPECT_TRUE(saved.OpenFolderWhenDone);
    TfrmConvertOptions next(Services, SettingsFile, FactoryFile);
    EXPECT_EQ(next.SelectedProfile(), 1);
    EXPECT_EQ(next.cbxVideoBitrate->currentText(), "400");
    EXPECT_EQ(next.cbxFrameSize->currentText(), "176 x 144");
    EXPECT_TRUE(next.rbtConvertToSamePath->isChecked());
}

TEST_F(OptionsTest, TickingDeleteSourceAsksFirstAndNoLeavesItOff) {
    TfrmOptions options(Services, SettingsFile, FactoryFile);
    options.PageControl1->setCurrentIndex(1);
    options.show();
    Services.ConfirmAnswer = false;
    options.chkDeleteSource->click();
    EXPECT_EQ(Services.Questions.size(), 1u);
    EXPECT_FALSE(options.chkDeleteSource->isChecked());
    Services.ConfirmAnswer = true;
    options.chkDeleteSource->click();
    EXPECT_TRUE(options.chkDeleteSource->isChecked());
    // Unticking needs no question.
    options.chkDeleteSource->click();
    EXPECT_FALSE(options.chkDeleteSource->isChecked());
    EXPECT_EQ(Services.Questions.size(), 2u);
}

TEST_F(OptionsTest, CancelWritesNothingButKeepsWhatApplyWrote) {
    {
        TfrmOptions options(Services, SettingsFile, FactoryFile);
        options.show();
        options.chkDeleteSource->setChecked(true);
        QTest::mouseClick(options.btnCancel, Qt::LeftButton);
        EXPECT_FALSE(options.isVisible());
        EXPECT_EQ(ReadText(SettingsFile), kSettingsText);
    }
    TfrmOptions options(Services, SettingsFile, FactoryFile);
    options.show();
    options.ckbDelWhenCanceled->setChecked(true);
    QTest::mouseClick(options.btnApply, Qt::LeftButton);
    EXPECT_TRUE(options.isVisible());
    const std::string applied = ReadText(SettingsFile);
    EXPECT_NE(applied, kSettingsText);
    options.ckbDelWhenCanceled->setChecked(false);
    options.reject();
    EXPECT_EQ(ReadText(SettingsFile), applied);
    EXPECT_TRUE(TSettingsStore(SettingsFile).ReadJobEndOptions(false).DelFileWhenCanceled);
}

TEST_F(OptionsTest, DockedPageIgnoresEscapeAndStaysVisible) {
    TfrmOptions options(Services, SettingsFile, FactoryFile);
    options.show();
    QTest::keyClick(options.frmConvertOptions->cbxVideoBitrate, Qt::Key_Escape);
    // Escape reaches the preferences dialog, which closes without saving; the page stays.
    EXPECT_FALSE(options.isVisible());
    EXPECT_FALSE(options.frmConvertOptions->isHidden());
    EXPECT_EQ(ReadText(SettingsFile), kSettingsText);
}

TEST_F(OptionsTest, NoSettingsFileShowsTheValuesInEffectAndAFailedSaveKeepsTheDialogOpen) {
    TfrmOptions fresh(Services, Root + "missing.ini", FactoryFile);
    for (QCheckBox* box : {fresh.ckbDelWhenCanceled, fresh.chkDeleteSource, fresh.chkShutdown})
        EXPECT_FALSE(box->isChecked());
    // Without the key the folder is opened after each job, so the box shows it ticked.
    EXPECT_TRUE(fresh.chkOpenFolder->isChecked());

    TfrmOptions unwritable(Services, Root + "no/such/folder/Velto3GPConverter.ini", FactoryFile);
    unwritable.show();
    QTest::mouseClick(unwritable.btnOK, Qt::LeftButton);
    EXPECT_TRUE(unwritable.isVisible());
    ASSERT_EQ(Services.Messages.size(), 1u);
    EXPECT_FALSE(Services.Messages[0].isEmpty());
}

} // namespace
} // namespace velto::test
