#include "elements/codecs/PictureOrientation.h"

#include "elements/codecs/ExifOrientation.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

namespace schauplatz {
namespace {

using Index = std::ptrdiff_t;

// The turn takes the rows in strips of at most this many (the decoder's strip): each upright
// row then takes 256 bytes at a visit, so a large picture's pages are visited a quarter as
// often as with 16 rows.
constexpr Index kStripRows = 64;

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
// each upright row (a page of its own in a large picture) is touched once per strip.
struct ColumnTurn {
    const TColor32* rows;
    Index width, height, firstRow, count;
    bool rowsReversed, columnsReversed;
    TColor32* upright;

    // Where the strip's run lands in the upright row of source column x.
    TColor32* runOf(Index x) const {
        TColor32* target = upright + (rowsReversed ? width - 1 - x : x) * height;
        return target + (columnsReversed ? height - firstRow - count : firstRow);
    }
    void placeColumn(Index x) const {
        TColor32* out = runOf(x);
        const TColor32* source = rows + x;
        for (Index i = 0; i < count; ++i)
            out[columnsReversed ? count - 1 - i : i] = source[i * width];
    }
};

#if defined(__SSE2__)
// Four columns of the strip turned four by four in registers into runs kept in the cache,
// then written out. A run whose place is aligned goes out with streaming stores: the upright
// rows are far apart and are not read again soon, so fetching their lines first (a cached
// store does) would double the memory traffic of the turn.
void placeFourColumns(const ColumnTurn& turn, Index x) {
    alignas(16) TColor32 runs[4][kStripRows];
    const Index count = turn.count, quadRows = count & ~Index{3};
    const TColor32* source = turn.rows + x;
    for (Index i = 0; i < quadRows; i += 4) {
        const auto row = [&](Index k) {
            return _mm_castsi128_ps(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + (i + k) * turn.width)));
        };
        __m128 r0 = row(0), r1 = row(1), r2 = row(2), r3 = row(3);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        const __m128 columns[4] = {r0, r1, r2, r3};
        for (int k = 0; k < 4; ++k) {
            __m128i column = _mm_castps_si128(columns[k]);
            Index at = i;
            if (turn.columnsReversed) {
                column = _mm_shuffle_epi32(column, _MM_SHUFFLE(0, 1, 2, 3));
                at = count - 4 - i;
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(&runs[k][at]), column);
        }
    }
    for (Index i = quadRows; i < count; ++i)
        for (int k = 0; k < 4; ++k)
            runs[k][turn.columnsReversed ? count - 1 - i : i] = source[i * turn.width + k];
    for (int k = 0; k < 4; ++k) {
        TColor32* out = turn.runOf(x + k);
        if (reinterpret_cast<std::uintptr_t>(out) % 16 == 0 && count % 4 == 0) {
            for (Index i = 0; i < count; i += 4)
                _mm_stream_si128(reinterpret_cast<__m128i*>(out + i),
                                 _mm_load_si128(reinterpret_cast<const __m128i*>(&runs[k][i])));
        } else {
            std::copy(runs[k], runs[k] + count, out);
        }
    }
}
#endif

void placeColumns(const TColor32* rows, Index width, Index height, Index firstRow, Index count,
                  int orientation, TColor32* upright) {
    const ColumnTurn turn{rows,
                          width,
                          height,
                          firstRow,
                          count,
                          orientation == 7 || orientation == 8,
                          orientation == 6 || orientation == 7,
                          upright};
    Index x = 0;
#if defined(__SSE2__)
    for (; x + 4 <= width; x += 4)
        placeFourColumns(turn, x);
    _mm_sfence(); // the streamed runs are seen before the picture is handed on
#endif
    for (; x < width; ++x)
        turn.placeColumn(x);
}

} // namespace

void orientRows(const TColor32* rows, std::int32_t width, std::int32_t height,
                std::int32_t firstRow, std::int32_t rowCount, int orientation, TColor32* upright) {
    if (width <= 0 || height <= 0 || rowCount <= 0) return;
    if (!orientationSwapsSides(orientation)) {
        placeRows(rows, width, height, firstRow, rowCount, orientation, upright);
        return;
    }
    for (std::int32_t done = 0; done < rowCount; done += kStripRows) {
        const std::int32_t count = std::min(static_cast<std::int32_t>(kStripRows), rowCount - done);
        placeColumns(rows + static_cast<Index>(done) * width, width, height, firstRow + done, count,
                     orientation, upright);
    }
}

} // namespace schauplatz
