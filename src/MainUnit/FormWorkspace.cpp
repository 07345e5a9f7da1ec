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

std::int32_t clampedAdd(std::int32_t v, std::int32_t d) {
    const std::int64_t r = std::int64_t{v} + d;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        r, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The frame's pixels lie along the quad's sides and around its corners. Each side is cut
// into pieces whose boxes, widened by the frame's reach, stay thin at any angle (a piece
// spans at most kSpread pixels across its longer direction); the whole quad's box would make
// every repaint of the frame as large as the element.
void appendFrameAreas(const std::array<QuadPoint, 4>& quad, std::vector<TRect>& areas) {
    constexpr double kSpread = 16.0;
    const auto box = [&areas](double x1, double y1, double x2, double y2) {
        const auto edge = [](double v, std::int32_t reach) {
            return static_cast<std::int32_t>(
                std::clamp(v + reach, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                           static_cast<double>(std::numeric_limits<std::int32_t>::max())));
        };
        areas.push_back(TRect{edge(std::floor(std::min(x1, x2)), -kFrameReach),
                              edge(std::floor(std::min(y1, y2)), -kFrameReach),
                              edge(std::ceil(std::max(x1, x2)), kFrameReach + 1),
                              edge(std::ceil(std::max(y1, y2)), kFrameReach + 1)});
    };
    for (std::size_t i = 0; i < 4; ++i) {
        const QuadPoint& a = quad[(i + 3) % 4];
        const QuadPoint& b = quad[i];
        const double dx = static_cast<double>(b.X) - a.X;
        const double dy = static_cast<double>(b.Y) - a.Y;
        const double across = std::min(std::fabs(dx), std::fabs(dy));
        // Very long sides (far outside the view) are not worth cutting finely.
        const int pieces = static_cast<int>(std::clamp(std::ceil(across / kSpread), 1.0, 4096.0));
        for (int k = 0; k < pieces; ++k) {
            const double t1 = static_cast<double>(k) / pieces;
            const double t2 = static_cast<double>(k + 1) / pieces;
            box(a.X + dx * t1, a.Y + dy * t1, a.X + dx * t2, a.Y + dy * t2);
        }
    }
}

} // namespace

void TForm_Schauplatz::SizeWorkspace() {
    const TBitmap32& background = ImageHintergrund.Bitmap();
    TBitmap32& workspace = WorkingPlaceImage.Bitmap();
    workspace.SetWidth(zoomed(background.Width(), Zoom));
    workspace.SetHeight(zoomed(background.Height(), Zoom));
    ++m_placement.workspaceGeneration;
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
        std::uint32_t zoomBits = 0;
        static_assert(sizeof zoomBits == sizeof Zoom);
        std::memcpy(&zoomBits, &Zoom, sizeof zoomBits);
        return (m_placement.backgroundGeneration << 32) ^ zoomBits;
    };
    WorkingPlaceImage.OverlayAreas = [this] {
        std::vector<TRect> areas;
        if (!ShowFrame) return areas;
        appendFrameAreas(Vertices, areas);
        if (Item("NeuesElementpositionieren1").checked) {
            const TBitmap32& background = ImageHintergrund.Bitmap();
            const std::int32_t WZ = zoomed(background.Width(), Zoom);
            const std::int32_t HZ = zoomed(background.Height(), Zoom);
            areas.push_back(TRect{0, 0, WZ, 1});
            areas.push_back(TRect{0, HZ - 1, WZ, HZ});
            areas.push_back(TRect{0, 0, 1, HZ});
            areas.push_back(TRect{WZ - 1, 0, WZ, HZ});
        }
        return areas;
    };
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
        ImageHintergrund.PaintInto(&Buffer, R);
        // Right of and below the picture the view shows its own colour. (An empty picture
        // leaves the whole view as the background control cleared it.)
        if (!IsRectEmpty(R)) {
            const TColor32 color = Sender->Color32();
            FillRectInClip(Buffer, TRect{R.Right, 0, Sender->Width(), R.Bottom}, color);
            FillRectInClip(Buffer, TRect{0, R.Bottom, Sender->Width(), Sender->Height()}, color);
        }
    } else if (parameter == kStageBorder) {
        if (Item("NeuesElementpositionieren1").checked && ShowFrame)
            Buffer.FrameRectClipped(R, kFrameBlack);
    }
}

void TForm_Schauplatz::PaintFrameLayer(TCustomLayer&, TBitmap32& Buffer) {
    if (!ShowFrame) return;
    Buffer.SetStipplePattern({kFrameBlack, kFrameBlack, kFrameWhite, kFrameWhite});
    Buffer.SetStippleStep(0.5f);
    Buffer.SetStippleCounter(StippleCounter);
    const auto x = [this](int i) {
        return static_cast<float>(Vertices[static_cast<std::size_t>(i)].X);
    };
    const auto y = [this](int i) {
        return static_cast<float>(Vertices[static_cast<std::size_t>(i)].Y);
    };
    // Round the quad from the last corner, each line without its last point, so the dashes
    // run on from one side into the next.
    Buffer.StippledLine(x(3), y(3), x(0), y(0));
    Buffer.StippledLine(x(0), y(0), x(1), y(1));
    Buffer.StippledLine(x(1), y(1), x(2), y(2));
    Buffer.StippledLine(x(2), y(2), x(3), y(3));
    for (const QuadPoint& v : Vertices) {
        Buffer.FillRectClipped(clampedAdd(v.X, -2), clampedAdd(v.Y, -2), clampedAdd(v.X, 2),
                               clampedAdd(v.Y, 2), kFrameWhite);
        Buffer.FrameRectClipped(clampedAdd(v.X, -3), clampedAdd(v.Y, -3), clampedAdd(v.X, 3),
                                clampedAdd(v.Y, 3), kFrameBlack);
    }
}

} // namespace schauplatz
