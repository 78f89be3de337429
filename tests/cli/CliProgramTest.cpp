// velto3gp as users run it: the built program on media-factory files, each subcommand, its JSON
// lines parsed and checked, the exit statuses, and Ctrl-C in the middle of a batch.
#include "MediaFactory.h"
#include "ProgramRunner.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

class CliProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        config = folder + "/config";
        runner = std::make_unique<TProgramRunner>(folder, config);
    }

    pid_t Start(const std::vector<std::string>& args) { return runner->Start(args); }
    TProgramRun Finish(pid_t pid) { return runner->Finish(pid); }
    TProgramRun Program(const std::vector<std::string>& args) { return runner->Program(args); }

    std::string folder;
    std::string config;
    std::unique_ptr<TProgramRunner> runner;
};

TEST_F(CliProgramTest, HelpVersionAndUsageErrors) {
    const TProgramRun help = Program({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("velto3gp convert -p INDEX|TITLE"), std::string::npos);
    const TProgramRun version = Program({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("velto3gp ", 0), 0u);
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"convert", "a.avi"},
                                                 {"convert", "-p", "9999", "a.avi"},
                                                 {"convert", "-p", "0", "--vb", "333", "a.avi"},
                                                 {"frobnicate"}}) {
        const TProgramRun run = Program(args);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find("velto3gp: "), std::string::npos);
    }
}

TEST_F(CliProgramTest, ProfilesComeFromTheUsersCopyOfTheCatalogue) {
    const TProgramRun text = Program({"profiles"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("0\tMP4 MPEG-4 Video (*.mp4)\n"), std::string::npos);
    // First start copied the factory settings into the user's folder.
    const std::string settings = config + "/Velto3GPConverter/Velto3GPConverter.ini";
    ASSERT_TRUE(fs::exists(settings));

    const TProgramRun json = Program({"profiles", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto profiles = json.Events();
    ASSERT_GE(profiles.size(), 20u);
    for (size_t i = 0; i < profiles.size(); ++i) {
        EXPECT_EQ(profiles[i]["index"].number, double(i));
        EXPECT_FALSE(profiles[i]["title"].text.empty());
    }
    EXPECT_EQ(profiles[0]["file_type"].text, ".mp4");

    // A title the user renamed in the shared settings is what the program lists.
    std::string ini = FileContents(settings);
    const std::string old = "Title=MP4 MPEG-4 Video (*.mp4)";
    ini.replace(ini.find(old), old.size(), "Title=My phone");
    std::ofstream(settings, std::ios::binary) << ini;
    EXPECT_NE(Program({"profiles"}).out.find("0\tMy phone\n"), std::string::npos);
}

TEST_F(CliProgramTest, ProbeDescribesEachFileAndFailsOnTheBadOne) {
    const std::string clip = MakeAviMpeg4Mp2(folder, 2.0);
    const std::string junk = MakeRandomFile(folder, "junk.avi", 4096, 7);
    const TProgramRun run = Program({"probe", clip, junk, "--json"});
    EXPECT_EQ(run.status, 1);
    const auto files = run.Events();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]["file"].text, clip);
    EXPECT_EQ(files[0]["format"].text, "avi") << "the container the file was read as";
    EXPECT_NEAR(files[0]["duration_ms"].number, 2000, 100);
    EXPECT_EQ(files[0]["size"].number, double(fs::file_size(clip)));
    const auto& streams = files[0]["streams"].items;
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0]["type"].text, "video");
    EXPECT_EQ(streams[0]["width"].number, 176);
    EXPECT_EQ(streams[1]["type"].text, "audio");
    EXPECT_EQ(streams[1]["channels"].number, 2);
    EXPECT_FALSE(files[1]["error"].text.empty());

    const TProgramRun text = Program({"probe", clip});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("video mpeg4 176x144"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(clip + ": avi, 0:00:02"), std::string::npos) << text.out;
}

TEST_F(CliProgramTest, ConvertReportsEveryJobInJsonAndFailsForTheBadFile) {
    const std::string a = MakeAviMpeg4Mp2(folder, 1.0);
    const std::string b = MakeMp4H264Aac(folder, 1.0);
    const std::string junk = MakeRandomFile(folder, "junk.avi", 4096, 3);
    fs::create_directory(folder + "/out");
    const TProgramRun run =
        Program({"convert", "-p", "0", "-o", folder + "/out", "-j", "2", "--json", a, junk, b});
    EXPECT_EQ(run.status, 1) << run.err;
    const auto events = run.Events();
    std::map<std::string, int> kinds;
    std::map<int, std::string> outputs;
    for (const JsonValue& e : events) {
        const std::string kind = e["event"].text;
        ++kinds[kind];
        if (kind == "added") {
            EXPECT_EQ(e["profile"].text, "MP4 MPEG-4 Video (*.mp4)");
            outputs[int(e["job"].number)] = e["output"].text;
        }
        if (kind == "progress") {
            EXPECT_GE(e["percent"].number, 0);
            EXPECT_LE(e["percent"].number, 100);
            EXPECT_TRUE(e.Has("time_ms") && e.Has("fps") && e.Has("size") && e.Has("left_s"));
        }
        if (kind == "finished") {
            const int job = int(e["job"].number);
            EXPECT_TRUE(job == 0 || job == 2);
            EXPECT_EQ(e["output"].text, outputs[job]);
            EXPECT_EQ(e["size"].number, double(fs::file_size(outputs[job])));
        }
        if (kind == "failed") {
            EXPECT_EQ(e["job"].number, 1);
            EXPECT_EQ(e["source"].text, junk);
            EXPECT_FALSE(e["message"].text.empty());
        }
    }
    EXPECT_EQ(kinds["added"], 2);
    EXPECT_EQ(kinds["finished"], 2);
    EXPECT_EQ(kinds["failed"], 1);
    EXPECT_GE(kinds["progress"], 2);
    ASSERT_EQ(events.back()["event"].text, "summary");
    EXPECT_EQ(events.back()["finished"].number, 2);
    EXPECT_EQ(events.back()["failed"].number, 1);
    EXPECT_EQ(events.back()["exit"].number, 1);
    EXPECT_EQ(fs::path(outputs[0]).filename(), fs::path(a).stem().string() + "_(new).mp4");

    // The same files again: new names, nothing overwritten; all good now, so status 0.
    const TProgramRun again = Program(
        {"convert", "-p", "MP4 MPEG-4 Video (*.mp4)", "-o", folder + "/out", "--quiet", a, b});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(fs::exists(folder + "/out/" + fs::path(a).stem().string() + "_(new_1).mp4"));
    EXPECT_NE(again.out.find("2 finished, 0 incomplete, 0 failed, 0 stopped"), std::string::npos);
}

TEST_F(CliProgramTest, InterruptStopsTheBatchAndLeavesNoPartialFile) {
    std::vector<std::string> args = {
        "convert", "-p", "10", "-s", "640x480", "-j", "1", "-o", folder + "/out", "--json"};
    for (int i = 0; i < 3; ++i) {
        const std::string sub = folder + "/src" + std::to_string(i);
        fs::create_directory(sub);
        args.push_back(MakeMotionClip(sub, 20.0, 320, 240));
    }
    fs::create_directory(folder + "/out");
    const pid_t pid = Start(args);
    // Interrupt once the first job has written something.
    ASSERT_TRUE(runner->WaitForOutput("\"progress\"")) << FileContents(folder + "/stderr");
    kill(pid, SIGINT);
    const TProgramRun run = Finish(pid);
    EXPECT_EQ(run.status, 130) << run.err;
    const auto events = run.Events();
    ASSERT_EQ(events.back()["event"].text, "summary");
    EXPECT_GE(events.back()["stopped"].number, 1);
    EXPECT_EQ(events.back()["exit"].number, 130);
    for (const auto& entry : fs::directory_iterator(folder + "/out"))
        ADD_FAILURE() << "left behind: " << entry.path();
}

} // namespace
} // namespace velto::test
