// Pictures as sellers have them, entering the window: a transparent PNG door keeps its
// transparency over the facade and after save and load; a phone photo lying on its side comes
// up upright, and its project rebuilds the same picture from the record file alone; the facade
// turns a quarter; a picture that cannot be used keeps what was there and says why; the
// picture is saved as PNG or JPEG by the type chosen.

#include "project_fixture.h"

#include "composition/ProjectReplay.h"
#include "new_format_fixtures.h"
#include "project/RecordFile.h"
#include "support/U_SYSTOOLS.h"

namespace schauplatz::testing {
namespace {

using picture_test::Bytes;

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    writeFileBytes(path, std::string(bytes.begin(), bytes.end()));
}

// An RGBA PNG: an opaque red frame two pixels wide around a clear middle.
Bytes framedPng(int w, int h) {
    picture_test::PngBuilder png;
    png.width = w;
    png.height = h;
    png.colourType = 6;
    for (int y = 0; y < h; ++y) {
        Bytes row;
        for (int x = 0; x < w; ++x) {
            const bool frame = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
            const Bytes pixel = frame ? Bytes{200, 20, 20, 255} : Bytes{0, 0, 0, 0};
            row.insert(row.end(), pixel.begin(), pixel.end());
        }
        png.rows.push_back(row);
    }
    return png.encode();
}

class PictureEntryWindow : public ProjectForm {
protected:
    void SetUp() override {
        ProjectForm::SetUp();
        facade = writePattern("Haus.bmp", 90, 70, 3);
        loadFacade(facade);
    }
    std::string facade;
};

TEST_F(PictureEntryWindow, ATransparentPngDoorShowsTheFacadeThroughItsMiddle) {
    const std::string png = folder + "Muster/Bogentür.png";
    writeBytes(png, framedPng(12, 16));
    host.openAnswers.push_back(png);
    form->BildvomElementladen1Click();
    ASSERT_TRUE(host.messages.empty()) << host.messages.front();
    EXPECT_EQ(form->ImageSelectedDoor.Bitmap().GetPixel(6, 8) >> 24, 0u) << "alpha kept";
    // The record names a copy that the picture reader rebuilds with its alpha.
    EXPECT_NE(form->ElementFile, png);
    EXPECT_EQ(form->ElementFile.substr(form->ElementFile.size() - 4), ".bmp");
    form->Vertices = {QuadPoint{20, 10}, QuadPoint{31, 10}, QuadPoint{31, 25}, QuadPoint{20, 25}};
    form->RenderElement();
    form->Elementbernehmen1Click();
    const TBitmap32& shown = form->ImageHintergrund.Bitmap();
    EXPECT_EQ(shown.GetPixel(25, 17), form->ImageFassade.Bitmap().GetPixel(25, 17))
        << "the facade shows through";
    EXPECT_GE((shown.GetPixel(20, 10) >> 16) & 0xFF, 0xC0u) << "the red frame is drawn";

    const std::string project = folder + "Bogen.vbk";
    form->SaveProject(project);
    TForm_Schauplatz& other = otherForm();
    other.LoadProject(project);
    EXPECT_TRUE(sameBitmap(other.ImageHintergrund.Bitmap(), shown));
}

TEST_F(PictureEntryWindow, APhonePhotoLyingOnItsSideComesUpUpright) {
    // Stored 24 x 16 as the camera saw it, with orientation 6: upright it is 16 x 24.
    const auto stored = picture_test::blockPicture(
        3, 2, 8, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu});
    const std::string photo = folder + "IMG_0001.jpg";
    writeBytes(photo, picture_test::withExif(picture_test::encodeJpegOf(stored, false, 95),
                                             picture_test::orientationTiff(6, false)));
    host.openAnswers.push_back(photo);
    form->FassadeLaden1Click();
    ASSERT_TRUE(host.messages.empty()) << host.messages.front();
    EXPECT_EQ(form->ImageFassade.Bitmap().Width(), 16);
    EXPECT_EQ(form->ImageFassade.Bitmap().Height(), 24);
    // Turned right: the stored left column (red, yellow) is now the top row, yellow first.
    const TColor32 topLeft = form->ImageFassade.Bitmap().GetPixel(2, 2);
    EXPECT_GT((topLeft >> 16) & 0xFF, 200u);
    EXPECT_GT((topLeft >> 8) & 0xFF, 200u);
    EXPECT_LT(topLeft & 0xFF, 60u);

    accept(writeDoor("Muster/Tür.bmp", 5, 7, 9),
           {QuadPoint{2, 3}, QuadPoint{9, 3}, QuadPoint{9, 12}, QuadPoint{2, 12}});
    const std::string project = folder + "Hochkant.vbk";
    form->SaveProject(project);
    // A reader that knows only the record file rebuilds it: the unpacked files and data.dat.
    const std::string unpacked = unpack(project);
    std::vector<std::string> lines = readRecordFile(unpacked + "data.dat");
    TReplayHooks hooks;
    hooks.picturePath = [&](const std::string& recorded) {
        return unpacked + FileNamePart(recorded);
    };
    const TComposition replayed = ReplayRecordLines(lines, hooks);
    EXPECT_TRUE(sameBitmap(replayed.Background(), form->ImageHintergrund.Bitmap()));
}

TEST_F(PictureEntryWindow, TheFacadeTurnsAQuarterOnlyWhileNothingIsPlaced) {
    const TBitmap32 before = [&] {
        TBitmap32 copy;
        copy.Assign(&form->ImageFassade.Bitmap());
        return copy;
    }();
    ASSERT_TRUE(form->ShortCutPressed(ShortCut{true, true, 'R'}));
    ASSERT_EQ(form->ImageFassade.Bitmap().Width(), 70);
    ASSERT_EQ(form->ImageFassade.Bitmap().Height(), 90);
    for (int y = 0; y < 90; y += 7)
        for (int x = 0; x < 70; x += 5)
            ASSERT_EQ(form->ImageFassade.Bitmap().GetPixel(x, y), before.GetPixel(y, 69 - x));
    EXPECT_NE(form->ProjectData[0], facade) << "line 0 names the turned copy";
    form->ClickMenuItem("Fassadenachlinksdrehen1");
    EXPECT_TRUE(sameBitmap(form->ImageFassade.Bitmap(), before));

    accept(writeDoor("Muster/Tür.bmp", 5, 7, 9),
           {QuadPoint{2, 3}, QuadPoint{9, 3}, QuadPoint{9, 12}, QuadPoint{2, 12}});
    EXPECT_FALSE(form->Item("Fassadenachrechtsdrehen1").enabled);
    form->Fassadenachrechtsdrehen1Click();
    EXPECT_EQ(form->ImageFassade.Bitmap().Width(), 90) << "refused while elements are placed";
}

TEST_F(PictureEntryWindow, AnUnusablePictureKeepsWhatWasThereAndSaysWhy) {
    const std::string damaged = folder + "kaputt.jpg";
    writeFileBytes(damaged, "\xFF\xD8\xFF\xE0 kein JPEG");
    const std::vector<std::string> lines = form->ProjectData;
    host.openAnswers.push_back(damaged);
    form->FassadeLaden1Click();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("kaputt.jpg"), std::string::npos) << host.messages[0];
    EXPECT_NE(host.messages[0].find("kann nicht als Bild gelesen werden"), std::string::npos);
    EXPECT_EQ(form->ProjectData, lines);
    EXPECT_EQ(form->ImageFassade.Bitmap().Width(), 90);

    const std::string door = writeDoor("Muster/Tür.bmp", 5, 7, 9);
    host.openAnswers.push_back(door);
    form->BildvomElementladen1Click();
    host.openAnswers.push_back(folder + "fehlt.png");
    form->BildvomElementladen1Click();
    EXPECT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(form->ElementFile, door);
    EXPECT_EQ(form->ImageSelectedDoor.Bitmap().Width(), 5);
}

TEST_F(PictureEntryWindow, ThePictureIsSavedAsTheTypeChosen) {
    form->Vertices = {QuadPoint{20, 10}, QuadPoint{60, 10}, QuadPoint{60, 50}, QuadPoint{20, 50}};
    form->RenderElement();
    for (const std::string name : {"Bild.png", "Bild.jpg", "Bild.bmp"}) {
        SCOPED_TRACE(name);
        host.saveAnswers.push_back(folder + name);
        form->Bildspeichern1Click();
        TBitmap32 read;
        ReadPictureFile(read, folder + name);
        ASSERT_EQ(read.Width(), 90);
        const TColor32 a = read.GetPixel(40, 30), b = form->ImageCombined.Bitmap().GetPixel(40, 30);
        if (name == "Bild.jpg") {
            EXPECT_NEAR(static_cast<int>((a >> 8) & 0xFF), static_cast<int>((b >> 8) & 0xFF), 40);
        } else {
            EXPECT_EQ(a & 0xFFFFFFu, b & 0xFFFFFFu);
        }
    }
    const std::string bytes = readFileBytes(folder + "Bild.png");
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
}

} // namespace
} // namespace schauplatz::testing
