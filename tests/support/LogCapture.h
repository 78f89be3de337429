// Collects every completed library log line for the lifetime of the object (installs the
// engine's log callback at the given engine level).
#pragma once

#include "LogBridge.h"

#include <mutex>
#include <string>
#include <vector>

namespace velto::test {

struct CapturedLine {
    std::uint32_t threadId;
    int level;
    std::string text;
};

class LogCapture : public ILibraryLogReceiver {
public:
    explicit LogCapture(int level = 3);
    ~LogCapture() override;

    void LibraryLogLine(std::uint32_t threadId, int level, const std::string& line) override;
    std::vector<CapturedLine> Lines() const;
    // True when some line equals text exactly.
    bool Has(const std::string& text) const;
    // True when some line contains the fragment.
    bool HasFragment(const std::string& fragment) const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<CapturedLine> lines_;
};

} // namespace velto::test
