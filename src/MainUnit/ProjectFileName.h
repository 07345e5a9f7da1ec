#pragma once

// What counts as a project file when a name comes from outside the window (the command line,
// files dropped on it): a name ending in ".vbk", in any case.

#include <string>

namespace schauplatz {

inline bool IsProjectFileName(const std::string& path) {
    constexpr const char* kExtension = ".vbk";
    constexpr std::size_t kLength = 4;
    if (path.size() <= kLength) return false;
    const std::size_t at = path.size() - kLength;
    if (path[at - 1] == '/') return false; // "/.vbk" is a hidden name, not an extension
    for (std::size_t i = 0; i < kLength; ++i) {
        char c = path[at + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kExtension[i]) return false;
    }
    return true;
}

} // namespace schauplatz
