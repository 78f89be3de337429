// Output set-up on real inputs: stream kinds, encoder settings of the new streams, metadata,
// muxer settings, and failures that must neither destroy a user's file nor leak.
#include "AVFormatHlpr.h"
#include "FailureOf.h"
#include "MediaFactory.h"
#include "TaskFixture.h"
#include "TestLibraries.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string StreamLanguage(const AVStream* stream) {
    const AVDictionaryEntry* entry =
        AVUtilHlpr::av_dict_get(stream->metadata, "language", nullptr, 0);
    return entry ? entry->value : "";
}

class OutputSetupTest : public TaskTest {
protected:
    void SetUp() override {
        TaskTest::SetUp();
        task.Settings.Verbosity = -1; // keep format dumps out of the test log
    }

    // Stream kinds of output `index`, in stream order.
    std::vector<AVMediaType> Kinds(std::size_t index) {
        std::vector<AVMediaType> kinds;
        for (const TOutputStreamSetup& stream : task.OutputFiles.at(index).Streams)
            kinds.push_back(stream.CodecContext->codec_type);
        return kinds;
    }

    std::string folder = ScratchFolder();
};

TEST_F(OutputSetupTest, CropPadAndFilterConflicts) {
    const struct {
        const char* filters;
        const char* option;
        const char* expected; // nullptr: the output is created
    } cases[] = {
        {"hflip", "croptop", "Cannot enable crop options and filters at the same time."},
        {"scale=320:240", "padtop",
         "Cannot enable pad options and the filters which resize frame at the same time. "
         "(crop, rotate, scale, transpose, etc.)"},
        {"hflip,vflip", "padtop", nullptr},
    };
    int n = 0;
    for (const auto& c : cases) {
        TCustomFFmpeg output;
        output.InitOptions();
        output.Settings.Verbosity = -1;
        output.Settings.FrameWidth = 320;
        output.Settings.FrameHeight = 240;
        output.SetOption("vfilters", c.filters);
        output.SetOption(c.option, "8");
        const std::string file = folder + "/conflict" + std::to_string(n++) + ".mpg";
        const std::string failure = FailureOf([&] { output.OpenOutputFile(file); });
        EXPECT_EQ(failure, c.expected ? c.expected : "") << c.filters;
        if (c.expected) {
            EXPECT_TRUE(output.OutputFiles.empty());
            EXPECT_FALSE(Exists(file));
        } else {
            EXPECT_EQ(output.Settings.FiltersInUse, 1);
        }
    }
}

TEST_F(OutputSetupTest, UnknownExtensionHasNoFormat) {
    task.Settings.OutputFormat = AVFormatHlpr::av_guess_format("avi", nullptr, nullptr);
    task.Settings.OutputFormat = nullptr;
    const std::string file = folder + "/clip.nosuchext";
    EXPECT_EQ(FailureOf([&] { task.OpenOutputFile(file); }),
              "Unable to find a suitable output format for '" + file + "'");
    EXPECT_FALSE(Exists(file));
}

TEST_F(OutputSetupTest, StreamKindsFollowTheInputsAndTheDisableFlags) {
    ASSERT_NO_THROW(task.OpenInputFile(MakeVideoOnly(folder)));
    task.SetOption("acodec", "mp2");
    ASSERT_NO_THROW(task.OpenOutputFile(folder + "/video.mpg"));
    EXPECT_EQ(Kinds(0), std::vector<AVMediaType>{AVMEDIA_TYPE_VIDEO});

    // "an" suppresses audio in this output and, since no audio stream consumed it, the next.
    TCustomFFmpeg second;
    second.InitOptions();
    second.Settings.Verbosity = -1;
    ASSERT_NO_THROW(second.OpenInputFile(MakeAviMpeg4Mp2(folder)));
    second.SetOption("an", "");
    ASSERT_NO_THROW(second.OpenOutputFile(folder + "/first.mpg"));
    ASSERT_NO_THROW(second.OpenOutputFile(folder + "/second.mpg"));
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(second.OutputFiles[i].Context->nb_streams, 1u) << i;
    EXPECT_EQ(second.OutputFiles[1].Streams[0].CodecContext->codec_type, AVMEDIA_TYPE_VIDEO);
}

TEST_F(OutputSetupTest, VideoEncoderSettings) {
    ASSERT_NO_THROW(task.OpenInputFile(MakeAviMpeg4Mp2(folder)));
    task.Settings.FrameRate = {20, 1};
    task.Settings.FramePixelFormat = AV_PIX_FMT_NONE;
    task.Settings.FrameAspectRatio = 4.0f / 3.0f;
    task.SetOption("vcodec", "mpeg1video");
    task.SetOption("qscale", "3");
    task.SetOption("padtop", "16");
    task.Settings.RcOverride = "0,100,2/101,200,-50";
    task.SetOption("vbsf", "null");
    ASSERT_NO_THROW(task.OpenOutputFile(folder + "/out.mpg"));

    const TOutputStreamSetup& video = task.OutputFiles[0].Streams.at(0);
    const AVCodecContext* codec = video.CodecContext.get();
    EXPECT_FALSE(video.StreamCopy);
    EXPECT_EQ(codec->codec_id, AV_CODEC_ID_MPEG1VIDEO);
    ASSERT_NE(video.Encoder, nullptr);
    // 20 fps is not an MPEG-1 rate: the nearest listed one is 24000/1001.
    EXPECT_EQ(av_cmp_q(codec->time_base, AVRational{1001, 24000}), 0)
        << codec->time_base.num << "/" << codec->time_base.den;
    EXPECT_EQ(codec->width, 176);
    EXPECT_EQ(codec->height, 144 + 16);
    EXPECT_EQ(codec->pix_fmt, AV_PIX_FMT_YUV420P); // the encoder's first format
    EXPECT_NEAR(av_q2d(codec->sample_aspect_ratio) * codec->width / codec->height, 4.0 / 3.0, 0.01);
    EXPECT_TRUE(codec->flags & AV_CODEC_FLAG_QSCALE);
    EXPECT_EQ(codec->global_quality, 3 * FF_QP2LAMBDA);
    EXPECT_FLOAT_EQ(video.Quality, 3.0f * FF_QP2LAMBDA);
    ASSERT_EQ(codec->rc_override_count, 2);
    EXPECT_EQ(codec->rc_override[1].start_frame, 101);
    EXPECT_FLOAT_EQ(codec->rc_override[1].quality_factor, 0.5f);
    EXPECT_EQ(video.BitstreamFilters.size(), 1u);
    EXPECT_TRUE(task.Settings.VideoBitstreamFilters.empty());
    EXPECT_TRUE(task.Settings.VideoCodecName.empty());
}

TEST_F(OutputSetupTest, GlobalHeaderAndStreamCopy) {
    ASSERT_NO_THROW(task.OpenInputFile(MakeAviMpeg4Mp2(folder)));
    task.SetOption("vcodec", "copy");
    task.SetOption("acodec", "aac");
    ASSERT_NO_THROW(task.OpenOutputFile(folder + "/out.mp4"));
    const auto& streams = task.OutputFiles[0].Streams;
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_TRUE(streams[0].StreamCopy);
    EXPECT_FALSE(streams[1].StreamCopy);
    EXPECT_TRUE(streams[1].CodecContext->flags & AV_CODEC_FLAG_GLOBAL_HEADER); // mp4 wants it
    EXPECT_EQ(streams[1].CodecContext->sample_fmt, AV_SAMPLE_FMT_FLTP);
    EXPECT_EQ(streams[1].CodecContext->ch_layout.nb_channels, 2);
    EXPECT_EQ(task.Settings.VideoStreamCopy, 0);
}

TEST_F(OutputSetupTest, LanguagesMetadataAndMuxerSettings) {
    ASSERT_NO_THROW(task.OpenInputFile(MakeAviMpeg4Mp2(folder)));
    task.Settings.AudioLanguage = "english";
    task.Settings.Title = "A title";
    task.Settings.Genre = std::string(40, 'g');
    task.Settings.Year = 2009;
    task.Settings.Track = 0;
    task.SetMuxPreload(0.44f);
    ASSERT_NO_THROW(task.OpenOutputFile(folder + "/out.mpg"));
    AVFormatContext* context = task.OutputFiles[0].Context.get();
    ASSERT_EQ(context->nb_streams, 2u);
    EXPECT_EQ(StreamLanguage(context->streams[1]), "eng");
    EXPECT_TRUE(task.Settings.AudioLanguage.empty());
    auto meta = [context](const char* key) -> std::string {
        const AVDictionaryEntry* e = AVUtilHlpr::av_dict_get(context->metadata, key, nullptr, 0);
        return e ? e->value : "<none>";
    };
    EXPECT_EQ(meta("title"), "A title");
    EXPECT_EQ(meta("genre"), std::string(31, 'g'));
    EXPECT_EQ(meta("year"), "2009");
    EXPECT_EQ(meta("track"), "<none>");
    EXPECT_EQ(meta("author"), "<none>");
    std::int64_t preload = 0;
    ASSERT_GE(AVUtilHlpr::av_opt_get_int(context, "preload", AV_OPT_SEARCH_CHILDREN, &preload), 0);
    EXPECT_EQ(preload, 440000);
    EXPECT_EQ(context->max_delay, 700000);
    // Nothing is created before the run: the run writes a temporary file and renames it.
    EXPECT_EQ(context->pb, nullptr);
    EXPECT_FALSE(Exists(folder + "/out.mpg"));
}

TEST_F(OutputSetupTest, NewStreamOptionsReachTheNewestOutput) {
    EXPECT_EQ(Failure("newaudio", ""), "At least one output file must be specified");
    ASSERT_NO_THROW(task.OpenInputFile(MakeTwoAudio(folder)));
    ASSERT_NO_THROW(task.OpenOutputFile(folder + "/a.mp3"));
    ASSERT_NO_THROW(task.OpenOutputFile(folder + "/b.mp3"));
    const unsigned before = task.OutputFiles[1].Context->nb_streams;
    task.SetOption("alang", "deu");
    task.SetOption("newaudio", "");
    EXPECT_EQ(task.OutputFiles[0].Context->nb_streams, before);
    ASSERT_EQ(task.OutputFiles[1].Context->nb_streams, before + 1);
    ASSERT_EQ(task.OutputFiles[1].Streams.size(), before + 1);
    EXPECT_EQ(task.OutputFiles[1].Streams[before].CodecContext->codec_type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(StreamLanguage(task.OutputFiles[1].Context->streams[before]), "deu");
    // A stream with a bad encoder name stays counted, its records aligned with the streams.
    task.SetOption("acodec", "mpeg4");
    EXPECT_EQ(Failure("newaudio", ""), "Invalid encoder type 'mpeg4'");
    EXPECT_EQ(task.OutputFiles[1].Streams.size(), task.OutputFiles[1].Context->nb_streams);
    EXPECT_TRUE(task.Settings.AudioCodecName.empty());
}

TEST_F(OutputSetupTest, StreamFailuresAreReportedAndReleased) {
    ASSERT_NO_THROW(task.OpenInputFile(MakeAviMpeg4Mp2(folder)));
    const struct {
        const char* option;
        const char* value;
        const char* expected;
    } cases[] = {
        {"vcodec", "mp2", "new_video_stream fail: Invalid encoder type 'mp2'"},
        {"acodec", "nosuchcodec", "new_audio_stream fail: Unknown encoder 'nosuchcodec'"},
        {"rc_override", "0,100", "new_video_stream fail: error parsing rc_override"},
    };
    for (const auto& c : cases) {
        task.Settings.RcOverride.clear();
        if (std::string(c.option) == "rc_override")
            task.Settings.RcOverride = c.value;
        else
            task.SetOption(c.option, c.value);
        EXPECT_EQ(FailureOf([&] { task.OpenOutputFile(folder + "/out.mpg"); }), c.expected)
            << c.value;
        EXPECT_TRUE(task.OutputFiles.empty());
    }
    EXPECT_FALSE(Exists(folder + "/out.mpg"));
}

// A set-up that fails before the file is opened never touches a file already there.
TEST_F(OutputSetupTest, ExistingFileSurvivesAFailedSetUp) {
    ASSERT_NO_THROW(task.OpenInputFile(MakeAviMpeg4Mp2(folder)));
    const std::string existing = folder + "/keep.mpg";
    { std::ofstream(existing, std::ios::binary) << "user data\n"; }
    task.SetOption("vcodec", "mp2");
    EXPECT_NE(FailureOf([&] { task.OpenOutputFile(existing); }), "");
    EXPECT_EQ(FileContents(existing), "user data\n");

    // Writing over the task's own input would truncate the source before it is read.
    const std::string source = task.InputFiles[0].Context->url;
    const std::string before = FileContents(source);
    EXPECT_EQ(FailureOf([&] { task.OpenOutputFile(source); }),
              "Could not open '" + source + "': it is input file #0 of this task");
    EXPECT_EQ(FileContents(source), before);
    EXPECT_EQ(task.OutputFiles.size(), 1u); // registered; released with the task
    task.ReleaseFiles();
    EXPECT_TRUE(task.OutputFiles.empty());
    EXPECT_TRUE(task.InputFiles.empty());
}

TEST_F(OutputSetupTest, UnwritableLocationsFailWithTheirReasonAndNoStrayFiles) {
    const std::string regular = folder + "/plain.txt";
    { std::ofstream(regular) << "x"; }
    fs::create_directory(folder + "/taken.mpg");
    fs::create_symlink("loop.mpg", folder + "/loop.mpg");
    const std::pair<std::string, std::string> rows[] = {
        {folder + "/missing/out.mpg", "No such file or directory"},
        {regular + "/out.mpg", "Not a directory"},
        {"/proc/velto-out.mpg", "No such file or directory"}, // takes no files, even root's
        {folder + "/taken.mpg", "Is a directory"},
        {folder + "/loop.mpg", "Too many levels of symbolic links"},
    };
    for (const auto& [path, reason] : rows) {
        TCustomFFmpeg output;
        output.InitOptions();
        output.Settings.Verbosity = -1;
        EXPECT_EQ(FailureOf([&] { output.OpenOutputFile(path); }),
                  "Could not open '" + path + "': " + reason);
        // The partly built output stays with the task until it is released.
        ASSERT_EQ(output.OutputFiles.size(), 1u);
        EXPECT_EQ(output.OutputFiles[0].Context->pb, nullptr);
    }
    EXPECT_EQ(FileContents(regular), "x");
    EXPECT_FALSE(Exists("/proc/velto-out.mpg"));
    EXPECT_FALSE(Exists(folder + "/missing"));
    // Nothing but what the test made: no probe or temporary file is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
}

TEST_F(OutputSetupTest, TwentyFirstOutputIsRefused) {
    for (int i = 0; i < kMaxFiles; ++i)
        ASSERT_NO_THROW(task.OpenOutputFile(folder + "/out" + std::to_string(i) + ".wav"));
    try {
        task.OpenOutputFile(folder + "/out20.wav");
        FAIL() << "a 21st output was accepted";
    } catch (const FFMpegException& error) {
        EXPECT_STREQ(error.what(), "Too many output files: a task takes at most 20");
    }
    EXPECT_EQ(task.OutputFiles.size(), 20u);
    EXPECT_FALSE(Exists(folder + "/out20.wav"));
}

} // namespace
} // namespace velto::test
