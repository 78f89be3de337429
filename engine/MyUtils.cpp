#include "MyUtils.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

} // namespace

void* LoadLibraryFromFolder(const std::string& folder, const std::string& fileName) {
    if (folder.empty())
        return dlopen(fileName.c_str(), RTLD_NOW);

    const std::string previousDirectory = CurrentDirectory();
    if (chdir(folder.c_str()) != 0) {
        // A missing folder still gets its load attempt so the caller sees the loader's own text.
    }
    const char* path = std::getenv("PATH");
    const std::string pathValue = path ? path : "";
    if (UpperCase(pathValue).find(UpperCase(folder)) == std::string::npos)
        setenv("PATH", (folder + ":" + pathValue).c_str(), 1);

    std::string fullName = folder;
    if (fullName.back() != '/')
        fullName += '/';
    fullName += fileName;
    void* handle = dlopen(fullName.c_str(), RTLD_NOW);

    if (!previousDirectory.empty() && chdir(previousDirectory.c_str()) != 0) {
        // Nothing sensible to do: the directory we came from has gone away.
    }
    return handle;
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
