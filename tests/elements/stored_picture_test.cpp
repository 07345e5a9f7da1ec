// The stored-picture rule: pictures the user loads are shown as they are meant to look, and
// whatever is shown is exactly what ReadPictureFile rebuilds from the recorded file.

#include "new_format_fixtures.h"

#include "elements/PictureFiles.h"
#include "elements/StoredPicture.h"
#include "elements/codecs/ExifOrientation.h"
#include "elements/codecs/JpegCodec.h"
#include "elements/codecs/PictureOrientation.h"
#include "elements/codecs/PictureReasons.h"
#include "elements/codecs/PngCodec.h"

#include <filesystem>

namespace schauplatz::picture_test {
namespace {

// The recorded file, read as a project replay reads it, gives exactly the picture shown.
::testing::AssertionResult rebuildsAsShown(const EnteredPicture& entered) {
    if (!entered.usable()) return ::testing::AssertionFailure() << entered.message;
    return samePicture(readPictureFile(entered.recordPath), entered.picture.Width(),
                       entered.picture.Height(), pixelsOf(entered.picture));
}

std::string extensionOf(const std::string& path) {
    return std::filesystem::path(path).extension().string();
}

Bytes pngWithAlpha(const RgbaPicture& picture) {
    PngBuilder png;
    png.width = picture.width;
    png.height = picture.height;
    png.colourType = 6;
    for (int y = 0; y < picture.height; ++y)
        png.rows.emplace_back(picture.samples.begin() + y * picture.width * 4,
                              picture.samples.begin() + (y + 1) * picture.width * 4);
    return png.encode();
}

// The block picture A..F upright, stored as a camera held sideways stores it (orientation 6).
constexpr TColor32 kBlocks[6] = {0xFF0000A0, 0xFF00B000, 0xFFC00000,
                                 0xFF00D0D0, 0xFFE000E0, 0xFFF0F000};
RgbaPicture sidewaysBlocks() {
    return blockPicture(2, 3, 16,
                        {kBlocks[2], kBlocks[5], kBlocks[1], kBlocks[4], kBlocks[0], kBlocks[3]});
}

TEST(StoredPicture, RotatedPhotoIsTurnedLosslesslyAndRebuildsUpright) {
    ScratchFolder folder;
    const std::string photo = folder.write(
        "IMG_0042.JPG", withExif(encodeJpegOf(sidewaysBlocks(), true), orientationTiff(6, false)));
    const std::string store = folder.path("bilder");
    for (const PictureRole role : {PictureRole::Facade, PictureRole::Element}) {
        const EnteredPicture entered = EnterPicture(photo, role, store);
        ASSERT_EQ(entered.entry, PictureEntry::Stored) << entered.message;
        EXPECT_EQ(std::filesystem::path(entered.recordPath).parent_path(), store);
        EXPECT_EQ(extensionOf(entered.recordPath), ".jpg") << "a lossless turn, not a PNG";
        EXPECT_EQ(jpegOrientation(readBytes(entered.recordPath)), 1);
        ASSERT_EQ(entered.picture.Width(), 48);
        ASSERT_EQ(entered.picture.Height(), 32);
        for (int i = 0; i < 6; ++i)
            EXPECT_LE(largestDifference({entered.picture.GetPixel(i % 3 * 16 + 8, i / 3 * 16 + 8)},
                                        {kBlocks[i]}),
                      3)
                << i;
        EXPECT_TRUE(rebuildsAsShown(entered));
    }
    // Two loads, two store files: the first is never replaced.
    EXPECT_TRUE(std::filesystem::exists(store + "/IMG_0042.jpg"));
    EXPECT_TRUE(std::filesystem::exists(store + "/IMG_0042 (2).jpg"));
}

TEST(StoredPicture, EveryOrientationEntersUpright) {
    ScratchFolder folder;
    const RgbaPicture stored = gradientPicture(40, 24, false); // 4:2:0, not whole blocks
    const std::vector<TColor32> storedColours = stored.colours();
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const Bytes jpeg = withExif(encodeJpegOf(stored, true), orientationTiff(orientation, true));
        const std::string photo = folder.write("foto" + std::to_string(orientation) + ".jpg", jpeg);
        const EnteredPicture entered = EnterPicture(photo, PictureRole::Facade, folder.path("s"));
        ASSERT_TRUE(entered.usable()) << entered.message;
        EXPECT_TRUE(rebuildsAsShown(entered));
        DecodedPicture upright;
        ASSERT_TRUE(decodeJpegUpright(jpeg, orientation, upright));
        if (orientation == 1) {
            EXPECT_EQ(entered.entry, PictureEntry::AsItIs);
            EXPECT_EQ(entered.recordPath, photo);
        } else if (orientation == 5) {
            EXPECT_EQ(extensionOf(entered.recordPath), ".jpg") << "a transpose never cuts";
        } else {
            // 40 x 24 is no whole number of 16-pixel blocks: the upright decode, as PNG.
            EXPECT_EQ(extensionOf(entered.recordPath), ".png");
            EXPECT_TRUE(
                samePicture(entered.picture, upright.width, upright.height, upright.pixels));
        }
        std::vector<TColor32> expected(storedColours.size());
        orientPicture(storedColours.data(), 40, 24, orientation, expected.data());
        EXPECT_LE(largestDifference(pixelsOf(entered.picture), expected), 40);
    }
}

TEST(StoredPicture, HeicAndWebpEnterAsPngWhenOpaqueAndAsBmpWithAlpha) {
    ScratchFolder folder;
    const std::string store = folder.path("bilder/");
    struct Case {
        std::string name;
        Bytes file;
        RgbaPicture reference;
        bool alpha;
    };
    std::vector<Case> cases;
    for (const bool alpha : {false, true}) {
        const RgbaPicture source = gradientPicture(32, 16, alpha);
        const Bytes heic = encodeHeif(source, HeifCoding::Hevc, alpha);
        const Bytes avif = encodeHeif(source, HeifCoding::Av1, alpha);
        const Bytes webp = encodeWebp(source, WebpKind::Lossless, alpha);
        cases.push_back(
            {alpha ? "alpha.heic" : "opaque.heic", heic, referenceHeifDecode(heic), alpha});
        cases.push_back(
            {alpha ? "alpha.avif" : "opaque.avif", avif, referenceHeifDecode(avif), alpha});
        cases.push_back(
            {alpha ? "alpha.webp" : "opaque.webp", webp, referenceWebpDecode(webp), alpha});
    }
    // A WebP saved under a wrong name is still recognised by its content.
    cases.push_back({"tuer-aus-katalog.jpg", cases[2].file, cases[2].reference, false});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.write(c.name, c.file);
        const EnteredPicture element = EnterPicture(path, PictureRole::Element, store);
        ASSERT_EQ(element.entry, PictureEntry::Stored) << element.message;
        EXPECT_EQ(extensionOf(element.recordPath), c.alpha ? ".bmp" : ".png");
        EXPECT_TRUE(samePicture(element.picture, c.reference.width, c.reference.height,
                                c.reference.colours()));
        EXPECT_TRUE(rebuildsAsShown(element));
        // A facade is opaque: its transparency flattened over white, as for a PNG.
        const EnteredPicture facade = EnterPicture(path, PictureRole::Facade, store);
        ASSERT_EQ(facade.entry, PictureEntry::Stored) << facade.message;
        EXPECT_EQ(extensionOf(facade.recordPath), ".png");
        std::vector<TColor32> flattened = c.reference.colours();
        compositeOverWhite(flattened.data(), flattened.size());
        EXPECT_TRUE(samePicture(facade.picture, c.reference.width, c.reference.height, flattened));
        EXPECT_TRUE(rebuildsAsShown(facade));
    }
}

TEST(StoredPicture, TransparentPngElementKeepsItsAlphaFacadeAndOpaquePngStayAsTheyAre) {
    ScratchFolder folder;
    const RgbaPicture door = gradientPicture(30, 20, true);
    const std::string transparent = folder.write("Tür mit Bogen.png", pngWithAlpha(door));
    const EnteredPicture element =
        EnterPicture(transparent, PictureRole::Element, folder.path("s"));
    ASSERT_EQ(element.entry, PictureEntry::Stored);
    EXPECT_EQ(std::filesystem::path(element.recordPath).filename(), "Tür mit Bogen.bmp");
    EXPECT_TRUE(samePicture(element.picture, 30, 20, door.colours()));
    EXPECT_TRUE(rebuildsAsShown(element));
    EXPECT_EQ(element.picture.GetPixel(29, 0) >> 24, 0u) << "clear pixels stay clear";

    const EnteredPicture facade = EnterPicture(transparent, PictureRole::Facade, folder.path("s"));
    EXPECT_EQ(facade.entry, PictureEntry::AsItIs);
    EXPECT_EQ(facade.recordPath, transparent);
    EXPECT_EQ(pixelsOf(facade.picture), readPictureFile(transparent).pixels);
    EXPECT_EQ(facade.picture.GetPixel(29, 0), 0xFFFFFFFFu) << "flattened over white";

    const std::string solid =
        folder.write("Fenster.png", pngWithAlpha(gradientPicture(30, 20, false)));
    const EnteredPicture opaqueElement =
        EnterPicture(solid, PictureRole::Element, folder.path("s"));
    EXPECT_EQ(opaqueElement.entry, PictureEntry::AsItIs);
    EXPECT_EQ(opaqueElement.recordPath, solid);
    EXPECT_EQ(pixelsOf(opaqueElement.picture), readPictureFile(solid).pixels);
}

TEST(StoredPicture, UnusablePicturesNameTheFileAndTheReason) {
    ScratchFolder folder;
    const std::string store = folder.path("s");
    auto expectMessage = [&](const std::string& path, const std::string& reason) {
        const EnteredPicture entered = EnterPicture(path, PictureRole::Element, store);
        EXPECT_EQ(entered.entry, PictureEntry::Unusable);
        EXPECT_TRUE(entered.picture.IsEmpty());
        EXPECT_EQ(entered.message,
                  "Die Datei „" + path + "“ kann nicht als Bild gelesen werden. " + reason);
    };
    expectMessage(folder.path("fehlt.jpg"), reasons::missing());
    std::filesystem::create_directory(folder.path("Ordner.png"));
    expectMessage(folder.path("Ordner.png"), reasons::folder());
    expectMessage(folder.write("notiz.txt", Bytes{'H', 'a', 'l', 'l', 'o'}),
                  reasons::unknownFormat());
    Bytes png = pngWithAlpha(gradientPicture(8, 8, false));
    png.resize(png.size() - 20);
    expectMessage(folder.write("kaputt.png", png), reasons::damaged());
    BmpBuilder huge;
    huge.width = 70000;
    huge.height = 2;
    huge.bitsPerPixel = 24;
    huge.pixels = Bytes(64, 0);
    expectMessage(folder.write("riesig.bmp", huge.file()), reasons::tooLarge(70000, 2));
    const Bytes heic = encodeHeif(gradientPicture(16, 16, false), HeifCoding::Hevc, false);
    expectMessage(folder.write("halb.heic", Bytes(heic.begin(), heic.begin() + heic.size() / 2)),
                  reasons::damaged());
    EXPECT_FALSE(std::filesystem::exists(store)) << "nothing was stored";
}

TEST(StoredPicture, StoreFileThatCannotBeWrittenMakesThePictureUnusable) {
    ScratchFolder folder;
    const std::string photo =
        folder.write("a.webp", encodeWebp(gradientPicture(8, 8, false), WebpKind::Lossy, false));
    folder.write("kein-ordner", Bytes{1});
    const EnteredPicture entered =
        EnterPicture(photo, PictureRole::Element, folder.path("kein-ordner/bilder"));
    EXPECT_EQ(entered.entry, PictureEntry::Unusable);
    EXPECT_NE(entered.message.find("„" + photo + "“"), std::string::npos) << entered.message;
    EXPECT_NE(entered.message.find("Bildspeicher"), std::string::npos) << entered.message;
}

TEST(StoredPicture, StoreNamesAreCleanAndNeverReplaceAFile) {
    ScratchFolder folder;
    const std::string store = folder.path("s/");
    std::filesystem::create_directories(store);
    folder.write("s/Tür;1.png", Bytes{1, 2, 3});
    TBitmap32 opaque;
    opaque.SetSize(3, 2);
    opaque.Clear(0xFF336699);
    // ";" would end the path in a record line, "\" and ":" would start its file name.
    const EnteredPicture first = StorePicture(opaque, "/x/Tür;1.png", store);
    ASSERT_EQ(first.entry, PictureEntry::Stored);
    EXPECT_EQ(std::filesystem::path(first.recordPath).filename(), "Tür_1.png");
    const EnteredPicture second = StorePicture(opaque, "Tür:1", store);
    EXPECT_EQ(std::filesystem::path(second.recordPath).filename(), "Tür_1 (2).png");
    EXPECT_EQ(readBytes(store + "Tür;1.png"), (Bytes{1, 2, 3}));
    EXPECT_TRUE(rebuildsAsShown(second));
    TBitmap32 clear = TurnedPicture(opaque, QuarterTurn::Left);
    clear.SetPixel(0, 0, 0x00FFFFFF);
    const EnteredPicture mirrored = StorePicture(clear, "Tür 3 gespiegelt", store);
    EXPECT_EQ(std::filesystem::path(mirrored.recordPath).filename(), "Tür 3 gespiegelt.bmp");
    EXPECT_TRUE(samePicture(mirrored.picture, 2, 3, pixelsOf(clear)));
    EXPECT_TRUE(rebuildsAsShown(mirrored));
    EXPECT_EQ(StorePicture(TBitmap32(), "leer", store).entry, PictureEntry::Unusable);
}

TEST(StoredPicture, FacadeTurnsLeftAndRightThroughTheRule) {
    ScratchFolder folder;
    const std::string store = folder.path("s");
    // A JPEG whose sides are whole blocks turns losslessly; the upright picture's top left
    // block goes to the top right on a right turn and to the bottom left on a left turn.
    const RgbaPicture upright = blockPicture(3, 2, 16, std::vector<TColor32>(kBlocks, kBlocks + 6));
    const std::string jpeg = folder.write("Haus.jpg", encodeJpegOf(upright, true));
    const EnteredPicture right = TurnFacade(jpeg, QuarterTurn::Right, store);
    ASSERT_EQ(right.entry, PictureEntry::Stored) << right.message;
    EXPECT_EQ(extensionOf(right.recordPath), ".jpg");
    ASSERT_EQ(right.picture.Width(), 32);
    EXPECT_LE(largestDifference({right.picture.GetPixel(24, 8)}, {kBlocks[0]}), 3);
    EXPECT_TRUE(rebuildsAsShown(right));
    const EnteredPicture back = TurnFacade(right.recordPath, QuarterTurn::Left, store);
    ASSERT_EQ(back.entry, PictureEntry::Stored);
    EXPECT_EQ(back.picture.Width(), 48);
    EXPECT_LE(largestDifference({back.picture.GetPixel(8, 8)}, {kBlocks[0]}), 3);
    EXPECT_TRUE(rebuildsAsShown(back));

    // A 32-bit BMP with alpha keeps it (as ReadPictureFile read it), turned exactly.
    TBitmap32 picture;
    picture.SetSize(3, 2);
    for (int i = 0; i < 6; ++i)
        picture.Bits()[i] = kBlocks[i] & (i == 4 ? 0x80FFFFFFu : 0xFFFFFFFFu);
    const std::string bmp = folder.path("Haus.bmp");
    WriteBitmapFile(picture, bmp);
    const EnteredPicture left = TurnFacade(bmp, QuarterTurn::Left, store);
    ASSERT_EQ(left.entry, PictureEntry::Stored);
    EXPECT_EQ(extensionOf(left.recordPath), ".bmp");
    // Left: the right column (C, F) becomes the top row.
    EXPECT_TRUE(samePicture(left.picture, 2, 3,
                            {picture.Bits()[2], picture.Bits()[5], picture.Bits()[1],
                             picture.Bits()[4], picture.Bits()[0], picture.Bits()[3]}));
    EXPECT_EQ(TurnFacade(folder.path("fehlt.png"), QuarterTurn::Left, store).entry,
              PictureEntry::Unusable);
}

TEST(StoredPicture, PlainPicturesAreUsedAsTheyAre) {
    ScratchFolder folder;
    const std::string jpeg =
        folder.write("Haus.jpg", encodeJpegOf(gradientPicture(20, 12, false), true));
    const std::string tagged =
        folder.write("Normal.jpeg", withExif(readBytes(jpeg), orientationTiff(1, false)));
    for (const std::string& path : {jpeg, tagged}) {
        const EnteredPicture entered = EnterPicture(path, PictureRole::Facade, folder.path("s"));
        EXPECT_EQ(entered.entry, PictureEntry::AsItIs);
        EXPECT_EQ(entered.recordPath, path);
        EXPECT_EQ(pixelsOf(entered.picture), readPictureFile(path).pixels);
    }
    // Stored projects keep their meaning: ReadPictureFile itself does not turn a tagged photo.
    const std::string sideways = folder.write(
        "Alt.jpg", withExif(encodeJpegOf(sidewaysBlocks(), true), orientationTiff(6, false)));
    EXPECT_EQ(readPictureFile(sideways).width, 32);
    EXPECT_FALSE(std::filesystem::exists(folder.path("s")));
}

} // namespace
} // namespace schauplatz::picture_test
