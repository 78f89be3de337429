// The output-format dialog as the window uses it for a group of added files: which files it is
// for, its help, remembering the choice, and keeping a browsed folder.
#include "UiTestSupport.h"

#include "SettingsStore.h"
#include "frm_ConvertOptions.h"
#include "frm_Options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace velto::test {
namespace {

using ConvertOptionsGroupTest = DialogTest;

TEST_F(ConvertOptionsGroupTest, ShowsWhichFilesTheChoiceIsForAndHelpOpensItsSection) {
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    dialog.show();
    EXPECT_FALSE(dialog.lblSourceFiles->isVisible()) << "a single Add names no group";
    const QStringList files = {"/v/a.avi", "/v/b.mp4", "/v/c.mov", "/v/d.avi",
                               "/v/e.avi", "/v/f.avi", "/v/g.avi"};
    dialog.ShowSourceFiles(files);
    EXPECT_TRUE(dialog.lblSourceFiles->isVisible());
    const QString text = dialog.lblSourceFiles->text();
    EXPECT_TRUE(text.contains("7")) << text.toStdString();
    // Every name is in a list beside, which scrolls instead of growing the dialog.
    ASSERT_TRUE(dialog.lstSourceFiles->isVisible());
    ASSERT_EQ(dialog.lstSourceFiles->count(), 7);
    EXPECT_EQ(dialog.lstSourceFiles->item(6)->text(), "g.avi");
    EXPECT_LT(dialog.lstSourceFiles->maximumHeight(), 7 * dialog.fontMetrics().height());
    // A single file is named in the caption.
    dialog.ShowSourceFiles({"/v/only.avi"});
    EXPECT_TRUE(dialog.lblSourceFiles->text().contains("only.avi"));
    EXPECT_FALSE(dialog.lstSourceFiles->isVisible());

    dialog.btnHelp->click();
    EXPECT_EQ(Services.HelpSections, std::vector<QString>{"output-format"});
    EXPECT_TRUE(dialog.isVisible()) << "help leaves the dialog open";
}

TEST_F(ConvertOptionsGroupTest, ClickingTheCheckedFolderChoiceAgainKeepsTheBrowsedFolder) {
    WriteText(SettingsFile, std::string(kSettingsText) + "\n");
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    dialog.show();
    dialog.rbtConvertToPath->click();
    EXPECT_EQ(dialog.edtOutPath->text(), "Auto");
    Services.ChosenFolder = Root + "browsed";
    dialog.btnOutPath->click();
    const QString browsed = QString::fromStdString(Root + "browsed/");
    EXPECT_EQ(dialog.edtOutPath->text(), browsed);
    // A second click on the already chosen radio used to reload the saved folder.
    dialog.rbtConvertToPath->click();
    EXPECT_EQ(dialog.edtOutPath->text(), browsed);
    // Going to "same folder" and back returns to the browsed folder, not the saved one.
    dialog.rbtConvertToSamePath->click();
    EXPECT_EQ(dialog.edtOutPath->text(), "Auto");
    dialog.rbtConvertToPath->click();
    EXPECT_EQ(dialog.edtOutPath->text(), browsed);
}

TEST_F(ConvertOptionsGroupTest, AnAddRemembersProfileAndFolderButNotTheProfilesValues) {
    {
        TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
        dialog.SelectProfile(2);
        dialog.cbxVideoBitrate->setCurrentText("400");
        dialog.rbtConvertToPath->click();
        Services.ChosenFolder = Root + "out";
        dialog.btnOutPath->click();
        ASSERT_TRUE(dialog.SaveRecentChoice());
    }
    const TOutputChoice choice = TSettingsStore(SettingsFile).ReadOutputChoice();
    EXPECT_EQ(choice.OutputFormat, 2);
    EXPECT_FALSE(choice.ConvertToSamePath);
    EXPECT_EQ(choice.RecentOutputFolder, Root + "out/");
    TfrmConvertOptions next(Services, SettingsFile, FactoryFile);
    EXPECT_EQ(next.SelectedProfile(), 2);
    EXPECT_EQ(next.edtOutPath->text(), QString::fromStdString(Root + "out/"));
    EXPECT_EQ(next.cbxVideoBitrate->currentText(), "768") << "the profile's values stay as saved";

    // Choosing "same folder" is remembered without forgetting the folder.
    {
        TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
        dialog.rbtConvertToSamePath->click();
        ASSERT_TRUE(dialog.SaveRecentChoice());
    }
    const TOutputChoice same = TSettingsStore(SettingsFile).ReadOutputChoice();
    EXPECT_TRUE(same.ConvertToSamePath);
    EXPECT_EQ(same.RecentOutputFolder, Root + "out/");
}

TEST_F(ConvertOptionsGroupTest, PreferencesKeepTheLanguageChoice) {
    {
        TfrmOptions options(Services, SettingsFile, FactoryFile);
        EXPECT_EQ(options.cbxLanguage->currentData().toString(), "auto");
        options.cbxLanguage->setCurrentIndex(options.cbxLanguage->findData("en"));
        options.show();
        QTest::mouseClick(options.btnOK, Qt::LeftButton);
        EXPECT_FALSE(options.isVisible());
    }
    EXPECT_EQ(TSettingsStore(SettingsFile).ReadOption("Language"), "en");
    TfrmOptions again(Services, SettingsFile, FactoryFile);
    EXPECT_EQ(again.cbxLanguage->currentData().toString(), "en");
}

} // namespace
} // namespace velto::test
