#include "FuzzSupport.h"

#include "AVUtilHlpr.h"
#include "LibraryBinding.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace velto::fuzz {

const std::string& WorkFolder() {
    static const std::string folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velto-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            Fail("cannot create " + pattern);
        std::filesystem::current_path(pattern);
        return pattern;
    }();
    return folder;
}

std::string WriteInput(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = WorkFolder() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out)
        Fail("cannot write " + path);
    return path;
}

void BindLibraries() {
    if (!LoadLibraries(VELTO_LIBAV_DIR, true))
        Fail("cannot bind the libraries: " + LibraryError());
    AVUtilHlpr::av_log_set_level(AV_LOG_QUIET);
}

std::vector<std::string> Fields(const std::uint8_t* data, std::size_t size,
                                const std::string& separator) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos;
         start = at + separator.size())
        fields.push_back(text.substr(start, at - start));
    fields.push_back(text.substr(start));
    return fields;
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz finding: %s\n", what.c_str());
    std::abort();
}

} // namespace velto::fuzz
