// Metafile inputs the fuzzer found, kept as tests.

#include "metafile_writer.h"
#include "picture_fixtures.h"

#include "elements/PictureFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace schauplatz {
namespace {

using testing_metafile::EmfWriter;

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A 206-byte plain WMF whose drawing spans about 19800 x 11800 units: drawn twice at one pixel
// per unit it asked for gigabytes. Metafile pictures are capped at 2^25 pixels.
TEST(MetafileFuzzRegression, HugeDrawingOfATinyFileIsRefusedNotAllocated) {
    picture_test::ScratchFolder folder;
    const auto bytes = fileBytes(std::string(SCHAUPLATZ_TEST_DATA) + "/../../fuzz/regressions/" +
                                 "picture_wmf-oom-112da360.wmf");
    ASSERT_EQ(bytes.size(), 206u);
    TBitmap32 picture;
    ReadPictureFile(picture, folder.write("huge.wmf", bytes));
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
}

TEST(MetafileFuzzRegression, TheCapLiesBetweenTheseFrames) {
    picture_test::ScratchFolder folder;
    TBitmap32 picture;
    ReadPictureFile(picture, folder.write("fits.emf", EmfWriter(8184, 4080).finish()));
    EXPECT_EQ(picture.Width(), 8184);
    ReadPictureFile(picture, folder.write("over.emf", EmfWriter(8208, 4104).finish()));
    EXPECT_EQ(picture.Width(), 0) << "8208 x 4104 is above 2^25 pixels";
}

} // namespace
} // namespace schauplatz
