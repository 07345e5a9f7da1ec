// The window while an archive operation runs (held open by the component's worker hook):
// commands that would change the project do nothing, a second operation is refused, the
// progress shows; and saves that fail on the way leave the earlier project file as it was.

#include "project_fixture.h"

#include "support/FileSystem.h"
#include "testsupport/ForwardingFileSystem.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

namespace schauplatz::testing {
namespace {

namespace fs = std::filesystem;

const std::array<QuadPoint, 4> kQuad{QuadPoint{5, 6}, QuadPoint{20, 4}, QuadPoint{22, 30},
                                     QuadPoint{4, 28}};

class ProjectWhileBusy : public ProjectForm {
protected:
    void SetUp() override {
        ProjectForm::SetUp();
        facade = writePattern("Haus.bmp", 50, 40, 0x102030);
        door = writeDoor("Tür.bmp", 6, 9, 0x445566);
        otherDoor = writeDoor("Andere Tür.bmp", 8, 5, 0x778899);
        project = folder + "Projekt.vbk";
        loadFacade(facade);
        accept(door, kQuad);
    }
    // Holds every archive operation of the window at its start until release().
    void holdArchiveWork() {
        form->ZipArchive1.SetWorkerHook([this] {
            while (!m_released.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    void release() { m_released.store(true); }

    std::string facade, door, otherDoor, project;

private:
    std::atomic<bool> m_released{false};
};

TEST_F(ProjectWhileBusy, CommandsDoNothingAndASecondOperationIsRefused) {
    const std::vector<std::string> data = form->ProjectData;
    TBitmap32 background;
    background.Assign(&form->ImageHintergrund.Bitmap());
    const std::string element = form->ElementFile;
    const std::string patternFolder = form->PatternFolder;
    holdArchiveWork();

    bool tried = false;
    host.onProcessMessages = [&] {
        if (tried) return;
        tried = true;
        EXPECT_TRUE(form->ProjectBusy());
        const std::size_t opens = host.openRequests.size();
        const std::size_t saves = host.saveRequests.size();
        // Were the commands carried out, these answers would change the project.
        for (int i = 0; i < 4; ++i)
            host.openAnswers.push_back(otherDoor);
        host.saveAnswers.push_back(folder + "Zweites.vbk");
        host.folderAnswers.push_back(folder);
        form->NeuesProjekt1Click();
        form->Projektladen1Click();
        form->Projektspeichern1Click();
        form->Projektspeichernals1Click();
        form->FassadeLaden1Click();
        form->BildvomElementladen1Click();
        form->Elementbernehmen1Click();
        form->Schrittzurck1Click();
        form->FormDropFiles({otherDoor});
        form->Muster1Click();
        EXPECT_EQ(host.openRequests.size(), opens);
        EXPECT_EQ(host.saveRequests.size(), saves);
        EXPECT_TRUE(host.messages.empty());
        // Started directly, a save or load is refused by the component, which says so.
        form->SaveProject(folder + "Drittes.vbk");
        form->LoadProject(project);
        release();
    };
    host.saveAnswers.push_back(project);
    form->Projektspeichern1Click();
    host.onProcessMessages = nullptr;

    ASSERT_TRUE(tried) << "the window handled events while the archive was written";
    EXPECT_FALSE(form->ProjectBusy());
    EXPECT_EQ(form->ProjectData, data);
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), background));
    EXPECT_EQ(form->ElementFile, element);
    EXPECT_EQ(form->PatternFolder, patternFolder);
    EXPECT_EQ(form->ProjectFile, project);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_NE(host.messages[0].find("Drittes.vbk wurde abgelehnt"), std::string::npos)
        << host.messages[0];
    EXPECT_NE(host.messages[1].find("Laden von " + project + " wurde abgelehnt"), std::string::npos)
        << host.messages[1];
    EXPECT_FALSE(fs::exists(folder + "Zweites.vbk"));
    EXPECT_FALSE(fs::exists(folder + "Drittes.vbk"));
    EXPECT_EQ(entryNames(project), (std::vector<std::string>{"Haus.bmp", "Tür.bmp", "data.dat"}));

    // Afterwards the commands work again.
    host.openAnswers.clear();
    host.openAnswers.push_back(otherDoor);
    form->BildvomElementladen1Click();
    EXPECT_EQ(form->ElementFile, otherDoor);
}

TEST_F(ProjectWhileBusy, ALongSaveShowsItsProgressUntilItEnds) {
    holdArchiveWork();
    const auto start = std::chrono::steady_clock::now();
    host.onProcessMessages = [&] {
        // Held until the bar is up; a bar that never comes fails below instead of hanging.
        if (!host.progress.empty() ||
            std::chrono::steady_clock::now() - start > std::chrono::seconds(30))
            release();
    };
    host.saveAnswers.push_back(project);
    form->Projektspeichern1Click();
    host.onProcessMessages = nullptr;

    ASSERT_FALSE(host.progress.empty());
    double last = -1.0;
    for (const auto& [text, fraction] : host.progress) {
        EXPECT_EQ(text, "Speichere Projekt:" + project);
        EXPECT_GE(fraction, last);
        EXPECT_LE(fraction, 1.0);
        last = fraction;
    }
    EXPECT_EQ(last, 1.0);
    EXPECT_EQ(host.progressEnds, 1);
    EXPECT_TRUE(host.messages.empty());
}

// Fails renaming a finished archive over a project file, or writing any data.dat.
class ProjectFileFaults : public testing::ForwardingFileSystem {
public:
    bool failArchiveRename = false;
    bool failRecordFile = false;

    std::unique_ptr<WritableFile> openForWrite(const std::string& path, bool append) override {
        if (failRecordFile && path.find("data.dat") != std::string::npos)
            throw FileSystemError("open", path, EACCES);
        return m_inner.openForWrite(path, append);
    }
    void rename(const std::string& from, const std::string& to) override {
        if (failArchiveRename && to.size() > 4 && to.compare(to.size() - 4, 4, ".vbk") == 0)
            throw FileSystemError("rename", to, ENOSPC);
        m_inner.rename(from, to);
    }
};

TEST_F(ProjectWhileBusy, ASaveFailingHalfwayLeavesTheEarlierProjectFileByteIdentical) {
    host.saveAnswers.push_back(project);
    form->Projektspeichern1Click();
    const std::string before = readFileBytes(project);
    ASSERT_FALSE(before.empty());
    accept(otherDoor, kQuad);

    ProjectFileFaults faults;
    faults.failArchiveRename = true;
    {
        ScopedFileSystemOverride override(faults);
        form->Projektspeichern1Click();
    }
    ASSERT_EQ(host.messages.size(), 1u) << "the component shows its error";
    EXPECT_NE(host.messages[0].find(project), std::string::npos) << host.messages[0];
    EXPECT_TRUE(readFileBytes(project) == before);
    EXPECT_FALSE(fs::exists(form->WorkFolder));
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().string().find(".vbk."), std::string::npos)
            << "left behind: " << entry.path();

    // Without the fault the same save goes through.
    form->Projektspeichern1Click();
    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{"Andere Tür.bmp", "Haus.bmp", "Tür.bmp", "data.dat"}));
}

TEST_F(ProjectWhileBusy, FailedSavesReachTheGeneralErrorHandling) {
    host.saveAnswers.push_back(project);
    form->Projektspeichern1Click();
    const std::string before = readFileBytes(project);

    ProjectFileFaults faults;
    faults.failRecordFile = true;
    ScopedFileSystemOverride override(faults);
    // "Projekt speichern als.." drops no error: it escapes to the window's error dialog.
    host.saveAnswers.push_back(folder + "Neu.vbk");
    EXPECT_THROW(form->Projektspeichernals1Click(), FileSystemError);
    EXPECT_FALSE(fs::exists(folder + "Neu.vbk"));
    EXPECT_THROW(form->Projektspeichern1Click(), FileSystemError);
    EXPECT_TRUE(readFileBytes(project) == before);
    EXPECT_FALSE(fs::exists(form->WorkFolder));
    EXPECT_FALSE(form->ProjectBusy());
}

} // namespace
} // namespace schauplatz::testing
