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

#include "raster/view/Image32.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace schauplatz {

class TWorkspaceImage32 : public TImage32 {
public:
    TWorkspaceImage32() = default;

    // Rectangles (client pixels) that the overlay stages may draw into at the next paint; a
    // superset is fine, a missing pixel would leave a trace of an older overlay behind.
    std::function<std::vector<TRect>()> OverlayAreas;
    // Names what the background stages draw from; a different key repaints everything.
    std::function<std::uint64_t()> BackgroundKey;
    // When set, repaints that change only some rectangles ask the host for just those
    // (client pixels), so the screen copies no more than changed; otherwise the host is asked
    // for a repaint of the whole control.
    std::function<void(const TRect&)> InvalidateArea;

    // Everything may have changed.
    void Invalidate() override;
    // Only what the overlay stages draw changed.
    void InvalidateOverlay();
    // The picture changed inside Area (picture pixels) and nowhere else; the overlay may have
    // changed too.
    void InvalidatePictureArea(const TRect& Area);

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

    Pending m_pending = Pending::Everything;
    TRect m_pictureArea{};
    TBitmap32 m_afterBackground;
    bool m_cachesValid = false;
    std::uint64_t m_key = 0;
    std::vector<TRect> m_lastOverlay;
    Statistics m_statistics;
};

} // namespace schauplatz
