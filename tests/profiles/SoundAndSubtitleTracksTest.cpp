// The sound track and the subtitles a job takes from its source, built by the job builder and
// converted by a real task: the default-flagged or preferred-language sound track is the one
// heard, text subtitles reach MP4 and WebM outputs with their language and flag, a subtitle file
// beside the source is used at its own times, and outputs without text subtitles get none
// unless they are burned into the picture.
#include "AVProbe.h"
#include "DecodedMedia.h"
#include "JobBuilder.h"
#include "MediaFactory.h"
#include "ProfileCatalogue.h"
#include "SettingsStore.h"
#include "TestLibraries.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace velto {
namespace {

namespace fs = std::filesystem;
using test::ProbedStream;

constexpr int kPhoneMp4 = 23;   // H.264 + AAC in MP4
constexpr int kWebm = 27;       // VP9 + Vorbis/Opus in WebM
constexpr int kMpeg4Of3gp = 19; // MPEG-4 in 3GP

struct TJobOutcome {
    TJobRecords Job;
    std::string Failure; // empty when the job was added and finished
};

class SoundAndSubtitleTracks : public ::testing::Test {
protected:
    void SetUp() override {
        test::LoadTestLibraries();
        folder = test::ScratchFolder();
        out = folder + "/out";
        fs::create_directories(out);
    }

    TSourceSummary Summary(const std::string& source) {
        TAVProbe probe;
        EXPECT_TRUE(probe.LoadFile(source)) << probe.LastError;
        return SummarizeSource(probe);
    }

    // Builds the job with `configure` applied to the builder and runs it to its end.
    TJobOutcome Convert(int profileIndex, const std::string& source,
                        const std::function<void(TJobBuilder&)>& configure = {}) {
        TProfileCatalogue catalogue(SettingsFilePath(VELTO_DATA_DIR),
                                    FactoryProfilesPath(VELTO_DATA_DIR));
        catalogue.Load();
        catalogue.Select(profileIndex);
        TJobBuilder builder(catalogue.Profile(), catalogue.Selection(),
                            TOutputPlacement{out + "/", true, {}});
        if (configure)
            configure(builder);
        TJobOutcome outcome;
        outcome.Job = builder.Build(Summary(source));
        TFFmpeg task;
        task.InitOptions();
        task.Settings.Verbosity = -1;
        TJobRecords job = outcome.Job;
        try {
            ApplyInputRecord(task, "", job.Input);
            task.OpenInputFile(job.Input.FileName);
            ApplyOutputRecord(task, "", job.Output, nullptr, nullptr);
            task.OpenOutputFile(job.Output.FileName);
            task.Transcode();
            if (!task.Finished)
                outcome.Failure = "not finished: " + task.IncompleteReason;
        } catch (const std::exception& error) {
            outcome.Failure = error.what();
        }
        task.CloseOpenCodecs();
        task.ReleaseFiles();
        return outcome;
    }

    // A Japanese first track that is silent and a default-flagged English second with a tone.
    std::string TwoLanguages() {
        test::MediaRecipe recipe;
        recipe.seconds = 2.0;
        recipe.video.push_back(test::VideoTrack{});
        test::AudioTrack japanese;
        japanese.toneHz = 0.0;
        japanese.language = "jpn";
        test::AudioTrack english;
        english.language = "eng";
        english.channels = 1;
        english.isDefault = true;
        recipe.audio = {japanese, english};
        return test::MakeMedia(folder + "/two_languages.mkv", recipe);
    }

    // SubRip (English, default) and ASS (French) in MKV.
    std::string SrtAndAss() {
        test::MediaRecipe recipe;
        recipe.seconds = 2.0;
        recipe.video.push_back(test::VideoTrack{});
        recipe.audio.push_back(test::AudioTrack{});
        recipe.subtitles = {{"srt", 2, 0, "eng", true}, {"ass", 2, 0, "fre", false}};
        return test::MakeMedia(folder + "/srt_and_ass.mkv", recipe);
    }

    std::string folder, out;
};

TEST_F(SoundAndSubtitleTracks, SummaryListsTracksAndSubtitleFilesBesideTheSource) {
    const TSourceSummary two = Summary(TwoLanguages());
    ASSERT_EQ(two.AudioTracks.size(), 2u);
    EXPECT_EQ(two.AudioTracks[0].Language, "jpn");
    EXPECT_FALSE(two.AudioTracks[0].Default);
    EXPECT_EQ(two.AudioTracks[1].Language, "eng");
    EXPECT_EQ(two.AudioTracks[1].Channels, 1);
    EXPECT_TRUE(two.AudioTracks[1].Default);
    EXPECT_EQ(two.AudioTracks[1].StreamIndex, 2);
    EXPECT_EQ(two.AudioTracks[1].Codec, "mp2");

    const TSourceSummary subtitled = Summary(SrtAndAss());
    ASSERT_EQ(subtitled.SubtitleTracks.size(), 2u);
    EXPECT_EQ(subtitled.SubtitleTracks[0].Codec, "subrip");
    EXPECT_TRUE(subtitled.SubtitleTracks[0].Text);
    EXPECT_EQ(subtitled.SubtitleTracks[1].Codec, "ass");
    EXPECT_EQ(subtitled.SubtitleTracks[1].Language, "fre");

    // Files beside a source without subtitles: the plain name first, another film's left out.
    const std::string film = test::MakeAviMpeg4Mp2(folder, 1.0);
    const std::string stem = (fs::path(film).parent_path() / fs::path(film).stem()).string();
    test::MakeSrtFile(stem + ".eng.srt", 1);
    test::MakeSrtFile(stem + ".srt", 1);
    test::MakeSrtFile(stem + ".part2.srt", 1);
    test::MakeSrtFile(stem + "x.srt", 1);
    // An hour old: the folder's listing is kept for the films that follow.
    const auto anHourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(folder, anHourAgo);
    const TSourceSummary beside = Summary(film);
    ASSERT_EQ(beside.SubtitleTracks.size(), 2u);
    EXPECT_EQ(beside.SubtitleTracks[0].FileName, stem + ".srt");
    EXPECT_EQ(beside.SubtitleTracks[0].Language, "");
    EXPECT_EQ(beside.SubtitleTracks[1].FileName, stem + ".eng.srt");
    EXPECT_EQ(beside.SubtitleTracks[1].Language, "eng");

    // A file put there or taken away since counts, whether the folder changed just now or not.
    test::MakeSrtFile(stem + ".fre.srt", 1);
    fs::remove(stem + ".srt");
    for (const bool justNow : {true, false}) {
        SCOPED_TRACE(justNow ? "just changed" : "changed a while ago");
        if (!justNow)
            fs::last_write_time(folder, anHourAgo + std::chrono::seconds(1));
        const TSourceSummary later = Summary(film);
        ASSERT_EQ(later.SubtitleTracks.size(), 2u);
        EXPECT_EQ(later.SubtitleTracks[0].FileName, stem + ".eng.srt");
        EXPECT_EQ(later.SubtitleTracks[1].FileName, stem + ".fre.srt");
    }
}

TEST_F(SoundAndSubtitleTracks, TheChosenSoundTrackIsTheOneHeard) {
    const std::string source = TwoLanguages();
    struct Case {
        const char* name;
        std::string language;
        int picked;
        bool loud;
    } cases[] = {
        {"default flag", "", -1, true},
        {"preferred language, 639-1 code", "ja", -1, false},
        {"language the source lacks", "deu", -1, true},
        {"picked by the user over the language", "ja", 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TJobOutcome run = Convert(kPhoneMp4, source, [&](TJobBuilder& builder) {
            builder.SetPreferredLanguage(c.language);
            builder.SetAudioStream(c.picked);
        });
        ASSERT_EQ(run.Failure, "");
        const auto audio =
            test::StreamsOfType(test::ProbeStreams(run.Job.Output.FileName), AVMEDIA_TYPE_AUDIO);
        ASSERT_EQ(audio.size(), 1u);
        EXPECT_EQ(audio[0].language, c.loud ? "eng" : "jpn");
        const double level = test::AudioLevel(run.Job.Output.FileName);
        if (c.loud)
            EXPECT_GT(level, 0.1);
        else
            EXPECT_LT(level, 0.01);
    }
}

TEST_F(SoundAndSubtitleTracks, TextSubtitlesReachMp4AndWebmWithLanguageAndFlag) {
    const TJobOutcome mp4 = Convert(kPhoneMp4, SrtAndAss());
    ASSERT_EQ(mp4.Failure, "");
    const auto kept =
        test::StreamsOfType(test::ProbeStreams(mp4.Job.Output.FileName), AVMEDIA_TYPE_SUBTITLE);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].codec, "mov_text");
    EXPECT_EQ(kept[0].language, "eng");
    EXPECT_TRUE(kept[0].disposition & AV_DISPOSITION_DEFAULT);
    const auto cues = test::SubtitleCues(mp4.Job.Output.FileName);
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_NEAR(cues[0].startMs, 0, 50);
    EXPECT_NEAR(cues[1].startMs, 1000, 50);
    EXPECT_NE(cues[1].text.find("Cue number 2"), std::string::npos) << cues[1].text;

    // mov_text from an MP4 into WebM becomes WebVTT.
    test::MediaRecipe recipe;
    recipe.seconds = 2.0;
    recipe.video.push_back(test::VideoTrack{});
    recipe.audio.push_back(test::AudioTrack{});
    recipe.subtitles = {{"mov_text", 2, 0, "ger", false}};
    const std::string movText = test::MakeMedia(folder + "/mov_text.mp4", recipe);
    const TJobOutcome webm = Convert(kWebm, movText);
    ASSERT_EQ(webm.Failure, "");
    const auto vtt =
        test::StreamsOfType(test::ProbeStreams(webm.Job.Output.FileName), AVMEDIA_TYPE_SUBTITLE);
    ASSERT_EQ(vtt.size(), 1u);
    EXPECT_EQ(vtt[0].codec, "webvtt");
    EXPECT_EQ(vtt[0].language, "ger");
    EXPECT_EQ(test::SubtitleCues(webm.Job.Output.FileName).size(), 2u);
}

TEST_F(SoundAndSubtitleTracks, SubtitleFileBesideTheSourceKeepsItsTimesAndLanguage) {
    const std::string film = test::MakeAviMpeg4Mp2(folder, 3.0);
    const std::string stem = (fs::path(film).parent_path() / fs::path(film).stem()).string();
    // The first cue starts late: its start must not become the output's zero.
    test::MakeSrtFile(stem + ".eng.srt", 2, 1500);
    const TJobOutcome run = Convert(kPhoneMp4, film);
    ASSERT_EQ(run.Failure, "");
    EXPECT_EQ(run.Job.Output.SubtitleFile, stem + ".eng.srt");
    const auto kept =
        test::StreamsOfType(test::ProbeStreams(run.Job.Output.FileName), AVMEDIA_TYPE_SUBTITLE);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].codec, "mov_text");
    EXPECT_EQ(kept[0].language, "eng");
    const auto cues = test::SubtitleCues(run.Job.Output.FileName);
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_NEAR(cues[0].startMs, 1500, 50);
    EXPECT_NEAR(cues[1].startMs, 2500, 50);

    // A damaged cue file costs the subtitles, not the film.
    test::MakeSrtFile(stem + ".eng.srt", 0);
    const TJobOutcome empty = Convert(kPhoneMp4, film);
    EXPECT_EQ(empty.Failure, "");
}

TEST_F(SoundAndSubtitleTracks, ContainersWithoutTextSubtitlesGetThemOnlyBurnedIn) {
    const std::string source = SrtAndAss();
    const TJobOutcome plain = Convert(kMpeg4Of3gp, source);
    ASSERT_EQ(plain.Failure, "");
    EXPECT_TRUE(
        test::StreamsOfType(test::ProbeStreams(plain.Job.Output.FileName), AVMEDIA_TYPE_SUBTITLE)
            .empty());
    const test::Picture clean = test::PictureAt(plain.Job.Output.FileName, 0.4);
    fs::rename(plain.Job.Output.FileName, out + "/clean.3gp");

    const TJobOutcome burned = Convert(kMpeg4Of3gp, source, [](TJobBuilder& builder) {
        builder.SetSubtitleMode(TSubtitleMode::Burn);
    });
    ASSERT_EQ(burned.Failure, "");
    EXPECT_TRUE(burned.Job.Output.BurnSubtitle);
    EXPECT_TRUE(
        test::StreamsOfType(test::ProbeStreams(burned.Job.Output.FileName), AVMEDIA_TYPE_SUBTITLE)
            .empty());
    const test::Picture drawn = test::PictureAt(burned.Job.Output.FileName, 0.4);
    ASSERT_FALSE(drawn.luma.empty());
    // The text sits at the bottom; the top of the picture is the same film.
    EXPECT_GT(test::MeanDifference(clean, drawn, 0.7, 1.0), 4.0);
    EXPECT_LT(test::MeanDifference(clean, drawn, 0.0, 0.4), 1.5);
    // Between cues nothing is drawn.
    const test::Picture between = test::PictureAt(burned.Job.Output.FileName, 0.9);
    const test::Picture cleanBetween = test::PictureAt(out + "/clean.3gp", 0.9);
    EXPECT_LT(test::MeanDifference(cleanBetween, between, 0.7, 1.0), 1.5);

    // The PSP's MP4 variant (profile 7) takes no subtitle stream: left out, the job runs.
    const TJobOutcome psp = Convert(7, source);
    ASSERT_EQ(psp.Failure, "");
    EXPECT_TRUE(
        test::StreamsOfType(test::ProbeStreams(psp.Job.Output.FileName), AVMEDIA_TYPE_SUBTITLE)
            .empty());

    // "none" leaves them out of an MP4 too.
    const TJobOutcome none = Convert(kPhoneMp4, source, [](TJobBuilder& builder) {
        builder.SetSubtitleMode(TSubtitleMode::None);
    });
    ASSERT_EQ(none.Failure, "");
    EXPECT_TRUE(
        test::StreamsOfType(test::ProbeStreams(none.Job.Output.FileName), AVMEDIA_TYPE_SUBTITLE)
            .empty());
}

TEST_F(SoundAndSubtitleTracks, BitmapSubtitlesAreChosenOnlyToBeBurnedIn) {
    // A DVD subtitle track is all the source has: kept nowhere, drawn when asked.
    test::MediaRecipe recipe;
    recipe.seconds = 2.0;
    recipe.video.push_back(test::VideoTrack{});
    recipe.audio.push_back(test::AudioTrack{});
    recipe.bitmapSubtitles = {test::BitmapSubtitleTrack{}};
    const std::string dvd = test::MakeMedia(folder + "/dvdsub.mkv", recipe);
    const TSourceSummary summary = Summary(dvd);
    ASSERT_EQ(summary.SubtitleTracks.size(), 1u);
    EXPECT_FALSE(summary.SubtitleTracks[0].Text);
    EXPECT_EQ(ChooseSubtitleTrack(summary, ""), -1);
    EXPECT_EQ(ChooseSubtitleTrack(summary, "", true), 0);

    const TJobOutcome kept = Convert(kPhoneMp4, dvd);
    ASSERT_EQ(kept.Failure, "");
    EXPECT_TRUE(kept.Job.Output.DisableSubtitle);
    EXPECT_FALSE(kept.Job.Output.BurnSubtitle);
    EXPECT_TRUE(
        test::StreamsOfType(test::ProbeStreams(kept.Job.Output.FileName), AVMEDIA_TYPE_SUBTITLE)
            .empty());
    const TJobOutcome burned = Convert(
        kPhoneMp4, dvd, [](TJobBuilder& builder) { builder.SetSubtitleMode(TSubtitleMode::Burn); });
    ASSERT_EQ(burned.Failure, "");
    EXPECT_TRUE(burned.Job.Output.BurnSubtitle);
    EXPECT_EQ(burned.Job.Output.SubtitleStream, 2);

    // Beside a text track: the default-flagged bitmap one wins only when burning.
    test::BitmapSubtitleTrack flagged;
    flagged.isDefault = true;
    flagged.language = "fre";
    recipe.subtitles = {{"srt", 2, 0, "eng", false}};
    recipe.bitmapSubtitles = {flagged};
    const TSourceSummary both = Summary(test::MakeMedia(folder + "/both.mkv", recipe));
    ASSERT_EQ(both.SubtitleTracks.size(), 2u);
    EXPECT_EQ(ChooseSubtitleTrack(both, "eng"), 0);
    EXPECT_EQ(ChooseSubtitleTrack(both, "eng", true), 1);
    flagged.isDefault = false;
    recipe.bitmapSubtitles = {flagged};
    const TSourceSummary unflagged = Summary(test::MakeMedia(folder + "/unflagged.mkv", recipe));
    EXPECT_EQ(ChooseSubtitleTrack(unflagged, "fr", true), 1);
    EXPECT_EQ(ChooseSubtitleTrack(unflagged, "", true), 0);
}

TEST(TrackRules, LanguagesMatchAcrossCodeForms) {
    EXPECT_TRUE(SameLanguage("en", "eng"));
    EXPECT_TRUE(SameLanguage("FRE", "fra"));
    EXPECT_TRUE(SameLanguage("zh", "chi"));
    EXPECT_FALSE(SameLanguage("eng", "ger"));
    EXPECT_FALSE(SameLanguage("", ""));
    EXPECT_EQ(TextSubtitleCodecFor("/x/film_psp.MP4"), "mov_text");
    EXPECT_EQ(TextSubtitleCodecFor("film.webm"), "webvtt");
    EXPECT_EQ(TextSubtitleCodecFor("film.3gp"), "");
    EXPECT_EQ(TextSubtitleCodecFor("film.avi"), "");
}

} // namespace
} // namespace velto
