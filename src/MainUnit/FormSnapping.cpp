// Assisted placement in the window: the facade's features are found off the user-interface
// thread, a dragged corner snaps onto them ("Einrasten", suspended while Alt is held), and
// Ctrl+click fits the element into the opening around the click.

#include "MainUnit/MainUnit.h"

#include <utility>

namespace schauplatz {

namespace {

constexpr std::int32_t kFirstCorner = 0;
constexpr std::int32_t kLastCorner = 3;
constexpr double kCornerRadius = 10.0; // screen pixels
constexpr double kEdgeRadius = 6.0;
constexpr const char* kNoOpening = "Keine Öffnung erkannt";
constexpr const char* kStillSearching = "Die Kanten der Fassade werden noch gesucht";
constexpr const char* kFitted = "In die Öffnung eingepasst (Esc: zurück)";

placementaid::TQuad toAidQuad(const std::array<QuadPoint, 4>& quad) {
    placementaid::TQuad result{};
    for (std::size_t i = 0; i < 4; ++i)
        result[i] = TPoint{quad[i].X, quad[i].Y};
    return result;
}

const char* snapNotice(placementaid::TSnapKind kind) {
    switch (kind) {
    case placementaid::TSnapKind::Corner:
        return "Eingerastet: Ecke";
    case placementaid::TSnapKind::Edge:
        return "Eingerastet: Kante";
    case placementaid::TSnapKind::EdgeCrossing:
        return "Eingerastet: Kantenschnitt";
    case placementaid::TSnapKind::None:
        break;
    }
    return "";
}

} // namespace

// Every facade shown gets a number; its features are asked for at the next idle pass, so that
// the command showing it does not wait for the copy the worker needs.
void TForm_Schauplatz::facadeShown() {
    ++m_snap.facade;
    m_snap.startWanted = true;
    m_snap.drag.reset();
    m_snap.beforeFit.reset();
}

void TForm_Schauplatz::startFacadeFeatures() {
    if (!m_snap.startWanted) return;
    m_snap.startWanted = false;
    m_snap.worker.Start(m_snap.facade, placementaid::makeFacadePicture(m_composition.Facade()));
}

// The features of the facade shown, when they are ready and in the workspace's pixels.
std::shared_ptr<const placementaid::TFacadeFeatures> TForm_Schauplatz::FacadeFeatures() const {
    auto features = m_snap.worker.Features(m_snap.facade);
    if (!features || m_snap.startWanted) return nullptr;
    const TBitmap32& workspace = WorkingPlaceImage.Bitmap();
    if (features->width() != workspace.Width() || features->height() != workspace.Height())
        return nullptr;
    return features;
}

bool TForm_Schauplatz::WaitForFacadeFeatures() {
    startFacadeFeatures();
    m_snap.worker.WaitUntilIdle();
    return FacadeFeatures() != nullptr;
}

void TForm_Schauplatz::Einrasten1Click() {
    m_snap.notice.clear();
}

// The press took corner ActiveVertex: with "Einrasten" on and the features ready, the drag
// snaps (the opening the element sits in is fitted once, now).
void TForm_Schauplatz::beginSnapDrag() {
    m_snap.drag.reset();
    if (ActiveVertex < kFirstCorner || ActiveVertex > kLastCorner) return;
    const auto vertex = static_cast<std::size_t>(ActiveVertex);
    m_snap.free = Vertices[vertex];
    if (!Item("Einrasten1").checked) return;
    if (auto features = FacadeFeatures())
        m_snap.drag.emplace(std::move(features), toAidQuad(Vertices), vertex);
}

// Where the dragged corner goes when it would be at m_snap.free without snapping.
QuadPoint TForm_Schauplatz::snappedVertex(TShiftState Shift) {
    m_snap.notice.clear();
    if (!m_snap.drag || !Item("Einrasten1").checked || (Shift & ssAlt) != 0) return m_snap.free;
    const TViewScale scale = WorkspaceScreen.Scale();
    const double picturePerScreen = static_cast<double>(scale.Den) / static_cast<double>(scale.Num);
    const placementaid::TSnapResult r =
        m_snap.drag->snap(placementaid::TPointD{static_cast<double>(m_snap.free.X),
                                                static_cast<double>(m_snap.free.Y)},
                          {kCornerRadius * picturePerScreen, kEdgeRadius * picturePerScreen});
    if (r.Kind == placementaid::TSnapKind::None) return m_snap.free;
    m_snap.notice = snapNotice(r.Kind);
    return QuadPoint{r.Point.X, r.Point.Y};
}

void TForm_Schauplatz::endSnapDrag() {
    m_snap.drag.reset();
}

// Ctrl+click at picture pixel (X, Y): the element's quad becomes the opening's around it.
void TForm_Schauplatz::fitOpeningAt(int X, int Y) {
    const auto features = FacadeFeatures();
    if (!features) {
        m_snap.notice = kStillSearching;
        return;
    }
    const std::optional<placementaid::TOpeningFit> fit =
        features->fitOpening(placementaid::TPointD{X + 0.5, Y + 0.5});
    if (!fit) {
        m_snap.notice = kNoOpening;
        return;
    }
    m_snap.beforeFit = Vertices;
    for (std::size_t i = 0; i < 4; ++i)
        Vertices[i] = QuadPoint{fit->Quad[i].X, fit->Quad[i].Y};
    m_snap.fitted = Vertices;
    m_snap.notice = kFitted;
    RenderElement();
    WorkspaceScreen.LoupeChanged();
}

bool TForm_Schauplatz::UndoOpeningFit() {
    const std::optional<TQuad> before = std::exchange(m_snap.beforeFit, std::nullopt);
    if (!before || Vertices != m_snap.fitted || !Item("NeuesElementpositionieren1").checked)
        return false;
    Vertices = *before;
    m_snap.notice.clear();
    RenderElement();
    WorkspaceScreen.LoupeChanged();
    return true;
}

} // namespace schauplatz
