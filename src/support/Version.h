#pragma once

#include <string>

namespace schauplatz {

// The program version set in CMake and compiled in; stands where the original
// program read the FileVersion text of its version resource.
std::string compiledVersion();

} // namespace schauplatz
