#pragma once

// Metafile pictures: enhanced metafiles (".emf") and Windows metafiles
// (".wmf", with or without the placeable header) played by our own player.

#include "elements/codecs/PixelTarget.h"

namespace schauplatz {

enum class MetafileKind { Enhanced, Windows };

// How a playing went: Records played, and whether it stopped before the file's end because
// its drawing work ran out of budget or it reached the record limit (MetafileCanvas.h).
struct MetafilePlay {
    std::uint64_t Records = 0;
    bool Stopped = false;
};

// Plays the metafile onto a picture of its own size (the frame at 96 dots per
// inch; a Windows metafile without placeable header takes the bounding box of
// its drawing) filled with Background. Unknown records are skipped; a record
// that lies about its size ends the playing with what is drawn so far, and so
// does a file whose drawing work exceeds the budget. False only when the file
// has no usable header or size. play, when given, tells how the playing went.
bool playMetafile(ByteSpan data, MetafileKind kind, TColor32 background, DecodedPicture& out,
                  MetafilePlay* play = nullptr);

// The picture of a metafile with transparency: played once on opaque white and
// once on opaque red; pixels equal in both are opaque, the others get alpha 0,
// colours from the white playing.
bool decodeMetafile(ByteSpan data, MetafileKind kind, PixelTarget& target);

} // namespace schauplatz
