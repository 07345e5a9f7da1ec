#pragma once

// What the two players share: the loop over a file's records, the objects their records
// describe alike, the points of 16-bit records and the bitmap records' last steps.

#include "elements/codecs/BmpCodec.h"
#include "elements/metafile/Metafile.h"
#include "elements/metafile/MetafileCanvas.h"

namespace schauplatz::metafile {

// A colour as records store it (red in the low byte; the top byte is ignored).
TColor32 recordColor(std::uint32_t value);
// A pen of a record's style (5 is the null pen; other bits of style are ignored).
Pen recordPen(std::uint32_t style, double width, TColor32 color);
// A brush of a record's style: 0 solid, 1 null, 2 hatched; patterns get a mid grey.
Brush recordBrush(std::uint32_t style, TColor32 color, std::uint32_t hatch);
// What pattern brushes are drawn with: a mid grey stands in for the pattern.
Brush patternBrush();

// Count points of two signed 16-bit coordinates from Offset; empty when they do not fit.
std::vector<FillPoint> readPoints16(const ByteReader& r, std::uint64_t offset, std::uint64_t count);

// The two rectangles of a bitmap record: the source in bitmap pixels, the destination in
// logical units, and the raster operation.
struct BlitRecord {
    std::int32_t xSrc = 0, ySrc = 0, cxSrc = 0, cySrc = 0;
    double xDest = 0, yDest = 0, cxDest = 0, cyDest = 0;
    std::uint32_t rop = 0;
};

// A bitmap record without a bitmap: BLACKNESS and WHITENESS fill the destination with their
// colour, every other operation with the brush.
void fillWithoutSource(MetafileCanvas& canvas, const BlitRecord& blit);
// Draws the decoded bitmap's source rectangle onto the destination; RowsFromBottom: the
// record counts its source rows from the bottom (of a bottom-up DIB).
void drawBlit(MetafileCanvas& canvas, const DecodedPicture& bitmap, const BlitRecord& blit,
              bool rowsFromBottom);

// How a format frames its records.
enum class RecordFraming {
    Enhanced, // 32-bit type, then 32-bit size in bytes (a multiple of 4, at least 8)
    Windows,  // 32-bit size in 16-bit words (at least 3), then 16-bit function number
};

// Plays the records from Offset on, each through Play (bool(const ByteReader& record,
// std::uint32_t type), false ending the playing), until the end of the data, a record that
// does not fit, the record limit or the end of the canvas's drawing budget.
template <class Play>
MetafilePlay playRecords(ByteSpan data, std::uint64_t offset, RecordFraming framing,
                         MetafileCanvas& canvas, Play&& play) {
    const bool enhanced = framing == RecordFraming::Enhanced;
    const std::uint64_t head = enhanced ? 8 : 6;
    const ByteReader file(data);
    MetafilePlay done;
    try {
        while (file.has(offset, head)) {
            const std::uint32_t type = enhanced ? file.u32(offset) : file.u16(offset + 4);
            const std::uint64_t size = enhanced ? std::uint64_t{file.u32(offset + 4)}
                                                : std::uint64_t{file.u32(offset)} * 2;
            if (size < head || size % (enhanced ? 4 : 2) != 0 || !file.has(offset, size)) break;
            if (done.Records == kMaxMetafileRecords) {
                done.Stopped = true;
                break;
            }
            const ByteReader record(
                data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size)));
            canvas.chargeWork(kRecordWork);
            ++done.Records;
            if (!play(record, type)) break;
            offset += size;
        }
    } catch (const DrawingBudgetExhausted&) {
        // The drawing so far stays; the rest of the file would cost more than it may.
        done.Stopped = true;
    }
    return done;
}

// Hands the canvas's drawing over as the picture.
void takePicture(MetafileCanvas& canvas, DecodedPicture& out);

} // namespace schauplatz::metafile
