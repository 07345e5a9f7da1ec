// The shared test support: a comparison that passed wrongly or a script that answered the
// wrong dialog would hide faults in every layer's tests.

#include "testsupport/PictureCompare.h"
#include "testsupport/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace schauplatz::testing {
namespace {

std::string failureText(const ::testing::AssertionResult& result) {
    return result ? std::string() : std::string(result.message());
}

TEST(PictureCompare, NamesTheFirstDifferingPixelInRowOrder) {
    const PixelAt plain = [](int x, int y) { return 0xFF000000u | (y * 16 + x); };
    const PixelAt twoOff = [&](int x, int y) {
        if ((x == 2 && y == 1) || (x == 0 && y == 2)) return 0x80FFFFFFu;
        return plain(x, y);
    };
    EXPECT_TRUE(samePixels(3, 3, plain, plain));
    EXPECT_EQ(failureText(samePixels(3, 3, twoOff, plain)),
              "pixel (2, 1) is 0x80FFFFFF, expected 0xFF000012");
    // Pixels outside the compared area do not count.
    EXPECT_TRUE(samePixels(2, 1, twoOff, plain));
}

TEST(PictureCompare, BitmapsOfAnotherSizeDiffer) {
    TBitmap32 a;
    a.SetSize(3, 2);
    a.Clear(0xFF102030u);
    TBitmap32 b;
    b.SetSize(2, 3);
    b.Clear(0xFF102030u);
    EXPECT_EQ(failureText(sameBitmap(a, b)), "size 3 x 2, expected 2 x 3");
    b.SetSize(3, 2);
    b.Clear(0xFF102030u);
    EXPECT_TRUE(sameBitmap(a, b));
    b.SetPixel(1, 1, 0x00102030u); // alpha alone differs
    EXPECT_EQ(failureText(sameBitmap(a, b)), "pixel (1, 1) is 0xFF102030, expected 0x00102030");
}

TEST(PictureCompare, PixelListsAreReadRowByRow) {
    const std::vector<TColor32> expected{1, 2, 3, 4, 5, 6};
    EXPECT_TRUE(samePixelList(3, 2, expected, 3, 2, expected));
    std::vector<TColor32> actual = expected;
    actual[4] = 7;
    EXPECT_EQ(failureText(samePixelList(3, 2, actual, 3, 2, expected)),
              "pixel (1, 1) is 0x00000007, expected 0x00000005");
    EXPECT_EQ(failureText(samePixelList(2, 3, expected, 3, 2, expected)),
              "size 2 x 3, expected 3 x 2");
    EXPECT_FALSE(samePixelList(3, 2, expected, 3, 2, {1, 2, 3}));
    EXPECT_FALSE(samePixelList(3, 2, {1, 2, 3}, 3, 2, expected));
}

TEST(ScriptedDialogs, WithoutAScriptEveryDialogIsCancelled) {
    ScriptedDialogs dialogs;
    const ScriptedDialogs::Answerer answer = dialogs.answerer();
    EXPECT_EQ(answer("Bild Laden"), "");
    EXPECT_EQ(answer("Projekt speichern"), "");
    EXPECT_EQ(dialogs.titles(), (std::vector<std::string>{"Bild Laden", "Projekt speichern"}));
}

TEST(ScriptedDialogs, ATitlesAnswerComesFirstThenTheTurnsThenTheFallback) {
    ScriptedDialogs dialogs;
    dialogs.forTitle("Projekt laden", "/p/a.vbk").inTurn({"/f/1.bmp", "/f/2.bmp"}).otherwise("x");
    const ScriptedDialogs::Answerer answer = dialogs.answerer();
    EXPECT_EQ(answer("Bild Laden"), "/f/1.bmp");
    EXPECT_EQ(answer("Projekt laden"), "/p/a.vbk"); // takes no turn
    EXPECT_EQ(dialogs.pendingInTurn(), 1u);
    EXPECT_EQ(answer("Bild Laden"), "/f/2.bmp");
    EXPECT_EQ(answer("Bild Laden"), "x");
    EXPECT_EQ(answer("Projekt laden"), "/p/a.vbk"); // every time
    EXPECT_EQ(dialogs.titles().size(), 5u);
}

TEST(ScriptedDialogs, TheScriptMayChangeAfterTheFunctionIsHandedOver) {
    ScriptedDialogs dialogs;
    const ScriptedDialogs::Answerer answer = dialogs.answerer();
    dialogs.inTurn({"a", "b"});
    EXPECT_EQ(answer("t"), "a");
    dialogs.inTurn({"c"}); // replaces the answer not asked for yet
    EXPECT_EQ(answer("t"), "c");
    EXPECT_EQ(answer("t"), "");
    dialogs.forTitle("t", "d");
    EXPECT_EQ(answer("t"), "d");
    dialogs.forget();
    EXPECT_EQ(answer("t"), "");
    EXPECT_EQ(dialogs.titles().size(), 5u); // forgetting keeps the record
}

TEST(ScriptedDialogs, TheFunctionOutlivesTheScriptObject) {
    ScriptedDialogs::Answerer answer;
    {
        ScriptedDialogs dialogs;
        dialogs.forTitle("Verzeichnis auswählen", "/muster/");
        answer = dialogs.answerer();
    }
    EXPECT_EQ(answer("Verzeichnis auswählen"), "/muster/");
    EXPECT_EQ(answer("Bild Laden"), "");
}

} // namespace
} // namespace schauplatz::testing
