// The element's appearance: the dialog "Darstellung" with its live preview, the settings new
// elements take, and the smooth rendering that replaces the fast stand-in once a corner
// rests.

#include "MainUnit/MainUnit.h"

#include "raster/LightMatching.h"

namespace schauplatz {

void TForm_Schauplatz::SetElementAppearance(const TAppearance& settings) {
    const TAppearance clamped = ClampAppearance(settings);
    if (clamped == m_placement.appearance) return;
    m_placement.appearance = clamped;
    RenderElement();
}

void TForm_Schauplatz::FinishSmoothRendering() {
    if (!m_placement.smoothPending) return;
    m_placement.renderingAtRest = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_placement.renderingAtRest};
    try {
        RenderElement();
    } catch (const std::exception&) {
        // As during the drag: the quad keeps its values, the element is simply not drawn.
        m_placement.smoothPending = false;
    }
}

void TForm_Schauplatz::Darstellung1Click() {
    if (CommandRefused()) return;
    const TAppearance before = m_placement.appearance;
    AppearanceDialogRequest request;
    request.initial = before;
    request.preview = [this](const TAppearance& settings) {
        try {
            SetElementAppearance(settings);
        } catch (const std::exception&) {
            // An element that cannot be drawn (a picture one pixel wide) shows nothing.
        }
    };
    request.autoMatch = [this](const TAppearance& shown) {
        const TElementQuad quad{
            TPoint{Vertices[0].X, Vertices[0].Y}, TPoint{Vertices[1].X, Vertices[1].Y},
            TPoint{Vertices[2].X, Vertices[2].Y}, TPoint{Vertices[3].X, Vertices[3].Y}};
        return AutoMatchAppearance(m_composition.Facade(), ImageSelectedDoor.Bitmap(), quad,
                                   ClampAppearance(shown));
    };
    const std::optional<TAppearance> chosen = m_host.editAppearance(request);
    if (!chosen) {
        request.preview(before);
        return;
    }
    request.preview(*chosen);
    m_placement.lastUsed = m_placement.appearance;
    m_host.appearanceChosen(m_placement.lastUsed);
}

} // namespace schauplatz
