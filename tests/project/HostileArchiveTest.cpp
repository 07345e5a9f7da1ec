// Damaged and hostile archives: whatever an archive holds, extraction writes only bare file
// names into the work folder, never fills the disk, reports the problem and removes a
// partly written file.

#include "ProjectTestSupport.h"
#include "project/TZipArchive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sys/stat.h>

namespace schauplatz {
namespace {

using namespace schauplatz::testing;
namespace fs = std::filesystem;

class HostileArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(work);
        fs::create_directories(outside);
        zip.OnMessage = [this](const std::string& text) { messages.push_back(text); };
    }

    bool extract() {
        zip.SetArchive(archive);
        return zip.ExtractAll(work);
    }

    // Nothing may appear anywhere in the test folder but the work folder's own files.
    void expectNothingOutsideWork() {
        std::vector<std::string> expected = {"boese.zip", "draussen", "werk"};
        for (const std::string& name : folderNames(work))
            expected.push_back("werk/" + name);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(treeNames(temp.path()), expected);
    }

    std::string allMessages() const {
        std::string text;
        for (const std::string& message : messages)
            text += message + "\n";
        return text;
    }

    TempFolder temp;
    std::string work = temp / "werk/";
    std::string outside = temp / "draussen/";
    std::string archive = temp / "boese.zip";
    TZipArchive zip;
    std::vector<std::string> messages;
};

TEST_F(HostileArchiveTest, NamesWithFolderPartsOrDrivesGiveBareNames) {
    writeRawArchive(archive, {{"../draussen/eins.txt", "1"},
                              {outside + "zwei.txt", "2"},
                              {"C:\\draussen\\drei.txt", "3"},
                              {"..\\..\\vier.txt", "4"},
                              {"tief/im/ordner/fuenf.txt", "5"},
                              {"D:sechs.txt", "6"}});
    EXPECT_TRUE(extract()) << allMessages();
    EXPECT_EQ(folderNames(work), (std::vector<std::string>{"drei.txt", "eins.txt", "fuenf.txt",
                                                           "sechs.txt", "vier.txt", "zwei.txt"}));
    EXPECT_EQ(readBytes(work + "zwei.txt"), "2");
    expectNothingOutsideWork();
}

TEST_F(HostileArchiveTest, EmptyDotAndFolderNamesAreSkipped) {
    writeRawArchive(archive, {{".", "dot"},
                              {"..", "dotdot"},
                              {"a/..", "up"},
                              {"ordner/", ""},
                              {"b\\", "backslash folder"},
                              {"steuer\x01zeichen.txt", "control"},
                              {"gut.txt", "good"}});
    EXPECT_TRUE(extract()) << allMessages();
    EXPECT_EQ(folderNames(work), std::vector<std::string>{"gut.txt"});
    expectNothingOutsideWork();
}

TEST_F(HostileArchiveTest, DuplicateNamesFirstOneWins) {
    writeRawArchive(archive, {{"a.txt", "first"}, {"x/a.txt", "second"}, {"b.txt", "third"}});
    // Make the third entry carry exactly the first one's name as well.
    std::string bytes = readBytes(archive);
    for (const ZipRecord& record : centralDirectory(bytes)) {
        if (record.name != "b.txt") continue;
        bytes[centralNameOffset(record.centralOffset)] = 'a';
        bytes[localNameOffset(record.localOffset)] = 'a';
    }
    writeBytes(archive, bytes);
    EXPECT_TRUE(extract()) << allMessages();
    EXPECT_EQ(folderNames(work), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(readBytes(work + "a.txt"), "first");
}

TEST_F(HostileArchiveTest, LinksDevicesAndFolderEntriesAreSkipped) {
    writeRawArchive(archive, {{"verweis.txt", outside + "ziel.txt", false, S_IFLNK | 0777},
                              {"fifo", "", false, S_IFIFO | 0644},
                              {"ordner", "", false, S_IFDIR | 0755},
                              {"geraet", "", false, S_IFCHR | 0644},
                              {"normal.txt", "plain", false, S_IFREG | 0644}});
    EXPECT_TRUE(extract()) << allMessages();
    EXPECT_EQ(folderNames(work), std::vector<std::string>{"normal.txt"});
    expectNothingOutsideWork();
}

TEST_F(HostileArchiveTest, APlantedLinkInTheWorkFolderIsNotFollowed) {
    fs::create_symlink(outside + "ziel.txt", work + "a.txt");
    writeRawArchive(archive, {{"a.txt", "through the link"}});
    EXPECT_TRUE(extract()) << allMessages();
    EXPECT_FALSE(fs::exists(outside + "ziel.txt"));
    EXPECT_TRUE(fs::is_symlink(work + "a.txt"));
}

TEST_F(HostileArchiveTest, WrongCrcCostsOnlyThatEntry) {
    writeRawArchive(archive, {{"a.txt", std::string(5000, 'a')},
                              {"b.txt", std::string(5000, 'b')},
                              {"c.txt", std::string(5000, 'c')}});
    std::string bytes = readBytes(archive);
    for (const ZipRecord& record : centralDirectory(bytes)) {
        if (record.name != "b.txt") continue;
        put32(bytes, centralCrcOffset(record.centralOffset), record.crc ^ 0x1234);
        put32(bytes, localCrcOffset(record.localOffset), record.crc ^ 0x1234);
    }
    writeBytes(archive, bytes);
    EXPECT_FALSE(extract());
    EXPECT_EQ(folderNames(work), (std::vector<std::string>{"a.txt", "c.txt"}));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("\"b.txt\""), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("beschädigt"), std::string::npos) << messages[0];
}

TEST_F(HostileArchiveTest, DamagedCompressedDataIsReportedAndRemoved) {
    std::string noise;
    for (int i = 0; i < 20000; ++i)
        noise += static_cast<char>('a' + (i * 7919) % 26);
    writeRawArchive(archive, {{"kaputt.txt", noise}, {"heil.txt", "fine"}});
    std::string bytes = readBytes(archive);
    const ZipRecord record = centralDirectory(bytes).at(0);
    const std::size_t data = localDataOffset(bytes, record.localOffset);
    for (std::size_t i = record.compressedSize / 3; i < record.compressedSize / 2; ++i)
        bytes[data + i] = static_cast<char>(0xFF);
    writeBytes(archive, bytes);
    EXPECT_FALSE(extract());
    EXPECT_EQ(folderNames(work), std::vector<std::string>{"heil.txt"});
    EXPECT_NE(allMessages().find("kaputt.txt"), std::string::npos) << allMessages();
}

TEST_F(HostileArchiveTest, ATruncatedArchiveIsReported) {
    writeRawArchive(archive, {{"data.dat", std::string(4000, 'd')}, {"b.png", "png", true}});
    const std::string bytes = readBytes(archive);
    writeBytes(archive, bytes.substr(0, bytes.size() / 2));
    EXPECT_FALSE(extract());
    EXPECT_TRUE(folderNames(work).empty());
    EXPECT_FALSE(messages.empty());
    EXPECT_NE(allMessages().find(archive), std::string::npos) << allMessages();
}

// The declared size says 1000 bytes; the data unpacks to 3 MiB. The cap holds for the bytes
// really unpacked, so the entry stops at the limit and its partial file is removed.
TEST_F(HostileArchiveTest, SizesThatLieDoNotGetPastTheLimits) {
    writeRawArchive(archive, {{"erst.txt", "first"}, {"bombe.bmp", std::string(3 << 20, '\0')}});
    std::string bytes = readBytes(archive);
    for (const ZipRecord& record : centralDirectory(bytes)) {
        if (record.name != "bombe.bmp") continue;
        put32(bytes, centralSizeOffset(record.centralOffset), 1000);
        put32(bytes, localSizeOffset(record.localOffset), 1000);
    }
    writeBytes(archive, bytes);
    TZipLimits limits;
    limits.MaxEntryBytes = 1 << 20;
    zip.SetLimits(limits);
    EXPECT_FALSE(extract());
    EXPECT_EQ(folderNames(work), std::vector<std::string>{"erst.txt"});
    EXPECT_NE(allMessages().find("bombe.bmp"), std::string::npos) << allMessages();
    expectNothingOutsideWork();
}

TEST_F(HostileArchiveTest, DeclaredSizesBeyondTheLimitsUnpackNothing) {
    writeRawArchive(archive, {{"a.bmp", std::string(400 << 10, 'a')},
                              {"b.bmp", std::string(400 << 10, 'b')},
                              {"c.bmp", std::string(400 << 10, 'c')}});
    TZipLimits limits;
    limits.MaxEntryBytes = 1 << 20;
    limits.MaxTotalBytes = 1 << 20;
    zip.SetLimits(limits);
    EXPECT_FALSE(extract());
    EXPECT_TRUE(folderNames(work).empty());
    EXPECT_NE(allMessages().find("nichts entpackt"), std::string::npos) << allMessages();

    // One entry claiming nearly 4 GiB is refused before anything is written.
    messages.clear();
    zip.SetLimits(TZipLimits{});
    std::string bytes = readBytes(archive);
    const ZipRecord record = centralDirectory(bytes).at(1);
    put32(bytes, centralSizeOffset(record.centralOffset), 0xFFFFFFF0u);
    writeBytes(archive, bytes);
    EXPECT_FALSE(extract());
    EXPECT_TRUE(folderNames(work).empty());
    EXPECT_NE(allMessages().find("b.bmp"), std::string::npos) << allMessages();
}

TEST_F(HostileArchiveTest, TheTotalLimitHoldsForBytesReallyUnpacked) {
    writeRawArchive(archive, {{"a.bmp", std::string(400 << 10, 'a')},
                              {"b.bmp", std::string(400 << 10, 'b')},
                              {"c.bmp", std::string(400 << 10, 'c')}});
    TZipLimits limits;
    limits.MaxTotalBytes = 1 << 20;
    zip.SetLimits(limits);
    // Declare less than the data holds, so the total passes the first check.
    std::string bytes = readBytes(archive);
    for (const ZipRecord& record : centralDirectory(bytes))
        put32(bytes, centralSizeOffset(record.centralOffset), 300 << 10);
    writeBytes(archive, bytes);
    EXPECT_FALSE(extract());
    std::uint64_t total = 0;
    for (const std::string& name : folderNames(work))
        total += fs::file_size(work + name);
    EXPECT_LE(total, limits.MaxTotalBytes);
    EXPECT_LT(folderNames(work).size(), 3u);
    EXPECT_FALSE(messages.empty());
}

TEST_F(HostileArchiveTest, TooLittleFreeDiskUnpacksNothing) {
    writeRawArchive(archive, {{"a.txt", "a"}});
    TZipLimits limits;
    limits.DiskReserveBytes = std::uint64_t{1} << 62; // more than any disk has free
    zip.SetLimits(limits);
    EXPECT_FALSE(extract());
    EXPECT_TRUE(folderNames(work).empty());
    EXPECT_NE(allMessages().find("Speicherplatz"), std::string::npos) << allMessages();
}

// A seeded sweep of random damage to a valid archive: no crash, nothing outside the work
// folder, no sub-folders, whatever the bytes say.
TEST_F(HostileArchiveTest, RandomDamageNeverEscapesTheWorkFolder) {
    writeRawArchive(archive, {{"data.dat", "C:\\Bilder\\Haus.jpg\r\n"},
                              {"sub/Haus.jpg", std::string(3000, 'h'), true},
                              {"../T\x81r.png", std::string(5000, 't')}});
    const std::string original = readBytes(archive);
    constexpr unsigned kSeed = 20211;
    std::mt19937 random(kSeed);
    TZipLimits limits;
    limits.MaxEntryBytes = 1 << 20;
    limits.MaxTotalBytes = 2 << 20;
    zip.SetLimits(limits);
    for (int round = 0; round < 300; ++round) {
        std::string bytes = original;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i)
            bytes[random() % bytes.size()] = static_cast<char>(random() & 0xFF);
        writeBytes(archive, bytes);
        fs::remove_all(work);
        fs::create_directories(work);
        extract();
        for (const std::string& name : folderNames(work))
            ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(work + name)))
                << "seed " << kSeed << " round " << round << ": " << name;
        ASSERT_TRUE(folderNames(outside).empty()) << "seed " << kSeed << " round " << round;
        ASSERT_EQ(folderNames(temp.path()),
                  (std::vector<std::string>{"boese.zip", "draussen", "werk"}))
            << "seed " << kSeed << " round " << round;
    }
}

} // namespace
} // namespace schauplatz
