#include "MainUnit/FormWorkspaceView.h"

#include <algorithm>
#include <cstring>

namespace schauplatz {

namespace {

TRect unionRect(const TRect& A, const TRect& B) {
    if (IsRectEmpty(A)) return B;
    if (IsRectEmpty(B)) return A;
    return TRect{std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right),
                 std::max(A.Bottom, B.Bottom)};
}

// Copies the pixels of Area from Src to Dst; both have the same size and contain Area.
void copyArea(TCustomBitmap32& Dst, const TCustomBitmap32& Src, const TRect& Area) {
    const auto bytes = static_cast<std::size_t>(Area.Width()) * sizeof(TColor32);
    for (int y = Area.Top; y < Area.Bottom; ++y)
        std::memcpy(Dst.PixelPointer(Area.Left, y), Src.PixelPointer(Area.Left, y), bytes);
}

void copyWhole(TBitmap32& Dst, const TCustomBitmap32& Src) {
    Dst.SetSize(Src.Width(), Src.Height());
    std::memcpy(Dst.Bits(), Src.Bits(),
                static_cast<std::size_t>(Src.Width()) * static_cast<std::size_t>(Src.Height()) *
                    sizeof(TColor32));
}

} // namespace

void TWorkspaceImage32::Invalidate() {
    m_pending = Pending::Everything;
    TImage32::Invalidate();
}

void TWorkspaceImage32::InvalidateOverlay() {
    if (m_pending == Pending::Nothing) m_pending = Pending::Overlay;
    requestPartial(TRect{});
}

void TWorkspaceImage32::InvalidatePictureArea(const TRect& Area) {
    if (m_pending == Pending::Nothing || m_pending == Pending::Overlay) {
        m_pending = Pending::PictureArea;
        m_pictureArea = Area;
    } else if (m_pending == Pending::PictureArea) {
        m_pictureArea = unionRect(m_pictureArea, Area);
    }
    requestPartial(Area);
}

void TWorkspaceImage32::requestPartial(const TRect& pictureArea) {
    // Only a pending partial repaint over a valid composition can be limited.
    const bool partial = m_pending != Pending::Everything && m_cachesValid && !ForceFullRepaint();
    if (!InvalidateArea || !partial) {
        TImage32::Invalidate(); // the base's, so the pending kind set here stays
        return;
    }
    InvalidateCache();
    MarkBufferInvalid();
    const TRect placed = CachedBitmapRect();
    if (!IsRectEmpty(pictureArea))
        InvalidateArea(TRect{pictureArea.Left + placed.Left, pictureArea.Top + placed.Top,
                             pictureArea.Right + placed.Left, pictureArea.Bottom + placed.Top});
    for (const TRect& R : m_lastOverlay)
        InvalidateArea(R);
    if (OverlayAreas)
        for (const TRect& R : OverlayAreas())
            InvalidateArea(R);
}

TWorkspaceImage32::StageGroups TWorkspaceImage32::groupStages() const {
    StageGroups groups;
    const TPaintStages& stages = PaintStages();
    for (std::size_t i = 0; i < stages.Count(); ++i) {
        const TPaintStage& stage = stages[i];
        if (!stage.RunTime || stage.Stage < kStageCustom || stage.Stage > kStageBitmapFrame)
            continue;
        const auto index = static_cast<unsigned>(i);
        if (stage.Stage == kStageDrawBitmap) {
            // Everything up to the last picture stage belongs under the overlay.
            groups.background.insert(groups.background.end(), groups.picture.begin(),
                                     groups.picture.end());
            groups.background.insert(groups.background.end(), groups.overlay.begin(),
                                     groups.overlay.end());
            groups.picture.assign(1, index);
            groups.overlay.clear();
        } else if (groups.picture.empty()) {
            groups.background.push_back(index);
        } else {
            groups.overlay.push_back(index);
        }
    }
    return groups;
}

bool TWorkspaceImage32::cachesUsable(const TBitmap32& buffer, std::uint64_t key) const {
    return m_cachesValid && key == m_key && m_afterBackground.Width() == buffer.Width() &&
           m_afterBackground.Height() == buffer.Height();
}

void TWorkspaceImage32::paintEverything(TBitmap32& buffer, const StageGroups& groups) {
    for (unsigned index : groups.background)
        ExecStage(buffer, index);
    copyWhole(m_afterBackground, buffer);
    for (unsigned index : groups.picture)
        ExecStage(buffer, index);
    ++m_statistics.fullPaints;
}

// The area as the stages under the overlay leave it: the kept background, and the picture
// stage again inside the area only.
void TWorkspaceImage32::recompose(TBitmap32& buffer, const StageGroups& groups, const TRect& area) {
    const TRect R = IntersectRect(area, ClientRect());
    if (IsRectEmpty(R)) return;
    copyArea(buffer, m_afterBackground, R);
    buffer.SetClipRect(R);
    for (unsigned index : groups.picture)
        ExecStage(buffer, index);
    buffer.SetClipRect(ClientRect());
}

void TWorkspaceImage32::DoPaintBuffer() {
    const Pending pending = m_pending;
    const TRect pictureArea = m_pictureArea;
    m_pending = Pending::Nothing;
    m_pictureArea = {};

    // Partial repaints by rectangles (rmDirect) go their own way.
    if (!ForceFullRepaint() && !InvalidRects().empty()) {
        m_cachesValid = false;
        TImage32::DoPaintBuffer();
        return;
    }

    UpdateCache();
    const StageGroups groups = groupStages();
    TBitmap32& buffer = Buffer();
    const std::uint64_t key = BackgroundKey ? BackgroundKey() : 0;
    std::vector<TRect> overlay = OverlayAreas ? OverlayAreas() : std::vector<TRect>{};

    // Picture pixels are client pixels only while the picture is shown unscaled.
    const TRect placed = CachedBitmapRect();
    const bool unscaled =
        placed.Width() == Bitmap().Width() && placed.Height() == Bitmap().Height();
    bool partial = (pending == Pending::Overlay || pending == Pending::PictureArea) &&
                   !groups.picture.empty() && OverlayAreas && cachesUsable(buffer, key) &&
                   (pending == Pending::Overlay || unscaled);

    TLockBracket lockPicture(Bitmap());
    {
        TUpdateBracket bracket(buffer);
        buffer.SetClipRect(ClientRect());
        if (partial) {
            if (pending == Pending::PictureArea) {
                recompose(buffer, groups,
                          TRect{pictureArea.Left + placed.Left, pictureArea.Top + placed.Top,
                                pictureArea.Right + placed.Left, pictureArea.Bottom + placed.Top});
                ++m_statistics.picturePaints;
            } else {
                ++m_statistics.overlayPaints;
            }
            for (const TRect& R : m_lastOverlay)
                recompose(buffer, groups, R);
            // While only the dashes move, the frame covers the same areas as before.
            if (overlay != m_lastOverlay)
                for (const TRect& R : overlay)
                    recompose(buffer, groups, R);
        } else {
            m_cachesValid = false;
            if (groups.picture.empty()) {
                for (unsigned index : groups.background)
                    ExecStage(buffer, index);
                ++m_statistics.fullPaints;
            } else {
                paintEverything(buffer, groups);
                m_cachesValid = true;
                m_key = key;
            }
        }
        buffer.SetClipRect(ClientRect());
        for (unsigned index : groups.overlay)
            ExecStage(buffer, index);
    }
    buffer.SetClipRect(ClientRect());
    m_lastOverlay = std::move(overlay);
}

} // namespace schauplatz
