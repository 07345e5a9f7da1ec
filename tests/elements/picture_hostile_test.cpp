// Damaged and hostile files: lying headers, sizes beyond the limits, short
// data, bad checksums, and a seeded mutation sweep over every decoder. Each
// ends in a picture or an empty picture, without allocating for sizes the
// file cannot back.

#include "elements/PictureFiles.h"
#include "elements/codecs/BmpCodec.h"
#include "elements/codecs/IconCodec.h"
#include "elements/codecs/JpegCodec.h"
#include "elements/codecs/PngCodec.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <png.h>
#include <random>
#include <zlib.h>

namespace schauplatz::picture_test {
namespace {

BmpBuilder header24(std::int32_t width, std::int32_t height) {
    BmpBuilder bmp;
    bmp.width = width;
    bmp.height = height;
    bmp.pixels = Bytes(64, 0x55);
    return bmp;
}

TEST(PictureLimits, SidesAndPixelCount) {
    EXPECT_TRUE(pictureSizeAllowed(1, 1));
    EXPECT_TRUE(pictureSizeAllowed(65535, 4096));
    EXPECT_TRUE(pictureSizeAllowed(16384, 16384)); // exactly 2^28 pixels
    EXPECT_FALSE(pictureSizeAllowed(16385, 16384));
    EXPECT_FALSE(pictureSizeAllowed(65536, 1));
    EXPECT_FALSE(pictureSizeAllowed(1, 65536));
    EXPECT_FALSE(pictureSizeAllowed(0, 5));
    EXPECT_FALSE(pictureSizeAllowed(-1, -1));
    EXPECT_FALSE(pictureSizeAllowed(65535, 65535));
}

TEST(HostileBitmap, ImpossibleSizesAreRefusedBeforeAllocating) {
    const std::vector<std::pair<std::int32_t, std::int32_t>> sizes = {
        {0x7FFFFFFF, 0x7FFFFFFF},
        {-0x7FFFFFFF - 1, 1},
        {1, -0x7FFFFFFF - 1},
        {65536, 1},
        {16385, 16384},
        {100, 100000},
        {0, 10},
        {10, 0},
        {16384, 16384}, // allowed size, but the file holds 64 bytes of pixels
    };
    for (const auto& [width, height] : sizes) {
        for (std::uint16_t bits : {8, 24, 32}) {
            BmpBuilder bmp = header24(width, height);
            bmp.bitsPerPixel = bits;
            CountingTarget target;
            EXPECT_FALSE(decodeBmpFile(bmp.file(), target)) << width << " x " << height;
            EXPECT_EQ(target.allocations, 0) << width << " x " << height << " at " << bits;
        }
    }
}

TEST(HostileBitmap, LyingHeaderFieldsGiveAnEmptyPicture) {
    ScratchFolder folder;
    auto emptyAfterReading = [&](const Bytes& bytes, const std::string& what) {
        const ReadResult result = readPictureFile(folder.write("hostile.bmp", bytes));
        EXPECT_EQ(result.width, 0) << what;
        EXPECT_EQ(result.height, 0) << what;
    };
    BmpBuilder good;
    good.width = 4;
    good.height = 4;
    good.bitsPerPixel = 32;
    good.pixels = Bytes(64, 0x7F);
    ASSERT_EQ(readPictureFile(folder.write("good.bmp", good.file())).width, 4);

    Bytes shortPixels = good.file();
    shortPixels.pop_back();
    emptyAfterReading(shortPixels, "one pixel byte missing");

    for (std::uint32_t headerSize : {0u, 11u, 13u, 41u * 1000, 0xFFFFFFFFu}) {
        Bytes bytes = good.file();
        put32(bytes, 14, headerSize);
        emptyAfterReading(bytes, "header size " + std::to_string(headerSize));
    }
    Bytes farOffset = good.file();
    put32(farOffset, 10, 0xFFFFFFF0);
    // An impossible offset falls back to the pixels after the header: still read.
    EXPECT_EQ(readPictureFile(folder.write("far.bmp", farOffset)).width, 4);

    for (std::uint32_t compression : {4u, 5u, 7u, 0xFFFFFFFFu}) {
        Bytes bytes = good.file();
        put32(bytes, 30, compression);
        emptyAfterReading(bytes, "compression " + std::to_string(compression));
    }
    for (std::uint16_t bits : {0, 2, 7, 33, 64}) {
        Bytes bytes = good.file();
        put16(bytes, 28, bits);
        emptyAfterReading(bytes, "bits " + std::to_string(bits));
    }
    BmpBuilder rleTopDown;
    rleTopDown.width = 2;
    rleTopDown.height = -2;
    rleTopDown.bitsPerPixel = 8;
    rleTopDown.compression = 1;
    rleTopDown.pixels = {0x02, 0x00, 0x00, 0x01};
    emptyAfterReading(rleTopDown.file(), "top-down RLE");

    emptyAfterReading(Bytes{'B', 'M'}, "file header only");
    Bytes headerOnly = good.file();
    headerOnly.resize(30);
    emptyAfterReading(headerOnly, "information header cut");
}

TEST(HostileBitmap, RunsAndDeltasBeyondThePictureStayInside) {
    BmpBuilder bmp;
    bmp.width = 2;
    bmp.height = 2;
    bmp.bitsPerPixel = 8;
    bmp.compression = 1;
    bmp.coloursUsed = 2;
    bmp.palette = {0x000000, 0xFFFFFF};
    // 255-pixel run, a literal beyond the row, a delta far outside, then more data.
    bmp.pixels = {0xFF, 0x01, 0x00, 0x00, 0x00, 0x04, 0x01, 0x01, 0x01,
                  0x01, 0x00, 0x02, 0xFF, 0xFF, 0x05, 0x01, 0x00, 0x01};
    CountingTarget target;
    ASSERT_TRUE(decodeBmpFile(bmp.file(), target));
    EXPECT_TRUE(samePicture(target, 2, 2, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
}

// A PNG chunk with its CRC.
Bytes chunk(const char* type, const Bytes& data) {
    Bytes out(4, 0);
    const auto length = static_cast<std::uint32_t>(data.size());
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(type[i]));
    for (std::uint8_t byte : data)
        out.push_back(byte);
    const uLong crc =
        crc32(crc32(0, nullptr, 0), out.data() + 4, static_cast<uInt>(data.size() + 4));
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(crc >> (24 - 8 * i)));
    return out;
}

Bytes pngWithHeader(std::uint32_t width, std::uint32_t height) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    for (std::uint32_t v : {width, height}) {
        for (int i = 0; i < 4; ++i)
            ihdr.push_back(static_cast<std::uint8_t>(v >> (24 - 8 * i)));
    }
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    const Bytes header = chunk("IHDR", ihdr);
    out.insert(out.end(), header.begin(), header.end());
    Bytes compressed(64);
    uLongf size = compressed.size();
    const Bytes row(1 + 3, 0);
    compress(compressed.data(), &size, row.data(), row.size());
    compressed.resize(size);
    const Bytes data = chunk("IDAT", compressed);
    out.insert(out.end(), data.begin(), data.end());
    const Bytes end = chunk("IEND", {});
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

TEST(HostilePng, OversizedHeadersAreRefusedBeforeAllocating) {
    CountingTarget target;
    ASSERT_FALSE(decodePng(pngWithHeader(1, 1), target, PngAlpha::OverWhite) &&
                 target.allocations == 0);
    for (const auto& [width, height] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
             {70000, 1}, {1, 70000}, {65535, 65535}, {0x7FFFFFFF, 0x7FFFFFFF}}) {
        CountingTarget refused;
        EXPECT_FALSE(decodePng(pngWithHeader(width, height), refused, PngAlpha::OverWhite));
        EXPECT_EQ(refused.allocations, 0) << width << " x " << height;
    }
}

TEST(HostilePng, BadChecksumsAndTruncationGiveAnEmptyPicture) {
    PngBuilder png;
    png.width = 4;
    png.height = 4;
    png.colourType = PNG_COLOR_TYPE_RGB;
    png.rows.assign(4, Bytes(12, 0x42));
    const Bytes good = png.encode();
    ScratchFolder folder;
    ASSERT_EQ(readPictureFile(folder.write("good.png", good)).width, 4);

    // Flip the last byte of each chunk's CRC in turn: IHDR, IDAT (IEND's CRC is not checked
    // once the picture is complete, which the library tolerates as a warning).
    std::size_t at = 8;
    int critical = 0;
    while (at + 12 <= good.size()) {
        const std::uint32_t length =
            (good[at] << 24) | (good[at + 1] << 16) | (good[at + 2] << 8) | good[at + 3];
        const std::string type(good.begin() + static_cast<std::ptrdiff_t>(at + 4),
                               good.begin() + static_cast<std::ptrdiff_t>(at + 8));
        Bytes damaged = good;
        damaged[at + 8 + length + 3] ^= 0x5A;
        if (type == "IHDR" || type == "IDAT") {
            ++critical;
            EXPECT_EQ(readPictureFile(folder.write("crc.png", damaged)).width, 0) << type;
        }
        at += 12 + length;
    }
    EXPECT_EQ(critical, 2);

    for (std::size_t cut : {std::size_t{7}, std::size_t{20}, good.size() / 2, good.size() - 13}) {
        const Bytes truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(readPictureFile(folder.write("cut.png", truncated)).width, 0) << cut;
    }
}

// Seeded mutations of valid files of every format: each decoder must end in
// true or false without touching memory it does not own (run under the
// address sanitizer to see it), and never return a size beyond the limits.
TEST(HostileFiles, MutationSweepOverEveryDecoder) {
    BmpBuilder bmp8;
    bmp8.width = 7;
    bmp8.height = 5;
    bmp8.bitsPerPixel = 8;
    bmp8.coloursUsed = 4;
    bmp8.palette = {1, 2, 3, 4};
    bmp8.pixels = Bytes(8 * 5, 2);
    BmpBuilder rle = bmp8;
    rle.compression = 1;
    rle.pixels = {0x03, 0x01, 0x00, 0x03, 0x02, 0x03, 0x02, 0x00, 0x00,
                  0x00, 0x00, 0x02, 0x02, 0x01, 0x04, 0x03, 0x00, 0x01};
    BmpBuilder rle4 = rle;
    rle4.bitsPerPixel = 4;
    rle4.compression = 2;
    BmpBuilder bits16;
    bits16.width = 3;
    bits16.height = 3;
    bits16.bitsPerPixel = 16;
    bits16.compression = 3;
    bits16.masks = {0xF800, 0x07E0, 0x001F};
    bits16.pixels = Bytes(8 * 3, 0xA5);
    PngBuilder png;
    png.width = 6;
    png.height = 5;
    png.colourType = PNG_COLOR_TYPE_PALETTE;
    png.bitDepth = 4;
    png.interlaced = true;
    png.palette = {0xFF0000, 0x00FF00, 0x0000FF};
    png.transparency = {0, 128};
    png.rows.assign(5, Bytes{0x01, 0x20, 0x12});
    Bytes greyJpegSamples(16 * 16);
    for (std::size_t i = 0; i < greyJpegSamples.size(); ++i)
        greyJpegSamples[i] = static_cast<std::uint8_t>(i);
    const Bytes jpeg = encodeJpeg(JpegKind::Grey, 16, 16, greyJpegSamples);
    Bytes cmykSamples(8 * 8 * 4, 0x33);
    const Bytes cmyk = encodeJpeg(JpegKind::Cmyk, 8, 8, cmykSamples);
    BmpBuilder iconDib = bmp8;
    iconDib.height = 10;
    iconDib.pixels.resize(8 * 5 + 4 * 5, 0);
    const Bytes icon = buildIcon({{iconDib.dib(), 7, 5, 8}, {png.encode(), 6, 5, 4}});

    struct Sample {
        const char* name;
        Bytes bytes;
    };
    const std::vector<Sample> samplesList = {{"bmp8", bmp8.file()}, {"rle8", rle.file()},
                                             {"rle4", rle4.file()}, {"bits16", bits16.file()},
                                             {"png", png.encode()}, {"jpeg", jpeg},
                                             {"cmyk", cmyk},        {"icon", icon}};
    // PICTURE_FUZZ_SEED and PICTURE_FUZZ_ROUNDS allow longer sweeps by hand.
    const char* seedText = std::getenv("PICTURE_FUZZ_SEED");
    const char* roundsText = std::getenv("PICTURE_FUZZ_ROUNDS");
    const unsigned seed =
        seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 20261209u;
    const int rounds = roundsText ? std::atoi(roundsText) : 400;
    std::mt19937 random(seed);
    int decoded = 0;
    for (const Sample& s : samplesList) {
        for (int round = 0; round < rounds; ++round) {
            Bytes bytes = s.bytes;
            const int flips = 1 + static_cast<int>(random() % 6);
            for (int i = 0; i < flips; ++i) {
                const std::size_t at = random() % bytes.size();
                bytes[at] = (random() % 4 == 0) ? 0xFF : static_cast<std::uint8_t>(random());
            }
            if (random() % 3 == 0) bytes.resize(random() % bytes.size());
            for (int decoder = 0; decoder < 4; ++decoder) {
                DecodedPicture target;
                bool ok = false;
                switch (decoder) {
                case 0:
                    ok = decodeBmpFile(bytes, target);
                    break;
                case 1:
                    ok = decodePng(bytes, target, PngAlpha::OverWhite);
                    break;
                case 2:
                    ok = decodeJpeg(bytes, target);
                    break;
                case 3:
                    ok = decodeIcon(bytes, target);
                    break;
                }
                if (ok) {
                    ++decoded;
                    ASSERT_TRUE(pictureSizeAllowed(target.width, target.height))
                        << s.name << " round " << round << " seed " << seed;
                    ASSERT_EQ(target.pixels.size(),
                              static_cast<std::size_t>(target.width) * target.height);
                }
            }
        }
    }
    // Many mutations leave a decodable file: the sweep reaches the pixel loops.
    EXPECT_GT(decoded, 500) << "seed " << seed;
}

} // namespace
} // namespace schauplatz::picture_test
