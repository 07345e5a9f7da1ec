#pragma once

#include "elements/codecs/PixelTarget.h"

namespace schauplatz {

// A file of several scans (progressive, or sequential with a scan per component) is read at
// most this far: 500 scans (the limit libjpeg-turbo advises for files from outside), and
// entropy decoding of 16 times the picture's blocks (all components) plus 2^23 blocks, so
// small pictures reach the scan limit and large ones stop after 16 full passes. Ordinary
// progressive files take 10 scans and about 5 passes.
inline constexpr int kMaxJpegScans = 500;
inline constexpr long long kJpegScanWorkFactor = 16;
inline constexpr long long kJpegScanWorkAllowance = 1LL << 23;
struct JpegScans {
    int read = 0;              // scans read (files of one scan: 1)
    bool stoppedEarly = false; // a limit ended the reading (the file may hold more scans)
};

// Decodes a JPEG held in memory with the library's default decoding (integer
// slow DCT, fancy upsampling). Greyscale comes out grey; CMYK and YCCK come
// out as R = round(C*K/255), G = round(M*K/255), B = round(Y*K/255) of the
// stored (Adobe, inverted) values. No colour profile and no orientation tag
// is applied. The result is opaque. Returns false for anything that is not a
// decodable JPEG or whose size exceeds the picture limits; never throws except
// std::bad_alloc from the target. A file of several scans is read up to the scan
// limits above; the picture then shows what the scans read hold.
// scansRead, when given, receives how far the scans were read.
bool decodeJpeg(ByteSpan data, PixelTarget& target, JpegScans* scansRead = nullptr);

// decodeJpeg turned upright for an EXIF orientation (1..8, anything else as 1): the same
// pixels, placed as orientPicture places them. The rows are decoded in strips and each
// strip is turned into the target at once, so the picture is never held twice.
bool decodeJpegUpright(ByteSpan data, int orientation, PixelTarget& target);

// True when the data starts like a JPEG (SOI marker followed by a marker).
bool looksLikeJpeg(ByteSpan data);

} // namespace schauplatz
