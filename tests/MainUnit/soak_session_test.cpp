// A long seeded random session through the window's handlers: facades and elements loaded,
// the list refilled, corners and the whole quad dragged, elements accepted, undone and
// redone, placed elements taken up by a double click and put back, cancelled, removed or
// moved in the order, projects saved and loaded, the element mirrored and the new-element
// mode switched. After every step: the record list is the composition's, line 0 names the
// facade, and the background equals a replay of the record list alone (a mirrored element is
// recorded as its mirrored copy); a saved project replayed in a second window gives the same
// background.
// Run under ASan (scripts/sanitize.sh) it also proves the session leaks nothing of ours.
//
// SCHAUPLATZ_SOAK_SEED and SCHAUPLATZ_SOAK_STEPS run another or a longer session.

#include "project_fixture.h"

#include "composition/ProjectReplay.h"
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

    bool elementLoaded = false;
    std::map<std::string, std::vector<std::string>> saved; // keys of each saved project

    loadFacade(facades[0]);
    const auto doubleClick = [&](int x, int y) {
        pressAt(x, y);
        releaseAt(x, y);
        form->WorkingPlaceImage.DblClick(mbLeft, ssLeft, x, y);
        releaseAt(x, y);
    };

    for (unsigned long step = 0; step < steps && !HasFatalFailure(); ++step) {
        const int action = pick(0, 99);
        std::string what;
        if (action < 4) {
            what = "facade";
            loadFacade(facades[static_cast<std::size_t>(pick(0, 1))]);
        } else if (action < 12) {
            what = "element";
            host.openAnswers.push_back(elements[static_cast<std::size_t>(pick(0, 2))]);
            guarded([&] { form->BildvomElementladen1Click(); }, what);
            elementLoaded = true;
        } else if (action < 15) {
            what = "refill list";
            form->FillElementList(folder + "Muster");
            if (form->ElementListBox1.Count() > 0) {
                form->ElementListBox1ItemDblClick(
                    pick(0, static_cast<int>(form->ElementListBox1.Count()) - 1));
                elementLoaded = true;
            }
        } else if (action < 38) {
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
                // A key in the middle of the drag must not accept a half-moved element.
                if (pick(0, 5) == 0 && form->ActiveVertex >= 0) {
                    const std::vector<std::string> before = form->ProjectData;
                    form->ShortCutPressed(ShortCut{true, false, 'U'});
                    EXPECT_EQ(form->ProjectData, before) << "step " << step;
                }
            }
            releaseAt(x, y);
        } else if (action < 52) {
            if (!elementLoaded && !form->Editing()) continue;
            what = form->Editing() ? "put back" : "accept";
            guarded([&] { form->Elementbernehmen1Click(); }, what);
        } else if (action < 60) {
            what = "undo";
            form->Schrittzurck1Click();
        } else if (action < 65) {
            what = "redo";
            form->Schrittvor1Click();
        } else if (action < 72) {
            what = "double click";
            doubleClick(pick(0, 159), pick(0, 119));
        } else if (action < 76) {
            what = "cancel, remove or reorder";
            const char* items[] = {"Bearbeitungabbrechen1", "Elemententfernen1", "Nachvorne1",
                                   "Nachhinten1"};
            form->ClickMenuItem(items[pick(0, 3)]);
        } else if (action < 83) {
            what = "save";
            const std::string& project = projects[static_cast<std::size_t>(pick(0, 1))];
            if (guarded([&] { form->SaveProject(project); }, what)) {
                saved[project] = recordKeys(form->ProjectData);
                // The saved project, replayed in a second window, rebuilds this background.
                if (!form->Editing()) {
                    ASSERT_TRUE(guarded([&] { replay.LoadProject(project); }, "replay"));
                    EXPECT_EQ(recordKeys(replay.ProjectData), saved[project]) << "step " << step;
                    EXPECT_TRUE(sameBitmap(replay.ImageHintergrund.Bitmap(),
                                           form->ImageHintergrund.Bitmap()))
                        << "step " << step << ": the replay differs from the background";
                }
            }
        } else if (action < 89) {
            what = "load";
            const std::string& project = projects[static_cast<std::size_t>(pick(0, 1))];
            const auto found = saved.find(project);
            if (found == saved.end()) continue;
            if (guarded([&] { form->LoadProject(project); }, what)) {
                EXPECT_EQ(recordKeys(form->ProjectData), found->second) << "step " << step;
            }
        } else if (action < 93) {
            what = "mirror";
            form->rspeigeln1Click();
        } else if (action < 96) {
            what = "mode";
            form->ClickMenuItem("NeuesElementpositionieren1");
        } else {
            what = "idle";
            form->AppEventsIdle();
        }

        if (std::getenv("SCHAUPLATZ_SOAK_TRACE") != nullptr)
            std::printf("%lu %s editing=%d lines=%zu\n", step, what.c_str(), form->Editing(),
                        form->ProjectData.size());
        // The record list is the composition's, line 0 the facade; the background follows.
        ASSERT_EQ(form->ProjectData, form->Composition().RecordLines())
            << "step " << step << " after " << what;
        ASSERT_FALSE(form->ProjectData.empty()) << "step " << step << " after " << what;
        if (!form->Editing()) {
            const TComposition replayed = ReplayRecordLines(form->ProjectData, {});
            ASSERT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), replayed.Background()))
                << "step " << step << " after " << what;
        }
        ASSERT_TRUE(host.messages.empty())
            << "step " << step << " after " << what << ": " << host.messages.front();
    }
}

} // namespace
} // namespace schauplatz::testing
