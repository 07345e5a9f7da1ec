// "Aktuelles Bild speichern" as PNG and JPEG: what is written reads back (PNG exactly, JPEG
// within the codec's tolerance), with the promised settings; the file type follows the name
// or the dialog's choice; and a failing file system never damages an existing file.

#include "new_format_fixtures.h"

#include "elements/PictureExport.h"
#include "elements/PictureFiles.h"
#include "elements/PictureFilesDialog.h"
#include "elements/codecs/ExifOrientation.h"
#include "support/FileSystem.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <jpeglib.h>
#include <map>

namespace schauplatz::picture_test {
namespace {

// Every colour channel value in every position, and alpha values that must not matter.
TBitmap32 testPicture(std::int32_t width, std::int32_t height) {
    TBitmap32 picture;
    picture.SetSize(width, height);
    for (std::int32_t i = 0; i < width * height; ++i)
        picture.Bits()[i] =
            (static_cast<TColor32>(i * 37 % 256) << 24) | (static_cast<TColor32>(i % 256) << 16) |
            (static_cast<TColor32>(i / 7 % 256) << 8) | static_cast<TColor32>(255 - i % 256);
    return picture;
}

std::vector<TColor32> opaque(std::vector<TColor32> pixels) {
    for (TColor32& c : pixels)
        c |= 0xFF000000u;
    return pixels;
}

TEST(PictureExport, PngHoldsTheColourChannelsExactly) {
    ScratchFolder folder;
    const TBitmap32 picture = testPicture(300, 70);
    const std::string path = folder.path("Ergebnis.png");
    WritePngPicture(picture, path);
    const Bytes file = readBytes(path);
    // 8-bit RGB, not interlaced: IHDR depth 8, colour type 2.
    ASSERT_GE(file.size(), 33u);
    EXPECT_EQ(file[24], 8);
    EXPECT_EQ(file[25], 2);
    EXPECT_EQ(file[28], 0);
    // The picture reader gives back exactly the colours, opaque.
    EXPECT_TRUE(samePicture(readPictureFile(path), 300, 70, opaque(pixelsOf(picture))));
}

// libjpeg's view of a written file: sampling factors and the first quantisation value.
struct JpegFacts {
    int components = 0;
    int samplingFactors[3][2] = {};
    int firstLuminanceQuant = 0;
    bool jfif = false;
};
struct FactsError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};
extern "C" void factsStop(j_common_ptr info) {
    std::longjmp(reinterpret_cast<FactsError*>(info->err)->jump, 1);
}
bool readFacts(jpeg_decompress_struct* d, const Bytes* data, JpegFacts* facts) {
    if (setjmp(reinterpret_cast<FactsError*>(d->err)->jump)) return false;
    jpeg_create_decompress(d);
    jpeg_mem_src(d, data->data(), static_cast<unsigned long>(data->size()));
    jpeg_read_header(d, TRUE);
    facts->components = d->num_components;
    for (int i = 0; i < 3 && i < d->num_components; ++i) {
        facts->samplingFactors[i][0] = d->comp_info[i].h_samp_factor;
        facts->samplingFactors[i][1] = d->comp_info[i].v_samp_factor;
    }
    facts->firstLuminanceQuant = d->quant_tbl_ptrs[0]->quantval[0];
    facts->jfif = d->saw_JFIF_marker;
    return true;
}
JpegFacts jpegFacts(const Bytes& data) {
    jpeg_decompress_struct d{};
    FactsError error{};
    d.err = jpeg_std_error(&error.base);
    error.base.error_exit = factsStop;
    JpegFacts facts;
    const bool ok = readFacts(&d, &data, &facts);
    jpeg_destroy_decompress(&d);
    if (!ok) throw std::runtime_error("not a JPEG");
    return facts;
}

TEST(PictureExport, JpegIsQuality92FullChromaMarkedSrgbAndReadsBackClose) {
    ScratchFolder folder;
    const RgbaPicture source = gradientPicture(160, 96, false);
    TBitmap32 picture;
    picture.SetSize(source.width, source.height);
    const std::vector<TColor32> colours = source.colours();
    std::copy(colours.begin(), colours.end(), picture.Bits());
    const std::string path = folder.path("Ergebnis.jpg");
    WriteJpegPicture(picture, path);
    const Bytes file = readBytes(path);
    const JpegFacts facts = jpegFacts(file);
    EXPECT_EQ(facts.components, 3);
    for (const auto& factors : facts.samplingFactors) {
        EXPECT_EQ(factors[0], 1);
        EXPECT_EQ(factors[1], 1);
    }
    // The standard luminance table's 16 scaled for quality 92 (scale 16 %): 3.
    EXPECT_EQ(facts.firstLuminanceQuant, 3);
    EXPECT_TRUE(facts.jfif);
    // EXIF: upright, and ColorSpace (0xA001) = 1, sRGB.
    EXPECT_EQ(jpegOrientation(file), 1);
    const Bytes colourSpace = {0x01, 0xA0, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00};
    EXPECT_NE(std::search(file.begin(), file.end(), colourSpace.begin(), colourSpace.end()),
              file.end());
    const ReadResult back = readPictureFile(path);
    ASSERT_EQ(back.width, 160);
    ASSERT_EQ(back.height, 96);
    EXPECT_LE(largestDifference(back.pixels, colours), 12);
}

TEST(PictureExport, WritePictureFileWritesTheChosenType) {
    ScratchFolder folder;
    const TBitmap32 picture = testPicture(20, 10);
    WritePictureFile(picture, folder.path("a"), PictureFileType::Bmp);
    WritePictureFile(picture, folder.path("b"), PictureFileType::Png);
    WritePictureFile(picture, folder.path("c"), PictureFileType::Jpeg);
    EXPECT_EQ(readBytes(folder.path("a")).size(), 54u + 20 * 10 * 4);
    EXPECT_EQ(readBytes(folder.path("b"))[1], 'P');
    EXPECT_EQ(readBytes(folder.path("c"))[0], 0xFF);
    TBitmap32 empty;
    EXPECT_THROW(WritePngPicture(empty, folder.path("d.png")), EPictureFileError);
    EXPECT_THROW(WriteJpegPicture(empty, folder.path("d.jpg")), EPictureFileError);
    EXPECT_FALSE(std::filesystem::exists(folder.path("d.png")));
}

TEST(PictureSaveDialog, FilterListsBitmapsFirstThenPngAndJpeg) {
    EXPECT_EQ(PictureSaveFilter(), "Bitmaps (*.bmp)|*.bmp|Portable Network Graphics (*.png)|*.png|"
                                   "JPEG-Grafikdatei (*.jpg;*.jpeg)|*.jpg;*.jpeg");
    EXPECT_EQ(DialogFilterText(PictureSaveFilterEntries()),
              "Bitmaps (*.bmp);;Portable Network Graphics (*.png);;"
              "JPEG-Grafikdatei (*.jpg *.jpeg)");
    EXPECT_EQ(PictureSaveFilterIndex("Bitmaps (*.bmp)"), 0);
    EXPECT_EQ(PictureSaveFilterIndex("Portable Network Graphics"), 1);
    EXPECT_EQ(PictureSaveFilterIndex("JPEG-Grafikdatei (*.jpg *.jpeg)"), 2);
    EXPECT_EQ(PictureSaveFilterIndex("JPEG-Grafikdatei (*.jpg;*.jpeg)"), 2);
    EXPECT_EQ(PictureSaveFilterIndex("Alle (*.*)"), -1);
}

TEST(PictureSaveDialog, NameExtensionDecidesElseTheChosenEntry) {
    using T = PictureFileType;
    EXPECT_EQ(ChoosePictureSaveTarget("/a/Bild.PNG", 0),
              (PictureSaveTarget{T::Png, "/a/Bild.PNG"}));
    EXPECT_EQ(ChoosePictureSaveTarget("/a/Bild.jpeg", 1),
              (PictureSaveTarget{T::Jpeg, "/a/Bild.jpeg"}));
    EXPECT_EQ(ChoosePictureSaveTarget("/a/Bild.Jpg", -1),
              (PictureSaveTarget{T::Jpeg, "/a/Bild.Jpg"}));
    EXPECT_EQ(ChoosePictureSaveTarget("/a/Bild.bmp", 2),
              (PictureSaveTarget{T::Bmp, "/a/Bild.bmp"}));
    // No extension: the chosen entry's type and extension.
    EXPECT_EQ(ChoosePictureSaveTarget("/a/Bild", 1), (PictureSaveTarget{T::Png, "/a/Bild.png"}));
    EXPECT_EQ(ChoosePictureSaveTarget("/a/Bild", 2), (PictureSaveTarget{T::Jpeg, "/a/Bild.jpg"}));
    EXPECT_EQ(ChoosePictureSaveTarget("/a/Bild", -1), (PictureSaveTarget{T::Bmp, "/a/Bild.bmp"}));
    EXPECT_EQ(ChoosePictureSaveTarget("/a.b/Bild", 7),
              (PictureSaveTarget{T::Bmp, "/a.b/Bild.bmp"}));
    // Another extension stays, written as the chosen type (BMP by default, as before).
    EXPECT_EQ(ChoosePictureSaveTarget("/a/Bild.tif", 0),
              (PictureSaveTarget{T::Bmp, "/a/Bild.tif"}));
    EXPECT_EQ(ChoosePictureSaveTarget("/a/Bild.tif", 1),
              (PictureSaveTarget{T::Png, "/a/Bild.tif"}));
}

using Operation = FaultInjectingFileSystem::Operation;

// Every step of the write failing in turn: the old file stays byte-identical or the new one
// is complete, nothing is left beside it, and the error names the file.
void checkFaults(PictureFileType type, const std::string& name) {
    ScratchFolder folder;
    const TBitmap32 picture = testPicture(640, 400);
    const std::string path = folder.path(name);
    const std::string reference = folder.path("reference");
    std::map<Operation, int> steps;
    {
        FaultInjectingFileSystem counting(realFileSystem());
        ScopedFileSystemOverride use(counting);
        WritePictureFile(picture, reference, type);
        for (Operation operation : {Operation::Open, Operation::Write, Operation::Sync,
                                    Operation::Close, Operation::Rename, Operation::SyncDirectory})
            steps[operation] = counting.count(operation);
    }
    const Bytes complete = readBytes(reference);
    std::filesystem::remove(reference);
    ASSERT_EQ(steps[Operation::Rename], 1);
    const Bytes old(777, 0x5C);
    for (const auto& [operation, count] : steps) {
        for (int nth = 1; nth <= count; ++nth) {
            for (const bool shortWrite : {false, true}) {
                if (shortWrite && operation != Operation::Write) continue;
                SCOPED_TRACE("operation " + std::to_string(static_cast<int>(operation)) + " #" +
                             std::to_string(nth) + (shortWrite ? " short" : ""));
                folder.write(name, old);
                bool failed = false;
                {
                    FaultInjectingFileSystem faulty(realFileSystem());
                    faulty.failOn(operation, nth, ENOSPC, shortWrite);
                    ScopedFileSystemOverride use(faulty);
                    try {
                        WritePictureFile(picture, path, type);
                    } catch (const EPictureFileError& error) {
                        failed = true;
                        EXPECT_NE(std::string(error.what()).find(path), std::string::npos);
                        EXPECT_NE(std::string(error.what()).find(std::strerror(ENOSPC)),
                                  std::string::npos);
                    }
                }
                EXPECT_EQ(readBytes(path), failed ? old : complete);
                EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path("")),
                                        std::filesystem::directory_iterator()),
                          1)
                    << "a temporary file was left behind";
            }
        }
    }
}

TEST(PictureExportFault, PngWriteFailingAtAnyStepLeavesTheOldFile) {
    checkFaults(PictureFileType::Png, "Ergebnis.png");
}

TEST(PictureExportFault, JpegWriteFailingAtAnyStepLeavesTheOldFile) {
    checkFaults(PictureFileType::Jpeg, "Ergebnis.jpg");
}

} // namespace
} // namespace schauplatz::picture_test
