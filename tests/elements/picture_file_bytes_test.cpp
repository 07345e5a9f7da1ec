// The shared read of a whole picture file and the extension test: what comes back, and the
// reason given when nothing does.

#include "elements/PictureFileBytes.h"
#include "elements/codecs/PictureReasons.h"
#include "picture_fixtures.h"

#include <filesystem>
#include <fstream>

namespace schauplatz::picture_test {
namespace {

TEST(PictureFileBytes, ReadsTheWholeFile) {
    ScratchFolder folder;
    const Bytes content{0x42, 0x4D, 0x00, 0xFF, 0x7F};
    std::string reason = "stale";
    const auto bytes = ReadPictureBytes(folder.write("a.bmp", content), reason);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, content);
    EXPECT_EQ(reason, "");
}

TEST(PictureFileBytes, AnEmptyFileIsReadEmpty) {
    ScratchFolder folder;
    std::string reason;
    const auto bytes = ReadPictureBytes(folder.write("leer.png", {}), reason);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_TRUE(bytes->empty());
    EXPECT_EQ(reason, "");
}

TEST(PictureFileBytes, NamesWhyNothingWasRead) {
    ScratchFolder folder;
    std::string reason;
    EXPECT_FALSE(ReadPictureBytes(folder.path("fehlt.png"), reason));
    EXPECT_EQ(reason, reasons::missing());
    std::filesystem::create_directory(folder.path("Ordner.png"));
    EXPECT_FALSE(ReadPictureBytes(folder.path("Ordner.png"), reason));
    EXPECT_EQ(reason, reasons::folder());
}

TEST(PictureFileBytes, RefusesAFileLongerThanAnyPicture) {
    ScratchFolder folder;
    const std::string path = folder.path("gross.bmp");
    { std::ofstream create(path, std::ios::binary); }
    // Sparse: no disk space is taken for the length.
    std::filesystem::resize_file(path, kMaxPictureFileBytes + 1);
    std::string reason;
    EXPECT_FALSE(ReadPictureBytes(path, reason));
    EXPECT_EQ(reason, reasons::tooLarge(0, 0));
}

TEST(PictureFileBytes, UpperExtensionLooksAtTheLastNameOnly) {
    EXPECT_EQ(UpperExtension("/a/b/Tür.jpeg"), ".JPEG");
    EXPECT_EQ(UpperExtension("Tür.Png"), ".PNG");
    EXPECT_EQ(UpperExtension("/a.b/ohne"), "");
    EXPECT_EQ(UpperExtension("ohne"), "");
    EXPECT_EQ(UpperExtension("/a/x.tar.gz"), ".GZ");
    EXPECT_EQ(UpperExtension("/a/Ende."), ".");
}

} // namespace
} // namespace schauplatz::picture_test
