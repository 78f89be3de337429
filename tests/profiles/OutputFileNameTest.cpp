// Output names on a real folder: the "_(new)" mark, numbering past existing files, and names
// that must never be reused because another job reads or writes them.
#include "OutputFileName.h"
#include "ProfileFiles.h"
#include "TestLibraries.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace velto {
namespace {

TEST(OutputFileNameTest, NamesFollowFolderTypeDiskAndOtherJobs) {
    const std::string dir = test::ScratchFolder();
    const std::string source = dir + "/clip.avi", out = dir + "/out.d/";
    test::WriteText(source, "source");
    std::filesystem::create_directories(out);
    const std::string taken = dir + "/x/../clip_(new).mp4"; // another job's output or source

    const struct {
        std::string folder;
        const char* type;
        bool overwrite;
        std::vector<std::string> existing; // relative to dir
        std::vector<std::string> taken;
        std::string expected;
    } rows[] = {
        {"Auto", "_psp.mp4", false, {}, {}, dir + "/clip_(new)_psp.mp4"},
        {"Auto",
         ".mp4",
         false,
         {"clip_(new).mp4", "clip_(new_1).mp4"},
         {},
         dir + "/clip_(new_2).mp4"},
        {"Auto", ".mp4", true, {"clip_(new).mp4", "clip_(new_1).mp4"}, {}, dir + "/clip_(new).mp4"},
        // A second job for the same source, and an existing file another job will read.
        {"Auto", ".mp4", true, {}, {taken}, dir + "/clip_(new_1).mp4"},
        {"Auto", ".mp4", true, {"clip_(new).mp4"}, {taken}, dir + "/clip_(new_1).mp4"},
        {out, ".avi", false, {}, {}, out + "clip_(new).avi"},
        // A folder setting without its trailing delimiter still names a file inside it.
        {dir + "/out.d", ".avi", false, {"out.d/clip_(new).avi"}, {}, out + "clip_(new_1).avi"},
    };
    for (const auto& row : rows) {
        for (const std::string& name : row.existing)
            test::WriteText(dir + "/" + name, "old");
        EXPECT_EQ(OutputFileName(source, row.folder, row.type, row.overwrite, row.taken),
                  row.expected);
        for (const std::string& name : row.existing)
            std::filesystem::remove(dir + "/" + name);
    }
    // Only the file name's extension goes, never a dotted folder's.
    EXPECT_EQ(OutputFileName(out + "noext", "Auto", ".mp4", false), out + "noext_(new).mp4");
    // A link in the way would send the output through it into the source.
    std::filesystem::create_symlink(source, dir + "/clip_(new).mp4");
    EXPECT_EQ(OutputFileName(source, "Auto", ".mp4", true), dir + "/clip_(new_1).mp4");
}

// Texts from a hand-edited settings file that no number can make free end the search with no
// name instead of counting for ever (both were found by fuzzing).
TEST(OutputFileNameTest, TextsThatNeverGiveAFreeNameGiveNone) {
    const std::string dir = test::ScratchFolder();
    const std::string source = dir + "/clip.avi";
    test::WriteText(source, "source");
    const struct {
        const char* name;
        std::string folder;
        std::string type;
    } rows[] = {
        // Every number climbs back out of its folder onto the source.
        {"type leading to the source", "Auto", "/../clip.avi"},
        // The system would read the folder only up to the NUL: "." exists, always.
        {"NUL in the folder", std::string(".\0sub", 5), ".mp4"},
        {"NUL in the type", "Auto", std::string(".mp\0", 4)},
    };
    for (const auto& row : rows)
        EXPECT_EQ(OutputFileName(source, row.folder, row.type, false), "") << row.name;
}

} // namespace
} // namespace velto
