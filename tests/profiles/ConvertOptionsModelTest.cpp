#include "ConvertOptionsModel.h"

#include <fstream>
#include <gtest/gtest.h>

namespace velto {
namespace {

TEST(ConvertOptionsModelTest, OpticalMounts) {
    struct TCase {
        const char* FileSystem;
        const char* Device;
        bool Optical;
    };
    const TCase cases[] = {
        {"iso9660", "/dev/loop3", true}, {"udf", "/dev/sdb1", true}, {"auto", "/dev/sr0", true},
        {"ext4", "/dev/sda1", false},    {"tmpfs", "tmpfs", false},  {"vfat", "/dev/sdr1", false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(IsOpticalMount(c.FileSystem, c.Device), c.Optical) << c.FileSystem << c.Device;
}

TEST(ConvertOptionsModelTest, BrowseStartAndCloseCheckPath) {
    const std::string tmp = ::testing::TempDir();
    TConvertOptionsModel model(tmp + "none.ini", tmp + "none.dat");
    model.Load();
    // No source, "Auto": nothing to start in, nothing to check.
    EXPECT_EQ(model.BrowseStartFolder(), "");
    EXPECT_EQ(model.CloseCheckPath(), "");

    model.AttachSource({.FileName = "/no/such/dir/clip.avi"});
    EXPECT_EQ(model.BrowseStartFolder(), ""); // a missing folder is not offered
    EXPECT_EQ(model.CloseCheckPath(), "/no/such/dir/clip.avi");

    model.ChooseOutputFolder();
    model.SetBrowsedFolder("/tmp");
    EXPECT_EQ(model.FolderText(), "/tmp/");
    EXPECT_EQ(model.BrowseStartFolder(), "/tmp/");
    EXPECT_EQ(model.CloseCheckPath(), "/tmp/");
}

TEST(ConvertOptionsModelTest, JobsLeaveUnfinishedOutputsAsThePreferenceSaysAtEachAdd) {
    const std::string settings = ::testing::TempDir() + "keep-unfinished.ini";
    TConvertOptionsModel model(settings, settings + ".dat");
    model.Load();
    model.AttachSource({.FileName = "/v/clip.avi"});
    for (const char* value : {"0", "1", "0"}) {
        std::ofstream(settings) << "[Options]\nDelFileWhenCanceled=" << value << "\n";
        const TJobRecords job = model.BuildJob();
        EXPECT_EQ(job.Output.KeepUnfinished, std::string(value) == "0") << value;
        EXPECT_EQ(job.Input.FileName, "/v/clip.avi");
        EXPECT_EQ(job.Output.FileName, "/v/clip_(new)");
    }
}

} // namespace
} // namespace velto
