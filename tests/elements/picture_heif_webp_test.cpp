// HEIC/HEIF, AVIF and WebP read as their libraries decode them: with and without alpha,
// lossy and lossless, upright by the file's own rotation, refused before allocation when too
// large, and with a clear reason when damaged or when libheif has no decoder for them.

#include "new_format_fixtures.h"

#include "elements/codecs/ExifOrientation.h"
#include "elements/codecs/HeifCodec.h"
#include "elements/codecs/PictureOrientation.h"
#include "elements/codecs/PictureReasons.h"
#include "elements/codecs/WebpCodec.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>

namespace schauplatz::picture_test {
namespace {

// Replaces every occurrence of a four-character code (box types, item types) in a file.
Bytes replaceFourCc(Bytes file, const char* from, const char* to) {
    for (std::size_t i = 0; i + 4 <= file.size(); ++i) {
        if (std::memcmp(file.data() + i, from, 4) == 0) std::memcpy(file.data() + i, to, 4);
    }
    return file;
}

// Sets the width and height of the first image spatial extents property ("ispe").
Bytes withDeclaredSize(Bytes file, std::uint32_t width, std::uint32_t height) {
    static constexpr char kIspe[] = "ispe";
    const auto at = std::search(file.begin(), file.end(), kIspe, kIspe + 4);
    if (at == file.end()) throw std::runtime_error("no ispe box");
    const std::size_t body = static_cast<std::size_t>(at - file.begin()) + 4 + 4; // + version/flags
    for (int i = 0; i < 4; ++i) {
        file[body + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
        file[body + 4 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
    }
    return file;
}

void expectLikeTheLibrary(const Bytes& file, const RgbaPicture& reference, bool heif) {
    CountingTarget decoded;
    std::string reason;
    ASSERT_TRUE(heif ? decodeHeif(file, decoded, &reason) : decodeWebp(file, decoded, &reason))
        << reason;
    EXPECT_EQ(decoded.allocations, 1);
    EXPECT_TRUE(samePicture(decoded, reference.width, reference.height, reference.colours()));
}

TEST(HeifReading, HeicWithAndWithoutAlphaAsLibheifDecodesIt) {
    for (const bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "with alpha" : "opaque");
        const RgbaPicture source = gradientPicture(40, 24, alpha);
        const Bytes file = encodeHeif(source, HeifCoding::Hevc, alpha);
        ASSERT_TRUE(looksLikeHeif(file));
        EXPECT_EQ(heifFormatName(file), "HEIC");
        const RgbaPicture reference = referenceHeifDecode(file);
        expectLikeTheLibrary(file, reference, true);
        // The coder kept the picture close, alpha included.
        EXPECT_LE(largestDifference(reference.colours(), source.colours()), 40);
        std::int64_t w = 0, h = 0;
        ASSERT_TRUE(peekHeifSize(file, w, h));
        EXPECT_EQ(w, 40);
        EXPECT_EQ(h, 24);
    }
}

TEST(HeifReading, AvifWithAndWithoutAlphaAsLibheifDecodesIt) {
    for (const bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "with alpha" : "opaque");
        const RgbaPicture source = gradientPicture(32, 20, alpha);
        const Bytes file = encodeHeif(source, HeifCoding::Av1, alpha);
        ASSERT_TRUE(looksLikeHeif(file));
        EXPECT_EQ(heifFormatName(file), "AVIF");
        const RgbaPicture reference = referenceHeifDecode(file);
        expectLikeTheLibrary(file, reference, true);
        EXPECT_LE(largestDifference(reference.colours(), source.colours()), 40);
    }
}

TEST(HeifReading, TheFilesOwnRotationAndMirroringAreApplied) {
    // The encoder stores the picture as given and writes irot/imir that turn it the way the
    // EXIF orientation would; decoding applies them, so the picture comes out turned.
    const RgbaPicture stored = blockPicture(
        3, 2, 16, {0xFFE00000, 0xFF00E000, 0xFF0000E0, 0xFFE0E0E0, 0xFF202020, 0xFFE0E000});
    const std::vector<TColor32> storedColours = stored.colours();
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const Bytes file = encodeHeif(stored, HeifCoding::Hevc, false, orientation);
        DecodedPicture decoded;
        ASSERT_TRUE(decodeHeif(file, decoded));
        const RgbaPicture reference = referenceHeifDecode(file);
        EXPECT_TRUE(samePicture(decoded, reference.width, reference.height, reference.colours()));
        const bool swapped = orientationSwapsSides(orientation);
        ASSERT_EQ(decoded.width, swapped ? 32 : 48);
        ASSERT_EQ(decoded.height, swapped ? 48 : 32);
        std::vector<TColor32> turned(storedColours.size());
        orientPicture(storedColours.data(), 48, 32, orientation, turned.data());
        // Compare the block centres (the coder blurs the edges between blocks).
        for (int by = 0; by < decoded.height / 16; ++by) {
            for (int bx = 0; bx < decoded.width / 16; ++bx) {
                const std::size_t at = static_cast<std::size_t>(by * 16 + 8) * decoded.width +
                                       static_cast<std::size_t>(bx * 16 + 8);
                EXPECT_LE(largestDifference({decoded.pixels[at]}, {turned[at]}), 24)
                    << bx << ", " << by;
            }
        }
    }
}

TEST(HeifReading, TooLargeIsRefusedBeforeAnyAllocation) {
    // 64 x 64 is coded as it is, with one "ispe" box giving its size.
    const Bytes file = encodeHeif(gradientPicture(64, 64, false), HeifCoding::Hevc, false);
    DecodedPicture unchanged;
    ASSERT_TRUE(decodeHeif(withDeclaredSize(file, 64, 64), unchanged));
    // libheif refuses sides beyond 16384 itself; 16384 x 16385 is one row too many.
    for (const auto& [width, height] :
         {std::pair<std::uint32_t, std::uint32_t>{20000, 20000}, {70000, 16}, {16384, 16385}}) {
        CountingTarget target;
        std::string reason;
        EXPECT_FALSE(decodeHeif(withDeclaredSize(file, width, height), target, &reason));
        EXPECT_EQ(target.allocations, 0);
        EXPECT_NE(reason.find("zu groß"), std::string::npos) << reason;
    }
}

TEST(HeifReading, DamagedFilesAndMissingDecodersHaveTheirReasons) {
    const Bytes file = encodeHeif(gradientPicture(16, 16, false), HeifCoding::Hevc, false);
    std::string reason;
    CountingTarget target;
    EXPECT_FALSE(decodeHeif(Bytes(file.begin(), file.begin() + file.size() / 2), target, &reason));
    EXPECT_FALSE(reason.empty());
    for (std::size_t cut : {std::size_t{0}, std::size_t{11}, std::size_t{40}}) {
        reason.clear();
        EXPECT_FALSE(decodeHeif(ByteSpan(file.data(), cut), target, &reason)) << cut;
        EXPECT_FALSE(reason.empty());
    }
    // A coding this libheif has no decoder for (the HEVC item turned into a VVC item): the
    // same outcome as a libheif installed without its HEVC plugin.
    reason.clear();
    EXPECT_FALSE(decodeHeif(replaceFourCc(file, "hvc1", "vvc1"), target, &reason));
    EXPECT_EQ(reason, reasons::missingDecoder("HEIC")) << reason;
    EXPECT_EQ(target.allocations, 0);
    // Where the HEVC plugin really is missing, a real HEIC file says so too.
    if (!heif_have_decoder_for_format(heif_compression_HEVC)) {
        reason.clear();
        EXPECT_FALSE(decodeHeif(file, target, &reason));
        EXPECT_EQ(reason, reasons::missingDecoder("HEIC"));
    }
}

TEST(WebpReading, LossyLosslessAndAlphaAsLibwebpDecodesThem) {
    for (const WebpKind kind : {WebpKind::Lossy, WebpKind::Lossless}) {
        for (const bool alpha : {false, true}) {
            SCOPED_TRACE(std::string(kind == WebpKind::Lossy ? "lossy" : "lossless") +
                         (alpha ? " with alpha" : ""));
            const RgbaPicture source = gradientPicture(37, 23, alpha);
            const Bytes file = encodeWebp(source, kind, alpha);
            ASSERT_TRUE(looksLikeWebp(file));
            const RgbaPicture reference = referenceWebpDecode(file);
            expectLikeTheLibrary(file, reference, false);
            if (kind == WebpKind::Lossless) {
                // Lossless keeps every visible pixel; clear ones may lose their colour.
                const auto got = reference.colours(), want = source.colours();
                for (std::size_t i = 0; i < want.size(); ++i) {
                    if ((want[i] >> 24) != 0) {
                        ASSERT_EQ(got[i], want[i]) << i;
                    }
                }
            }
        }
    }
}

// A WebP file of nothing but an extended header (VP8X) announcing a canvas.
Bytes extendedHeader(std::uint32_t width, std::uint32_t height, std::uint8_t flags) {
    Bytes file;
    for (const char c : std::string("RIFF\0\0\0\0WEBPVP8X", 16))
        file.push_back(static_cast<std::uint8_t>(c));
    for (const std::uint32_t v : {10u, static_cast<std::uint32_t>(flags)})
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    for (const std::uint32_t v : {width - 1, height - 1})
        for (int i = 0; i < 3; ++i)
            file.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    put32(file, 4, static_cast<std::uint32_t>(file.size() - 8));
    return file;
}

TEST(WebpReading, TooLargeAnimatedAndDamagedHaveTheirReasons) {
    CountingTarget target;
    std::string reason;
    EXPECT_FALSE(decodeWebp(extendedHeader(70000, 20, 0), target, &reason));
    EXPECT_EQ(reason, reasons::tooLarge(70000, 20));
    EXPECT_EQ(target.allocations, 0);
    reason.clear();
    EXPECT_FALSE(decodeWebp(extendedHeader(32, 32, 0x02), target, &reason));
    EXPECT_EQ(reason, reasons::animatedWebp());

    const Bytes file = encodeWebp(gradientPicture(20, 20, false), WebpKind::Lossy, false);
    reason.clear();
    EXPECT_FALSE(decodeWebp(Bytes(file.begin(), file.begin() + file.size() - 20), target, &reason));
    EXPECT_EQ(reason, reasons::damaged());
    EXPECT_FALSE(decodeWebp(Bytes{'R', 'I', 'F', 'F'}, target, &reason));
}

} // namespace
} // namespace schauplatz::picture_test

namespace schauplatz::picture_test {
namespace {

Bytes regression(const std::string& name) {
    return readBytes(std::string(SCHAUPLATZ_TEST_DATA) + "/../../fuzz/regressions/" + name);
}

// Found by fuzzing: a 40 x 24 HEIC whose HEVC bitstream announces 53380 x 16445 pixels. libheif
// checks only the sides, so with sides up to 65535 allowed it allocated gigabytes; with 16384
// per side the picture is refused first.
TEST(HeifFuzzRegression, BitstreamLargerThanItsBoxesIsRefusedNotAllocated) {
    const Bytes file = regression("picture_heif-oom-1b2d1d5a.heic");
    ASSERT_EQ(file.size(), 1035u);
    CountingTarget target;
    std::string reason;
    EXPECT_FALSE(decodeHeif(file, target, &reason));
    EXPECT_EQ(target.allocations, 0);
    EXPECT_EQ(reason, reasons::tooLarge(0, 0, 16384));
}

// Found by fuzzing: a damaged AVIF that dav1d fails on (dav1d then keeps 40 bytes, see
// sanitizers/lsan.supp); the outcome is a clean refusal.
TEST(HeifFuzzRegression, DamagedAvifIsRefused) {
    CountingTarget target;
    std::string reason;
    EXPECT_FALSE(decodeHeif(regression("picture_heif-leak-82954447.avif"), target, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(target.allocations, 0);
}

} // namespace
} // namespace schauplatz::picture_test
