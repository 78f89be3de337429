// How much of the machine the conversions use: how many jobs run at once and how many codec
// threads each job's task takes. Shared by the desktop program and the command line so that both
// size their work the same way. Plain functions of their arguments; any thread.
#pragma once

#include <string>

namespace velto {

// Key of the "simultaneous conversions" preference in the settings file's Options section.
inline constexpr const char* kSimultaneousJobsKey = "SimultaneousJobs";

// A job or thread count of 0 means "decide from the machine".
inline constexpr int kAutomaticCount = 0;

// Processor cores this process may run on (its CPU affinity, held to SLURM_CPUS_PER_TASK when
// that is set), at least 1.
int MachineCores();

// Jobs to run at the same time for a batch of taskCount tasks. requested 0 (or less) is
// automatic: one job per core, never more jobs than tasks. A request above the core count is held
// to the core count: more jobs than cores only share the cores and hold more memory. At least 1.
int SimultaneousJobs(int requested, int taskCount, int cores);

// Codec threads for one task. A positive request is taken as given. Automatic (0 or less): a task
// that runs alone gets 0, so each codec sizes its own threads from all the cores; a task sharing
// the machine with others gets its share of the cores, at least 1.
int ThreadsPerTask(int requested, int tasksAtOnce, int cores);

// A stored "simultaneous conversions" preference made valid: 0 (automatic) or 1..cores; anything
// else reads as automatic.
int ValidSimultaneousJobsPreference(int stored, int cores);
// The same from the stored text; text that is not a whole number reads as automatic.
int SimultaneousJobsPreference(const std::string& stored, int cores);

} // namespace velto
