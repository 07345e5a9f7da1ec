// The window's project save with the file system failing at every step in turn. After each
// fault: the earlier project file is byte-identical or the new one complete; the work folder
// is gone, as after every save; the pictures the record list names are still there; the
// failure reached the general error handling (an exception out of the handler) or the zip
// component's message window, with a text naming the reason; and the next save succeeds.

#include "project_fixture.h"

#include "project/RecordFile.h"
#include "support/FileSystem.h"
#include "support/U_SYSTOOLS.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <cerrno>
#include <cstring>
#include <map>

namespace schauplatz::testing {
namespace {

using Operation = FaultInjectingFileSystem::Operation;

class WindowSaveFault : public ProjectForm {
protected:
    // The archive's files by name, read with a zip component of its own.
    std::map<std::string, std::string> contents(const std::string& project) {
        std::map<std::string, std::string> files;
        const std::string target = unpack(project);
        for (const auto& entry : std::filesystem::directory_iterator(target))
            files[entry.path().filename().string()] = readFileBytes(entry.path().string());
        return files;
    }
    std::map<std::string, std::string> expectedContents() {
        std::map<std::string, std::string> files{{"data.dat", encodeRecordFile(form->ProjectData)}};
        for (std::size_t i = 0; i < form->ProjectData.size(); ++i) {
            const std::string path =
                i == 0 ? form->ProjectData[0] : SplitElementRecord(form->ProjectData[i]).Path;
            files[FileNamePart(path)] = readFileBytes(path);
        }
        return files;
    }
    void expectPicturesThere(const std::string& context) {
        for (std::size_t i = 0; i < form->ProjectData.size(); ++i) {
            const std::string path =
                i == 0 ? form->ProjectData[0] : SplitElementRecord(form->ProjectData[i]).Path;
            EXPECT_TRUE(std::filesystem::exists(path)) << context << ": " << path << " is gone";
        }
    }
};

TEST_F(WindowSaveFault, EveryStepFailingLosesNothingAndTheNextSaveWorks) {
    const std::string project = folder + "Kunde.vbk";
    loadFacade(writePattern("Haus.bmp", 80, 60, 1));
    accept(writeDoor("Muster/Tür.bmp", 8, 12, 2),
           {QuadPoint{5, 5}, QuadPoint{20, 6}, QuadPoint{19, 30}, QuadPoint{4, 29}});
    form->SaveProject(project);
    ASSERT_TRUE(host.messages.empty());
    // The earlier project file: without the element accepted below.
    const std::string earlier = readFileBytes(project);
    // Load it back, so the record list names pictures of the loaded project, and accept one
    // more element before saving again.
    form->LoadProject(project);
    accept(writePattern("Muster/Fenster.bmp", 6, 6, 3),
           {QuadPoint{40, 10}, QuadPoint{50, 10}, QuadPoint{50, 20}, QuadPoint{40, 20}});
    const std::map<std::string, std::string> complete = expectedContents();

    std::map<Operation, int> steps;
    {
        FaultInjectingFileSystem counting(realFileSystem());
        ScopedFileSystemOverride use(counting);
        form->SaveProject(project);
        for (const Operation operation :
             {Operation::MakeDirectories, Operation::Open, Operation::Write, Operation::Sync,
              Operation::Close, Operation::Rename, Operation::SyncDirectory})
            steps[operation] = counting.count(operation);
    }
    ASSERT_TRUE(host.messages.empty());
    ASSERT_EQ(contents(project), complete);
    ASSERT_GE(steps[Operation::Rename], 1);

    int failures = 0;
    for (const auto& [operation, count] : steps) {
        for (int nth = 1; nth <= count; ++nth) {
            for (const bool shortWrite : {false, true}) {
                if (shortWrite && operation != Operation::Write) continue;
                const std::string context = "operation " + std::to_string(int(operation)) + " #" +
                                            std::to_string(nth) + (shortWrite ? " short" : "");
                writeFileBytes(project, earlier);
                host.messages.clear();
                const int errorNumber = operation == Operation::Open ? EACCES : ENOSPC;
                std::string escaped;
                {
                    FaultInjectingFileSystem faulty(realFileSystem());
                    faulty.failOn(operation, nth, errorNumber, shortWrite);
                    ScopedFileSystemOverride use(faulty);
                    try {
                        form->SaveProject(project);
                    } catch (const std::exception& error) {
                        escaped = error.what(); // what the window's error handling shows
                    }
                }
                const std::string shown =
                    escaped + (host.messages.empty() ? "" : host.messages.front());
                const std::string now = readFileBytes(project);
                if (now == earlier) {
                    // A failed save (or one that failed only to log) leaves the earlier file.
                    if (!shown.empty()) {
                        ++failures;
                        EXPECT_NE(shown.find(std::strerror(errorNumber)), std::string::npos)
                            << context << ": " << shown;
                    }
                } else {
                    EXPECT_EQ(contents(project), complete)
                        << context << ": a changed project file must be complete";
                }
                EXPECT_FALSE(std::filesystem::exists(form->ProjectFolders().WorkFolder()))
                    << context;
                expectPicturesThere(context);

                host.messages.clear();
                EXPECT_NO_THROW(form->SaveProject(project)) << context;
                EXPECT_TRUE(host.messages.empty()) << context << ": " << host.messages.front();
                EXPECT_EQ(contents(project), complete) << context << ": the next save";
            }
        }
    }
    EXPECT_GE(failures, 5) << "the faults must reach the save";
}

} // namespace
} // namespace schauplatz::testing
