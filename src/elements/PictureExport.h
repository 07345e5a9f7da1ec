#pragma once

// The picture leaving the program for people: "Aktuelles Bild speichern" as BMP (the
// default, exactly the pixels with alpha), PNG or JPEG. Every writer replaces an existing
// file only once the new one is complete (written beside it, synced and renamed), so a
// failed write leaves the old file byte-identical.

#include "raster/Bitmap32.h"

#include <string>

namespace schauplatz {

enum class PictureFileType { Bmp, Png, Jpeg };

// An 8-bit RGB PNG of the colour channels (alpha not written). Throws EPictureFileError
// naming the file and the reason.
void WritePngPicture(const TCustomBitmap32& Picture, const std::string& Path);

// A JPEG of the colour channels at quality 92, 4:4:4, marked as sRGB. Throws
// EPictureFileError naming the file and the reason.
void WriteJpegPicture(const TCustomBitmap32& Picture, const std::string& Path);

// One of the three by type; Bmp is WriteBitmapFile.
void WritePictureFile(const TCustomBitmap32& Picture, const std::string& Path,
                      PictureFileType Type);

} // namespace schauplatz
