// The workspace seen at a view scale: the zoom commands, the fitted view after a load, the
// loupe switch, the status texts and when the idle handler has work.

#include "MainUnit/MainUnit.h"

#include <string>

namespace schauplatz {

namespace {
constexpr std::int32_t kFirstCorner = 0;
constexpr std::int32_t kLastCorner = 3;
} // namespace

void TForm_Schauplatz::setUpWorkspaceScreen() {
    // The loupe follows the corner being dragged, else the corner selected for the keys, as
    // long as the frame with its corners is shown.
    WorkspaceScreen.LoupeTarget = [this]() -> std::optional<TPoint> {
        if (!Item("Lupe1").checked || !ShowFrame || !Item("NeuesElementpositionieren1").checked)
            return std::nullopt;
        std::int32_t corner = kNoSelection;
        if (ActiveVertex >= kFirstCorner && ActiveVertex <= kLastCorner)
            corner = ActiveVertex;
        else if (ActiveVertex < 0 && m_view.Selection >= kFirstCorner &&
                 m_view.Selection <= kLastCorner)
            corner = m_view.Selection;
        if (corner == kNoSelection) return std::nullopt;
        const QuadPoint& v = Vertices[static_cast<std::size_t>(corner)];
        return TPoint{v.X, v.Y};
    };
    WorkspaceScreen.Dragging = [this] { return ActiveVertex >= 0; };
}

void TForm_Schauplatz::GanzesBild1Click() {
    WorkspaceScreen.Fit();
}

void TForm_Schauplatz::Originalgre1Click() {
    WorkspaceScreen.SetScale(TViewScale{});
}

void TForm_Schauplatz::Vergrern1Click() {
    WorkspaceScreen.ZoomSteps(1, WorkspaceScreen.Width() / 2, WorkspaceScreen.Height() / 2);
}

void TForm_Schauplatz::Verkleinern1Click() {
    WorkspaceScreen.ZoomSteps(-1, WorkspaceScreen.Width() / 2, WorkspaceScreen.Height() / 2);
}

void TForm_Schauplatz::Lupe1Click() {
    WorkspaceScreen.LoupeChanged();
}

void TForm_Schauplatz::ViewPictureLoaded() {
    ClearQuadSelection();
    WorkspaceScreen.Fit();
}

// The idle pass moves the dashes and builds the preview, and only while the frame is shown
// and nothing is dragged; otherwise there is nothing to wake for.
bool TForm_Schauplatz::IdleWanted() const {
    return ActiveVertex < 0 && ShowFrame;
}

TViewStatus TForm_Schauplatz::ViewStatus() const {
    TViewStatus status;
    status.Scale = "Ansicht " + std::to_string(WorkspaceScreen.Scale().RoundedPercent()) + " %";
    if (WorkspaceScreen.FitMode()) status.Scale += " (ganzes Bild)";
    if (const std::optional<TPoint> pointer = WorkspaceScreen.Pointer()) {
        const TPoint p = WorkspaceScreen.ToPicture(pointer->X, pointer->Y);
        status.Pointer = "Bildpunkt " + std::to_string(p.X) + ", " + std::to_string(p.Y);
    }
    status.Corners = "Ecken";
    for (std::int32_t i = kFirstCorner; i <= kLastCorner; ++i) {
        const QuadPoint& v = Vertices[static_cast<std::size_t>(i)];
        std::string corner =
            std::to_string(i) + ": " + std::to_string(v.X) + ", " + std::to_string(v.Y);
        if (m_view.Selection == i || m_view.Selection == kQuadSelected) corner = "[" + corner + "]";
        status.Corners += "   " + corner;
    }
    return status;
}

} // namespace schauplatz
