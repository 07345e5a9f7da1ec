// The picture dialogs' filters, built from the format table.

#include "elements/PictureFilesDialog.h"

#include <gtest/gtest.h>

namespace schauplatz {
namespace {

TEST(PictureDialogFilter, ClassicFormInTableOrder) {
    EXPECT_EQ(PictureDialogFilter(), "Alle (*.png;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|"
                                     "*.png;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf|"
                                     "Portable Network Graphics (*.png)|*.png|"
                                     "JPEG-Grafikdatei (*.jpg)|*.jpg|"
                                     "JPEG-Grafikdatei (*.jpeg)|*.jpeg|"
                                     "Bitmaps (*.bmp)|*.bmp|"
                                     "Symbole (*.ico)|*.ico|"
                                     "Erweiterte Metadateien (*.emf)|*.emf|"
                                     "Metadateien (*.wmf)|*.wmf");
}

TEST(PictureDialogFilter, ToolkitFormHasSpaceSeparatedPatternsAndAllFirst) {
    const std::vector<FileFilterEntry> entries = PictureDialogFilterEntries();
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_EQ(DialogFilterText(entries.front()),
              "Alle (*.png *.jpg *.jpeg *.bmp *.ico *.emf *.wmf)");
    EXPECT_EQ(DialogFilterText(entries),
              "Alle (*.png *.jpg *.jpeg *.bmp *.ico *.emf *.wmf);;"
              "Portable Network Graphics (*.png);;JPEG-Grafikdatei (*.jpg);;"
              "JPEG-Grafikdatei (*.jpeg);;Bitmaps (*.bmp);;Symbole (*.ico);;"
              "Erweiterte Metadateien (*.emf);;Metadateien (*.wmf)");
}

TEST(PictureDialogFilter, BitmapSaveDialog) {
    EXPECT_EQ(BitmapSaveFilter(), "Bitmaps (*.bmp)|*.bmp");
    EXPECT_EQ(DialogFilterText(BitmapSaveFilterEntries()), "Bitmaps (*.bmp)");
    EXPECT_EQ(kBitmapDefaultExtension, "bmp");
    EXPECT_EQ(kPictureDialogTitle, "Bild Laden");
}

} // namespace
} // namespace schauplatz
