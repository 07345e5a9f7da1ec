#include "Canvas.h"

#include <algorithm>
#include <cmath>

namespace samples {

namespace {

std::uint8_t toByte(float value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

float smooth(float t) {
    return t * t * (3 - 2 * t);
}

} // namespace

float hashUnit(int x, int y, std::uint32_t seed) {
    std::uint32_t h = seed * 0x9E3779B1u;
    h ^= static_cast<std::uint32_t>(x) * 0x85EBCA77u;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<std::uint32_t>(y) * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return static_cast<float>(h >> 8) / 16777216.0f;
}

float valueNoise(float x, float y, std::uint32_t seed) {
    const float fx = std::floor(x);
    const float fy = std::floor(y);
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const float tx = smooth(x - fx);
    const float ty = smooth(y - fy);
    const float top =
        hashUnit(ix, iy, seed) + (hashUnit(ix + 1, iy, seed) - hashUnit(ix, iy, seed)) * tx;
    const float bottom = hashUnit(ix, iy + 1, seed) +
                         (hashUnit(ix + 1, iy + 1, seed) - hashUnit(ix, iy + 1, seed)) * tx;
    return top + (bottom - top) * ty;
}

float fractalNoise(float x, float y, float cell, int octaves, std::uint32_t seed) {
    float sum = 0;
    float weight = 0.5f;
    float total = 0;
    for (int octave = 0; octave < octaves; ++octave) {
        sum += weight * valueNoise(x / cell, y / cell, seed + static_cast<std::uint32_t>(octave));
        total += weight;
        weight *= 0.5f;
        cell *= 0.5f;
    }
    return std::min(sum / total, 0.9999f);
}

Canvas::Canvas(int width, int height)
    : m_width(width), m_height(height),
      m_pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {}

void Canvas::fill(int x0, int y0, int x1, int y1, const std::function<Color(int, int)>& shade) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, m_width);
    y1 = std::min(y1, m_height);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const Color c = shade(x, y);
            at(x, y) = {toByte(c.r), toByte(c.g), toByte(c.b), 255};
        }
    }
}

void Canvas::fill(int x0, int y0, int x1, int y1, Color color) {
    fill(x0, y0, x1, y1, [color](int, int) { return color; });
}

void Canvas::blend(int x0, int y0, int x1, int y1, Color color, float opacity) {
    fill(x0, y0, x1, y1, [&](int x, int y) {
        const Pixel& p = at(x, y);
        return mix(rgb(p.r, p.g, p.b), color, opacity);
    });
}

void Canvas::bevel(int x0, int y0, int x1, int y1, int width, float strength) {
    // Light from the top left: the top and left edges brighten a raised box,
    // the bottom and right edges darken it.
    fill(x0, y0, x1, y1, [&](int x, int y) {
        const Pixel& p = at(x, y);
        const int fromLeft = x - x0;
        const int fromTop = y - y0;
        const int fromRight = x1 - 1 - x;
        const int fromBottom = y1 - 1 - y;
        float factor = 1;
        if (std::min({fromLeft, fromTop, fromRight, fromBottom}) < width) {
            const bool lit = std::min(fromLeft, fromTop) < std::min(fromRight, fromBottom);
            factor = lit ? 1 + strength : 1 - strength;
        }
        return scale(rgb(p.r, p.g, p.b), factor);
    });
}

void Canvas::grain(int x0, int y0, int x1, int y1, float cellX, float cellY, float amount,
                   std::uint32_t seed) {
    fill(x0, y0, x1, y1, [&](int x, int y) {
        const Pixel& p = at(x, y);
        const float n =
            valueNoise(static_cast<float>(x) / cellX, static_cast<float>(y) / cellY, seed);
        return scale(rgb(p.r, p.g, p.b), 1 + amount * (n - 0.5f));
    });
}

void Canvas::setAlpha(int x0, int y0, int x1, int y1, const std::function<int(int, int)>& alpha) {
    for (int y = std::max(y0, 0); y < std::min(y1, m_height); ++y) {
        for (int x = std::max(x0, 0); x < std::min(x1, m_width); ++x) {
            at(x, y).a = static_cast<std::uint8_t>(std::clamp(alpha(x, y), 0, 255));
        }
    }
}

} // namespace samples
