#include "ProjectTestSupport.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace schauplatz::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    const fs::path base =
        fs::temp_directory_path() /
        ("schauplatz-project-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(base);
    fs::create_directories(base);
    m_path = base.string() + "/";
}

TempFolder::~TempFolder() {
    std::error_code error;
    fs::remove_all(m_path, error);
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> treeNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        names.push_back(fs::relative(it->path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

std::uint16_t get16(const std::string& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes.at(offset)) |
                                      static_cast<unsigned char>(bytes.at(offset + 1)) << 8);
}

std::uint32_t get32(const std::string& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(get16(bytes, offset)) |
           static_cast<std::uint32_t>(get16(bytes, offset + 2)) << 16;
}

} // namespace

void put32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<char>(value >> (8 * i));
}

std::vector<ZipRecord> centralDirectory(const std::string& bytes) {
    std::vector<ZipRecord> records;
    if (bytes.size() < 22) {
        ADD_FAILURE() << "not a zip file";
        return records;
    }
    std::size_t end = bytes.size() - 22;
    while (end > 0 && get32(bytes, end) != 0x06054b50)
        --end;
    if (get32(bytes, end) != 0x06054b50) {
        ADD_FAILURE() << "no end of central directory";
        return records;
    }
    const std::uint16_t count = get16(bytes, end + 10);
    std::size_t offset = get32(bytes, end + 16);
    for (std::uint16_t i = 0; i < count; ++i) {
        if (get32(bytes, offset) != 0x02014b50) {
            ADD_FAILURE() << "bad central record " << i;
            break;
        }
        ZipRecord record;
        record.centralOffset = offset;
        record.madeBy = get16(bytes, offset + 4);
        record.flags = get16(bytes, offset + 8);
        record.method = get16(bytes, offset + 10);
        record.crc = get32(bytes, offset + 16);
        record.compressedSize = get32(bytes, offset + 20);
        record.size = get32(bytes, offset + 24);
        const std::uint16_t nameLength = get16(bytes, offset + 28);
        const std::uint16_t extraLength = get16(bytes, offset + 30);
        const std::uint16_t commentLength = get16(bytes, offset + 32);
        record.externalAttributes = get32(bytes, offset + 38);
        record.localOffset = get32(bytes, offset + 42);
        record.name = bytes.substr(offset + 46, nameLength);
        records.push_back(record);
        offset += 46 + nameLength + extraLength + commentLength;
    }
    return records;
}

std::size_t localCrcOffset(std::size_t localOffset) {
    return localOffset + 14;
}
std::size_t localSizeOffset(std::size_t localOffset) {
    return localOffset + 22;
}
std::size_t localNameOffset(std::size_t localOffset) {
    return localOffset + 30;
}
std::size_t localDataOffset(const std::string& bytes, std::size_t localOffset) {
    return localOffset + 30 + get16(bytes, localOffset + 26) + get16(bytes, localOffset + 28);
}
std::size_t centralCrcOffset(std::size_t centralOffset) {
    return centralOffset + 16;
}
std::size_t centralSizeOffset(std::size_t centralOffset) {
    return centralOffset + 24;
}
std::size_t centralNameOffset(std::size_t centralOffset) {
    return centralOffset + 46;
}

void writeRawArchive(const std::string& path, const std::vector<RawEntry>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr) << "libzip error " << error;
    for (const RawEntry& entry : entries) {
        zip_source_t* source =
            zip_source_buffer(archive, entry.content.data(), entry.content.size(), 0);
        ASSERT_NE(source, nullptr);
        const zip_int64_t index =
            zip_file_add(archive, entry.rawName.c_str(), source, ZIP_FL_ENC_RAW);
        ASSERT_GE(index, 0) << zip_strerror(archive) << " for " << entry.rawName;
        const auto at = static_cast<zip_uint64_t>(index);
        zip_set_file_compression(archive, at, entry.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9);
        if (entry.unixMode != 0)
            zip_file_set_external_attributes(archive, at, 0, ZIP_OPSYS_UNIX, entry.unixMode << 16);
    }
    ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

std::vector<std::string> entryNames(const std::string& archive) {
    std::vector<std::string> names;
    for (const ZipRecord& record : centralDirectory(readBytes(archive)))
        names.push_back(record.name);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace schauplatz::testing
