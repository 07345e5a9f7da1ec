#pragma once

// A started window over an empty program folder, driven as a user drives it: pictures come
// from files the test writes, dialogs are answered by script, the workspace view has a size
// and is painted into its buffer on request.

#include "MainUnit/MainUnit.h"
#include "ScriptedHost.h"
#include "elements/PictureFiles.h"
#include "raster/Blend.h"
#include "testsupport/PictureCompare.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include <stdlib.h>

namespace schauplatz::testing {

inline constexpr TColor32 kViewColour = 0xFFABABABu; // application workspace
inline constexpr TColor32 kBlack = 0xFF000000u;
inline constexpr TColor32 kWhite = 0xFFFFFFFFu;

using Quad = std::array<QuadPoint, 4>;

// The quad of the axis-aligned rectangle from (l, t) to (r, b).
inline Quad rectQuad(int l, int t, int r, int b) {
    return {QuadPoint{l, t}, QuadPoint{r, t}, QuadPoint{r, b}, QuadPoint{l, b}};
}

// The element's record line: the picture's path, then the corners' coordinates.
inline std::string elementLine(const std::string& path, const Quad& q) {
    std::string text = path + ";";
    for (const QuadPoint& p : q)
        text += std::to_string(p.X) + ";" + std::to_string(p.Y) + ";";
    return text;
}

// An opaque picture whose every pixel differs from its neighbours.
inline TColor32 patternPixel(int x, int y, std::uint32_t seed) {
    const std::uint32_t v = (static_cast<std::uint32_t>(x) * 2654435761u) ^
                            (static_cast<std::uint32_t>(y) * 40503u) ^ seed;
    return 0xFF000000u | (v & 0x00FFFFFFu) | 0x00010101u;
}

inline void fillPicture(TBitmap32& picture, int w, int h,
                        const std::function<TColor32(int, int)>& pixel) {
    picture.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.SetPixel(x, y, pixel(x, y));
}

// The element drawn through a quad that only moves the picture by (dx, dy): the quad's
// corners are the picture's outer pixel centres, so the drawn area is the corners' bounding
// box, (width - 1) x (height - 1) pixels from (dx, dy), each showing the source pixel under
// it, combined with the blend rule; everything else stays 0.
inline TColor32 movedElementPixel(const TBitmap32& element, int dx, int dy, int x, int y) {
    const int u = x - dx;
    const int v = y - dy;
    if (u < 0 || v < 0 || u >= element.Width() - 1 || v >= element.Height() - 1) return 0;
    TColor32 d = 0;
    BlendMasterInto(element.GetPixel(u, v), d, element.MasterAlpha());
    return d;
}

class PlacementForm : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "placement-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern + "/";
        form = std::make_unique<TForm_Schauplatz>(host, m_folder);
        form->FormCreate();
        view().Resize(1200, 800);
    }
    void TearDown() override {
        if (form) form->FormDestroy();
        form.reset();
        std::filesystem::remove_all(m_folder);
    }

    TWorkspaceImage32& view() { return form->WorkingPlaceImage; }
    TBitmap32& workspace() { return form->WorkingPlaceImage.Bitmap(); }
    TBitmap32& background() { return form->ImageHintergrund.Bitmap(); }
    TBitmap32& preview() { return form->ImageCombined.Bitmap(); }
    TBitmap32& element() { return form->ImageSelectedDoor.Bitmap(); }

    // Writes a picture as a 32-bit BMP (read back pixel for pixel, alpha included).
    std::string writePicture(const std::string& name, int w, int h,
                             const std::function<TColor32(int, int)>& pixel) {
        TBitmap32 picture;
        fillPicture(picture, w, h, pixel);
        const std::string path = m_folder + name;
        WriteBitmapFile(picture, path);
        return path;
    }
    std::string writePattern(const std::string& name, int w, int h, std::uint32_t seed) {
        return writePicture(name, w, h, [seed](int x, int y) { return patternPixel(x, y, seed); });
    }

    void loadFacade(const std::string& path) {
        host.openAnswers.push_back(path);
        form->FassadeLaden1Click();
    }
    void loadElement(const std::string& path) {
        host.openAnswers.push_back(path);
        form->BildvomElementladen1Click();
    }
    void press(int x, int y) { view().MouseDown(mbLeft, ssLeft, x, y); }
    void moveTo(int x, int y) { view().MouseMove(ssLeft, x, y); }
    void release(int x, int y) { view().MouseUp(mbLeft, 0, x, y); }
    void drag(int fromX, int fromY, int toX, int toY) {
        press(fromX, fromY);
        moveTo(toX, toY);
        release(toX, toY);
    }
    void setQuad(std::array<QuadPoint, 4> quad) {
        form->Vertices = quad;
        form->RenderElement();
    }
    // The quad that shows the element unscaled with its top left pixel at (dx, dy).
    std::array<QuadPoint, 4> movedQuad(int dx, int dy) {
        const int r = dx + element().Width() - 1;
        const int b = dy + element().Height() - 1;
        return {QuadPoint{dx, dy}, QuadPoint{r, dy}, QuadPoint{r, b}, QuadPoint{dx, b}};
    }
    const TBitmap32& paint() {
        view().Paint();
        return view().Buffer();
    }

    ScriptedHost host;
    std::unique_ptr<TForm_Schauplatz> form;
    std::string m_folder;
};

} // namespace schauplatz::testing
