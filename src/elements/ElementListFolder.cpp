#include "elements/ElementListFolder.h"

#include <algorithm>
#include <system_error>

namespace schauplatz {
namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool MatchesFileMask(std::string_view name, std::string_view pattern) {
    // Iterative wildcard match with one backtrack point: linear in practice
    // and never recursive, whatever the names look like.
    std::size_t n = 0, p = 0;
    std::size_t starPattern = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

void SplitFileMask(const std::string& mask, std::string& folder, std::string& pattern) {
    const std::size_t slash = mask.find_last_of('/');
    if (slash == std::string::npos) {
        folder.clear();
        pattern = mask;
        return;
    }
    folder = mask.substr(0, slash + 1);
    pattern = mask.substr(slash + 1);
}

const std::vector<std::string>& ElementListFilePatterns() {
    static const std::vector<std::string> patterns = {"*.bmp",  "*.png",  "*.jpg", "*.webp",
                                                      "*.heic", "*.heif", "*.avif"};
    return patterns;
}

std::vector<FolderMatch> ListMatchingFiles(const std::string& mask) {
    std::string folder, pattern;
    SplitFileMask(mask, folder, pattern);
    std::vector<FolderMatch> matches;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder.empty() ? "." : folder, error);
    if (error) return matches;
    for (const std::filesystem::directory_iterator end; entries != end; entries.increment(error)) {
        if (error) break;
        const std::filesystem::directory_entry& entry = *entries;
        std::string name = entry.path().filename().string();
        if (!MatchesFileMask(name, pattern)) continue;
        FolderMatch match;
        match.FileName = std::move(name);
        // Size and time of what the name leads to; a dangling link keeps 0.
        std::error_code statError;
        if (entry.is_regular_file(statError)) {
            const std::uintmax_t size = entry.file_size(statError);
            if (!statError) match.FileSize = size;
        }
        const auto time = entry.last_write_time(statError);
        if (!statError) match.LastWriteTime = time;
        matches.push_back(std::move(match));
    }
    std::sort(matches.begin(), matches.end(), [](const FolderMatch& a, const FolderMatch& b) {
        return a.FileName < b.FileName; // std::string compares bytes as unsigned
    });
    return matches;
}

} // namespace schauplatz
