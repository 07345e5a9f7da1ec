#pragma once

// Why a picture the user loads cannot be used, in the words the message window shows after
// "Die Datei ... kann nicht als Bild gelesen werden." Each text is one or two whole
// sentences.

#include "elements/codecs/PixelTarget.h"

#include <cstdint>
#include <string>

namespace schauplatz::reasons {

std::string missing();       // the file does not exist
std::string folder();        // the name is a folder
std::string notReadable();   // no regular file, or it cannot be opened or read
std::string unknownFormat(); // none of the known formats
std::string damaged();       // a known format whose decoding failed
std::string animatedWebp();  // a moving WebP picture
std::string noStillImage();  // a HEIF file without a still picture
// Names the size when both sides are known (positive), and the limits: maxSide per side
// (65535, HEIF pictures 16384) and 2^28 pixels in all.
std::string tooLarge(std::int64_t width, std::int64_t height,
                     std::int64_t maxSide = kMaxPictureSide);
// libheif was built without a decoder for the file's coding (format "HEIC" or "AVIF").
std::string missingDecoder(const std::string& format);

} // namespace schauplatz::reasons
