#pragma once

// Listing the files of a folder that match a file mask, for the element list.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace schauplatz {

// One match as the folder listing gives it.
struct FolderMatch {
    std::string FileName;                            // bare name, bytes as stored (UTF-8 here)
    std::uintmax_t FileSize = 0;                     // 0 for folders and unreadable entries
    std::filesystem::file_time_type LastWriteTime{}; // epoch when it cannot be read
};

// "*" matches any run of characters (also none), "?" exactly one byte; ASCII
// letters match without regard to case, as file masks do on the desktop the
// program comes from. Nothing else is special: "*.jpg" does not match "a.jpeg".
bool MatchesFileMask(std::string_view name, std::string_view pattern);

// Splits a mask into its folder part (up to and including the last "/", ""
// when there is none) and its file pattern.
void SplitFileMask(const std::string& mask, std::string& folder, std::string& pattern);

// The file patterns the element list is filled with, in this order: the BMP, PNG and JPEG
// pictures first ("*.bmp", "*.png", "*.jpg"; ".jpeg" files are not listed), then today's
// formats ("*.webp", "*.heic", "*.heif", "*.avif"), which enter through the stored-picture
// rule (elements/StoredPicture.h).
const std::vector<std::string>& ElementListFilePatterns();

// Every entry of the mask's folder whose name matches the pattern, whatever
// its attributes: hidden files, links and folders included. Sorted by the
// bytes of the names, so the order is the same on every machine. A missing or
// unreadable folder gives no matches; nothing is thrown.
std::vector<FolderMatch> ListMatchingFiles(const std::string& mask);

} // namespace schauplatz
