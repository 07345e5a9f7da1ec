#pragma once

// A started window whose workspace is seen through its screen (TWorkspaceScreen) as the
// real window shows it: mouse events in screen pixels, a view scale, scrolling, the loupe.

#include "placement_fixture.h"

#include <array>
#include <cmath>
#include <optional>

namespace schauplatz::testing {

// floor(a / b) for b > 0, written out plainly for the expectations.
inline std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(std::floor(static_cast<long double>(a) / b));
}

// The host with an answer for "Ecken eingeben…".
class CornerHost : public ScriptedHost {
public:
    std::optional<std::array<std::int32_t, 8>> answer;
    std::vector<std::array<std::int32_t, 8>> offered;
    std::optional<std::array<std::int32_t, 8>>
    cornerDialog(const std::array<std::int32_t, 8>& corners) override {
        offered.push_back(corners);
        return answer;
    }
};

class ViewForm : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "view-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern + "/";
        form = std::make_unique<TForm_Schauplatz>(host, m_folder);
        form->FormCreate();
    }
    void TearDown() override {
        if (form) form->FormDestroy();
        form.reset();
        std::filesystem::remove_all(m_folder);
    }

    TWorkspaceScreen& screen() { return form->WorkspaceScreen; }
    TBitmap32& workspace() { return form->WorkingPlaceImage.Bitmap(); }
    TBitmap32& element() { return form->ImageSelectedDoor.Bitmap(); }

    std::string writePattern(const std::string& name, int w, int h, std::uint32_t seed) {
        TBitmap32 picture;
        fillPicture(picture, w, h, [seed](int x, int y) { return patternPixel(x, y, seed); });
        const std::string path = m_folder + name;
        WriteBitmapFile(picture, path);
        return path;
    }
    void loadFacade(const std::string& path) {
        host.openAnswers.push_back(path);
        form->FassadeLaden1Click();
    }
    void loadElement(const std::string& path) {
        host.openAnswers.push_back(path);
        form->BildvomElementladen1Click();
    }
    // A facade and a 41 x 31 element, the screen attached at Width x Height.
    void start(int facadeW, int facadeH, int screenW, int screenH) {
        loadFacade(writePattern("facade.bmp", facadeW, facadeH, 11));
        loadElement(writePattern("door.bmp", 41, 31, 12));
        screen().Resize(screenW, screenH);
    }
    void setQuad(const Quad& quad) {
        form->Vertices = quad;
        form->RenderElement();
    }
    void press(TPoint at) { screen().MouseDown(mbLeft, ssLeft, at.X, at.Y); }
    void moveTo(TPoint at) { screen().MouseMove(ssLeft, at.X, at.Y); }
    void release(TPoint at) { screen().MouseUp(mbLeft, 0, at.X, at.Y); }
    void click(TPoint at) {
        press(at);
        release(at);
    }
    TPoint handle(int corner) {
        const QuadPoint& v = form->Vertices[static_cast<std::size_t>(corner)];
        return screen().ToScreen(TPoint{v.X, v.Y});
    }
    // What the window shows, loupe included, after a paint.
    TBitmap32& shown() {
        screen().Paint();
        screen().Snapshot(m_shown);
        return m_shown;
    }
    // The same after a full repaint of everything.
    TBitmap32 shownAfterFullRepaint() {
        form->WorkingPlaceImage.Invalidate();
        TBitmap32 copy;
        copy.Assign(&shown());
        return copy;
    }

    CornerHost host;
    std::unique_ptr<TForm_Schauplatz> form;
    std::string m_folder;
    TBitmap32 m_shown;
};

} // namespace schauplatz::testing
