// ReadPictureFile as a whole: which stage reads what, files that are no
// pictures, and how the result lands in the picture.

#include "elements/PictureFiles.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <png.h>

namespace schauplatz::picture_test {
namespace {

BmpBuilder bitmap24() {
    BmpBuilder bmp;
    bmp.width = 2;
    bmp.height = 1;
    bmp.pixels = paddedRows({{0x30, 0x20, 0x10, 0xCC, 0xBB, 0xAA}});
    return bmp;
}
const std::vector<TColor32> kBitmap24 = {0xFF102030, 0xFFAABBCC};

BmpBuilder bitmap32() {
    BmpBuilder bmp;
    bmp.width = 1;
    bmp.height = 2;
    bmp.bitsPerPixel = 32;
    bmp.pixels = {0x01, 0x02, 0x03, 0x00, 0x04, 0x05, 0x06, 0x80}; // bottom row first
    return bmp;
}
const std::vector<TColor32> kBitmap32 = {0x80060504, 0x00030201};

class PictureFileRead : public ::testing::Test {
protected:
    ScratchFolder m_folder;
};

TEST_F(PictureFileRead, BitmapsUnderForeignExtensionsAreStillRead) {
    for (const char* name : {"renamed.dat", "renamed.jpg", "renamed.png", "renamed.emf",
                             "renamed.wmf", "renamed.ico", "renamed"}) {
        EXPECT_TRUE(
            samePicture(readPictureFile(m_folder.write(name, bitmap24().file())), 2, 1, kBitmap24))
            << "24-bit as " << name;
        const std::string name32 = std::string("alpha-") + name;
        EXPECT_TRUE(samePicture(readPictureFile(m_folder.write(name32, bitmap32().file())), 1, 2,
                                kBitmap32))
            << "32-bit as " << name;
    }
}

TEST_F(PictureFileRead, FilesThatHoldNoPictureGiveAnEmptyPicture) {
    const std::string text = m_folder.write("notes.txt", Bytes{'H', 'a', 'l', 'l', 'o', '\n'});
    const std::string textAsPicture = m_folder.write("notes.bmp", Bytes{'B', 'M', 'x'});
    const std::string empty = m_folder.write("empty.png", Bytes{});
    const std::string emptyJpeg = m_folder.write("empty.jpg", Bytes{});
    const std::string folder = m_folder.path("folder.jpg");
    std::filesystem::create_directory(folder);
    for (const std::string& path :
         {text, textAsPicture, empty, emptyJpeg, folder, m_folder.path("missing.bmp"),
          std::string("/dev/null"), std::string()}) {
        TBitmap32 picture;
        picture.SetSize(5, 5);
        ReadPictureFile(picture, path);
        EXPECT_EQ(picture.Width(), 0) << path;
        EXPECT_EQ(picture.Height(), 0) << path;
        EXPECT_TRUE(picture.IsEmpty()) << path;
    }
}

TEST_F(PictureFileRead, JpegContentUnderAPngNameIsNotRead) {
    // The general loader goes by extension; the last resort only knows bitmaps.
    const Bytes jpeg = encodeJpeg(JpegKind::Rgb, 8, 8, Bytes(8 * 8 * 3, 90));
    EXPECT_EQ(readPictureFile(m_folder.write("photo.png", jpeg)).width, 0);
    EXPECT_EQ(readPictureFile(m_folder.write("photo.jpg", jpeg)).width, 8);
}

TEST_F(PictureFileRead, PngContentUnderAJpgNameIsNotRead) {
    PngBuilder png;
    png.width = png.height = 1;
    png.colourType = PNG_COLOR_TYPE_GRAY;
    png.rows = {{7}};
    EXPECT_EQ(readPictureFile(m_folder.write("grey.jpg", png.encode())).width, 0);
    EXPECT_TRUE(
        samePicture(readPictureFile(m_folder.write("grey.png", png.encode())), 1, 1, {0xFF070707}));
}

TEST_F(PictureFileRead, ResultReplacesSizeAndPixelsButKeepsDrawingProperties) {
    TBitmap32 picture;
    picture.SetSize(40, 30);
    picture.Clear(0xFF00FF00);
    picture.SetDrawMode(dmBlend);
    picture.SetCombineMode(cmMerge);
    picture.SetMasterAlpha(77);
    picture.SetOuterColor(0x12345678);
    int changes = 0;
    int resizes = 0;
    picture.OnChange = [&](TNotifiablePersistent*) { ++changes; };
    picture.OnResize = [&](TNotifiablePersistent*) { ++resizes; };

    ReadPictureFile(picture, m_folder.write("two.bmp", bitmap24().file()));
    EXPECT_TRUE(samePicture(picture, 2, 1, kBitmap24));
    EXPECT_EQ(picture.DrawMode(), dmBlend);
    EXPECT_EQ(picture.CombineMode(), cmMerge);
    EXPECT_EQ(picture.MasterAlpha(), 77u);
    EXPECT_EQ(picture.OuterColor(), 0x12345678u);
    EXPECT_EQ(changes, 1) << "one change notification for the whole reading";
    EXPECT_EQ(resizes, 1);
    EXPECT_EQ(picture.UpdateCount(), 0);

    changes = 0;
    ReadPictureFile(picture, m_folder.path("missing.png"));
    EXPECT_TRUE(picture.IsEmpty());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(picture.UpdateCount(), 0);
}

TEST_F(PictureFileRead, FailingChangeHandlerDoesNotEscape) {
    TBitmap32 picture;
    picture.OnChange = [](TNotifiablePersistent*) { throw std::runtime_error("handler"); };
    EXPECT_NO_THROW(ReadPictureFile(picture, m_folder.write("a.bmp", bitmap24().file())));
    EXPECT_EQ(picture.UpdateCount(), 0);
}

TEST_F(PictureFileRead, ThirtyTwoBitWithZeroFourthBytesIsCompletelyTransparent) {
    BmpBuilder bmp = bitmap32();
    bmp.pixels = {0x01, 0x02, 0x03, 0x00, 0x04, 0x05, 0x06, 0x00};
    const ReadResult result = readPictureFile(m_folder.write("clear.bmp", bmp.file()));
    ASSERT_EQ(result.pixels.size(), 2u);
    for (TColor32 c : result.pixels)
        EXPECT_EQ(AlphaComponent(c), 0u);

    // 24-bit pictures and JPEGs come out opaque.
    for (TColor32 c : readPictureFile(m_folder.write("opaque.bmp", bitmap24().file())).pixels) {
        EXPECT_EQ(AlphaComponent(c), 255u);
    }
}

} // namespace
} // namespace schauplatz::picture_test
