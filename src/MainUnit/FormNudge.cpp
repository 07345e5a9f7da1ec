// Placing a corner exactly: the corner (or the whole quad) the keyboard moves, Tab through the
// corners, the arrow keys, and the corners typed in.

#include "MainUnit/MainUnit.h"

#include <algorithm>
#include <limits>

namespace schauplatz {

namespace {

std::int32_t saturatedAdd(std::int32_t v, std::int64_t d) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{v} + d, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

} // namespace

void TForm_Schauplatz::ClearQuadSelection() {
    if (m_view.Selection == kNoSelection) return;
    m_view.Selection = kNoSelection;
    WorkingPlaceImage.InvalidateOverlayNow(); // the selected handle looks like the others again
    WorkspaceScreen.LoupeChanged();
}

// Forwards: corner 0, 1, 2, 3, the whole quad, corner 0 again; backwards the other way round.
// From nothing, Tab begins at corner 0 and Shift+Tab at the whole quad.
void TForm_Schauplatz::SelectNextCorner(bool Backwards) {
    if (!Item("NeuesElementpositionieren1").checked) return;
    constexpr std::int32_t kParts = kQuadSelected + 1;
    std::int32_t next = 0;
    if (m_view.Selection == kNoSelection)
        next = Backwards ? kQuadSelected : 0;
    else
        next = (m_view.Selection + (Backwards ? kParts - 1 : 1)) % kParts;
    m_view.Selection = next;
    WorkingPlaceImage.InvalidateOverlayNow();
    WorkspaceScreen.LoupeChanged();
}

void TForm_Schauplatz::NudgeSelection(std::int32_t DX, std::int32_t DY) {
    if (!Item("NeuesElementpositionieren1").checked || ActiveVertex >= 0) return;
    if (m_view.Selection == kNoSelection) return;
    for (std::size_t i = 0; i < Vertices.size(); ++i) {
        if (m_view.Selection != kQuadSelected && m_view.Selection != static_cast<std::int32_t>(i))
            continue;
        Vertices[i].X = saturatedAdd(Vertices[i].X, DX);
        Vertices[i].Y = saturatedAdd(Vertices[i].Y, DY);
    }
    RenderElement();
    WorkspaceScreen.LoupeChanged();
}

std::array<std::int32_t, 8> TForm_Schauplatz::cornerValues() const {
    std::array<std::int32_t, 8> values{};
    for (std::size_t i = 0; i < Vertices.size(); ++i) {
        values[2 * i] = Vertices[i].X;
        values[2 * i + 1] = Vertices[i].Y;
    }
    return values;
}

void TForm_Schauplatz::ApplyCornerEntry(const std::array<std::int32_t, 8>& Corners) {
    if (!Item("NeuesElementpositionieren1").checked) return;
    for (std::size_t i = 0; i < Vertices.size(); ++i)
        Vertices[i] = QuadPoint{Corners[2 * i], Corners[2 * i + 1]};
    RenderElement();
    WorkspaceScreen.LoupeChanged();
}

void TForm_Schauplatz::Eckeneingeben1Click() {
    if (!Item("NeuesElementpositionieren1").checked || ActiveVertex >= 0) return;
    if (const auto entered = m_host.cornerDialog(cornerValues())) ApplyCornerEntry(*entered);
}

} // namespace schauplatz
