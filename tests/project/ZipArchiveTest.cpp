#include "ProjectTestSupport.h"
#include "project/TZipArchive.h"
#include "project/ZipEntryNames.h"
#include "support/FileSystem.h"
#include "support/TextCodec.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <future>
#include <sys/stat.h>

namespace schauplatz {
namespace {

using namespace schauplatz::testing;
namespace fs = std::filesystem;

constexpr std::uint16_t kUtf8Flag = 0x0800;

// Compressible text of some size, so deflated and stored entries differ visibly.
std::string sampleText(std::size_t size, char seed) {
    std::string text;
    while (text.size() < size)
        text += std::string("Fenster und Türen ") + seed;
    text.resize(size);
    return text;
}

class ZipArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(stage);
        fs::create_directories(out);
        zip.OnMessage = [this](const std::string& text) { messages.push_back(text); };
    }

    const ZipRecord* find(const std::vector<ZipRecord>& records, const std::string& name) {
        for (const ZipRecord& record : records)
            if (record.name == name) return &record;
        return nullptr;
    }

    TempFolder temp;
    std::string stage = temp / "stage/";
    std::string out = temp / "out/";
    std::string archive = temp / "projekt.vbk";
    TZipArchive zip;
    std::vector<std::string> messages;
};

TEST(ZipEntryNames, StoredExtensionsIgnoreCase) {
    for (const char* name :
         {"a.gif",    "a.png",  "a.jpg",    "a.jpeg",   "a.z",   "a.zip", "a.zoo", "a.arc",
          "a.lzh",    "a.arj",  "a.taz",    "a.tgz",    "a.lha", "a.rar", "a.ace", "a.cab",
          "a.gz",     "a.gzip", "a.jar",    "a.exe",    "a.7zp", "a.mp3", "a.wmv", "a.wma",
          "a.dvr-ms", "a.avi",  "FOTO.JPG", "x.Dvr-Ms", "b.PnG"})
        EXPECT_TRUE(isStoredExtension(name)) << name;
    for (const char* name : {"data.dat", "a.bmp", "a.tar", "png", "a.png.bmp", "a.jpgx", "a.7z"})
        EXPECT_FALSE(isStoredExtension(name)) << name;
}

TEST(ZipEntryNames, BareNamesAndRefusedNames) {
    EXPECT_EQ(bareEntryName("a/b/c.png"), "c.png");
    EXPECT_EQ(bareEntryName("../../etc/passwd"), "passwd");
    EXPECT_EQ(bareEntryName("/abs/x.png"), "x.png");
    EXPECT_EQ(bareEntryName("C:\\Windows\\y.png"), "y.png");
    EXPECT_EQ(bareEntryName("D:z.png"), "z.png");
    for (const char* bad : {"", ".", "..", "dir/", "dir/..", "a\\.", "C:", "x/\x01.png"})
        EXPECT_FALSE(bareEntryName(bad).has_value()) << bad;
}

TEST(ZipEntryNames, DecodingAndLookupCandidatesMeetAgain) {
    EXPECT_EQ(decodeEntryName("T\x81r 3.png"), "Tür 3.png"); // code page 850
    EXPECT_EQ(decodeEntryName("T\xFCr 3.png"), "Tür 3.png"); // windows-1252
    EXPECT_EQ(decodeEntryName("Tür 3.png"), "Tür 3.png");    // UTF-8
    // Where the heuristics must guess wrongly, the lookup still finds the file.
    for (const CodePage written : {CodePage::Cp850, CodePage::Cp437, CodePage::Windows1252}) {
        for (const std::string name : {"Tür 3.png", "Straße.png", "Ärger ÖÜ.jpg"}) {
            const std::string extracted = decodeEntryName(*encodeCodePage(name, written));
            const auto candidates = entryNameCandidates(name);
            EXPECT_NE(std::find(candidates.begin(), candidates.end(), extracted), candidates.end())
                << name << " extracted as " << extracted;
        }
    }
    EXPECT_EQ(entryNameCandidates("plain.png"), std::vector<std::string>{"plain.png"});
}

TEST_F(ZipArchiveTest, AddsEveryPlainFileUnderItsBareNameWithTheRightMethod) {
    writeBytes(stage + "data.dat", sampleText(3000, 'd'));
    writeBytes(stage + "Haus.JPG", sampleText(3000, 'h'));
    writeBytes(stage + "Tür 3.png", sampleText(3000, 't'));
    writeBytes(stage + "Fenster.bmp", sampleText(3000, 'f'));
    writeBytes(stage + ".versteckt", "hidden");
    fs::create_directories(stage + "unterordner");
    writeBytes(stage + "unterordner/innen.txt", "inner");
    fs::create_symlink(stage + "data.dat", stage + "verweis.dat");

    ASSERT_TRUE(zip.SetArchive(archive));
    ASSERT_TRUE(zip.AddFolder(stage));
    EXPECT_TRUE(messages.empty()) << messages.front();

    const std::string bytes = readBytes(archive);
    const auto records = centralDirectory(bytes);
    std::vector<std::string> names;
    for (const ZipRecord& record : records)
        names.push_back(record.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Fenster.bmp", "Haus.JPG", "Tür 3.png", "data.dat"}));
    for (const ZipRecord& record : records) {
        const bool stored = record.name == "Haus.JPG" || record.name == "Tür 3.png";
        EXPECT_EQ(record.method, stored ? 0 : 8) << record.name;
        EXPECT_EQ(record.size, 3000u) << record.name;
        if (stored) {
            EXPECT_EQ(record.compressedSize, 3000u) << record.name;
        } else {
            EXPECT_LT(record.compressedSize, 300u) << record.name;
        }
        // Level 9 shows in the deflate option bits (1 and 2: "maximum").
        if (!stored) {
            EXPECT_EQ(record.flags & 0x0006, 0x0002) << record.name;
        }
        EXPECT_EQ((record.flags & kUtf8Flag) != 0, record.name == "Tür 3.png") << record.name;
        EXPECT_EQ(record.madeBy >> 8, 3) << "Unix attributes, " << record.name;
        EXPECT_EQ(record.externalAttributes >> 16, static_cast<std::uint32_t>(S_IFREG | 0644));
    }
    ASSERT_EQ(zip.Entries().size(), 4u);
    EXPECT_EQ(zip.Entries()[2].Name, "Tür 3.png");

    ASSERT_TRUE(zip.ExtractAll(out));
    EXPECT_EQ(folderNames(out), names);
    EXPECT_EQ(readBytes(out + "Tür 3.png"), sampleText(3000, 't'));
    EXPECT_EQ(readBytes(out + "data.dat"), sampleText(3000, 'd'));
}

TEST_F(ZipArchiveTest, UpdatesAnExistingArchiveInPlace) {
    writeRawArchive(archive, {{"a.txt", "old a"},
                              {"keep.txt", sampleText(500, 'k')},
                              {"T\x81r.png", "old door, code page 850", true}});
    const std::string keptBefore = readBytes(archive);
    writeBytes(stage + "a.txt", "new a");
    writeBytes(stage + "b.txt", "new b");
    writeBytes(stage + "Tür.png", "new door");

    ASSERT_TRUE(zip.SetArchive(archive));
    EXPECT_EQ(zip.Entries().size(), 3u);
    ASSERT_TRUE(zip.AddFolder(stage));

    const auto records = centralDirectory(readBytes(archive));
    std::vector<std::string> names;
    for (const ZipRecord& record : records)
        names.push_back(record.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Tür.png", "a.txt", "b.txt", "keep.txt"}))
        << "same names replaced (whatever their code page), others kept";
    ASSERT_TRUE(zip.ExtractAll(out));
    EXPECT_EQ(readBytes(out + "a.txt"), "new a");
    EXPECT_EQ(readBytes(out + "b.txt"), "new b");
    EXPECT_EQ(readBytes(out + "Tür.png"), "new door");
    EXPECT_EQ(readBytes(out + "keep.txt"), sampleText(500, 'k'));
    EXPECT_NE(keptBefore, readBytes(archive));
}

// A save that leaves the archive's first entries as they were (the facade picture was moved
// away, only data.dat changes) makes the library copy those bytes straight from the old
// archive: the memory handed to it must be its own to free.
TEST_F(ZipArchiveTest, UpdateKeepingTheLeadingEntriesUnchanged) {
    std::string picture(5000, '\0');
    std::uint32_t state = 12345;
    for (char& c : picture) { // incompressible, so the kept entry is large in the archive too
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    writeRawArchive(archive, {{"Haus.png", picture}, {"data.dat", "old\r\n"}});
    writeBytes(stage + "data.dat", "new\r\n");

    ASSERT_TRUE(zip.SetArchive(archive));
    ASSERT_TRUE(zip.AddFolder(stage));
    ASSERT_TRUE(zip.AddFolder(stage)) << "and once more over the archive just written";

    ASSERT_TRUE(zip.ExtractAll(out));
    EXPECT_EQ(readBytes(out + "Haus.png"), picture);
    EXPECT_EQ(readBytes(out + "data.dat"), "new\r\n");
    EXPECT_TRUE(messages.empty());
}

TEST_F(ZipArchiveTest, ExtractsArchivesWithCodePageNamesOfOtherTools) {
    // Unflagged names: code page 850 (OEM), windows-1252 (ANSI) and UTF-8 (Unix tools).
    writeRawArchive(
        archive, {{"T\x81r 3.png", "oem"}, {"Fl\xFCgel.png", "ansi"}, {"Gri\xC3\x9F.png", "utf8"}});
    // libzip flags valid UTF-8 names; clear the flag as those tools leave it clear.
    std::string bytes = readBytes(archive);
    for (const ZipRecord& record : centralDirectory(bytes)) {
        bytes[record.centralOffset + 9] &= ~0x08;
        bytes[record.localOffset + 7] &= ~0x08;
    }
    writeBytes(archive, bytes);
    for (const ZipRecord& record : centralDirectory(readBytes(archive)))
        EXPECT_EQ(record.flags & kUtf8Flag, 0) << "the forged archive must be unflagged";
    ASSERT_TRUE(zip.SetArchive(archive));
    ASSERT_TRUE(zip.ExtractAll(out));
    EXPECT_EQ(folderNames(out), (std::vector<std::string>{"Flügel.png", "Griß.png", "Tür 3.png"}));
    EXPECT_EQ(readBytes(out + "Tür 3.png"), "oem");
    EXPECT_EQ(readBytes(out + "Flügel.png"), "ansi");
}

TEST_F(ZipArchiveTest, ReadsTheArchiveOfAnotherZipTool) {
    const std::string fixture = std::string(SCHAUPLATZ_TEST_DATA) + "/project/";
    ASSERT_TRUE(zip.SetArchive(fixture + "zipcli-project.vbk"));
    ASSERT_EQ(zip.Entries().size(), 3u);
    ASSERT_TRUE(zip.ExtractAll(out));
    EXPECT_EQ(folderNames(out), (std::vector<std::string>{"Haus.png", "Tür 3.png", "data.dat"}));
    for (const char* name : {"Haus.png", "Tür 3.png", "data.dat"})
        EXPECT_EQ(readBytes(out + name), readBytes(fixture + "zipcli-source/" + name)) << name;
}

TEST_F(ZipArchiveTest, ExtractionNeverOverwritesAFile) {
    writeRawArchive(archive, {{"a.txt", "from archive"}, {"b.txt", "b"}});
    writeBytes(out + "a.txt", "already here");
    ASSERT_TRUE(zip.SetArchive(archive));
    EXPECT_TRUE(zip.ExtractAll(out));
    EXPECT_EQ(readBytes(out + "a.txt"), "already here");
    EXPECT_EQ(readBytes(out + "b.txt"), "b");
}

TEST_F(ZipArchiveTest, MissingAndForeignFilesAreReportedAndLeftAlone) {
    EXPECT_TRUE(zip.SetArchive(temp / "neu.vbk")) << "a new archive is no error";
    EXPECT_TRUE(zip.Entries().empty());
    EXPECT_FALSE(zip.ExtractAll(out));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("nicht gefunden"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find(temp / "neu.vbk"), std::string::npos) << messages[0];

    const std::string foreign = "This is a letter, not an archive.";
    writeBytes(archive, foreign);
    messages.clear();
    EXPECT_FALSE(zip.SetArchive(archive));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(archive), std::string::npos) << messages[0];
    writeBytes(stage + "data.dat", "x");
    EXPECT_FALSE(zip.AddFolder(stage));
    EXPECT_EQ(readBytes(archive), foreign) << "a file that is no archive is not overwritten";
    EXPECT_FALSE(zip.ExtractAll(out));
    EXPECT_TRUE(folderNames(out).empty());
    EXPECT_EQ(zip.LastErrors().size(), 1u);
}

TEST_F(ZipArchiveTest, ASecondOperationDuringOneIsRefused) {
    writeBytes(stage + "data.dat", "x");
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    zip.SetWorkerHook([released] { released.wait(); });
    int pumped = 0;
    bool refusedAdd = false, refusedExtract = false, refusedSet = false, busyInside = false;
    zip.ProcessEvents = [&] {
        if (++pumped > 1) return;
        busyInside = zip.Busy();
        refusedAdd = !zip.AddFolder(stage);
        refusedExtract = !zip.ExtractAll(out);
        refusedSet = !zip.SetArchive(temp / "anders.vbk");
        release.set_value();
    };
    std::vector<double> progress;
    zip.OnProgress = [&](double fraction) { progress.push_back(fraction); };

    zip.SetWorkerHook([released] { released.wait(); });
    ASSERT_TRUE(zip.SetArchive(archive));
    EXPECT_TRUE(busyInside);
    EXPECT_TRUE(refusedAdd);
    EXPECT_TRUE(refusedExtract);
    EXPECT_TRUE(refusedSet);
    EXPECT_FALSE(zip.Busy());
    EXPECT_EQ(zip.ArchiveName(), archive) << "the refused call changed nothing";
    ASSERT_EQ(messages.size(), 3u);
    for (const std::string& message : messages)
        EXPECT_NE(message.find("abgelehnt"), std::string::npos) << message;
    EXPECT_TRUE(zip.LastErrors().empty()) << "the refusals are not the operation's errors";
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    // With the hook gone the component works normally again.
    zip.SetWorkerHook({});
    zip.ProcessEvents = {};
    EXPECT_TRUE(zip.AddFolder(stage));
    EXPECT_TRUE(fs::exists(archive));
}

// A failed write of the new archive leaves the previous project file as it was and no
// temporary file behind, whichever step fails.
TEST_F(ZipArchiveTest, AFailedSaveLeavesThePreviousFileByteIdentical) {
    using Operation = FaultInjectingFileSystem::Operation;
    writeBytes(stage + "data.dat", sampleText(200000, 'x'));
    writeBytes(stage + "Haus.jpg", sampleText(300000, 'y'));
    ASSERT_TRUE(zip.SetArchive(archive));
    ASSERT_TRUE(zip.AddFolder(stage));
    const std::string before = readBytes(archive);
    writeBytes(stage + "data.dat", sampleText(100, 'z'));
    writeBytes(stage + "Neu.png", sampleText(1000, 'n'));

    struct Fault {
        Operation operation;
        int errorNumber;
        bool shortWrite;
    };
    for (const Fault fault :
         {Fault{Operation::Rename, EIO, false}, Fault{Operation::Write, ENOSPC, true},
          Fault{Operation::Write, EIO, false}, Fault{Operation::Sync, EIO, false},
          Fault{Operation::Open, EACCES, false}}) {
        FaultInjectingFileSystem faulty(realFileSystem());
        faulty.failOn(fault.operation, 1, fault.errorNumber, fault.shortWrite);
        ScopedFileSystemOverride override(faulty);
        messages.clear();
        EXPECT_FALSE(zip.AddFolder(stage));
        EXPECT_EQ(faulty.count(fault.operation), 1) << "the fault was reached";
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(archive), std::string::npos) << messages[0];
        EXPECT_TRUE(readBytes(archive) == before) << "previous project file changed";
        EXPECT_EQ(folderNames(temp.path()),
                  (std::vector<std::string>{"out", "projekt.vbk", "stage"}))
            << "a temporary file was left behind";
    }
    EXPECT_TRUE(zip.AddFolder(stage)) << "and the next save works";
    EXPECT_NE(readBytes(archive), before);
}

TEST_F(ZipArchiveTest, AnEmptyFolderGivesAnEmptyArchive) {
    ASSERT_TRUE(zip.SetArchive(archive));
    ASSERT_TRUE(zip.AddFolder(stage));
    EXPECT_EQ(readBytes(archive), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    EXPECT_TRUE(zip.SetArchive(archive));
    EXPECT_TRUE(zip.Entries().empty());
    EXPECT_TRUE(zip.ExtractAll(out));
}

} // namespace
} // namespace schauplatz
