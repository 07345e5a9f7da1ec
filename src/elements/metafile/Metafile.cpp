#include "elements/metafile/Metafile.h"

#include "elements/metafile/MetafilePlayers.h"

#include <utility>

#include <algorithm>
#include <cstring>

namespace schauplatz {

bool playMetafile(ByteSpan data, MetafileKind kind, TColor32 background, DecodedPicture& out,
                  MetafilePlay* play) {
    MetafilePlay ignored;
    try {
        return kind == MetafileKind::Enhanced
                   ? metafile::playEnhanced(data, background, out, play ? *play : ignored)
                   : metafile::playWindows(data, background, out, play ? *play : ignored);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool decodeMetafile(ByteSpan data, MetafileKind kind, PixelTarget& target) {
    DecodedPicture white;
    DecodedPicture red;
    if (!playMetafile(data, kind, 0xFFFFFFFFu, white)) return false;
    if (!playMetafile(data, kind, 0xFFFF0000u, red)) return false;
    if (white.width != red.width || white.height != red.height) return false;
    if (!metafile::metafileSizeAllowed(white.width, white.height)) return false;
    TColor32* pixels = target.allocate(white.width, white.height);
    const std::size_t count = white.pixels.size();
    for (std::size_t i = 0; i < count; ++i) {
        const TColor32 w = white.pixels[i];
        pixels[i] = w == red.pixels[i] ? (w | 0xFF000000u) : (w & 0x00FFFFFFu);
    }
    return true;
}

} // namespace schauplatz
