#include "elements/PictureExport.h"

#include "elements/PictureFiles.h"
#include "elements/codecs/PictureEncoders.h"
#include "support/FileSystem.h"

#include <new>
#include <vector>

namespace schauplatz {
namespace {

using Encoder = std::vector<std::uint8_t> (*)(const TCustomBitmap32&);

std::vector<std::uint8_t> pngOf(const TCustomBitmap32& picture) {
    return encodePngRgb(picture.Bits(), picture.Width(), picture.Height());
}

std::vector<std::uint8_t> jpegOf(const TCustomBitmap32& picture) {
    return encodeJpegRgb(picture.Bits(), picture.Width(), picture.Height());
}

// Encodes in memory first, so nothing is written when the encoder fails.
void writeEncoded(const TCustomBitmap32& picture, const std::string& path, const char* kind,
                  Encoder encode) {
    const std::string what = std::string("Cannot write the ") + kind + " file \"" + path + "\": ";
    if (picture.IsEmpty()) throw EPictureFileError(what + "the picture is empty");
    std::vector<std::uint8_t> bytes;
    try {
        bytes = encode(picture);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        throw EPictureFileError(what + error.what());
    }
    try {
        writeFileAtomically(path,
                            [&](WritableFile& file) { file.write(bytes.data(), bytes.size()); });
    } catch (const std::exception& error) {
        throw EPictureFileError(what + error.what());
    }
}

} // namespace

void WritePngPicture(const TCustomBitmap32& Picture, const std::string& Path) {
    writeEncoded(Picture, Path, "PNG", pngOf);
}

void WriteJpegPicture(const TCustomBitmap32& Picture, const std::string& Path) {
    writeEncoded(Picture, Path, "JPEG", jpegOf);
}

void WritePictureFile(const TCustomBitmap32& Picture, const std::string& Path,
                      PictureFileType Type) {
    switch (Type) {
    case PictureFileType::Png:
        WritePngPicture(Picture, Path);
        return;
    case PictureFileType::Jpeg:
        WriteJpegPicture(Picture, Path);
        return;
    case PictureFileType::Bmp:
        break;
    }
    WriteBitmapFile(Picture, Path);
}

} // namespace schauplatz
