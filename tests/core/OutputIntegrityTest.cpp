// A job's result is what is on disk: damaged sources end in a clear failure or a verified output,
// a full disk fails with its reason wherever it strikes, an existing output survives everything
// but a complete replacement, and no run leaves a stray file or touches its source.
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "AVUtilHlpr.h"
#include "FailureOf.h"
#include "MediaFactory.h"
#include "OutputVerifier.h"
#include "TaskOptions.h"
#include "TestLibraries.h"
#include "TranscodeFixture.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velto::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct Outcome {
    bool reachedRun = false; // input and output were accepted
    bool ended = false;      // the run reported within the time bound
    TJobResult result = jrFailed;
    std::string message;
};

// One job as the engine runs it: its own task, worker thread, clean-up and report.
Outcome RunJob(const std::string& source, const std::string& output, const std::string& options,
               bool keepUnfinished = true) {
    Outcome outcome;
    TCustomFFmpeg task;
    task.InitOptions();
    task.Settings.Verbosity = -1;
    if (std::string failure = FailureOf([&] { task.OpenInputFile(source); }); !failure.empty()) {
        outcome.ended = true;
        outcome.message = failure;
        return outcome;
    }
    task.ApplyOptionText(options);
    if (std::string failure = FailureOf([&] { task.OpenOutputFile(output); }); !failure.empty()) {
        outcome.ended = true;
        outcome.message = failure;
        return outcome;
    }
    outcome.reachedRun = true;
    task.KeepUnfinishedOutput = keepUnfinished;
    std::promise<void> reported;
    task.TerminateSink = [&](TCustomFFmpeg*) { reported.set_value(); };
    const auto worker = task.Start(true, tpNormal);
    if (!worker)
        return outcome;
    worker->Resume();
    // A bound against hangs, not a speed measure: these runs take a second or two.
    outcome.ended = reported.get_future().wait_for(120s) == std::future_status::ready;
    task.StopAndWait();
    outcome.result = task.Result();
    outcome.message = task.ResultMessage();
    return outcome;
}

std::vector<std::string> TemporaryFiles(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().find(".velto-") != std::string::npos)
            found.push_back(entry.path().string());
    return found;
}

// Byte edits of an MP4 file: the value at `offset` bytes after the first `box` type code.
struct BoxEdit {
    const char* box;
    long offset; // from the type code; -4 is the box's size field
    std::uint32_t value;
};

std::string EditBoxes(const std::string& source, const std::string& name,
                      std::initializer_list<BoxEdit> edits) {
    std::string bytes = FileContents(source);
    for (const BoxEdit& edit : edits) {
        const size_t found = bytes.find(edit.box);
        const long at = found == std::string::npos ? -1 : static_cast<long>(found) + edit.offset;
        if (at < 0 || static_cast<size_t>(at) + 4 > bytes.size())
            throw std::runtime_error(std::string("no box ") + edit.box);
        for (int i = 0; i < 4; ++i) // big-endian, as every MP4 field
            bytes[static_cast<size_t>(at) + i] = static_cast<char>(edit.value >> (24 - 8 * i));
    }
    const std::string path = fs::path(source).parent_path().string() + "/" + name;
    WriteAll(path, bytes);
    return path;
}

std::string ZeroedHeaderCopy(const std::string& source, const std::string& name, size_t bytes) {
    std::string data = FileContents(source);
    std::fill(data.begin(), data.begin() + std::min(bytes, data.size()), '\0');
    const std::string path = fs::path(source).parent_path().string() + "/" + name;
    WriteAll(path, data);
    return path;
}

std::string PixelFormatOf(const std::string& file) {
    TAVProbe probe;
    if (!probe.LoadFile(file) || probe.FirstVideoStreamIndex < 0)
        return "<none>";
    const AVStream* stream = probe.FormatContext()->streams[probe.FirstVideoStreamIndex];
    const char* name =
        AVUtilHlpr::av_get_pix_fmt_name(static_cast<AVPixelFormat>(stream->codecpar->format));
    return name ? name : "<none>";
}

class OutputIntegrityTest : public TranscodeTest {};

TEST_F(OutputIntegrityTest, HostileSourcesFailClearlyOrGiveVerifiedOutputs) {
    const std::string mp4 = MakeMp4H264Aac(folder, 2.0);
    const std::string avi = MakeAviMpeg4Mp2(folder, 2.0);
    const std::string mpg = MakeMpegPsMpeg2Mp2(folder, 2.0);
    MediaRecipe front;
    front.seconds = 2.0;
    front.muxerOptions = "movflags=faststart";
    front.video.push_back(VideoTrack{"libx264"});
    front.audio.push_back(AudioTrack{"aac"});
    const std::string fast = MakeMedia(folder + "/front.mp4", front);

    std::vector<std::pair<std::string, std::string>> corpus; // (name, path)
    for (const std::string& source : {mp4, avi, mpg, fast}) {
        const std::string base = fs::path(source).filename().string();
        for (double keep : {0.1, 0.5, 0.9})
            corpus.emplace_back(
                "cut " + std::to_string(keep) + " " + base,
                MakeTruncatedCopy(source, "cut" + std::to_string(keep) + base, keep));
        for (std::uint32_t seed : {1u, 2u, 3u})
            corpus.emplace_back(
                "flips " + std::to_string(seed) + " " + base,
                MakeBitFlippedCopy(source, "flip" + std::to_string(seed) + base, 40, seed));
        corpus.emplace_back("zeroed header " + base,
                            ZeroedHeaderCopy(source, "zeroed" + base, 1024));
    }
    for (const std::string& source : {mp4, fast}) {
        const std::string base = fs::path(source).filename().string();
        const std::initializer_list<BoxEdit> edits[] = {
            {{"mdhd", 16, 0}},                         // zero time scale
            {{"stsz", 12, 0x7fffffff}},                // sample count far past the table
            {{"stco", 12, 0x7ffffff0}},                // chunk offset past the end
            {{"stts", 8, 0x7fffffff}},                 // entry count past the box
            {{"avcC", 4, 0xffffffff}, {"avcC", 8, 0}}, // damaged decoder configuration
            {{"trak", -4, 0x7fffffff}},                // box size past the file
            {{"mdhd", 20, 0x7fffffff}},                // duration far past the data
        };
        int n = 0;
        for (const auto& edit : edits) {
            const std::string name = "box" + std::to_string(n++) + base;
            corpus.emplace_back(name, EditBoxes(source, name, edit));
        }
    }

    int verified = 0;
    for (const auto& [name, path] : corpus) {
        SCOPED_TRACE(name);
        const std::string before = FileContents(path);
        const std::string output = Path("hostile.avi");
        const Outcome outcome = RunJob(path, output, "vcodec=mpeg4\nacodec=mp2\nar=44100");
        ASSERT_TRUE(outcome.ended) << "no report within the bound";
        EXPECT_EQ(FileContents(path), before) << "the source changed";
        EXPECT_TRUE(TemporaryFiles(folder).empty());
        if (!outcome.reachedRun || outcome.result == jrFailed) {
            EXPECT_FALSE(outcome.message.empty());
            EXPECT_FALSE(fs::exists(output));
            continue;
        }
        ASSERT_NE(outcome.result, jrStopped);
        // A short output is kept only under the unfinished name.
        const std::string written =
            outcome.result == jrIncomplete ? UnfinishedOutputName(output) : output;
        if (outcome.result == jrIncomplete)
            EXPECT_FALSE(fs::exists(output));
        TAVProbe probe;
        EXPECT_TRUE(probe.LoadFile(written)) << probe.LastError;
        ++verified;
        fs::remove(written);
    }
    EXPECT_GE(verified, 8) << "most damage still leaves something to convert";
}

TEST_F(OutputIntegrityTest, SourceEndingEarlyIsIncomplete) {
    MediaRecipe recipe;
    recipe.seconds = 14.0;
    recipe.muxerOptions = "movflags=faststart";
    recipe.audio.push_back(AudioTrack{"aac"});
    const std::string whole = MakeMedia(folder + "/download.m4a", recipe);
    // The index up front still promises 14 s; the data stops a little before the middle.
    const std::string cut = MakeTruncatedCopy(whole, "cut.m4a", 0.46);
    for (bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "keep unfinished" : "drop unfinished");
        const std::string output = Path(keep ? "kept.mp3" : "dropped.mp3");
        const Outcome outcome = RunJob(cut, output, "acodec=libmp3lame", keep);
        ASSERT_TRUE(outcome.ended);
        EXPECT_EQ(outcome.result, jrIncomplete) << outcome.message;
        EXPECT_EQ(outcome.message, "source ended at 0:00:06 of 0:00:14");
        // A short output never passes for a finished one under the output's name.
        EXPECT_FALSE(fs::exists(output));
        EXPECT_EQ(fs::exists(UnfinishedOutputName(output)), keep);
        EXPECT_TRUE(TemporaryFiles(folder).empty());
    }
    const Outcome full = RunJob(whole, Path("whole.mp3"), "acodec=libmp3lame");
    EXPECT_EQ(full.result, jrFinished) << full.message;
    EXPECT_EQ(full.message, "");
}

TEST_F(OutputIntegrityTest, FullDiskAtHeaderMiddleAndTrailerFailsWithTheReason) {
    const std::string source = MakeAviMpeg4Mp2(folder, 2.0);
    const std::string options = "vcodec=mpeg4\nacodec=aac";
    const Outcome normal = RunJob(source, Path("normal.mp4"), options);
    ASSERT_EQ(normal.result, jrFinished) << normal.message;
    const std::int64_t size = static_cast<std::int64_t>(fs::file_size(Path("normal.mp4")));
    const std::string before = FileContents(source);
    // The index goes at the end of an MP4 and is larger than 300 bytes for two seconds.
    const std::pair<const char*, std::int64_t> limits[] = {
        {"header", 16}, {"middle", size / 2}, {"trailer", size - 300}};
    for (const auto& [where, limit] : limits) {
        SCOPED_TRACE(where);
        // Each output name holds an older file, which must outlive the failed run.
        const std::string output = Path(std::string("full_") + where + ".mp4");
        const std::string old = std::string("older file at ") + where;
        WriteAll(output, old);
        int channel[2];
        ASSERT_EQ(::pipe(channel), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The child converts with a file size limit, as if the disk filled at that point.
            ::close(channel[0]);
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit cap{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
            ::setrlimit(RLIMIT_FSIZE, &cap);
            const Outcome outcome = RunJob(source, output, options);
            const std::string report =
                std::to_string(static_cast<int>(outcome.result)) + "\n" + outcome.message;
            if (::write(channel[1], report.data(), report.size()) < 0)
                ::_exit(2);
            ::_exit(0);
        }
        ::close(channel[1]);
        std::string report;
        char buffer[512];
        for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
            report.append(buffer, static_cast<size_t>(got));
        ::close(channel[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        ASSERT_FALSE(report.empty());
        EXPECT_EQ(report.substr(0, 2), std::to_string(static_cast<int>(jrFailed)) + "\n");
        EXPECT_NE(report.find("'" + output + "'"), std::string::npos) << report;
        EXPECT_NE(report.find("File too large"), std::string::npos) << report;
        EXPECT_EQ(FileContents(output), old);
        EXPECT_TRUE(TemporaryFiles(folder).empty());
    }
    EXPECT_EQ(FileContents(source), before);
}

TEST_F(OutputIntegrityTest, ExistingOutputIsReplacedOnlyByACompleteRun) {
    const std::string source = MakeAviMpeg4Mp2(folder, 1.0);
    const std::string existing = Path("mine.mp4");
    const std::string old = "the user's own file\n";
    WriteAll(existing, old);
    {
        // Added and removed without running: nothing is created, truncated or replaced.
        TCustomFFmpeg task;
        task.InitOptions();
        ASSERT_NO_THROW(task.OpenInputFile(source));
        task.ApplyOptionText("vcodec=mpeg4\nacodec=aac");
        ASSERT_NO_THROW(task.OpenOutputFile(existing));
        EXPECT_EQ(FileContents(existing), old);
    }
    EXPECT_EQ(FileContents(existing), old);
    // A run that fails keeps it byte for byte (a failure after writing began is the full-disk
    // test's).
    const Outcome failed =
        RunJob(source, existing, "vcodec=mpeg4\npass=2\npasslogfile=" + Path("none/log"));
    EXPECT_EQ(failed.result, jrFailed);
    EXPECT_EQ(FileContents(existing), old);
    const Outcome done = RunJob(source, existing, "vcodec=mpeg4\nacodec=aac");
    ASSERT_EQ(done.result, jrFinished) << done.message;
    const TOutputCheck check = VerifyOutput(existing, {true, true, 1000000});
    EXPECT_EQ(check.Verdict, ovValid) << check.Problem;
    EXPECT_TRUE(TemporaryFiles(folder).empty());
}

TEST_F(OutputIntegrityTest, H264IsFourTwoZeroAndXvidIsTagged) {
    const struct {
        const char* encoder;
        const char* pixelFormat; // of the source
    } sources[] = {{"v308", "yuv444p"}, {"huffyuv", "yuv422p"}};
    for (const auto& row : sources) {
        SCOPED_TRACE(row.encoder);
        MediaRecipe recipe;
        recipe.video.push_back(VideoTrack{row.encoder});
        const std::string source = MakeMedia(Path(std::string(row.encoder) + ".mkv"), recipe);
        ASSERT_EQ(PixelFormatOf(source), row.pixelFormat);
        const std::string output = Path(std::string(row.encoder) + "_h264.mp4");
        const Outcome outcome = RunJob(source, output, "vcodec=libx264");
        ASSERT_EQ(outcome.result, jrFinished) << outcome.message;
        EXPECT_EQ(PixelFormatOf(output), "yuv420p");
        // A format the user names still holds.
        const std::string named = Path(std::string(row.encoder) + "_named.mkv");
        ASSERT_EQ(RunJob(source, named, "vcodec=libx264\npix_fmt=yuv422p").result, jrFinished);
        EXPECT_EQ(PixelFormatOf(named), "yuv422p");
    }
    const std::string xvid = Path("xvid.avi");
    const Outcome outcome = RunJob(MakeVideoOnly(folder, 1.0), xvid, "vcodec=libxvid");
    ASSERT_EQ(outcome.result, jrFinished) << outcome.message;
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(xvid));
    EXPECT_EQ(probe.FormatContext()->streams[0]->codecpar->codec_tag, MKTAG('X', 'V', 'I', 'D'));
}

TEST_F(OutputIntegrityTest, PipesAndFoldersAreRefusedWithoutWaiting) {
    const std::string pipe = Path("pipe.avi");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& name : {pipe, folder}) {
        SCOPED_TRACE(name);
        TAVProbe probe;
        EXPECT_FALSE(probe.LoadFile(name)); // a pipe without a writer would block here
        EXPECT_EQ(probe.LastError, name + ": not a regular file (a pipe, device or folder)");
        TCustomFFmpeg task;
        task.InitOptions();
        EXPECT_EQ(FailureOf([&] { task.OpenInputFile(name); }), probe.LastError);
    }
}

TEST(OutputVerifierTest, AStreamWithoutPacketsIsNoPicture) {
    LoadTestLibraries();
    const std::string folder = ScratchFolder();
    // Headers that declare a picture and a sound and hold neither, as an encoder that was never
    // given a frame leaves them.
    MediaRecipe recipe;
    recipe.seconds = 0;
    recipe.video.push_back({});
    recipe.audio.push_back({});
    const std::string empty = MakeMedia(folder + "/empty.avi", recipe);
    TOutputCheck check = VerifyOutput(empty, {true, true, 0});
    EXPECT_NE(check.Verdict, ovValid);
    EXPECT_EQ(check.Problem, "its video stream holds no pictures");
    check = VerifyOutput(MakeAviMpeg4Mp2(folder, 1.0), {true, true, 1000000});
    EXPECT_EQ(check.Verdict, ovValid) << check.Problem;
}

TEST(OutputVerifierTest, ToleranceAndClockTimes) {
    for (auto [expected, tolerance] : {std::pair<std::int64_t, std::int64_t>{0, 1000000},
                                       {14000000, 1000000},
                                       {20000000, 1000000},
                                       {60000000, 3000000}})
        EXPECT_EQ(DurationTolerance(expected), tolerance) << expected;
    for (auto [microseconds, text] : {std::pair<std::int64_t, const char*>{6400000, "0:00:06"},
                                      {14000000, "0:00:14"},
                                      {3725000000, "1:02:05"},
                                      {-5, "0:00:00"}})
        EXPECT_EQ(FormatClockTime(microseconds), text);
}

} // namespace
} // namespace velto::test
