// "Bild in Zwischenablage kopieren" puts the background on the clipboard twice: as an image
// and as PNG data ("image/png"), which reads back to the same colours, opaque.

#include "QtTestApp.h"
#include "elements/PictureFiles.h"
#include "elements/codecs/PngCodec.h"
#include "platform/MainWindow.h"
#include "testsupport/ScriptedDialogs.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace schauplatz {
namespace {

TEST(ClipboardPng, PngDataHoldsTheBackgroundsColourChannels) {
    testing::testApp();
    testing::TempFolder folder;
    TBitmap32 facade;
    facade.SetSize(70, 45);
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 70; ++x) // some pixels transparent: the copy carries colour only
            facade.SetPixel(x, y,
                            ((x + y) % 4 == 0 ? 0x10000000u : 0xFF000000u) |
                                (static_cast<TColor32>(x * 3) << 16) |
                                (static_cast<TColor32>(y * 5) << 8) |
                                static_cast<TColor32>((x * y) & 0xFF));
    const std::string path = folder.path() + "facade.bmp";
    WriteBitmapFile(facade, path);
    MainWindow window(folder.path());
    window.setDialogAnswer(testing::ScriptedDialogs().otherwise(path).answerer());
    window.action("FassadeLaden1")->trigger();
    QApplication::clipboard()->clear();
    window.action("InZwischenablagekopieren1")->trigger();

    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    ASSERT_TRUE(data->hasFormat("image/png"));
    ASSERT_TRUE(data->hasImage());
    const QByteArray png = data->data("image/png");
    DecodedPicture pasted;
    ASSERT_TRUE(decodePng(ByteSpan(reinterpret_cast<const std::uint8_t*>(png.constData()),
                                   static_cast<std::size_t>(png.size())),
                          pasted, PngAlpha::Keep));
    const TBitmap32& background = window.form().ImageHintergrund.Bitmap();
    ASSERT_EQ(pasted.width, 70);
    ASSERT_EQ(pasted.height, 45);
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 70; ++x)
            ASSERT_EQ(pasted.at(x, y), background.GetPixel(x, y) | 0xFF000000u) << x << ", " << y;
    // The image form says the same.
    const QImage image = QApplication::clipboard()->image();
    ASSERT_EQ(image.width(), 70);
    EXPECT_EQ(image.pixel(5, 7) | 0xFF000000u, background.GetPixel(5, 7) | 0xFF000000u);
}

} // namespace
} // namespace schauplatz
