#include "elements/PictureFileBytes.h"

#include "elements/codecs/PictureReasons.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace schauplatz {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

} // namespace

std::string UpperExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < name) return {};
    std::string extension = path.substr(dot);
    for (char& c : extension) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return extension;
}

std::optional<std::vector<std::uint8_t>> ReadPictureBytes(const std::string& path,
                                                          std::string& reason) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) {
        reason = reasons::missing();
        return std::nullopt;
    }
    if (std::filesystem::is_directory(status)) {
        reason = reasons::folder();
        return std::nullopt;
    }
    reason = reasons::notReadable();
    if (!std::filesystem::is_regular_file(status)) return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) return std::nullopt;
    if (size > kMaxPictureFileBytes) {
        reason = reasons::tooLarge(0, 0);
        return std::nullopt;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return std::nullopt;
    reason.clear();
    return bytes;
}

} // namespace schauplatz
