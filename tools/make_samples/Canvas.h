#pragma once

// A small RGBA drawing surface for the sample pictures: filled shapes with
// per-pixel colour functions, bevels and deterministic noise. Everything is
// integer-seeded so that each run draws the same bytes.

#include <cstdint>
#include <functional>
#include <vector>

namespace samples {

struct Color {
    float r = 0, g = 0, b = 0;
};

inline Color mix(Color a, Color b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
inline Color scale(Color c, float f) {
    return {c.r * f, c.g * f, c.b * f};
}
inline Color rgb(int r, int g, int b) {
    return {static_cast<float>(r), static_cast<float>(g), static_cast<float>(b)};
}

struct Pixel {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
};

// Deterministic value noise in [0, 1): smooth at the given cell size.
float valueNoise(float x, float y, std::uint32_t seed);
// Several octaves of value noise, in [0, 1).
float fractalNoise(float x, float y, float cell, int octaves, std::uint32_t seed);
// A hash of integer coordinates, in [0, 1).
float hashUnit(int x, int y, std::uint32_t seed);

class Canvas {
public:
    Canvas(int width, int height);

    int width() const { return m_width; }
    int height() const { return m_height; }
    const std::vector<Pixel>& pixels() const { return m_pixels; }
    Pixel& at(int x, int y) { return m_pixels[static_cast<std::size_t>(y * m_width + x)]; }
    const Pixel& at(int x, int y) const {
        return m_pixels[static_cast<std::size_t>(y * m_width + x)];
    }

    // Paints every pixel of [x0, x1) x [y0, y1) (clipped) with shade(x, y),
    // opaque.
    void fill(int x0, int y0, int x1, int y1, const std::function<Color(int, int)>& shade);
    void fill(int x0, int y0, int x1, int y1, Color color);
    // Like fill, but blended over what is there with the given opacity.
    void blend(int x0, int y0, int x1, int y1, Color color, float opacity);
    // A raised (or, negative, sunken) edge of the given width around a box.
    void bevel(int x0, int y0, int x1, int y1, int width, float strength);
    // Multiplies the colour of a box by 1 + amount * (noise - 0.5).
    void grain(int x0, int y0, int x1, int y1, float cellX, float cellY, float amount,
               std::uint32_t seed);
    // Sets alpha of the box to alpha(x, y) (0..255).
    void setAlpha(int x0, int y0, int x1, int y1, const std::function<int(int, int)>& alpha);

private:
    int m_width;
    int m_height;
    std::vector<Pixel> m_pixels;
};

} // namespace samples
