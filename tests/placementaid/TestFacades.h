#pragma once

// Facade pictures made for the assisted-placement tests and benchmarks, with the truth about
// them: flat house fronts (brick or plaster, windows with frames, panes and sills, doors on a
// step) seen in perspective through a known projective map, antialiased, softly shaded, with
// grain and JPEG compression. Everything follows from the seeds, so every run sees the same
// pixels.

#include "placementaid/PlacementAid.h"
#include "raster/Bitmap32.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace schauplatz::placementaid::testfacades {

enum class TWall : std::uint8_t { Brick, Plaster };

// An opening of the flat front, in centimetres from the front's top left corner.
struct TOpeningPlan {
    double Left = 0, Top = 0, Right = 0, Bottom = 0; // the hole in the wall: the truth
    bool Door = false;
    double Frame = 8.0;       // frame width inside the hole
    std::uint8_t Palette = 0; // frame / leaf colours
    bool Mullion = false;     // a vertical bar between two panes
    bool Sill = false;
    bool Lintel = false; // a concrete band above, a little wider (brick walls have one)
};

struct THouseFrontPlan {
    std::string Name;
    std::int32_t Width = 1920, Height = 1080;
    double FrontWidth = 1000.0, FrontHeight = 560.0; // centimetres
    TWall Wall = TWall::Brick;
    bool Plinth = true;
    // Where the front's corners land in the picture (top left, top right, bottom right,
    // bottom left), in picture pixels.
    std::array<TPointD, 4> Corners{};
    std::vector<TOpeningPlan> Openings;
    std::uint32_t Seed = 1;
    double Grain = 4.0;   // standard deviation of the added noise per channel
    int JpegQuality = 70; // 0: no compression
};

struct TOpeningTruth {
    std::array<TPointD, 4> Corners; // picture pixels, TL, TR, BR, BL
    TPointD Click;                  // where a user would click: inside a pane or on the leaf
    bool Door = false;
};

struct TTestFacade {
    std::string Name;
    TBitmap32 Picture;
    std::vector<TOpeningTruth> Openings; // those fully inside the picture
};

TTestFacade makeHouseFront(const THouseFrontPlan& Plan);

// The six made fronts: four at 1920 x 1080 and two at 1441 x 1081, with at least 30 openings.
// Round 0 is the set the tests measure; other rounds are fronts of the same kinds with other
// openings, colours and perspective, for checking that figures hold beyond the set.
std::vector<THouseFrontPlan> standardHouseFronts(std::uint32_t Round = 0);
// A wall without openings filling the whole picture.
THouseFrontPlan plainWall(TWall Wall, std::int32_t Width, std::int32_t Height, std::uint32_t Seed);

TBitmap32 makeOneColour(std::int32_t Width, std::int32_t Height, TColor32 Colour);
TBitmap32 makeNoise(std::int32_t Width, std::int32_t Height, std::uint32_t Seed);
// Black and white stripes at 45 degrees, Period pixels from one black stripe to the next,
// antialiased. The stripes' edges are the lines x + y = k * Period / 2 (k integer, with the
// pixel-covers-its-square convention).
TBitmap32 makeDiagonalStripes(std::int32_t Width, std::int32_t Height, double Period);

// Through a JPEG file of that quality and back, with the program's own JPEG reader.
void jpegRoundTrip(TBitmap32& Picture, int Quality);

// A stable fingerprint of every pixel.
std::uint64_t pixelHash(const TCustomBitmap32& Picture);

} // namespace schauplatz::placementaid::testfacades
