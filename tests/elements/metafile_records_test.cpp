// The players' record dispatch: the handler table, records cut down to their head, and
// the two formats drawing alike where they describe the same thing.

#include "metafile_writer.h"

#include "elements/metafile/MetafileRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace schauplatz {
namespace {

using namespace testing_metafile;
using metafile::EmfRecord;
using metafile::WmfRecord;

enum class Sample : std::uint32_t { A = 3, B = 7, C = 8, D = 40, E = 41, F = 1000 };
using SampleHandler = int (*)();
using SampleEntry = metafile::RecordEntry<Sample, SampleHandler>;

constexpr int a() {
    return 1;
}
constexpr int b() {
    return 2;
}
constexpr int c() {
    return 3;
}
constexpr int d() {
    return 4;
}
constexpr int e() {
    return 5;
}
constexpr int f() {
    return 6;
}

std::uint32_t seed() {
    const char* chosen = std::getenv("SCHAUPLATZ_TEST_SEED");
    return chosen ? static_cast<std::uint32_t>(std::strtoul(chosen, nullptr, 10)) : 20261210u;
}

TEST(MetafileRecordTable, FindsEachHandlerWhateverTheOrderOfTheList) {
    const std::uint32_t s = seed();
    std::mt19937 random(s);
    SampleEntry entries[] = {{Sample::A, a}, {Sample::B, b}, {Sample::C, c},
                             {Sample::D, d}, {Sample::E, e}, {Sample::F, f}};
    for (int round = 0; round < 50; ++round) {
        std::shuffle(std::begin(entries), std::end(entries), random);
        const auto table = metafile::makeRecordTable(entries);
        ASSERT_TRUE(table.unique()) << "seed " << s;
        for (const SampleEntry& entry : entries) {
            const SampleHandler found = table.find(static_cast<std::uint32_t>(entry.type));
            ASSERT_NE(found, nullptr) << "seed " << s;
            EXPECT_EQ(found(), entry.handler()) << "seed " << s;
        }
        for (std::uint32_t other : {0u, 1u, 2u, 4u, 9u, 39u, 42u, 999u, 1001u, 0xFFFFFFFFu})
            EXPECT_EQ(table.find(other), nullptr) << other << ", seed " << s;
    }
}

TEST(MetafileRecordTable, NoticesATypeListedTwice) {
    constexpr SampleEntry twice[] = {{Sample::D, d}, {Sample::A, a}, {Sample::D, e}};
    static_assert(!metafile::makeRecordTable(twice).unique());
    constexpr SampleEntry once[] = {{Sample::D, d}, {Sample::A, a}, {Sample::E, e}};
    static_assert(metafile::makeRecordTable(once).unique());
    static_assert(metafile::makeRecordTable(once).find(40) == d);
    SUCCEED();
}

MetafilePlay played(const Bytes& file, MetafileKind kind) {
    DecodedPicture picture;
    MetafilePlay play;
    EXPECT_TRUE(playMetafile(file, kind, 0xFFFFFFFFu, picture, &play));
    return play;
}

// A record of every type with nothing but its head: fields it would read are missing (and
// read as 0). Only the end-of-file record stops; all others let the records after them play.
TEST(MetafileRecordDispatch, EnhancedRecordsCutToTheirHeadDoNotStopThePlaying) {
    for (std::uint32_t type = 0; type < 256; ++type) {
        EmfWriter emf(24, 24);
        emf.raw(type, {}).rectangle(2, 2, 20, 20);
        const MetafilePlay play = played(emf.finish(), MetafileKind::Enhanced);
        // The bare record, the rectangle and the end of the file.
        const std::uint64_t expected = type == static_cast<std::uint32_t>(EmfRecord::Eof) ? 1 : 3;
        EXPECT_EQ(play.Records, expected) << "record type " << type;
        EXPECT_FALSE(play.Stopped) << "record type " << type;
    }
}

TEST(MetafileRecordDispatch, WindowsRecordsCutToTheirHeadDoNotStopThePlaying) {
    for (std::uint32_t function = 0; function < 0x10000; ++function) {
        WmfWriter wmf;
        wmf.raw(static_cast<std::uint16_t>(function), {}).record(0x041B, {20, 20, 2, 2});
        const MetafilePlay play = played(wmf.finish(true, 0, 0, 24, 24), MetafileKind::Windows);
        const std::uint64_t expected =
            function == static_cast<std::uint32_t>(WmfRecord::Eof) ? 1 : 3;
        ASSERT_EQ(play.Records, expected) << "function " << function;
        ASSERT_FALSE(play.Stopped) << "function " << function;
    }
}

std::string firstDifference(const DecodedPicture& x, const DecodedPicture& y) {
    if (x.width != y.width || x.height != y.height) {
        return "sizes " + std::to_string(x.width) + " x " + std::to_string(x.height) + " and " +
               std::to_string(y.width) + " x " + std::to_string(y.height);
    }
    for (int row = 0; row < x.height; ++row) {
        for (int col = 0; col < x.width; ++col) {
            if (x.at(col, row) != y.at(col, row)) {
                char text[96];
                std::snprintf(text, sizeof text, "(%d, %d): %08X and %08X", col, row,
                              x.at(col, row), y.at(col, row));
                return text;
            }
        }
    }
    return {};
}

// The colours as records store them (blue in the high byte).
constexpr std::uint32_t kPlatformRed = 0x0000FF, kPlatformGreen = 0x00FF00;

// Pen and brush records of one style draw the same shapes in both formats: solid, hatched and
// null brushes, a null pen and a wide pen.
TEST(MetafileRecordDispatch, PensAndBrushesOfBothFormatsDrawAlike) {
    struct Case {
        std::uint32_t penStyle;
        std::int32_t penWidth;
        std::uint32_t brushStyle;
        std::uint32_t hatch;
    };
    const Case cases[] = {{0, 1, 0, 0}, {5, 1, 0, 0}, {0, 3, 1, 0}, {0, 1, 2, 4},
                          {0, 1, 2, 5}, {5, 0, 2, 0}, {0, 1, 3, 0}, {5, 1, 7, 0}};
    for (const Case& k : cases) {
        EmfWriter emf(48, 48);
        emf.pen(1, k.penStyle, k.penWidth, kPlatformRed)
            .brush(2, k.brushStyle, kPlatformGreen, k.hatch)
            .select(1)
            .select(2)
            .rectangle(4, 6, 40, 30)
            .record(static_cast<std::uint32_t>(EmfRecord::Ellipse), {10, 20, 44, 46});
        WmfWriter wmf;
        wmf.record(0x02FA, {static_cast<std::int32_t>(k.penStyle), k.penWidth, 0,
                            static_cast<std::int32_t>(kPlatformRed), 0})
            .record(0x02FC, {static_cast<std::int32_t>(k.brushStyle),
                             static_cast<std::int32_t>(kPlatformGreen), 0,
                             static_cast<std::int32_t>(k.hatch)})
            .record(0x012D, {0})
            .record(0x012D, {1})
            .record(0x041B, {30, 40, 6, 4})
            .record(0x0418, {46, 44, 20, 10});
        const DecodedPicture enhanced = play(emf.finish(), MetafileKind::Enhanced);
        const DecodedPicture windows = play(wmf.finish(true, 0, 0, 48, 48), MetafileKind::Windows);
        ASSERT_EQ(enhanced.width, 48);
        EXPECT_EQ(firstDifference(enhanced, windows), "")
            << "pen " << k.penStyle << " brush " << k.brushStyle << " hatch " << k.hatch;
        // Inside the rectangle, clear of the ellipse: the brush (patterns: a mid grey).
        if (k.brushStyle != 2) {
            const TColor32 inside = k.brushStyle == 0   ? 0xFF00FF00u
                                    : k.brushStyle == 1 ? 0xFFFFFFFFu
                                                        : 0xFF808080u;
            EXPECT_EQ(enhanced.at(8, 10), inside) << "brush " << k.brushStyle;
        }
        // The rectangle's top edge: the pen, or nothing for the null pen.
        if (k.brushStyle == 1) {
            EXPECT_EQ(enhanced.at(20, 6), k.penStyle == 5 ? 0xFFFFFFFFu : 0xFFFF0000u)
                << "pen " << k.penStyle;
        }
    }
}

// Bitmap records without a bitmap: BLACKNESS and WHITENESS fill with their colour and leave
// the brush as it was for the next shape; other operations fill with the brush.
TEST(MetafileRecordDispatch, BlitsWithoutBitmapFillAlikeInBothFormats) {
    for (std::uint32_t rop : {0x00000042u, 0x00FF0062u, 0x00F00021u}) {
        EmfWriter emf(48, 48);
        emf.brush(1, 0, kPlatformGreen).select(1);
        // BitBlt(x 2, y 4, 20 x 30), its source and transform zero, no bitmap.
        std::vector<std::int32_t> fields{2, 4, 20, 30, static_cast<std::int32_t>(rop)};
        fields.resize(24, 0);
        emf.bounded(static_cast<std::uint32_t>(EmfRecord::BitBlt), fields).rectangle(26, 4, 44, 40);
        WmfWriter wmf;
        wmf.record(0x02FC, {0, static_cast<std::int32_t>(kPlatformGreen), 0, 0})
            .record(0x012D, {0});
        // DIBBitBlt without bitmap: rop, source y and x, a spare word, destination.
        wmf.record(0x0940, {static_cast<std::int32_t>(rop & 0xFFFF),
                            static_cast<std::int32_t>(rop >> 16), 0, 0, 0, 30, 20, 4, 2})
            .record(0x041B, {40, 44, 4, 26});
        const DecodedPicture enhanced = play(emf.finish(), MetafileKind::Enhanced);
        const DecodedPicture windows = play(wmf.finish(true, 0, 0, 48, 48), MetafileKind::Windows);
        ASSERT_EQ(enhanced.width, 48);
        EXPECT_EQ(firstDifference(enhanced, windows), "") << "rop " << rop;
        const TColor32 filled = rop == 0x42       ? 0xFF000000u
                                : rop == 0xFF0062 ? 0xFFFFFFFFu
                                                  : 0xFF00FF00u;
        EXPECT_EQ(enhanced.at(10, 20), filled) << "rop " << rop;
        EXPECT_EQ(windows.at(10, 20), filled) << "rop " << rop;
        // The rectangle after the blit still has the green brush.
        EXPECT_EQ(enhanced.at(35, 20), 0xFF00FF00u) << "rop " << rop;
        EXPECT_EQ(windows.at(35, 20), 0xFF00FF00u) << "rop " << rop;
    }
}

} // namespace
} // namespace schauplatz
