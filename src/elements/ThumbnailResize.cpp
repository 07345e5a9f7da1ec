// Area-averaging resampling for thumbnails.
//
// Coordinates are scaled so that both grids are integral: along one axis a
// source pixel i spans [i * dst, (i + 1) * dst) and a target pixel x spans
// [x * src, (x + 1) * src). A target pixel's value is the sum of the source
// pixels it overlaps, each weighted by the overlap length; the weights of one
// target pixel add up to src, so a 2D pixel's add up to srcW * srcH.
//
//   3 source pixels to 2 target pixels (each source pixel 2 units, each target 3):
//   source  |--0--|--1--|--2--|
//   target  |---0----|---1----|      target 0 = (2 * p0 + 1 * p1) / 3
//
// Colours are summed as alpha * colour (and alpha on its own) so that a fully
// transparent pixel contributes nothing to its neighbours' colour. Sizes stay
// within the picture limits (65535 per side, 2^28 pixels), so the row sums fit
// 32 bits (65535 * 255 * 255 < 2^32) and the 2D sums 64 bits.

#include "elements/Thumbnail.h"

#include <algorithm>

namespace schauplatz {
namespace {

// The source pixels one target pixel overlaps and their weights.
struct Taps {
    std::vector<std::int32_t> first;    // per target pixel: first source index
    std::vector<std::int32_t> count;    // per target pixel: number of source pixels
    std::vector<std::uint32_t> weights; // all target pixels' weights, in order
    std::vector<std::size_t> offset;    // per target pixel: index into weights
};

Taps makeTaps(std::int32_t src, std::int32_t dst) {
    Taps taps;
    taps.first.resize(static_cast<std::size_t>(dst));
    taps.count.resize(static_cast<std::size_t>(dst));
    taps.offset.resize(static_cast<std::size_t>(dst));
    const std::int64_t s = src, d = dst;
    for (std::int64_t x = 0; x < d; ++x) {
        const std::int64_t begin = x * s, end = (x + 1) * s;
        const std::int64_t firstSource = begin / d, lastSource = (end - 1) / d;
        taps.first[static_cast<std::size_t>(x)] = static_cast<std::int32_t>(firstSource);
        taps.count[static_cast<std::size_t>(x)] =
            static_cast<std::int32_t>(lastSource - firstSource + 1);
        taps.offset[static_cast<std::size_t>(x)] = taps.weights.size();
        for (std::int64_t i = firstSource; i <= lastSource; ++i) {
            const std::int64_t lo = std::max(i * d, begin), hi = std::min((i + 1) * d, end);
            taps.weights.push_back(static_cast<std::uint32_t>(hi - lo));
        }
    }
    return taps;
}

// One source row reduced horizontally: per target column alpha, then
// alpha-weighted red, green, blue.
void reduceRow(const TColor32* row, const Taps& taps, std::int32_t dstWidth, std::uint32_t* sums) {
    for (std::int32_t x = 0; x < dstWidth; ++x) {
        const auto ux = static_cast<std::size_t>(x);
        const TColor32* source = row + taps.first[ux];
        const std::uint32_t* weight = taps.weights.data() + taps.offset[ux];
        std::uint32_t a = 0, r = 0, g = 0, b = 0;
        for (std::int32_t k = 0; k < taps.count[ux]; ++k) {
            const TColor32 c = source[k];
            const std::uint32_t wa = weight[k] * (c >> 24);
            a += wa;
            r += wa * ((c >> 16) & 0xFF);
            g += wa * ((c >> 8) & 0xFF);
            b += wa * (c & 0xFF);
        }
        std::uint32_t* out = sums + 4 * ux;
        out[0] = a;
        out[1] = r;
        out[2] = g;
        out[3] = b;
    }
}

std::uint32_t divideRounded(std::uint64_t num, std::uint64_t den) {
    return static_cast<std::uint32_t>((2 * num + den) / (2 * den));
}

} // namespace

ThumbnailPicture AreaAverageResize(const TColor32* source, PictureSize sourceSize,
                                   PictureSize target) {
    ThumbnailPicture result;
    if (!source || !pictureSizeAllowed(sourceSize.Width, sourceSize.Height) ||
        !pictureSizeAllowed(target.Width, target.Height))
        return result;
    const Taps columns = makeTaps(sourceSize.Width, target.Width);
    const auto dstW = static_cast<std::size_t>(target.Width);
    const auto dstH = static_cast<std::size_t>(target.Height);
    const std::int64_t srcH = sourceSize.Height, tgtH = target.Height;

    // Source rows are reduced one at a time and added to every target row
    // they overlap, so no intermediate picture of source height is kept.
    std::vector<std::uint64_t> sums(dstW * dstH * 4, 0);
    std::vector<std::uint32_t> rowSums(dstW * 4);
    for (std::int64_t y = 0; y < srcH; ++y) {
        reduceRow(source + static_cast<std::size_t>(y) * static_cast<std::size_t>(sourceSize.Width),
                  columns, target.Width, rowSums.data());
        const std::int64_t begin = y * tgtH, end = (y + 1) * tgtH;
        for (std::int64_t r = begin / srcH; r <= (end - 1) / srcH; ++r) {
            const std::uint64_t weight = static_cast<std::uint64_t>(std::min((r + 1) * srcH, end) -
                                                                    std::max(r * srcH, begin));
            std::uint64_t* out = sums.data() + static_cast<std::size_t>(r) * dstW * 4;
            for (std::size_t i = 0; i < dstW * 4; ++i)
                out[i] += weight * rowSums[i];
        }
    }

    const std::uint64_t area = static_cast<std::uint64_t>(sourceSize.Width) *
                               static_cast<std::uint64_t>(sourceSize.Height);
    result.Width = target.Width;
    result.Height = target.Height;
    result.Pixels.resize(dstW * dstH);
    for (std::size_t i = 0; i < dstW * dstH; ++i) {
        const std::uint64_t* s = sums.data() + 4 * i;
        if (s[0] == 0) {
            result.Pixels[i] = 0;
            continue;
        }
        result.Pixels[i] = Color32(divideRounded(s[1], s[0]), divideRounded(s[2], s[0]),
                                   divideRounded(s[3], s[0]), divideRounded(s[0], area));
    }
    return result;
}

} // namespace schauplatz
