// Projects from outside the window: the command line's project (loaded as "Projekt laden"
// loads it; one that cannot be loaded leaves the new project the window started with) and
// files dropped on the window (a project is loaded, pictures stay elements).

#include "project_fixture.h"

#include "MainUnit/ProjectFileName.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace schauplatz::testing {
namespace {

namespace fs = std::filesystem;

using Quad = std::array<QuadPoint, 4>;
const Quad kDoorQuad{QuadPoint{10, 20}, QuadPoint{40, 22}, QuadPoint{41, 60}, QuadPoint{9, 58}};

class OpenFiles : public ProjectForm {
protected:
    void SetUp() override {
        ProjectForm::SetUp();
        facade = writePattern("Haus.bmp", 80, 60, 0x123456);
        door = writeDoor("Tür.bmp", 7, 11, 0xABCDEF);
        picture = writeDoor("Fenster.bmp", 5, 4, 0x5A5A5A);
        project = folder + "Angebot Müller.vbk";
        // A project of the facade with the door, saved by another window.
        TForm_Schauplatz& maker = otherForm();
        otherHost().openAnswers.push_back(facade);
        maker.NeuesProjekt1Click();
        accept(maker, otherHost(), door, kDoorQuad);
        otherHost().saveAnswers.push_back(project);
        maker.Projektspeichern1Click();
        ASSERT_TRUE(fs::exists(project));
        saved.Assign(&maker.ImageHintergrund.Bitmap());
        savedRecords = fileNames(maker.ProjectData);
    }
    // The record lines with only the file name of their paths: a load names the pictures in
    // the window's own picture store.
    static std::vector<std::string> fileNames(const std::vector<std::string>& records) {
        std::vector<std::string> names;
        for (const std::string& line : records)
            names.push_back(line.substr(line.rfind('/') + 1));
        return names;
    }
    // The window as a fresh start leaves it.
    void expectNewProject() {
        TForm_Schauplatz& fresh = otherForm();
        EXPECT_EQ(form->ProjectFile, "Neues Projekt.vbk");
        EXPECT_EQ(form->Caption(), "Velora Bildkomposition 2021 [Neues Projekt.vbk]");
        EXPECT_EQ(form->ProjectData, fresh.ProjectData);
        EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), fresh.ImageHintergrund.Bitmap()));
        EXPECT_TRUE(sameBitmap(form->ImageFassade.Bitmap(), fresh.ImageFassade.Bitmap()));
        EXPECT_TRUE(form->ImageUndo.Bitmap().IsEmpty());
    }

    // A project of the facade and the door whose third record line is no element line: a
    // load replays the facade and the door before it stops.
    void writeHalfBrokenProject(const std::string& archive) {
        const std::string source = folder + "halb/";
        fs::create_directories(source);
        fs::copy_file(facade, source + "Haus.bmp");
        fs::copy_file(door, source + "Tür.bmp");
        writeFileBytes(source + "data.dat", cp1252(facade) + "\r\n" + cp1252(door) +
                                                ";10;20;40;22;41;60;9;58;\r\n" + "kaputt;x\r\n");
        TZipArchive zip;
        ASSERT_TRUE(zip.SetArchive(archive));
        ASSERT_TRUE(zip.AddFolder(source));
    }

    std::string facade, door, picture, project;
    TBitmap32 saved;
    std::vector<std::string> savedRecords;
};

TEST_F(OpenFiles, TheStartProjectIsLoadedAsProjektLadenLoadsIt) {
    form->OpenStartProject(project);
    EXPECT_EQ(form->ProjectFile, project);
    EXPECT_EQ(form->Caption(), "Velora Bildkomposition 2021 [" + project + "]");
    EXPECT_EQ(fileNames(form->ProjectData), savedRecords);
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), saved));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(OpenFiles, AMissingStartProjectFailsAsItsLoadDoesAndLeavesANewProject) {
    // The load's own outcome: the archive component says it cannot open the file.
    form->OpenStartProject(folder + "fehlt.vbk");
    EXPECT_EQ(host.messages.size(), 1u);
    expectNewProject();
}

TEST_F(OpenFiles, AFailedStartProjectLeavesTheStartedProjectAsItWas) {
    const std::string pattern = folder + "muster/";
    fs::create_directories(pattern);
    const std::string first = writeDoor("muster/a.bmp", 6, 8, 0x0F0F0F);
    form->FillElementList(pattern);
    ASSERT_EQ(form->ElementFile, first);
    // The replay makes the door the element before the broken line stops it.
    const std::string broken = folder + "halb.vbk";
    ASSERT_NO_FATAL_FAILURE(writeHalfBrokenProject(broken));
    const std::array<QuadPoint, 4> before = form->Vertices;
    EXPECT_ANY_THROW(form->OpenStartProject(broken));
    EXPECT_EQ(form->ElementFile, first);
    EXPECT_EQ(form->Vertices, before);
    EXPECT_EQ(form->ProjectFile, "Neues Projekt.vbk");
}

TEST_F(OpenFiles, ADamagedStartProjectReachesTheErrorHandlingAndLeavesANewProject) {
    // A zip archive whose record file is empty: the load fails after the archive opened.
    const std::string empty = folder + "leer.vbk";
    {
        const std::string source = folder + "leer/";
        fs::create_directories(source);
        writeFileBytes(source + "data.dat", "");
        TZipArchive zip;
        ASSERT_TRUE(zip.SetArchive(empty));
        ASSERT_TRUE(zip.AddFolder(source));
    }
    EXPECT_ANY_THROW(form->OpenStartProject(empty));
    expectNewProject();

    // Bytes that are no archive at all: the component's message, then the new project.
    const std::string text = folder + "text.vbk";
    writeFileBytes(text, "kein Archiv");
    host.messages.clear();
    form->OpenStartProject(text);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].rfind("Projektarchiv: ", 0), 0u) << host.messages[0];
    expectNewProject();
}

TEST_F(OpenFiles, AStartProjectThatFailsHalfWayLeavesNoneOfItsElements) {
    // A record line that is no element line: the facade and the first element were replayed
    // when the load stops.
    const std::string broken = folder + "halb.vbk";
    ASSERT_NO_FATAL_FAILURE(writeHalfBrokenProject(broken));
    EXPECT_ANY_THROW(form->OpenStartProject(broken));
    expectNewProject();
}

TEST_F(OpenFiles, ADroppedProjectIsLoadedAndDroppedPicturesStayElements) {
    form->DropFiles({project});
    EXPECT_EQ(form->ProjectFile, project);
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), saved));

    // Pictures alone: each becomes the element in turn, the last stays; the project stays.
    form->DropFiles({door, picture});
    EXPECT_EQ(form->ElementFile, picture);
    EXPECT_EQ(form->ProjectFile, project);
}

TEST_F(OpenFiles, AProjectDroppedWithPicturesIsLoadedFirst) {
    form->DropFiles({picture, project});
    EXPECT_EQ(form->ProjectFile, project);
    EXPECT_EQ(fileNames(form->ProjectData), savedRecords);
    // The picture landed on the loaded project as the element being placed.
    EXPECT_EQ(form->ElementFile, picture);
}

TEST_F(OpenFiles, OfSeveralDroppedProjectsTheLastIsLoaded) {
    const std::string copy = folder + "Kopie.VBK";
    fs::copy_file(project, copy);
    form->DropFiles({project, copy});
    EXPECT_EQ(form->ProjectFile, copy);
    EXPECT_EQ(fileNames(form->ProjectData), savedRecords);
}

TEST_F(OpenFiles, AFolderNamedLikeAProjectIsDroppedAsAPicture) {
    fs::create_directories(folder + "Ordner.vbk");
    form->DropFiles({folder + "Ordner.vbk"});
    EXPECT_EQ(form->ProjectFile, "Neues Projekt.vbk");
    // As any folder dropped: no picture, and a message says so.
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("Ordner.vbk"), std::string::npos) << host.messages[0];
    EXPECT_TRUE(form->ImageSelectedDoor.Bitmap().IsEmpty());
}

TEST_F(OpenFiles, NothingOpensWhileAnArchiveOperationRuns) {
    // Holds the load's archive work until the commands below were tried.
    std::atomic<bool> released{false};
    form->ZipArchive1.SetWorkerHook([&released] {
        while (!released.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    bool tried = false;
    host.onProcessMessages = [&] {
        if (tried || !form->ProjectBusy()) return;
        tried = true;
        EXPECT_FALSE(form->OpenProjectFile(project));
        form->DropFiles({picture});
        released.store(true);
    };
    form->OpenStartProject(project);
    EXPECT_TRUE(tried);
    EXPECT_EQ(form->ProjectFile, project);
    EXPECT_NE(form->ElementFile, picture);
}

TEST(ProjectFileName, IsANameEndingInVbkInAnyCase) {
    EXPECT_TRUE(IsProjectFileName("/a/b.vbk"));
    EXPECT_TRUE(IsProjectFileName("B.VBK"));
    EXPECT_TRUE(IsProjectFileName("x.VbK"));
    EXPECT_FALSE(IsProjectFileName(".vbk"));
    EXPECT_FALSE(IsProjectFileName("/a/.vbk"));
    EXPECT_FALSE(IsProjectFileName("a.vbkx"));
    EXPECT_FALSE(IsProjectFileName("a.jpg"));
    EXPECT_FALSE(IsProjectFileName("vbk"));
    EXPECT_FALSE(IsProjectFileName(""));
}

} // namespace
} // namespace schauplatz::testing
