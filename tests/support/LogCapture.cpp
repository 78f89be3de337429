#include "LogCapture.h"

#include <algorithm>

namespace velto::test {

LogCapture::LogCapture(int level) {
    InstallLogCallback(level);
    RegisterLogReceiver(this);
}

LogCapture::~LogCapture() {
    UnregisterLogReceiver(this);
}

void LogCapture::LibraryLogLine(std::uint32_t threadId, int level, const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back({threadId, level, line});
}

std::vector<CapturedLine> LogCapture::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool LogCapture::Has(const std::string& text) const {
    std::lock_guard lock(mutex_);
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const CapturedLine& line) { return line.text == text; });
}

bool LogCapture::HasFragment(const std::string& fragment) const {
    std::lock_guard lock(mutex_);
    return std::any_of(lines_.begin(), lines_.end(), [&](const CapturedLine& line) {
        return line.text.find(fragment) != std::string::npos;
    });
}

void LogCapture::Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

} // namespace velto::test
