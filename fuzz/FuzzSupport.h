#pragma once

// Shared helpers of the fuzz targets: a private scratch folder per process and the check
// that a file operation left nothing outside the folder it was given.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace schauplatz::fuzz {

// A folder of this process under the system's temporary folder, created on first use and
// removed at exit; ends in "/".
const std::string& scratchFolder();

// Writes the bytes to a file (replacing it); aborts when that fails, since the fuzz run would
// then test nothing.
void writeInput(const std::string& path, const std::uint8_t* data, std::size_t size);

// The names directly in a folder, sorted.
std::vector<std::string> folderNames(const std::string& folder);

// Aborts with a message naming what was found when folder holds anything but `allowed`.
void requireOnly(const std::string& folder, const std::vector<std::string>& allowed);

// Aborts with the message (a finding the sanitizers cannot see on their own).
[[noreturn]] void finding(const std::string& message);

// Removes a folder and everything in it; missing is fine.
void removeTree(const std::string& folder);

} // namespace schauplatz::fuzz
