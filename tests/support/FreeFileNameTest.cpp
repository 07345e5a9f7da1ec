// Free file names: both ways of taking a name give the same names in the same order, and
// neither replaces what a folder holds.

#include "SupportTestHelpers.h"

#include "support/FileSystem.h"
#include "support/FreeFileName.h"

#include <filesystem>

namespace schauplatz::testing {
namespace {

TEST(FreeFileName, SplitsBeforeTheLastDot) {
    EXPECT_EQ(SplitFileName("Tür.png").stem, "Tür");
    EXPECT_EQ(SplitFileName("Tür.png").extension, ".png");
    EXPECT_EQ(SplitFileName("a.b.jpeg").stem, "a.b");
    EXPECT_EQ(SplitFileName("a.b.jpeg").extension, ".jpeg");
    EXPECT_EQ(SplitFileName("Bild").stem, "Bild");
    EXPECT_EQ(SplitFileName("Bild").extension, "");
    EXPECT_EQ(SplitFileName(".profile").stem, ".profile");
    EXPECT_EQ(SplitFileName(".profile").extension, "");
    EXPECT_EQ(SplitFileName("Ende.").stem, "Ende");
    EXPECT_EQ(SplitFileName("Ende.").extension, ".");
}

TEST(FreeFileName, NumbersGoBeforeTheExtension) {
    EXPECT_EQ(NumberedFileName("Tür", ".png", 1), "Tür.png");
    EXPECT_EQ(NumberedFileName("Tür", ".png", 2), "Tür (2).png");
    EXPECT_EQ(NumberedFileName("Tür", ".png", 12), "Tür (12).png");
    EXPECT_EQ(NumberedFileName("Bild", "", 3), "Bild (3)");
}

class FreeFilePathTest : public ::testing::TestWithParam<FreeNameClaim> {};

TEST_P(FreeFilePathTest, TakesTheFirstNameNothingHolds) {
    ScratchFolder folder;
    const std::string& base = folder.path();
    EXPECT_EQ(FreeFilePath(base, "Tür", ".png", GetParam()), base + "Tür.png");
    writeFile(base + "Tür.png", "a");
    writeFile(base + "Tür (2).png", "b");
    // A dangling link holds its name too.
    std::filesystem::create_symlink(base + "nirgends", base + "Tür (3).png");
    const std::string path = FreeFilePath(base, "Tür", ".png", GetParam());
    EXPECT_EQ(path, base + "Tür (4).png");
    EXPECT_EQ(readFile(base + "Tür.png"), "a");
    EXPECT_EQ(readFile(base + "Tür (2).png"), "b");
    EXPECT_TRUE(std::filesystem::is_symlink(base + "Tür (3).png"));
    // Only the exclusive claim leaves a file behind.
    EXPECT_EQ(std::filesystem::exists(path), GetParam() == FreeNameClaim::CreateExclusive);
}

TEST_P(FreeFilePathTest, GivesUpAfterMaxTries) {
    ScratchFolder folder;
    const std::string& base = folder.path();
    writeFile(base + "x.bmp", "");
    writeFile(base + "x (2).bmp", "");
    EXPECT_EQ(FreeFilePath(base, "x", ".bmp", GetParam(), 2), "");
    EXPECT_EQ(FreeFilePath(base, "x", ".bmp", GetParam(), 3), base + "x (3).bmp");
}

INSTANTIATE_TEST_SUITE_P(BothClaims, FreeFilePathTest,
                         ::testing::Values(FreeNameClaim::Probe, FreeNameClaim::CreateExclusive));

TEST(FreeFileName, ExclusiveClaimsFollowEachOther) {
    ScratchFolder folder;
    const std::string& base = folder.path();
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(FreeFilePath(base, "Bild", ".png", FreeNameClaim::CreateExclusive),
                  base + NumberedFileName("Bild", ".png", n));
}

TEST(FreeFileName, ExclusiveClaimInAMissingFolderThrows) {
    ScratchFolder folder;
    EXPECT_THROW(
        FreeFilePath(folder.path() + "fehlt/", "Bild", ".png", FreeNameClaim::CreateExclusive),
        FileSystemError);
}

} // namespace
} // namespace schauplatz::testing
