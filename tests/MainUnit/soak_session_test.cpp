// A long seeded random session through the window's handlers: facades and elements loaded,
// the list refilled, corners and the whole quad dragged, elements accepted and undone,
// projects saved and loaded, the element mirrored and the new-element mode switched. After
// every step: the record list holds exactly the accepted elements (file names and quads),
// line 0 names the facade; and while no element was mirrored and the mode stayed on since
// the facade came, a saved project replayed in a second window gives the same background.
// Run under ASan (scripts/sanitize.sh) it also proves the session leaks nothing of ours.
//
// SCHAUPLATZ_SOAK_SEED and SCHAUPLATZ_SOAK_STEPS run another or a longer session.

#include "project_fixture.h"

#include "project/ProjectArchive.h"
#include "project/RecordFile.h"
#include "support/U_SYSTOOLS.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>

namespace schauplatz::testing {
namespace {

// A record line reduced to what survives a save and load: the picture's file name and the quad.
std::string recordKey(const std::string& line, bool facadeLine) {
    if (facadeLine) return FileNamePart(line);
    const std::size_t semicolon = line.find(';');
    return FileNamePart(line.substr(0, semicolon)) + line.substr(semicolon);
}

std::vector<std::string> recordKeys(const std::vector<std::string>& lines) {
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < lines.size(); ++i)
        keys.push_back(recordKey(lines[i], i == 0));
    return keys;
}

unsigned long environmentNumber(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoul(text, nullptr, 10) : fallback;
}

class SoakSession : public ProjectForm {
protected:
    struct Saved {
        std::vector<std::string> keys;
        std::optional<TBitmap32> background; // set when the session was clean at the save
    };

    void pressAt(int x, int y) { form->WorkingPlaceImage.MouseDown(mbLeft, ssLeft, x, y); }
    void moveTo(int x, int y) { form->WorkingPlaceImage.MouseMove(ssLeft, x, y); }
    void releaseAt(int x, int y) { form->WorkingPlaceImage.MouseUp(mbLeft, 0, x, y); }

    // Runs one handler as the window's error handling does: an exception ends the command.
    template <typename Handler>
    bool guarded(Handler handler, const std::string& what) {
        try {
            handler();
            return true;
        } catch (const std::exception& error) {
            ADD_FAILURE() << what << " raised: " << error.what();
            return false;
        }
    }

    std::mt19937 rng{
        static_cast<std::mt19937::result_type>(environmentNumber("SCHAUPLATZ_SOAK_SEED", 20211))};
    int pick(int from, int to) { return std::uniform_int_distribution<int>(from, to)(rng); }
};

TEST_F(SoakSession, RandomSessionKeepsRecordListAndReplayInStep) {
    const unsigned long steps = environmentNumber("SCHAUPLATZ_SOAK_STEPS", 300);
    const std::vector<std::string> facades = {writePattern("Fassade 1.bmp", 160, 120, 11),
                                              writePattern("Fassade 2.bmp", 96, 140, 12)};
    const std::vector<std::string> elements = {writeDoor("Muster/Tür 1.bmp", 12, 20, 13),
                                               writeDoor("Muster/Fenster.bmp", 9, 9, 14),
                                               writePattern("Muster/Tür 2.bmp", 16, 10, 15)};
    const std::vector<std::string> projects = {folder + "Kunde A.vbk", folder + "Kunde B.vbk"};
    TForm_Schauplatz& replay = otherForm();

    std::vector<std::string> model; // keys of the lines the session accepted
    // Since the background started (facade or project load): no mirrored element accepted,
    // the new-element mode never off.
    bool mirroredAccepted = false;
    bool modeWasOff = false;
    // Loading a facade empties the workspace until the element is drawn again (a drag, a new
    // element, a mirror): an acceptance before that records an element the background does
    // not show, which a replay then draws.
    bool rendered = false;
    bool unshownAccepted = false;
    bool mirrored = false; // the element picture is mirrored (until one is read from a file)
    bool elementLoaded = false;
    const auto clean = [&] { return !mirroredAccepted && !modeWasOff && !unshownAccepted; };
    std::map<std::string, Saved> saved;

    loadFacade(facades[0]);
    model = {recordKey(facades[0], true)};

    for (unsigned long step = 0; step < steps && !HasFatalFailure(); ++step) {
        const int action = pick(0, 99);
        std::string what;
        if (action < 5) {
            what = "facade";
            const std::string& facade = facades[static_cast<std::size_t>(pick(0, 1))];
            loadFacade(facade);
            model = {recordKey(facade, true)};
            mirroredAccepted = false;
            unshownAccepted = false;
            rendered = false;
            modeWasOff = !form->Item("NeuesElementpositionieren1").checked;
        } else if (action < 14) {
            what = "element";
            host.openAnswers.push_back(elements[static_cast<std::size_t>(pick(0, 2))]);
            guarded([&] { form->BildvomElementladen1Click(); }, what);
            elementLoaded = true;
            mirrored = false;
            rendered = true;
        } else if (action < 18) {
            what = "refill list";
            form->FillElementList(folder + "Muster");
            if (form->ElementListBox1.Count() > 0) {
                form->ElementListBox1ItemDblClick(
                    pick(0, static_cast<int>(form->ElementListBox1.Count()) - 1));
                elementLoaded = true;
                mirrored = false;
                rendered = true;
            }
        } else if (action < 45) {
            what = "drag";
            const int corner = pick(0, 4);
            int x = corner < 4 ? form->Vertices[static_cast<std::size_t>(corner)].X : pick(0, 159);
            int y = corner < 4 ? form->Vertices[static_cast<std::size_t>(corner)].Y : pick(0, 119);
            pressAt(x, y);
            for (int moves = pick(1, 4); moves > 0; --moves) {
                x += pick(-40, 40);
                y += pick(-30, 30);
                moveTo(x, y);
                if (pick(0, 3) == 0) form->AppEventsIdle();
            }
            releaseAt(x, y);
            rendered = true;
        } else if (action < 63) {
            if (!elementLoaded) continue;
            what = "accept";
            const std::string line = FormatElementRecord(
                {form->ElementFile, form->Vertices[0].X, form->Vertices[0].Y, form->Vertices[1].X,
                 form->Vertices[1].Y, form->Vertices[2].X, form->Vertices[2].Y, form->Vertices[3].X,
                 form->Vertices[3].Y});
            if (guarded([&] { form->Elementbernehmen1Click(); }, what)) {
                model.push_back(recordKey(line, false));
                if (mirrored) mirroredAccepted = true;
                if (!rendered) unshownAccepted = true;
            }
        } else if (action < 71) {
            what = "undo";
            const std::size_t before = form->ProjectData.size();
            form->Schrittzurck1Click();
            if (form->ProjectData.size() + 1 == before) {
                model.pop_back();
            } else {
                EXPECT_EQ(form->ProjectData.size(), before) << "undo removed more than a line";
            }
        } else if (action < 80) {
            what = "save";
            const std::string& project = projects[static_cast<std::size_t>(pick(0, 1))];
            if (guarded([&] { form->SaveProject(project); }, what)) {
                Saved& entry = saved[project];
                // The keys as the archive names the pictures (a second picture of a name
                // from another folder is stored under a name of its own).
                entry.keys = recordKeys(planProjectArchive(form->ProjectData).RecordLines);
                entry.background.reset();
                if (clean()) entry.background.emplace().Assign(&form->ImageHintergrund.Bitmap());
                // The saved project, replayed in a second window, rebuilds this background.
                if (clean()) {
                    ASSERT_TRUE(guarded([&] { replay.LoadProject(project); }, "replay"));
                    EXPECT_EQ(recordKeys(replay.ProjectData), entry.keys) << "step " << step;
                    EXPECT_TRUE(sameBitmap(replay.ImageHintergrund.Bitmap(),
                                           form->ImageHintergrund.Bitmap()))
                        << "step " << step << ": the replay differs from the background";
                }
            }
        } else if (action < 88) {
            what = "load";
            const std::string& project = projects[static_cast<std::size_t>(pick(0, 1))];
            const auto found = saved.find(project);
            if (found == saved.end()) continue;
            if (guarded([&] { form->LoadProject(project); }, what)) {
                model = found->second.keys;
                // The load switches the mode on and replays every element from its file; the
                // last one becomes the element picture (a project without elements keeps it).
                mirroredAccepted = false;
                unshownAccepted = false;
                modeWasOff = false;
                rendered = model.size() > 1; // only a replayed element draws the workspace
                if (model.size() > 1) mirrored = false;
                if (found->second.background) {
                    EXPECT_TRUE(
                        sameBitmap(form->ImageHintergrund.Bitmap(), *found->second.background))
                        << "step " << step << ": the loaded project differs from the saved one";
                }
            }
        } else if (action < 92) {
            what = "mirror";
            form->rspeigeln1Click();
            mirrored = true;
            rendered = true;
        } else if (action < 96) {
            what = "mode";
            form->ClickMenuItem("NeuesElementpositionieren1");
            if (!form->Item("NeuesElementpositionieren1").checked) modeWasOff = true;
        } else {
            what = "idle";
            form->AppEventsIdle();
        }

        if (std::getenv("SCHAUPLATZ_SOAK_TRACE") != nullptr)
            std::printf("%lu %s clean=%d mode=%d lines=%zu\n", step, what.c_str(), clean(),
                        form->Item("NeuesElementpositionieren1").checked, model.size());
        // The record list holds exactly the accepted elements, line 0 the facade.
        ASSERT_EQ(recordKeys(form->ProjectData), model) << "step " << step << " after " << what;
        ASSERT_TRUE(host.messages.empty())
            << "step " << step << " after " << what << ": " << host.messages.front();
    }
}

} // namespace
} // namespace schauplatz::testing
