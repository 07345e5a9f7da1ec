// How the players turn the bytes of a text record into characters: windows-1252 for 8-bit text
// (with '?' where the code page has no character), UTF-16 for wide text (pairs joined, a lone
// surrogate drawn as the font's missing glyph). Each case is drawn and compared with a drawing
// of the characters it must mean.

#include "metafile_writer.h"

#include <gtest/gtest.h>

namespace schauplatz {
namespace {

using namespace testing_metafile;

::testing::AssertionResult samePicture(const DecodedPicture& a, const DecodedPicture& b) {
    if (a.width == 0 || a.width != b.width || a.height != b.height)
        return ::testing::AssertionFailure()
               << a.width << " x " << a.height << " against " << b.width << " x " << b.height;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (a.at(x, y) != b.at(x, y))
                return ::testing::AssertionFailure() << "first difference at " << x << ", " << y;
    return ::testing::AssertionSuccess();
}

// One enhanced text record (wide: UTF-16 units, else one byte each) with advances of 20 units.
DecodedPicture emfText(bool wide, const std::vector<std::uint16_t>& units) {
    EmfWriter emf(192, 48);
    emf.raw(82, emfFontBody(-20)).select(1).record(18, {1});
    Bytes text;
    for (const std::uint16_t unit : units) {
        if (wide)
            put16(text, unit);
        else
            text.push_back(static_cast<std::uint8_t>(unit));
    }
    while (text.size() % 4 != 0)
        text.push_back(0);
    Bytes body(16, 0);
    put32(body, 1);
    putF(body, 1);
    putF(body, 1);
    for (std::int32_t v : {10, 10})
        put32(body, static_cast<std::uint32_t>(v));
    const auto count = static_cast<std::uint32_t>(units.size());
    const std::uint32_t offString = 8 + 16 + 12 + 40;
    const auto offDx = static_cast<std::uint32_t>(offString + text.size());
    for (std::uint32_t v : {count, offString, 0u, 0u, 0u, 0u, 0u, offDx})
        put32(body, v);
    body.insert(body.end(), text.begin(), text.end());
    for (std::size_t i = 0; i < units.size(); ++i)
        put32(body, 20);
    emf.raw(wide ? 84 : 83, body);
    return play(emf.finish(), MetafileKind::Enhanced);
}

// One old-format TextOut of the given bytes.
DecodedPicture wmfText(const std::string& bytes) {
    WmfWriter wmf;
    wmf.raw(0x02FB, wmfFontBody(-16)).record(0x012D, {0}).record(0x0102, {1});
    Bytes body;
    put16(body, static_cast<std::uint32_t>(bytes.size()));
    for (char c : bytes)
        body.push_back(static_cast<std::uint8_t>(c));
    if (body.size() % 2 != 0) body.push_back(0);
    put16(body, 4); // y
    put16(body, 6); // x
    wmf.raw(0x0521, body);
    return play(wmf.finish(true, 0, 0, 96, 24, 96), MetafileKind::Windows);
}

TEST(MetafileTextEncoding, AnsiTextIsWindows1252WithQuestionMarksWhereItHasNoCharacter) {
    EXPECT_TRUE(samePicture(emfText(false, {0x80, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xE9}),
                            emfText(true, {0x20AC, '?', '?', '?', '?', '?', 0xE9})));
    // A control character of the same value would look different.
    EXPECT_FALSE(samePicture(emfText(true, {0x81}), emfText(true, {'?'})));
    EXPECT_TRUE(samePicture(wmfText("a\x81\x9D"), wmfText("a??")));
    EXPECT_FALSE(samePicture(wmfText("a\x80"), wmfText("a?")));
}

TEST(MetafileTextEncoding, WideTextJoinsPairsAndKeepsALoneSurrogate) {
    // Neither U+10FFFF (a pair) nor a lone surrogate has a glyph: both draw the missing glyph,
    // one character wide; U+FFFD has a glyph of its own.
    const DecodedPicture lone = emfText(true, {'A', 0xD800, 'B'});
    EXPECT_TRUE(samePicture(lone, emfText(true, {'A', 0xDBFF, 0xDFFF, 'B'})));
    EXPECT_TRUE(samePicture(lone, emfText(true, {'A', 0xDC00, 'B'})));
    EXPECT_FALSE(samePicture(lone, emfText(true, {'A', 0xFFFD, 'B'})));
    // A low surrogate before a high one is no pair: two missing glyphs.
    EXPECT_FALSE(samePicture(lone, emfText(true, {'A', 0xDC00, 0xD800, 'B'})));
}

} // namespace
} // namespace schauplatz
