#pragma once

// Hostile inputs made on the spot, small files that cost their readers a lot: progressive
// JPEGs with thousands of scans or a lying frame size, metafiles of huge drawing work and
// archives whose record file is enormous. Shared by the tests and the measuring driver
// (bench/hostile_inputs.cpp), so both attack with the same files.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace schauplatz::hostile {

using Bytes = std::vector<std::uint8_t>;

// A progressive JPEG of width x height (a colour gradient), its last scan repeated until the
// file has `scans` scans. The repeats are legal markers with bogus progression, which the
// decoder accepts with a warning and decodes one by one.
Bytes progressiveJpeg(int width, int height, int scans);
// The same bytes with the frame header claiming another size (the data then run short).
Bytes withDeclaredSize(Bytes jpeg, int width, int height);
// The first `scans` scans of a JPEG, then its end marker.
Bytes firstScans(const Bytes& jpeg, int scans);
int scanCount(const Bytes& jpeg);

// Enhanced metafiles of width x height pixels (at most 8192 x 4096, the largest a metafile may
// be), each starting with a small blue square at (0, 0)-(8, 8) and ending with a small
// green one at (16, 0)-(24, 8):
struct EmfSize {
    int width = 8192;
    int height = 4096;
};
// `count` StretchDIBits of an RLE8 DIB declaring 4096 x 8192 pixels (about 1.1 KB each),
Bytes emfHugeRleBlits(int count, EmfSize size = {});
// `count` ellipses covering the whole picture,
Bytes emfHugeEllipses(int count, EmfSize size = {});
// `records` text records of `glyphs` characters at an em size of `pixels`,
Bytes emfLongText(int records, int glyphs, int pixels, EmfSize size = {});
// one polyline of `points` points zigzagging across the picture with a pen `width` wide.
Bytes emfWidePolyline(int points, int width, EmfSize size = {});

// A PNG whose header claims width x height and whose pixel data end after the first row:
// a decoder allocates the picture, then fails.
Bytes pngWithoutPixels(std::uint32_t width, std::uint32_t height);
// An icon of `entries` directory entries that all name one such PNG of 4096 x 4096.
Bytes iconOfFailingEntries(int entries);
// A PNG with `texts` compressed text chunks put in after its header, each inflating to
// 16 MiB (about 16 KB each in the file).
Bytes pngWithCompressedTexts(const Bytes& png, int texts);

// A zip archive (deflated entries, names as given) written to path.
void writeArchive(const std::string& path,
                  const std::vector<std::pair<std::string, std::string>>& entries);

} // namespace schauplatz::hostile
