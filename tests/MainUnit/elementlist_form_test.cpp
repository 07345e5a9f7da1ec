// The window's element list: filling from the pattern folder, the folder
// chooser and the double click that makes an entry the current element.

#include "MainUnit/MainUnit.h"
#include "ScriptedHost.h"
#include "elements/PictureFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdlib.h>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;

// Records what the folder chooser was asked.
class ChooserHost : public testing::ScriptedHost {
public:
    struct FolderRequest {
        std::string title;
        std::string initialFolder;
    };
    std::vector<FolderRequest> folderRequests;
    std::string selectFolderDialog(const std::string& title,
                                   const std::string& initialFolder) override {
        folderRequests.push_back({title, initialFolder});
        return ScriptedHost::selectFolderDialog(title, initialFolder);
    }
};

class ElementListForm : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "elementlist-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern + "/";
        m_form = std::make_unique<TForm_Schauplatz>(m_host, m_root);
    }
    void TearDown() override {
        m_form.reset();
        fs::remove_all(m_root);
    }

    // A picture file of width x 1 whose pixels all have the given colour.
    void writePicture(const std::string& folder, const std::string& name, int width,
                      TColor32 colour = 0xFF336699u) {
        fs::create_directories(m_root + folder);
        TBitmap32 picture;
        picture.SetSize(width, 1);
        for (int x = 0; x < width; ++x)
            picture.Bits()[x] = colour;
        WriteBitmapFile(picture, m_root + folder + "/" + name);
    }
    void writeText(const std::string& folder, const std::string& name) {
        fs::create_directories(m_root + folder);
        std::ofstream(m_root + folder + "/" + name) << "kein Bild";
    }
    std::vector<std::string> listedNames() const {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < m_form->ElementListBox1.Count(); ++i)
            names.push_back(m_form->ElementListBox1.Item(i).FileName);
        return names;
    }
    // Loads a known element first, so "unchanged" can be told from "empty".
    void loadKnownElement() {
        writePicture("vorher", "bekannt.bmp", 7);
        m_form->LoadElementPicture(m_root + "vorher/bekannt.bmp");
        ASSERT_EQ(m_form->ElementFile, m_root + "vorher/bekannt.bmp");
        ASSERT_EQ(m_form->ImageSelectedDoor.Bitmap().Width(), 7);
    }

    std::string m_root;
    ChooserHost m_host;
    std::unique_ptr<TForm_Schauplatz> m_form;
};

TEST_F(ElementListForm, BmpThenPngThenJpgAndEntryZeroBecomesTheElement) {
    // Contents are BMPs whatever the name: the reader falls back to them.
    writePicture("Muster", "b.png", 2);
    writePicture("Muster", "a.bmp", 3);
    writePicture("Muster", "c.jpg", 4);
    writePicture("Muster", "d.jpeg", 5);
    writePicture("Muster", "E.PNG", 6);
    writePicture("Muster", "F.JPG", 8);
    m_form->FillElementList(m_root + "Muster");
    EXPECT_EQ(listedNames(),
              (std::vector<std::string>{"a.bmp", "E.PNG", "b.png", "F.JPG", "c.jpg"}));
    EXPECT_EQ(m_form->PatternFolder, m_root + "Muster/");
    EXPECT_EQ(m_form->ElementListBox1.Item(0).FullPath, m_root + "Muster/a.bmp");
    EXPECT_EQ(m_form->ElementFile, m_root + "Muster/a.bmp");
    EXPECT_EQ(m_form->ImageSelectedDoor.Bitmap().Width(), 3);
    // 31 rounds of events after emptying, one after filling.
    EXPECT_EQ(m_host.processMessagesCalls, 32);
    EXPECT_TRUE(m_host.messages.empty());
}

TEST_F(ElementListForm, OnlyJpegFilesListNothingAndKeepTheElement) {
    loadKnownElement();
    writePicture("Muster", "d.jpeg", 5);
    m_form->FillElementList(m_root + "Muster");
    EXPECT_EQ(m_form->ElementListBox1.Count(), 0u);
    EXPECT_EQ(m_form->ElementFile, m_root + "vorher/bekannt.bmp");
    EXPECT_EQ(m_form->ImageSelectedDoor.Bitmap().Width(), 7);
    EXPECT_TRUE(m_host.messages.empty());
}

TEST_F(ElementListForm, EmptyAndMissingFoldersKeepTheElement) {
    loadKnownElement();
    fs::create_directories(m_root + "leer");
    m_form->FillElementList(m_root + "leer");
    EXPECT_EQ(m_form->ElementListBox1.Count(), 0u);
    EXPECT_EQ(m_form->PatternFolder, m_root + "leer/");
    m_form->FillElementList(m_root + "gibt es nicht");
    EXPECT_EQ(m_form->ElementListBox1.Count(), 0u);
    EXPECT_EQ(m_form->PatternFolder, m_root + "gibt es nicht/");
    EXPECT_EQ(m_form->ElementFile, m_root + "vorher/bekannt.bmp");
    EXPECT_EQ(m_form->ImageSelectedDoor.Bitmap().Width(), 7);
    EXPECT_TRUE(m_host.messages.empty());
}

TEST_F(ElementListForm, RefillReplacesTheEntries) {
    writePicture("eins", "x.bmp", 2);
    writePicture("eins", "y.bmp", 2);
    writePicture("zwei", "z.png", 9);
    m_form->FillElementList(m_root + "eins");
    m_form->ElementListBox1.ItemIndex = 1;
    m_form->FillElementList(m_root + "zwei/"); // a trailing delimiter is kept single
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"z.png"}));
    EXPECT_EQ(m_form->PatternFolder, m_root + "zwei/");
    EXPECT_EQ(m_form->ElementListBox1.ItemIndex, -1);
    EXPECT_EQ(m_form->ElementFile, m_root + "zwei/z.png");
}

TEST_F(ElementListForm, DoubleClickLoadsPatternFolderPlusFileName) {
    writePicture("Muster", "Haustür Eiche; 2.bmp", 4, 0xFF804020u);
    writePicture("Muster", "Tür Rot.bmp", 6, 0xFFC00000u);
    m_form->FillElementList(m_root + "Muster");
    ASSERT_EQ(listedNames(), (std::vector<std::string>{"Haustür Eiche; 2.bmp", "Tür Rot.bmp"}));
    m_form->ElementListBox1ItemDblClick(1);
    EXPECT_EQ(m_form->ElementFile, m_root + "Muster/Tür Rot.bmp");
    EXPECT_EQ(m_form->ImageSelectedDoor.Bitmap().Width(), 6);
    EXPECT_EQ(m_form->ImageSelectedDoor.Bitmap().Bits()[0], 0xFFC00000u);

    // The path is built from the pattern folder, not from the entry's full
    // path (they differ only if PatternFolder was changed without a refill).
    writePicture("anders", "Tür Rot.bmp", 11);
    m_form->PatternFolder = m_root + "anders/";
    m_form->ElementListBox1ItemDblClick(1);
    EXPECT_EQ(m_form->ElementFile, m_root + "anders/Tür Rot.bmp");
    EXPECT_EQ(m_form->ImageSelectedDoor.Bitmap().Width(), 11);
}

TEST_F(ElementListForm, DoubleClickErrorsAreDroppedSilently) {
    writePicture("Muster", "a.bmp", 4);
    m_form->FillElementList(m_root + "Muster");
    const std::string before = m_form->ElementFile;
    for (int index : {-1, 1, 1000})
        m_form->ElementListBox1ItemDblClick(index);
    EXPECT_EQ(m_form->ElementFile, before);
    EXPECT_TRUE(m_host.messages.empty());
}

TEST_F(ElementListForm, AFileThatIsNoPictureIsListedAndHandedOn) {
    writeText("Muster", "Notiz.bmp");
    m_form->FillElementList(m_root + "Muster");
    ASSERT_EQ(listedNames(), std::vector<std::string>{"Notiz.bmp"});
    // Filling the list offers its first picture without a word: it cannot be used, so the
    // element stays as it was.
    EXPECT_EQ(m_form->ElementFile, "");
    EXPECT_TRUE(m_form->ImageSelectedDoor.Bitmap().IsEmpty());
    EXPECT_TRUE(m_host.messages.empty());
    // A double click on it says why it cannot be used.
    m_form->ElementListBox1ItemDblClick(0);
    ASSERT_EQ(m_host.messages.size(), 1u);
    EXPECT_NE(m_host.messages[0].find("Notiz.bmp"), std::string::npos);
    EXPECT_EQ(m_form->ElementFile, "");
}

TEST_F(ElementListForm, MusterMenuChoosesAFolderOrChangesNothing) {
    writePicture("Muster", "a.bmp", 2);
    writePicture("Fenster", "f.png", 5);
    m_form->FillElementList(m_root + "Muster");

    m_host.folderAnswers = {""}; // cancelled
    m_form->ClickMenuItem("Muster1");
    ASSERT_EQ(m_host.folderRequests.size(), 1u);
    EXPECT_EQ(m_host.folderRequests[0].title, "Verzeichnis auswählen");
    EXPECT_EQ(m_host.folderRequests[0].initialFolder, m_root + "Muster/");
    EXPECT_EQ(m_form->PatternFolder, m_root + "Muster/");
    EXPECT_EQ(listedNames(), std::vector<std::string>{"a.bmp"});
    EXPECT_EQ(m_form->ElementFile, m_root + "Muster/a.bmp");

    m_host.folderAnswers = {m_root + "Fenster/"}; // as the chooser returns folders
    EXPECT_TRUE(m_form->ShortCutPressed(m_form->Item("Muster1").shortCut));
    ASSERT_EQ(m_host.folderRequests.size(), 2u);
    EXPECT_EQ(m_form->PatternFolder, m_root + "Fenster/");
    EXPECT_EQ(listedNames(), std::vector<std::string>{"f.png"});
    EXPECT_EQ(m_form->ElementFile, m_root + "Fenster/f.png");
}

// --- refilling while the worker makes thumbnails --------------------------------------------

class HoldingWindow : public ElementListWindow {
public:
    std::function<void()> onProcessEvents;
    void RequestRepaint() override {}
    void ProcessEvents() override {
        if (onProcessEvents) onProcessEvents();
    }
    void ContentChanged() override {}
    void ListDestroyed() override {}
};

TEST_F(ElementListForm, RefillWhileAThumbnailIsMadeWaitsForTheWorker) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        writePicture("Muster", name, 3);
    writePicture("Neu", "n.bmp", 3);

    // A slow maker that is held inside its first file until released.
    std::mutex lock;
    std::condition_variable changed;
    bool inside = false, released = false;
    std::atomic<int> finished{0};
    TElementListBox& list = m_form->ElementListBox1;
    list.SetThumbnailMaker([&](const std::string& path, PictureSize area) {
        {
            std::unique_lock<std::mutex> hold(lock);
            inside = true;
            changed.notify_all();
            changed.wait(hold, [&] { return released; });
        }
        auto result = MakeThumbnail(path, area);
        ++finished;
        return result;
    });
    m_form->FillElementList(m_root + "Muster"); // no window yet: no worker
    HoldingWindow window;
    list.SetViewportSize(140, 700);
    list.AttachWindow(window); // the worker starts and is held in its first file
    {
        std::unique_lock<std::mutex> hold(lock);
        ASSERT_TRUE(changed.wait_for(hold, std::chrono::seconds(20), [&] { return inside; }));
    }

    std::size_t entriesWhileWaiting = 0;
    window.onProcessEvents = [&] {
        entriesWhileWaiting = std::max(entriesWhileWaiting, list.Count());
        std::lock_guard<std::mutex> hold(lock);
        released = true;
        changed.notify_all();
    };
    m_form->FillElementList(m_root + "Neu");
    EXPECT_EQ(entriesWhileWaiting, 3u); // nothing removed while the worker ran
    EXPECT_GE(finished.load(), 1);      // the held thumbnail was finished first
    EXPECT_EQ(listedNames(), std::vector<std::string>{"n.bmp"});
    EXPECT_TRUE(list.WorkerRunning());
    list.DetachWindow();
}

} // namespace
} // namespace schauplatz
