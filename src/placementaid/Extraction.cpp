#include "placementaid/CornerFinding.h"
#include "placementaid/EdgeChains.h"
#include "placementaid/EdgeMap.h"
#include "placementaid/FeatureData.h"
#include "placementaid/LineFitting.h"
#include "placementaid/Parallel.h"
#include "placementaid/PlacementAid.h"

#include "raster/Bitmap32.h"

#include <optional>

namespace schauplatz::placementaid {

namespace {

// Smaller pictures hold no opening worth finding (and the filters need some room).
constexpr std::int32_t kMinPictureSide = 16;
// Pieces of edge shorter than this are texture, not the outline of anything to place.
constexpr double kMinPieceLength = 10.0;
// Lines fainter than this share of the edge threshold must be at least this long to stay.
constexpr double kFaintShare = 1.0;
constexpr double kMinFaintLength = 24.0;

using detail::TFeatureData;

// Each piece on its own, in parallel; the lines keep the pieces' order.
bool refineAll(const detail::TEdgeMap& Map, const std::vector<detail::TEdgePiece>& Pieces,
               const std::stop_token& Stop, std::vector<detail::TFittedLine>& Out) {
    std::vector<std::optional<detail::TFittedLine>> slots(Pieces.size());
    detail::forEachRange(Pieces.size(), [&](std::size_t Begin, std::size_t End) {
        if (Stop.stop_requested()) return;
        for (std::size_t i = Begin; i < End; ++i)
            slots[i] = detail::refinePiece(Map.Gradient, Pieces[i], Map.LowThreshold);
    });
    if (Stop.stop_requested()) return false;
    Out.reserve(Pieces.size());
    for (auto& slot : slots)
        if (slot) Out.push_back(std::move(*slot));
    return true;
}

// Solidity of every line, in parallel.
void measureSolidities(const detail::TEdgeMap& Map, std::vector<detail::TLine>& Lines) {
    detail::forEachRange(Lines.size(), [&](std::size_t Begin, std::size_t End) {
        for (std::size_t i = Begin; i < End; ++i)
            Lines[i].Solidity = static_cast<float>(
                detail::measureSolidity(Map.Gradient, Lines[i], Map.LowThreshold));
    });
}

// Straight pieces of the edge map, placed on the gradient's crest, joined, grown along their
// edges and joined again; their solidity measured. False when Stop was triggered.
bool findLines(detail::TEdgeMap& Map, const std::stop_token& Stop, TFeatureData& Out) {
    if (Stop.stop_requested()) return false;
    const auto pieces = detail::findStraightPieces(Map.Gradient, Map.Edges, kMinPieceLength, Stop);
    std::vector<detail::TFittedLine> fitted;
    if (Stop.stop_requested() || !refineAll(Map, pieces, Stop, fitted)) return false;
    auto lines = detail::joinCollinear(std::move(fitted), Out.Width, Out.Height, Stop);
    // Longest first; a line that grows onto an edge a longer line has already grown along
    // stops there.
    detail::TLineOwners owners(Out.Width, Out.Height);
    for (std::uint32_t i = 0; i < lines.size(); ++i) {
        if ((i & 255) == 0 && Stop.stop_requested()) return false;
        detail::growLine(Map.Gradient, lines, i, Map.LowThreshold, owners);
        owners.claim(lines[i].Line, i);
    }
    lines = detail::joinCollinear(std::move(lines), Out.Width, Out.Height, Stop);
    if (Stop.stop_requested()) return false;
    Out.Lines.reserve(lines.size());
    // Short and faint: the grain of the picture or the block border of its compression, not an
    // edge anybody means.
    for (const detail::TFittedLine& l : lines)
        if (l.Line.length() >= kMinFaintLength ||
            l.Line.Contrast >= kFaintShare * Map.HighThreshold)
            Out.Lines.push_back(l.Line);
    measureSolidities(Map, Out.Lines);
    Out.EdgeThreshold = Map.LowThreshold;
    Out.Gradient = std::move(Map.Gradient);
    return true;
}

} // namespace

TFacadeFeatures::TFacadeFeatures(std::unique_ptr<const detail::TFeatureData> Data)
    : m_data(std::move(Data)) {}

TFacadeFeatures::~TFacadeFeatures() = default;

std::int32_t TFacadeFeatures::width() const {
    return m_data->Width;
}

std::int32_t TFacadeFeatures::height() const {
    return m_data->Height;
}

std::vector<TCornerFeature> TFacadeFeatures::corners() const {
    std::vector<TCornerFeature> out;
    out.reserve(m_data->Corners.size());
    for (const detail::TCorner& c : m_data->Corners)
        out.push_back({c.Position, c.Strength});
    return out;
}

std::vector<TEdgeFeature> TFacadeFeatures::edges() const {
    std::vector<TEdgeFeature> out;
    out.reserve(m_data->Lines.size());
    for (const detail::TLine& l : m_data->Lines)
        out.push_back({l.at(l.T0), l.at(l.T1), l.Contrast});
    return out;
}

std::shared_ptr<const TFacadeFeatures> extractFacadeFeatures(TFacadePicture Picture,
                                                             std::stop_token Stop) {
    auto data = std::make_unique<TFeatureData>();
    data->Width = Picture.width();
    data->Height = Picture.height();
    if (data->Width >= kMinPictureSide && data->Height >= kMinPictureSide) {
        detail::TEdgeMap map = detail::computeEdgeMap(Picture);
        Picture = TFacadePicture(); // the gradient is all that is needed from here on
        if (!findLines(map, Stop, *data)) return nullptr;
    }
    data->LineCells = detail::makeLineGrid(data->Width, data->Height, data->Lines);
    data->Corners = detail::findCorners(data->Width, data->Height, data->Lines, data->LineCells);
    data->CornerCells = detail::makeCornerGrid(data->Width, data->Height, data->Corners);
    if (Stop.stop_requested()) return nullptr;
    return std::make_shared<const TFacadeFeatures>(std::move(data));
}

std::shared_ptr<const TFacadeFeatures> extractFacadeFeatures(const TCustomBitmap32& Facade) {
    return extractFacadeFeatures(makeFacadePicture(Facade));
}

} // namespace schauplatz::placementaid
