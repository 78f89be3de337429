// The output-format dialog lists the source's sound tracks and starts on the one the job would
// convert; the user's pick and subtitle choice reach the job. The preferences keep the language
// to prefer.
#include "UiTestSupport.h"

#include "SettingsStore.h"
#include "frm_ConvertOptions.h"
#include "frm_Options.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace velto::test {
namespace {

using TracksChoiceTest = DialogTest;

TSourceSummary TwoTrackFilm(const std::string& folder) {
    TSourceSummary source;
    source.FileName = folder + "film.mkv";
    source.VideoStreams = 1;
    source.AudioStreams = 2;
    source.Picture = {640, 360, 0.0, 25.0};
    source.AudioTracks = {{1, "jpn", "aac", 2, false, false, ""},
                          {2, "eng", "ac3", 6, true, false, ""}};
    source.SubtitleTracks = {{3, "eng", "subrip", 0, true, true, ""}};
    return source;
}

TEST_F(TracksChoiceTest, ShowsTracksStartsOnTheOneConvertedAndPassesThePickOn) {
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    dialog.cbxVideoFormat->setCurrentIndex(0); // MP4
    dialog.AttachSource(TwoTrackFilm(Root));
    ASSERT_EQ(dialog.cbxAudioTrack->count(), 2);
    EXPECT_TRUE(dialog.cbxAudioTrack->isEnabled());
    EXPECT_TRUE(dialog.cbxAudioTrack->itemText(1).contains("eng"));
    EXPECT_TRUE(dialog.cbxAudioTrack->itemText(1).contains("ac3"));
    EXPECT_TRUE(dialog.cbxAudioTrack->itemText(1).contains("6"));
    EXPECT_EQ(dialog.cbxAudioTrack->currentIndex(), 1); // flagged default
    TJobRecords job = dialog.BuildJob();
    EXPECT_EQ(job.Output.AudioStream, 2);
    EXPECT_EQ(job.Output.SubtitleCodec, "mov_text");
    EXPECT_EQ(job.Output.SubtitleStream, 3);

    dialog.cbxAudioTrack->setCurrentIndex(0);
    emit dialog.cbxAudioTrack->activated(0);
    dialog.cbxSubtitles->setCurrentIndex(2); // burn
    job = dialog.BuildJob();
    EXPECT_EQ(job.Output.AudioStream, 1);
    EXPECT_TRUE(job.Output.BurnSubtitle);
    dialog.cbxSubtitles->setCurrentIndex(1); // none
    EXPECT_TRUE(dialog.BuildJob().Output.DisableSubtitle);

    // The next file starts again from the rule.
    dialog.AttachSource(TwoTrackFilm(Root));
    EXPECT_EQ(dialog.BuildJob().Output.AudioStream, 2);
}

TEST_F(TracksChoiceTest, PreferredLanguageIsKeptAndFollowed) {
    {
        TfrmOptions options(Services, SettingsFile, FactoryFile);
        EXPECT_EQ(options.edtAudioLanguage->text(), "");
        options.edtAudioLanguage->setText("JPN");
        options.show();
        QTest::mouseClick(options.btnOK, Qt::LeftButton);
    }
    EXPECT_EQ(TSettingsStore(SettingsFile).ReadOption(kPreferredLanguageKey), "jpn");
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    dialog.AttachSource(TwoTrackFilm(Root));
    EXPECT_EQ(dialog.cbxAudioTrack->currentIndex(), 0);
    EXPECT_EQ(dialog.BuildJob().Output.AudioStream, 1);
}

} // namespace
} // namespace velto::test
