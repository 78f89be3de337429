// Naming of a job's output file: the source's name with the "_(new)" mark and the profile's file
// type, in the chosen folder or beside the source, numbered when the name is not free. Main thread.
#pragma once

#include <string>
#include <vector>

namespace velto {

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
                           const std::vector<std::string>& takenPaths = {});

// True when both names lead to the same file (compared after making them absolute and
// resolving what exists of them).
bool SamePath(const std::string& a, const std::string& b);

} // namespace velto
