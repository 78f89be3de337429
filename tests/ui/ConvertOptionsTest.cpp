#include "UiTestSupport.h"

#include "frm_ConvertOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace velto::test {
namespace {

using ConvertOptionsTest = DialogTest;

QString Shown(const QComboBox* box) {
    return box->currentText();
}

TEST_F(ConvertOptionsTest, SelectingAProfileSetsTheListsAndTheirLock) {
    struct TCase {
        int Profile;
        QString FrameSize, VideoBitrate, Framerate, AudioBitrate, SampleRate, Channels;
        bool Editable;
    };
    const TCase cases[] = {
        // Frame size found ignoring case.
        {0, "320 x 240", "384", "15", "64", "24000", "立体声", true},
        {1, "176 x 144", "190", "12", "8", "8000", "单声道", false},
        // "320x240" is no list entry; "Edit" absent means editable.
        {2, "", "768", "25", "128", "44100", "立体声", true},
        // Back to a profile after a locked one unlocks the lists again.
        {0, "320 x 240", "384", "15", "64", "24000", "立体声", true},
    };
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    ASSERT_EQ(dialog.cbxVideoFormat->count(), 6) << "three titles under three captions";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Profile);
        dialog.SelectProfile(c.Profile);
        EXPECT_EQ(Shown(dialog.cbxFrameSize), c.FrameSize);
        EXPECT_EQ(Shown(dialog.cbxVideoBitrate), c.VideoBitrate);
        EXPECT_EQ(Shown(dialog.cbxFramerate), c.Framerate);
        EXPECT_EQ(Shown(dialog.cbxAudioBitrate), c.AudioBitrate);
        EXPECT_EQ(Shown(dialog.cbxSampleBitrate), c.SampleRate);
        EXPECT_EQ(Shown(dialog.cbxChannels), c.Channels);
        for (QComboBox* box : {dialog.cbxFrameSize, dialog.cbxFramerate, dialog.cbxAudioBitrate,
                               dialog.cbxSampleBitrate, dialog.cbxChannels})
            EXPECT_EQ(box->isEnabled(), c.Editable);
        EXPECT_TRUE(dialog.cbxVideoBitrate->isEnabled());
        EXPECT_TRUE(dialog.btnRestoreVideo->isEnabled());
    }
}

// The proportions box shows the profile's choice and the user's tick reaches the saved profile.
TEST_F(ConvertOptionsTest, KeepProportionsFollowsTheProfileAndIsSaved) {
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    EXPECT_FALSE(dialog.chkKeepAspect->isChecked());
    dialog.SelectProfile(2);
    EXPECT_TRUE(dialog.chkKeepAspect->isChecked());
    dialog.SelectProfile(1);
    // Locked profiles still let the user choose it.
    EXPECT_TRUE(dialog.chkKeepAspect->isEnabled());
    dialog.chkKeepAspect->click();
    EXPECT_TRUE(dialog.Model().Catalogue().Selection().KeepAspect);
    ASSERT_TRUE(dialog.SaveSettings()) << dialog.LastError();
    EXPECT_NE(ReadText(SettingsFile).find("Channels=0\nKeepAspect=1\n"), std::string::npos);
}

TEST_F(ConvertOptionsTest, RestoreButtonsTakeFactoryValuesAndWriteNothing) {
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    dialog.cbxFrameSize->setCurrentText("80 x 60");
    dialog.cbxChannels->setCurrentIndex(0);
    dialog.cbxAudioBitrate->setCurrentText("8");

    QTest::mouseClick(dialog.btnRestoreVideo, Qt::LeftButton);
    EXPECT_EQ(Shown(dialog.cbxFrameSize), "640 x 480");
    EXPECT_EQ(Shown(dialog.cbxVideoBitrate), "1000");
    EXPECT_EQ(Shown(dialog.cbxFramerate), "25");
    // The audio side keeps the user's picks until its own button.
    EXPECT_EQ(Shown(dialog.cbxAudioBitrate), "8");

    QTest::mouseClick(dialog.btnRestoreAudio, Qt::LeftButton);
    EXPECT_EQ(Shown(dialog.cbxAudioBitrate), "128");
    EXPECT_EQ(Shown(dialog.cbxSampleBitrate), "44100");
    EXPECT_EQ(Shown(dialog.cbxChannels), "立体声"); // no "Channels" in the factory file

    // The picks reach the job's record; the settings file is untouched.
    dialog.AttachSourceFile(Root + "clip.avi");
    const TOutputOptions options = dialog.BuildJob().Output;
    EXPECT_EQ(options.FrameSize, "640x480");
    EXPECT_EQ(options.AudioBitRate, 128000);
    EXPECT_EQ(options.AudioChannels, 2);
    EXPECT_EQ(ReadText(SettingsFile), kSettingsText);
}

TEST_F(ConvertOptionsTest, OkIsRefusedWhileTheOutputWouldLandOnACd) {
    WriteText(SettingsFile, std::string(kSettingsText) + "\n"); // keep "Auto" as the recent folder
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    dialog.AttachSourceFile("/media/cdrom/video/clip.avi");
    dialog.show();
    QTest::mouseClick(dialog.btnHelp, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(Services.Messages.empty());

    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(Services.Messages.size(), 1u);
    EXPECT_EQ(Services.Messages[0],
              "Input folder is located in CD-ROM, please select output folder.");

    // The output-folder choice alone still means "Auto", beside the source: still refused.
    dialog.rbtConvertToPath->click();
    EXPECT_EQ(dialog.edtOutPath->text(), "Auto");
    EXPECT_TRUE(dialog.btnOutPath->isEnabled());
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());

    // Browsing starts in the source's folder only when it exists; a CD folder is refused.
    Services.ChosenFolder = "/media/cdrom/out";
    QTest::mouseClick(dialog.btnOutPath, Qt::LeftButton);
    EXPECT_EQ(Services.BrowseStarts.back(), "");
    EXPECT_EQ(Services.Messages.back(), "输出目录不能定位在光驱设备。");
    EXPECT_EQ(dialog.edtOutPath->text(), "Auto");

    Services.ChosenFolder = Folder.path().toStdString();
    QTest::mouseClick(dialog.btnOutPath, Qt::LeftButton);
    EXPECT_EQ(dialog.edtOutPath->text().toStdString(), Root);
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.BuildJob().Output.FileName, Root + "clip_(new).mp4");
    EXPECT_EQ(ReadText(SettingsFile), std::string(kSettingsText) + "\n");
}

TEST_F(ConvertOptionsTest, OutputChoiceFollowsTheSettingsAtClickTime) {
    std::string text = kSettingsText;
    text.replace(text.find("ConvertToSamePath=1"), 19, "ConvertToSamePath=0");
    text.replace(text.find("OverwriteExistFile=0"), 20, "OverwriteExistFile=1");
    text.replace(text.find("RecentOutputFolder=Auto"), 23, "RecentOutputFolder=" + Root);
    WriteText(SettingsFile, text);
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    EXPECT_TRUE(dialog.rbtConvertToPath->isChecked());
    EXPECT_TRUE(dialog.chkOverwrite->isChecked());
    EXPECT_EQ(dialog.edtOutPath->text().toStdString(), Root);

    dialog.rbtConvertToSamePath->click();
    EXPECT_EQ(dialog.edtOutPath->text(), "Auto");
    EXPECT_FALSE(dialog.edtOutPath->isEnabled());
    EXPECT_FALSE(dialog.btnOutPath->isEnabled());

    // The recent folder is read when the radio is clicked, not when the dialog was made.
    WriteText(SettingsFile, kSettingsText);
    dialog.rbtConvertToPath->click();
    EXPECT_EQ(dialog.edtOutPath->text(), "Auto");
    // Docked use has no source: browsing from "Auto" starts nowhere.
    QTest::mouseClick(dialog.btnOutPath, Qt::LeftButton);
    ASSERT_EQ(Services.BrowseStarts.size(), 1u);
    EXPECT_EQ(Services.BrowseStarts[0], "");

    // Cancelling the browser changes nothing; "Auto" still puts the output beside the source.
    dialog.AttachSourceFile(Root + "clip.avi");
    EXPECT_EQ(dialog.BuildJob().Output.FileName, Root + "clip_(new).mp4");
}

// Titles sit under the kind of device they are for; a caption is never a choice, and the filter
// narrows the list without losing the pick while it is still listed.
TEST_F(ConvertOptionsTest, ProfilesAreGroupedByKindAndNarrowedByTheFilter) {
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    QStringList rows;
    for (int row = 0; row < dialog.cbxVideoFormat->count(); ++row)
        rows << dialog.cbxVideoFormat->itemText(row).trimmed();
    EXPECT_EQ(rows, QStringList({"手机和平板", "MP4 MPEG-4 Video (*.mp4)", "老式手机 (3GP)",
                                 "3GP (176x144)", "AVI 播放器", "Odd"}));
    dialog.SelectProfile(2);
    EXPECT_EQ(dialog.cbxVideoFormat->currentText().trimmed(), "Odd");
    // Picking a caption (as a click in the popup cannot, but a program might) changes nothing.
    dialog.cbxVideoFormat->setCurrentIndex(0);
    EXPECT_EQ(dialog.SelectedProfile(), 2);

    dialog.edtProfileFilter->setText("od");
    EXPECT_EQ(dialog.cbxVideoFormat->count(), 2);
    EXPECT_EQ(dialog.SelectedProfile(), 2) << "still listed, still picked";
    dialog.edtProfileFilter->setText("3gp");
    EXPECT_EQ(dialog.SelectedProfile(), 1) << "the pick was filtered away: the first title left";
    EXPECT_EQ(Shown(dialog.cbxFrameSize), "176 x 144") << "and its values are shown";
    dialog.edtProfileFilter->setText("nothing like it");
    EXPECT_EQ(dialog.cbxVideoFormat->count(), 0);
    EXPECT_EQ(dialog.SelectedProfile(), 1);
    dialog.edtProfileFilter->clear();
    EXPECT_EQ(dialog.cbxVideoFormat->count(), 6);
    EXPECT_EQ(dialog.cbxVideoFormat->currentText().trimmed(), "3GP (176x144)");
}

// A folder typed or pasted is taken; one that cannot hold outputs is said while the dialog is
// open, and OK keeps the dialog and every choice in it.
TEST_F(ConvertOptionsTest, TypedOutputFolderIsCheckedWhileTheDialogIsOpen) {
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    dialog.AttachSourceFile(Root + "clip.avi");
    dialog.show();
    dialog.SelectProfile(1);
    dialog.rbtConvertToPath->click();
    EXPECT_FALSE(dialog.edtOutPath->isReadOnly());
    dialog.edtOutPath->selectAll();
    QTest::keyClicks(dialog.edtOutPath, QString::fromStdString(Root + "missing"));
    EXPECT_TRUE(dialog.lblFolderProblem->isVisible());
    EXPECT_TRUE(dialog.lblFolderProblem->text().contains("missing"));
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(Services.Messages.size(), 1u);
    EXPECT_EQ(dialog.SelectedProfile(), 1) << "the choices are kept";

    // Pasted from a file manager.
    QDir().mkpath(QString::fromStdString(Root + "out"));
    dialog.edtOutPath->clear();
    dialog.edtOutPath->insert(QString::fromStdString("file://" + Root + "out"));
    EXPECT_FALSE(dialog.lblFolderProblem->isVisible());
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.BuildJob().Output.FileName, Root + "out/clip_(new).3gp");
}

TEST_F(ConvertOptionsTest, NoSettingsFileLeavesAnEmptyEditableDialog) {
    TfrmConvertOptions dialog(Services, Root + "missing.ini", FactoryFile);
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("请选择您要输出的格式"));
    EXPECT_EQ(dialog.cbxVideoFormat->count(), 0);
    EXPECT_EQ(dialog.cbxFrameSize->currentIndex(), -1);
    EXPECT_EQ(Shown(dialog.cbxChannels), "立体声");
    EXPECT_TRUE(dialog.cbxFrameSize->isEnabled());
    EXPECT_TRUE(dialog.rbtConvertToSamePath->isChecked());
    EXPECT_FALSE(dialog.chkOverwrite->isChecked());
}

} // namespace
} // namespace velto::test
