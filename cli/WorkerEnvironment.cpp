#include "WorkerEnvironment.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace velto::cli {

int SchedulerItem() {
    const char* text = std::getenv("SLURM_ARRAY_TASK_ID");
    if (!text || !*text)
        return -1;
    int value = -1;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc() && stop == end && value >= 0 ? value : -1;
}

bool RetryableFailure(const std::string& message) {
    // The libraries' reasons are the system's own error texts.
    static const int kPassing[] = {ENOSPC, EDQUOT, EAGAIN, ETIMEDOUT, EMFILE,
                                   ENFILE, ENOMEM, EIO,    EBUSY,     EINTR};
    for (const int code : kPassing) {
        if (message.find(std::strerror(code)) != std::string::npos)
            return true;
    }
    return false;
}

TPrivateFolder::TPrivateFolder() {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error)
        base = "/tmp";
    std::string pattern = (base / "velto3gp-XXXXXX").string();
    if (mkdtemp(pattern.data()))
        path_ = pattern;
}

TPrivateFolder::~TPrivateFolder() {
    if (path_.empty())
        return;
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

} // namespace velto::cli
