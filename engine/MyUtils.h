// Small text, file and library-loading helpers shared across the engine.
#pragma once

#include <cstdint>
#include <string>

namespace velto {

// printf-style formatting into a std::string.
std::string StringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Loads fileName from folder by its absolute path (plain system search when folder is empty); the
// working folder and the environment stay as they are. Returns the handle or nullptr (dlerror()
// tells why).
void* LoadLibraryFromFolder(const std::string& folder, const std::string& fileName);

// Cuts text at the first delimiter: head gets what precedes it; with remove, text keeps what
// follows. Without the delimiter, head is the whole text and, with remove, text becomes empty.
void SplitAt(std::string& text, const std::string& delimiter, bool remove, std::string& head);

// Size of an existing file in bytes, or -1 when it does not exist or cannot be read.
std::int64_t FileSizeOf(const std::string& fileName);

} // namespace velto
