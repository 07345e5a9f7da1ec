#include "metafile_writer.h"
#include "picture_fixtures.h"

#include "elements/PictureFiles.h"

#include <gtest/gtest.h>

namespace schauplatz {
namespace {

using testing_metafile::EmfWriter;
using testing_metafile::WmfWriter;

TEST(MetafileRead, WhiteAndRedPlayingsGiveTransparencyWhereNothingWasDrawn) {
    picture_test::ScratchFolder folder;
    EmfWriter emf(24, 24);
    emf.brush(1, 2, 0x0000FF, 0)
        .select(1)
        .select(0x80000008)
        .record(18, {1}); // red lines, transparent gaps
    emf.rectangle(0, 0, 17, 17);
    emf.brush(2, 0, 0xFFFFFF).select(2).rectangle(16, 16, 24, 24); // opaque white square
    TBitmap32 picture;
    ReadPictureFile(picture, folder.write("drawing.EMF", emf.finish()));
    ASSERT_EQ(picture.Width(), 24);
    ASSERT_EQ(picture.Height(), 24);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
            TColor32 expected = 0x00FFFFFFu; // untouched: white's colour, alpha 0
            if (x < 16 && y < 16 && y % 8 == 0) expected = 0xFFFF0000u;
            if (x >= 16 && x < 23 && y >= 16 && y < 23) expected = 0xFFFFFFFFu;
            ASSERT_EQ(picture.GetPixel(x, y), expected) << x << "," << y;
        }
    }
}

TEST(MetafileRead, WmfByExtensionAndDamagedFilesGiveEmptyPictures) {
    picture_test::ScratchFolder folder;
    WmfWriter wmf;
    wmf.record(0x02FC, {0, 0, 0, 0}).record(0x012D, {0}).record(0x041B, {10, 10, 2, 2});
    TBitmap32 picture;
    ReadPictureFile(picture, folder.write("door.wmf", wmf.finish(true, 0, 0, 12, 12, 96)));
    ASSERT_EQ(picture.Width(), 12);
    EXPECT_EQ(picture.GetPixel(5, 5), 0xFF000000u);
    EXPECT_EQ(picture.GetPixel(0, 0) >> 24, 0u);
    ReadPictureFile(picture,
                    folder.write("text.emf", picture_test::Bytes{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
    ReadPictureFile(picture, folder.write("swapped.wmf", EmfWriter(24, 24).finish()));
    EXPECT_EQ(picture.Width(), 0);
}

} // namespace
} // namespace schauplatz
