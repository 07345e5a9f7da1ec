#pragma once

// The workspace view: the layered view with a memory of its own composition.
//
// Its run-time paint stages fall into three groups: the stages before the picture (the
// background the window paints into it), the picture stage (the workspace bitmap with the
// element), and the stages after it (the marching frame, its handles and the border). Most
// repaints change only a small part of that: while the frame marches only the overlay moves,
// while a corner is dragged only the element's area and the overlay. The view keeps the
// buffer as it stood after the background stages; on such repaints it puts back just the
// affected rectangles from it, runs the picture stage clipped to each of them, and then runs
// the overlay stages again over the whole client area. Every pixel comes out as a full repaint
// gives it; any other invalidation (resize, colour, stage or layer changes, a new picture size, a
// changed background key) repaints everything.
//
// While only the dashes of the frame march, the frame covers the same areas as before and its
// handles and the border come out the same: only the areas along the frame's lines are put
// back and shown again.
//
// Shown at another scale than 1/1 (TWorkspaceScreen), the view composes the picture alone and
// leaves the overlay to the screen, which runs the overlay stages in screen pixels through
// PaintOverlayInto with a mapping.

#include "raster/view/Image32.h"
#include "raster/view/ScaledPresentation.h"
#include "raster/view/ViewScale.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace schauplatz {

// Where the overlay stages draw, in the pixels of their target: Lines along the frame's sides
// (their pixels change when the dashes move; the handles lie inside them), Fixed what stays
// the same while only the dashes move (the border). A superset is fine, a missing pixel would
// leave a trace of an older overlay behind.
struct TOverlayAreas {
    std::vector<TRect> Lines;
    std::vector<TRect> Fixed;
    friend bool operator==(const TOverlayAreas&, const TOverlayAreas&) = default;
};

// The box round the areas of the overlay's lines, within Target.
TRect LinesBox(const TOverlayAreas& Areas, const TRect& Target);

class TWorkspaceImage32 : public TImage32 {
public:
    TWorkspaceImage32() = default;

    // The overlay's areas as drawn through Mapping, limited to about Clip.
    std::function<TOverlayAreas(const TOverlayMapping& Mapping, const TRect& Clip)> OverlayAreas;
    // Names what the background stages draw from; a different key repaints everything.
    std::function<std::uint64_t()> BackgroundKey;
    // When set, repaints that change only some rectangles ask the host for just those
    // (client pixels), so the screen copies no more than changed; otherwise the host is asked
    // for a repaint of the whole control.
    std::function<void(const TRect&)> InvalidateArea;

    // Everything may have changed.
    void Invalidate() override;
    // Only the dashes of the frame moved (the idle pass). With a stride of n only every n-th
    // such step is shown: the dashes keep their speed at a fraction of the repaints.
    void InvalidateOverlay();
    void SetDashStride(int Stride) { m_dashStride = Stride < 1 ? 1 : Stride; }
    // Only what the overlay stages draw changed, shown at the next paint whatever the stride
    // (a handle drawn differently).
    void InvalidateOverlayNow();
    // The picture changed inside Area (picture pixels) and nowhere else; the overlay may have
    // changed too.
    void InvalidatePictureArea(const TRect& Area);

    // --- the overlay drawn elsewhere (a scaled screen) ---
    // While set, paints leave out the overlay stages; overlay changes are reported through
    // OnOverlayChanged (DashesOnly: the frame's geometry stayed) instead of repaints.
    void SetOverlayExternal(bool Value);
    bool OverlayExternal() const { return m_overlayExternal; }
    std::function<void(bool DashesOnly)> OnOverlayChanged;
    // Runs the overlay stages against Dest, through Mapping, within Clip (all of Dest if none).
    void PaintOverlayInto(TBitmap32& Dest, const TOverlayMapping& Mapping,
                          const TRect* Clip = nullptr);
    // The mapping the overlay stages draw through (one to one except inside PaintOverlayInto).
    const TOverlayMapping& OverlayMapping() const { return m_mapping; }
    TOverlayAreas OverlayAreasFor(const TOverlayMapping& Mapping, const TRect& Clip) const;
    // The picture as the screen presents it while the overlay is drawn elsewhere. When the
    // picture is a transparent layer shown one to one (as the window's workspace bitmap is),
    // the view keeps only the background and the screen lays the picture over it as it reads
    // (a drag step then composes nothing twice); otherwise the view's buffer holds both.
    TScaledSource ScreenSource() const;
    // The background with the picture over it, without overlay, for Area (client pixels) into
    // Dest at (0, 0); false when the view has not been painted since its last full change.
    // Dest must be at least Area's size.
    bool ComposePictureArea(TBitmap32& Dest, const TRect& Area);

    // How the last paints went (tests and measurements).
    struct Statistics {
        long fullPaints = 0;
        long picturePaints = 0;
        long overlayPaints = 0;
    };
    const Statistics& PaintStatistics() const { return m_statistics; }

protected:
    void DoPaintBuffer() override;

private:
    enum class Pending { Nothing, Overlay, PictureArea, Everything };

    struct StageGroups {
        std::vector<unsigned> background;
        std::vector<unsigned> picture;
        std::vector<unsigned> overlay;
    };
    StageGroups groupStages() const;
    bool cachesUsable(const TBitmap32& buffer, std::uint64_t key) const;
    void paintEverything(TBitmap32& buffer, const StageGroups& groups);
    void recompose(TBitmap32& buffer, const StageGroups& groups, const TRect& area);
    // Marks the buffer for a partial repaint and tells the host which areas change.
    void requestPartial(const TRect& pictureArea);
    void recomposeOverlayAreas(TBitmap32& buffer, const StageGroups& groups, bool dashesOnly,
                               const TOverlayAreas& overlay);
    bool pictureIsTransparentLayer(const StageGroups& groups);
    // The external overlay with the picture left to the screen: just the background.
    void paintBackgroundOnly(Pending pending, const StageGroups& groups, std::uint64_t key);
    bool paintedBackgroundOnly(Pending pending);
    // The stages into the whole buffer, or only where the overlay or the picture area changed.
    void paintStages(Pending pending, const TRect& pictureArea);
    void paintUnderOverlay(TBitmap32& buffer, const StageGroups& groups, std::uint64_t key);

    Pending m_pending = Pending::Everything;
    TRect m_pictureArea{};
    TBitmap32 m_afterBackground;
    bool m_cachesValid = false;
    std::uint64_t m_key = 0;
    TOverlayAreas m_lastOverlay;
    Statistics m_statistics;
    bool m_overlayExternal = false;
    // The buffer holds the background alone (external overlay, picture left to the screen).
    bool m_backgroundOnly = false;
    bool m_backgroundValid = false;
    int m_dashStride = 1;
    long m_dashSteps = 0;
    TOverlayMapping m_mapping;
};

} // namespace schauplatz
