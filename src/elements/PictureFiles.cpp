#include "elements/PictureFiles.h"

#include "elements/PictureFileBytes.h"
#include "elements/codecs/BmpCodec.h"
#include "elements/codecs/IconCodec.h"
#include "elements/codecs/JpegCodec.h"
#include "elements/codecs/PngCodec.h"
#include "elements/metafile/Metafile.h"
#include "support/FileSystem.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace schauplatz {
namespace {

constexpr std::size_t kBmpHeaderBytes = 54;

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

// Only regular files are read: a folder, a pipe or a device gives nothing.
std::optional<std::uintmax_t> regularFileSize(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || error) return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) return std::nullopt;
    return size;
}

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path) {
    std::string ignored;
    return ReadPictureBytes(path, ignored);
}

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Stage 2: an uncompressed 32-bit BMP read row by row into the picture's
// memory, fourth bytes as alpha. The pixels start where the file header says
// (for the 40-byte header the program writes that is byte 54).
bool readDirectBitmap(TCustomBitmap32& picture, const std::string& path) {
    const auto fileSize = regularFileSize(path);
    if (!fileSize || *fileSize < kBmpHeaderBytes) return false;
    FilePointer file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    std::array<std::uint8_t, kBmpHeaderBytes> header{};
    if (std::fread(header.data(), 1, header.size(), file.get()) != header.size()) return false;
    if (header[0] != 'B' || header[1] != 'M') return false;
    const std::uint64_t infoSize = le32(&header[14]);
    if (infoSize < 40 || le16(&header[26]) != 1 || le16(&header[28]) != 32 ||
        le32(&header[30]) != 0) {
        return false;
    }
    const std::int64_t width = static_cast<std::int32_t>(le32(&header[18]));
    const std::int64_t storedHeight = static_cast<std::int32_t>(le32(&header[22]));
    const std::int64_t height = storedHeight < 0 ? -storedHeight : storedHeight;
    if (!pictureSizeAllowed(width, height)) return false;
    const std::uint64_t offset = le32(&header[10]);
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(width) * 4;
    const std::uint64_t pixelBytes = rowBytes * static_cast<std::uint64_t>(height);
    if (offset < 14 + infoSize || offset > *fileSize || pixelBytes > *fileSize - offset) {
        return false;
    }
    if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) return false;

    picture.SetSize(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    if (storedHeight < 0) {
        return std::fread(picture.Bits(), 1, pixelBytes, file.get()) == pixelBytes;
    }
    for (std::int64_t y = height - 1; y >= 0; --y) {
        if (std::fread(picture.RowPointer(static_cast<std::int32_t>(y)), 1, rowBytes, file.get()) !=
            rowBytes) {
            return false;
        }
    }
    return true;
}

// Stage 3: the decoder the extension names.
bool readByExtension(const std::string& extension, ByteSpan data, PixelTarget& target) {
    if (extension == ".PNG") return decodePng(data, target, PngAlpha::OverWhite);
    if (extension == ".BMP") return decodeBmpFile(data, target);
    if (extension == ".ICO") return decodeIcon(data, target);
    if (extension == ".EMF") return decodeMetafile(data, MetafileKind::Enhanced, target);
    if (extension == ".WMF") return decodeMetafile(data, MetafileKind::Windows, target);
    // A file without extension goes to the general picture object, which
    // knows JPEG by its content. JPEG files by name were tried in stage 1
    // with the same decoder.
    if (extension.empty() && looksLikeJpeg(data)) return decodeJpeg(data, target);
    return false;
}

bool readPicture(TCustomBitmap32& picture, const std::string& path) {
    BitmapTarget target(picture);
    const std::string extension = UpperExtension(path);
    std::optional<std::vector<std::uint8_t>> contents;

    if (extension == ".JPG" || extension == ".JPEG") {
        contents = readWholeFile(path);
        if (contents && decodeJpeg(*contents, target)) return true;
    }
    if (readDirectBitmap(picture, path)) return true;
    if (!contents) contents = readWholeFile(path);
    if (!contents) return false;
    if (readByExtension(extension, *contents, target)) return true;
    return decodeBmpFile(*contents, target);
}

std::array<std::uint8_t, kBmpHeaderBytes> bitmapFileHeader(std::uint32_t width,
                                                           std::uint32_t height) {
    std::array<std::uint8_t, kBmpHeaderBytes> header{};
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    const std::uint32_t imageSize = 4 * width * height;
    header[0] = 'B';
    header[1] = 'M';
    put32(2, static_cast<std::uint32_t>(kBmpHeaderBytes) + imageSize);
    put32(10, kBmpHeaderBytes);
    put32(14, 40);
    put32(18, width);
    put32(22, static_cast<std::uint32_t>(-static_cast<std::int64_t>(height)));
    header[26] = 1;  // planes
    header[28] = 32; // bits per pixel
    put32(34, imageSize);
    return header;
}

} // namespace

void ReadPictureFile(TCustomBitmap32& Picture, const std::string& Path) {
    bool read = false;
    {
        TUpdateBracket bracket(Picture);
        try {
            read = readPicture(Picture, Path);
        } catch (...) {
            // Out of memory for a picture the limits allowed, or a notification
            // handler that failed: the reading still ends in an empty picture.
            read = false;
        }
        if (!read) {
            try {
                Picture.SetSize(0, 0);
            } catch (...) {
            }
        }
    }
    try {
        Picture.Changed();
    } catch (...) {
    }
}

void WriteBitmapFile(const TCustomBitmap32& Picture, const std::string& Path) {
    const auto width = static_cast<std::uint64_t>(Picture.Width());
    const auto height = static_cast<std::uint64_t>(Picture.Height());
    const std::uint64_t pixelBytes = 4 * width * height;
    if (kBmpHeaderBytes + pixelBytes > 0xFFFFFFFFu) {
        throw EPictureFileError("Cannot write the bitmap file \"" + Path + "\": a picture of " +
                                std::to_string(width) + " x " + std::to_string(height) +
                                " pixels is too large for a BMP file");
    }
    const auto header =
        bitmapFileHeader(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    try {
        writeFileAtomically(Path, [&](WritableFile& file) {
            file.write(header.data(), header.size());
            if (pixelBytes > 0) file.write(Picture.Bits(), static_cast<std::size_t>(pixelBytes));
        });
    } catch (const std::exception& error) {
        throw EPictureFileError("Cannot write the bitmap file \"" + Path + "\": " + error.what());
    }
}

} // namespace schauplatz
