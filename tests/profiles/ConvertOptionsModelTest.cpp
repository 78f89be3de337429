#include "ConvertOptionsModel.h"

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

    model.AttachSource("/no/such/dir/clip.avi");
    EXPECT_EQ(model.BrowseStartFolder(), ""); // a missing folder is not offered
    EXPECT_EQ(model.CloseCheckPath(), "/no/such/dir/clip.avi");

    model.ChooseOutputFolder();
    model.SetBrowsedFolder("/tmp");
    EXPECT_EQ(model.FolderText(), "/tmp/");
    EXPECT_EQ(model.BrowseStartFolder(), "/tmp/");
    EXPECT_EQ(model.CloseCheckPath(), "/tmp/");
}

} // namespace
} // namespace velto
