#pragma once

// Picture files: every format the program reads turned into a 32-bit picture,
// and the 32-bit BMP the program writes.

#include "raster/Bitmap32.h"

#include <stdexcept>
#include <string>

namespace schauplatz {

// Replaces the picture's size and pixels with the file's contents; drawing
// properties stay as they are. Never throws and reports nothing: a missing
// file, a folder, an unknown format or a damaged file gives an empty (0 x 0)
// picture. The stages, each failure moving on to the next:
//   1. ".jpg"/".jpeg": the whole file through the JPEG decoder (opaque);
//   2. an uncompressed 32-bit BMP, read straight into the picture's memory
//      from the pixel offset of its file header, fourth bytes as alpha;
//   3. the decoder the extension names (PNG over white, BMP, ICO, EMF and
//      WMF, metafiles drawn on white and on red for their transparency); a
//      file without extension is tried as JPEG;
//   4. the BMP decoder whatever the extension.
// One Changed notification is sent at the end (size changes notify as usual).
void ReadPictureFile(TCustomBitmap32& Picture, const std::string& Path);

// Writing a picture file failed; what() names the file and the reason.
class EPictureFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes the picture as a 32-bit top-down BMP with a 54-byte header, the
// pixels exactly as they lie in memory. An existing file is replaced only
// once the new one is complete: on any failure it is left as it was, and
// EPictureFileError is thrown.
void WriteBitmapFile(const TCustomBitmap32& Picture, const std::string& Path);

} // namespace schauplatz
