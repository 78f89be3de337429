#include "ConcurrencyPolicy.h"

#include <gtest/gtest.h>

namespace velto {
namespace {

TEST(ConcurrencyPolicy, SimultaneousJobs) {
    struct Row {
        int requested, tasks, cores, expected;
    };
    const Row rows[] = {
        {0, 4, 2, 2},   // automatic: one job per core
        {0, 1, 8, 1},   // never more jobs than tasks
        {0, 0, 8, 1},   // an empty batch still starts its one (no-op) round
        {-3, 5, 4, 4},  // below zero reads as automatic
        {1, 4, 2, 1},   // one at a time as asked
        {2, 4, 8, 2},   //
        {16, 40, 4, 4}, // held to the cores
        {3, 2, 4, 2},   // held to the tasks
        {0, 3, 0, 1},   // a machine reporting no cores counts as one
    };
    for (const Row& row : rows)
        EXPECT_EQ(SimultaneousJobs(row.requested, row.tasks, row.cores), row.expected)
            << row.requested << " jobs asked, " << row.tasks << " tasks, " << row.cores << " cores";
}

TEST(ConcurrencyPolicy, ThreadsPerTask) {
    struct Row {
        int requested, tasksAtOnce, cores, expected;
    };
    const Row rows[] = {
        {0, 1, 8, 0}, // alone: each codec sizes itself from every core
        {0, 0, 8, 0}, //
        {0, 2, 8, 4}, // a share of the cores
        {0, 3, 8, 2}, //
        {0, 4, 2, 1}, // more tasks than cores: one thread each
        {0, 2, 0, 1}, //
        {3, 4, 2, 3}, // a count given is taken as given
        {1, 1, 8, 1}, //
    };
    for (const Row& row : rows)
        EXPECT_EQ(ThreadsPerTask(row.requested, row.tasksAtOnce, row.cores), row.expected)
            << row.requested << " threads asked, " << row.tasksAtOnce << " at once, " << row.cores
            << " cores";
}

TEST(ConcurrencyPolicy, StoredPreferenceIsAutomaticOrOneToTheCores) {
    const int rows[][3] = {{0, 4, 0}, {1, 4, 1}, {4, 4, 4}, {5, 4, 0}, {-1, 4, 0}, {1, 0, 1}};
    for (const auto& row : rows)
        EXPECT_EQ(ValidSimultaneousJobsPreference(row[0], row[1]), row[2]) << row[0];
    EXPECT_GE(MachineCores(), 1);

    const std::pair<const char*, int> texts[] = {{"2", 2},  {"0", 0},  {"", 0},  {"x", 0},
                                                 {"2x", 0}, {" 2", 0}, {"9", 0}, {"4", 4}};
    for (const auto& [text, expected] : texts)
        EXPECT_EQ(SimultaneousJobsPreference(text, 4), expected) << '"' << text << '"';
}

} // namespace
} // namespace velto
