// Binds the staged LibAV/ folder for a test and gives each test a scratch folder of its own, with
// a reader for the files made there.
#pragma once

#include <string>

namespace velto::test {

// Loads the libraries from the build's LibAV/ folder; fails the current test when that fails.
void LoadTestLibraries();

// Releases every bound unit, for tests that need to start from nothing bound; the next
// LoadTestLibraries binds afresh.
void UnloadTestLibraries();

const char* LibAVFolder();

// A fresh, empty folder named after the running test, inside one folder per test process under
// the system's temporary folder ($TMPDIR), so that two runs or a copied binary never share files.
// The process's folder is removed at exit unless a test failed.
std::string ScratchFolder();

// The bytes of a file, empty when it cannot be read.
std::string FileContents(const std::string& path);

} // namespace velto::test
