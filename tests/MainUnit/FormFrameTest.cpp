#include "MainUnit/MainUnit.h"
#include "ScriptedHost.h"
#include "support/U_SYSTOOLS.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <stdlib.h>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;

// A program folder of our own: empty (no Muster/), removed afterwards.
class FormFrame : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mainunit-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern + "/";
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::string m_folder;
    testing::ScriptedHost m_host;
};

TEST_F(FormFrame, StartUpValues) {
    TForm_Schauplatz form(m_host, m_folder);
    form.FormCreate();
    EXPECT_EQ(form.ElementFile, "");
    EXPECT_EQ(form.ProjectFile, "Neues Projekt.vbk");
    EXPECT_EQ(form.CaptionTemplate, "");
    // The instance's own work folder below the temporary folder's "zam-werk/".
    EXPECT_EQ(form.WorkFolder, form.ProjectFolders().InstanceFolder() + "vbk/");
    EXPECT_EQ(form.WorkFolder.rfind(GetTempFolder() + "zam-werk/", 0), 0u);
    EXPECT_EQ(form.ActiveVertex, -1);
    EXPECT_EQ(form.LastMouseX, 0);
    EXPECT_EQ(form.LastMouseY, 0);
    EXPECT_EQ(form.Zoom, 1.0f);
    EXPECT_EQ(form.StippleCounter, 0.0f);
    EXPECT_EQ(form.PatternFolder, m_folder + "Muster/Haustüren/");
    EXPECT_TRUE(form.ShowFrame);
    EXPECT_TRUE(form.ProjectData.empty());
    EXPECT_TRUE(form.LoadStore.empty());
    EXPECT_EQ(m_host.idleInstalls, 1);
    EXPECT_EQ(m_host.dropRegistrations, std::vector<bool>{true});
    // Nothing asked the user anything while starting.
    EXPECT_TRUE(m_host.openRequests.empty());
    EXPECT_TRUE(m_host.messages.empty());
    form.FormDestroy();
}

TEST_F(FormFrame, PicturesWithoutMusterFolder) {
    TForm_Schauplatz form(m_host, m_folder);
    EXPECT_EQ(form.Transformation, nullptr);
    form.FormCreate();
    const BuiltinPicture& builtin = BuiltinBackground();
    for (TCustomImage32* view : {static_cast<TCustomImage32*>(&form.ImageHintergrund),
                                 static_cast<TCustomImage32*>(&form.ImageFassade)}) {
        const TBitmap32& picture = view->Bitmap();
        ASSERT_EQ(picture.Width(), 1000);
        ASSERT_EQ(picture.Height(), 667);
        EXPECT_TRUE(std::equal(builtin.pixels.begin(), builtin.pixels.end(), picture.Bits()));
    }
    // Assign brings the background's drawing properties along.
    EXPECT_EQ(form.ImageFassade.Bitmap().DrawMode(), dmOpaque);
    EXPECT_EQ(form.ImageUndo.Bitmap().Width(), 0);
    EXPECT_EQ(form.ImageUndo.Bitmap().Height(), 0);
    EXPECT_EQ(form.ImageCombined.Bitmap().Width(), 0);
    ASSERT_NE(form.Transformation, nullptr);
    form.FormDestroy();
    EXPECT_EQ(form.Transformation, nullptr);
}

TEST_F(FormFrame, DisplaySettingsOfThePictures) {
    TForm_Schauplatz form(m_host, m_folder);
    struct Want {
        const char* name;
        const TCustomImage32& view;
        TBitmapAlign align;
        TScaleMode scaleMode;
        TRepaintMode repaintMode;
        TDrawMode drawMode;
        TControlColor color;
    };
    const Want wants[] = {
        {"ImageSelectedDoor", form.ImageSelectedDoor, baCenter, smOptimal, rmOptimizer, dmBlend,
         kSysAppWorkSpace},
        {"ImageFassade", form.ImageFassade, baCenter, smOptimal, rmOptimizer, dmBlend,
         kControlBlack},
        {"ImageHintergrund", form.ImageHintergrund, baCenter, smOptimal, rmFull, dmOpaque,
         kControlBlack},
        {"ImageUndo", form.ImageUndo, baCenter, smOptimal, rmOptimizer, dmBlend, kControlBlack},
        {"ImageCombined", form.ImageCombined, baCenter, smOptimal, rmOptimizer, dmBlend,
         kControlBlack},
        {"WorkingPlaceImage", form.WorkingPlaceImage, baTopLeft, smOptimalScaled, rmOptimizer,
         dmTransparent, kSysAppWorkSpace},
    };
    for (const Want& want : wants) {
        SCOPED_TRACE(want.name);
        EXPECT_EQ(want.view.BitmapAlign(), want.align);
        EXPECT_EQ(want.view.ScaleMode(), want.scaleMode);
        EXPECT_EQ(want.view.Scale(), 1.0f);
        EXPECT_EQ(want.view.RepaintMode(), want.repaintMode);
        EXPECT_EQ(want.view.Bitmap().DrawMode(), want.drawMode);
        EXPECT_EQ(want.view.Color(), want.color);
        EXPECT_EQ(want.view.Bitmap().ResamplerClassName(), "TNearestResampler");
    }
    EXPECT_EQ(form.WorkingPlaceImage.Bitmap().CombineMode(), cmMerge);
}

TEST_F(FormFrame, DoubleClickOnTheFacadeRunsFassadeLaden) {
    TForm_Schauplatz form(m_host, m_folder);
    form.FormCreate();
    ASSERT_TRUE(static_cast<bool>(form.ImageFassade.OnDblClick));
    // FassadeLaden1Click is reached directly, not as a menu click.
    std::vector<std::string> clicked;
    form.OnMenuItemClick = [&](const std::string& name) { clicked.push_back(name); };
    EXPECT_NO_THROW(form.ImageFassade.OnDblClick(&form.ImageFassade));
    EXPECT_TRUE(clicked.empty());
}

TEST_F(FormFrame, ProgramFolderGetsItsDelimiter) {
    TForm_Schauplatz form(m_host, m_folder.substr(0, m_folder.size() - 1));
    form.FormCreate();
    EXPECT_EQ(form.ProgramFolderPath(), m_folder);
    EXPECT_EQ(form.PatternFolder, m_folder + "Muster/Haustüren/");
}

TEST_F(FormFrame, CaptionIsEmptyUntilShownThenNamesTheProject) {
    TForm_Schauplatz form(m_host, m_folder);
    form.FormCreate();
    EXPECT_EQ(form.Caption(), "");
    EXPECT_TRUE(m_host.captions.empty());

    form.FormShow();
    EXPECT_EQ(form.Caption(), "Velora Bildkomposition 2021 [Neues Projekt.vbk]");
    EXPECT_EQ(m_host.captions,
              std::vector<std::string>{"Velora Bildkomposition 2021 [Neues Projekt.vbk]"});

    // A loaded or saved project shows its full path unchanged.
    form.ProjectFile = "/home/verkauf/Kunden/Haus Müller.vbk";
    form.UpdateCaption();
    EXPECT_EQ(form.Caption(), "Velora Bildkomposition 2021 [/home/verkauf/Kunden/Haus Müller.vbk]");

    form.ResetProject();
    EXPECT_EQ(form.Caption(), "Velora Bildkomposition 2021 [Neues Projekt.vbk]");
    EXPECT_EQ(m_host.captions.size(), 3u);
}

TEST_F(FormFrame, CtrlNStartsANewProjectAndLeavesTheModeAlone) {
    TForm_Schauplatz form(m_host, m_folder);
    form.FormCreate();
    form.FormShow();
    std::vector<std::string> clicked;
    form.OnMenuItemClick = [&](const std::string& name) { clicked.push_back(name); };
    form.ProjectFile = "/tmp/alt.vbk";
    form.ProjectData = {"/tmp/fassade.jpg", "/tmp/tuer.bmp;1;2;3;4;5;6;7;8;"};

    ASSERT_TRUE(form.ShortCutPressed({true, false, 'N'}));
    EXPECT_EQ(clicked, std::vector<std::string>{"NeuesProjekt1"});
    EXPECT_TRUE(form.Item("NeuesElementpositionieren1").checked);
    EXPECT_EQ(form.ProjectFile, "Neues Projekt.vbk");
    EXPECT_TRUE(form.ProjectData.empty());
    EXPECT_EQ(form.Caption(), "Velora Bildkomposition 2021 [Neues Projekt.vbk]");

    ASSERT_TRUE(form.ShortCutPressed({true, true, 'S'}));
    EXPECT_EQ(clicked.back(), "Bildspeichern1");
    EXPECT_FALSE(form.ShortCutPressed({false, false, 'N'}));
    EXPECT_EQ(clicked.size(), 2u);
}

TEST_F(FormFrame, TogglesFlipBeforeTheirHandler) {
    TForm_Schauplatz form(m_host, m_folder);
    form.FormCreate();
    int workspaceInvalidations = 0;
    form.WorkingPlaceImage.SetHostHooks({.Invalidate = [&] { ++workspaceInvalidations; },
                                         .RepaintNow = {},
                                         .SetMouseCapture = {},
                                         .TakeFocus = {}});
    bool checkedSeenByObserver = true;
    form.OnMenuItemClick = [&](const std::string& name) {
        if (name == "Vertexanaus1") checkedSeenByObserver = form.Item(name).checked;
    };
    form.ClickMenuItem("Vertexanaus1");
    EXPECT_FALSE(checkedSeenByObserver);
    EXPECT_FALSE(form.Item("Vertexanaus1").checked);
    EXPECT_FALSE(form.ShowFrame);
    EXPECT_EQ(workspaceInvalidations, 1);
    form.ClickMenuItem("Vertexanaus1");
    EXPECT_TRUE(form.ShowFrame);

    form.ClickMenuItem("NeuesElementpositionieren1");
    EXPECT_FALSE(form.Item("NeuesElementpositionieren1").checked);
    // A plain item has no checked state to flip.
    form.ClickMenuItem("Elementbernehmen1");
    EXPECT_FALSE(form.Item("Elementbernehmen1").checked);
    EXPECT_THROW(form.ClickMenuItem("GibtEsNicht1"), std::out_of_range);
}

TEST_F(FormFrame, ErrorsOfAHandlerReachTheCaller) {
    TForm_Schauplatz form(m_host, m_folder);
    form.FormCreate();
    form.OnMenuItemClick = [](const std::string&) { throw std::runtime_error("kaputt"); };
    EXPECT_THROW(form.ClickMenuItem("Vertexanaus1"), std::runtime_error);
    // The form stays usable afterwards.
    form.OnMenuItemClick = nullptr;
    EXPECT_NO_THROW(form.ClickMenuItem("Vertexanaus1"));
}

TEST_F(FormFrame, IdleMovesTheDashesOnlyWhileTheFrameShowsAndNothingIsDragged) {
    TForm_Schauplatz form(m_host, m_folder);
    form.FormCreate();
    int invalidations = 0;
    form.WorkingPlaceImage.SetHostHooks({.Invalidate = [&] { ++invalidations; },
                                         .RepaintNow = {},
                                         .SetMouseCapture = {},
                                         .TakeFocus = {}});

    // Reference: each pass subtracts 0.05 in extended precision, kept as single.
    float expected = 0.0f;
    for (int pass = 0; pass < 25; ++pass) {
        form.AppEventsIdle();
        expected = static_cast<float>(static_cast<long double>(expected) - 0.05L);
        ASSERT_EQ(form.StippleCounter, expected) << "pass " << pass;
    }
    EXPECT_EQ(invalidations, 25);
    EXPECT_LT(form.StippleCounter, -1.2f);
    EXPECT_GT(form.StippleCounter, -1.3f);

    const float before = form.StippleCounter;
    form.ActiveVertex = 2;
    form.AppEventsIdle();
    form.ActiveVertex = 4;
    form.AppEventsIdle();
    EXPECT_EQ(form.StippleCounter, before);

    form.ActiveVertex = -1;
    form.ShowFrame = false;
    form.AppEventsIdle();
    EXPECT_EQ(form.StippleCounter, before);
    EXPECT_EQ(invalidations, 25);
}

TEST(BuiltinBackgroundPicture, IsANeutralOpaquePictureOfTheDesignedSize) {
    const BuiltinPicture& picture = BuiltinBackground();
    ASSERT_EQ(picture.width, 1000);
    ASSERT_EQ(picture.height, 667);
    ASSERT_EQ(picture.pixels.size(), 1000u * 667u);
    auto at = [&](int x, int y) {
        return picture.pixels[static_cast<std::size_t>(y) * 1000u + static_cast<std::size_t>(x)];
    };
    for (std::uint32_t pixel : picture.pixels) {
        ASSERT_EQ(pixel >> 24, 0xFFu);
        // Grey: red, green and blue equal.
        ASSERT_EQ((pixel >> 16) & 0xFF, pixel & 0xFF);
        ASSERT_EQ((pixel >> 8) & 0xFF, pixel & 0xFF);
    }
    // Lighter at the top left than at the bottom right; grid lines a bit darker.
    EXPECT_GT(at(1, 1) & 0xFF, at(998, 665) & 0xFF);
    EXPECT_LT(at(100, 31) & 0xFF, at(101, 31) & 0xFF);
    EXPECT_LT(at(31, 100) & 0xFF, at(31, 101) & 0xFF);
}

} // namespace
} // namespace schauplatz
