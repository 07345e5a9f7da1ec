// The composite as a document, driven through the window's handlers as a user drives it:
// undo and redo all the way, a double click that takes a placed element up, dragging it,
// putting it back, cancelling, removing and reordering, and commands refused mid-drag.
// After every step the background equals a replay of the record list.

#include "project_fixture.h"

#include "composition/ProjectReplay.h"
#include "project/RecordFile.h"

namespace schauplatz::testing {
namespace {

std::array<QuadPoint, 4> rect(int l, int t, int r, int b) {
    return {QuadPoint{l, t}, QuadPoint{r, t}, QuadPoint{r, b}, QuadPoint{l, b}};
}

class EditingWindow : public ProjectForm {
protected:
    void SetUp() override {
        ProjectForm::SetUp();
        facade = writePattern("Haus.bmp", 120, 90, 3);
        doorA = writeDoor("Muster/Tür A.bmp", 12, 20, 5);
        doorB = writeDoor("Muster/Tür B.bmp", 9, 14, 6);
        loadFacade(facade);
    }
    // The background is what the record list rebuilds, and the list names what is placed.
    ::testing::AssertionResult matchesItsRecords() {
        const TComposition replayed = ReplayRecordLines(form->ProjectData, {});
        const ::testing::AssertionResult same =
            sameBitmap(form->ImageHintergrund.Bitmap(), replayed.Background());
        if (!same) return same;
        if (form->ProjectData != form->Composition().RecordLines())
            return ::testing::AssertionFailure() << "record list and composition differ";
        return ::testing::AssertionSuccess();
    }
    void doubleClick(int x, int y) {
        form->WorkingPlaceImage.MouseDown(mbLeft, ssLeft, x, y);
        form->WorkingPlaceImage.MouseUp(mbLeft, 0, x, y);
        form->WorkingPlaceImage.DblClick(mbLeft, ssLeft, x, y);
        form->WorkingPlaceImage.MouseUp(mbLeft, 0, x, y);
    }
    void drag(int fromX, int fromY, int toX, int toY) {
        form->WorkingPlaceImage.MouseDown(mbLeft, ssLeft, fromX, fromY);
        form->WorkingPlaceImage.MouseMove(ssLeft, toX, toY);
        form->WorkingPlaceImage.MouseUp(mbLeft, 0, toX, toY);
    }
    std::string line(const std::string& path, std::array<QuadPoint, 4> q) {
        return FormatElementRecord(
            {path, q[0].X, q[0].Y, q[1].X, q[1].Y, q[2].X, q[2].Y, q[3].X, q[3].Y});
    }
    std::string facade, doorA, doorB;
};

TEST_F(EditingWindow, UndoAndRedoGoAllTheWayAndTheListFollows) {
    accept(doorA, rect(10, 10, 40, 60));
    accept(doorB, rect(30, 20, 70, 80));
    accept(doorA, rect(60, 5, 100, 50));
    ASSERT_TRUE(matchesItsRecords());
    TBitmap32 full;
    full.Assign(&form->ImageHintergrund.Bitmap());
    for (int i = 3; i > 0; --i) {
        EXPECT_TRUE(form->Item("Schrittzurck1").enabled);
        form->ClickMenuItem("Schrittzurck1");
        EXPECT_EQ(form->ProjectData.size(), static_cast<std::size_t>(i)) << "the undone line goes";
        ASSERT_TRUE(matchesItsRecords());
    }
    EXPECT_FALSE(form->Item("Schrittzurck1").enabled);
    EXPECT_TRUE(form->ImageUndo.Bitmap().IsEmpty());
    ASSERT_TRUE(form->ShortCutPressed(ShortCut{true, false, 'Y'}));
    ASSERT_TRUE(form->ShortCutPressed(ShortCut{true, false, 'Z', true})); // Ctrl+Shift+Z
    form->ClickMenuItem("Schrittvor1");
    EXPECT_FALSE(form->Item("Schrittvor1").enabled);
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), full));
    EXPECT_EQ(form->ProjectData.size(), 4u);

    // A project saved after two undos holds exactly the element on screen.
    form->Schrittzurck1Click();
    form->Schrittzurck1Click();
    const std::string project = folder + "Angebot.vbk";
    form->SaveProject(project);
    TForm_Schauplatz& other = otherForm();
    other.LoadProject(project);
    ASSERT_EQ(other.ProjectData.size(), 2u);
    EXPECT_TRUE(sameBitmap(other.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()));
}

TEST_F(EditingWindow, ADoubleClickTakesAnElementUpAndCtrlUPutsItBackInItsPlace) {
    const auto first = rect(10, 10, 50, 70);
    accept(doorA, first);
    accept(doorB, rect(30, 30, 80, 85)); // over the first one's lower right part
    TBitmap32 withBoth;
    withBoth.Assign(&form->ImageHintergrund.Bitmap());

    doubleClick(20, 40); // only the first door is drawn there
    ASSERT_TRUE(form->Editing());
    EXPECT_EQ(form->ElementFile, doorA);
    EXPECT_EQ(form->Vertices, first);
    EXPECT_TRUE(form->Item("NeuesElementpositionieren1").checked);
    EXPECT_TRUE(form->Item("Bearbeitungabbrechen1").enabled);
    // The background shows the composite without it; the record list still holds it.
    EXPECT_EQ(form->ProjectData.size(), 3u);
    const TComposition without =
        ReplayRecordLines({form->ProjectData[0], form->ProjectData[2]}, {});
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), without.Background()));

    // Drag its top left corner, then accept: it goes back first in the order.
    drag(10, 10, 4, 6);
    ASSERT_TRUE(form->ShortCutPressed(ShortCut{true, false, 'U'}));
    EXPECT_FALSE(form->Editing());
    const auto changed = std::array<QuadPoint, 4>{QuadPoint{4, 6}, QuadPoint{50, 10},
                                                  QuadPoint{50, 70}, QuadPoint{10, 70}};
    ASSERT_EQ(form->ProjectData.size(), 3u);
    EXPECT_EQ(form->ProjectData[1], line(doorA, changed));
    EXPECT_EQ(form->ProjectData[2], line(doorB, rect(30, 30, 80, 85)));
    EXPECT_TRUE(matchesItsRecords());

    // One undo takes the re-edit back.
    form->Schrittzurck1Click();
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), withBoth));
    EXPECT_EQ(form->ProjectData[1], line(doorA, first));

    // A project saved after a re-edit loads with the changed element at its old place.
    form->Schrittvor1Click();
    const std::string project = folder + "Nachher.vbk";
    form->SaveProject(project);
    TForm_Schauplatz& other = otherForm();
    other.LoadProject(project);
    ASSERT_EQ(other.ProjectData.size(), 3u);
    EXPECT_NE(other.ProjectData[1].find("Tür A.bmp;4;6;50;10;50;70;10;70;"), std::string::npos);
    EXPECT_TRUE(sameBitmap(other.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()));
}

TEST_F(EditingWindow, EscapePutsItBackUnchangedAndDeleteRemovesIt) {
    accept(doorA, rect(10, 10, 50, 70));
    accept(doorB, rect(60, 10, 100, 70));
    TBitmap32 before;
    before.Assign(&form->ImageHintergrund.Bitmap());
    const std::vector<std::string> lines = form->ProjectData;

    doubleClick(80, 40);
    ASSERT_TRUE(form->Editing());
    EXPECT_EQ(form->ElementFile, doorB);
    drag(70, 40, 20, 40); // moved, then thought better of
    ASSERT_TRUE(form->ShortCutPressed(ShortCut{false, false, std::string("Esc")}));
    EXPECT_FALSE(form->Editing());
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), before));
    EXPECT_EQ(form->ProjectData, lines);
    EXPECT_FALSE(form->Item("Schrittvor1").enabled);

    doubleClick(80, 40);
    ASSERT_TRUE(form->ShortCutPressed(ShortCut{false, false, std::string("Del")}));
    EXPECT_EQ(form->ProjectData, (std::vector<std::string>{lines[0], lines[1]}));
    EXPECT_TRUE(matchesItsRecords());
    form->Schrittzurck1Click();
    EXPECT_EQ(form->ProjectData, lines);
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), before));

    // A double click where no element lies takes nothing up.
    doubleClick(110, 85);
    EXPECT_FALSE(form->Editing());
}

TEST_F(EditingWindow, ReorderingAndAnotherPictureInTheSameOpening) {
    accept(doorA, rect(10, 10, 60, 70));
    accept(doorB, rect(30, 30, 80, 85));
    doubleClick(20, 40);
    ASSERT_TRUE(form->Editing());
    EXPECT_FALSE(form->Item("Nachhinten1").enabled);
    ASSERT_TRUE(form->ShortCutPressed(ShortCut{true, false, std::string("PgUp")})); // to the front
    EXPECT_FALSE(form->Item("Nachvorne1").enabled);
    // Another door model in the same opening.
    host.openAnswers.push_back(doorB);
    form->BildvomElementladen1Click();
    EXPECT_EQ(form->Vertices, rect(10, 10, 60, 70));
    form->Elementbernehmen1Click();
    ASSERT_EQ(form->ProjectData.size(), 3u);
    EXPECT_EQ(form->ProjectData[1], line(doorB, rect(30, 30, 80, 85)));
    EXPECT_EQ(form->ProjectData[2], line(doorB, rect(10, 10, 60, 70)));
    EXPECT_TRUE(matchesItsRecords());
    // The picture and the move are a step each.
    form->Schrittzurck1Click();
    EXPECT_EQ(form->ProjectData[1], line(doorB, rect(10, 10, 60, 70)));
    EXPECT_TRUE(matchesItsRecords());
    form->Schrittzurck1Click();
    EXPECT_EQ(form->ProjectData[1], line(doorA, rect(10, 10, 60, 70)));
    EXPECT_TRUE(matchesItsRecords());
}

TEST_F(EditingWindow, CommandsWaitUntilTheDragEnds) {
    accept(doorA, rect(10, 10, 50, 70));
    const std::vector<std::string> lines = form->ProjectData;
    form->NeuesElementpositionieren1Click();
    const auto corner = form->Vertices[2];
    form->WorkingPlaceImage.MouseDown(mbLeft, ssLeft, corner.X, corner.Y);
    form->WorkingPlaceImage.MouseMove(ssLeft, corner.X + 7, corner.Y + 3);
    // Keys pressed in the middle of the drag do nothing.
    for (const ShortCut& key :
         {ShortCut{true, false, 'U'}, ShortCut{true, false, 'Z'}, ShortCut{true, false, 'S'},
          ShortCut{true, false, 'O'}, ShortCut{true, false, 'N'}})
        form->ShortCutPressed(key);
    form->Elementbernehmen1Click();
    EXPECT_EQ(form->ProjectData, lines);
    EXPECT_TRUE(host.openRequests.size() == 2u) << "no dialog opened mid-drag";
    EXPECT_TRUE(host.saveRequests.empty());
    form->WorkingPlaceImage.MouseUp(mbLeft, 0, corner.X + 7, corner.Y + 3);
    form->Elementbernehmen1Click();
    EXPECT_EQ(form->ProjectData.size(), 3u);
    EXPECT_TRUE(matchesItsRecords());
}

TEST_F(EditingWindow, TheUndoPictureIsTheBackgroundBeforeTheLastChange) {
    TBitmap32 facadeOnly;
    facadeOnly.Assign(&form->ImageHintergrund.Bitmap());
    accept(doorA, rect(10, 10, 50, 70));
    EXPECT_TRUE(sameBitmap(form->ImageUndo.Bitmap(), facadeOnly));
    TBitmap32 one;
    one.Assign(&form->ImageHintergrund.Bitmap());
    accept(doorB, rect(40, 20, 90, 60));
    EXPECT_TRUE(sameBitmap(form->ImageUndo.Bitmap(), one));
    form->Schrittzurck1Click();
    EXPECT_TRUE(sameBitmap(form->ImageUndo.Bitmap(), facadeOnly));
}

} // namespace
} // namespace schauplatz::testing
