// Whole-file helpers for the settings tests.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace velto::test {

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace velto::test
