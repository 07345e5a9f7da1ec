// WriteBitmapFile: the exact 54-byte header, round trips through the reader,
// and failures that leave an existing file alone.

#include "elements/PictureFiles.h"
#include "picture_fixtures.h"
#include "support/FileSystem.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <random>

namespace schauplatz::picture_test {
namespace {

void fillRandom(TBitmap32& picture, std::int32_t width, std::int32_t height, unsigned seed) {
    picture.SetSize(width, height);
    std::mt19937 random(seed);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x)
            picture.SetPixel(x, y, random());
    }
}

TEST(BitmapFileWrite, HeaderIsExactlyTheFixedLayout) {
    TBitmap32 picture;
    picture.SetSize(3, 2);
    const std::vector<TColor32> colours = {0x80112233, 0x00FFFFFF, 0xFF000000,
                                           0x01020304, 0xFEDCBA98, 0x7F7F7F7F};
    for (std::size_t i = 0; i < colours.size(); ++i)
        picture.Bits()[i] = colours[i];
    ScratchFolder folder;
    const std::string path = folder.path("out.bmp");
    WriteBitmapFile(picture, path);

    const Bytes bytes = readBytes(path);
    const Bytes expectedHeader = {
        'B',  'M',  78,   0,    0, 0,                               // file size 54 + 4 * 3 * 2
        0,    0,    0,    0,                                        // reserved
        54,   0,    0,    0,                                        // pixel offset
        40,   0,    0,    0,                                        // information header size
        3,    0,    0,    0,                                        // width
        0xFE, 0xFF, 0xFF, 0xFF,                                     // height -2: rows top to bottom
        1,    0,    32,   0,                                        // planes, bits per pixel
        0,    0,    0,    0,                                        // no compression
        24,   0,    0,    0,                                        // image size
        0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, // resolution and colour counts
    };
    ASSERT_EQ(bytes.size(), 78u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 54), expectedHeader);
    for (std::size_t i = 0; i < colours.size(); ++i) {
        EXPECT_EQ(get32(bytes, 54 + 4 * i), colours[i]) << "pixel " << i;
    }
}

TEST(BitmapFileWrite, RoundTripsOnAwkwardSizesRestoreEveryPixelWithAlpha) {
    ScratchFolder folder;
    const std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 7},   {7, 1},
                                                    {3, 3}, {11, 13}, {301, 301}};
    unsigned seed = 5;
    for (const auto& [width, height] : sizes) {
        TBitmap32 picture;
        fillRandom(picture, width, height, ++seed);
        const std::string path =
            folder.path("trip-" + std::to_string(width) + "x" + std::to_string(height) + ".bmp");
        WriteBitmapFile(picture, path);
        const Bytes bytes = readBytes(path);
        EXPECT_EQ(bytes.size(), 54u + 4u * width * height);
        EXPECT_EQ(static_cast<std::int32_t>(get32(bytes, 22)), -height);
        // Read back as a picture file and under a foreign name: the same pixels either way.
        EXPECT_TRUE(samePicture(readPictureFile(path), width, height, pixelsOf(picture)))
            << width << " x " << height << ", seed " << seed;
        const std::string renamed = path + ".jpg";
        std::filesystem::copy_file(path, renamed);
        EXPECT_TRUE(samePicture(readPictureFile(renamed), width, height, pixelsOf(picture)));
    }
}

TEST(BitmapFileWrite, EmptyPictureWritesTheHeaderOnly) {
    ScratchFolder folder;
    TBitmap32 picture;
    const std::string path = folder.path("empty.bmp");
    WriteBitmapFile(picture, path);
    EXPECT_EQ(readBytes(path).size(), 54u);
    EXPECT_EQ(readPictureFile(path).width, 0);
}

TEST(BitmapFileWrite, ReplacesAnExistingFile) {
    ScratchFolder folder;
    const std::string path = folder.write("old.bmp", Bytes(1000, 0xAB));
    TBitmap32 picture;
    fillRandom(picture, 2, 2, 1);
    WriteBitmapFile(picture, path);
    EXPECT_EQ(readBytes(path).size(), 54u + 16u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path("")),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(BitmapFileWrite, UnwritablePlacesRaiseAnErrorNamingTheFile) {
    ScratchFolder folder;
    TBitmap32 picture;
    fillRandom(picture, 2, 2, 2);
    const std::string missingFolder = folder.path("no/such/folder/out.bmp");
    try {
        WriteBitmapFile(picture, missingFolder);
        FAIL() << "no error";
    } catch (const EPictureFileError& error) {
        EXPECT_NE(std::string(error.what()).find(missingFolder), std::string::npos) << error.what();
    }
    std::filesystem::create_directory(folder.path("a-folder.bmp"));
    EXPECT_THROW(WriteBitmapFile(picture, folder.path("a-folder.bmp")), EPictureFileError);
    EXPECT_TRUE(std::filesystem::is_directory(folder.path("a-folder.bmp")));
}

TEST(BitmapFileWrite, FailureWhileWritingLeavesTheOldFileInPlace) {
    ScratchFolder folder;
    const Bytes old(300, 0x5C);
    const std::string path = folder.write("keep.bmp", old);
    TBitmap32 picture;
    fillRandom(picture, 20, 20, 3);
    using Op = FaultInjectingFileSystem::Operation;
    for (const auto& [operation, shortWrite] :
         std::vector<std::pair<Op, bool>>{{Op::Write, true},
                                          {Op::Write, false},
                                          {Op::Sync, false},
                                          {Op::Close, false},
                                          {Op::Rename, false},
                                          {Op::Open, false}}) {
        FaultInjectingFileSystem faulty(realFileSystem());
        faulty.failOn(operation, 1, ENOSPC, shortWrite);
        ScopedFileSystemOverride override(faulty);
        try {
            WriteBitmapFile(picture, path);
            ADD_FAILURE() << "no error for operation " << static_cast<int>(operation);
        } catch (const EPictureFileError& error) {
            EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
        }
        EXPECT_EQ(readBytes(path), old) << "operation " << static_cast<int>(operation);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path("")),
                                std::filesystem::directory_iterator()),
                  1)
            << "a temporary file was left behind";
    }
}

} // namespace
} // namespace schauplatz::picture_test
