// The shipped sample pictures: what the program folder must offer, and that
// the committed files are what the generator draws today.

#include "SupportTestHelpers.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>

#ifdef SCHAUPLATZ_ASSETS_DIR

namespace schauplatz {
namespace {

namespace fs = std::filesystem;

const std::string kMuster = std::string(SCHAUPLATZ_ASSETS_DIR) + "/Muster/";
const std::string kElements = kMuster + "Haust\xC3\xBCren/";

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}
std::uint32_t be32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

// Width and height from the first start-of-frame marker of a JPEG.
std::pair<int, int> jpegSize(const std::string& bytes) {
    std::size_t at = 2;
    while (at + 9 < bytes.size() && static_cast<unsigned char>(bytes[at]) == 0xFF) {
        const unsigned marker = static_cast<unsigned char>(bytes[at + 1]);
        const std::size_t length = static_cast<unsigned char>(bytes[at + 2]) * 256u +
                                   static_cast<unsigned char>(bytes[at + 3]);
        if (marker >= 0xC0 && marker <= 0xC2) {
            const int height = static_cast<unsigned char>(bytes[at + 5]) * 256 +
                               static_cast<unsigned char>(bytes[at + 6]);
            const int width = static_cast<unsigned char>(bytes[at + 7]) * 256 +
                              static_cast<unsigned char>(bytes[at + 8]);
            return {width, height};
        }
        at += 2 + length;
    }
    return {0, 0};
}

TEST(SamplePictures, FacadeAndAPatternFolderOfEveryKind) {
    const std::string facade = testing::readFile(kMuster + "Fassade/Fassade.jpg");
    ASSERT_FALSE(facade.empty());
    EXPECT_EQ(jpegSize(facade), std::make_pair(1600, 1067));

    std::map<std::string, int> kinds;
    bool blankAndUmlaut = false;
    std::uintmax_t total = fs::file_size(kMuster + "Fassade/Fassade.jpg");
    int count = 0;
    for (const auto& entry : fs::directory_iterator(kElements)) {
        const std::string name = entry.path().filename().string();
        const std::string bytes = testing::readFile(entry.path().string());
        total += bytes.size();
        ++count;
        blankAndUmlaut = blankAndUmlaut || (name.find(' ') != std::string::npos &&
                                            name.find("\xC3\xBC") != std::string::npos);
        const std::string extension = entry.path().extension().string();
        int width = 0;
        int height = 0;
        if (extension == ".bmp") {
            ++kinds["bmp" + std::to_string(bytes[28])];
            width = static_cast<int>(le32(bytes, 18));
            height = static_cast<int>(le32(bytes, 22));
        } else if (extension == ".png") {
            ASSERT_EQ(bytes.substr(1, 3), "PNG") << name;
            ++kinds[bytes[25] == 6 ? "png-alpha" : "png"];
            width = static_cast<int>(be32(bytes, 16));
            height = static_cast<int>(be32(bytes, 20));
        } else if (extension == ".jpg") {
            ++kinds["jpg"];
            std::tie(width, height) = jpegSize(bytes);
        }
        EXPECT_GE(width, 200) << name;
        EXPECT_LE(width, 600) << name;
        EXPECT_GE(height, 300) << name;
        EXPECT_LE(height, 900) << name;
    }
    EXPECT_GE(count, 6);
    EXPECT_LE(count, 10);
    EXPECT_TRUE(blankAndUmlaut);
    EXPECT_EQ(kinds.count("bmp24"), 1u);
    EXPECT_EQ(kinds.count("bmp32"), 1u);
    EXPECT_EQ(kinds.count("png"), 1u);
    EXPECT_EQ(kinds.count("png-alpha"), 1u);
    EXPECT_EQ(kinds.count("jpg"), 1u);
    EXPECT_LT(total, 3u * 1024 * 1024);
}

TEST(SamplePictures, BmpFilesHaveTheClassicHeaderAndBottomUpRows) {
    for (const std::string name : {"Haust\xC3\xBCr Eiche.bmp", "Rundbogent\xC3\xBCr.bmp"}) {
        const std::string bytes = testing::readFile(kElements + name);
        ASSERT_GT(bytes.size(), 54u) << name;
        const std::uint32_t width = le32(bytes, 18);
        const std::uint32_t height = le32(bytes, 22);
        const unsigned bits = static_cast<unsigned char>(bytes[28]);
        const std::uint32_t rowBytes = (width * bits / 8 + 3) / 4 * 4;
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        EXPECT_EQ(le32(bytes, 2), bytes.size());
        EXPECT_EQ(le32(bytes, 10), 54u) << "pixels straight after the 54-byte header";
        EXPECT_EQ(le32(bytes, 14), 40u);
        EXPECT_EQ(bytes[26], 1);
        EXPECT_EQ(le32(bytes, 30), 0u) << "no compression";
        EXPECT_EQ(bytes.size(), 54u + rowBytes * height) << name;
        if (bits == 24) {
            // Padding bytes at the end of every row are zero.
            for (std::uint32_t row = 0; row < height && width * 3 != rowBytes; ++row) {
                for (std::uint32_t pad = width * 3; pad < rowBytes; ++pad) {
                    ASSERT_EQ(bytes[54 + row * rowBytes + pad], 0) << name << " row " << row;
                }
            }
        } else {
            ASSERT_EQ(bits, 32u);
            // The arch: the top corners (last rows of the file) are fully
            // transparent and empty, the foot of the door is opaque.
            const auto pixel = [&](std::uint32_t x, std::uint32_t yFromTop) {
                return le32(bytes, 54 + (height - 1 - yFromTop) * rowBytes + x * 4);
            };
            EXPECT_EQ(pixel(0, 0), 0u);
            EXPECT_EQ(pixel(width - 1, 0), 0u);
            EXPECT_EQ(pixel(3, 20), 0u);
            EXPECT_EQ(pixel(width / 2, 2) >> 24, 255u) << "the apex is inside";
            EXPECT_EQ(pixel(0, height - 1) >> 24, 255u);
            EXPECT_EQ(pixel(width - 1, height - 1) >> 24, 255u);
        }
    }
}

TEST(SamplePictures, GeneratorReproducesTheShippedBitmaps) {
    testing::ScratchFolder scratch;
    const std::string command = std::string("\"") + SCHAUPLATZ_PROGRAM_DIR + "/make_samples\" \"" +
                                scratch.path() + "out\" > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const auto& entry : fs::directory_iterator(kElements)) {
        const std::string name = entry.path().filename().string();
        const std::string fresh =
            testing::readFile(scratch.path() + "out/Haust\xC3\xBCren/" + name);
        ASSERT_FALSE(fresh.empty()) << name << " is no longer drawn";
        // Our own BMP writer is byte-exact; the compressed formats depend on
        // the library versions, so only their presence is checked.
        if (entry.path().extension() == ".bmp") {
            EXPECT_TRUE(fresh == testing::readFile(entry.path().string()))
                << name << " differs from what make_samples draws now";
        }
    }
    EXPECT_TRUE(fs::exists(scratch.path() + "out/Fassade/Fassade.jpg"));
}

} // namespace
} // namespace schauplatz

#endif
