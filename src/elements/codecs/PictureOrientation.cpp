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
// (6, 7). A strip of rows fills a run of adjacent pixels in every upright row, so the
// writes stay within a few cache lines per row.
void placeColumns(const TColor32* rows, Index width, Index height, Index firstRow, Index count,
                  int orientation, TColor32* upright) {
    const bool rowsReversed = orientation == 7 || orientation == 8;
    const bool columnsReversed = orientation == 6 || orientation == 7;
    const Index uprightWidth = height;
    for (Index x = 0; x < width; ++x) {
        const Index uprightRow = rowsReversed ? width - 1 - x : x;
        TColor32* target = upright + uprightRow * uprightWidth;
        if (columnsReversed) {
            TColor32* out = target + (height - 1 - firstRow);
            for (Index i = 0; i < count; ++i)
                *(out - i) = rows[i * width + x];
        } else {
            TColor32* out = target + firstRow;
            for (Index i = 0; i < count; ++i)
                out[i] = rows[i * width + x];
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
    // Strips of 16 rows keep the column writes local for any strip the caller hands in.
    constexpr std::int32_t kStrip = 16;
    for (std::int32_t done = 0; done < rowCount; done += kStrip) {
        const std::int32_t count = std::min(kStrip, rowCount - done);
        placeColumns(rows + static_cast<Index>(done) * width, width, height, firstRow + done, count,
                     orientation, upright);
    }
}

} // namespace schauplatz
