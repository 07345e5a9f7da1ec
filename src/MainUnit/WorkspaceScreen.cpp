#include "MainUnit/WorkspaceScreen.h"

#include "raster/view/ScaledPresentation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace schauplatz {

namespace {

__extension__ typedef __int128 Int128;

constexpr TColor32 kBlack = 0xFF000000u;
constexpr TColor32 kWhite = 0xFFFFFFFFu;
// The loupe magnifies 8 times, or 4 times the view scale when that is more.
constexpr std::int64_t kLoupeMagnification = 8;
constexpr std::int64_t kLoupeOverScale = 4;
// Room the loupe keeps from the corner and the pointer.
constexpr int kLoupeGap = 24;
constexpr int kLoupeMargin = 8;

void copyRect(TCustomBitmap32& Dst, const TCustomBitmap32& Src, const TRect& Area) {
    const TRect R = IntersectRect(IntersectRect(Area, Dst.BoundsRect()), Src.BoundsRect());
    if (IsRectEmpty(R)) return;
    const auto bytes = static_cast<std::size_t>(R.Width()) * sizeof(TColor32);
    for (int y = R.Top; y < R.Bottom; ++y)
        std::memcpy(Dst.PixelPointer(R.Left, y), Src.PixelPointer(R.Left, y), bytes);
}

// Sets the event position for the duration of a forwarded mouse event.
class EventScope {
public:
    EventScope(std::optional<TPoint>& slot, TPoint at) : m_slot(slot) { m_slot = at; }
    ~EventScope() { m_slot.reset(); }
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;

private:
    std::optional<TPoint>& m_slot;
};

TRect inflated(const TRect& R, int by) {
    return TRect{R.Left - by, R.Top - by, R.Right + by, R.Bottom + by};
}

bool contains(const TRect& R, const TPoint& P) {
    return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}

} // namespace

std::int32_t TWorkspaceScreen::clampInt(std::int64_t V) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        V, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

TWorkspaceScreen::TWorkspaceScreen(TWorkspaceImage32& Composition) : m_view(Composition) {}

TWorkspaceScreen::~TWorkspaceScreen() {
    if (!m_attached) return;
    m_view.SetHostHooks({});
    m_view.InvalidateArea = nullptr;
    m_view.OnOverlayChanged = nullptr;
}

// --- geometry -----------------------------------------------------------------------------

void TWorkspaceScreen::attach() {
    m_attached = true;
    THostHooks hooks;
    hooks.Invalidate = [this] { onCompositionInvalidated(); };
    m_view.SetHostHooks(std::move(hooks));
    m_view.InvalidateArea = [this](const TRect& R) { onCompositionArea(R); };
    m_view.OnOverlayChanged = [this](bool DashesOnly) { onOverlayChanged(DashesOnly); };
}

void TWorkspaceScreen::Resize(int Width, int Height) {
    Width = std::max(Width, 0);
    Height = std::max(Height, 0);
    if (m_attached && Width == m_width && Height == m_height) return;
    m_width = Width;
    m_height = Height;
    if (!m_attached) {
        if (Width == 0 || Height == 0) return;
        attach();
    }
    refit();
    applyMode();
}

void TWorkspaceScreen::SetFitArea(int Width, int Height) {
    if (Width == m_fitWidth && Height == m_fitHeight) return;
    m_fitWidth = Width;
    m_fitHeight = Height;
    if (!m_attached || !m_fitMode) return;
    refit();
    applyMode();
}

void TWorkspaceScreen::SetPictureSize(int Width, int Height) {
    Width = std::max(Width, 0);
    Height = std::max(Height, 0);
    if (Width == m_pictureWidth && Height == m_pictureHeight) return;
    m_pictureWidth = Width;
    m_pictureHeight = Height;
    if (!m_attached) return;
    refit();
    applyMode();
}

void TWorkspaceScreen::refit() {
    if (!m_fitMode) return;
    m_zoomAnchor.reset();
    const int areaW = m_fitWidth >= 0 ? m_fitWidth : m_width;
    const int areaH = m_fitHeight >= 0 ? m_fitHeight : m_height;
    m_scale = FitScale(m_pictureWidth, m_pictureHeight, areaW, areaH);
    m_originX = 0;
    m_originY = 0;
}

// At 1/1 the view paints everything and is as large as the picture or the visible area; at
// any other scale it composes the picture alone, picture-sized (at least one pixel, so that
// an empty picture still paints the colour it clears to).
void TWorkspaceScreen::applyMode() {
    if (!m_attached) return;
    const bool window = m_scale.IsOne();
    m_view.SetOverlayExternal(!window);
    const int w = window ? std::max(m_pictureWidth, m_width) : std::max(m_pictureWidth, 1);
    const int h = window ? std::max(m_pictureHeight, m_height) : std::max(m_pictureHeight, 1);
    if (m_view.Width() != w || m_view.Height() != h) m_view.Resize(w, h);
    clampOrigin();
    changedEverything();
}

void TWorkspaceScreen::clampOrigin() {
    const TPoint content = ContentSize();
    const auto clampAxis = [](std::int64_t origin, std::int64_t extent, int visible) {
        if (extent <= visible) return std::int64_t{0};
        return std::clamp<std::int64_t>(origin, visible - extent, 0);
    };
    m_originX = clampAxis(m_originX, content.X, m_width);
    m_originY = clampAxis(m_originY, content.Y, m_height);
}

void TWorkspaceScreen::changedEverything() {
    m_dirtyAll = true;
    m_dirty.clear();
    if (InvalidateAll) InvalidateAll();
    if (GeometryChanged) GeometryChanged();
    LoupeChanged();
}

TPoint TWorkspaceScreen::ContentSize() const {
    return TPoint{clampInt(ScaledExtent(m_pictureWidth, m_scale)),
                  clampInt(ScaledExtent(m_pictureHeight, m_scale))};
}

TPoint TWorkspaceScreen::MaxScroll() const {
    const TPoint content = ContentSize();
    return TPoint{std::max(0, content.X - m_width), std::max(0, content.Y - m_height)};
}

void TWorkspaceScreen::setOrigin(std::int64_t X, std::int64_t Y) {
    m_zoomAnchor.reset();
    const std::int64_t oldX = m_originX, oldY = m_originY;
    m_originX = X;
    m_originY = Y;
    clampOrigin();
    if (m_originX == oldX && m_originY == oldY) return;
    changedEverything();
}

void TWorkspaceScreen::ScrollTo(std::int64_t X, std::int64_t Y) {
    setOrigin(-X, -Y);
}

void TWorkspaceScreen::Fit() {
    m_fitMode = true;
    refit();
    applyMode();
}

void TWorkspaceScreen::zoomAbout(const TViewScale& Scale, int AnchorX, int AnchorY, long double Px,
                                 long double Py) {
    m_fitMode = false;
    if (Scale == m_scale) return;
    const long double s = static_cast<long double>(Scale.Num) / static_cast<long double>(Scale.Den);
    m_originX = AnchorX - std::llround(Px * s);
    m_originY = AnchorY - std::llround(Py * s);
    m_scale = Scale;
    applyMode();
}

void TWorkspaceScreen::SetScale(const TViewScale& Scale, int AnchorX, int AnchorY) {
    m_zoomAnchor.reset();
    // The picture point under the anchor, (anchor - origin) / scale, stays under it.
    const long double d = static_cast<long double>(m_scale.Den) / m_scale.Num;
    zoomAbout(Scale, AnchorX, AnchorY, (AnchorX - m_originX) * d, (AnchorY - m_originY) * d);
}

void TWorkspaceScreen::ZoomSteps(int Steps, int AnchorX, int AnchorY) {
    TViewScale scale = m_scale;
    for (int i = 0; i < Steps; ++i)
        scale = NextScaleStep(scale);
    for (int i = 0; i > Steps; --i)
        scale = PreviousScaleStep(scale);
    ZoomAnchor anchor;
    if (m_zoomAnchor && m_zoomAnchor->x == AnchorX && m_zoomAnchor->y == AnchorY) {
        anchor = *m_zoomAnchor;
    } else {
        const long double d = static_cast<long double>(m_scale.Den) / m_scale.Num;
        anchor = ZoomAnchor{AnchorX, AnchorY, (AnchorX - m_originX) * d, (AnchorY - m_originY) * d};
    }
    zoomAbout(scale, AnchorX, AnchorY, anchor.px, anchor.py);
    m_zoomAnchor = anchor;
}

TPoint TWorkspaceScreen::ToPicture(int X, int Y) const {
    return TPoint{clampInt(ScreenToPicture(X, m_originX, m_scale)),
                  clampInt(ScreenToPicture(Y, m_originY, m_scale))};
}

TPoint TWorkspaceScreen::ToScreen(const TPoint& Picture) const {
    return TPoint{clampInt(PictureCentreToScreen(Picture.X, m_originX, m_scale)),
                  clampInt(PictureCentreToScreen(Picture.Y, m_originY, m_scale))};
}

// --- change notification from the view ----------------------------------------------------

void TWorkspaceScreen::invalidateScreen(const TRect& R) {
    const TRect visible = IntersectRect(R, TRect{0, 0, m_width, m_height});
    if (!IsRectEmpty(visible) && InvalidateRect) InvalidateRect(visible);
}

void TWorkspaceScreen::invalidateAreas(const TOverlayAreas& Areas, bool LinesOnly) {
    for (const TRect& R : Areas.Lines)
        invalidateScreen(R);
    if (LinesOnly) return;
    for (const TRect& R : Areas.Fixed)
        invalidateScreen(R);
}

void TWorkspaceScreen::onCompositionInvalidated() {
    m_dirtyAll = true;
    m_dirty.clear();
    if (InvalidateAll) InvalidateAll();
    LoupeChanged();
}

void TWorkspaceScreen::onCompositionArea(const TRect& Area) {
    if (m_scale.IsOne()) {
        invalidateScreen(TRect{clampInt(Area.Left + m_originX), clampInt(Area.Top + m_originY),
                               clampInt(Area.Right + m_originX),
                               clampInt(Area.Bottom + m_originY)});
    } else {
        const TRect S = IntersectRect(PictureAreaToScreen(Area, m_originX, m_originY, m_scale),
                                      TRect{0, 0, m_width, m_height});
        if (!IsRectEmpty(S)) {
            m_dirty.push_back(S);
            invalidateScreen(S);
        }
    }
    LoupeChanged();
}

void TWorkspaceScreen::onOverlayChanged(bool DashesOnly) {
    const TOverlayAreas now = m_view.OverlayAreasFor(Mapping(), TRect{0, 0, m_width, m_height});
    if (DashesOnly && m_overlayChange != OverlayChange::Geometry && now == m_lastOverlay) {
        m_overlayChange = OverlayChange::Dashes;
        invalidateAreas(now, true);
    } else {
        m_overlayChange = OverlayChange::Geometry;
        invalidateAreas(m_lastOverlay, false);
        invalidateAreas(now, false);
    }
    LoupeChanged();
}

// --- painting -------------------------------------------------------------------------------

TColor32 TWorkspaceScreen::outsideColour() const {
    // An empty picture: the view shows what its background stage cleared it to.
    if ((m_pictureWidth == 0 || m_pictureHeight == 0) && !m_view.Buffer().IsEmpty())
        return m_view.Buffer().GetPixel(0, 0);
    return m_view.Color32();
}

void TWorkspaceScreen::Paint() {
    if (!m_attached) return;
    m_view.Paint();
    if (!m_scale.IsOne()) paintScaled();
    if (m_loupeRect && LoupeTarget)
        if (const std::optional<TPoint> target = LoupeTarget()) renderLoupe(*target);
}

void TWorkspaceScreen::restore(const TRect& R) {
    copyRect(m_buffer, m_presented, R);
}

void TWorkspaceScreen::paintScaled() {
    if (m_presented.Width() != m_width || m_presented.Height() != m_height) {
        m_presented.SetSize(m_width, m_height);
        m_buffer.SetSize(m_width, m_height);
        m_dirtyAll = true;
    }
    const TRect all{0, 0, m_width, m_height};
    TScaledSource source = m_view.ScreenSource();
    source.Width = m_pictureWidth;
    source.Height = m_pictureHeight;
    const TColor32 outside = outsideColour();
    const TOverlayMapping mapping = Mapping();
    if (m_dirtyAll) {
        PresentScaled(source, m_presented, all, m_scale, m_originX, m_originY, outside);
        restore(all);
        m_view.PaintOverlayInto(m_buffer, mapping);
        m_lastOverlay = m_view.OverlayAreasFor(mapping, all);
    } else if (!m_dirty.empty() || m_overlayChange != OverlayChange::None) {
        for (const TRect& R : m_dirty) {
            PresentScaled(source, m_presented, R, m_scale, m_originX, m_originY, outside);
            restore(R);
        }
        const TOverlayAreas now = m_view.OverlayAreasFor(mapping, all);
        const bool dashesOnly =
            m_dirty.empty() && m_overlayChange == OverlayChange::Dashes && now == m_lastOverlay;
        // Every pixel the last overlay drew is put back before the overlay is drawn again
        // (its lines blend, they must not be drawn twice over one another).
        for (const TRect& R : m_lastOverlay.Lines)
            restore(R);
        if (!dashesOnly) {
            for (const TRect& R : m_lastOverlay.Fixed)
                restore(R);
            for (const TRect& R : now.Lines)
                restore(R);
            for (const TRect& R : now.Fixed)
                restore(R);
        }
        const TRect box = LinesBox(m_lastOverlay, all);
        m_view.PaintOverlayInto(m_buffer, mapping, dashesOnly ? &box : nullptr);
        m_lastOverlay = now;
    }
    m_dirtyAll = false;
    m_dirty.clear();
    m_overlayChange = OverlayChange::None;
}

TWorkspaceScreen::Shown TWorkspaceScreen::ShownImage() const {
    if (m_scale.IsOne()) return Shown{&m_view.Buffer(), clampInt(-m_originX), clampInt(-m_originY)};
    return Shown{&m_buffer, 0, 0};
}

void TWorkspaceScreen::Snapshot(TBitmap32& Dest) const {
    Dest.SetSize(m_width, m_height);
    const Shown shown = ShownImage();
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x) {
            const int sx = x + shown.OffsetX, sy = y + shown.OffsetY;
            const bool inside = shown.Image && sx >= 0 && sy >= 0 && sx < shown.Image->Width() &&
                                sy < shown.Image->Height();
            Dest.SetPixel(x, y, inside ? shown.Image->GetPixel(sx, sy) : m_view.Color32());
        }
    if (m_loupeRect) {
        const TRect& R = *m_loupeRect;
        for (int y = 0; y < R.Height(); ++y)
            for (int x = 0; x < R.Width(); ++x)
                if (R.Left + x >= 0 && R.Top + y >= 0 && R.Left + x < m_width &&
                    R.Top + y < m_height)
                    Dest.SetPixel(R.Left + x, R.Top + y, m_loupe.GetPixel(x, y));
    }
}

// --- the loupe --------------------------------------------------------------------------------

void TWorkspaceScreen::LoupeChanged() {
    std::optional<TRect> place;
    if (m_attached && LoupeTarget)
        if (const std::optional<TPoint> target = LoupeTarget())
            place = PlaceLoupe(m_width, m_height, ToScreen(*target), m_pointer);
    // Its content may have changed too: the old and the new place are shown again.
    if (m_loupeRect) invalidateScreen(*m_loupeRect);
    m_loupeRect = place;
    if (m_loupeRect) invalidateScreen(*m_loupeRect);
}

void TWorkspaceScreen::renderLoupe(const TPoint& Corner) {
    constexpr int L = kLoupeSize;
    const std::int64_t M =
        std::max(kLoupeMagnification, CeilDiv(kLoupeOverScale * m_scale.Num, m_scale.Den));
    // Picture pixel Corner fills the square in the middle of the loupe.
    const std::int64_t originX = L / 2 - std::int64_t{Corner.X} * M - M / 2;
    const std::int64_t originY = L / 2 - std::int64_t{Corner.Y} * M - M / 2;
    const std::int64_t reach = L / 2 / M + 2;
    const TRect picture{0, 0, m_pictureWidth, m_pictureHeight};
    const TRect area = IntersectRect(TRect{clampInt(Corner.X - reach), clampInt(Corner.Y - reach),
                                           clampInt(std::int64_t{Corner.X} + reach),
                                           clampInt(std::int64_t{Corner.Y} + reach)},
                                     picture);

    m_loupe.SetSize(L, L);
    const TColor32 outside = m_view.Color32();
    bool composed = false;
    if (!IsRectEmpty(area)) {
        m_loupeSource.SetSize(area.Width(), area.Height());
        composed = m_view.ComposePictureArea(m_loupeSource, area);
    }
    const TScaledSource source{composed ? &m_loupeSource : nullptr, area.Width(), area.Height()};
    PresentScaled(source, m_loupe, TRect{0, 0, L, L}, TViewScale{M, 1}, originX + area.Left * M,
                  originY + area.Top * M, outside);
    m_view.PaintOverlayInto(m_loupe, TOverlayMapping{TViewScale{M, 1}, originX, originY, false});

    // The cross-hair: a two-tone square round the corner's pixel, and ticks towards the edges.
    const int s0 = static_cast<int>(L / 2 - M / 2), s1 = static_cast<int>(s0 + M);
    const int mid = L / 2;
    m_loupe.FrameRectClipped(s0 - 1, s0 - 1, s1 + 1, s1 + 1, kBlack);
    m_loupe.FrameRectClipped(s0 - 2, s0 - 2, s1 + 2, s1 + 2, kWhite);
    for (const auto& [from, to] : {std::pair{3, s0 - 4}, std::pair{s1 + 4, L - 3}}) {
        m_loupe.FillRectClipped(from, mid - 1, to, mid, kWhite);
        m_loupe.FillRectClipped(from, mid, to, mid + 1, kBlack);
        m_loupe.FillRectClipped(mid - 1, from, mid, to, kWhite);
        m_loupe.FillRectClipped(mid, from, mid + 1, to, kBlack);
    }
    m_loupe.FrameRectClipped(0, 0, L, L, kBlack);
    m_loupe.FrameRectClipped(1, 1, L - 1, L - 1, kWhite);
}

std::optional<TRect> PlaceLoupe(int Width, int Height, const TPoint& Corner,
                                const std::optional<TPoint>& Pointer, int Size) {
    // In 64 bits: a corner far outside the picture has screen coordinates near the int limits.
    using Wide = std::int64_t;
    const Wide g = kLoupeGap, m = kLoupeMargin, size = Size, cx = Corner.X, cy = Corner.Y;
    const std::pair<Wide, Wide> candidates[] = {
        {cx + g, cy - g - size},
        {cx - g - size, cy - g - size},
        {cx + g, cy + g},
        {cx - g - size, cy + g},
        {Width - size - m, m},
        {m, m},
        {Width - size - m, Height - size - m},
        {m, Height - size - m},
    };
    for (const auto& [x, y] : candidates) {
        if (x < 0 || y < 0 || x + size > Width || y + size > Height) continue;
        const TRect R{static_cast<int>(x), static_cast<int>(y), static_cast<int>(x + size),
                      static_cast<int>(y + size)};
        const TRect keepOut = inflated(R, static_cast<int>(m));
        if (contains(keepOut, Corner)) continue;
        if (Pointer && contains(keepOut, *Pointer)) continue;
        return R;
    }
    return std::nullopt;
}

// --- the mouse --------------------------------------------------------------------------------

void TWorkspaceScreen::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    m_pointer = TPoint{X, Y};
    if (Button == mbMiddle || (Button == mbLeft && m_spaceHeld)) {
        m_panning = true;
        m_panFrom = TPoint{X, Y};
        m_panScroll = ScrollPosition();
        return;
    }
    m_forwardedPress = true;
    forwardAt(X, Y, [&](const TPoint& p) { m_view.MouseDown(Button, Shift, p.X, p.Y); });
    LoupeChanged();
}

void TWorkspaceScreen::DblClick(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbMiddle || (Button == mbLeft && m_spaceHeld)) {
        MouseDown(Button, Shift, X, Y);
        return;
    }
    m_pointer = TPoint{X, Y};
    m_forwardedPress = true;
    forwardAt(X, Y, [&](const TPoint& p) { m_view.DblClick(Button, Shift, p.X, p.Y); });
    LoupeChanged();
}

void TWorkspaceScreen::forwardAt(int X, int Y,
                                 const std::function<void(const TPoint& picture)>& call) {
    EventScope scope(m_eventPosition, TPoint{X, Y});
    call(ToPicture(X, Y));
}

void TWorkspaceScreen::forwardMove(TShiftState Shift, int X, int Y) {
    forwardAt(X, Y, [&](const TPoint& p) { m_view.MouseMove(Shift, p.X, p.Y); });
}

void TWorkspaceScreen::MouseMove(TShiftState Shift, int X, int Y) {
    m_pointer = TPoint{X, Y};
    m_moveShift = Shift;
    if (m_panning) {
        ScrollTo(std::int64_t{m_panScroll.X} - (X - m_panFrom.X),
                 std::int64_t{m_panScroll.Y} - (Y - m_panFrom.Y));
        return;
    }
    forwardMove(Shift, X, Y);
    LoupeChanged();
}

void TWorkspaceScreen::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    m_pointer = TPoint{X, Y};
    if (m_panning) {
        if (Button == mbMiddle || Button == mbLeft) m_panning = false;
        return;
    }
    m_forwardedPress = false;
    forwardAt(X, Y, [&](const TPoint& p) { m_view.MouseUp(Button, Shift, p.X, p.Y); });
    LoupeChanged();
}

void TWorkspaceScreen::MouseLeave() {
    if (m_forwardedPress || m_panning) return; // the drag goes on outside
    m_pointer.reset();
    LoupeChanged();
}

// --- scrolling at the edge while dragging
// ---------------------------------------------------------

int AutoScrollSpeed(int Distance) {
    constexpr int zone = TWorkspaceScreen::kAutoScrollZone;
    if (Distance >= zone) return 0;
    const std::int64_t speed = 1 + (std::int64_t{zone} - Distance) / 3;
    return static_cast<int>(std::min<std::int64_t>(speed, TWorkspaceScreen::kAutoScrollMaxStep));
}

namespace {

// Signed step along one axis for a pointer at Position in a visible extent of Size.
int axisStep(int Position, int Size) {
    if (Size <= 0) return 0;
    const int fromStart = Position;
    const int fromEnd = Size - 1 - Position;
    if (fromStart < fromEnd) return -AutoScrollSpeed(fromStart);
    return AutoScrollSpeed(fromEnd);
}

} // namespace

bool TWorkspaceScreen::WantsAutoScroll() const {
    if (!m_attached || m_panning || !m_pointer || !Dragging || !Dragging()) return false;
    const int dx = axisStep(m_pointer->X, m_width);
    const int dy = axisStep(m_pointer->Y, m_height);
    const TPoint at = ScrollPosition(), limit = MaxScroll();
    return (dx < 0 && at.X > 0) || (dx > 0 && at.X < limit.X) || (dy < 0 && at.Y > 0) ||
           (dy > 0 && at.Y < limit.Y);
}

bool TWorkspaceScreen::AutoScrollStep() {
    if (!WantsAutoScroll()) return false;
    const TPoint before = ScrollPosition();
    ScrollTo(std::int64_t{before.X} + axisStep(m_pointer->X, m_width),
             std::int64_t{before.Y} + axisStep(m_pointer->Y, m_height));
    if (ScrollPosition() == before) return false;
    // The pointer stands still over a picture that moved under it: the drag follows.
    // The keys held at the last move go on (Alt: the corner does not snap).
    forwardMove(ssLeft | (m_moveShift & (ssAlt | ssCtrl | ssShift)), m_pointer->X, m_pointer->Y);
    LoupeChanged();
    return true;
}

} // namespace schauplatz
