// Crash recovery: the copy of unsaved work that every change keeps, what a killed program
// leaves behind and the next start restores, folders that must not be used, two instances at
// once, damaged copies, faults while the copy is written, and copies that go when the work is
// saved or the program ends normally.

#include "project_fixture.h"

#include "composition/ProjectReplay.h"
#include "project/RecordFile.h"
#include "support/FileSystem.h"
#include "support/U_SYSTOOLS.h"
#include "support/u_logfile.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace schauplatz::testing {
namespace {

namespace fs = std::filesystem;

std::size_t countWithExtension(const std::string& folder, const std::string& extension) {
    std::size_t n = 0;
    for (const std::string& name : namesIn(folder))
        if (fs::path(name).extension() == extension) ++n;
    return n;
}

class Recovery : public ProjectForm {
protected:
    void SetUp() override {
        ProjectForm::SetUp();
        recovery = folder + "state/schauplatz/recovery/";
        facade = writePattern("Haus.bmp", 90, 70, 3);
        door = writeDoor("Muster/Tür.bmp", 8, 12, 5);
        window = writeDoor("Muster/Fenster.bmp", 6, 6, 8);
    }
    // Two elements accepted on the facade, one of them mirrored.
    void work(TForm_Schauplatz& target, ScriptedHost& targetHost) {
        loadFacade(target, targetHost, facade);
        accept(target, targetHost, door, kQuadA);
        targetHost.openAnswers.push_back(window);
        target.BildvomElementladen1Click();
        target.rspeigeln1Click();
        target.Vertices = kQuadB;
        target.RenderElement();
        target.Elementbernehmen1Click();
    }
    std::string recovery, facade, door, window;
};

TEST_F(Recovery, AKilledProgramsWorkComesBackAtTheNextStart) {
    // The expected composite, made the same way here.
    TForm_Schauplatz& expected = otherForm();
    work(expected, otherHost());

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ProjectHost childHost;
        auto killed = startForm(childHost);
        killed->EnableRecovery(recovery);
        work(*killed, childHost);
        const bool written = killed->Recovery()->WaitUntilWritten();
        ::raise(written ? SIGKILL : SIGABRT);
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(countWithExtension(recovery, ".vbk"), 1u);

    // The next start asks, and restores the picture, the records, the name and the mark.
    form->EnableRecovery(recovery);
    host.restoreAnswers = {RestoreAnswer::Restore};
    form->OfferRecovery();
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].rfind("Schauplatz wurde nicht ordnungsgemäß beendet. Soll das "
                                      "nicht gespeicherte Projekt vom ",
                                      0),
              0u)
        << host.questions[0];
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), expected.ImageHintergrund.Bitmap()));
    ASSERT_EQ(form->ProjectData.size(), 3u);
    for (std::size_t i = 1; i < 3; ++i) {
        const TElementRecord got = SplitElementRecord(form->ProjectData[i]);
        const TElementRecord want = SplitElementRecord(expected.ProjectData[i]);
        EXPECT_EQ(FileNamePart(got.Path), FileNamePart(want.Path));
        EXPECT_EQ(got.X2, want.X2);
    }
    EXPECT_EQ(form->ProjectFile, "Neues Projekt.vbk");
    EXPECT_TRUE(form->Modified());
    EXPECT_FALSE(form->CommandRefused());
    EXPECT_FALSE(form->Composition().CanUndo()) << "the history starts anew";
    // The killed instance's copy is gone; this one keeps its own.
    ASSERT_TRUE(form->Recovery()->WaitUntilWritten());
    EXPECT_EQ(countWithExtension(recovery, ".vbk"), 1u);
    EXPECT_TRUE(form->Recovery()->LeftBehind().empty());
}

TEST_F(Recovery, TheCopyFollowsTheWorkAndGoesWithANormalEnd) {
    form->EnableRecovery(recovery);
    EXPECT_EQ(countWithExtension(recovery, ".vbk"), 0u) << "nothing to keep at start";
    work(*form, host);
    ASSERT_TRUE(form->Recovery()->WaitUntilWritten());
    ASSERT_EQ(countWithExtension(recovery, ".vbk"), 1u);
    // The copy is a project file: it rebuilds the composite on its own.
    std::string copy;
    for (const std::string& name : namesIn(recovery))
        if (fs::path(name).extension() == ".vbk") copy = recovery + name;
    TForm_Schauplatz& reader = otherForm();
    ASSERT_TRUE(reader.LoadProject(copy));
    EXPECT_TRUE(sameBitmap(reader.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()));

    // A save with no later change removes it; a change brings it back.
    form->SaveProject(folder + "Angebot.vbk");
    ASSERT_TRUE(form->Recovery()->WaitUntilWritten());
    EXPECT_EQ(countWithExtension(recovery, ".vbk"), 0u);
    accept(door, kQuadB);
    ASSERT_TRUE(form->Recovery()->WaitUntilWritten());
    EXPECT_EQ(countWithExtension(recovery, ".vbk"), 1u);
    // A normal end (the changes discarded at the question) removes the copy and its lock.
    form->FormDestroy();
    form.reset();
    EXPECT_TRUE(namesIn(recovery).empty());
}

TEST_F(Recovery, TheSessionsEndKeepsTheCopyAndTwoInstancesKeepTheirOwn) {
    form->EnableRecovery(recovery);
    TForm_Schauplatz& second = otherForm();
    second.EnableRecovery(recovery);
    work(*form, host);
    accept(second, otherHost(), door, kQuadA);
    ASSERT_TRUE(form->Recovery()->WaitUntilWritten());
    ASSERT_TRUE(second.Recovery()->WaitUntilWritten());
    EXPECT_EQ(countWithExtension(recovery, ".vbk"), 2u);
    // While both run, neither offers the other's.
    EXPECT_TRUE(form->Recovery()->LeftBehind().empty());
    EXPECT_TRUE(second.Recovery()->LeftBehind().empty());

    // The first ends with the session: its copy stays and is offered to a new instance.
    form->KeepRecoveryAtExit();
    form->FormDestroy();
    form.reset();
    ProjectHost thirdHost;
    auto third = startForm(thirdHost);
    third->EnableRecovery(recovery);
    const std::vector<TRecoveryCopy> left = third->Recovery()->LeftBehind();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_FALSE(left[0].damaged);
    EXPECT_EQ(left[0].projectFile, "Neues Projekt.vbk");
    third->FormDestroy();
}

// The session ends while the start asks (no button chosen): the copy waits for the next start.
TEST_F(Recovery, AQuestionLeftWithoutAnswerKeepsTheCopy) {
    form->EnableRecovery(recovery);
    work(*form, host);
    ASSERT_TRUE(form->Recovery()->WaitUntilWritten());
    const std::size_t lines = form->ProjectData.size();
    TBitmap32 background;
    background.Assign(&form->ImageHintergrund.Bitmap());
    form->KeepRecoveryAtExit();
    form->FormDestroy();
    form.reset();

    ProjectHost laterHost;
    auto later = startForm(laterHost);
    later->EnableRecovery(recovery);
    laterHost.restoreAnswers = {RestoreAnswer::Later};
    later->OfferRecovery();
    EXPECT_EQ(laterHost.questions.size(), 1u);
    EXPECT_LT(later->ProjectData.size(), lines) << "nothing restored";
    later->KeepRecoveryAtExit();
    later->FormDestroy();
    EXPECT_EQ(countWithExtension(recovery, ".vbk"), 1u);

    ProjectHost nextHost;
    auto next = startForm(nextHost);
    next->EnableRecovery(recovery);
    nextHost.restoreAnswers = {RestoreAnswer::Restore};
    next->OfferRecovery();
    EXPECT_EQ(next->ProjectData.size(), lines);
    EXPECT_TRUE(sameBitmap(next->ImageHintergrund.Bitmap(), background));
    next->FormDestroy();
}

TEST_F(Recovery, ADamagedCopyIsOnlyOfferedForDiscarding) {
    fs::create_directories(recovery);
    ::chmod(recovery.c_str(), 0700);
    writeFileBytes(recovery + "4242-abc.vbk", "kein Archiv");
    writeFileBytes(recovery + "4242-abc.info",
                   "Projekt=/home/k/Angebot.vbk\nZeit=01.12.2026, 09:15\n");
    writeFileBytes(recovery + "4242-abc.lock", "");
    form->EnableRecovery(recovery);
    host.restoreAnswers = {RestoreAnswer::Restore};
    form->OfferRecovery();
    EXPECT_TRUE(host.questions.empty()) << "no question to restore";
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("vom 01.12.2026, 09:15 ist beschädigt"), std::string::npos)
        << host.messages[0];
    EXPECT_FALSE(fs::exists(recovery + "4242-abc.vbk"));
    EXPECT_EQ(form->ProjectFile, "Neues Projekt.vbk");
}

TEST_F(Recovery, AFolderThatIsNotPrivateIsNeverUsed) {
    // A link in its place, a file in its place, a folder of another user.
    const std::string elsewhere = folder + "anderswo/";
    fs::create_directories(elsewhere);
    fs::create_directories(folder + "link/schauplatz");
    fs::create_directory_symlink(elsewhere, folder + "link/schauplatz/recovery");
    fs::create_directories(folder + "datei/schauplatz");
    writeFileBytes(folder + "datei/schauplatz/recovery", "");
    fs::create_directories(folder + "fremd/schauplatz/recovery");
    const bool foreignMade =
        ::chown((folder + "fremd/schauplatz/recovery").c_str(), 65534, 65534) == 0;
    std::vector<std::string> cases = {folder + "link/schauplatz/recovery/",
                                      folder + "datei/schauplatz/recovery/"};
    if (foreignMade && ::geteuid() != 65534) cases.push_back(folder + "fremd/schauplatz/recovery/");
    for (const std::string& unsafe : cases) {
        SCOPED_TRACE(unsafe);
        form->EnableRecovery(unsafe);
        EXPECT_FALSE(form->Recovery()->Usable());
        work(*form, host); // everything else works
        EXPECT_EQ(form->ProjectData.size(), 3u);
    }
    EXPECT_TRUE(namesIn(elsewhere).empty());
    const std::string log = readFileBytes(LogFileName());
    EXPECT_NE(log.find("Wiederherstellung nicht möglich, Ordner unsicher: "), std::string::npos);
}

TEST_F(Recovery, AFaultWhileTheCopyIsWrittenKeepsThePreviousCopy) {
    form->EnableRecovery(recovery);
    work(*form, host);
    ASSERT_TRUE(form->Recovery()->WaitUntilWritten());
    std::string copy;
    for (const std::string& name : namesIn(recovery))
        if (fs::path(name).extension() == ".vbk") copy = recovery + name;
    using Op = FaultInjectingFileSystem::Operation;
    for (const Op op : {Op::Open, Op::Write, Op::Sync, Op::Close, Op::Rename, Op::SyncDirectory}) {
        const std::string before = readFileBytes(copy);
        FaultInjectingFileSystem faulty(fileSystem());
        faulty.failOn(op, 1, ENOSPC, op == Op::Write);
        {
            ScopedFileSystemOverride override(faulty);
            accept(door, {QuadPoint{1, 1}, QuadPoint{9, 1}, QuadPoint{9, 9}, QuadPoint{1, 9}});
            form->Recovery()->WaitUntilWritten();
        }
        // Until the rename the previous copy stands; once the new one has replaced it
        // (a failing folder sync), the new one is whole.
        const std::string after = readFileBytes(copy);
        EXPECT_TRUE(after == before || op == Op::SyncDirectory)
            << static_cast<int>(op) << ": the previous copy is kept";
        TForm_Schauplatz& reader = otherForm();
        ASSERT_TRUE(reader.LoadProject(copy)) << static_cast<int>(op);
        EXPECT_EQ(reader.ProjectData.size(), after == before ? 3u : 4u) << static_cast<int>(op);
        form->Schrittzurck1Click();
        ASSERT_TRUE(form->Recovery()->WaitUntilWritten());
    }
    // After the faults the program goes on keeping copies.
    const std::string before = readFileBytes(copy);
    accept(door, kQuadB);
    EXPECT_TRUE(form->Recovery()->WaitUntilWritten());
    EXPECT_FALSE(readFileBytes(copy) == before);
}

} // namespace
} // namespace schauplatz::testing
