#include "elements/StoredPicture.h"

#include "elements/PictureExport.h"
#include "elements/PictureFileBytes.h"
#include "elements/PictureFiles.h"
#include "elements/Thumbnail.h"
#include "elements/codecs/ExifOrientation.h"
#include "elements/codecs/HeifCodec.h"
#include "elements/codecs/JpegCodec.h"
#include "elements/codecs/JpegTransform.h"
#include "elements/codecs/PictureOrientation.h"
#include "elements/codecs/PictureReasons.h"
#include "elements/codecs/PngCodec.h"
#include "elements/codecs/WebpCodec.h"
#include "support/FileSystem.h"
#include "support/FreeFileName.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace schauplatz {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kMaxNameTries = 100000;

EnteredPicture unusable(std::string message) {
    EnteredPicture result;
    result.message = std::move(message);
    return result;
}

EnteredPicture unreadable(const std::string& path, const std::string& reason) {
    return unusable(UnreadablePictureMessage(path, reason));
}

bool knownExtension(const std::string& extension) {
    for (const char* known : {".PNG", ".JPG", ".JPEG", ".BMP", ".ICO", ".EMF", ".WMF"}) {
        if (extension == known) return true;
    }
    return false;
}

// Why ReadPictureFile gave an empty picture.
std::string whyUnreadable(const Bytes& bytes, const std::string& extension) {
    const auto declared = PictureHeaderDeclaredSize(bytes);
    if (declared && declared->Width > 0 && declared->Height > 0 &&
        !pictureSizeAllowed(declared->Width, declared->Height))
        return reasons::tooLarge(declared->Width, declared->Height);
    const bool knownContent = looksLikeJpeg(bytes) || looksLikePng(bytes) ||
                              (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M');
    if (knownContent || knownExtension(extension)) return reasons::damaged();
    return reasons::unknownFormat();
}

// The stem of a stored file: the original name without folder and picture extension, with
// the characters a record line would misread (";" ends the path, "\" and ":" start a file
// name) replaced.
std::string storeStem(const std::string& nameOrPath) {
    const std::size_t slash = nameOrPath.find_last_of('/');
    std::string stem = slash == std::string::npos ? nameOrPath : nameOrPath.substr(slash + 1);
    const std::string extension = UpperExtension(stem);
    if (knownExtension(extension) || extension == ".HEIC" || extension == ".HEIF" ||
        extension == ".AVIF" || extension == ".WEBP")
        stem.resize(stem.size() - extension.size());
    for (char& c : stem) {
        if (c == ';' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) c = '_';
    }
    return stem.empty() ? std::string("Bild") : stem;
}

std::string withSlash(const std::string& folder) {
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

// Claims a name nobody uses: the file is created empty and exclusively, so neither an
// existing file nor one made meanwhile is ever replaced; the writer then renames the
// complete picture over this placeholder.
std::string reserveStoreName(const std::string& folder, const std::string& stem,
                             const std::string& extension) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string path =
        FreeFilePath(folder, stem, extension, FreeNameClaim::CreateExclusive, kMaxNameTries);
    if (path.empty()) throw FileSystemError("Cannot create", folder + stem + extension, EEXIST);
    return path;
}

bool allOpaque(const TCustomBitmap32& picture) {
    const TColor32* pixels = picture.Bits();
    const std::size_t count =
        static_cast<std::size_t>(picture.Width()) * static_cast<std::size_t>(picture.Height());
    return std::all_of(pixels, pixels + count, [](TColor32 c) { return (c >> 24) == 0xFF; });
}

// Writes a store file through `write` and shows what ReadPictureFile makes of it.
template <typename Write>
EnteredPicture storeFile(const std::string& source, const std::string& stem,
                         const std::string& extension, const std::string& storeFolder,
                         Write write) {
    std::string path;
    try {
        path = reserveStoreName(withSlash(storeFolder), stem, extension);
        write(path);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        if (!path.empty()) ::unlink(path.c_str());
        return unusable("Das Bild aus der Datei „" + source +
                        "“ kann nicht im Bildspeicher abgelegt werden: " + error.what());
    }
    EnteredPicture result;
    ReadPictureFile(result.picture, path);
    if (result.picture.IsEmpty()) return unreadable(path, reasons::damaged());
    result.entry = PictureEntry::Stored;
    result.recordPath = path;
    return result;
}

EnteredPicture storeByRule(const TCustomBitmap32& picture, const std::string& source,
                           const std::string& stem, const std::string& storeFolder) {
    if (allOpaque(picture)) {
        return storeFile(source, stem, ".png", storeFolder,
                         [&](const std::string& path) { WritePngPicture(picture, path); });
    }
    return storeFile(source, stem, ".bmp", storeFolder,
                     [&](const std::string& path) { WriteBitmapFile(picture, path); });
}

EnteredPicture storeJpeg(const Bytes& jpeg, const std::string& source, const std::string& stem,
                         const std::string& storeFolder) {
    return storeFile(source, stem, ".jpg", storeFolder, [&](const std::string& path) {
        writeFileAtomically(path,
                            [&](WritableFile& file) { file.write(jpeg.data(), jpeg.size()); });
    });
}

// ReadPictureFile takes a JPEG through its JPEG decoder when the name says .jpg or .jpeg,
// or has no extension and the content is a JPEG.
bool readAsJpeg(const Bytes& bytes, const std::string& extension) {
    return looksLikeJpeg(bytes) &&
           (extension == ".JPG" || extension == ".JPEG" || extension.empty());
}

// HEIC/HEIF/AVIF and WebP, recognised by content: ReadPictureFile reads none of them.
EnteredPicture enterNewFormat(const Bytes& bytes, const std::string& path, PictureRole role,
                              const std::string& storeFolder) {
    TBitmap32 picture;
    BitmapTarget target(picture);
    std::string reason;
    const bool read = looksLikeWebp(bytes) ? decodeWebp(bytes, target, &reason)
                                           : decodeHeif(bytes, target, &reason);
    if (!read) return unreadable(path, reason);
    if (role == PictureRole::Facade) {
        compositeOverWhite(picture.Bits(), static_cast<std::size_t>(picture.Width()) *
                                               static_cast<std::size_t>(picture.Height()));
    }
    return storeByRule(picture, path, storeStem(path), storeFolder);
}

// A photo with an orientation tag: turned losslessly when its size allows, otherwise
// decoded upright and stored by the rule. nullopt when the JPEG cannot be decoded.
std::optional<EnteredPicture> enterOrientedJpeg(const Bytes& bytes, int orientation,
                                                const std::string& path,
                                                const std::string& storeFolder) {
    if (auto turned = transformJpegLosslessly(bytes, orientation))
        return storeJpeg(*turned, path, storeStem(path), storeFolder);
    TBitmap32 picture;
    BitmapTarget target(picture);
    if (!decodeJpegUpright(bytes, orientation, target)) return std::nullopt;
    return storeByRule(picture, path, storeStem(path), storeFolder);
}

// A PNG element keeps its transparency: ReadPictureFile would flatten it over white.
std::optional<EnteredPicture> enterTransparentPng(const Bytes& bytes, const std::string& path,
                                                  const std::string& storeFolder) {
    TBitmap32 picture;
    BitmapTarget target(picture);
    if (!decodePng(bytes, target, PngAlpha::Keep) || allOpaque(picture)) return std::nullopt;
    return storeByRule(picture, path, storeStem(path), storeFolder);
}

EnteredPicture asItIs(const std::string& path, const Bytes& bytes, const std::string& extension) {
    EnteredPicture result;
    ReadPictureFile(result.picture, path);
    if (result.picture.IsEmpty()) return unreadable(path, whyUnreadable(bytes, extension));
    result.entry = PictureEntry::AsItIs;
    result.recordPath = path;
    return result;
}

EnteredPicture enter(const std::string& path, PictureRole role, const std::string& storeFolder) {
    std::string reason;
    const auto bytes = ReadPictureBytes(path, reason);
    if (!bytes) return unreadable(path, reason);
    if (looksLikeHeif(*bytes) || looksLikeWebp(*bytes))
        return enterNewFormat(*bytes, path, role, storeFolder);
    const std::string extension = UpperExtension(path);
    if (readAsJpeg(*bytes, extension)) {
        const int orientation = jpegOrientation(*bytes);
        if (orientation != 1) {
            if (auto entered = enterOrientedJpeg(*bytes, orientation, path, storeFolder))
                return std::move(*entered);
        }
    }
    if (role == PictureRole::Element && extension == ".PNG" && looksLikePng(*bytes)) {
        if (auto entered = enterTransparentPng(*bytes, path, storeFolder))
            return std::move(*entered);
    }
    return asItIs(path, *bytes, extension);
}

} // namespace

std::string UnreadablePictureMessage(const std::string& path, const std::string& reason) {
    return "Die Datei „" + path + "“ kann nicht als Bild gelesen werden. " + reason;
}

EnteredPicture EnterPicture(const std::string& path, PictureRole role,
                            const std::string& storeFolder) {
    return enter(path, role, storeFolder);
}

TBitmap32 TurnedPicture(const TCustomBitmap32& picture, QuarterTurn turn) {
    TBitmap32 turned;
    if (picture.IsEmpty()) return turned;
    turned.SetSize(picture.Height(), picture.Width());
    orientPicture(picture.Bits(), picture.Width(), picture.Height(),
                  turn == QuarterTurn::Right ? kTurnRight : kTurnLeft, turned.Bits());
    return turned;
}

EnteredPicture TurnFacade(const std::string& recordPath, QuarterTurn turn,
                          const std::string& storeFolder) {
    std::string reason;
    const auto bytes = ReadPictureBytes(recordPath, reason);
    if (!bytes) return unreadable(recordPath, reason);
    const std::string stem = storeStem(recordPath);
    if (readAsJpeg(*bytes, UpperExtension(recordPath))) {
        const int orientation = turn == QuarterTurn::Right ? kTurnRight : kTurnLeft;
        if (auto turned = transformJpegLosslessly(*bytes, orientation))
            return storeJpeg(*turned, recordPath, stem, storeFolder);
    }
    TBitmap32 facade;
    ReadPictureFile(facade, recordPath);
    if (facade.IsEmpty())
        return unreadable(recordPath, whyUnreadable(*bytes, UpperExtension(recordPath)));
    return storeByRule(TurnedPicture(facade, turn), recordPath, stem, storeFolder);
}

EnteredPicture StorePicture(const TCustomBitmap32& picture, const std::string& nameHint,
                            const std::string& storeFolder) {
    if (picture.IsEmpty())
        return unusable("Ein leeres Bild kann nicht im Bildspeicher abgelegt werden.");
    return storeByRule(picture, nameHint, storeStem(nameHint), storeFolder);
}

} // namespace schauplatz
