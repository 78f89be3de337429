#include "ConcurrencyPolicy.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace velto {

namespace {

// The cores a Slurm job step was given, 0 when it says nothing usable.
int SchedulerCores() {
    const char* text = std::getenv("SLURM_CPUS_PER_TASK");
    if (!text || !*text)
        return 0;
    int value = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc() && stop == end && value > 0 ? value : 0;
}

int AffinityCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0)
            return count;
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

} // namespace

int MachineCores() {
    // A scheduler may hand out fewer cores than the mask allows (no cgroup confinement).
    const int cores = AffinityCores();
    const int allotted = SchedulerCores();
    return allotted > 0 ? std::min(cores, allotted) : cores;
}

int SimultaneousJobs(int requested, int taskCount, int cores) {
    cores = std::max(1, cores);
    const int jobs = requested <= kAutomaticCount ? cores : std::min(requested, cores);
    return std::max(1, std::min(jobs, taskCount));
}

int ThreadsPerTask(int requested, int tasksAtOnce, int cores) {
    if (requested > kAutomaticCount)
        return requested;
    if (tasksAtOnce <= 1)
        return kAutomaticCount;
    return std::max(1, std::max(1, cores) / tasksAtOnce);
}

int ValidSimultaneousJobsPreference(int stored, int cores) {
    return stored >= 1 && stored <= std::max(1, cores) ? stored : kAutomaticCount;
}

int SimultaneousJobsPreference(const std::string& stored, int cores) {
    int value = kAutomaticCount;
    const char* end = stored.data() + stored.size();
    const auto [stop, error] = std::from_chars(stored.data(), end, value);
    if (error != std::errc() || stop != end)
        return kAutomaticCount;
    return ValidSimultaneousJobsPreference(value, cores);
}

} // namespace velto
