#include "elements/codecs/PictureOrientation.h"

#include "elements/codecs/ExifOrientation.h"

#include <algorithm>
#include <cstddef>

namespace schauplatz {
namespace {

using Index = std::ptrdiff_t;

// Orientations 1 to 4 keep rows as rows: each source row lands whole, maybe reversed.
void placeRows(const TColor32* rows, Index width, Index height, Index firstRow, Index count,
               int orientation, TColor32* upright) {
    const bool reverse = orientation == 2 || orientation == 3;
    const bool flip = orientation == 3 || orientation == 4;
    for (Index i = 0; i < count; ++i) {
        const TColor32* source = rows + i * width;
        const Index y = firstRow + i;
        TColor32* target = upright + (flip ? height - 1 - y : y) * width;
        if (reverse)
            std::reverse_copy(source, source + width, target);
        else
            std::copy(source, source + width, target);
    }
}

// Orientations 5 to 8 turn rows into columns. Source column x becomes upright row x (5, 6)
// or width - 1 - x (7, 8); source row y becomes upright column y (5, 8) or height - 1 - y
// (6, 7). The rows of the strip land as one run of adjacent pixels in every upright row, so
// each upright row (a page of its own in a large picture) is touched once per strip; the
// columns are taken in blocks so that the strip's rows stay in the cache meanwhile.
void placeColumns(const TColor32* rows, Index width, Index height, Index firstRow, Index count,
                  int orientation, TColor32* upright) {
    constexpr Index kColumnBlock = 32;
    const bool rowsReversed = orientation == 7 || orientation == 8;
    const bool columnsReversed = orientation == 6 || orientation == 7;
    const Index uprightWidth = height;
    for (Index x0 = 0; x0 < width; x0 += kColumnBlock) {
        const Index x1 = std::min(width, x0 + kColumnBlock);
        for (Index x = x0; x < x1; ++x) {
            TColor32* target = upright + (rowsReversed ? width - 1 - x : x) * uprightWidth;
            const TColor32* source = rows + x;
            if (columnsReversed) {
                TColor32* out = target + (height - firstRow - count);
                for (Index i = 0; i < count; ++i)
                    out[count - 1 - i] = source[i * width];
            } else {
                TColor32* out = target + firstRow;
                for (Index i = 0; i < count; ++i)
                    out[i] = source[i * width];
            }
        }
    }
}

} // namespace

void orientRows(const TColor32* rows, std::int32_t width, std::int32_t height,
                std::int32_t firstRow, std::int32_t rowCount, int orientation, TColor32* upright) {
    if (width <= 0 || height <= 0 || rowCount <= 0) return;
    if (!orientationSwapsSides(orientation)) {
        placeRows(rows, width, height, firstRow, rowCount, orientation, upright);
        return;
    }
    // Strips of up to 64 rows (the decoder's strip): each upright row then takes 256 bytes at
    // a visit, so a large picture's pages are visited a quarter as often as with 16 rows
    // (measured: 1.1-1.15 x the plain decode instead of 1.55-1.65 x for a 12 MP photo).
    constexpr std::int32_t kStrip = 64;
    for (std::int32_t done = 0; done < rowCount; done += kStrip) {
        const std::int32_t count = std::min(kStrip, rowCount - done);
        placeColumns(rows + static_cast<Index>(done) * width, width, height, firstRow + done, count,
                     orientation, upright);
    }
}

} // namespace schauplatz
