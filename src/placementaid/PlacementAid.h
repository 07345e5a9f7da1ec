#pragma once

// Assisted placement: the straight edges and corners of a facade picture, snapping of a dragged
// vertex onto them, and the one-click fit of the element quad into a door or window opening.
//
// Coordinates are pixels of the facade as fitted (the workspace's pixels). Pixel (x, y) covers
// the square from (x, y) to (x + 1, y + 1), so an edge between columns 9 and 10 lies at x = 10
// and the corner of an opening is where its outline's lines meet, at fractional positions.
// Results that become vertices are rounded to the nearest integer point.
//
// Threads: makeFacadePicture copies what it needs out of the bitmap, so it runs where the bitmap
// is owned (the user-interface thread, a few milliseconds). extractFacadeFeatures touches
// nothing but its argument and may run on a worker thread; it stops early, returning nullptr,
// once its stop token is triggered. The features it returns never change: every query is const
// and may run on any thread, also while other queries run.

#include "raster/Rect.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

namespace schauplatz {
class TCustomBitmap32;
}

namespace schauplatz::placementaid {

struct TPointD {
    double X = 0.0;
    double Y = 0.0;
    friend constexpr bool operator==(const TPointD&, const TPointD&) = default;
};

// The colour channels of a facade picture, one byte per pixel each, rows top to bottom. Edges
// are found in whichever channel shows them best: a brown frame on red brick differs little in
// brightness but much in red.
class TFacadePicture {
public:
    using TPlane = std::vector<std::uint8_t>;
    TFacadePicture() = default;
    TFacadePicture(std::int32_t Width, std::int32_t Height, TPlane Red, TPlane Green, TPlane Blue);
    std::int32_t width() const { return m_width; }
    std::int32_t height() const { return m_height; }
    const TPlane& channel(std::size_t I) const { return m_channels[I]; }

private:
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    std::array<TPlane, 3> m_channels;
};

// Red, green and blue of every pixel; alpha is ignored. The bitmap is only read.
TFacadePicture makeFacadePicture(const TCustomBitmap32& Facade);

enum class TSnapKind : std::uint8_t {
    None,         // nothing near: the vertex follows the pointer
    Corner,       // onto a corner feature
    Edge,         // onto the nearest point of a straight edge
    EdgeCrossing, // onto the point where two straight edges meet
};

struct TSnapResult {
    TSnapKind Kind = TSnapKind::None;
    TPoint Point{}; // the vertex to use (Exact rounded); the pointer rounded for None
    TPointD Exact{};
};

// Search radii in picture pixels; the window converts its screen radii by the view scale.
struct TSnapRadii {
    double Corner = 10.0;
    double Edge = 6.0;
};

inline constexpr std::size_t kQuadCorners = 4;
using TQuad = std::array<TPoint, kQuadCorners>; // top left, top right, bottom right, bottom left

struct TOpeningFit {
    TQuad Quad{};                              // Exact rounded, ready to be the element quad
    std::array<TPointD, kQuadCorners> Exact{}; // where the four edge lines meet
    double Clarity = 0.0;                      // 0..1: how completely the weakest side is seen
};

// A corner where straight edges meet (an L, or a T where one edge ends on another). Strength
// 0..1 is that of its strongest quarter: as clear as the fainter and as long as the shorter of
// the two edges bounding it (full at 24 levels and 48 pixels).
struct TCornerFeature {
    TPointD Position;
    float Strength = 0.0f;
};

// A straight edge: its seen extent and the step across it, in levels (0..255) of the colour
// channel that shows it best.
struct TEdgeFeature {
    TPointD From;
    TPointD To;
    float Contrast = 0.0f;
};

// From vertex Vertex of the quad towards the middle of the other three: the way into the
// element from that corner. Nothing when the other three sit on the vertex.
std::optional<TPointD> inwardDirection(const TQuad& Quad, std::size_t Vertex);

namespace detail {
struct TFeatureData;
}

// Everything assisted placement knows about one facade picture. Made by extractFacadeFeatures.
class TFacadeFeatures {
public:
    explicit TFacadeFeatures(std::unique_ptr<const detail::TFeatureData> Data);
    ~TFacadeFeatures();
    TFacadeFeatures(const TFacadeFeatures&) = delete;
    TFacadeFeatures& operator=(const TFacadeFeatures&) = delete;

    std::int32_t width() const;
    std::int32_t height() const;
    std::vector<TCornerFeature> corners() const;
    std::vector<TEdgeFeature> edges() const;

    // Where a vertex dragged to Pointer goes: the corner feature within Radii.Corner that is
    // clearly the strongest there (of several about equally strong ones, the nearest); else the
    // nearest straight edge within Radii.Edge (where two edges meet within that radius, their
    // meeting point); else nothing.
    // Inward, when given, points from the dragged vertex into the element (see
    // inwardDirection); then only corners whose edges open that way count, so the element's
    // top left vertex goes to an opening's top left corner and not to a joint that ends on the
    // frame beside it. Radii below 0 or not a number search nothing; beyond 64 pixels they are
    // taken as 64.
    TSnapResult snap(TPointD Pointer, TSnapRadii Radii = {},
                     std::optional<TPointD> Inward = std::nullopt) const;

    // The quad of the opening around Click: the four straight edges that enclose the click and
    // form the clearest closed quadrilateral (of a pane and the whole opening, the opening).
    // Nothing when no convincing quadrilateral encloses it.
    std::optional<TOpeningFit> fitOpening(TPointD Click) const;

private:
    std::unique_ptr<const detail::TFeatureData> m_data;
};

// One drag of one vertex of the element quad. When the drag starts, the opening the element
// sits in is fitted once (at the quad's middle, as a click there would); while the vertex moves
// near that opening's matching corner it goes there, elsewhere snap() decides with the way into
// the element. On a brick wall a joint meets the frame every few pixels; the opening's own
// corner is the one the vertex is meant for.
class TVertexDrag {
public:
    // Features may be null (nothing snaps). The start costs one opening fit (a few
    // milliseconds): make it when the button goes down, not on the first move.
    TVertexDrag(std::shared_ptr<const TFacadeFeatures> Features, const TQuad& QuadAtPress,
                std::size_t Vertex);
    TSnapResult snap(TPointD Pointer, TSnapRadii Radii = {}) const;
    const std::optional<TOpeningFit>& opening() const { return m_opening; }

private:
    std::shared_ptr<const TFacadeFeatures> m_features;
    std::size_t m_vertex;
    std::optional<TPointD> m_inward;
    std::optional<TOpeningFit> m_opening;
};

// Finds the edges and corners of the picture. Returns nullptr when Stop was requested before it
// finished. Pictures too small to hold an opening give features without edges or corners.
std::shared_ptr<const TFacadeFeatures> extractFacadeFeatures(TFacadePicture Picture,
                                                             std::stop_token Stop = {});
// makeFacadePicture, then the above, on the calling thread.
std::shared_ptr<const TFacadeFeatures> extractFacadeFeatures(const TCustomBitmap32& Facade);

} // namespace schauplatz::placementaid
