// Filling the element list from a folder: masks, attributes, order and the
// fields of each entry.

#include "elements/ElementListBox.h"
#include "elements/ElementListFolder.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace schauplatz {
namespace {

using picture_test::Bytes;
using picture_test::ScratchFolder;

std::vector<std::string> fileNames(const TElementListBox& list) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < list.Count(); ++i)
        names.push_back(list.Item(i).FileName);
    return names;
}

TEST(MatchesFileMask, ExtensionsWithoutRegardToCase) {
    EXPECT_TRUE(MatchesFileMask("a.jpg", "*.jpg"));
    EXPECT_TRUE(MatchesFileMask("A.JPG", "*.jpg"));
    EXPECT_TRUE(MatchesFileMask("Tür.JpG", "*.jpg"));
    EXPECT_TRUE(MatchesFileMask(".jpg", "*.jpg")); // "*" also matches nothing
    EXPECT_TRUE(MatchesFileMask("a.b.jpg", "*.jpg"));
    EXPECT_FALSE(MatchesFileMask("a.jpeg", "*.jpg"));
    EXPECT_FALSE(MatchesFileMask("a.jpg.txt", "*.jpg"));
    EXPECT_FALSE(MatchesFileMask("ajpg", "*.jpg"));
    EXPECT_TRUE(MatchesFileMask("x1.png", "x?.png"));
    EXPECT_FALSE(MatchesFileMask("x.png", "x?.png"));
    EXPECT_TRUE(MatchesFileMask("abcabcabd", "*abd"));
    EXPECT_TRUE(MatchesFileMask("anything", "*"));
    EXPECT_FALSE(MatchesFileMask("", "?"));
}

TEST(SplitFileMask, FolderPartKeepsItsDelimiter) {
    std::string folder, pattern;
    SplitFileMask("/muster/Haustüren/*.bmp", folder, pattern);
    EXPECT_EQ(folder, "/muster/Haustüren/");
    EXPECT_EQ(pattern, "*.bmp");
    SplitFileMask("*.png", folder, pattern);
    EXPECT_EQ(folder, "");
    EXPECT_EQ(pattern, "*.png");
}

class ElementListFolderTest : public ::testing::Test {
protected:
    void touch(const std::string& name, std::size_t bytes = 1) {
        m_folder.write(name, Bytes(bytes, 0x42));
    }
    std::string mask(const std::string& pattern) const {
        return m_folder.path("") + pattern; // path("") ends in "/"
    }
    ScratchFolder m_folder;
    TElementListBox m_list; // no window: no worker runs
};

TEST_F(ElementListFolderTest, EachMaskAppendsItsMatchesSortedByBytes) {
    for (const char* name : {"b.png", "a.bmp", "c.jpg", "Z.BMP", "ä.bmp", "d.jpeg", "e.gif"})
        touch(name);
    for (const char* pattern : {"*.bmp", "*.png", "*.jpg"})
        m_list.AddImagesFromFolder(mask(pattern));
    // "Z" (0x5A) < "a" (0x61) < "ä" (0xC3 0xA4): byte order, not a locale's.
    EXPECT_EQ(fileNames(m_list),
              (std::vector<std::string>{"Z.BMP", "a.bmp", "ä.bmp", "b.png", "c.jpg"}));
    EXPECT_FALSE(m_list.WorkerRunning());
}

TEST_F(ElementListFolderTest, EntryFieldsAsTheListingGivesThem) {
    touch("Haustür Eiche; 2.bmp", 1234);
    const auto written = std::filesystem::last_write_time(m_folder.path("Haustür Eiche; 2.bmp"));
    m_list.AddImagesFromFolder(mask("*.bmp"));
    ASSERT_EQ(m_list.Count(), 1u);
    const TElementListBoxItem& item = m_list.Item(0);
    EXPECT_EQ(item.FileName, "Haustür Eiche; 2.bmp");
    EXPECT_EQ(item.FullPath, m_folder.path("Haustür Eiche; 2.bmp"));
    EXPECT_EQ(item.FileSize, 1234u);
    EXPECT_EQ(item.LastWriteTime, written);
    EXPECT_EQ(m_list.ThumbnailStateOf(0), TThumbnailState::NotMade);
    EXPECT_TRUE(m_list.ThumbnailOf(0).Empty());
}

TEST_F(ElementListFolderTest, EveryAttributeIsAllowed) {
    touch(".versteckt.png");
    std::filesystem::create_directory(m_folder.path("Ordner.png"));
    touch("schreibgeschützt.png");
    std::filesystem::permissions(m_folder.path("schreibgeschützt.png"),
                                 std::filesystem::perms::owner_read);
    std::filesystem::create_symlink(m_folder.path("fehlt"), m_folder.path("verwaist.png"));
    m_list.AddImagesFromFolder(mask("*.png"));
    EXPECT_EQ(fileNames(m_list),
              (std::vector<std::string>{".versteckt.png", "Ordner.png", "schreibgeschützt.png",
                                        "verwaist.png"}));
    EXPECT_EQ(m_list.Item(1).FileSize, 0u); // a folder has no size
}

TEST_F(ElementListFolderTest, MissingFolderAndNoMatchesGiveNothing) {
    m_list.AddImagesFromFolder(m_folder.path("gibt es nicht/") + "*.bmp");
    EXPECT_EQ(m_list.Count(), 0u);
    touch("only.jpeg");
    m_list.AddImagesFromFolder(mask("*.jpg"));
    EXPECT_EQ(m_list.Count(), 0u);
    // A file in place of the folder.
    m_list.AddImagesFromFolder(m_folder.path("only.jpeg") + "/*.jpg");
    EXPECT_EQ(m_list.Count(), 0u);
}

TEST_F(ElementListFolderTest, ClearForgetsEntriesAndSelection) {
    touch("a.bmp");
    touch("b.bmp");
    m_list.AddImagesFromFolder(mask("*.bmp"));
    m_list.ItemIndex = 1;
    m_list.HotIndex = 0;
    m_list.Clear();
    EXPECT_EQ(m_list.Count(), 0u);
    EXPECT_EQ(m_list.ItemIndex, -1);
    EXPECT_EQ(m_list.HotIndex, -1);
}

// --- layout --------------------------------------------------------------------------------

TEST_F(ElementListFolderTest, LayoutOneColumnWithSpacing) {
    for (int i = 0; i < 5; ++i)
        touch(std::string("e") + std::to_string(i) + ".bmp");
    m_list.AddImagesFromFolder(mask("*.bmp"));
    m_list.SetViewportSize(170, 400);
    EXPECT_EQ(m_list.ContentHeight(), 10 + 5 * 210);
    EXPECT_EQ(m_list.MaxScrollPosition(), 1060 - 400);
    const ElementItemRect second = m_list.ItemRect(1);
    EXPECT_EQ(second.Left, 10);
    EXPECT_EQ(second.Top, 220);
    EXPECT_EQ(second.Right, 130);
    EXPECT_EQ(second.Bottom, 420);
    EXPECT_EQ(m_list.IndexAt(10, 220), 1);
    EXPECT_EQ(m_list.IndexAt(129, 419), 1);
    EXPECT_EQ(m_list.IndexAt(130, 300), -1); // right of the column
    EXPECT_EQ(m_list.IndexAt(50, 215), -1);  // in the spacing
    EXPECT_EQ(m_list.IndexAt(50, 5), -1);
    // Entries 0 and 1 are in view (entry 1 partly), entry 2 starts at 430.
    EXPECT_TRUE(m_list.IsVisible(1));
    EXPECT_FALSE(m_list.IsVisible(2));
    EXPECT_EQ(m_list.FirstVisibleIndex(), 0u);

    m_list.SetScrollPosition(419); // entry 1's last row is still in view
    EXPECT_EQ(m_list.FirstVisibleIndex(), 1u);
    EXPECT_EQ(m_list.IndexAt(50, 0), 1);
    m_list.SetScrollPosition(420); // now only the spacing and entry 2 onwards
    EXPECT_EQ(m_list.FirstVisibleIndex(), 2u);
    EXPECT_FALSE(m_list.IsVisible(1));
    EXPECT_TRUE(m_list.IsVisible(3));
    m_list.SetScrollPosition(100000);
    EXPECT_EQ(m_list.ScrollPosition(), m_list.MaxScrollPosition());
    m_list.SetScrollPosition(-5);
    EXPECT_EQ(m_list.ScrollPosition(), 0);
}

TEST_F(ElementListFolderTest, ListPatternsPutTodaysFormatsAfterBmpPngAndJpg) {
    for (const char* name :
         {"f.avif", "b.PNG", "e.heic", "a.bmp", "c.jpg", "d.webp", "x.jpeg", "g.HEIF", "notiz.txt"})
        touch(name);
    for (const std::string& pattern : ElementListFilePatterns())
        m_list.AddImagesFromFolder(mask(pattern));
    std::vector<std::string> names;
    for (std::size_t i = 0; i < m_list.Count(); ++i)
        names.push_back(m_list.Item(i).FileName);
    EXPECT_EQ(names, (std::vector<std::string>{"a.bmp", "b.PNG", "c.jpg", "d.webp", "e.heic",
                                               "g.HEIF", "f.avif"}));
}

TEST_F(ElementListFolderTest, ScrollAndResizeAskForARestart) {
    for (int i = 0; i < 5; ++i)
        touch(std::string("e") + std::to_string(i) + ".bmp");
    m_list.AddImagesFromFolder(mask("*.bmp"));
    m_list.SetViewportSize(170, 300);
    m_list.StopWorker(); // forgets the pending restart
    EXPECT_FALSE(m_list.RestartRequested());
    m_list.SetScrollPosition(0); // no change, no restart
    EXPECT_FALSE(m_list.RestartRequested());
    m_list.SetScrollPosition(50);
    EXPECT_TRUE(m_list.RestartRequested());
    m_list.StopWorker();
    m_list.SetViewportSize(170, 300);
    EXPECT_FALSE(m_list.RestartRequested());
    m_list.SetViewportSize(170, 500);
    EXPECT_TRUE(m_list.RestartRequested());
}

} // namespace
} // namespace schauplatz
