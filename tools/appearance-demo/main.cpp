// appearance-demo FACADE DOOR OUTPUT.png [X0 Y0 X1 Y1 X2 Y2 X3 Y3]
//
// Renders the door onto the facade twice, through the same quad: left as the exact rendering
// draws it (neutral settings), right smoothed, with the light matched to the facade and a
// reveal shadow on the left; writes both side by side, cut to the door's surroundings and
// enlarged twofold by pixel repetition so the edges can be compared.

#include "PngFile.h"

#include "elements/PictureFiles.h"
#include "raster/ElementRendering.h"
#include "raster/LightMatching.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

namespace {

using namespace schauplatz;

TBitmap32 composite(const TBitmap32& Facade, TBitmap32& Door, const TElementQuad& Q,
                    const TAppearance& A) {
    TBitmap32 result;
    result.Assign(&Facade);
    TBitmap32 layer;
    layer.SetSize(Facade.Width(), Facade.Height());
    const TRect area = RenderElementInto(layer, Door, Q, A, layer.BoundsRect());
    CompositeElementLayer(result, layer, area, A);
    return result;
}

// The part Cut of A and B beside each other, every pixel as Zoom x Zoom pixels.
TBitmap32 sideBySide(const TBitmap32& A, const TBitmap32& B, const TRect& Cut, int Zoom) {
    const int w = Cut.Width() * Zoom, h = Cut.Height() * Zoom, gap = 8;
    TBitmap32 out;
    out.SetSize(2 * w + gap, h);
    out.Clear(0xFFFFFFFFu);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int sx = Cut.Left + x / Zoom, sy = Cut.Top + y / Zoom;
            out.SetPixel(x, y, A.GetPixel(sx, sy) | 0xFF000000u);
            out.SetPixel(w + gap + x, y, B.GetPixel(sx, sy) | 0xFF000000u);
        }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 12) {
        std::cerr << "usage: appearance-demo FACADE DOOR OUTPUT.png [X0 Y0 X1 Y1 X2 Y2 X3 Y3]\n";
        return 2;
    }
    try {
        TBitmap32 facade, door;
        ReadPictureFile(facade, argv[1]);
        ReadPictureFile(door, argv[2]);
        if (facade.IsEmpty() || door.IsEmpty()) {
            std::cerr << "appearance-demo: a picture cannot be read\n";
            return 1;
        }
        door.SetDrawMode(dmBlend);
        TElementQuad q{TPoint{410, 300}, TPoint{520, 310}, TPoint{515, 560}, TPoint{412, 548}};
        if (argc == 12)
            for (int i = 0; i < 4; ++i)
                q[static_cast<std::size_t>(i)] =
                    TPoint{std::atoi(argv[4 + 2 * i]), std::atoi(argv[5 + 2 * i])};
        TAppearance built;
        built.Smooth = true;
        built.ShadowDepth = std::max(4, door.Width() / 12);
        built.ShadowDarkness = 55;
        built = AutoMatchAppearance(facade, door, q, built);
        std::cout << "brightness " << built.Brightness << ", contrast " << built.Contrast
                  << ", temperature " << built.Temperature << '\n';
        const TBitmap32 before = composite(facade, door, q, TAppearance{});
        const TBitmap32 after = composite(facade, door, q, built);
        TRect cut{q[0].X, q[0].Y, q[0].X, q[0].Y};
        for (const TPoint& p : q)
            cut = TRect{std::min(cut.Left, p.X), std::min(cut.Top, p.Y), std::max(cut.Right, p.X),
                        std::max(cut.Bottom, p.Y)};
        cut = IntersectRect(TRect{cut.Left - 40, cut.Top - 30, cut.Right + 40, cut.Bottom + 30},
                            facade.BoundsRect());
        WritePngFile(sideBySide(before, after, cut, 2), argv[3]);
    } catch (const std::exception& e) {
        std::cerr << "appearance-demo: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
