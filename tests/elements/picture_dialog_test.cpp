// The picture dialogs' filters, built from the format table.

#include "elements/PictureFilesDialog.h"

#include <gtest/gtest.h>

namespace schauplatz {
namespace {

// The general picture loader's formats in their order, then those read when the user loads
// a picture (HEIC, HEIF, AVIF, WebP).
TEST(PictureDialogFilter, ClassicFormInTableOrder) {
    EXPECT_EQ(PictureDialogFilter(), "Alle (*.png;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf;*.heic;"
                                     "*.heif;*.avif;*.webp)|"
                                     "*.png;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf;*.heic;*.heif;"
                                     "*.avif;*.webp|"
                                     "Portable Network Graphics (*.png)|*.png|"
                                     "JPEG-Grafikdatei (*.jpg)|*.jpg|"
                                     "JPEG-Grafikdatei (*.jpeg)|*.jpeg|"
                                     "Bitmaps (*.bmp)|*.bmp|"
                                     "Symbole (*.ico)|*.ico|"
                                     "Erweiterte Metadateien (*.emf)|*.emf|"
                                     "Metadateien (*.wmf)|*.wmf|"
                                     "HEIC-Grafikdatei (*.heic)|*.heic|"
                                     "HEIF-Grafikdatei (*.heif)|*.heif|"
                                     "AVIF-Grafikdatei (*.avif)|*.avif|"
                                     "WebP-Grafikdatei (*.webp)|*.webp");
}

TEST(PictureDialogFilter, ToolkitFormHasSpaceSeparatedPatternsAndAllFirst) {
    const std::vector<FileFilterEntry> entries = PictureDialogFilterEntries();
    ASSERT_EQ(entries.size(), 12u);
    EXPECT_EQ(DialogFilterText(entries.front()),
              "Alle (*.png *.jpg *.jpeg *.bmp *.ico *.emf *.wmf *.heic *.heif *.avif *.webp)");
    EXPECT_EQ(DialogFilterText(entries),
              "Alle (*.png *.jpg *.jpeg *.bmp *.ico *.emf *.wmf *.heic *.heif *.avif *.webp);;"
              "Portable Network Graphics (*.png);;JPEG-Grafikdatei (*.jpg);;"
              "JPEG-Grafikdatei (*.jpeg);;Bitmaps (*.bmp);;Symbole (*.ico);;"
              "Erweiterte Metadateien (*.emf);;Metadateien (*.wmf);;HEIC-Grafikdatei (*.heic);;"
              "HEIF-Grafikdatei (*.heif);;AVIF-Grafikdatei (*.avif);;WebP-Grafikdatei (*.webp)");
}

TEST(PictureDialogFilter, BitmapSaveDialog) {
    EXPECT_EQ(BitmapSaveFilter(), "Bitmaps (*.bmp)|*.bmp");
    EXPECT_EQ(DialogFilterText(BitmapSaveFilterEntries()), "Bitmaps (*.bmp)");
    EXPECT_EQ(kBitmapDefaultExtension, "bmp");
    EXPECT_EQ(kPictureDialogTitle, "Bild Laden");
}

} // namespace
} // namespace schauplatz
