// Binds the staged LibAV/ folder for a test and gives each test a scratch folder of its own.
#pragma once

#include <string>

namespace velto::test {

// Loads the libraries from the build's LibAV/ folder; fails the current test when that fails.
void LoadTestLibraries();

const char* LibAVFolder();

// A fresh, empty folder under the build tree named after the running test.
std::string ScratchFolder();

} // namespace velto::test
