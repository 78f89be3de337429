// What velto3gp reads of the machine and the scheduler when it runs as one worker among many:
// the line of a list an array job takes, whether a failure may pass on a retry, and a private
// temporary folder for files no user asked for. Plain functions; any thread.
#pragma once

#include <string>

namespace velto::cli {

// The array index of a Slurm job step (SLURM_ARRAY_TASK_ID), or -1 when it is not set or not
// a whole number of 0 or more.
int SchedulerItem();

// The failure may pass when tried again later: the disk or a quota was full, the system was
// short of memory or descriptors, a write failed for a while. A damaged or unsupported source
// fails the same way every time.
bool RetryableFailure(const std::string& message);

// A folder of this process's own under the system's temporary folder, removed with everything
// in it when the object goes. Empty Path() when none could be made.
class TPrivateFolder {
public:
    TPrivateFolder();
    ~TPrivateFolder();
    TPrivateFolder(const TPrivateFolder&) = delete;
    TPrivateFolder& operator=(const TPrivateFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace velto::cli
