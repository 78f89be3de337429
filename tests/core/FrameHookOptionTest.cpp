// The "vhook" option: word splitting, the word limit and the outcome of adding the hook.
#include "TaskFixture.h"

#include <filesystem>

namespace velto::test {
namespace {

using FrameHookOptionTest = TaskTest;

std::string StandInHook(const char* name) {
    return std::string(VELTO_TEST_BINARY_DIR) + "/plugins/lib" + name + "hook.so";
}

TEST_F(FrameHookOptionTest, FailuresNameTheCommandLine) {
    EXPECT_EQ(Failure("vhook", "/nonexistent/hook.so -x 1"),
              "Failed to add video hook function: /nonexistent/hook.so -x 1");
    EXPECT_EQ(task.Settings.FrameHooksInUse, 0);

    std::string words = "/nonexistent/hook.so";
    for (int i = 1; i < 65; ++i)
        words += " w";
    EXPECT_EQ(Failure("vhook", words),
              "Too many words in video hook command line: at most 64 are allowed");
    task.SetOption("vhook", ""); // empty: nothing
    EXPECT_EQ(task.FrameHooks, nullptr);
}

TEST_F(FrameHookOptionTest, AddsHooksSplitAtBarsOrSpaces) {
    const std::string processOnly = StandInHook("processonly");
    const std::string refusing = StandInHook("refusing");
    if (!std::filesystem::exists(processOnly) || !std::filesystem::exists(refusing))
        GTEST_SKIP() << "stand-in plug-ins not built: " << processOnly;

    task.SetOption("vhook", processOnly); // one word: no "Configure" needed
    EXPECT_EQ(task.Settings.FrameHooksInUse, 1);
    ASSERT_NE(task.FrameHooks, nullptr);

    // With "|" the spaces belong to the words; a plug-in without "Configure" takes no arguments.
    EXPECT_EQ(Failure("vhook", processOnly + "|a b"),
              "Failed to add video hook function: " + processOnly + "|a b");
    EXPECT_EQ(Failure("vhook", refusing + "  -c  red"),
              "Failed to add video hook function: " + refusing + "  -c  red");

    task.ResetOptionState(); // releases the hooks with the option state
    EXPECT_EQ(task.FrameHooks, nullptr);
    EXPECT_EQ(task.Settings.FrameHooksInUse, 0);
}

} // namespace
} // namespace velto::test
