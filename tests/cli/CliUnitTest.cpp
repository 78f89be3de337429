// The command line's plain parts: argument checking, JSON lines, profile choice and overrides,
// and the progress texts.
#include "CliArguments.h"
#include "CliProfiles.h"
#include "CliView.h"
#include "ConcurrencyPolicy.h"
#include "JobReport.h"
#include "JsonLine.h"
#include "JsonReader.h"
#include "TestLibraries.h"
#include "WorkerEnvironment.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace velto::cli {
namespace {

using velto::test::ParseJson;

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

TEST(CliArguments, AcceptsTheDocumentedFormsAndRefusesTheRest) {
    struct Case {
        const char* line;
        const char* error; // fragment of the usage error, nullptr when accepted
    } cases[] = {
        {"profiles", nullptr},
        {"profiles --json", nullptr},
        {"probe a.avi b.mp4 --json", nullptr},
        {"convert -p 3 a.avi", nullptr},
        {"convert --profile=3 -o /tmp -j 2 --threads 0 --overwrite -s 320x240 -r 25 --vb 384 "
         "--ab 64 --ar 44100 --ac 2 --json --quiet a.avi -- -b.avi",
         nullptr},
        {"", "no command"},
        {"transcode a.avi", "unknown command"},
        {"probe", "at least one file"},
        {"convert a.avi", "needs a profile"},
        {"convert -p 1", "at least one file"},
        {"convert -p", "needs a value"},
        {"convert -p 1 -j 0 a.avi", "-j takes"},
        {"convert -p 1 -j x a.avi", "-j takes"},
        {"convert -p 1 --threads 65 a.avi", "--threads takes"},
        {"convert -p 1 -s 320 a.avi", "-s takes"},
        {"convert -p 1 -s 0x240 a.avi", "-s takes"},
        {"convert -p 1 --ac 3 a.avi", "--ac takes"},
        {"convert -p 1 --bogus a.avi", "unknown option"},
        {"probe -p 1 a.avi", "unknown option"},
        {"profiles a.avi", "takes no files"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const TParseResult result = ParseArguments(Split(c.line));
        if (!c.error) {
            EXPECT_TRUE(result.Arguments.has_value()) << result.Error;
        } else {
            EXPECT_FALSE(result.Arguments.has_value());
            EXPECT_NE(result.Error.find(c.error), std::string::npos) << result.Error;
        }
    }
    const TCliArguments all =
        *ParseArguments(Split("convert --profile=3 -o out -j 2 --threads 4 --overwrite -s "
                              "320X240 -r 25 --vb 384 --ab 64 --ar 44100 --ac 1 --json -q a -- -b"))
             .Arguments;
    EXPECT_EQ(all.Profile, "3");
    EXPECT_EQ(all.OutputDir, "out");
    EXPECT_EQ(all.Jobs, 2);
    EXPECT_EQ(all.Threads, 4);
    EXPECT_TRUE(all.Overwrite && all.Json && all.Quiet);
    EXPECT_EQ(all.FrameSize, "320 x 240");
    EXPECT_EQ(all.Channels, 1);
    EXPECT_EQ(all.Files, (std::vector<std::string>{"a", "-b"}));
}

TEST(JsonLine, EveryTextGivesOneValidLine) {
    const std::string texts[] = {"plain",
                                 "quote \" and \\ back",
                                 "tab\tline\nfeed",
                                 std::string("nul\0byte", 8),
                                 "中文名.avi",
                                 "bad \xff\xfe utf-8 \xc3",
                                 "\xed\xa0\x80 surrogate"};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const std::string line = TJsonLine().Add("name", text).Add("n", 42).Text();
        EXPECT_EQ(line.find('\n'), std::string::npos);
        const auto value = ParseJson(line);
        EXPECT_EQ(value["n"].number, 42);
        if (text.find('\xff') == std::string::npos && text.find('\xed') == std::string::npos)
            EXPECT_EQ(value["name"].text, text);
        else
            EXPECT_NE(value["name"].text.find("\xef\xbf\xbd"), std::string::npos);
    }
    const auto mixed = ParseJson(
        TJsonLine().Add("b", true).Add("d", 1.5).AddNull("z").AddRaw("a", "[1,{\"x\":2}]").Text());
    EXPECT_TRUE(mixed["b"].boolean);
    EXPECT_EQ(mixed["d"].number, 1.5);
    EXPECT_EQ(mixed["z"].kind, velto::test::JsonValue::Null);
    EXPECT_EQ(mixed["a"].items[1]["x"].number, 2);
}

TEST(CliProfiles, ProfileByIndexOrTitleAndOverridesFromTheLists) {
    const std::vector<std::string> titles = {"MP4 Video", "3GP Video", "mp4 video"};
    EXPECT_EQ(FindProfile(titles, "1"), 1);
    EXPECT_EQ(FindProfile(titles, "3"), -1);
    EXPECT_EQ(FindProfile(titles, "-1"), -1);
    EXPECT_EQ(FindProfile(titles, "mp4 video"), 2) << "an exact title wins over case";
    EXPECT_EQ(FindProfile(titles, "3gp VIDEO"), 1);
    EXPECT_EQ(FindProfile(titles, "none"), -1);

    TCliArguments args;
    args.FrameSize = "320 x 240";
    args.FrameRate = "auto";
    args.VideoBitrate = "384";
    args.AudioBitrate = "64";
    args.SampleRate = "44100";
    args.Channels = 1;
    TProfileSelection selection;
    std::string error;
    ASSERT_TRUE(ApplyOverrides(args, selection, error)) << error;
    EXPECT_EQ(ListEntryText(vlFrameSize, selection.FrameSize), "320 x 240");
    EXPECT_EQ(ListEntryText(vlFramerate, selection.Framerate), "Auto");
    EXPECT_EQ(ListEntryText(vlVideoBitrate, selection.VideoBitrate), "384");
    EXPECT_EQ(ListEntryText(vlSampleBitrate, selection.SampleBitrate), "44100");
    EXPECT_EQ(selection.Channels, 0);

    for (auto [field, value, option] : {std::tuple{&TCliArguments::VideoBitrate, "385", "--vb"},
                                        std::tuple{&TCliArguments::FrameSize, "321 x 240", "-s"},
                                        std::tuple{&TCliArguments::SampleRate, "22050", "--ar"}}) {
        TCliArguments bad;
        bad.*field = value;
        TProfileSelection untouched;
        EXPECT_FALSE(ApplyOverrides(bad, untouched, error));
        EXPECT_EQ(error.rfind(option, 0), 0u) << error;
        EXPECT_NE(error.find(value), std::string::npos) << error;
    }
}

TEST(CliView, ProgressTextsAndJsonEvents) {
    EXPECT_EQ(ClockText(3725), "1:02:05");
    EXPECT_EQ(ClockText(-4), "0:00:00");
    EXPECT_EQ(SizeText(512), "512 B");
    EXPECT_EQ(SizeText(1536), "1.5 KB");
    EXPECT_EQ(SizeText(5 * 1024 * 1024), "5.0 MB");
    EXPECT_EQ(ProgressPercent(500, 2000), 25);
    EXPECT_EQ(ProgressPercent(3000, 2000), 100);
    EXPECT_EQ(ProgressPercent(500, -1), 0);

    const auto now = std::chrono::steady_clock::now();
    TJobView job;
    job.Id = 1;
    job.Source = "/videos/clip.avi";
    job.CurrentMs = 10000;
    job.TotalMs = 30000;
    job.Fps = 25;
    job.Size = 2048;
    job.Running = true;
    job.Started = now - std::chrono::seconds(5);
    EXPECT_EQ(SecondsLeft(job, now), 10);
    job.StartMs = 5000; // the pace counts from the first report: 5 s of media in 5 s
    EXPECT_EQ(SecondsLeft(job, now), 20);
    job.StartMs = 10000;
    EXPECT_EQ(SecondsLeft(job, now), -1) << "no pace known yet";
    job.StartMs = 0;
    EXPECT_EQ(ProgressLine(job, now),
              "[2] clip.avi  33%  0:00:10/0:00:30  25 fps  2.0 KB  left 0:00:10");
    TJobView done = job;
    done.Running = false;
    done.Ended = true;
    EXPECT_EQ(OverallLine({job, done}), "overall 66%  1/2 done");

    std::ostringstream out, err;
    TConvertView view(TViewMode::Json, false, out, err);
    view.Added(job, "3GP");
    view.Progress(job);
    view.Log(nullptr, llError, "warning text");
    done.Result = jrFailed;
    done.Message = "Unknown encoder 'x'";
    view.Ended(done);
    view.Summary({1, 0, 1, 0, 1});
    std::istringstream lines(out.str());
    std::vector<std::string> events;
    for (std::string line; std::getline(lines, line);)
        events.push_back(ParseJson(line)["event"].text);
    EXPECT_EQ(events, (std::vector<std::string>{"added", "progress", "log", "failed", "summary"}));
    EXPECT_TRUE(err.str().empty());
}

TEST(WorkerParts, ListLinesItemsAndTheirRefusals) {
    std::vector<std::string> all;
    std::string error;
    std::istringstream list("a.avi\r\n\nb c.mp4\nlast.3gp");
    ASSERT_TRUE(SourcesFromList(list, -1, all, error)) << error;
    EXPECT_EQ(all, (std::vector<std::string>{"a.avi", "b c.mp4", "last.3gp"}));
    for (auto [item, expected] : {std::pair{0, "a.avi"}, {2, "b c.mp4"}, {3, "last.3gp"}}) {
        std::istringstream again("a.avi\r\n\nb c.mp4\nlast.3gp");
        std::vector<std::string> one;
        ASSERT_TRUE(SourcesFromList(again, item, one, error)) << item;
        EXPECT_EQ(one, std::vector<std::string>{expected});
    }
    for (int item : {1, 4, 100}) {
        std::istringstream again("a.avi\r\n\nb c.mp4\nlast.3gp");
        std::vector<std::string> none;
        EXPECT_FALSE(SourcesFromList(again, item, none, error)) << item;
        EXPECT_NE(error.find(std::to_string(item)), std::string::npos);
    }
    std::istringstream empty("\n\n");
    EXPECT_FALSE(SourcesFromList(empty, -1, all = {}, error));

    const TParseResult alone = ParseArguments({"convert", "-p", "0", "--item", "3", "a.avi"});
    EXPECT_NE(alone.Error.find("--item needs --files-from"), std::string::npos);
    const TParseResult listed =
        ParseArguments({"convert", "-p", "0", "--files-from=-", "--skip-existing"});
    ASSERT_TRUE(listed.Arguments) << listed.Error;
    EXPECT_EQ(listed.Arguments->FilesFrom, "-");
    EXPECT_TRUE(listed.Arguments->SkipExisting);
    EXPECT_FALSE(ParseArguments({"convert", "-p", "0", "--item", "-1", "x"}).Arguments);
}

TEST(WorkerParts, FailuresThatMayPassAreToldFromLastingOnes) {
    EXPECT_TRUE(RetryableFailure(std::string("Error writing out.mp4: ") + std::strerror(ENOSPC)));
    EXPECT_TRUE(RetryableFailure(std::strerror(EDQUOT)));
    EXPECT_TRUE(RetryableFailure(std::strerror(EMFILE)));
    EXPECT_FALSE(RetryableFailure("junk.avi: Invalid data found when processing input"));
    EXPECT_FALSE(RetryableFailure(std::strerror(EACCES)));
    EXPECT_FALSE(RetryableFailure(""));

    setenv("SLURM_ARRAY_TASK_ID", "17", 1);
    EXPECT_EQ(SchedulerItem(), 17);
    setenv("SLURM_ARRAY_TASK_ID", "4294967296", 1);
    EXPECT_EQ(SchedulerItem(), -1);
    unsetenv("SLURM_ARRAY_TASK_ID");
    EXPECT_EQ(SchedulerItem(), -1);

    const int cores = MachineCores();
    setenv("SLURM_CPUS_PER_TASK", "1", 1);
    EXPECT_EQ(MachineCores(), 1);
    setenv("SLURM_CPUS_PER_TASK", "9999", 1);
    EXPECT_EQ(MachineCores(), cores) << "the affinity mask still bounds it";
    setenv("SLURM_CPUS_PER_TASK", "two", 1);
    EXPECT_EQ(MachineCores(), cores);
    unsetenv("SLURM_CPUS_PER_TASK");
}

TEST(WorkerParts, ReportLinesAreWholeJsonObjectsAppended) {
    const std::string file = std::filesystem::temp_directory_path() /
                             ("velto3gp-report-" + std::to_string(getpid()) + ".jsonl");
    std::filesystem::remove(file);
    {
        TJobReport report;
        std::string error;
        ASSERT_TRUE(report.Open(file, error)) << error;
        TJobOutcome done{"/in/a \"b\".avi", "/out/a.mp4", "finished", 1234, 2.5004, 0.25, ""};
        ASSERT_TRUE(report.Append(done, error)) << error;
        TJobOutcome bad{"/in/\xff.avi", "", "failed", -1, -1.0, 0.0, "not media"};
        ASSERT_TRUE(report.Append(bad, error)) << error;
    }
    TJobReport second; // a later worker appends to the same file
    std::string error;
    ASSERT_TRUE(second.Open(file, error));
    ASSERT_TRUE(second.Append({"c.avi", "c.mp4", "skipped", 10, 1.0, 0.0, "there"}, error));

    std::istringstream lines(velto::test::FileContents(file));
    std::vector<velto::test::JsonValue> parsed;
    for (std::string line; std::getline(lines, line);)
        parsed.push_back(ParseJson(line));
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[0]["source"].text, "/in/a \"b\".avi");
    EXPECT_EQ(parsed[0]["size"].number, 1234);
    EXPECT_DOUBLE_EQ(parsed[0]["duration"].number, 2.5);
    EXPECT_EQ(parsed[0]["message"].kind, velto::test::JsonValue::Null);
    EXPECT_EQ(parsed[1]["output"].kind, velto::test::JsonValue::Null);
    EXPECT_EQ(parsed[1]["size"].kind, velto::test::JsonValue::Null);
    EXPECT_EQ(parsed[1]["message"].text, "not media");
    EXPECT_EQ(parsed[2]["result"].text, "skipped");
    std::filesystem::remove(file);
}

} // namespace
} // namespace velto::cli
