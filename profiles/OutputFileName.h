// Naming of a job's output file: the source's name with the "_(new)" mark and the profile's file
// type, in the chosen folder or beside the source, numbered when the name is not free. Main thread.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace velto {

// The sources and outputs of the jobs already listed, each put in its normal form (absolute,
// links resolved as far as the path exists) once, when it is added: a list of thousands is
// then asked about a name without going to the disk for every entry of it.
class TTakenPaths {
public:
    TTakenPaths() = default;
    // Implicit, so that a plain list of paths still serves.
    TTakenPaths(const std::vector<std::string>& paths);
    void push_back(const std::string& path);
    // The form paths are compared in, for a caller that keeps it at hand for many lists.
    static std::string NormalForm(const std::string& path);
    // A path already in that form.
    void AddNormal(std::string normal) { normal_.insert(std::move(normal)); }
    bool Contains(const std::string& path) const;
    size_t size() const { return normal_.size(); }

private:
    std::unordered_set<std::string> normal_;
};

// folderText is "Auto" (beside the source) or a folder, normally ending in a path delimiter.
// The first of base_(new)<type>, base_(new_1)<type>, base_(new_2)<type>, ... that is free:
// - a name in takenPaths (the sources and outputs of jobs already in the list) is never free,
//   whatever the overwrite choice, so that one job cannot destroy another's input or output;
// - a name that exists on disk is free only when overwrite is on.
// Empty when no free name can be made: a NUL in any text, or no free number up to
// kMaxOutputNumber.
constexpr long long kMaxOutputNumber = 9999;

std::string OutputFileName(const std::string& sourceFile, const std::string& folderText,
                           const std::string& fileType, bool overwrite,
                           const TTakenPaths& takenPaths = {});

// True when both names lead to the same file (compared after making them absolute and
// resolving what exists of them).
bool SamePath(const std::string& a, const std::string& b);

} // namespace velto
