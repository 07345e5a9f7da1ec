// The workspace view: its size, the zoom, its paint stages and the marching frame.

#include "MainUnit/MainUnit.h"

#include "raster/view/ViewPainting.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace schauplatz {

namespace {

static_assert(std::numeric_limits<long double>::digits >= 64,
              "workspace sizes are formed with a 64-bit mantissa");

constexpr std::uint32_t kStageBackground = 1; // custom stage parameter: the background into R
constexpr std::uint32_t kStageBorder = 2;     // custom stage parameter: the black border
constexpr TColor32 kFrameBlack = 0xFF000000u;
constexpr TColor32 kFrameWhite = 0xFFFFFFFFu;
// How far the frame's drawing reaches beyond the quad's corners: the handles span three
// pixels to the left and top and two to the right and bottom, the anti-aliased line points one.
constexpr std::int32_t kFrameReach = 4;

// Size times zoom, rounded to the nearest integer, an exact half to the even neighbour.
std::int32_t zoomed(std::int32_t size, float zoom) {
    return static_cast<std::int32_t>(
        std::nearbyintl(static_cast<long double>(size) * static_cast<long double>(zoom)));
}

// Coordinates up to this size are drawn as they are; beyond it a side is cut to the target
// first (16.16 fixed point would wrap), the dash pattern carried on over the cut-off parts.
constexpr long double kDirectLimit = 16384.0L;

// The frame's corners on its target: the ends of the lines and the handles' centres, the
// screen pixels with the corner pixels' centres. One to one they are the vertices themselves.
struct FramePoints {
    std::array<long double, 4> x{};
    std::array<long double, 4> y{};
    std::array<std::int64_t, 4> hx{};
    std::array<std::int64_t, 4> hy{};
};

FramePoints framePoints(const std::array<QuadPoint, 4>& quad, const TOverlayMapping& m) {
    FramePoints p;
    for (std::size_t i = 0; i < 4; ++i) {
        p.hx[i] = m.ScreenX(quad[i].X);
        p.hy[i] = m.ScreenY(quad[i].Y);
        p.x[i] = static_cast<long double>(p.hx[i]);
        p.y[i] = static_cast<long double>(p.hy[i]);
    }
    return p;
}

std::int32_t saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The part [t0, t1] of the segment from (x1, y1) to (x2, y2) inside the box (Liang-Barsky);
// false when none is.
bool clipSegment(long double x1, long double y1, long double x2, long double y2, long double left,
                 long double top, long double right, long double bottom, long double& t0,
                 long double& t1) {
    t0 = 0.0L;
    t1 = 1.0L;
    const long double dx = x2 - x1, dy = y2 - y1;
    const long double p[4] = {-dx, dx, -dy, dy};
    const long double q[4] = {x1 - left, right - x1, y1 - top, bottom - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0L) {
            if (q[i] < 0.0L) return false;
            continue;
        }
        const long double r = q[i] / p[i];
        if (p[i] < 0.0L)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        if (t0 > t1) return false;
    }
    return true;
}

// The frame's pixels lie along the quad's sides and around its corners. Each side is cut
// into pieces whose boxes, widened by the frame's reach, stay thin at any angle (a piece
// spans at most kSpread pixels across its longer direction); the whole quad's box would make
// every repaint of the frame as large as the element. Only what lies near Clip counts.
void appendFrameAreas(const FramePoints& p, const TRect& clip, std::vector<TRect>& areas) {
    constexpr long double kSpread = 16.0L;
    const auto box = [&areas](long double x1, long double y1, long double x2, long double y2) {
        const auto edge = [](long double v, std::int32_t reach) {
            return static_cast<std::int32_t>(std::clamp(
                v + reach, static_cast<long double>(std::numeric_limits<std::int32_t>::min()),
                static_cast<long double>(std::numeric_limits<std::int32_t>::max())));
        };
        areas.push_back(TRect{edge(std::floor(std::min(x1, x2)), -kFrameReach),
                              edge(std::floor(std::min(y1, y2)), -kFrameReach),
                              edge(std::ceil(std::max(x1, x2)), kFrameReach + 1),
                              edge(std::ceil(std::max(y1, y2)), kFrameReach + 1)});
    };
    const long double reach = kFrameReach + 1;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t a = (i + 3) % 4, b = i;
        long double t0 = 0.0L, t1 = 1.0L;
        if (!clipSegment(p.x[a], p.y[a], p.x[b], p.y[b], clip.Left - reach, clip.Top - reach,
                         clip.Right + reach, clip.Bottom + reach, t0, t1))
            continue;
        const long double ax = p.x[a] + (p.x[b] - p.x[a]) * t0;
        const long double ay = p.y[a] + (p.y[b] - p.y[a]) * t0;
        const long double dx = (p.x[b] - p.x[a]) * (t1 - t0);
        const long double dy = (p.y[b] - p.y[a]) * (t1 - t0);
        const long double across = std::min(std::fabs(dx), std::fabs(dy));
        const int pieces = static_cast<int>(std::clamp(std::ceil(across / kSpread), 1.0L, 4096.0L));
        for (int k = 0; k < pieces; ++k) {
            const long double s1 = static_cast<long double>(k) / pieces;
            const long double s2 = static_cast<long double>(k + 1) / pieces;
            box(ax + dx * s1, ay + dy * s1, ax + dx * s2, ay + dy * s2);
        }
    }
}

// One side of the frame. Far-out ends are cut to the target first; the dash pattern moves on
// by the lengths cut off, so the dashes still run on round the quad.
void drawSide(TBitmap32& buffer, long double x1, long double y1, long double x2, long double y2) {
    const auto near = [](long double v) { return std::fabs(v) < kDirectLimit; };
    if (near(x1) && near(y1) && near(x2) && near(y2)) {
        buffer.StippledLine(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
                            static_cast<float>(y2));
        return;
    }
    const long double period = static_cast<long double>(buffer.StipplePattern().size()) /
                               std::max(buffer.StippleStep(), 1e-3f);
    const auto advance = [&](long double length) {
        buffer.AdvanceStipple(static_cast<float>(std::fmod(length, period)));
    };
    const long double length = std::hypot(x2 - x1, y2 - y1);
    const TRect clip = buffer.ClipRect();
    long double t0 = 0.0L, t1 = 1.0L;
    if (!clipSegment(x1, y1, x2, y2, clip.Left - 2.0L, clip.Top - 2.0L, clip.Right + 2.0L,
                     clip.Bottom + 2.0L, t0, t1)) {
        advance(length);
        return;
    }
    advance(length * t0);
    buffer.StippledLine(
        static_cast<float>(x1 + (x2 - x1) * t0), static_cast<float>(y1 + (y2 - y1) * t0),
        static_cast<float>(x1 + (x2 - x1) * t1), static_cast<float>(y1 + (y2 - y1) * t1));
    advance(length * (1.0L - t1));
}

// A 6 x 6 handle round (X, Y): a black outline round a white inside, or, for the selected
// corner, white round black.
void drawHandle(TBitmap32& buffer, std::int64_t X, std::int64_t Y, bool selected) {
    const TColor32 inside = selected ? kFrameBlack : kFrameWhite;
    const TColor32 outline = selected ? kFrameWhite : kFrameBlack;
    buffer.FillRectClipped(saturate(X - 2), saturate(Y - 2), saturate(X + 2), saturate(Y + 2),
                           inside);
    buffer.FrameRectClipped(saturate(X - 3), saturate(Y - 3), saturate(X + 3), saturate(Y + 3),
                            outline);
}

// The picture rectangle R on the overlay's target.
TRect mappedPicture(std::int32_t WZ, std::int32_t HZ, const TOverlayMapping& m) {
    return TRect{saturate(m.OriginX), saturate(m.OriginY),
                 saturate(m.OriginX + ScaledExtent(WZ, m.Scale)),
                 saturate(m.OriginY + ScaledExtent(HZ, m.Scale))};
}

// The four one-pixel sides of the picture's border, where they come near the clip.
void appendBorderAreas(const TRect& R, const TRect& clip, std::vector<TRect>& areas) {
    const TRect near{clip.Left - 1, clip.Top - 1, clip.Right + 1, clip.Bottom + 1};
    for (const TRect& side :
         {TRect{R.Left, R.Top, R.Right, R.Top + 1}, TRect{R.Left, R.Bottom - 1, R.Right, R.Bottom},
          TRect{R.Left, R.Top, R.Left + 1, R.Bottom},
          TRect{R.Right - 1, R.Top, R.Right, R.Bottom}}) {
        const TRect visible = IntersectRect(side, near);
        if (!IsRectEmpty(visible)) areas.push_back(visible);
    }
}

// Names the background a view painted: the background's change counter and the zoom's bits.
std::uint64_t backgroundKey(std::uint64_t generation, float zoom) {
    std::uint32_t zoomBits = 0;
    static_assert(sizeof zoomBits == sizeof zoom);
    std::memcpy(&zoomBits, &zoom, sizeof zoomBits);
    return (generation << 32) ^ zoomBits;
}

} // namespace

void TForm_Schauplatz::SizeWorkspace() {
    const TBitmap32& background = ImageHintergrund.Bitmap();
    TBitmap32& workspace = WorkingPlaceImage.Bitmap();
    workspace.SetWidth(zoomed(background.Width(), Zoom));
    workspace.SetHeight(zoomed(background.Height(), Zoom));
    ++m_placement.workspaceGeneration;
    WorkspaceScreen.SetPictureSize(workspace.Width(), workspace.Height());
    m_host.workspaceSizeChanged(workspace.Width(), workspace.Height());
}

void TForm_Schauplatz::RefreshWorkspace() {
    SizeWorkspace();
    WorkingPlaceImage.Invalidate();
    RenderElement();
}

void TForm_Schauplatz::kleinerClick() {
    Zoom = Zoom / 2;
    RefreshWorkspace();
}

void TForm_Schauplatz::groesserClick() {
    Zoom = Zoom * 2;
    RefreshWorkspace();
}

void TForm_Schauplatz::ResetzoomClick() {
    Zoom = 1.0f;
    RefreshWorkspace();
}

// Stage 0 paints the background instead of clearing around the picture, stage 5 frames it;
// the frame layer draws the element's outline in between. Mouse events go to the quad editing.
void TForm_Schauplatz::SetUpWorkspaceStages() {
    TPaintStages& stages = WorkingPlaceImage.PaintStages();
    stages[0].Stage = kStageCustom;
    stages[0].Parameter = kStageBackground;
    TPaintStage& border = stages.Add();
    border.Stage = kStageCustom;
    border.Parameter = kStageBorder;

    WorkingPlaceImage.OnPaintStage = [this](TCustomImage32* Sender, TBitmap32& Buffer,
                                            unsigned StageNum) {
        WorkingPlaceImagePaintStage(Sender, Buffer, StageNum);
    };
    TCustomLayer& frame = WorkingPlaceImage.Layers().Add<TCustomLayer>();
    frame.SetMouseEvents(false);
    frame.OnPaint = [this](TCustomLayer& Sender, TBitmap32& Buffer) {
        PaintFrameLayer(Sender, Buffer);
    };
    m_placement.frameLayer = &frame;

    WorkingPlaceImage.OnMouseDown = [this](TCustomImage32* Sender, TMouseButton Button,
                                           TShiftState Shift, int X, int Y, TCustomLayer* Layer) {
        RubberLayerMouseDown(Sender, Button, Shift, X, Y, Layer);
    };
    WorkingPlaceImage.OnMouseMove = [this](TCustomImage32* Sender, TShiftState Shift, int X, int Y,
                                           TCustomLayer* Layer) {
        RubberLayerMouseMove(Sender, Shift, X, Y, Layer);
    };
    WorkingPlaceImage.OnMouseUp = [this](TCustomImage32* Sender, TMouseButton Button,
                                         TShiftState Shift, int X, int Y, TCustomLayer* Layer) {
        RubberLayerMouseUp(Sender, Button, Shift, X, Y, Layer);
    };

    // What the view may keep between repaints: the background it painted (named by the
    // background's change counter and the zoom), and where the frame and border draw.
    WorkingPlaceImage.BackgroundKey = [this] {
        return backgroundKey(m_placement.backgroundGeneration, Zoom);
    };
    WorkingPlaceImage.OverlayAreas = [this](const TOverlayMapping& Mapping, const TRect& Clip) {
        TOverlayAreas areas;
        if (!ShowFrame) return areas;
        appendFrameAreas(framePoints(Vertices, Mapping), Clip, areas.Lines);
        if (Item("NeuesElementpositionieren1").checked) {
            const TBitmap32& background = ImageHintergrund.Bitmap();
            appendBorderAreas(mappedPicture(zoomed(background.Width(), Zoom),
                                            zoomed(background.Height(), Zoom), Mapping),
                              Clip, areas.Fixed);
        }
        return areas;
    };
    setUpWorkspaceScreen();
    WorkingPlaceImage.Invalidate();
}

void TForm_Schauplatz::WorkingPlaceImagePaintStage(TCustomImage32* Sender, TBitmap32& Buffer,
                                                   unsigned StageNum) {
    if (dynamic_cast<TImage32*>(Sender) == nullptr) return;
    struct Bracket {
        TCustomImage32& view;
        explicit Bracket(TCustomImage32& v) : view(v) { view.BeginUpdate(); }
        ~Bracket() { view.EndUpdate(); }
        Bracket(const Bracket&) = delete;
        Bracket& operator=(const Bracket&) = delete;
    } bracket(*Sender);

    const TBitmap32& background = ImageHintergrund.Bitmap();
    const TRect R{0, 0, zoomed(background.Width(), Zoom), zoomed(background.Height(), Zoom)};
    const std::uint32_t parameter = Sender->PaintStages()[StageNum].Parameter;
    if (parameter == kStageBackground) {
        // Always in picture pixels: the background is what the screen scales.
        ImageHintergrund.PaintInto(&Buffer, R);
        // Right of and below the picture the view shows its own colour. (An empty picture
        // leaves the whole view as the background control cleared it.)
        if (!IsRectEmpty(R)) {
            const TColor32 color = Sender->Color32();
            FillRectInClip(Buffer, TRect{R.Right, 0, Sender->Width(), R.Bottom}, color);
            FillRectInClip(Buffer, TRect{0, R.Bottom, Sender->Width(), Sender->Height()}, color);
        }
    } else if (parameter == kStageBorder) {
        if (Item("NeuesElementpositionieren1").checked && ShowFrame && !IsRectEmpty(R))
            Buffer.FrameRectClipped(
                mappedPicture(R.Width(), R.Height(), WorkingPlaceImage.OverlayMapping()),
                kFrameBlack);
    }
}

void TForm_Schauplatz::PaintFrameLayer(TCustomLayer&, TBitmap32& Buffer) {
    if (!ShowFrame) return;
    Buffer.SetStipplePattern({kFrameBlack, kFrameBlack, kFrameWhite, kFrameWhite});
    Buffer.SetStippleStep(0.5f);
    Buffer.SetStippleCounter(StippleCounter);
    const TOverlayMapping& mapping = WorkingPlaceImage.OverlayMapping();
    const FramePoints p = framePoints(Vertices, mapping);
    // Round the quad from the last corner, each line without its last point, so the dashes
    // run on from one side into the next.
    drawSide(Buffer, p.x[3], p.y[3], p.x[0], p.y[0]);
    drawSide(Buffer, p.x[0], p.y[0], p.x[1], p.y[1]);
    drawSide(Buffer, p.x[1], p.y[1], p.x[2], p.y[2]);
    drawSide(Buffer, p.x[2], p.y[2], p.x[3], p.y[3]);
    if (!mapping.Handles) return;
    for (std::size_t i = 0; i < 4; ++i)
        drawHandle(Buffer, p.hx[i], p.hy[i], m_view.Selection == static_cast<std::int32_t>(i));
}

} // namespace schauplatz
