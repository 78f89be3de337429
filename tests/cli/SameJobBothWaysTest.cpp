// The window and velto3gp build a job through the same builder: the same source and profile give
// the same records and the same file, whichever front end is used. And a stopped velto3gp leaves
// a file it was told to overwrite as it was.
#include "AVProbe.h"
#include "CliArguments.h"
#include "CliProfiles.h"
#include "ConvertOptionsModel.h"
#include "DecodedMedia.h"
#include "MediaFactory.h"
#include "ProgramRunner.h"
#include "SettingsStore.h"
#include "TestLibraries.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

struct TPictureSeen {
    int Width = 0, Height = 0;
    AVRational SampleAspect{0, 1};
    int Level = 0;
};

TPictureSeen PictureOf(const std::string& file) {
    TAVProbe probe;
    TPictureSeen seen;
    if (!probe.LoadFile(file) || probe.FirstVideoStreamIndex < 0) {
        ADD_FAILURE() << file << ": " << probe.LastError;
        return seen;
    }
    const AVCodecParameters* video =
        probe.FormatContext()->streams[probe.FirstVideoStreamIndex]->codecpar;
    seen = {video->width, video->height, video->sample_aspect_ratio, video->level};
    return seen;
}

class SameJobBothWays : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        config = folder + "/config";
        out = folder + "/out";
        fs::create_directories(out);
        // Both front ends read the same user's settings.
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        paths = cli::PathsForProgram(fs::path(VELTO_CLI_PROGRAM).parent_path().string());
    }

    // What the output-format dialog builds when OK is pressed with the profile chosen and the
    // output folder browsed to.
    TJobRecords WindowJob(const std::string& title, const std::string& source) {
        TConvertOptionsModel model(paths.SettingsFile, paths.FactoryProfiles);
        model.Load();
        model.Catalogue().Select(cli::FindProfile(model.Catalogue().Titles(), title));
        model.SetBrowsedFolder(out);
        model.ChooseOutputFolder();
        TAVProbe probe;
        EXPECT_TRUE(probe.LoadFile(source)) << probe.LastError;
        model.AttachSource(SummarizeSource(probe));
        return model.BuildJob();
    }

    // What velto3gp convert -p title -o out source builds.
    TJobRecords CommandLineJob(const std::string& title, const std::string& source,
                               std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"convert", "-p", title, "-o", out};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(source);
        const cli::TParseResult parsed = cli::ParseArguments(args);
        EXPECT_TRUE(parsed.Arguments) << parsed.Error;
        TProfileCatalogue catalogue(paths.SettingsFile, paths.FactoryProfiles);
        catalogue.Load();
        catalogue.Select(cli::FindProfile(catalogue.Titles(), title));
        TJobBuilder builder = cli::JobBuilderFor(*parsed.Arguments, paths.SettingsFile,
                                                 catalogue.Profile(), catalogue.Selection());
        TAVProbe probe;
        EXPECT_TRUE(probe.LoadFile(source)) << probe.LastError;
        return builder.Build(SummarizeSource(probe));
    }

    std::string folder, config, out;
    cli::TCliPaths paths;
};

TEST_F(SameJobBothWays, RecordsAndOutputFramesMatch) {
    struct Case {
        int width, height;
        const char* profile;
    } cases[] = {
        {640, 480, "Phone / Tablet H.264 Video (480p) (*.mp4)"},
        {1280, 720, "Apple HEVC/H.265 Video (1080p) (*.mp4)"},
    };
    TProgramRunner runner(folder, config);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        const std::string sub = folder + "/src" + std::to_string(c.width);
        fs::create_directories(sub);
        const std::string source = MakeMotionClip(sub, 1.0, c.width, c.height);
        TJobRecords window = WindowJob(c.profile, source);
        const TJobRecords commandLine = CommandLineJob(c.profile, source);
        // What a stopped run leaves behind is each front end's own choice.
        EXPECT_FALSE(commandLine.Output.KeepUnfinished);
        window.Output.KeepUnfinished = commandLine.Output.KeepUnfinished;
        EXPECT_TRUE(window == commandLine);
        EXPECT_EQ(window.Output.FrameSize, commandLine.Output.FrameSize);
        EXPECT_EQ(window.Output.AspectRatio, commandLine.Output.AspectRatio);
        EXPECT_EQ(window.Output.ExtOptions, commandLine.Output.ExtOptions);

        // The program keeps the source's frame: no upscaling, no stretched pixels.
        const TProgramRun run =
            runner.Program({"convert", "-p", c.profile, "-o", out, "--quiet", source});
        ASSERT_EQ(run.status, 0) << run.err;
        const TPictureSeen seen = PictureOf(commandLine.Output.FileName);
        EXPECT_EQ(seen.Width, c.width);
        EXPECT_EQ(seen.Height, c.height);
        EXPECT_TRUE(seen.SampleAspect.num == 0 || seen.SampleAspect.num == seen.SampleAspect.den)
            << seen.SampleAspect.num << ":" << seen.SampleAspect.den;
        if (c.width == 640)
            EXPECT_EQ(seen.Level, H264LevelFor(640, 480, 25));
    }
}

TEST_F(SameJobBothWays, StoppedOverwriteLeavesTheExistingOutputAsItWas) {
    const std::string source = MakeMotionClip(folder, 20.0, 640, 480);
    const std::string existing = out + "/" + fs::path(source).stem().string() + "_(new).mp4";
    const std::string precious = "the user's own file, not to be lost\n";
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        std::ofstream(existing, std::ios::binary) << precious;
        TProgramRunner runner(folder, config);
        const pid_t pid = runner.Start({"convert", "-p", "MP4 MPEG-4 Video (*.mp4)", "-o", out,
                                        "--overwrite", "--json", source});
        ASSERT_TRUE(runner.WaitForOutput("\"progress\"")) << FileContents(folder + "/stderr");
        kill(pid, signal);
        const TProgramRun run = runner.Finish(pid);
        // A scheduler's cancel (SIGTERM) is told apart from Ctrl-C.
        EXPECT_EQ(run.status, signal == SIGTERM ? 143 : 130) << run.err;
        EXPECT_EQ(FileContents(existing), precious);
        // Nor is a temporary file left beside it.
        int files = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out))
            ++files;
        EXPECT_EQ(files, 1);
    }
}

// A Japanese first track, silent, and a default-flagged English second one with a tone; SubRip
// subtitles.
std::string TwoLanguagesWithSubtitles(const std::string& folder) {
    MediaRecipe recipe;
    recipe.seconds = 2.0;
    recipe.video.push_back(VideoTrack{});
    AudioTrack japanese;
    japanese.toneHz = 0.0;
    japanese.language = "jpn";
    AudioTrack english;
    english.language = "eng";
    english.isDefault = true;
    recipe.audio = {japanese, english};
    recipe.subtitles = {{"srt", 2, 0, "eng", true}};
    return MakeMedia(folder + "/film.mkv", recipe);
}

TEST_F(SameJobBothWays, SoundTrackPreferenceAndSubtitlesAgreeAndReachTheFile) {
    const std::string source = TwoLanguagesWithSubtitles(folder);
    const char* mp4 = "Phone / Tablet H.264 Video (480p) (*.mp4)";
    const char* phone = "3GP MPEG-4 Video (320x240) (*.3gp)";
    // The preference in the settings is what both front ends follow.
    TConvertOptionsModel(paths.SettingsFile, paths.FactoryProfiles).Load();
    ASSERT_TRUE(TSettingsStore(paths.SettingsFile).SaveOption(kPreferredLanguageKey, "jpn"));
    TJobRecords window = WindowJob(mp4, source);
    TJobRecords commandLine = CommandLineJob(mp4, source);
    window.Output.KeepUnfinished = commandLine.Output.KeepUnfinished;
    EXPECT_TRUE(window == commandLine);
    EXPECT_EQ(commandLine.Output.AudioStream, 1);
    EXPECT_EQ(commandLine.Output.SubtitleCodec, "mov_text");
    // --audio-lang wins over the settings.
    EXPECT_EQ(CommandLineJob(mp4, source, {"--audio-lang", "eng"}).Output.AudioStream, 2);
    ASSERT_TRUE(TSettingsStore(paths.SettingsFile).SaveOption(kPreferredLanguageKey, ""));

    // The names the program will choose, taken while they are free.
    const std::string silent = CommandLineJob(mp4, source).Output.FileName;
    const std::string plain = CommandLineJob(phone, source).Output.FileName;
    TProgramRunner runner(folder, config);
    TProgramRun run =
        runner.Program({"convert", "-p", mp4, "-o", out, "--quiet", "--audio-lang", "ja", source});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(fs::exists(silent));
    EXPECT_LT(AudioLevel(silent), 0.01);
    const auto subtitles = StreamsOfType(ProbeStreams(silent), AVMEDIA_TYPE_SUBTITLE);
    ASSERT_EQ(subtitles.size(), 1u);
    EXPECT_EQ(subtitles[0].codec, "mov_text");
    EXPECT_EQ(subtitles[0].language, "eng");

    run = runner.Program({"convert", "-p", phone, "-o", out, "--quiet", source});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(fs::exists(plain));
    EXPECT_GT(AudioLevel(plain), 0.1);
    EXPECT_TRUE(StreamsOfType(ProbeStreams(plain), AVMEDIA_TYPE_SUBTITLE).empty());
    const Picture clean = PictureAt(plain, 0.4);
    fs::rename(plain, out + "/clean.3gp");
    run = runner.Program(
        {"convert", "-p", phone, "-o", out, "--quiet", "--subtitles", "burn", source});
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture burned = PictureAt(plain, 0.4);
    EXPECT_GT(MeanDifference(clean, burned, 0.7, 1.0), 4.0);
    EXPECT_LT(MeanDifference(clean, burned, 0.0, 0.4), 1.5);

    run = runner.Program({"convert", "-p", phone, "--subtitles", "some", source});
    EXPECT_EQ(run.status, 2);
    run = runner.Program({"convert", "-p", phone, "--audio-lang", "english", source});
    EXPECT_EQ(run.status, 2);
}

TEST_F(SameJobBothWays, BitmapSubtitlesAreBurnedInOnRequest) {
    MediaRecipe recipe;
    recipe.seconds = 2.0;
    recipe.video.push_back(VideoTrack{});
    recipe.audio.push_back(AudioTrack{});
    recipe.bitmapSubtitles = {BitmapSubtitleTrack{}};
    const std::string source = MakeMedia(folder + "/dvd.mkv", recipe);
    const char* phone = "3GP MPEG-4 Video (320x240) (*.3gp)";
    const std::string output = CommandLineJob(phone, source).Output.FileName;
    TProgramRunner runner(folder, config);
    TProgramRun run = runner.Program({"convert", "-p", phone, "-o", out, "--quiet", source});
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture clean = PictureAt(output, 0.8);
    fs::rename(output, out + "/clean.3gp");
    run = runner.Program(
        {"convert", "-p", phone, "-o", out, "--quiet", "--subtitles", "burn", source});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(StreamsOfType(ProbeStreams(output), AVMEDIA_TYPE_SUBTITLE).empty());
    // The block covers rows 40..100 of 144: bright there during its span, the film elsewhere.
    const Picture burned = PictureAt(output, 0.8);
    ASSERT_FALSE(burned.luma.empty());
    EXPECT_GT(MeanDifference(clean, burned, 0.35, 0.6), 8.0);
    EXPECT_LT(MeanDifference(clean, burned, 0.8, 1.0), 1.5);
    EXPECT_LT(MeanDifference(PictureAt(out + "/clean.3gp", 1.6), PictureAt(output, 1.6), 0.0, 1.0),
              1.5);
}

} // namespace
} // namespace velto::test
