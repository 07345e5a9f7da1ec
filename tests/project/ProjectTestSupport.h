#pragma once

// Helpers of the project tests: a private temporary folder, whole-file reads and writes,
// and a reader of a zip file's central directory that also tells where each field lies, so
// tests can check flags and methods byte for byte and forge damaged archives.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace schauplatz::testing {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // Ends in "/".
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);
// Names of the entries directly in a folder, sorted.
std::vector<std::string> folderNames(const std::string& folder);
// Every path below a folder (recursive), sorted, relative to it.
std::vector<std::string> treeNames(const std::string& folder);

struct ZipRecord {
    std::string name; // raw bytes
    std::uint16_t madeBy = 0;
    std::uint16_t flags = 0; // general purpose bits (bit 11: UTF-8 name)
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    std::uint32_t externalAttributes = 0;
    std::uint32_t localOffset = 0;
    std::size_t centralOffset = 0; // of this record's signature in the file
};

// The central directory of a zip file's bytes (fails the current test when malformed).
std::vector<ZipRecord> centralDirectory(const std::string& bytes);
// The entry names of an archive file, sorted.
std::vector<std::string> entryNames(const std::string& archive);

// Byte offsets, within the file, of fields of the local header at localOffset.
std::size_t localCrcOffset(std::size_t localOffset);
std::size_t localSizeOffset(std::size_t localOffset); // uncompressed size
std::size_t localNameOffset(std::size_t localOffset);
std::size_t localDataOffset(const std::string& bytes, std::size_t localOffset);
// Same for a central record.
std::size_t centralCrcOffset(std::size_t centralOffset);
std::size_t centralSizeOffset(std::size_t centralOffset);
std::size_t centralNameOffset(std::size_t centralOffset);

void put32(std::string& bytes, std::size_t offset, std::uint32_t value);

// An archive built with libzip's raw calls: names taken as bytes (no UTF-8 flag set unless
// they are valid UTF-8), each entry deflated.
struct RawEntry {
    std::string rawName;
    std::string content;
    bool stored = false;
    std::uint32_t unixMode = 0; // 0: leave the attributes as libzip sets them
};
void writeRawArchive(const std::string& path, const std::vector<RawEntry>& entries);

} // namespace schauplatz::testing
