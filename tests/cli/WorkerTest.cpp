// velto3gp as one worker of a scheduler: lists and items, the per-job report, reruns that pass
// over finished outputs, the exit statuses a scheduler retries on, and a working folder left
// untouched. The built program on media-factory files.
#include "MediaFactory.h"
#include "ProgramRunner.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sys/mount.h>
#include <unistd.h>

namespace velto::test {
namespace {

namespace fs = std::filesystem;

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        folder = ScratchFolder();
        config = folder + "/config";
        out = folder + "/out";
        fs::create_directory(out);
        runner = std::make_unique<TProgramRunner>(folder, config);
    }

    // count copies of one short clip under their own names, and a damaged file among them.
    std::vector<std::string> Batch(int count, bool withDamaged) {
        const std::string made = MakeAviMpeg4Mp2(folder, 1.0);
        std::vector<std::string> files;
        for (int i = 0; i < count; ++i) {
            files.push_back(folder + "/clip" + std::to_string(i) + ".avi");
            fs::copy_file(made, files.back());
        }
        if (withDamaged)
            files.push_back(MakeRandomFile(folder, "damaged.avi", 8192, 5));
        return files;
    }

    std::string WriteList(const std::vector<std::string>& files) {
        const std::string list = folder + "/list.txt";
        std::ofstream stream(list);
        for (const std::string& file : files)
            stream << file << '\n';
        return list;
    }

    std::vector<JsonValue> ReportLines() const {
        std::vector<JsonValue> lines;
        std::ifstream stream(report);
        for (std::string line; std::getline(stream, line);)
            lines.push_back(ParseJson(line));
        return lines;
    }

    // Results of the report by source, the last line of each source winning.
    std::map<std::string, std::string> ResultsBySource(size_t from = 0) const {
        std::map<std::string, std::string> results;
        const auto lines = ReportLines();
        for (size_t i = from; i < lines.size(); ++i)
            results[lines[i]["source"].text] = lines[i]["result"].text;
        return results;
    }

    TProgramRun Convert(std::vector<std::string> extra) {
        std::vector<std::string> args = {"convert", "-p", "0", "-o", out, "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        return runner->Program(args);
    }

    std::string folder, config, out;
    std::string report;
    std::unique_ptr<TProgramRunner> runner;
};

TEST_F(WorkerTest, ReportRerunAndSkipExisting) {
    const std::vector<std::string> files = Batch(3, true);
    report = folder + "/report.jsonl";
    // The working folder is the test's own, empty one: nothing may land there.
    const std::string cwd = folder + "/cwd";
    fs::create_directory(cwd);
    runner->SetWorkingFolder(cwd);

    std::vector<std::string> args = {"--report", report};
    args.insert(args.end(), files.begin(), files.end());
    const TProgramRun first = Convert(args);
    EXPECT_EQ(first.status, 1) << first.err;
    auto lines = ReportLines();
    ASSERT_EQ(lines.size(), 4u);
    for (const JsonValue& line : lines) {
        for (const char* key :
             {"source", "output", "result", "size", "duration", "seconds", "message"})
            EXPECT_TRUE(line.Has(key)) << key;
        if (line["source"].text == files.back()) {
            EXPECT_EQ(line["result"].text, "failed");
            EXPECT_EQ(line["output"].kind, JsonValue::Null);
            EXPECT_FALSE(line["message"].text.empty());
            continue;
        }
        EXPECT_EQ(line["result"].text, "finished");
        ASSERT_TRUE(fs::exists(line["output"].text));
        EXPECT_EQ(line["size"].number, double(fs::file_size(line["output"].text)));
        EXPECT_NEAR(line["duration"].number, 1.0, 0.2);
        EXPECT_GE(line["seconds"].number, 0.0);
    }

    // Run again: the three good outputs are checked and passed over, the bad source tried
    // again; an output emptied since is made again under its own name.
    const std::string emptied = out + "/clip1_(new).mp4";
    ASSERT_TRUE(fs::exists(emptied));
    std::ofstream(emptied, std::ios::trunc).close();
    args.insert(args.begin(), "--skip-existing");
    const TProgramRun second = Convert(args);
    EXPECT_EQ(second.status, 1) << second.err;
    const auto results = ResultsBySource(4);
    EXPECT_EQ(results.at(files[0]), "skipped");
    EXPECT_EQ(results.at(files[1]), "finished");
    EXPECT_EQ(results.at(files[2]), "skipped");
    EXPECT_EQ(results.at(files[3]), "failed");
    EXPECT_GT(fs::file_size(emptied), 1000u);
    EXPECT_FALSE(fs::exists(out + "/clip1_(new_1).mp4"));

    // Without the bad one, every job is finished or skipped: status 0.
    std::vector<std::string> good(files.begin(), files.end() - 1);
    good.insert(good.begin(), "--skip-existing");
    const TProgramRun third = Convert(good);
    EXPECT_EQ(third.status, 0) << third.err;
    for (const auto& entry : fs::directory_iterator(cwd))
        ADD_FAILURE() << "written to the working folder: " << entry.path();
}

TEST_F(WorkerTest, ListsItemsAndTheSchedulersIndex) {
    const std::vector<std::string> files = Batch(3, false);
    const std::string list = WriteList(files);
    report = folder + "/report.jsonl";

    // --item takes one line; Slurm's array index does the same when --item is not given.
    EXPECT_EQ(Convert({"--files-from", list, "--item", "1", "--report", report}).status, 0);
    runner->SetEnvironment({"SLURM_ARRAY_TASK_ID=2"});
    EXPECT_EQ(Convert({"--files-from", list, "--report", report}).status, 0);
    auto lines = ReportLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["source"].text, files[1]);
    EXPECT_EQ(lines[1]["source"].text, files[2]);

    // The whole list from standard input.
    runner->SetEnvironment({});
    runner->SetInputFile(list);
    EXPECT_EQ(Convert({"--files-from", "-", "--skip-existing", "--report", report}).status, 0);
    ASSERT_EQ(ReportLines().size(), 5u);
    const auto results = ResultsBySource(2);
    EXPECT_EQ(results.at(files[0]), "finished");
    EXPECT_EQ(results.at(files[1]), "skipped");
    EXPECT_EQ(results.at(files[2]), "skipped");

    // Usage errors: an item past the list, --item alone, a list that is not there.
    runner->SetInputFile({});
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--files-from", list, "--item", "3"},
          {"--item", "0", files[0]},
          {"--files-from", folder + "/missing.txt"},
          {"--report", folder + "/no/such/folder/report", files[0]}}) {
        const TProgramRun run = Convert(bad);
        EXPECT_EQ(run.status, 2) << bad[0] << " " << run.err;
        EXPECT_NE(run.err.find("velto3gp: "), std::string::npos);
    }
}

TEST_F(WorkerTest, TerminatedBatchExitsWith143) {
    std::vector<std::string> args = {"convert", "-p", "10", "-s", "640x480",
                                     "-j",      "1",  "-o", out,  "--json"};
    args.push_back(MakeMotionClip(folder, 20.0, 320, 240));
    const pid_t pid = runner->Start(args);
    ASSERT_TRUE(runner->WaitForOutput("\"progress\"")) << FileContents(folder + "/stderr");
    kill(pid, SIGTERM);
    const TProgramRun run = runner->Finish(pid);
    EXPECT_EQ(run.status, 143) << run.err;
    for (const auto& entry : fs::directory_iterator(out))
        ADD_FAILURE() << "left behind: " << entry.path();
}

// A long list is still being probed and added when the scheduler cancels: it stops there.
TEST_F(WorkerTest, TerminatedWhileAddingALongListExitsWith143) {
    const std::string clip = MakeAviMpeg4Mp2(folder, 0.5);
    std::vector<std::string> files;
    for (int i = 0; i < 3000; ++i) {
        files.push_back(folder + "/c" + std::to_string(i) + ".avi");
        fs::create_hard_link(clip, files.back());
    }
    const pid_t pid = runner->Start(
        {"convert", "-p", "0", "-o", out, "--json", "--files-from", WriteList(files)});
    ASSERT_TRUE(runner->WaitForOutput("\"added\"")) << FileContents(folder + "/stderr");
    kill(pid, SIGTERM);
    const TProgramRun run = runner->Finish(pid);
    EXPECT_EQ(run.status, 143) << run.err;
    size_t added = 0;
    for (size_t at = run.out.find("\"added\""); at != std::string::npos;
         at = run.out.find("\"added\"", at + 1))
        ++added;
    EXPECT_LT(added, files.size()) << "the list was added to the end";
    for (const auto& entry : fs::directory_iterator(out))
        ADD_FAILURE() << "left behind: " << entry.path();
}

// Jobs wait as their records and are opened when their turn comes: a source removed after it was
// added fails alone, at its turn, and the jobs around it finish.
TEST_F(WorkerTest, ASourceGoneBeforeItsTurnFailsAlone) {
    std::vector<std::string> files{MakeMotionClip(folder, 8.0, 320, 240)};
    const std::string clip = MakeAviMpeg4Mp2(folder, 0.5);
    for (int i = 1; i < 8; ++i) {
        files.push_back(folder + "/c" + std::to_string(i) + ".avi");
        fs::create_hard_link(clip, files.back());
    }
    std::vector<std::string> args = {"convert", "-p", "10", "-s", "640x480",
                                     "-j",      "1",  "-o", out,  "--json"};
    args.insert(args.end(), files.begin(), files.end());
    const pid_t pid = runner->Start(args);
    ASSERT_TRUE(runner->WaitForOutput("\"progress\"")) << FileContents(folder + "/stderr");
    fs::remove(files[6]);
    const TProgramRun run = runner->Finish(pid);
    EXPECT_EQ(run.status, 1) << run.err;
    int finished = 0;
    std::vector<std::string> failed;
    for (const JsonValue& event : run.Events()) {
        if (event["event"].text == "finished")
            ++finished;
        if (event["event"].text == "failed")
            failed.push_back(event["source"].text + ": " + event["message"].text);
    }
    EXPECT_EQ(finished, 7) << run.out;
    ASSERT_EQ(failed.size(), 1u) << run.out;
    EXPECT_EQ(failed[0].rfind(files[6] + ": ", 0), 0u) << failed[0];
    EXPECT_NE(failed[0].find("no such file or directory"), std::string::npos) << failed[0];
}

// A full disk is a failure that may pass: 75, so that a scheduler tries again later. The card
// has room for the forecast at the start and is filled by something else during the run.
TEST_F(WorkerTest, FullDiskExitsWithTemporaryFailure) {
    const std::string tiny = folder + "/tiny";
    fs::create_directory(tiny);
    if (geteuid() != 0 || mount("tmpfs", tiny.c_str(), "tmpfs", 0, "size=8m") != 0)
        GTEST_SKIP() << "needs root and a tmpfs mount to make a full disk";
    // Long enough to be still writing when the card fills (it converts at some 40 times its
    // pace), short enough for its forecast to fit at the start.
    const std::string source = MakeMotionClip(folder, 45.0, 320, 240);
    report = folder + "/report.jsonl";
    const pid_t pid =
        runner->Start({"convert", "-p", "0", "-o", tiny, "--json", "--report", report, source});
    const bool started = runner->WaitForOutput("\"progress\"");
    {
        // Small blocks: a large one that does not fit would leave room for the rest of a job.
        std::ofstream filler(tiny + "/filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) &&
               filler.flush()) {
        }
    }
    const TProgramRun run = runner->Finish(pid);
    umount2(tiny.c_str(), MNT_DETACH);
    ASSERT_TRUE(started) << run.err;
    EXPECT_EQ(run.status, 75) << run.err;
    const auto lines = ReportLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["result"].text, "failed");
    EXPECT_NE(lines[0]["message"].text.find("No space left on device"), std::string::npos)
        << lines[0]["message"].text;
}

} // namespace
} // namespace velto::test
