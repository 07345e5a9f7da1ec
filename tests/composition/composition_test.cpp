// The document model on its own: after every operation the background equals a replay of the
// facade and the placed elements in order, and the record lines name exactly those elements.

#include "composition_support.h"

#include "project/RecordFile.h"
#include "raster/Samplers.h"

#include <map>
#include <new>

namespace schauplatz::testing {
namespace {

std::vector<std::string> expectedLines(const TComposition& c) {
    std::vector<std::string> lines{c.FacadePath()};
    for (const TPlacedElement& e : c.Elements())
        lines.push_back(
            FormatElementRecord({e.Path, e.Quad[0].X, e.Quad[0].Y, e.Quad[1].X, e.Quad[1].Y,
                                 e.Quad[2].X, e.Quad[2].Y, e.Quad[3].X, e.Quad[3].Y}));
    return lines;
}

// The invariant: the background is the replay of what is shown (the document, less an
// element taken up), the record lines are the document's.
::testing::AssertionResult consistent(const TComposition& c) {
    std::vector<TPlacedElement> shown = c.Elements();
    if (c.TakenUp()) shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(*c.TakenUp()));
    const ::testing::AssertionResult pixels =
        sameBitmap(c.Background(), referenceReplay(c.Facade(), shown));
    if (!pixels) return pixels;
    if (c.RecordLines() != expectedLines(c)) return ::testing::AssertionFailure() << "lines";
    return ::testing::AssertionSuccess();
}

class CompositionTest : public ::testing::Test {
protected:
    void SetUp() override { c.SetFacade("C:/Bilder/Haus.bmp", makePicture(80, 60, 9)); }
    TPlacedElement door(int l, int t, int r, int b, std::uint32_t seed = 21) {
        return {"C:/Muster/Tür " + std::to_string(seed) + ".bmp", pictureFor(seed),
                rectQuad(l, t, r, b)};
    }
    TSharedPicture pictureFor(std::uint32_t seed) {
        auto& picture = pictures[seed];
        if (!picture) picture = makePicture(9, 13, seed, seed % 2 == 0);
        return picture;
    }
    TComposition c;
    std::map<std::uint32_t, TSharedPicture> pictures;
};

TEST_F(CompositionTest, AcceptUndoRedoWalkTheWholeHistory) {
    TBitmap32 facadeOnly;
    facadeOnly.Assign(&c.Background());
    c.Accept(door(5, 5, 30, 40));
    c.Accept(door(20, 10, 60, 50, 22));
    c.Accept(door(-10, 30, 25, 70, 23));
    ASSERT_TRUE(consistent(c));
    const TBitmap32 atEnd = referenceReplay(c.Facade(), c.Elements());
    EXPECT_EQ(c.History().undoCount(), 3u);

    for (int i = 0; i < 3; ++i) {
        c.Undo();
        ASSERT_TRUE(consistent(c));
    }
    EXPECT_TRUE(sameBitmap(c.Background(), facadeOnly));
    EXPECT_EQ(c.RecordLines(), std::vector<std::string>{"C:/Bilder/Haus.bmp"});
    EXPECT_FALSE(c.CanUndo());
    c.Undo(); // nothing left: nothing changes
    EXPECT_TRUE(sameBitmap(c.Background(), facadeOnly));

    while (c.CanRedo())
        c.Redo();
    EXPECT_TRUE(sameBitmap(c.Background(), atEnd));
    EXPECT_EQ(c.Elements().size(), 3u);

    // A new change after an undo drops the redo steps.
    c.Undo();
    c.Accept(door(40, 40, 70, 58, 24));
    EXPECT_FALSE(c.CanRedo());
    EXPECT_TRUE(consistent(c));
}

TEST_F(CompositionTest, TakeUpPutBackCancelRemoveAndReorder) {
    c.Accept(door(5, 5, 40, 40));
    c.Accept(door(20, 15, 60, 50, 22));
    c.Accept(door(30, 20, 75, 55, 23));
    const std::vector<TPlacedElement> before = c.Elements();

    c.TakeUp(0);
    EXPECT_TRUE(consistent(c)); // the background lacks element 0
    EXPECT_EQ(c.Elements(), before);
    c.CancelEdit();
    EXPECT_TRUE(consistent(c));
    EXPECT_EQ(c.History().undoCount(), 3u) << "cancelling adds no step";

    // Put back with a new quad: it stays first in the order, under the others again.
    c.TakeUp(0);
    TPlacedElement moved = before[0];
    moved.Quad = rectQuad(15, 12, 50, 45);
    c.PutBack(moved, 0);
    EXPECT_TRUE(consistent(c));
    EXPECT_EQ(c.Elements()[0], moved);
    EXPECT_EQ(c.History().undoCount(), 4u);
    c.Undo();
    EXPECT_EQ(c.Elements(), before);
    EXPECT_TRUE(consistent(c));
    c.Redo();

    // Two places to the front: one step per place, the picture unchanged.
    c.TakeUp(0);
    c.PutBack(c.Elements()[0], 2);
    EXPECT_EQ(c.Elements()[2], moved);
    EXPECT_EQ(c.History().undoCount(), 6u);
    EXPECT_TRUE(consistent(c));
    c.Undo();
    EXPECT_EQ(c.Elements()[1], moved);
    EXPECT_TRUE(consistent(c));

    // Removing the element taken up is one step; undo brings it back at its place.
    c.TakeUp(1);
    c.RemoveTakenUp();
    EXPECT_EQ(c.Elements().size(), 2u);
    EXPECT_TRUE(consistent(c));
    c.Undo();
    EXPECT_EQ(c.Elements()[1], moved);
    EXPECT_TRUE(consistent(c));
}

TEST_F(CompositionTest, AnotherPictureInTheSameQuad) {
    c.Accept(door(10, 10, 50, 55));
    c.TakeUp(0);
    TPlacedElement other = c.Elements()[0];
    other.Path = "C:/Muster/Fenster.bmp";
    other.Picture = makePicture(20, 7, 77);
    c.PutBack(other, 0);
    EXPECT_EQ(c.RecordLines()[1], "C:/Muster/Fenster.bmp;10;10;50;10;50;55;10;55;");
    EXPECT_TRUE(consistent(c));
}

TEST_F(CompositionTest, TheTopmostElementDrawnAtAPointIsFound) {
    c.Accept(door(0, 0, 40, 40));
    c.Accept(door(20, 20, 60, 60, 22)); // alpha 0 pixels draw 0 where they are transparent
    EXPECT_EQ(c.ElementAt(5, 5), std::optional<std::size_t>(0));
    EXPECT_EQ(c.ElementAt(70, 5), std::nullopt);
    // Where element 1 draws a non-zero pixel it is found; where it draws 0, element 0 is.
    TElementCanvas canvas;
    bool sawUpper = false, sawLower = false;
    for (int y = 21; y < 39; ++y)
        for (int x = 21; x < 39; ++x) {
            const bool upperDraws =
                canvas.drawnPixel(c.Elements()[1], c.Background().BoundsRect(), x, y) != 0;
            const auto hit = c.ElementAt(x, y);
            ASSERT_TRUE(hit.has_value());
            EXPECT_EQ(*hit, upperDraws ? 1u : 0u) << x << ", " << y;
            (upperDraws ? sawUpper : sawLower) = true;
        }
    EXPECT_TRUE(sawUpper && sawLower);
}

TEST_F(CompositionTest, ARandomSessionKeepsTheInvariant) {
    const unsigned seed = testSeed(20211);
    std::mt19937 rng(seed);
    const auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 400; ++step) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(step));
        const int n = static_cast<int>(c.Elements().size());
        const int action = pick(100);
        if (c.TakenUp()) {
            TPlacedElement e = c.Elements()[*c.TakenUp()];
            if (action < 40) {
                e.Quad[static_cast<std::size_t>(pick(4))].X += pick(21) - 10;
                c.PutBack(e, static_cast<std::size_t>(pick(n)));
            } else if (action < 60) {
                c.CancelEdit();
            } else if (action < 75) {
                c.RemoveTakenUp();
            } else {
                e.Picture = pictureFor(static_cast<std::uint32_t>(30 + pick(3)));
                c.PutBack(e, *c.TakenUp());
            }
        } else if (action < 35 || n == 0) {
            c.Accept({"C:/Muster/" + std::to_string(pick(5)) + ".bmp",
                      pictureFor(static_cast<std::uint32_t>(40 + pick(4))),
                      randomQuad(rng, 80, 60)});
        } else if (action < 50) {
            c.Undo();
        } else if (action < 60) {
            c.Redo();
        } else if (action < 75) {
            c.TakeUp(static_cast<std::size_t>(pick(n)));
        } else if (action < 85) {
            c.Remove(static_cast<std::size_t>(pick(n)));
        } else {
            c.Move(static_cast<std::size_t>(pick(n)), static_cast<std::size_t>(pick(n)));
        }
        ASSERT_TRUE(consistent(c));
        if (c.CanUndo() && !c.TakenUp()) {
            // The undo picture is the background the last step started from.
            const TBitmap32 undo = c.UndoPicture();
            c.Undo();
            ASSERT_TRUE(sameBitmap(undo, c.Background()));
            c.Redo();
            ASSERT_TRUE(consistent(c));
        }
    }
}

// A resampler that runs out of memory after some pixels, as a drawing might.
class TFailingResampler : public TNearestResampler {
public:
    TFailingResampler(TCustomBitmap32& bitmap, int budget)
        : TNearestResampler(bitmap), m_budget(budget) {}
    TColor32 SampleFixed(std::int32_t X, std::int32_t Y) override {
        if (--m_budget < 0) throw std::bad_alloc();
        return TNearestResampler::SampleFixed(X, Y);
    }
    TColor32 SampleInt(std::int32_t X, std::int32_t Y) override {
        if (--m_budget < 0) throw std::bad_alloc();
        return TNearestResampler::SampleInt(X, Y);
    }
    TColor32 SampleFloat(float X, float Y) override {
        if (--m_budget < 0) throw std::bad_alloc();
        return TNearestResampler::SampleFloat(X, Y);
    }

private:
    int m_budget;
};

TEST_F(CompositionTest, AnOperationThatFailsHalfWayChangesNothing) {
    c.Accept(door(5, 5, 40, 40));
    c.Accept(door(20, 15, 60, 50, 22));
    TBitmap32 background;
    background.Assign(&c.Background());
    const std::vector<TPlacedElement> elements = c.Elements();
    const std::vector<std::string> lines = c.RecordLines();

    auto failing = std::make_shared<TBitmap32>();
    failing->Assign(pictureFor(23).get());
    failing->SetResampler(std::make_unique<TFailingResampler>(*failing, 50));
    TPlacedElement bad{"C:/Muster/kaputt.bmp", failing, rectQuad(10, 10, 70, 55)};

    const auto unchanged = [&] {
        EXPECT_TRUE(sameBitmap(c.Background(), background));
        EXPECT_EQ(c.Elements(), elements);
        EXPECT_EQ(c.RecordLines(), lines);
        EXPECT_EQ(c.History().undoCount(), 2u);
        EXPECT_FALSE(c.TakenUp());
    };
    EXPECT_THROW(c.Accept(bad), std::bad_alloc);
    unchanged();
    EXPECT_THROW(c.Replace(0, bad), std::bad_alloc);
    unchanged();
    c.TakeUp(1);
    EXPECT_THROW(c.PutBack(bad, 1), std::bad_alloc);
    EXPECT_EQ(c.TakenUp(), std::optional<std::size_t>(1)) << "still up after the failure";
    c.CancelEdit();
    unchanged();
}

TEST(CompositionHistory, KeepsAtMostAHundredStepsAndBoundsItsPictures) {
    TComposition c;
    c.SetFacade("f.bmp", makePicture(20, 20, 1));
    const TSharedPicture door = makePicture(4, 4, 2);
    for (int i = 0; i < 105; ++i)
        c.Accept({"d.bmp", door, rectQuad(i % 10, 1, i % 10 + 5, 8)});
    EXPECT_EQ(c.History().undoCount(), 100u);
    while (c.CanUndo())
        c.Undo();
    EXPECT_EQ(c.Elements().size(), 5u) << "the oldest steps went";

    // Pictures only the history needs count against its bound; the newest step always stays.
    TCompositionHistory history(10, 2000);
    std::vector<TPlacedElement> current;
    const auto replaceWith = [&](const TSharedPicture& picture) {
        TElementChange change;
        change.kind =
            current.empty() ? TElementChange::Kind::Insert : TElementChange::Kind::Replace;
        if (!current.empty()) change.before = current[0];
        change.after = TPlacedElement{"p.bmp", picture, {}};
        change.applyTo(current);
        history.push({change}, current);
    };
    replaceWith(makePicture(10, 10, 3)); // A, 400 bytes, in use
    replaceWith(makePicture(20, 20, 4)); // B, 1600 bytes; A only in the history now
    EXPECT_EQ(history.pictureBytes(current), 400u);
    replaceWith(makePicture(10, 10, 5)); // C: the history alone holds A and B
    EXPECT_EQ(history.undoCount(), 3u);
    EXPECT_EQ(history.pictureBytes(current), 2000u);
    // D: A, B and C would be 2400 bytes; the two oldest steps go, B and C stay.
    replaceWith(makePicture(10, 10, 6));
    EXPECT_EQ(history.undoCount(), 2u);
    EXPECT_EQ(history.pictureBytes(current), 2000u);
    // One huge picture: the newest step stays even alone.
    replaceWith(makePicture(40, 40, 7));
    replaceWith(makePicture(2, 2, 8));
    EXPECT_EQ(history.undoCount(), 1u);
}

} // namespace
} // namespace schauplatz::testing
