// The archive entry schauplatz.json in a project file: written beside data.dat only when
// there are settings, its name kept from the pictures then, handed to the load, and a picture
// of that name in an archive without settings left a picture.

#include "ProjectTestSupport.h"
#include "project/AppearanceEntry.h"
#include "project/ProjectArchive.h"
#include "project/RecordFile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace schauplatz {
namespace {

using namespace schauplatz::testing;
namespace fs = std::filesystem;

class AppearanceArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        zip.OnMessage = [this](const std::string& text) { messages.push_back(text); };
        fs::create_directories(temp / "Bilder");
        writeBytes(facade, "facade");
        writeBytes(door, "door");
        writeBytes(oddDoor, "a door in a file named like the entry");
    }
    std::vector<std::string> lines(const std::string& element) const {
        return {facade, FormatElementRecord({element, 1, 2, 30, 2, 30, 40, 1, 40})};
    }

    TempFolder temp;
    TProjectFolders folders{temp.path()};
    TZipArchive zip;
    std::vector<std::string> messages;
    std::string facade = temp / "Bilder/Haus.png";
    std::string door = temp / "Bilder/Tür.png";
    std::string oddDoor = temp / "Bilder/schauplatz.json";
    std::string project = temp / "Kunde.vbk";
    const std::string entry =
        WriteAppearanceEntry({TAppearance{true, 10, 0, 0, 200, 4, 50, TShadowSide::Left}});
};

TEST_F(AppearanceArchiveTest, TheEntryIsWrittenOnlyWithSettingsAndReachesTheLoad) {
    ASSERT_TRUE(writeProjectArchive(project, lines(door), folders, zip));
    EXPECT_EQ(entryNames(project), (std::vector<std::string>{"Haus.png", "Tür.png", "data.dat"}));
    TProjectLoad load = loadProjectArchive(project, folders, zip);
    ASSERT_EQ(load.Outcome, TLoadOutcome::Loaded) << load.Error;
    EXPECT_FALSE(load.Project.AppearanceEntry.has_value());

    ASSERT_TRUE(writeProjectArchive(project, lines(door), folders, zip, entry));
    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{"Haus.png", "Tür.png", "data.dat", "schauplatz.json"}));
    const TProjectLoad withEntry = loadProjectArchive(project, folders, zip);
    ASSERT_EQ(withEntry.Outcome, TLoadOutcome::Loaded) << withEntry.Error;
    EXPECT_EQ(withEntry.Project.AppearanceEntry, entry);
    // It is no picture of the project.
    EXPECT_EQ(withEntry.Project.Pictures.Find(kAppearanceEntryName), "");
    EXPECT_TRUE(messages.empty());
}

TEST_F(AppearanceArchiveTest, APictureNamedLikeTheEntryTakesAnotherName) {
    ASSERT_TRUE(writeProjectArchive(project, lines(oddDoor), folders, zip, entry));
    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{"Haus.png", "data.dat", "schauplatz (2).json",
                                        "schauplatz.json"}));
    TProjectLoad load = loadProjectArchive(project, folders, zip);
    ASSERT_EQ(load.Outcome, TLoadOutcome::Loaded) << load.Error;
    EXPECT_EQ(load.Project.AppearanceEntry, entry);
    const TUnpackedProject& p = load.Project;
    EXPECT_EQ(readBytes(p.PicturePath(p.Elements[0].Path)),
              "a door in a file named like the entry");

    // Without settings the picture keeps its name, and a load leaves it a picture.
    ASSERT_TRUE(writeProjectArchive(project, lines(oddDoor), folders, zip));
    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{"Haus.png", "data.dat", "schauplatz.json"}));
    const TProjectLoad without = loadProjectArchive(project, folders, zip);
    ASSERT_EQ(without.Outcome, TLoadOutcome::Loaded) << without.Error;
    EXPECT_FALSE(without.Project.AppearanceEntry.has_value());
    EXPECT_EQ(readBytes(without.Project.PicturePath(without.Project.Elements[0].Path)),
              "a door in a file named like the entry");
}

TEST_F(AppearanceArchiveTest, AnOversizedEntryIsReadOnlyPastTheLimit) {
    const std::string huge(kAppearanceEntryMaxBytes + 1000, ' ');
    ASSERT_TRUE(writeProjectArchive(project, lines(door), folders, zip, huge));
    TProjectLoad load = loadProjectArchive(project, folders, zip);
    ASSERT_EQ(load.Outcome, TLoadOutcome::Loaded) << load.Error;
    ASSERT_TRUE(load.Project.AppearanceEntry.has_value());
    EXPECT_EQ(load.Project.AppearanceEntry->size(), kAppearanceEntryMaxBytes + 1);
    EXPECT_FALSE(ReadAppearanceEntry(*load.Project.AppearanceEntry).has_value());
}

} // namespace
} // namespace schauplatz
