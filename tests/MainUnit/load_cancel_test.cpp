// A project load cancelled at any point (in the archive or in the replay) changes nothing:
// the open project, its pictures in the store, its name and its unsaved mark stay as they
// were, and the log says the load was cancelled. The bar of a load offers "Abbrechen".

#include "project_fixture.h"

#include "support/u_logfile.h"

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

namespace schauplatz::testing {
namespace {

namespace fs = std::filesystem;

// Every file below folder with its bytes, so that a changed picture store shows.
std::map<std::string, std::string> filesBelow(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        if (it->is_regular_file()) files[it->path().string()] = readFileBytes(it->path().string());
    return files;
}

class LoadCancel : public ProjectForm {
protected:
    void SetUp() override {
        ProjectForm::SetUp();
        // The project to load: three elements on its own facade, saved by another window.
        TForm_Schauplatz& other = otherForm();
        loadFacade(other, otherHost(), writePattern("Kunde/Haus.bmp", 120, 90, 21));
        const std::string door = writeDoor("Kunde/Tür.bmp", 8, 12, 22);
        accept(other, otherHost(), door, kQuadA);
        accept(other, otherHost(), writeDoor("Kunde/Fenster.bmp", 6, 6, 23), kQuadB);
        accept(other, otherHost(), door, kQuadB);
        project = folder + "Kunde.vbk";
        ASSERT_TRUE(other.SaveProject(project));

        // The open project: a facade and an element not saved yet.
        loadFacade(writePattern("Haus.bmp", 90, 70, 3));
        accept(writeDoor("Muster/Tür.bmp", 8, 12, 5), kQuadA);
    }
    std::string project;
};

TEST_F(LoadCancel, ACancelAnywhereInTheLoadChangesNothing) {
    const std::vector<std::string> lines = form->ProjectData;
    const std::string name = form->ProjectFile;
    TBitmap32 background;
    background.Assign(&form->ImageHintergrund.Bitmap());
    const std::string elementFile = form->ElementFile;
    const auto store = filesBelow(form->ProjectFolders().PictureStore());

    // The n-th time the window handles events during the load, the user cancels it; once n
    // is past the last time, the load goes through. Each archive operation waits until the
    // window has handled events once while it runs.
    std::atomic<bool> pumped{false};
    form->ZipArchive1.SetWorkerHook([&pumped] {
        while (!pumped.exchange(false))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    int cancelledInArchive = 0, cancelledInReplay = 0;
    for (int n = 1;; ++n) {
        SCOPED_TRACE(n);
        int calls = 0;
        host.onProcessMessages = [&] {
            const bool replaying = !form->ZipArchive1.Busy();
            if (!replaying) pumped.store(true);
            if (++calls == n) {
                form->ZipArchive1.RequestCancel();
                (replaying ? cancelledInReplay : cancelledInArchive) += 1;
            }
        };
        const bool loaded = form->LoadProject(project);
        host.onProcessMessages = nullptr;
        if (calls < n) {
            ASSERT_TRUE(loaded);
            break;
        }
        ASSERT_FALSE(loaded);
        EXPECT_EQ(form->ProjectData, lines);
        EXPECT_EQ(form->ProjectFile, name);
        EXPECT_TRUE(form->Modified());
        EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), background));
        EXPECT_EQ(form->ElementFile, elementFile);
        EXPECT_EQ(filesBelow(form->ProjectFolders().PictureStore()), store)
            << "the cancelled load's pictures are gone, the open project's are kept";
        EXPECT_FALSE(form->ProjectBusy());
        ASSERT_LT(n, 1000) << "the load never ended";
    }
    form->ZipArchive1.SetWorkerHook({});
    EXPECT_GT(cancelledInArchive, 0);
    EXPECT_GT(cancelledInReplay, 0);
    EXPECT_TRUE(host.messages.empty()) << host.messages.front();
    const std::string log = readFileBytes(LogFileName());
    EXPECT_NE(log.find("Laden abgebrochen: " + project), std::string::npos);

    // The load that went through is the project, and the element being placed still exists.
    EXPECT_EQ(form->ProjectFile, project);
    EXPECT_EQ(form->ProjectData.size(), 4u);
    EXPECT_FALSE(form->Modified());
    EXPECT_TRUE(fs::is_regular_file(form->ElementFile)) << form->ElementFile;
}

TEST_F(LoadCancel, TheBarOfALoadOffersAbbrechenAndASavesDoesNot) {
    // The bar shows after half a second: the archive's worker is held until it has.
    std::atomic<bool> held{true};
    form->ZipArchive1.SetWorkerHook([&held] {
        while (held.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    host.onProcessMessages = [&] { held.store(host.progress.empty()); };
    host.cancelProgress = [] { return true; };
    EXPECT_FALSE(form->LoadProject(project)) << "the user chose Abbrechen";
    ASSERT_FALSE(host.progressCancellable.empty());
    EXPECT_TRUE(host.progressCancellable.front());
    EXPECT_EQ(host.progressEnds, 1);
    EXPECT_NE(form->ProjectFile, project);

    host.progress.clear();
    host.progressCancellable.clear();
    held.store(true);
    ASSERT_TRUE(form->SaveProject(folder + "Gesichert.vbk")) << "a save runs to its end";
    ASSERT_FALSE(host.progressCancellable.empty());
    EXPECT_FALSE(host.progressCancellable.front());
    form->ZipArchive1.SetWorkerHook({});
}

} // namespace
} // namespace schauplatz::testing
