#pragma once

// A picture written as an 8-bit RGB PNG: the colour channels of every pixel, opaque, as the
// screen and the clipboard show them. The alpha byte is not written.

#include "raster/Bitmap32.h"

#include <string>

namespace schauplatz {

// Replaces an existing file only once the new one is complete; throws EPictureFileError
// naming the file when the picture is empty or the file cannot be written.
void WritePngFile(const TCustomBitmap32& Picture, const std::string& Path);

} // namespace schauplatz
