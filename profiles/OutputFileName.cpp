#include "OutputFileName.h"

#include "SettingsStore.h"

#include <algorithm>
#include <filesystem>

namespace velto {
namespace {

namespace fs = std::filesystem;

fs::path Normalised(const std::string& name) {
    std::error_code error;
    fs::path path = fs::weakly_canonical(fs::path(name), error);
    if (error)
        path = fs::absolute(fs::path(name), error).lexically_normal();
    return path;
}

bool ExistsOnDisk(const std::string& name) {
    std::error_code error;
    // A dangling link still occupies the name; overwriting it would write through it.
    return fs::exists(fs::symlink_status(name, error));
}

// Source path or folder plus the source's name, both without the extension. Only the file
// name's extension goes: a dot in a folder name is not one.
std::string BaseName(const std::string& sourceFile, const std::string& folderText) {
    const fs::path source(sourceFile);
    if (folderText == kAutoFolder)
        return (source.parent_path() / source.stem()).string();
    std::string base = folderText;
    // The dialog always ends the folder with a delimiter; a hand-edited setting may not.
    if (!base.empty() && base.back() != '/')
        base += '/';
    return base + source.stem().string();
}

} // namespace

bool SamePath(const std::string& a, const std::string& b) {
    return Normalised(a) == Normalised(b);
}

TTakenPaths::TTakenPaths(const std::vector<std::string>& paths) {
    normal_.reserve(paths.size());
    for (const std::string& path : paths)
        push_back(path);
}

std::string TTakenPaths::NormalForm(const std::string& path) {
    return Normalised(path).string();
}

void TTakenPaths::push_back(const std::string& path) {
    normal_.insert(Normalised(path).string());
}

bool TTakenPaths::Contains(const std::string& path) const {
    return !normal_.empty() && normal_.count(Normalised(path).string()) > 0;
}

std::string OutputFileName(const std::string& sourceFile, const std::string& folderText,
                           const std::string& fileType, bool overwrite,
                           const TTakenPaths& takenPaths) {
    const std::string base = BaseName(sourceFile, folderText);
    const fs::path source = Normalised(sourceFile);
    const auto isFree = [&](const std::string& name) {
        const fs::path normal = Normalised(name);
        if (normal == source || takenPaths.Contains(name))
            return false;
        return overwrite || !ExistsOnDisk(name);
    };
    // Names go to the system as C strings: a NUL would cut every candidate down to one name.
    for (const std::string* text : {&sourceFile, &folderText, &fileType})
        if (text->find('\0') != std::string::npos)
            return {};
    std::string name = base + "_(new)" + fileType;
    for (long long n = 1; !isFree(name); ++n) {
        // A file type that climbs out of the name ("/../clip.avi") makes every number the same
        // file: give up rather than count for ever.
        if (n > kMaxOutputNumber)
            return {};
        name = base + "_(new_" + std::to_string(n) + ")" + fileType;
    }
    return name;
}

} // namespace velto
