// Shared pieces of the fuzz targets: a private working folder, input files written there, the
// library binding, and splitting one input into several fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velto::fuzz {

// A folder of this process under the system's temporary folder, made on first use; the targets
// also make it their current folder, so that relative names stay inside it.
const std::string& WorkFolder();

// Writes bytes to name inside WorkFolder() and returns the full path.
std::string WriteInput(const std::string& name, const std::uint8_t* data, std::size_t size);

// Binds the staged libraries with the library log silenced; aborts when they cannot be bound.
void BindLibraries();

// The input cut at every occurrence of separator, always at least one field.
std::vector<std::string> Fields(const std::uint8_t* data, std::size_t size,
                                const std::string& separator);

// Stops the run with a message: a broken promise of the code under test is a finding.
[[noreturn]] void Fail(const std::string& what);

} // namespace velto::fuzz
