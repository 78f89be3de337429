// Sources as phones and cameras make them, converted by velto3gp and built by the window's model
// alike: turned pictures come out upright, HDR comes out tone-mapped and tagged, and the date,
// title and place of the source reach the output. Every output is decoded and looked at.
#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "CliArguments.h"
#include "CliProfiles.h"
#include "ConvertOptionsModel.h"
#include "DecodedPicture.h"
#include "MediaFactory.h"
#include "ProgramRunner.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* k480p = "Phone / Tablet H.264 Video (480p) (*.mp4)";
constexpr const char* k720p = "Phone / Tablet H.264 Video (720p) (*.mp4)";
constexpr const char* kIpod = "iPod MPEG-4 Video (320x240, 4:3)";

// Cell (row, column) of the marker source after a clockwise turn.
char MarkerCell(int row, int column, int rotation) {
    int r = row, c = column;
    for (int turn = 0; turn < rotation / 90; ++turn) {
        // Undo one clockwise turn: the output cell (r, c) came from source cell (2 - c, r).
        const int sourceRow = 2 - c, sourceColumn = r;
        r = sourceRow;
        c = sourceColumn;
    }
    return r == 0 && c == 0 ? 'W' : r == 0 && c == 2 ? 'G' : '.';
}

// The picture's ninths (inside `inner` of the frame, for pillar boxes) as 'W', 'G' or '.'.
std::string SeenGrid(const DecodedPicture& picture, double left = 0.0, double right = 1.0) {
    std::string grid;
    const double width = (right - left) / 3;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            const double x0 = left + column * width, y0 = row / 3.0;
            const double mean =
                picture.Mean(x0 + width / 6, y0 + 1.0 / 18, x0 + width * 5 / 6, y0 + 5.0 / 18);
            grid += mean > 200 ? 'W' : mean > 100 && mean < 180 ? 'G' : mean < 70 ? '.' : '?';
        }
    return grid;
}

std::string UprightGrid(int rotation) {
    std::string grid;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            grid += MarkerCell(row, column, rotation);
    return grid;
}

std::string MakeMarkerClip(const std::string& folder, int rotation, const std::string& name) {
    MediaRecipe recipe;
    recipe.seconds = 0.5;
    VideoTrack video;
    video.width = 320;
    video.height = 180;
    video.marker = true;
    video.rotation = rotation;
    recipe.video.push_back(video);
    AudioTrack audio;
    audio.encoder = "aac";
    recipe.audio.push_back(audio);
    return MakeMedia(folder + "/" + name, recipe);
}

class PhoneSources : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        config = folder + "/config";
        out = folder + "/out";
        fs::create_directories(out);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        paths = cli::PathsForProgram(fs::path(VELTO_CLI_PROGRAM).parent_path().string());
        runner = std::make_unique<TProgramRunner>(folder, config);
    }

    TSourceSummary Summary(const std::string& source) {
        TAVProbe probe;
        EXPECT_TRUE(probe.LoadFile(source)) << probe.LastError;
        return SummarizeSource(probe);
    }

    TJobRecords WindowJob(const std::string& title, const std::string& source,
                          TRotationChoice rotation = TRotationChoice::Auto) {
        TConvertOptionsModel model(paths.SettingsFile, paths.FactoryProfiles);
        model.Load();
        model.Catalogue().Select(cli::FindProfile(model.Catalogue().Titles(), title));
        model.SetBrowsedFolder(out);
        model.ChooseOutputFolder();
        model.SetRotation(rotation);
        model.AttachSource(Summary(source));
        return model.BuildJob();
    }

    TJobRecords CommandLineJob(const std::vector<std::string>& args) {
        const cli::TParseResult parsed = cli::ParseArguments(args);
        EXPECT_TRUE(parsed.Arguments) << parsed.Error;
        TProfileCatalogue catalogue(paths.SettingsFile, paths.FactoryProfiles);
        catalogue.Load();
        catalogue.Select(cli::FindProfile(catalogue.Titles(), parsed.Arguments->Profile));
        TJobBuilder builder = cli::JobBuilderFor(*parsed.Arguments, paths.SettingsFile,
                                                 catalogue.Profile(), catalogue.Selection());
        return builder.Build(Summary(parsed.Arguments->Files.at(0)));
    }

    // Builds the job both ways, checks they agree, converts through velto3gp and decodes.
    DecodedPicture ConvertBothWays(const std::string& title, const std::string& source,
                                   const std::string& rotateArgument, TRotationChoice rotation,
                                   TJobRecords* job = nullptr) {
        std::vector<std::string> args = {"convert", "-p", title, "-o", out, "--quiet"};
        if (!rotateArgument.empty())
            args.insert(args.end(), {"--rotate", rotateArgument});
        args.push_back(source);
        TJobRecords window = WindowJob(title, source, rotation);
        const TJobRecords commandLine = CommandLineJob(args);
        window.Output.KeepUnfinished = commandLine.Output.KeepUnfinished;
        EXPECT_TRUE(window == commandLine)
            << window.Output.ExtOptions << " / " << commandLine.Output.ExtOptions;
        const TProgramRun run = runner->Program(args);
        EXPECT_EQ(run.status, 0) << run.err;
        if (job)
            *job = commandLine;
        return DecodePicture(commandLine.Output.FileName, 3);
    }

    std::string folder, config, out;
    cli::TCliPaths paths;
    std::unique_ptr<TProgramRunner> runner;
};

TEST_F(PhoneSources, TurnedSourcesComeOutUprightWithoutAMatrix) {
    for (const int rotation : {90, 180, 270}) {
        SCOPED_TRACE(rotation);
        const std::string source =
            MakeMarkerClip(folder, rotation, "turned" + std::to_string(rotation) + ".mp4");
        EXPECT_EQ(Summary(source).Rotation, rotation);
        TJobRecords job;
        const DecodedPicture seen = ConvertBothWays(k480p, source, "", TRotationChoice::Auto, &job);
        EXPECT_NE(job.Output.ExtOptions.find("rotate=" + std::to_string(rotation)),
                  std::string::npos);
        ASSERT_GT(seen.width, 0);
        // Never upscaled: the source as shown, portrait for a quarter turn.
        EXPECT_EQ(seen.width, rotation == 180 ? 320 : 180);
        EXPECT_EQ(seen.height, rotation == 180 ? 180 : 320);
        EXPECT_FALSE(seen.displayMatrix);
        EXPECT_EQ(SeenGrid(seen), UprightGrid(rotation));
    }
}

TEST_F(PhoneSources, RotateChoiceOverridesAWrongFlag) {
    // Flagged as turned but filmed upright: "none" keeps it as stored.
    const std::string flagged = MakeMarkerClip(folder, 90, "flagged.mp4");
    DecodedPicture seen = ConvertBothWays(k480p, flagged, "none", TRotationChoice::None);
    EXPECT_EQ(seen.width, 320);
    EXPECT_EQ(seen.height, 180);
    EXPECT_EQ(SeenGrid(seen), UprightGrid(0));

    // No flag at all, turned by hand.
    const std::string plain = MakeMarkerClip(folder, 0, "plain.mp4");
    seen = ConvertBothWays(k480p, plain, "270", TRotationChoice::Cw270);
    EXPECT_EQ(seen.width, 180);
    EXPECT_EQ(seen.height, 320);
    EXPECT_EQ(SeenGrid(seen), UprightGrid(270));

    const TProgramRun refused =
        runner->Program({"convert", "-p", k480p, "--rotate", "45", "-o", out, plain});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--rotate takes auto, none, 90, 180 or 270"), std::string::npos)
        << refused.err;
}

TEST_F(PhoneSources, FixedFrameDevicesTakeAPortraitPictureInsideTheirFrame) {
    const std::string source = MakeMarkerClip(folder, 90, "portrait.mp4");
    TJobRecords job;
    const DecodedPicture seen = ConvertBothWays(kIpod, source, "", TRotationChoice::Auto, &job);
    ASSERT_GT(seen.width, 0);
    EXPECT_EQ(seen.width, 320);
    EXPECT_EQ(seen.height, 240);
    if (job.Output.PadLeft > 0) {
        // Proportions kept: black bars left and right, the upright picture between them.
        const double inner = double(job.Output.PadLeft) / seen.width;
        const double innerRight = 1.0 - double(job.Output.PadRight) / seen.width;
        EXPECT_LT(seen.Mean(0, 0, inner * 0.8, 1), 30);
        EXPECT_LT(seen.Mean(innerRight + (1 - innerRight) * 0.2, 0, 1, 1), 30);
        EXPECT_EQ(SeenGrid(seen, inner, innerRight), UprightGrid(90));
    } else {
        EXPECT_EQ(SeenGrid(seen), UprightGrid(90));
        // Stretched into the frame, the picture is shown at its upright shape: the source's
        // the other way up.
        TAVProbe output;
        ASSERT_TRUE(output.LoadFile(job.Output.FileName)) << output.LastError;
        const TSourcePicture shape = SourcePictureOf(output);
        const TSourcePicture turned = Summary(source).Picture;
        ASSERT_GT(turned.Height, 0);
        EXPECT_NEAR(shape.DisplayAspect, double(turned.Height) / turned.Width, 0.02);
    }
}

// 10-bit H.264 with HDR tags, the left half a highlight and the right half mid-grey.
std::string MakeHdrClip(const std::string& folder, int transfer, const std::string& name) {
    MediaRecipe recipe;
    recipe.seconds = 0.3;
    VideoTrack video;
    video.encoder = "libx264";
    video.pixelFormat = "yuv420p10le";
    video.width = 1280;
    video.height = 720;
    video.colorPrimaries = AVCOL_PRI_BT2020;
    video.colorTransfer = transfer;
    video.colorMatrix = AVCOL_SPC_BT2020_NCL;
    recipe.video.push_back(video);
    AudioTrack audio;
    audio.encoder = "aac";
    recipe.audio.push_back(audio);
    return MakeMedia(folder + "/" + name, recipe);
}

TEST_F(PhoneSources, HdrSourcesAreToneMappedAndTaggedBt709) {
    for (const int transfer : {int(AVCOL_TRC_SMPTE2084), int(AVCOL_TRC_ARIB_STD_B67)}) {
        SCOPED_TRACE(transfer);
        const std::string source =
            MakeHdrClip(folder, transfer, "hdr" + std::to_string(transfer) + ".mp4");
        const DecodedPicture original = DecodePicture(source, 3);
        ASSERT_EQ(original.depth, 10);
        ASSERT_EQ(original.transfer, transfer);
        const DecodedPicture seen = ConvertBothWays(k720p, source, "", TRotationChoice::Auto);
        ASSERT_GT(seen.width, 0);
        EXPECT_EQ(seen.depth, 8);
        EXPECT_EQ(seen.primaries, AVCOL_PRI_BT709);
        EXPECT_EQ(seen.transfer, AVCOL_TRC_BT709);
        EXPECT_EQ(seen.matrix, AVCOL_SPC_BT709);
        EXPECT_EQ(seen.range, AVCOL_RANGE_MPEG);
        // A plain re-tag keeps the code values: the top eight of the ten bits.
        const double brightRetag = original.Mean(0.1, 0.1, 0.4, 0.9) / 4;
        const double midRetag = original.Mean(0.6, 0.1, 0.9, 0.9) / 4;
        const double bright = seen.Mean(0.1, 0.1, 0.4, 0.9);
        const double mid = seen.Mean(0.6, 0.1, 0.9, 0.9);
        EXPECT_GT(bright, mid + 20);
        // HLG is made to look right on SDR screens in its grey levels; its wide-gamut colour
        // still has to be brought into BT.709's.
        const double redRetag = original.MeanRed(0.6, 0.1, 0.9, 0.9) / 4;
        const double red = seen.MeanRed(0.6, 0.1, 0.9, 0.9);
        EXPECT_GT(std::max({std::abs(bright - brightRetag), std::abs(mid - midRetag),
                            std::abs(red - redRetag)}),
                  12.0)
            << bright << " " << brightRetag << " " << mid << " " << midRetag << " " << red << " "
            << redRetag;
    }
}

TEST_F(PhoneSources, EveryVideoOutputCarriesColourTags) {
    // Standard definition at 25 pictures a second: the 625-line BT.601 set.
    const std::string source = MakeMarkerClip(folder, 0, "sd.mp4");
    const DecodedPicture seen = ConvertBothWays(k480p, source, "", TRotationChoice::Auto);
    EXPECT_EQ(seen.primaries, AVCOL_PRI_BT470BG);
    EXPECT_EQ(seen.transfer, AVCOL_TRC_SMPTE170M);
    EXPECT_EQ(seen.matrix, AVCOL_SPC_BT470BG);
    EXPECT_EQ(seen.range, AVCOL_RANGE_MPEG);
    EXPECT_EQ(SeenGrid(seen), UprightGrid(0));
}

TEST_F(PhoneSources, DateTitleAndPlaceReachEveryContainerThatHoldsThem) {
    MediaRecipe recipe;
    recipe.seconds = 0.5;
    recipe.video.push_back(VideoTrack{});
    AudioTrack audio;
    audio.encoder = "aac";
    recipe.audio.push_back(audio);
    recipe.tags = {{"creation_time", "2021-06-05T14:30:00.000000Z"},
                   {"title", "Beach walk"},
                   {"artist", "Ana"},
                   {"comment", "first swim"},
                   {"location", "+48.8577+002.2950/"}};
    const std::string source = MakeMedia(folder + "/phone.mp4", recipe);
    const auto sourceDate = fs::file_time_type(std::chrono::seconds(1000000000));
    fs::last_write_time(source, sourceDate);

    struct Case {
        const char* profile;
        std::vector<std::string> kept;
    } cases[] = {
        {k480p, {"title", "artist", "comment", "location"}},
        // FFmpeg's demuxer reads back only the place of 3GP's own tags; the rest is looked
        // for in the file's bytes below.
        {"3GP MPEG-4 Video (320x240) (*.3gp)", {"location"}},
        {"DivX Video Format (*.avi)", {"title", "artist", "comment"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        const std::vector<std::string> args = {"convert", "-p",           c.profile, "-o",
                                               out,       "--keep-dates", "-q",      source};
        const TJobRecords job = CommandLineJob(args);
        const TProgramRun run = runner->Program(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const DecodedPicture seen = DecodePicture(job.Output.FileName);
        for (const auto& [key, value] : recipe.tags) {
            if (std::find(c.kept.begin(), c.kept.end(), key) == c.kept.end())
                continue;
            const auto tag = seen.tags.find(key);
            std::string all;
            for (const auto& [name, text] : seen.tags)
                all += name + "=" + text + " ";
            ASSERT_NE(tag, seen.tags.end()) << key << " not in " << all;
            EXPECT_EQ(tag->second, value) << key;
        }
        if (seen.tags.count("creation_time")) {
            EXPECT_EQ(seen.tags.at("creation_time").substr(0, 19), "2021-06-05T14:30:00");
        }
        if (job.Output.FileType == ".3gp") {
            const std::string bytes = FileContents(job.Output.FileName);
            for (const char* text : {"Beach walk", "Ana", "first swim"})
                EXPECT_NE(bytes.find(text), std::string::npos) << text;
        }
        EXPECT_EQ(fs::last_write_time(job.Output.FileName), sourceDate);
    }
}

} // namespace
} // namespace velto::test

namespace velto::test {
namespace {

TEST_F(PhoneSources, FeaturePhone3gpCarriesAmrWhereTheBuildHasIt) {
    const std::string source = MakeMarkerClip(folder, 0, "clip.mp4");
    const TProgramRun run = runner->Program(
        {"convert", "-p", "3GP Video for Mobile Phones (176x144) (*.3gp)", "-o", out, source});
    ASSERT_EQ(run.status, 0) << run.err;
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(out + "/clip_(new).3gp")) << probe.LastError;
    ASSERT_GE(probe.FirstAudioStreamIndex, 0);
    const AVCodecParameters* sound =
        probe.FormatContext()->streams[probe.FirstAudioStreamIndex]->codecpar;
    EXPECT_EQ(sound->sample_rate, 8000);
    EXPECT_EQ(sound->ch_layout.nb_channels, 1);
    if (AVCodecHlpr::avcodec_find_encoder_by_name("libopencore_amrnb")) {
        EXPECT_EQ(sound->codec_id, AV_CODEC_ID_AMR_NB);
    } else {
        EXPECT_EQ(sound->codec_id, AV_CODEC_ID_AAC);
        EXPECT_NE(run.err.find("no AMR-NB encoder"), std::string::npos) << run.err;
    }
}

// Pictures whose size is not the one the stream declared were all dropped: a decoder that cannot
// crop to an odd offset (Theora) gave files without a picture, a size change midway (a recording
// joined from two) lost everything after it.
TEST_F(PhoneSources, PicturesOfAnotherSizeThanDeclaredAreConvertedNotDropped) {
    MediaRecipe small;
    small.muxer = "mpeg";
    small.seconds = 1.0;
    small.video = {VideoTrack{"mpeg2video", 176, 144}};
    MediaRecipe large = small;
    large.video[0].width = 320;
    large.video[0].height = 240;
    const std::string joined = folder + "/joined.mpg";
    {
        std::ofstream both(joined, std::ios::binary);
        for (const std::string& part :
             {MakeMedia(folder + "/a.mpg", small), MakeMedia(folder + "/b.mpg", large)})
            both << std::ifstream(part, std::ios::binary).rdbuf();
    }
    const TProgramRun run = runner->Program({"convert", "-p", "0", "-o", out, "--json", joined});
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    std::string output;
    for (const JsonValue& event : run.Events())
        if (event["event"].text == "finished")
            output = event["output"].text;
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(output)) << run.out;
    AVPacket* packet = AVCodecHlpr::av_packet_alloc();
    int pictures = 0;
    while (AVFormatHlpr::av_read_frame(probe.FormatContext(), packet) >= 0) {
        pictures += packet->stream_index == probe.FirstVideoStreamIndex;
        AVCodecHlpr::av_packet_unref(packet);
    }
    AVCodecHlpr::av_packet_free(&packet);
    EXPECT_GE(pictures, 45) << "2 s at 25 pictures a second";
}

// libx265 prints past the library log, straight to the terminal: its banner and statistics
// came out even with -q.
TEST_F(PhoneSources, HevcSaysNothingOnTheTerminalOfItsOwn) {
    const std::string source = MakeMp4H264Aac(folder, 1.0);
    const TProgramRun run = runner->Program(
        {"convert", "-q", "-p", "Apple HEVC/H.265 Video (1080p) (*.mp4)", "-o", out, source});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("x265 ["), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("x265 ["), std::string::npos) << run.out;
}

TEST_F(PhoneSources, SourcesWithNothingForTheProfileAreRefusedAtAdd) {
    const std::string source = MakeVideoOnly(folder);
    const TProgramRun run =
        runner->Program({"convert", "-p", "MP3 Audio (*.mp3)", "-o", out, "--json", source});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.out.find("has no sound to put in it"), std::string::npos) << run.out;
    // A subtitle file alone made an MP4 of one text track that passed as finished.
    const std::string cues = MakeSrtFile(folder + "/cues.srt", 3);
    for (const char* dry : {"--dry-run", "--json"}) {
        const TProgramRun text = runner->Program({"convert", "-p", "0", "-o", out, dry, cues});
        EXPECT_EQ(text.status, 1) << text.err;
        EXPECT_NE((text.out + text.err).find("holds neither a picture nor sound"),
                  std::string::npos)
            << dry << text.out << text.err;
    }
    EXPECT_TRUE(fs::is_empty(out));
}

} // namespace
} // namespace velto::test
