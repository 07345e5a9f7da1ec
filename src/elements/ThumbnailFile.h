#pragma once

// Reading a picture file for its thumbnail: the whole file when it is a JPEG
// (it is decoded from memory), otherwise only the leading bytes that hold the
// header (the picture reader opens the file itself).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace schauplatz {

// Files above this size get no thumbnail: a pattern folder holds photos of a
// few megabytes, and the worker must never hold gigabytes.
inline constexpr std::uintmax_t kMaxThumbnailSourceBytes = 512u * 1024u * 1024u;

// nullopt for anything but a readable regular file (folders, pipes and
// devices would block or mislead the worker) and for files above the limit.
std::optional<std::vector<std::uint8_t>> ReadThumbnailSource(const std::string& path);

} // namespace schauplatz
