// "Fit into" in the output-format dialog: the listed sizes and a typed one become the job's
// limit, a size the sound alone overruns makes a job that Add refuses with the figures, and
// anything that is no size leaves the job unlimited.
#include "UiTestSupport.h"

#include "SizeForecast.h"
#include "frm_ConvertOptions.h"

#include <QComboBox>
#include <QLineEdit>

namespace velto::test {
namespace {

using FitSizeChoiceTest = DialogTest;

TSourceSummary MinuteOfFilm(const std::string& folder) {
    TSourceSummary source;
    source.FileName = folder + "film.mkv";
    source.DurationUs = 60 * 1000000LL;
    source.VideoStreams = 1;
    source.AudioStreams = 1;
    source.Picture = {640, 360, 0.0, 25.0};
    source.AudioTracks = {{1, "eng", "aac", 2, true, false, ""}};
    return source;
}

TEST_F(FitSizeChoiceTest, TheListedAndTypedSizesBecomeTheJobsLimit) {
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    dialog.cbxVideoFormat->setCurrentIndex(0);
    const TSourceSummary film = MinuteOfFilm(Root);
    dialog.AttachSource(film);
    ASSERT_EQ(dialog.cbxFitSize->count(), 5);
    EXPECT_EQ(dialog.BuildJob().Output.ExtOptions.find("fit_size"), std::string::npos);

    dialog.cbxFitSize->setCurrentIndex(2); // 16 MB
    TJobRecords job = dialog.BuildJob();
    EXPECT_TRUE(job.Refusal.empty()) << job.Refusal;
    EXPECT_EQ(ForecastSize(job, film), 16 * 1024 * 1024);
    // 16 MB over a minute, less the sound and the container: a little under 2.2 Mbit/s.
    EXPECT_GT(job.Output.VideoBitRate, 2000000);
    EXPECT_LT(job.Output.VideoBitRate, 2200000);

    dialog.cbxFitSize->setEditText(QStringLiteral("2.5"));
    EXPECT_EQ(ForecastSize(dialog.BuildJob(), film), 2621440);
    dialog.cbxFitSize->setEditText(QStringLiteral("700 KB"));
    EXPECT_EQ(ForecastSize(dialog.BuildJob(), film), 700 * 1024);

    // A minute of the profile's sound alone is more.
    dialog.cbxFitSize->setEditText(QStringLiteral("0.3"));
    job = dialog.BuildJob();
    EXPECT_NE(job.Refusal.find("The limit of 307 KB is less than the"), std::string::npos)
        << job.Refusal;

    for (const char* notASize : {"abc", "16 parsecs", "-4"}) {
        dialog.cbxFitSize->setEditText(QString::fromLatin1(notASize));
        job = dialog.BuildJob();
        EXPECT_TRUE(job.Refusal.empty()) << notASize;
        EXPECT_EQ(job.Output.ExtOptions.find("fit_size"), std::string::npos) << notASize;
    }
    dialog.cbxFitSize->setCurrentIndex(0);
    EXPECT_EQ(dialog.Model().SizeLimit(), 0);
}

TEST_F(FitSizeChoiceTest, AProfileMadeForALimitOffersItAndAnotherProfileTakesItsOwn) {
    std::string settings = "[Options]\nFormatNum=3\nOutputFormat=0\nConvertToSamePath=1\n";
    const char* const profiles[][2] = {{"MP4 MPEG-4 Video (*.mp4)", "0"},
                                       {"E-mail H.264 Video, up to 10 MB (480p) (*.mp4)", "10"},
                                       {"Messenger H.264 Video, up to 16 MB (720p) (*.mp4)", "16"}};
    for (int i = 0; i < 3; ++i)
        settings += "[VideoFormat" + std::to_string(i) + "]\nTitle=" + profiles[i][0] +
                    "\nVideoFormat=h264\nAudioFormat=aac\nEdit=1\nFileType=.mp4\n"
                    "FrameSize=854 x 480\nVideoBitrate=1000\nAudioBitrate=64\n"
                    "SampleBitrate=44100\nFitInto=" +
                    profiles[i][1] + "\n";
    WriteText(SettingsFile, settings.c_str());
    TfrmConvertOptions dialog(Services, SettingsFile, FactoryFile);
    const TSourceSummary film = MinuteOfFilm(Root);
    dialog.AttachSource(film);
    dialog.SelectProfile(1);
    ASSERT_EQ(dialog.Model().Catalogue().SelectedIndex(), 1);
    EXPECT_EQ(dialog.cbxFitSize->currentText(), QStringLiteral("10"));
    EXPECT_EQ(ForecastSize(dialog.BuildJob(), film), 10 * 1024 * 1024);
    // The user's own pick holds for the job; another profile brings its own limit, or none.
    dialog.cbxFitSize->setCurrentIndex(3); // 25 MB
    EXPECT_EQ(ForecastSize(dialog.BuildJob(), film), 25 * 1024 * 1024);
    dialog.SelectProfile(0);
    EXPECT_EQ(dialog.Model().SizeLimit(), 0);
    EXPECT_EQ(dialog.BuildJob().Output.ExtOptions.find("fit_size"), std::string::npos);
    dialog.SelectProfile(2);
    EXPECT_EQ(dialog.Model().SizeLimit(), 16 * 1024 * 1024);
}

} // namespace
} // namespace velto::test
