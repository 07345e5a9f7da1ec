#include "placementaid/FeatureData.h"
#include "placementaid/Geometry.h"
#include "placementaid/PlacementAid.h"

#include <cmath>

namespace schauplatz::placementaid {

TVertexDrag::TVertexDrag(std::shared_ptr<const TFacadeFeatures> Features, const TQuad& QuadAtPress,
                         std::size_t Vertex)
    : m_features(std::move(Features)), m_vertex(Vertex),
      m_inward(inwardDirection(QuadAtPress, Vertex)) {
    if (!m_features || Vertex >= QuadAtPress.size()) return;
    TPointD middle{};
    for (const TPoint& p : QuadAtPress)
        middle = middle + 0.25 * TPointD{double(p.X), double(p.Y)};
    m_opening = m_features->fitOpening(middle);
}

TSnapResult TVertexDrag::snap(TPointD Pointer, TSnapRadii Radii) const {
    if (!m_features) return {TSnapKind::None, detail::roundPoint(Pointer), Pointer};
    if (m_opening && std::isfinite(Pointer.X) && std::isfinite(Pointer.Y) &&
        m_vertex < m_opening->Exact.size()) {
        const TPointD corner = m_opening->Exact[m_vertex];
        if (detail::distance(corner, Pointer) <= detail::usableRadius(Radii.Corner))
            return {TSnapKind::Corner, m_opening->Quad[m_vertex], corner};
    }
    return m_features->snap(Pointer, Radii, m_inward);
}

} // namespace schauplatz::placementaid
