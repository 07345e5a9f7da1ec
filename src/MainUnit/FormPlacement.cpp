// The element and its quad: loading the element picture, the default place, the
// transformation, rendering into the workspace bitmap and editing the quad with the mouse.

#include "MainUnit/MainUnit.h"

#include "elements/PictureFiles.h"
#include "raster/Drawing.h"
#include "raster/ElementRendering.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

namespace schauplatz {

namespace {

static_assert(std::numeric_limits<long double>::digits >= 64,
              "the one-fifth rule is evaluated with a 64-bit mantissa");

// Half the grab zone: a press closer than this in both axes takes the vertex.
constexpr int kGrabDistance = 5;
constexpr std::int32_t kWholeQuad = 4;

std::int32_t roundHalfEven(long double value) {
    return static_cast<std::int32_t>(std::nearbyintl(value));
}

// Holds the workspace view's update bracket; on the way out, also when rendering failed,
// it closes the bracket and asks for the repaint of the area that may have changed, so the
// view never stays blocked or stale.
class RenderBracket {
public:
    RenderBracket(TWorkspaceImage32& view, const TRect& area) : m_view(view), m_area(area) {
        m_view.BeginUpdate();
    }
    ~RenderBracket() {
        m_view.EndUpdate();
        m_view.InvalidatePictureArea(m_area);
    }
    RenderBracket(const RenderBracket&) = delete;
    RenderBracket& operator=(const RenderBracket&) = delete;
    void widen(const TRect& area) {
        if (IsRectEmpty(area)) return;
        if (IsRectEmpty(m_area)) {
            m_area = area;
            return;
        }
        m_area = TRect{std::min(m_area.Left, area.Left), std::min(m_area.Top, area.Top),
                       std::max(m_area.Right, area.Right), std::max(m_area.Bottom, area.Bottom)};
    }

private:
    TWorkspaceImage32& m_view;
    TRect m_area;
};

// The pixels the element can cover under the quad, inside the bitmap: the corners' bounding
// box, widened by one pixel for the sampling positions at its edges.
TRect quadArea(const std::array<QuadPoint, 4>& quad, const TBitmap32& bitmap) {
    const TRect box = QuadBounds(quad);
    const auto widen = [](std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(
            v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    };
    const TRect R{widen(std::int64_t{box.Left} - 1), widen(std::int64_t{box.Top} - 1),
                  widen(std::int64_t{box.Right} + 2), widen(std::int64_t{box.Bottom} + 2)};
    return IntersectRect(R, bitmap.BoundsRect());
}

void clearArea(TBitmap32& bitmap, const TRect& area) {
    const TRect R = IntersectRect(area, bitmap.BoundsRect());
    if (R == bitmap.BoundsRect()) {
        bitmap.Clear(0);
        return;
    }
    if (IsRectEmpty(R)) return;
    for (std::int32_t y = R.Top; y < R.Bottom; ++y)
        std::fill_n(bitmap.PixelPointer(R.Left, y), R.Width(), TColor32{0});
    bitmap.AreaChanged(R);
}

} // namespace

// --- the element picture -------------------------------------------------------------------

void TForm_Schauplatz::LoadElementPicture(const std::string& path) {
    try {
        TBitmap32& door = ImageSelectedDoor.Bitmap();
        door.Clear(0);
        ++m_placement.elementPicture;
        m_placement.mirrored = false;
        ReadPictureFile(door, path);
        ImageSelectedDoor.Invalidate();
        m_host.repaint(FormComponent::ImageSelectedDoor);
        ElementFile = path;
        ClearQuadSelection();
        RenderElement();
    } catch (const std::exception&) {
        // Loading an element never reports: what was done stays done.
    }
}

// The one-fifth rule: the element at the top left corner, unrotated, with the proportions of
// its picture (measured between the centres of its outer pixels), at a fifth of the largest
// size at which it would fit the facade.
void TForm_Schauplatz::PlaceElementDefault() {
    const long double FW = ImageFassade.Bitmap().Width();
    const long double FH = ImageFassade.Bitmap().Height();
    // A picture one pixel wide or high has no extent between its outer pixel centres; it is
    // placed as if it had one, instead of dividing by zero.
    std::int32_t ew1 = ImageSelectedDoor.Bitmap().Width() - 1;
    std::int32_t eh1 = ImageSelectedDoor.Bitmap().Height() - 1;
    if (ew1 == 0) ew1 = 1;
    if (eh1 == 0) eh1 = 1;
    const long double EW1 = ew1;
    const long double EH1 = eh1;
    const long double RX = FW / EW1;
    const long double RY = FH / EH1;
    const long double R = RY <= RX ? RY : RX;
    const long double S = R / 5;
    const std::int32_t X1 = roundHalfEven(EW1 * S);
    const std::int32_t Y2 = roundHalfEven(EH1 * S);
    Vertices = {QuadPoint{0, 0}, QuadPoint{X1, 0}, QuadPoint{X1, Y2}, QuadPoint{0, Y2}};
}

void TForm_Schauplatz::UpdateTransformation() {
    TProjectiveTransformation& T = *Transformation;
    T.SetX0(static_cast<float>(Vertices[0].X));
    T.SetY0(static_cast<float>(Vertices[0].Y));
    T.SetX1(static_cast<float>(Vertices[1].X));
    T.SetY1(static_cast<float>(Vertices[1].Y));
    T.SetX2(static_cast<float>(Vertices[2].X));
    T.SetY2(static_cast<float>(Vertices[2].Y));
    T.SetX3(static_cast<float>(Vertices[3].X));
    T.SetY3(static_cast<float>(Vertices[3].Y));
    const TBitmap32& door = ImageSelectedDoor.Bitmap();
    // Right and bottom are the centres of the last column and row.
    T.SetSourceRect(TFloatRect{0.0f, 0.0f, static_cast<float>(door.Width() - 1),
                               static_cast<float>(door.Height() - 1)});
}

void TForm_Schauplatz::RenderElement() {
    if (!Item("NeuesElementpositionieren1").checked) {
        WorkingPlaceImage.Invalidate();
        return;
    }
    // At start-up the element list asks for a render before the transformation exists.
    if (!Transformation) return;
    UpdateTransformation();
    TBitmap32& workspace = WorkingPlaceImage.Bitmap();
    ++m_placement.workspaceGeneration;
    RenderBracket bracket(WorkingPlaceImage, m_placement.elementArea);
    // Only the element's last area holds anything but 0 (a size change since then has
    // cleared everything), so clearing that area clears the bitmap.
    clearArea(workspace, m_placement.elementArea);
    m_placement.elementArea = {};
    // While a corner is dragged the fast rendering without smoothing stands in; the smooth
    // one follows once the mouse is released or rests.
    TAppearance look = m_placement.appearance;
    const bool dragging = ActiveVertex >= 0 && !m_placement.renderingAtRest;
    m_placement.smoothPending = dragging && look.Smooth;
    m_placement.restingPasses = 0;
    if (dragging) look.Smooth = false;
    m_placement.workspaceAppearance = look;
    const bool exact = IsNeutral(look);
    showWorkspaceBlended(!exact);
    TBitmap32& door = ImageSelectedDoor.Bitmap();
    const TElementQuad quad{
        TPoint{Vertices[0].X, Vertices[0].Y}, TPoint{Vertices[1].X, Vertices[1].Y},
        TPoint{Vertices[2].X, Vertices[2].Y}, TPoint{Vertices[3].X, Vertices[3].Y}};
    const TRect area =
        exact ? quadArea(Vertices, workspace)
              : IntersectRect(ElementLayerArea(door, quad, look), workspace.BoundsRect());
    bracket.widen(area);
    // An empty element picture has nothing to draw; the workspace stays clear.
    if (door.IsEmpty()) return;
    m_placement.elementArea = area;
    if (exact)
        DrawTransformed(&workspace, &door, Transformation.get());
    else
        RenderElementInto(workspace, door, quad, look, area);
}

// The workspace shows an appearance layer blended by its alpha, as the composite will hold
// it; the exact layer as it always was.
void TForm_Schauplatz::showWorkspaceBlended(bool blended) {
    TBitmap32& workspace = WorkingPlaceImage.Bitmap();
    const TDrawMode mode = blended ? dmBlend : dmTransparent;
    const TCombineMode combine = blended ? cmBlend : cmMerge;
    if (workspace.DrawMode() == mode && workspace.CombineMode() == combine) return;
    workspace.SetDrawMode(mode);
    workspace.SetCombineMode(combine);
}

void TForm_Schauplatz::markElementOffered() {
    for (std::size_t i = 0; i < 4; ++i) {
        m_placement.offeredQuad[2 * i] = Vertices[i].X;
        m_placement.offeredQuad[2 * i + 1] = Vertices[i].Y;
    }
    m_placement.offeredPicture = m_placement.elementPicture;
    m_placement.offeredAppearance = m_placement.appearance;
}

bool TForm_Schauplatz::ElementTouched() const {
    if (m_placement.offeredPicture != m_placement.elementPicture) return true;
    if (!(m_placement.offeredAppearance == m_placement.appearance)) return true;
    for (std::size_t i = 0; i < 4; ++i)
        if (m_placement.offeredQuad[2 * i] != Vertices[i].X ||
            m_placement.offeredQuad[2 * i + 1] != Vertices[i].Y)
            return true;
    return false;
}

// --- the mouse on the workspace --------------------------------------------------------------

// The grab zone is measured on screen, so a corner is as easy to take at any scale (one to
// one, screen and workspace pixels differ by the scroll position only); lower index first.
std::int32_t TForm_Schauplatz::cornerAt(int X, int Y) const {
    const TOverlayMapping m = WorkspaceScreen.Mapping();
    const std::optional<TPoint> at = WorkspaceScreen.EventPosition();
    const std::int64_t pressX = at ? at->X : PictureCentreToScreen(X, m.OriginX, m.Scale);
    const std::int64_t pressY = at ? at->Y : PictureCentreToScreen(Y, m.OriginY, m.Scale);
    for (std::int32_t i = 0; i < 4; ++i) {
        const QuadPoint& v = Vertices[static_cast<std::size_t>(i)];
        if (std::llabs(PictureCentreToScreen(v.X, m.OriginX, m.Scale) - pressX) < kGrabDistance &&
            std::llabs(PictureCentreToScreen(v.Y, m.OriginY, m.Scale) - pressY) < kGrabDistance)
            return i;
    }
    return -1;
}

void TForm_Schauplatz::RubberLayerMouseDown(TCustomImage32*, TMouseButton Button, TShiftState Shift,
                                            int X, int Y, TCustomLayer*) {
    try {
        // A double click on a placed element takes it up for editing (then the press goes on
        // as a press on its quad).
        if (Button == mbLeft && (Shift & ssDouble) != 0) TakeUpElementAt(X, Y);
        m_snap.notice.clear();
        m_snap.beforeFit.reset();
        if (!Item("NeuesElementpositionieren1").checked) return;
        // Ctrl+click fits the element into the opening around the click; nothing is dragged.
        if (Button == mbLeft && (Shift & (ssCtrl | ssDouble)) == ssCtrl) {
            fitOpeningAt(X, Y);
            return;
        }
        ActiveVertex = cornerAt(X, Y);
        if (ActiveVertex < 0) ActiveVertex = kWholeQuad;
        LastMouseX = X;
        LastMouseY = Y;
        beginSnapDrag();
        WorkspaceScreen.LoupeChanged();
    } catch (const std::exception&) {
    }
}

void TForm_Schauplatz::RubberLayerMouseMove(TCustomImage32*, TShiftState Shift, int X, int Y,
                                            TCustomLayer*) {
    try {
        if (ActiveVertex == -1 || !Item("NeuesElementpositionieren1").checked) return;
        const std::int64_t DX = std::int64_t{X} - LastMouseX;
        const std::int64_t DY = std::int64_t{Y} - LastMouseY;
        LastMouseX = X;
        LastMouseY = Y;
        // Corners far out stop at the ends of the int32 range instead of wrapping round.
        const auto add = [](std::int32_t& v, std::int64_t d) {
            v = static_cast<std::int32_t>(std::clamp<std::int64_t>(
                std::int64_t{v} + d, std::numeric_limits<std::int32_t>::min(),
                std::numeric_limits<std::int32_t>::max()));
        };
        if (ActiveVertex == kWholeQuad) {
            for (QuadPoint& v : Vertices) {
                add(v.X, DX);
                add(v.Y, DY);
            }
        } else if (ActiveVertex >= 0 && ActiveVertex < 4) {
            // The corner follows the pointer as ever; snapping only changes where it goes.
            add(m_snap.free.X, DX);
            add(m_snap.free.Y, DY);
            Vertices[static_cast<std::size_t>(ActiveVertex)] = snappedVertex(Shift);
        }
        RenderElement();
    } catch (const std::exception&) {
        // The quad keeps its new values; the element simply is not drawn.
    }
}

void TForm_Schauplatz::RubberLayerMouseUp(TCustomImage32*, TMouseButton, TShiftState, int, int,
                                          TCustomLayer*) {
    const std::int32_t grabbed = ActiveVertex;
    ActiveVertex = -1;
    endSnapDrag();
    // What the press took is what the arrow keys move next: the corner or the whole quad.
    if (grabbed >= 0 && grabbed <= kWholeQuad && m_view.Selection != grabbed) {
        m_view.Selection = grabbed;
        WorkingPlaceImage.InvalidateOverlayNow();
    }
    FinishSmoothRendering();
    WorkspaceScreen.LoupeChanged();
}

// --- element commands ------------------------------------------------------------------------

void TForm_Schauplatz::OpacityChange(int Position) {
    ImageSelectedDoor.Bitmap().SetMasterAlpha(
        static_cast<std::uint32_t>(std::clamp(Position, 0, 255)));
    ++m_placement.elementPicture;
    ImageSelectedDoor.Invalidate();
    RenderElement();
}

void TForm_Schauplatz::rspeigeln1Click() {
    ImageSelectedDoor.Bitmap().MirrorHorizontally();
    ++m_placement.elementPicture;
    m_placement.mirrored = !m_placement.mirrored;
    ImageSelectedDoor.Invalidate();
    RenderElement();
}

void TForm_Schauplatz::NeuesElementpositionieren1Click() {
    ClearQuadSelection();
    if (!Item("NeuesElementpositionieren1").checked) return;
    // A new element takes the settings last chosen.
    m_placement.appearance = m_placement.lastUsed;
    PlaceElementDefault();
    markElementOffered();
    Item("Vertexanaus1").checked = true;
    m_host.menuStateChanged();
    Vertexanaus1Click();
}

// Each dropped picture becomes the element in turn; the last usable one stays.
void TForm_Schauplatz::FormDropFiles(const std::vector<std::string>& paths) {
    if (CommandRefused()) return;
    for (const std::string& path : paths)
        EnterElement(path, false);
}

} // namespace schauplatz
