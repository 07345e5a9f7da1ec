// The default facade: a plastered two-storey house front under a tiled hip
// roof, with empty window and door openings for the elements to go into.

#include "Scenes.h"

#include <algorithm>
#include <cmath>

namespace samples {

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 1067;
constexpr int kEavesY = 250;
constexpr int kWallTop = 268;
constexpr int kPlinthTop = 960;
constexpr int kGroundTop = 1020;

const Color kPlaster = rgb(228, 218, 196);

void drawSky(Canvas& canvas) {
    canvas.fill(0, 0, kWidth, kEavesY, [](int x, int y) {
        const float t = static_cast<float>(y) / kEavesY;
        Color sky = mix(rgb(96, 148, 208), rgb(196, 216, 234), t);
        const float cloud =
            fractalNoise(static_cast<float>(x), static_cast<float>(y) * 2.2f, 260, 4, 11);
        const float amount = std::clamp((cloud - 0.55f) * 3.0f, 0.0f, 0.85f);
        return mix(sky, rgb(246, 247, 250), amount);
    });
}

// The roof's front face: a trapezoid from the ridge down to the eaves.
void drawRoof(Canvas& canvas) {
    constexpr int kRidgeY = 60;
    constexpr int kRidgeLeft = 330;
    constexpr int kRidgeRight = 1270;
    constexpr int kRowHeight = 22;
    constexpr int kTileWidth = 34;
    canvas.fill(0, kRidgeY, kWidth, kEavesY, [&canvas](int x, int y) {
        const float t = static_cast<float>(y - kRidgeY) / (kEavesY - kRidgeY);
        const float left = kRidgeLeft + (-40 - kRidgeLeft) * t;
        const float right = kRidgeRight + (kWidth + 40 - kRidgeRight) * t;
        const Pixel& sky = canvas.at(x, y);
        if (static_cast<float>(x) < left || static_cast<float>(x) > right) {
            return rgb(sky.r, sky.g, sky.b);
        }
        const int row = (y - kRidgeY) / kRowHeight;
        const int inRow = (y - kRidgeY) % kRowHeight;
        const int shifted = x + (row % 2) * (kTileWidth / 2);
        const int column = shifted / kTileWidth;
        const int inTile = shifted % kTileWidth;
        Color tile = scale(rgb(78, 80, 88), 0.88f + 0.24f * hashUnit(column, row, 5) +
                                                0.1f * (hashUnit(x, y, 6) - 0.5f));
        tile = scale(tile, 1.1f - 0.25f * static_cast<float>(inRow) / kRowHeight); // curved tile
        if (inRow >= kRowHeight - 3 || inTile < 2) {
            tile = scale(tile, 0.55f); // shadow under the row above and between tiles
        }
        // The hip edges catch light.
        if (std::abs(static_cast<float>(x) - left) < 5 ||
            std::abs(static_cast<float>(x) - right) < 5) {
            tile = rgb(150, 152, 158);
        }
        return tile;
    });
    // Fascia board and its shadow on the wall.
    canvas.fill(0, kEavesY, kWidth, kWallTop, rgb(236, 236, 232));
    canvas.fill(0, kEavesY + 14, kWidth, kWallTop, rgb(190, 190, 186));
}

void drawWall(Canvas& canvas) {
    canvas.fill(0, kWallTop, kWidth, kPlinthTop, [](int x, int y) {
        const float broad = fractalNoise(static_cast<float>(x), static_cast<float>(y), 180, 3, 21);
        const float fine = hashUnit(x, y, 22);
        Color c = scale(kPlaster, 0.95f + 0.1f * broad + 0.05f * (fine - 0.5f));
        const float shadow =
            std::clamp(1.0f - static_cast<float>(y - kWallTop) / 40.0f, 0.0f, 1.0f);
        return scale(c, 1.0f - 0.22f * shadow); // under the eaves
    });
    canvas.fill(0, kPlinthTop, kWidth, kGroundTop, [](int x, int y) {
        const float n = fractalNoise(static_cast<float>(x), static_cast<float>(y), 40, 3, 31);
        return scale(rgb(146, 144, 138), 0.85f + 0.3f * n);
    });
    canvas.fill(0, kPlinthTop, kWidth, kPlinthTop + 4, rgb(184, 182, 176));
    // Pavement of rectangular stones.
    canvas.fill(0, kGroundTop, kWidth, kHeight, [](int x, int y) {
        const int row = (y - kGroundTop) / 16;
        const int shifted = x + (row % 2) * 30;
        const bool joint = (y - kGroundTop) % 16 < 2 || shifted % 60 < 2;
        const Color stone =
            scale(rgb(160, 156, 150), 0.85f + 0.25f * hashUnit(shifted / 60, row, 41));
        return joint ? rgb(96, 94, 90) : stone;
    });
    // A drainpipe at the right corner.
    canvas.fill(1536, kEavesY, 1556, kGroundTop, [](int x, int) {
        const float across = static_cast<float>(x - 1536) / 20.0f;
        return scale(rgb(150, 152, 156), 0.7f + 0.6f * std::sin(across * 3.14159f));
    });
}

// An empty opening: a dark interior with a shaded reveal all round.
void drawOpening(Canvas& canvas, int x0, int y0, int x1, int y1, bool sill) {
    constexpr int kReveal = 18;
    canvas.fill(x0, y0, x1, y1, [&](int x, int y) {
        const float depth = static_cast<float>(y - y0) / static_cast<float>(y1 - y0);
        return scale(rgb(52, 54, 58), 0.8f + 0.3f * depth + 0.05f * hashUnit(x, y, 51));
    });
    // Reveals: the left one faces the light, the top one is in shadow.
    canvas.fill(x0, y0, x0 + kReveal, y1,
                [&](int x, int y) { return scale(kPlaster, 0.9f + 0.04f * hashUnit(x, y, 52)); });
    canvas.fill(x1 - kReveal, y0, x1, y1,
                [&](int x, int y) { return scale(kPlaster, 0.62f + 0.04f * hashUnit(x, y, 53)); });
    canvas.fill(x0, y0, x1, y0 + kReveal,
                [&](int x, int y) { return scale(kPlaster, 0.55f + 0.04f * hashUnit(x, y, 54)); });
    if (sill) {
        canvas.fill(x0 - 16, y1, x1 + 16, y1 + 12, rgb(206, 204, 198));
        canvas.fill(x0 - 16, y1 + 10, x1 + 16, y1 + 12, rgb(120, 118, 114));
        canvas.blend(x0 - 10, y1 + 12, x1 + 10, y1 + 26, rgb(0, 0, 0), 0.18f);
    }
}

} // namespace

Canvas drawFacade() {
    Canvas canvas(kWidth, kHeight);
    drawSky(canvas);
    drawRoof(canvas);
    drawWall(canvas);
    for (const int left : {190, 1170}) {
        drawOpening(canvas, left, 360, left + 240, 600, true);
        drawOpening(canvas, left, 660, left + 240, 900, true);
    }
    drawOpening(canvas, 730, 370, 870, 560, true);  // small window over the door
    drawOpening(canvas, 690, 620, 910, 985, false); // the door
    // Entrance step.
    canvas.fill(662, 985, 938, 1004, rgb(188, 186, 180));
    canvas.fill(650, 1004, 950, 1022, rgb(170, 168, 162));
    canvas.fill(650, 1020, 950, 1024, rgb(110, 108, 104));
    return canvas;
}

} // namespace samples
