#pragma once

// The two record readers behind playMetafile; each plays a whole file onto a
// canvas of the file's own size.

#include "elements/codecs/PixelTarget.h"
#include "elements/metafile/Metafile.h"
#include "elements/metafile/MetafileCanvas.h"

namespace schauplatz::metafile {

// A metafile is drawn twice (on white and on red) and both drawings are held at once, so its
// picture is capped well below the other readers' limit: 2^25 pixels (e.g. 8192 x 4096).
inline constexpr std::int64_t kMaxMetafilePixels = std::int64_t{1} << 25;
constexpr bool metafileSizeAllowed(std::int64_t width, std::int64_t height) {
    return pictureSizeAllowed(width, height) && width * height <= kMaxMetafilePixels;
}

bool playEnhanced(ByteSpan data, TColor32 background, DecodedPicture& out, MetafilePlay& play);
bool playWindows(ByteSpan data, TColor32 background, DecodedPicture& out, MetafilePlay& play);

// A device-independent bitmap (information header, colours, pixels) given as
// its two parts, decoded top-down; false when its headers do not hold.
bool decodeDib(ByteSpan info, ByteSpan bits, DecodedPicture& out);
// The same for a bitmap record of a canvas: the decoding is drawing work (the canvas's budget
// pays for it first), and a DIB larger than a metafile's own picture may be (2^25 pixels) is
// not decoded at all.
bool decodeDibFor(MetafileCanvas& canvas, ByteSpan info, ByteSpan bits, DecodedPicture& out);
// True when the DIB's rows are stored top row first (negative height).
bool dibTopDown(ByteSpan info);

// The picture's size from a length in 0.01 mm (nearest pixel at 96 dpi).
std::int64_t hundredthsMmToPixels(double value);

// windows-1252 bytes as Unicode; a byte the code page leaves undefined shows as '?'.
std::u32string decodeAnsi(ByteSpan bytes);

} // namespace schauplatz::metafile
