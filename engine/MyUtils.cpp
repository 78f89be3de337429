#include "MyUtils.h"

#include <cstdarg>
#include <dlfcn.h>
#include <filesystem>
#include <sys/stat.h>

namespace velto {

std::string StringPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);
    return text;
}

namespace {

// Sanitizer builds keep an unloaded library mapped, so that a leak or race report at exit can
// still name the library and function that made it; unloading otherwise behaves the same.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kLoadFlags = RTLD_NOW | RTLD_NODELETE;
#else
constexpr int kLoadFlags = RTLD_NOW;
#endif

} // namespace

void* LoadLibraryFromFolder(const std::string& folder, const std::string& fileName) {
    if (folder.empty())
        return dlopen(fileName.c_str(), kLoadFlags);
    // By absolute path, touching neither the working folder nor PATH: both belong to the whole
    // process, whose other threads may be using them.
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(folder, error);
    if (error)
        path = folder;
    path /= fileName;
    return dlopen(path.c_str(), kLoadFlags);
}

void SplitAt(std::string& text, const std::string& delimiter, bool remove, std::string& head) {
    const size_t at = delimiter.empty() ? std::string::npos : text.find(delimiter);
    if (at == std::string::npos) {
        head = text;
        if (remove)
            text.clear();
        return;
    }
    head = text.substr(0, at);
    if (remove)
        text.erase(0, at + delimiter.size());
}

std::int64_t FileSizeOf(const std::string& fileName) {
    struct stat info {};
    if (stat(fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return static_cast<std::int64_t>(info.st_size);
}

} // namespace velto
