#pragma once

// Pictures the user loads directly (facade dialog, element dialog, element list, dropped
// files) and the stored-picture rule.
//
// ReadPictureFile reads every file as projects name them, and so it stays: its stages and
// results are not changed by anything here. A picture the user loads is first read the way
// the user expects to see it: a photo with an EXIF orientation upright, HEIC/HEIF, AVIF
// and WebP files (recognised by their content, whatever their name) through libheif and
// libwebp, a PNG element with its transparency. When ReadPictureFile would not rebuild that
// picture from the file, it is converted once into a file in the picture store that
// ReadPictureFile reads back to exactly the pixels shown:
//   - a JPEG whose only change is its orientation: turned losslessly (orientation tag reset)
//     where its size allows a perfect turn, so nothing of the photo is lost;
//   - otherwise a PNG when every pixel is opaque,
//   - or a 32-bit BMP when any alpha is below 255 (a PNG would be flattened over white).
// The picture then shown is the one read back from that file, and the record line names
// the file, so a project rebuilds the same picture here and in every reader of the record
// file. Pictures that ReadPictureFile already reads as shown are used as they are.

#include "raster/Bitmap32.h"

#include <string>

namespace schauplatz {

enum class PictureRole {
    Facade,  // opaque: transparency is flattened over white, as ReadPictureFile does for PNG
    Element, // keeps its transparency
};

enum class PictureEntry {
    AsItIs,   // ReadPictureFile rebuilds it from the file itself
    Stored,   // converted into a file of the picture store
    Unusable, // cannot be used; the message says why and the picture is empty
};

struct EnteredPicture {
    PictureEntry entry = PictureEntry::Unusable;
    // What is shown: recordPath read by ReadPictureFile (empty when unusable).
    TBitmap32 picture;
    // The path the record line names: the file itself, or the stored file.
    std::string recordPath;
    // For unusable pictures, in German: "Die Datei „…“ kann nicht als Bild gelesen werden."
    // and the reason (missing, folder, unknown format, damaged, too large, no decoder).
    std::string message;
    bool usable() const { return entry != PictureEntry::Unusable; }
};

// Reads a picture the user loads as facade or element and applies the stored-picture rule.
// storeFolder (ending in "/" or not) is created when missing; stored files get the
// original file's name with a new extension, made unique in the folder (" (2)", " (3)",
// ...) and never replacing an existing file. Never throws except std::bad_alloc; a store
// file that cannot be written makes the picture unusable with a message saying so.
EnteredPicture EnterPicture(const std::string& path, PictureRole role,
                            const std::string& storeFolder);

enum class QuarterTurn { Left, Right };

// "Fassade nach links/rechts drehen": the facade's file (as its record line names it, read
// as ReadPictureFile reads it) turned a quarter through the same rule: a JPEG losslessly
// where its size allows, otherwise the turned pixels as PNG or 32-bit BMP.
EnteredPicture TurnFacade(const std::string& recordPath, QuarterTurn turn,
                          const std::string& storeFolder);

// Stores a picture made in memory (a mirrored element copy, a turned picture) by the rule:
// a PNG when every pixel is opaque, a 32-bit BMP otherwise. nameHint gives the file name's
// stem ("Tür 3 gespiegelt"; a folder part and a picture extension in it are dropped). Unusable,
// with a message, for an empty picture or when the file cannot be written.
EnteredPicture StorePicture(const TCustomBitmap32& picture, const std::string& nameHint,
                            const std::string& storeFolder);

// The picture turned a quarter, as the user sees it turn.
TBitmap32 TurnedPicture(const TCustomBitmap32& picture, QuarterTurn turn);

// "Die Datei „path“ kann nicht als Bild gelesen werden." followed by the reason.
std::string UnreadablePictureMessage(const std::string& path, const std::string& reason);

} // namespace schauplatz
