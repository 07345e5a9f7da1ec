// Doors and windows of the pattern folder, drawn from frames, panels, glass
// and fittings, one file of each kind the program reads.

#include "Scenes.h"

#include <algorithm>
#include <cmath>

namespace samples {

namespace {

// Wood: long vertical fibres with a little cross variation.
void woodFill(Canvas& canvas, int x0, int y0, int x1, int y1, Color base, std::uint32_t seed) {
    canvas.fill(x0, y0, x1, y1, [&](int x, int y) {
        const float fibre =
            valueNoise(static_cast<float>(x) / 2.5f, static_cast<float>(y) / 70.0f, seed);
        const float ring = std::sin(static_cast<float>(x) * 0.21f + 6.0f * fibre);
        return scale(base, 0.9f + 0.12f * fibre + 0.05f * ring);
    });
}

// A frame of the given width around a box, raised.
void frame(Canvas& canvas, int x0, int y0, int x1, int y1, int width, Color color) {
    canvas.fill(x0, y0, x1, y0 + width, color);
    canvas.fill(x0, y1 - width, x1, y1, color);
    canvas.fill(x0, y0, x0 + width, y1, color);
    canvas.fill(x1 - width, y0, x1, y1, color);
    canvas.bevel(x0, y0, x1, y1, 3, 0.18f);
    canvas.bevel(x0 + width - 3, y0 + width - 3, x1 - width + 3, y1 - width + 3, 3, -0.22f);
}

// A raised panel: a sunk groove, then a bevelled field.
void panel(Canvas& canvas, int x0, int y0, int x1, int y1) {
    canvas.bevel(x0, y0, x1, y1, 4, -0.25f);
    canvas.bevel(x0 + 10, y0 + 10, x1 - 10, y1 - 10, 8, 0.12f);
}

// Glass: the sky reflected at the top, darker below, with one diagonal
// highlight band.
Color glassColor(int x, int y, int x0, int y0, int y1) {
    const float t = static_cast<float>(y - y0) / static_cast<float>(std::max(1, y1 - y0));
    Color glass = mix(rgb(150, 182, 210), rgb(58, 72, 88), t);
    const int diagonal = (x - x0) + (y - y0) / 2;
    if (diagonal % 260 > 150 && diagonal % 260 < 190) {
        glass = mix(glass, rgb(235, 242, 248), 0.35f);
    }
    return glass;
}

void glass(Canvas& canvas, int x0, int y0, int x1, int y1) {
    canvas.fill(x0, y0, x1, y1, [&](int x, int y) { return glassColor(x, y, x0, y0, y1); });
    canvas.bevel(x0, y0, x1, y1, 3, -0.3f);
}

// A lever handle on a plate, centred at (x, y).
void handle(Canvas& canvas, int x, int y, bool leverToLeft) {
    const Color steel = rgb(196, 198, 202);
    canvas.fill(x - 8, y - 40, x + 8, y + 40, steel);
    canvas.bevel(x - 8, y - 40, x + 8, y + 40, 2, 0.25f);
    const int lever0 = leverToLeft ? x - 56 : x - 4;
    canvas.fill(lever0, y - 24, lever0 + 60, y - 14, steel);
    canvas.bevel(lever0, y - 24, lever0 + 60, y - 14, 2, 0.3f);
    canvas.fill(x - 4, y + 14, x + 4, y + 26, rgb(60, 60, 64)); // keyhole
}

// A window: outer frame, sashes side by side, optional glazing bars.
Canvas window(int width, int height, int sashes, int barsAcross, int barsDown, Color frameColor) {
    Canvas canvas(width, height);
    canvas.fill(0, 0, width, height, frameColor);
    frame(canvas, 0, 0, width, height, 22, frameColor);
    const int innerWidth = width - 44;
    for (int s = 0; s < sashes; ++s) {
        const int sx0 = 22 + innerWidth * s / sashes;
        const int sx1 = 22 + innerWidth * (s + 1) / sashes;
        frame(canvas, sx0, 22, sx1, height - 22, 18, scale(frameColor, 0.97f));
        glass(canvas, sx0 + 18, 40, sx1 - 18, height - 40);
        const int gx0 = sx0 + 18;
        const int gx1 = sx1 - 18;
        for (int b = 1; b <= barsAcross; ++b) {
            const int bx = gx0 + (gx1 - gx0) * b / (barsAcross + 1);
            canvas.fill(bx - 4, 40, bx + 4, height - 40, frameColor);
            canvas.bevel(bx - 4, 40, bx + 4, height - 40, 1, 0.15f);
        }
        for (int b = 1; b <= barsDown; ++b) {
            const int by = 40 + (height - 80) * b / (barsDown + 1);
            canvas.fill(gx0, by - 4, gx1, by + 4, frameColor);
            canvas.bevel(gx0, by - 4, gx1, by + 4, 1, 0.15f);
        }
        // The sash handle sits on the meeting side.
        const int hx = s == 0 && sashes > 1 ? sx1 - 10 : sx0 + 10;
        canvas.fill(hx - 3, height / 2 - 30, hx + 3, height / 2 + 10, rgb(210, 210, 212));
    }
    return canvas;
}

Canvas panelDoor(int width, int height, Color wood, std::uint32_t seed) {
    Canvas canvas(width, height);
    woodFill(canvas, 0, 0, width, height, wood, seed);
    frame(canvas, 0, 0, width, height, 16, scale(wood, 0.8f));
    woodFill(canvas, 16, 16, width - 16, height - 16, wood, seed + 1);
    const int px0 = 40;
    const int px1 = width - 40;
    const int panelHeight = (height - 32 - 4 * 28) / 3;
    for (int i = 0; i < 3; ++i) {
        const int py0 = 16 + 28 + i * (panelHeight + 28);
        panel(canvas, px0, py0, px1, py0 + panelHeight);
    }
    handle(canvas, width - 36, height / 2 + 10, true);
    canvas.setAlpha(0, 0, width, height, [](int, int) { return 255; });
    return canvas;
}

Canvas glassDoor(int width, int height, Color paint) {
    Canvas canvas(width, height);
    canvas.fill(0, 0, width, height, paint);
    canvas.grain(0, 0, width, height, 2, 2, 0.05f, 61);
    frame(canvas, 0, 0, width, height, 16, scale(paint, 0.85f));
    glass(canvas, 60, 60, width - 60, height * 45 / 100);
    for (int bar = 1; bar < 3; ++bar) {
        const int by = 60 + (height * 45 / 100 - 60) * bar / 3;
        canvas.fill(60, by - 3, width - 60, by + 3, paint);
    }
    panel(canvas, 50, height * 52 / 100, width - 50, height - 50);
    handle(canvas, width - 34, height / 2 + 20, true);
    canvas.setAlpha(0, 0, width, height, [](int, int) { return 255; });
    return canvas;
}

// A door with a semicircular top; the corners outside the arch are
// transparent, with a one-pixel soft edge.
Canvas archedDoor(int width, int height) {
    const float radius = static_cast<float>(width) / 2;
    const float cx = radius;
    const float cy = radius;
    const Color wood = rgb(70, 72, 78);
    Canvas canvas(width, height);
    canvas.fill(0, 0, width, height, wood);
    canvas.grain(0, 0, width, height, 2, 40, 0.10f, 71);
    // Fanlight in the arch.
    const float fanRadius = radius - 30;
    canvas.fill(0, 0, width, static_cast<int>(cy), [&](int x, int y) {
        const float dx = static_cast<float>(x) + 0.5f - cx;
        const float dy = static_cast<float>(y) + 0.5f - cy;
        const float d = std::sqrt(dx * dx + dy * dy);
        const Pixel& p = canvas.at(x, y);
        if (d > fanRadius) {
            return d > radius - 16 ? scale(wood, 0.85f) : rgb(p.r, p.g, p.b);
        }
        const float angle = std::atan2(-dy, dx); // 0 .. pi over the arch
        const float spoke = std::fmod(angle / 3.14159265f * 5.0f, 1.0f);
        if (spoke < 0.05f || spoke > 0.95f || d < 24) {
            return wood;
        }
        return glassColor(x, y, 0, static_cast<int>(cy - fanRadius), static_cast<int>(cy));
    });
    canvas.fill(30, static_cast<int>(cy), width - 30, static_cast<int>(cy) + 12, wood);
    // Below the arch: frame sides and two tall panels.
    frame(canvas, 0, static_cast<int>(cy), width, height, 16, scale(wood, 0.85f));
    panel(canvas, 40, static_cast<int>(cy) + 40, width / 2 - 8, height - 40);
    panel(canvas, width / 2 + 8, static_cast<int>(cy) + 40, width - 40, height - 40);
    handle(canvas, width / 2 + 30, height * 58 / 100, false);
    canvas.setAlpha(0, 0, width, height, [&](int x, int y) {
        if (static_cast<float>(y) >= cy) {
            return 255;
        }
        const float dx = static_cast<float>(x) + 0.5f - cx;
        const float dy = static_cast<float>(y) + 0.5f - cy;
        const float inside = radius - std::sqrt(dx * dx + dy * dy) + 0.5f;
        return static_cast<int>(std::lround(std::clamp(inside, 0.0f, 1.0f) * 255));
    });
    // Transparent pixels carry no colour, as a 32-bit bitmap should.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (canvas.at(x, y).a == 0) {
                canvas.at(x, y) = {};
            }
        }
    }
    return canvas;
}

// A modern white door with rounded top corners (transparent) and a frosted
// glass strip that lets a little of the background through.
Canvas modernDoor(int width, int height) {
    constexpr int kCorner = 40;
    Canvas canvas(width, height);
    const Color white = rgb(238, 238, 234);
    canvas.fill(0, 0, width, height, white);
    frame(canvas, 0, 0, width, height, 14, rgb(214, 214, 210));
    const int gx0 = 70;
    const int gx1 = 110;
    canvas.fill(gx0, 60, gx1, height - 60, [&](int x, int y) {
        return mix(glassColor(x, y, gx0, 60, height - 60), rgb(230, 234, 236), 0.55f);
    });
    for (int y = 120; y < height - 60; y += 120) {
        canvas.fill(gx0 - 6, y, gx1 + 6, y + 4, rgb(160, 162, 166));
    }
    canvas.fill(width - 44, 200, width - 34, 420, rgb(120, 122, 126)); // bar handle
    canvas.bevel(width - 44, 200, width - 34, 420, 2, 0.35f);
    canvas.setAlpha(0, 0, width, height, [&](int x, int y) {
        if (x >= gx0 && x < gx1 && y >= 60 && y < height - 60) {
            return 150;
        }
        for (const int cornerX : {kCorner, width - kCorner}) {
            const bool left = cornerX == kCorner;
            if (y < kCorner && (left ? x < kCorner : x >= width - kCorner)) {
                const float dx = static_cast<float>(x) + 0.5f - static_cast<float>(cornerX);
                const float dy = static_cast<float>(y) + 0.5f - kCorner;
                const float inside = kCorner - std::sqrt(dx * dx + dy * dy) + 0.5f;
                return static_cast<int>(std::lround(std::clamp(inside, 0.0f, 1.0f) * 255));
            }
        }
        return 255;
    });
    return canvas;
}

} // namespace

std::vector<ElementPicture> drawElements() {
    std::vector<ElementPicture> pictures;
    pictures.push_back(
        {"Haustür Eiche.bmp", FileKind::Bmp24, panelDoor(262, 540, rgb(150, 104, 62), 81)});
    pictures.push_back({"Rundbogentür.bmp", FileKind::Bmp32, archedDoor(260, 560)});
    pictures.push_back({"Tür 3.png", FileKind::PngWithAlpha, modernDoor(280, 580)});
    pictures.push_back({"Haustür Rot.jpg", FileKind::Jpeg, glassDoor(280, 560, rgb(150, 36, 34))});
    pictures.push_back(
        {"Fenster weiß.jpg", FileKind::Jpeg, window(420, 520, 2, 0, 0, rgb(240, 240, 238))});
    pictures.push_back(
        {"Sprossenfenster.png", FileKind::Png, window(360, 480, 2, 1, 2, rgb(62, 66, 72))});
    pictures.push_back(
        {"Fenster einflüglig.bmp", FileKind::Bmp24, window(240, 420, 1, 0, 0, rgb(232, 232, 228))});
    return pictures;
}

} // namespace samples
