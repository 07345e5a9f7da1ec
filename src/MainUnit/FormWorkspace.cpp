// The workspace view: its size, the zoom, its paint stages and the marching frame.

#include "MainUnit/MainUnit.h"

#include "raster/view/ViewPainting.h"

#include <algorithm>
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
        std::int32_t left = Vertices[0].X, right = left, top = Vertices[0].Y, bottom = top;
        for (const QuadPoint& v : Vertices) {
            left = std::min(left, v.X);
            right = std::max(right, v.X);
            top = std::min(top, v.Y);
            bottom = std::max(bottom, v.Y);
        }
        areas.push_back(TRect{clampedAdd(left, -kFrameReach), clampedAdd(top, -kFrameReach),
                              clampedAdd(right, kFrameReach), clampedAdd(bottom, kFrameReach)});
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
