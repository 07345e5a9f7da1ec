#include "MainUnit/FormWorkspaceView.h"

#include "raster/Drawing.h"

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

} // namespace

// While only the dashes move, the overlay needs drawing only where its lines were put back.
// The box round those areas keeps every line whole (the areas reach beyond each line's ends
// and sides), so the lines, handles and border come out inside it as over the whole target,
// and outside it nothing changed.
TRect LinesBox(const TOverlayAreas& Areas, const TRect& Target) {
    TRect box{};
    for (const TRect& R : Areas.Lines)
        box = unionRect(box, R);
    return IntersectRect(box, Target);
}

namespace {

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
    if (m_dashStride > 1 && ++m_dashSteps % m_dashStride != 0) return;
    InvalidateOverlayNow();
}

void TWorkspaceImage32::InvalidateOverlayNow() {
    if (m_overlayExternal) {
        if (OnOverlayChanged) OnOverlayChanged(true);
        return;
    }
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
    if (m_overlayExternal && OnOverlayChanged) OnOverlayChanged(false);
}

void TWorkspaceImage32::requestPartial(const TRect& pictureArea) {
    // Only a pending partial repaint over a valid composition can be limited.
    const bool partial = m_pending != Pending::Everything && (m_cachesValid || m_backgroundValid) &&
                         !ForceFullRepaint();
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
    if (m_overlayExternal) return;
    const TOverlayAreas now = OverlayAreasFor(TOverlayMapping{}, ClientRect());
    if (m_pending == Pending::Overlay && now == m_lastOverlay) {
        for (const TRect& R : now.Lines)
            InvalidateArea(R);
        return;
    }
    for (const TOverlayAreas* areas : {static_cast<const TOverlayAreas*>(&m_lastOverlay), &now}) {
        for (const TRect& R : areas->Lines)
            InvalidateArea(R);
        for (const TRect& R : areas->Fixed)
            InvalidateArea(R);
    }
}

void TWorkspaceImage32::SetOverlayExternal(bool Value) {
    if (Value == m_overlayExternal) return;
    m_overlayExternal = Value;
    m_lastOverlay = {};
    Invalidate();
}

TOverlayAreas TWorkspaceImage32::OverlayAreasFor(const TOverlayMapping& Mapping,
                                                 const TRect& Clip) const {
    return OverlayAreas ? OverlayAreas(Mapping, Clip) : TOverlayAreas{};
}

void TWorkspaceImage32::PaintOverlayInto(TBitmap32& Dest, const TOverlayMapping& Mapping,
                                         const TRect* Clip) {
    struct Restore {
        TOverlayMapping& mapping;
        ~Restore() { mapping = TOverlayMapping{}; }
    } restore{m_mapping};
    m_mapping = Mapping;
    UpdateCache();
    const StageGroups groups = groupStages();
    Dest.SetClipRect(Clip ? IntersectRect(*Clip, Dest.BoundsRect()) : Dest.BoundsRect());
    for (unsigned index : groups.overlay)
        ExecStage(Dest, index);
    Dest.SetClipRect(Dest.BoundsRect());
}

TScaledSource TWorkspaceImage32::ScreenSource() const {
    TScaledSource source{&Buffer(), Bitmap().Width(), Bitmap().Height()};
    if (m_backgroundOnly) {
        source.Over = &Bitmap();
        source.OverTransparent = Bitmap().OuterColor();
    }
    return source;
}

bool TWorkspaceImage32::ComposePictureArea(TBitmap32& Dest, const TRect& Area) {
    const TBitmap32& buffer = Buffer();
    const TRect R = IntersectRect(Area, ClientRect());
    if (IsRectEmpty(R) || !BufferValid()) return false;
    // With the overlay drawn elsewhere the buffer holds the background (and the picture,
    // unless the screen lays it over); otherwise the background is kept apart.
    const TCustomBitmap32& from =
        m_overlayExternal ? static_cast<const TCustomBitmap32&>(buffer) : m_afterBackground;
    if (!m_overlayExternal &&
        (!m_cachesValid || from.Width() < R.Right || from.Height() < R.Bottom))
        return false;
    const auto bytes = static_cast<std::size_t>(R.Width()) * sizeof(TColor32);
    for (int y = R.Top; y < R.Bottom; ++y)
        std::memcpy(Dest.PixelPointer(R.Left - Area.Left, y - Area.Top),
                    from.PixelPointer(R.Left, y), bytes);
    if (m_overlayExternal && !m_backgroundOnly) return true;
    const TRect placed = CachedBitmapRect();
    const TRect inPicture = IntersectRect(R, placed);
    if (IsRectEmpty(inPicture) || placed.Width() != Bitmap().Width() ||
        placed.Height() != Bitmap().Height())
        return true;
    BlockDraw(Dest,
              TRect{inPicture.Left - Area.Left, inPicture.Top - Area.Top,
                    inPicture.Right - Area.Left, inPicture.Bottom - Area.Top},
              Bitmap(), inPicture.Left - placed.Left, inPicture.Top - placed.Top,
              Bitmap().DrawMode(), Bitmap().OnPixelCombine);
    return true;
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

void TWorkspaceImage32::recomposeOverlayAreas(TBitmap32& buffer, const StageGroups& groups,
                                              bool dashesOnly, const TOverlayAreas& overlay) {
    // While only the dashes move, the frame covers the same areas as before: its lines are
    // put back, the handles and the border are drawn again over themselves.
    for (const TRect& R : m_lastOverlay.Lines)
        recompose(buffer, groups, R);
    if (dashesOnly) return;
    for (const TRect& R : m_lastOverlay.Fixed)
        recompose(buffer, groups, R);
    if (overlay == m_lastOverlay) return;
    for (const TRect& R : overlay.Lines)
        recompose(buffer, groups, R);
    for (const TRect& R : overlay.Fixed)
        recompose(buffer, groups, R);
}

bool TWorkspaceImage32::pictureIsTransparentLayer(const StageGroups& groups) {
    if (groups.picture.size() != 1 || BitmapAlign() == baTile) return false;
    if (Bitmap().DrawMode() != dmTransparent || Bitmap().IsEmpty()) return false;
    return CachedBitmapRect() == TRect{0, 0, Bitmap().Width(), Bitmap().Height()};
}

void TWorkspaceImage32::paintBackgroundOnly(Pending pending, const StageGroups& groups,
                                            std::uint64_t key) {
    TBitmap32& buffer = Buffer();
    // The picture is read where it is: only a changed background means work here.
    if (pending != Pending::Everything && m_backgroundValid && key == m_key &&
        m_afterBackground.Width() == buffer.Width() &&
        m_afterBackground.Height() == buffer.Height()) {
        ++m_statistics.picturePaints;
        return;
    }
    TLockBracket lockPicture(Bitmap());
    {
        TUpdateBracket bracket(buffer);
        buffer.SetClipRect(ClientRect());
        for (unsigned index : groups.background)
            ExecStage(buffer, index);
    }
    buffer.SetClipRect(ClientRect());
    // Only the size is kept here, to tell when the buffer changed under the background.
    m_afterBackground.SetSize(buffer.Width(), buffer.Height());
    m_backgroundValid = true;
    m_key = key;
    ++m_statistics.fullPaints;
}

// Decides whether the buffer holds the background alone (external overlay, picture left to
// the screen) and paints it so; true when that is done.
bool TWorkspaceImage32::paintedBackgroundOnly(Pending pending) {
    if (m_overlayExternal && (ForceFullRepaint() || InvalidRects().empty())) {
        UpdateCache();
        const StageGroups groups = groupStages();
        const bool backgroundOnly = pictureIsTransparentLayer(groups);
        if (backgroundOnly != m_backgroundOnly) {
            m_backgroundOnly = backgroundOnly;
            m_backgroundValid = false;
        }
        if (backgroundOnly) {
            m_cachesValid = false; // the picture was never composed into the buffer
            paintBackgroundOnly(pending, groups, BackgroundKey ? BackgroundKey() : 0);
            return true;
        }
    } else if (!m_overlayExternal) {
        m_backgroundOnly = false;
        m_backgroundValid = false;
    }
    return false;
}

void TWorkspaceImage32::DoPaintBuffer() {
    const Pending pending = m_pending;
    const TRect pictureArea = m_pictureArea;
    m_pending = Pending::Nothing;
    m_pictureArea = {};

    if (paintedBackgroundOnly(pending)) return;
    // Partial repaints by rectangles (rmDirect) go their own way.
    if (!ForceFullRepaint() && !InvalidRects().empty()) {
        m_cachesValid = false;
        TImage32::DoPaintBuffer();
        return;
    }
    paintStages(pending, pictureArea);
}

void TWorkspaceImage32::paintStages(Pending pending, const TRect& pictureArea) {
    UpdateCache();
    StageGroups groups = groupStages();
    if (m_overlayExternal) groups.overlay.clear();
    TBitmap32& buffer = Buffer();
    const std::uint64_t key = BackgroundKey ? BackgroundKey() : 0;
    TOverlayAreas overlay =
        m_overlayExternal ? TOverlayAreas{} : OverlayAreasFor(TOverlayMapping{}, ClientRect());

    // Picture pixels are client pixels only while the picture is shown unscaled.
    const TRect placed = CachedBitmapRect();
    const bool unscaled =
        placed.Width() == Bitmap().Width() && placed.Height() == Bitmap().Height();
    const bool external = m_overlayExternal;
    const bool partial = (pending == Pending::Overlay || pending == Pending::PictureArea) &&
                         !groups.picture.empty() && (OverlayAreas || external) &&
                         cachesUsable(buffer, key) && (pending == Pending::Overlay || unscaled);

    const bool dashesOnly = partial && pending == Pending::Overlay && overlay == m_lastOverlay;
    const TRect overlayClip = dashesOnly ? LinesBox(m_lastOverlay, ClientRect()) : ClientRect();
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
            recomposeOverlayAreas(buffer, groups, dashesOnly, overlay);
        } else {
            paintUnderOverlay(buffer, groups, key);
        }
        buffer.SetClipRect(overlayClip);
        for (unsigned index : groups.overlay)
            ExecStage(buffer, index);
    }
    buffer.SetClipRect(ClientRect());
    m_lastOverlay = std::move(overlay);
}

// A full repaint of the stages under the overlay; the caches hold only when there is a
// picture stage.
void TWorkspaceImage32::paintUnderOverlay(TBitmap32& buffer, const StageGroups& groups,
                                          std::uint64_t key) {
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

} // namespace schauplatz
