// A project save with the file system failing at every step in turn: creating a file, a short
// write, a full disk at write, sync or close, a failed rename, the folder sync, creating the
// work folder and removing files. After each fault the previous project file is byte-identical
// or the new one complete, the work folder is gone as after every save, the loaded project's
// pictures are still there, the failure has a text naming the file and the reason, and a
// following save without fault succeeds.

#include "ProjectTestSupport.h"
#include "project/ProjectArchive.h"
#include "project/RecordFile.h"
#include "project/TProjectFolders.h"
#include "project/TZipArchive.h"
#include "support/FileSystem.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

namespace schauplatz {
namespace {

using namespace schauplatz::testing;
namespace fs = std::filesystem;
using Operation = FaultInjectingFileSystem::Operation;

struct FaultKind {
    Operation operation;
    int errorNumber;
    bool shortWrite;
    const char* name;
};

const FaultKind kFaultKinds[] = {
    {Operation::MakeDirectories, EACCES, false, "cannot create the work folder"},
    {Operation::Open, EACCES, false, "cannot create"},
    {Operation::Write, ENOSPC, true, "short write, disk full"},
    {Operation::Write, EIO, false, "write fails"},
    {Operation::Sync, ENOSPC, false, "disk full at sync"},
    {Operation::Close, EDQUOT, false, "quota at close"},
    {Operation::Rename, EXDEV, false, "rename fails"},
    {Operation::SyncDirectory, EIO, false, "folder sync fails"},
    {Operation::Remove, EPERM, false, "remove fails"},
};

// The files of an archive by name, as extracted by the zip component.
std::map<std::string, std::string> archiveContents(const std::string& archive,
                                                   const std::string& scratch) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    TZipArchive zip;
    zip.OnMessage = [](const std::string&) {};
    std::map<std::string, std::string> contents;
    if (!zip.SetArchive(archive) || !zip.ExtractAll(scratch)) return contents;
    for (const std::string& name : folderNames(scratch))
        contents[name] = readBytes(scratch + name);
    return contents;
}

class ProjectSaveFault : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp / "Bilder");
        fs::create_directories(temp / "tmp");
        writeBytes(temp / "Bilder/Haus.jpg", "facade pixels");
        writeBytes(temp / "Bilder/Tür 3.png", "door pixels");
        writeBytes(temp / "Bilder/Fenster.bmp", "window pixels");
        // A project saved earlier and loaded again, as the window holds it after a load.
        const std::vector<std::string> original = {
            temp / "Bilder/Haus.jpg",
            FormatElementRecord({temp / "Bilder/Tür 3.png", 1, 2, 30, 2, 30, 40, 1, 40})};
        TZipArchive zip;
        ASSERT_TRUE(writeProjectArchive(project, original, temp / "stage/", zip));
        folders.emplace(temp / "tmp/");
        const std::optional<TUnpackedProject> loaded = unpackProjectArchive(project, *folders, zip);
        ASSERT_TRUE(loaded.has_value());
        projectData = {loaded->PicturePath(loaded->LoadStore.at(0))};
        for (std::size_t i = 1; i < loaded->LoadStore.size(); ++i) {
            TElementRecord record = SplitElementRecord(loaded->LoadStore[i]);
            record.Path = loaded->PicturePath(record.Path);
            projectData.push_back(FormatElementRecord(record));
        }
        // One more element accepted after the load, from outside the project.
        projectData.push_back(
            FormatElementRecord({temp / "Bilder/Fenster.bmp", -5, -5, 9, -5, 9, 9, -5, 9}));
        expectedContents = {{"data.dat", encodeRecordFile(projectData)},
                            {"Haus.jpg", "facade pixels"},
                            {"Tür 3.png", "door pixels"},
                            {"Fenster.bmp", "window pixels"}};
        for (const std::string& line : projectData) {
            const std::string path = line.substr(0, line.find(';'));
            picturesBefore[path] = readBytes(path);
        }
    }

    struct Outcome {
        bool saved = false;
        std::string errorText; // exception text or the zip component's messages
    };

    Outcome save(FileSystem& files) {
        ScopedFileSystemOverride use(files);
        TZipArchive zip;
        std::string messages;
        zip.OnMessage = [&](const std::string& text) { messages += text + "\n"; };
        Outcome outcome;
        try {
            outcome.saved = writeProjectArchive(project, projectData, *folders, zip);
        } catch (const std::exception& error) {
            outcome.errorText = error.what();
        }
        outcome.errorText += messages;
        return outcome;
    }

    void expectPicturesStillThere(const std::string& context) {
        for (const auto& [path, bytes] : picturesBefore) {
            ASSERT_TRUE(fs::exists(path)) << context << ": " << path << " is gone";
            EXPECT_EQ(readBytes(path), bytes) << context << ": " << path;
        }
    }

    TempFolder temp;
    TempFolder scratch; // extraction checks, away from the project's folder
    std::string project = temp / "Kunde.vbk";
    std::optional<TProjectFolders> folders;
    std::vector<std::string> projectData;
    std::map<std::string, std::string> expectedContents;
    std::map<std::string, std::string> picturesBefore;
};

TEST_F(ProjectSaveFault, WithoutFaultTheSaveWritesTheWholeProject) {
    const Outcome outcome = save(realFileSystem());
    EXPECT_TRUE(outcome.saved) << outcome.errorText;
    EXPECT_EQ(archiveContents(project, scratch / "check/"), expectedContents);
    EXPECT_FALSE(fs::exists(folders->WorkFolder()));
    expectPicturesStillThere("after a save");
}

TEST_F(ProjectSaveFault, EveryStepFailingInTurnLosesNothing) {
    // How often the save uses each operation when nothing fails.
    std::map<Operation, int> steps;
    {
        const std::string before = readBytes(project);
        FaultInjectingFileSystem counting(realFileSystem());
        ASSERT_TRUE(save(counting).saved);
        for (const FaultKind& kind : kFaultKinds)
            steps[kind.operation] = counting.count(kind.operation);
        writeBytes(project, before);
    }
    ASSERT_GT(steps[Operation::Open], 0);
    ASSERT_GT(steps[Operation::Rename], 0);

    int faultsSeen = 0;
    for (const FaultKind& kind : kFaultKinds) {
        for (int nth = 1; nth <= steps[kind.operation]; ++nth) {
            const std::string context =
                std::string(kind.name) + ", operation " + std::to_string(nth);
            const std::string before = readBytes(project);
            FaultInjectingFileSystem faulty(realFileSystem());
            faulty.failOn(kind.operation, nth, kind.errorNumber, kind.shortWrite);
            const Outcome outcome = save(faulty);

            const std::string after = readBytes(project);
            // SCHAUPLATZ_FAULT_REPORT=1 lists what each fault left behind.
            if (std::getenv("SCHAUPLATZ_FAULT_REPORT") != nullptr) {
                std::printf("%-32s saved=%d file=%s error=%s\n", context.c_str(), outcome.saved,
                            after == before ? "old" : "new", outcome.errorText.c_str());
            }
            if (after != before) {
                EXPECT_EQ(archiveContents(project, scratch / "check/"), expectedContents)
                    << context << ": a changed project file must be complete";
            }
            if (!outcome.saved) {
                ++faultsSeen;
                EXPECT_EQ(after, before) << context << ": a failed save changed the project file";
                EXPECT_NE(outcome.errorText.find(std::strerror(kind.errorNumber)),
                          std::string::npos)
                    << context << ": the error text gives no reason: " << outcome.errorText;
            }
            EXPECT_FALSE(fs::exists(folders->WorkFolder()))
                << context << ": a save ends with the work folder removed";
            EXPECT_EQ(folderNames(temp.path()),
                      (std::vector<std::string>{"Bilder", "Kunde.vbk", "tmp"}))
                << context << ": a temporary file was left beside the project";
            expectPicturesStillThere(context);

            // The program goes on: the next save succeeds and writes everything.
            const Outcome next = save(realFileSystem());
            EXPECT_TRUE(next.saved) << context << ": following save: " << next.errorText;
            EXPECT_EQ(archiveContents(project, scratch / "check/"), expectedContents) << context;
            writeBytes(project, before);
        }
    }
    EXPECT_GT(faultsSeen, 3) << "the faults must reach the save";
}

} // namespace
} // namespace schauplatz
