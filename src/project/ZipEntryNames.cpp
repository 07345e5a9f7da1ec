#include "project/ZipEntryNames.h"

#include "support/TextCodec.h"

#include <algorithm>
#include <array>

namespace schauplatz {
namespace {

constexpr std::array<std::string_view, 26> kStoredExtensions = {
    ".gif", ".png", ".jpg", ".jpeg", ".z",   ".zip", ".zoo", ".arc",    ".lzh",
    ".arj", ".taz", ".tgz", ".lha",  ".rar", ".ace", ".cab", ".gz",     ".gzip",
    ".jar", ".exe", ".7zp", ".mp3",  ".wmv", ".wma", ".avi", ".dvr-ms",
};

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool usesC1Range(std::string_view raw) {
    return std::any_of(raw.begin(), raw.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x80 && byte <= 0x9F;
    });
}

} // namespace

std::string decodeEntryName(std::string_view raw) {
    if (isValidUtf8(raw)) return std::string(raw);
    return decodeCodePage(raw, usesC1Range(raw) ? CodePage::Cp850 : CodePage::Windows1252);
}

std::optional<std::string> bareEntryName(std::string_view decodedName) {
    const std::size_t cut = decodedName.find_last_of("/\\:");
    const std::string_view bare =
        cut == std::string_view::npos ? decodedName : decodedName.substr(cut + 1);
    if (bare.empty() || bare == "." || bare == "..") return std::nullopt;
    for (const char c : bare) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return std::nullopt;
    }
    return std::string(bare);
}

std::vector<std::string> entryNameCandidates(const std::string& fileName) {
    std::vector<std::string> candidates{fileName};
    const auto add = [&](std::string name) {
        if (std::find(candidates.begin(), candidates.end(), name) == candidates.end())
            candidates.push_back(std::move(name));
    };
    for (const CodePage written : {CodePage::Cp850, CodePage::Cp437, CodePage::Windows1252}) {
        const auto bytes = encodeCodePage(fileName, written);
        if (!bytes || isAscii(*bytes)) continue;
        for (const CodePage read : {CodePage::Cp850, CodePage::Windows1252})
            add(decodeCodePage(*bytes, read));
    }
    return candidates;
}

bool isStoredExtension(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return false;
    std::string extension(fileName.substr(dot));
    std::transform(extension.begin(), extension.end(), extension.begin(), asciiLower);
    return std::find(kStoredExtensions.begin(), kStoredExtensions.end(), extension) !=
           kStoredExtensions.end();
}

} // namespace schauplatz
