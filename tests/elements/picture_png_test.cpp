// PNG files of every colour type and bit depth: transparency composited over
// white, 16-bit samples keeping their high byte, no gamma.

#include "elements/PictureFiles.h"
#include "elements/codecs/PngCodec.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <png.h>

namespace schauplatz::picture_test {
namespace {

struct Rgba {
    std::uint32_t r, g, b, a;
};

// The test's own reference: over white in floating point, then rounded.
TColor32 overWhite(Rgba c) {
    auto mix = [&](std::uint32_t v) {
        return static_cast<std::uint32_t>(std::lround((v * c.a + 255.0 * (255 - c.a)) / 255.0));
    };
    return 0xFF000000u | (mix(c.r) << 16) | (mix(c.g) << 8) | mix(c.b);
}

// A deterministic sample for pixel (x, y), channel ch, of `bits` bits.
std::uint32_t sample(int x, int y, int ch, int bits) {
    const std::uint32_t v = static_cast<std::uint32_t>(x * 37 + y * 101 + ch * 53 + x * y * 7);
    return bits == 16 ? (v * 977u) & 0xFFFF : v & ((1u << bits) - 1);
}

// Packs samples of one row as PNG stores them (MSB first, 16-bit big-endian).
Bytes packRow(const std::vector<std::uint32_t>& samples, int bits) {
    Bytes row;
    if (bits >= 8) {
        for (std::uint32_t s : samples) {
            if (bits == 16) row.push_back(static_cast<std::uint8_t>(s >> 8));
            row.push_back(static_cast<std::uint8_t>(s));
        }
        return row;
    }
    int used = 8;
    for (std::uint32_t s : samples) {
        if (used == 8) {
            row.push_back(0);
            used = 0;
        }
        row.back() |= static_cast<std::uint8_t>(s << (8 - bits - used));
        used += bits;
    }
    return row;
}

// An 8-bit value from a sample: grey of fewer bits is scaled to full range, 16 bits keep the high
// byte.
std::uint32_t to8(std::uint32_t s, int bits) {
    if (bits == 16) return s >> 8;
    return s * 255 / ((1u << bits) - 1);
}

struct Case {
    int colourType;
    int bitDepth;
    bool interlaced = false;
};

class PngColourTypes : public ::testing::TestWithParam<Case> {};

TEST_P(PngColourTypes, ComeOutOverWhite) {
    const Case c = GetParam();
    const int width = 9, height = 7;
    const int channels = c.colourType == PNG_COLOR_TYPE_RGB          ? 3
                         : c.colourType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                         : c.colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                     : 1;
    PngBuilder png;
    png.width = width;
    png.height = height;
    png.colourType = c.colourType;
    png.bitDepth = c.bitDepth;
    png.interlaced = c.interlaced;
    if (c.colourType == PNG_COLOR_TYPE_PALETTE) {
        const int entries = 1 << c.bitDepth;
        for (int i = 0; i < entries; ++i)
            png.palette.push_back((i * 0x3A5F17u) & 0xFFFFFF);
        // Fewer alpha entries than colours: the rest are opaque.
        for (int i = 0; i < entries - 1 && i < 5; ++i)
            png.transparency.push_back(i * 60);
    }
    std::vector<TColor32> expected;
    for (int y = 0; y < height; ++y) {
        std::vector<std::uint32_t> samples;
        for (int x = 0; x < width; ++x) {
            Rgba colour{};
            std::vector<std::uint32_t> s;
            for (int ch = 0; ch < channels; ++ch)
                s.push_back(sample(x, y, ch, c.bitDepth));
            samples.insert(samples.end(), s.begin(), s.end());
            switch (c.colourType) {
            case PNG_COLOR_TYPE_GRAY: {
                const std::uint32_t v = to8(s[0], c.bitDepth);
                colour = {v, v, v, 255};
                break;
            }
            case PNG_COLOR_TYPE_GRAY_ALPHA: {
                const std::uint32_t v = to8(s[0], c.bitDepth);
                colour = {v, v, v, to8(s[1], c.bitDepth)};
                break;
            }
            case PNG_COLOR_TYPE_RGB:
                colour = {to8(s[0], c.bitDepth), to8(s[1], c.bitDepth), to8(s[2], c.bitDepth), 255};
                break;
            case PNG_COLOR_TYPE_RGB_ALPHA:
                colour = {to8(s[0], c.bitDepth), to8(s[1], c.bitDepth), to8(s[2], c.bitDepth),
                          to8(s[3], c.bitDepth)};
                break;
            case PNG_COLOR_TYPE_PALETTE: {
                const std::uint32_t entry = png.palette[s[0]];
                const std::uint32_t alpha =
                    s[0] < png.transparency.size() ? png.transparency[s[0]] : 255;
                colour = {entry >> 16, (entry >> 8) & 0xFF, entry & 0xFF, alpha};
                break;
            }
            }
            expected.push_back(overWhite(colour));
        }
        png.rows.push_back(packRow(samples, c.bitDepth));
    }
    ScratchFolder folder;
    const std::string path = folder.write("picture.png", png.encode());
    EXPECT_TRUE(samePicture(readPictureFile(path), width, height, expected))
        << "colour type " << c.colourType << ", " << c.bitDepth << " bits"
        << (c.interlaced ? ", interlaced" : "");
}

INSTANTIATE_TEST_SUITE_P(
    EveryTypeAndDepth, PngColourTypes,
    ::testing::Values(Case{PNG_COLOR_TYPE_GRAY, 1}, Case{PNG_COLOR_TYPE_GRAY, 2},
                      Case{PNG_COLOR_TYPE_GRAY, 4}, Case{PNG_COLOR_TYPE_GRAY, 8},
                      Case{PNG_COLOR_TYPE_GRAY, 16}, Case{PNG_COLOR_TYPE_GRAY_ALPHA, 8},
                      Case{PNG_COLOR_TYPE_GRAY_ALPHA, 16}, Case{PNG_COLOR_TYPE_RGB, 8},
                      Case{PNG_COLOR_TYPE_RGB, 16}, Case{PNG_COLOR_TYPE_RGB_ALPHA, 8},
                      Case{PNG_COLOR_TYPE_RGB_ALPHA, 16}, Case{PNG_COLOR_TYPE_PALETTE, 1},
                      Case{PNG_COLOR_TYPE_PALETTE, 2}, Case{PNG_COLOR_TYPE_PALETTE, 4},
                      Case{PNG_COLOR_TYPE_PALETTE, 8}, Case{PNG_COLOR_TYPE_RGB_ALPHA, 8, true},
                      Case{PNG_COLOR_TYPE_PALETTE, 4, true}, Case{PNG_COLOR_TYPE_GRAY, 16, true}));

TEST(PngRead, TransparentColourKeysBecomeWhite) {
    ScratchFolder folder;
    PngBuilder grey;
    grey.width = 3;
    grey.height = 1;
    grey.colourType = PNG_COLOR_TYPE_GRAY;
    grey.rows = {{10, 20, 10}};
    grey.transparentColour = {10};
    EXPECT_TRUE(samePicture(readPictureFile(folder.write("grey.png", grey.encode())), 3, 1,
                            {0xFFFFFFFF, 0xFF141414, 0xFFFFFFFF}));

    PngBuilder rgb;
    rgb.width = 2;
    rgb.height = 1;
    rgb.colourType = PNG_COLOR_TYPE_RGB;
    rgb.rows = {{1, 2, 3, 4, 5, 6}};
    rgb.transparentColour = {4, 5, 6};
    EXPECT_TRUE(samePicture(readPictureFile(folder.write("rgb.png", rgb.encode())), 2, 1,
                            {0xFF010203, 0xFFFFFFFF}));
}

TEST(PngRead, GammaIsNotApplied) {
    PngBuilder png;
    png.width = 2;
    png.height = 1;
    png.colourType = PNG_COLOR_TYPE_RGB;
    png.rows = {{0x40, 0x80, 0xC0, 0x10, 0x20, 0x30}};
    png.gamma = 1.0; // a linear file: a gamma-correcting reader would change mid-tones
    ScratchFolder folder;
    EXPECT_TRUE(samePicture(readPictureFile(folder.write("gamma.png", png.encode())), 2, 1,
                            {0xFF4080C0, 0xFF102030}));
}

TEST(PngRead, CompositingFormulaIsExactForEveryChannelAndAlpha) {
    for (std::uint32_t a = 0; a < 256; ++a) {
        for (std::uint32_t v = 0; v < 256; ++v) {
            const TColor32 input = (a << 24) | (v << 16) | (v << 8) | (255 - v);
            ASSERT_EQ(compositeOverWhite(input), overWhite({v, v, 255 - v, a}))
                << "channel " << v << ", alpha " << a;
        }
    }
}

TEST(PngRead, PictureCompositingMatchesThePixelFormulaAtEveryLength) {
    // Every (alpha, channel) pair, with the three channels different, at odd offsets
    // and lengths so that vector and scalar parts both run.
    std::vector<TColor32> input;
    for (std::uint32_t a = 0; a < 256; ++a) {
        for (std::uint32_t v = 0; v < 256; ++v) {
            input.push_back((a << 24) | (v << 16) | (((v * 7) & 0xFF) << 8) | (255 - v));
        }
    }
    for (std::size_t start : {0u, 1u, 3u}) {
        for (std::size_t length :
             {input.size() - 3, std::size_t{0}, std::size_t{1}, std::size_t{7}}) {
            std::vector<TColor32> pixels = input;
            compositeOverWhite(pixels.data() + start, length);
            for (std::size_t i = 0; i < pixels.size(); ++i) {
                const bool inside = i >= start && i < start + length;
                ASSERT_EQ(pixels[i], inside ? compositeOverWhite(input[i]) : input[i])
                    << "index " << i << ", start " << start << ", length " << length;
            }
        }
    }
}

} // namespace
} // namespace schauplatz::picture_test
