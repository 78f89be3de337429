// velto3gp with a size to keep and a forecast before anything runs: --max-size fills the limit
// without passing it, a limit the sound alone overruns is refused with its figures, --dry-run
// writes nothing, and a folder too small is refused before any work. The built program on
// media-factory files.
#include "AVProbe.h"
#include "MediaFactory.h"
#include "OutputVerifier.h"
#include "ProfileMapping.h"
#include "ProgramRunner.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sys/mount.h>
#include <unistd.h>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kMiB = 1024 * 1024;

class SizeLimitTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        out = folder + "/out";
        work = folder + "/work";
        fs::create_directory(out);
        fs::create_directory(work);
        runner = std::make_unique<TProgramRunner>(folder, folder + "/config");
        // Two-pass logs must never land where the program was started.
        runner->SetWorkingFolder(work);
    }

    void ExpectEmpty(const std::string& path) {
        for (const auto& entry : fs::directory_iterator(path))
            ADD_FAILURE() << "left behind: " << entry.path();
    }

    std::string folder, out, work;
    std::unique_ptr<TProgramRunner> runner;
};

TEST_F(SizeLimitTest, TwoPassesFillTheLimitWithoutPassingIt) {
    const std::string source = MakeMotionClip(folder, 30.0, 1280, 720);
    struct Case {
        const char* profile;
        std::int64_t limit;
    };
    // H.264 for phones, and MPEG-4 Part 2 in AVI (the engine's own log between the passes).
    for (const Case c : {Case{"24", 4 * kMiB}, Case{"11", 3 * kMiB}}) {
        SCOPED_TRACE(c.profile);
        const TProgramRun run =
            runner->Program({"convert", "-p", c.profile, "-o", out, "--overwrite", "--json",
                             "--max-size", std::to_string(c.limit / 1024) + "K", source});
        ASSERT_EQ(run.status, 0) << run.err << run.out;
        std::string output;
        for (const JsonValue& event : run.Events())
            if (event["event"].text == "finished")
                output = event["output"].text;
        ASSERT_FALSE(output.empty()) << run.out;
        const auto size = static_cast<std::int64_t>(fs::file_size(output));
        EXPECT_LE(size, c.limit);
        EXPECT_GE(size, c.limit * 85 / 100);
        TOutputExpectation expected;
        expected.Video = expected.Audio = true;
        expected.Duration = 30 * 1000000;
        EXPECT_EQ(VerifyOutput(output, expected).Verdict, ovValid);
        fs::remove(output);
    }
    ExpectEmpty(out);
    ExpectEmpty(work);
}

// Each kind of container and video codec the catalogue ships, held to half the size its own
// rates would give: the measured overheads and the repeat keep every one within the limit.
TEST_F(SizeLimitTest, EveryKindOfVideoProfileHoldsHalfItsNaturalSize) {
    const std::string source = MakeMotionClip(folder, 12.0, 480, 270);
    // VCD is left out: its muxer pads to the disc's fixed rate, so half of it is refused at Add.
    for (const char* profile : {"18", "19", "20", "21", "7", "9", "27", "26", "22", "17"}) {
        SCOPED_TRACE(profile);
        const TProgramRun plan =
            runner->Program({"convert", "-p", profile, "-o", out, "--dry-run", "--json", source});
        ASSERT_EQ(plan.status, 0) << plan.err;
        double natural = 0;
        for (const JsonValue& event : plan.Events())
            if (event["event"].text == "forecast")
                natural = event["size"].number;
        ASSERT_GT(natural, 0.0) << plan.out;
        const auto limit = static_cast<std::int64_t>(natural / 2);
        const TProgramRun run =
            runner->Program({"convert", "-p", profile, "-o", out, "--overwrite", "--json",
                             "--max-size", std::to_string(limit), source});
        ASSERT_EQ(run.status, 0) << run.err;
        for (const JsonValue& event : run.Events())
            if (event["event"].text == "finished") {
                EXPECT_LE(event["size"].number, static_cast<double>(limit));
                EXPECT_GE(event["size"].number, 0.85 * static_cast<double>(limit));
                fs::remove(event["output"].text);
            }
    }
}

// A limit under what the coarsest quantiser gives at the job's picture size: the picture is
// made smaller, keeping its shown shape, rather than the job failing over the limit.
TEST_F(SizeLimitTest, ALimitTheRateCannotReachMakesThePictureSmaller) {
    const std::string source = MakeMotionClip(folder, 12.0, 640, 480);
    // MPEG-4 Part 2 in AVI, and RealMedia's RV10, both at the source's 640x480.
    for (const char* profile : {"12", "22"}) {
        SCOPED_TRACE(profile);
        const std::int64_t limit = 600 * 1024;
        const TProgramRun run =
            runner->Program({"convert", "-p", profile, "-s", "640x480", "-o", out, "--overwrite",
                             "--json", "--max-size", "600K", source});
        ASSERT_EQ(run.status, 0) << run.err << run.out;
        EXPECT_NE(run.out.find("the picture is made smaller"), std::string::npos) << run.out;
        std::string output;
        for (const JsonValue& event : run.Events())
            if (event["event"].text == "finished")
                output = event["output"].text;
        ASSERT_FALSE(output.empty()) << run.out;
        EXPECT_LE(static_cast<std::int64_t>(fs::file_size(output)), limit);
        TOutputExpectation expected;
        expected.Video = expected.Audio = true;
        expected.Duration = 12 * 1000000;
        const TOutputCheck check = VerifyOutput(output, expected);
        EXPECT_EQ(check.Verdict, ovValid) << check.Problem;
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(output)) << probe.LastError;
        const TSourcePicture shown = SourcePictureOf(probe);
        EXPECT_LT(shown.Width, 640);
        // 0: square samples, so the sides' own ratio is the shown one.
        const double aspect =
            shown.DisplayAspect > 0 ? shown.DisplayAspect : double(shown.Width) / shown.Height;
        EXPECT_NEAR(aspect, 4.0 / 3.0, 0.02);
        fs::remove(output);
    }
}

TEST_F(SizeLimitTest, BadSizesAndLimitsTheSoundOverrunAreRefused) {
    for (const char* bad : {"0", "4X", "-3M", "", "M", "2T"}) {
        const TProgramRun run = runner->Program({"convert", "-p", "0", "--max-size", bad, "a.avi"});
        EXPECT_EQ(run.status, 2) << bad << ": " << run.err;
        EXPECT_NE(run.err.find("--max-size"), std::string::npos) << run.err;
    }
    // 20 s of 128 kbit/s sound alone is over 300 KB.
    const std::string source = MakeMotionClip(folder, 20.0, 320, 240);
    const TProgramRun run = runner->Program(
        {"convert", "-p", "0", "--ab", "128", "-o", out, "--max-size", "100K", source});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("The limit of 100 KB is less than the"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("128 kbit/s for 0:00:20"), std::string::npos) << run.err;
    // Without sound it is the container that overruns a tiny limit, not a silent track.
    const TProgramRun silent = runner->Program(
        {"convert", "-p", "24", "-o", out, "--max-size", "2K", MakeVideoOnly(folder, 20.0)});
    EXPECT_EQ(silent.status, 1) << silent.err;
    EXPECT_NE(silent.err.find("the container alone takes for 0:00:20"), std::string::npos)
        << silent.err;
    // A VCD's muxer pads to the format's fixed rate: a limit under that is refused at once,
    // one over it is kept without a second pass.
    const TProgramRun vcd =
        runner->Program({"convert", "-p", "16", "-o", out, "--max-size", "2M", source});
    EXPECT_EQ(vcd.status, 1) << vcd.err;
    EXPECT_NE(vcd.err.find("a VCD of 0:00:20 takes"), std::string::npos) << vcd.err;
    ExpectEmpty(out);
    const TProgramRun held = runner->Program(
        {"convert", "-p", "16", "-o", out, "--json", "--max-size", "3600K", source});
    ASSERT_EQ(held.status, 0) << held.err;
    int finished = 0;
    for (const JsonValue& event : held.Events())
        if (event["event"].text == "finished" && ++finished) {
            EXPECT_LE(event["size"].number, 3600.0 * 1024);
            EXPECT_NEAR(event["size"].number, event["forecast"].number, 64.0 * 1024);
            fs::remove(event["output"].text);
        }
    EXPECT_EQ(finished, 1) << held.out;
}

TEST_F(SizeLimitTest, DryRunForecastsEachFileAndWritesNothing) {
    const std::string a = MakeMotionClip(folder, 10.0, 320, 240);
    const std::string b = MakeMp4H264Aac(folder, 4.0);
    const TProgramRun run = runner->Program(
        {"convert", "-p", "0", "-o", out, "--dry-run", "--json", "--max-size", "1M", a, b});
    ASSERT_EQ(run.status, 0) << run.err;
    int forecasts = 0, rooms = 0;
    for (const JsonValue& event : run.Events()) {
        if (event["event"].text == "forecast") {
            ++forecasts;
            EXPECT_EQ(event["size"].number, 1024.0 * 1024.0);
        } else if (event["event"].text == "room") {
            ++rooms;
            EXPECT_EQ(event["folder"].text, out);
            EXPECT_EQ(event["needed"].number, 2.0 * 1024 * 1024);
            EXPECT_GT(event["free"].number, 0.0);
        } else {
            ADD_FAILURE() << "unexpected: " << event["event"].text;
        }
    }
    EXPECT_EQ(forecasts, 2);
    EXPECT_EQ(rooms, 1);
    // Without a limit the forecast follows the bit rates: the same in plain lines.
    const TProgramRun plain = runner->Program({"convert", "-p", "0", "-o", out, "--dry-run", a});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("forecast [1] " + a), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("room " + out + ": needs about"), std::string::npos) << plain.out;
    // A profile made for a limit (a messenger's 16 MB) keeps to it; --max-size overrides it.
    for (const auto& [limit, expected] :
         {std::pair{"", 16.0 * 1024 * 1024}, std::pair{"1M", 1024.0 * 1024}}) {
        std::vector<std::string> arguments = {"convert", "-p",        "32",     "-o",
                                              out,       "--dry-run", "--json", a};
        if (*limit)
            arguments.insert(arguments.end() - 1, {"--max-size", limit});
        const TProgramRun messenger = runner->Program(arguments);
        ASSERT_EQ(messenger.status, 0) << messenger.err;
        for (const JsonValue& event : messenger.Events())
            if (event["event"].text == "forecast")
                EXPECT_EQ(event["size"].number, expected) << limit;
    }
    ExpectEmpty(out);
    ExpectEmpty(work);
}

TEST_F(SizeLimitTest, FolderTooSmallIsRefusedBeforeAnyWork) {
    const std::string card = folder + "/card";
    fs::create_directory(card);
    if (geteuid() != 0 || mount("tmpfs", card.c_str(), "tmpfs", 0, "size=3m") != 0)
        GTEST_SKIP() << "needs root to mount a 3 MB tmpfs as a small card";
    const std::string a = MakeMotionClip(folder, 20.0, 320, 240);
    const std::string b = MakeMotionClip(folder, 20.0, 320, 240, 25, true);
    const TProgramRun run =
        runner->Program({"convert", "-p", "0", "-o", card, "--max-size", "2M", a, b});
    const TProgramRun dry =
        runner->Program({"convert", "-p", "0", "-o", card, "--max-size", "2M", "--dry-run", a});
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(card))
        left.push_back(entry.path().string());
    umount2(card.c_str(), MNT_DETACH);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("needs about 4.0 MB, 3.0 MB free on " + card), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find("progress"), std::string::npos);
    EXPECT_TRUE(left.empty()) << left.front();
    // One of them fits.
    EXPECT_EQ(dry.status, 0) << dry.err;
}

TEST_F(SizeLimitTest, AFolderFillingFasterThanForecastPausesTheJobUntilThereIsRoom) {
    const std::string card = folder + "/card";
    fs::create_directory(card);
    if (geteuid() != 0 || mount("tmpfs", card.c_str(), "tmpfs", 0, "size=24m") != 0)
        GTEST_SKIP() << "needs root to mount a 24 MB tmpfs as a small card";
    // 720p H.264 on one thread: slow enough that the folder is watched while it is written.
    const std::string source = MakeMotionClip(folder, 16.0, 1280, 720);
    const pid_t pid = runner->Start(
        {"convert", "-p", "24", "-o", card, "-j", "1", "--threads", "1", "--json", source});
    // Another program takes most of the card once the job is under way.
    const bool converting = runner->WaitForOutput("\"progress\"");
    const std::string filler = card + "/other.bin";
    {
        std::ofstream other(filler, std::ios::binary);
        const std::string block(1024 * 1024, 'x');
        for (int i = 0; i < 20; ++i)
            other << block;
    }
    const bool paused = runner->WaitForOutput("paused until there is room");
    fs::remove(filler);
    const bool resumed = runner->WaitForOutput("resumed");
    const TProgramRun run = runner->Finish(pid);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(card))
        left.push_back(entry.path().filename().string());
    const TOutputCheck check =
        left.size() == 1 ? VerifyOutput(card + "/" + left[0], {}) : TOutputCheck{};
    umount2(card.c_str(), MNT_DETACH);
    ASSERT_TRUE(converting && paused && resumed) << run.out << run.err;
    EXPECT_NE(run.out.find("needs about"), std::string::npos) << run.out;
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(check.Verdict, ovValid);
    EXPECT_NEAR(check.Duration / 1e6, 16.0, 1.0);
}

} // namespace
} // namespace velto::test
