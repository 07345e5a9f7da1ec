#include "metafile_writer.h"

#include <gtest/gtest.h>

#include <random>

namespace schauplatz {
namespace {

using namespace testing_metafile;

constexpr TColor32 kWhite = 0xFFFFFFFFu;
constexpr TColor32 kBlue = 0xFF0000FFu;

EmfWriter blueBrush(int size = 24) {
    EmfWriter emf(size, size);
    emf.brush(1, 0, 0xFF0000).select(1).select(0x80000008);
    return emf;
}

TEST(MetafileHostile, RecordThatLiesAboutItsSizeEndsThePlayingWithWhatIsDrawn) {
    for (std::uint32_t lie : {0xFFFFFFF0u, 4u, 10u, 0u}) {
        EmfWriter emf = blueBrush();
        emf.rectangle(0, 0, 5, 5);
        Bytes file = emf.finish();
        // A record whose size field lies, then a rectangle that must not be drawn.
        Bytes tail;
        put32(tail, 43);
        put32(tail, lie);
        for (int v : {10, 10, 20, 20})
            put32(tail, static_cast<std::uint32_t>(v));
        file.insert(file.end() - 20, tail.begin(), tail.end());
        const DecodedPicture p = play(file, MetafileKind::Enhanced);
        ASSERT_EQ(p.width, 24) << lie;
        EXPECT_EQ(p.at(2, 2), kBlue) << lie;
        EXPECT_EQ(p.at(15, 15), kWhite) << lie;
    }
}

TEST(MetafileHostile, UnknownRecordsAndNestedMetafilesAreSkipped) {
    EmfWriter emf = blueBrush();
    emf.record(0x12345, {1, 2, 3}).record(200, {});
    // A comment carrying a whole metafile with a huge frame: never played.
    const Bytes inner = EmfWriter(24000, 24000).rectangle(0, 0, 24000, 24000).finish();
    Bytes comment;
    put32(comment, static_cast<std::uint32_t>(inner.size()));
    comment.insert(comment.end(), inner.begin(), inner.end());
    emf.raw(70, comment);
    emf.rectangle(2, 2, 6, 6);
    const DecodedPicture p = play(emf.finish(), MetafileKind::Enhanced);
    ASSERT_EQ(p.width, 24);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
            EXPECT_EQ(p.at(x, y), (x >= 2 && x < 5 && y >= 2 && y < 5) ? kBlue : kWhite);
        }
    }
}

TEST(MetafileHostile, CountsThatOverflowOrExceedTheRecordAreSkipped) {
    EmfWriter emf = blueBrush();
    emf.bounded(3, {0x40000000, 1, 1, 9, 1, 9, 9});       // Polygon, count * 8 wraps in 32 bits
    emf.bounded(8, {0x7FFFFFFF, 4, 4, 0, 0, 9, 0, 9, 9}); // PolyPolygon, absurd polygon count
    emf.bounded(8, {2, 4, 3, 3, 0, 0, 9, 0, 9, 9, 0, 9}); // counts add up beyond the total
    Bytes text(16, 0);                                    // ExtTextOutW, string far outside
    for (std::uint32_t v : {1u, 0u, 0u, 0u, 0u, 0x7FFFFFFFu, 0xFFFFFF00u, 0u, 0u, 0u, 0u, 0u, 0u}) {
        put32(text, v);
    }
    emf.raw(84, text);
    emf.rectangle(12, 12, 20, 20); // still drawn afterwards
    const DecodedPicture p = play(emf.finish(), MetafileKind::Enhanced);
    ASSERT_EQ(p.width, 24);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
            EXPECT_EQ(p.at(x, y), (x >= 12 && x < 19 && y >= 12 && y < 19) ? kBlue : kWhite);
        }
    }
}

TEST(MetafileHostile, ObjectIndicesOutOfRangeAndUnbalancedStatesChangeNothing) {
    EmfWriter emf = blueBrush();
    emf.pen(0, 0, 9, 0x0000FF).pen(0x7FFFFFFF, 0, 9, 0x0000FF).brush(5000, 0, 0);
    emf.select(0x7FFFFFFF).select(77).select(0x80000063).record(40, {-1}).record(40, {1});
    emf.record(34, {-5}).record(34, {3}).record(34, {0x7FFFFFFF}).record(34, {INT32_MIN});
    for (int i = 0; i < 10000; ++i)
        emf.record(33, {});
    emf.rectangle(2, 2, 10, 10); // the brush was deleted from the table but stays selected
    const DecodedPicture p = play(emf.finish(), MetafileKind::Enhanced);
    ASSERT_EQ(p.width, 24);
    EXPECT_EQ(p.at(5, 5), kBlue);
    EXPECT_EQ(p.at(15, 15), kWhite);
}

TEST(MetafileHostile, CoordinatesInTheBillionsAreClippedToThePicture) {
    EmfWriter emf = blueBrush();
    emf.rectangle(-2000000000, -2000000000, 2000000000, 12);
    emf.pen(2, 0, 2000000000, 0x000000).select(2);
    emf.record(27, {-2000000000, 20}).record(54, {2000000000, 20});
    emf.record(42, {-2000000000, -2000000000, 2000000000, 2000000000});
    emf.xform(35, 1e30f, 0, 0, 1e30f, 0, 0);
    emf.rectangle(1, 1, 2, 2);
    emf.bounded(2, {4, 0, 0, 2000000000, 5, -2000000000, 7, 3, 3});
    const DecodedPicture p = play(emf.finish(), MetafileKind::Enhanced);
    ASSERT_EQ(p.width, 24);
    EXPECT_NE(p.at(0, 0), kWhite);
}

TEST(MetafileHostile, FramesBeyondThePictureLimitsGiveNoPicture) {
    Bytes file = EmfWriter(24, 24).finish();
    put32(file, 0); // nothing: a well-formed header is replaced below
    Bytes huge = EmfWriter(24, 24).finish();
    // Frame right: 65536 pixels' worth; frame bottom: 2^28 pixels at width 24 are fine, more not.
    const std::uint32_t wide = 65536u * 2540u / 96u + 100u;
    for (int i = 0; i < 4; ++i)
        huge[32 + i] = static_cast<std::uint8_t>(wide >> (8 * i));
    EXPECT_EQ(play(huge, MetafileKind::Enhanced).width, 0);
    Bytes negative = EmfWriter(24, 24).finish();
    for (int i = 0; i < 4; ++i)
        negative[32 + i] = 0xFF; // frame right -1, bounds 0..23 take over
    EXPECT_EQ(play(negative, MetafileKind::Enhanced).width, 24);
}

TEST(MetafileHostile, BitmapsWhoseHeadersLieAreSkipped) {
    EmfWriter emf = blueBrush();
    Bytes body(16, 0);
    for (std::int32_t v : {0, 0, 0, 0, 4, 4})
        put32(body, static_cast<std::uint32_t>(v));
    const std::uint32_t offBmi = 8 + 16 + 24 + 32;
    for (std::uint32_t v : {offBmi, 40u, offBmi + 40, 16u, 0u, 0x00CC0020u, 24u, 24u})
        put32(body, v);
    for (std::uint32_t v : {40u, 60000u, 60000u})
        put32(body, v); // 60000 x 60000 in 16 bytes
    put16(body, 1);
    put16(body, 24);
    for (int i = 0; i < 6; ++i)
        put32(body, 0);
    for (int i = 0; i < 16; ++i)
        body.push_back(0);
    emf.raw(81, body);
    Bytes outside = body; // offsets past the record's end
    for (int i = 0; i < 4; ++i)
        outside[16 + 32 + i] = 0xF0;
    emf.raw(81, outside);
    emf.rectangle(0, 0, 5, 5);
    const DecodedPicture p = play(emf.finish(), MetafileKind::Enhanced);
    ASSERT_EQ(p.width, 24);
    EXPECT_EQ(p.at(2, 2), kBlue);
    EXPECT_EQ(p.at(20, 20), kWhite);
}

TEST(MetafileHostile, WmfRecordsThatLieAndTruncatedFiles) {
    WmfWriter wmf;
    wmf.record(0x02FC, {0, 0, 0, 0}).record(0x012D, {0}).record(0x041B, {6, 6, 1, 1});
    wmf.record(0x0538, {0xFFFF, 5});    // PolyPolygon: 65535 polygons announced
    wmf.record(0x0324, {0x7FFF, 1, 1}); // Polygon: too many points
    wmf.record(0x0521, {0x7FFF, 0});    // TextOut: string beyond the record
    wmf.record(0x0F43, {0x20, 0xCC, 0, 2, 2, 0, 0, 4, 4, 4, 1, 40, 0}); // DIB cut short
    wmf.record(0x012D, {0xFFFF}).record(0x01F0, {0xFFFF});
    Bytes file = wmf.finish(true, 0, 0, 12, 12, 96);
    const DecodedPicture p = play(file, MetafileKind::Windows);
    ASSERT_EQ(p.width, 12);
    EXPECT_EQ(p.at(3, 3), 0xFF000000u);
    // Every shorter prefix of both kinds plays or is refused, never read past its end.
    const Bytes emf = blueBrush().rectangle(1, 1, 9, 9).finish();
    for (std::size_t n = 0; n < file.size(); ++n) {
        play(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)),
             MetafileKind::Windows);
    }
    for (std::size_t n = 0; n < emf.size(); ++n) {
        const DecodedPicture q =
            play(Bytes(emf.begin(), emf.begin() + static_cast<std::ptrdiff_t>(n)),
                 MetafileKind::Enhanced);
        EXPECT_TRUE(q.width == 0 || q.width == 24) << n;
    }
}

TEST(MetafileHostile, RandomMutationsNeverBreakThePlayer) {
    EmfWriter rich = blueBrush();
    rich.pen(2, 0, 3, 0x0000FF).select(2).rectangle(1, 1, 9, 9).record(42, {3, 3, 20, 20});
    rich.record(59, {}).record(27, {1, 1}).record(54, {20, 5}).record(60, {}).bounded(63, {});
    rich.xform(35, 0.5f, 0.2f, -0.2f, 0.5f, 3, 3).bounded(2, {4, 0, 0, 10, 30, 20, -5, 23, 23});
    const Bytes emf = rich.finish();
    WmfWriter w;
    w.record(0x02FC, {2, 0xFF, 0, 3}).record(0x012D, {0}).record(0x0418, {20, 20, 2, 2});
    w.record(0x0817, {2, 2, 20, 20, 20, 20, 2, 2});
    const Bytes wmf = w.finish(false);
    const unsigned seed = 4242;
    std::mt19937 random(seed);
    for (int round = 0; round < 800; ++round) {
        const bool enhanced = round % 2 == 0;
        Bytes file = enhanced ? emf : wmf;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            file[random() % file.size()] = static_cast<std::uint8_t>(random());
        }
        const DecodedPicture p =
            play(file, enhanced ? MetafileKind::Enhanced : MetafileKind::Windows);
        ASSERT_EQ(p.pixels.size(),
                  static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height))
            << "seed " << seed << " round " << round;
    }
}

} // namespace
} // namespace schauplatz
