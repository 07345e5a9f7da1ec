#include "raster/view/Image32.h"

#include "raster/Samplers.h"
#include "raster/view/ViewPainting.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace schauplatz {

namespace {

static_assert(std::numeric_limits<long double>::digits >= 64,
              "placement products are formed with a 64-bit mantissa");

// Nearest integer, an exact half to the even neighbour.
int roundEven(long double v) {
    return static_cast<int>(std::nearbyintl(v));
}

// A size product: the integer times a single, formed at full precision and rounded.
int scaledSize(int size, float factor) {
    return roundEven(static_cast<long double>(size) * static_cast<long double>(factor));
}

float ratio(int a, int b) {
    return static_cast<float>(static_cast<long double>(a) / static_cast<long double>(b));
}

} // namespace

TCustomImage32::TCustomImage32() : m_bitmap(std::make_unique<TBitmap32>()) {
    m_bitmap->OnResize = [this](TNotifiablePersistent*) { bitmapResized(); };
    m_bitmap->OnChange = [this](TNotifiablePersistent*) { bitmapChanged(); };
    m_bitmap->OnAreaChanged = [this](TCustomBitmap32*, const TRect& Area, std::uint32_t) {
        bitmapAreaChanged(Area);
    };
    m_layers.OnChange = [this] { Changed(); };
    m_paintStages.MakeDefault();
}

TCustomImage32::~TCustomImage32() {
    // The picture and the layers outlive this body; they must not call back into the view.
    m_layers.OnChange = nullptr;
    m_bitmap->OnResize = nullptr;
    m_bitmap->OnChange = nullptr;
    m_bitmap->OnAreaChanged = nullptr;
}

// --- placement -------------------------------------------------------------------------------

void TCustomImage32::SetBitmapAlign(TBitmapAlign Value) {
    if (Value == m_bitmapAlign) return;
    m_bitmapAlign = Value;
    InvalidateCache();
    Changed();
}

void TCustomImage32::SetScaleMode(TScaleMode Value) {
    if (Value == m_scaleMode) return;
    m_scaleMode = Value;
    InvalidateCache();
    Changed();
}

void TCustomImage32::SetScale(float Value) {
    Value = std::max(Value, 0.001f);
    if (Value == m_scaleX && Value == m_scaleY) return;
    m_scaleX = Value;
    m_scaleY = Value;
    InvalidateCache();
    Changed();
}

void TCustomImage32::SetOffsetHorz(float Value) {
    if (Value == m_offsetHorz) return;
    m_offsetHorz = Value;
    InvalidateCache();
    if (m_bitmapAlign == baCustom) Changed();
}

void TCustomImage32::SetOffsetVert(float Value) {
    if (Value == m_offsetVert) return;
    m_offsetVert = Value;
    InvalidateCache();
    if (m_bitmapAlign == baCustom) Changed();
}

TViewSize TCustomImage32::GetBitmapSize() const {
    const int VW = Width();
    const int VH = Height();
    const int PW = m_bitmap->Width();
    const int PH = m_bitmap->Height();
    if (m_bitmap->IsEmpty() || VW <= 0 || VH <= 0) return {};

    TScaleMode mode = m_scaleMode;
    if (mode == smOptimal)
        mode = (PW > VW || PH > VH) ? smResize : smNormal;
    else if (mode == smOptimalScaled)
        mode =
            (scaledSize(PW, m_scaleX) > VW || scaledSize(PH, m_scaleY) > VH) ? smResize : smScale;
    TViewSize size;
    switch (mode) {
    case smStretch:
        size = {VW, VH};
        break;
    case smResize: {
        const float RX = ratio(VW, PW);
        const float RY = ratio(VH, PH);
        size = RX >= RY ? TViewSize{scaledSize(PW, RY), VH} : TViewSize{VW, scaledSize(PH, RX)};
        break;
    }
    case smScale:
        size = {scaledSize(PW, m_scaleX), scaledSize(PH, m_scaleY)};
        break;
    default:
        size = {PW, PH};
        break;
    }
    if (size.Width < 1) size.Width = 0;
    if (size.Height < 1) size.Height = 0;
    return size;
}

TRect TCustomImage32::GetBitmapRect() const {
    if (m_bitmap->IsEmpty()) return {};
    const TViewSize size = GetBitmapSize();
    TRect R{0, 0, size.Width, size.Height};
    int dx = 0;
    int dy = 0;
    if (m_bitmapAlign == baCenter) {
        dx = (Width() - size.Width) / 2; // C++ division truncates toward zero
        dy = (Height() - size.Height) / 2;
    } else if (m_bitmapAlign == baCustom) {
        dx = roundEven(m_offsetHorz);
        dy = roundEven(m_offsetVert);
    }
    R.Left += dx;
    R.Right += dx;
    R.Top += dy;
    R.Bottom += dy;
    return R;
}

void TCustomImage32::UpdateCache() {
    if (m_cacheValid) return;
    m_cachedBitmapRect = GetBitmapRect();
    if (m_bitmap->IsEmpty()) {
        m_cachedShiftX = m_cachedShiftY = 0.0f;
        m_cachedScaleX = m_cachedScaleY = 1.0f;
    } else {
        m_cachedShiftX = static_cast<float>(m_cachedBitmapRect.Left);
        m_cachedShiftY = static_cast<float>(m_cachedBitmapRect.Top);
        m_cachedScaleX = ratio(m_cachedBitmapRect.Width(), m_bitmap->Width());
        m_cachedScaleY = ratio(m_cachedBitmapRect.Height(), m_bitmap->Height());
    }
    m_cachedRecScaleX = m_cachedScaleX == 0.0f ? 0.0f : 1.0f / m_cachedScaleX;
    m_cachedRecScaleY = m_cachedScaleY == 0.0f ? 0.0f : 1.0f / m_cachedScaleY;
    m_cacheValid = true;
}

TRect TCustomImage32::CachedBitmapRect() {
    UpdateCache();
    return m_cachedBitmapRect;
}

TPoint TCustomImage32::BitmapToControl(const TPoint& P) {
    UpdateCache();
    const long double x =
        static_cast<long double>(P.X) * m_cachedScaleX + static_cast<long double>(m_cachedShiftX);
    const long double y =
        static_cast<long double>(P.Y) * m_cachedScaleY + static_cast<long double>(m_cachedShiftY);
    return TPoint{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
}

TPoint TCustomImage32::ControlToBitmap(const TPoint& P) {
    UpdateCache();
    // Floor, so that positions left of or above the picture map to negative pixels.
    const long double x = (static_cast<long double>(P.X) - m_cachedShiftX) * m_cachedRecScaleX;
    const long double y = (static_cast<long double>(P.Y) - m_cachedShiftY) * m_cachedRecScaleY;
    return TPoint{static_cast<std::int32_t>(std::floor(x)),
                  static_cast<std::int32_t>(std::floor(y))};
}

// --- notification ----------------------------------------------------------------------------

void TCustomImage32::EndUpdate() {
    if (m_updateCount <= 0) throw EAssertionFailed("Unpaired EndUpdate call");
    --m_updateCount;
}

void TCustomImage32::Changed() {
    if (m_updateCount != 0) return;
    Invalidate();
    if (OnChange) OnChange(this);
}

void TCustomImage32::Invalidate() {
    InvalidateCache();
    TCustomPaintBox32::Invalidate();
}

void TCustomImage32::Resize(int NewWidth, int NewHeight) {
    InvalidateCache();
    TCustomPaintBox32::Resize(NewWidth, NewHeight);
    Invalidate();
}

void TCustomImage32::bitmapResized() {
    InvalidateCache();
    if (m_updateCount == 0 && OnBitmapResize) OnBitmapResize(this);
    ForceFullInvalidate();
}

void TCustomImage32::bitmapChanged() {
    // In the partial modes the picture reports areas instead (bitmapAreaChanged).
    if (RepaintMode() == rmFull) Changed();
}

void TCustomImage32::bitmapAreaChanged(const TRect& Area) {
    const TRepaintMode mode = RepaintMode();
    if (mode == rmFull) return;
    if (mode == rmOptimizer || m_bitmapAlign == baTile) {
        // Repaints are whole-buffer repaints; the area need not be kept.
        Changed();
        return;
    }
    // rmDirect: the area in client pixels, widened by the resampler's reach and one pixel.
    UpdateCache();
    const TCustomResampler* resampler = m_bitmap->Resampler();
    const int reach = (resampler ? static_cast<int>(std::ceil(resampler->KernelWidth())) : 0) + 1;
    const auto toX = [this](long double x) { return x * m_cachedScaleX + m_cachedShiftX; };
    const auto toY = [this](long double y) { return y * m_cachedScaleY + m_cachedShiftY; };
    TRect R{static_cast<std::int32_t>(std::floor(toX(Area.Left))) - reach,
            static_cast<std::int32_t>(std::floor(toY(Area.Top))) - reach,
            static_cast<std::int32_t>(std::ceil(toX(Area.Right))) + reach,
            static_cast<std::int32_t>(std::ceil(toY(Area.Bottom))) + reach};
    R = IntersectRect(R, ClientRect());
    AddInvalidRect(R);
    if (m_updateCount == 0) {
        RequestRepaintNow();
        if (OnChange) OnChange(this);
    }
}

// --- painting --------------------------------------------------------------------------------

void TCustomImage32::DoPaintBuffer() {
    UpdateCache();
    std::vector<unsigned> stages;
    for (std::size_t i = 0; i < m_paintStages.Count(); ++i) {
        const TPaintStage& stage = m_paintStages[i];
        if (stage.RunTime && stage.Stage >= kStageCustom && stage.Stage <= kStageBitmapFrame)
            stages.push_back(static_cast<unsigned>(i));
    }
    TBitmap32& buffer = Buffer();
    TLockBracket lockPicture(*m_bitmap);
    {
        TUpdateBracket bracket(buffer);
        const std::vector<TRect> rects = ForceFullRepaint() ? std::vector<TRect>{} : InvalidRects();
        if (!rects.empty()) {
            for (const TRect& R : rects) {
                buffer.SetClipRect(R);
                for (unsigned index : stages)
                    ExecStage(buffer, index);
            }
        } else {
            buffer.SetClipRect(ClientRect());
            for (unsigned index : stages)
                ExecStage(buffer, index);
        }
    }
    buffer.SetClipRect(ClientRect());
}

void TCustomImage32::DoPaintGDIOverlay() {
    if (OnGDIOverlay) OnGDIOverlay(this);
}

void TCustomImage32::PaintInto(TBitmap32* Dest, const TRect& DestRect) {
    if (Dest == nullptr) return;
    const TRepaintMode remembered = RepaintMode();
    SetRepaintMode(rmFull);

    m_cachedBitmapRect = DestRect;
    if (DestRect.Width() < 1 || DestRect.Height() < 1 || m_bitmap->IsEmpty()) {
        m_cachedScaleX = m_cachedScaleY = 1.0f;
        m_cachedShiftX = m_cachedShiftY = 0.0f;
    } else {
        m_cachedScaleX = ratio(DestRect.Width(), m_bitmap->Width());
        m_cachedScaleY = ratio(DestRect.Height(), m_bitmap->Height());
        m_cachedShiftX = static_cast<float>(DestRect.Left);
        m_cachedShiftY = static_cast<float>(DestRect.Top);
    }
    m_cachedRecScaleX = m_cachedScaleX == 0.0f ? 0.0f : 1.0f / m_cachedScaleX;
    m_cachedRecScaleY = m_cachedScaleY == 0.0f ? 0.0f : 1.0f / m_cachedScaleY;
    m_cacheValid = true;
    m_paintingInto = true;

    struct Restore {
        TCustomImage32& view;
        TRepaintMode mode;
        ~Restore() {
            view.m_paintingInto = false;
            view.m_cacheValid = false;
            view.SetRepaintMode(mode);
        }
    } restore{*this, remembered};

    TLockBracket lockPicture(*m_bitmap);
    for (std::size_t i = 0; i < m_paintStages.Count(); ++i)
        if (m_paintStages[i].RunTime) ExecStage(*Dest, static_cast<unsigned>(i));
}

void TCustomImage32::ExecStage(TBitmap32& Dest, unsigned StageNum) {
    const TPaintStage stage = m_paintStages[StageNum];
    switch (stage.Stage) {
    case kStageCustom:
        ExecCustom(Dest, StageNum);
        break;
    case kStageClearBuffer:
        ExecClearBuffer(Dest);
        break;
    case kStageClearBackground:
        ExecClearBackground(Dest);
        break;
    case kStageDrawBitmap:
        ExecDrawBitmap(Dest);
        break;
    case kStageDrawLayers:
        ExecDrawLayers(Dest, stage.Parameter);
        break;
    case kStageControlFrame:
        ExecControlFrame(Dest);
        break;
    case kStageBitmapFrame:
        ExecBitmapFrame(Dest);
        break;
    default:
        break;
    }
}

void TCustomImage32::ExecClearBuffer(TBitmap32& Dest) {
    Dest.Clear(Color32());
}

void TCustomImage32::ExecClearBackground(TBitmap32& Dest) {
    const TColor32 color = Color32();
    if (!InvalidRects().empty() && !ForceFullRepaint() && !m_paintingInto) {
        for (const TRect& R : InvalidRects())
            FillRectInClip(Dest, R, color);
        return;
    }
    if (m_bitmap->IsEmpty() || m_bitmap->DrawMode() != dmOpaque) {
        Dest.Clear(color);
        return;
    }
    // The control's own size, also when painting into a foreign bitmap.
    const int W = Width();
    const int H = Height();
    const TRect& R = m_cachedBitmapRect;
    if (R.Left <= 0 && R.Top <= 0 && R.Right >= W && R.Bottom >= H) return;
    FillRectInClip(Dest, TRect{0, 0, W, R.Top}, color);
    FillRectInClip(Dest, TRect{0, R.Bottom, W, H}, color);
    FillRectInClip(Dest, TRect{0, R.Top, R.Left, R.Bottom}, color);
    FillRectInClip(Dest, TRect{R.Right, R.Top, W, R.Bottom}, color);
}

void TCustomImage32::ExecDrawBitmap(TBitmap32& Dest) {
    const TRect& R = m_cachedBitmapRect;
    if (m_bitmap->IsEmpty() || IsRectEmpty(R)) return;
    if (m_bitmapAlign != baTile) {
        m_bitmap->DrawOnto(&Dest, R);
        return;
    }
    // Tiles from the destination's top left corner, only those that meet the clip rectangle.
    const int tw = R.Width();
    const int th = R.Height();
    const TRect clip = Dest.ClipRect();
    for (int y = (clip.Top / th) * th; y < clip.Bottom; y += th)
        for (int x = (clip.Left / tw) * tw; x < clip.Right; x += tw)
            m_bitmap->DrawOnto(&Dest, TRect{x, y, x + tw, y + th});
}

void TCustomImage32::ExecDrawLayers(TBitmap32& Dest, std::uint32_t Parameter) {
    // By index: a paint handler may add or remove layers.
    for (std::size_t i = 0; i < m_layers.Count(); ++i) {
        TCustomLayer& layer = m_layers.Items(i);
        if ((layer.LayerOptions() & Parameter) != 0) layer.Paint(Dest);
    }
}

void TCustomImage32::ExecControlFrame(TBitmap32& Dest) {
    DrawDottedFrame(Dest, ClientRect());
}

void TCustomImage32::ExecBitmapFrame(TBitmap32& Dest) {
    DrawDottedFrame(Dest, m_cachedBitmapRect);
}

void TCustomImage32::ExecCustom(TBitmap32& Dest, unsigned StageNum) {
    if (OnPaintStage) OnPaintStage(this, Dest, StageNum);
}

// --- mouse -----------------------------------------------------------------------------------

TCustomLayer* TCustomImage32::layerForMouse(int X, int Y) const {
    if (!m_layers.MouseEvents()) return nullptr;
    if (TCustomLayer* listener = m_layers.MouseListener()) return listener;
    return m_layers.FindLayerAtPos(X, Y, kLayerMouseEvents);
}

void TCustomImage32::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TakeFocus();
    TCustomLayer* layer = layerForMouse(X, Y);
    if (layer) {
        m_layers.SetMouseListener(layer);
        layer->MouseDown(Button, Shift, X, Y);
    }
    if (Button == mbLeft || m_layers.MouseListener() != nullptr) SetMouseCapture(true);
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y, layer);
}

void TCustomImage32::MouseMove(TShiftState Shift, int X, int Y) {
    TCustomLayer* layer = layerForMouse(X, Y);
    if (layer) layer->MouseMove(Shift, X, Y);
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y, layer);
}

void TCustomImage32::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TCustomLayer* layer = layerForMouse(X, Y);
    const bool listening = m_layers.MouseListener() != nullptr;
    if (layer) layer->MouseUp(Button, Shift, X, Y);
    if (Button == mbLeft || listening) SetMouseCapture(false);
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y, layer);
}

void TCustomImage32::DblClick(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button != mbLeft) {
        MouseDown(Button, Shift | ssDouble, X, Y);
        return;
    }
    // The double click takes the place of the second press: let go of any listener, report a
    // left release at the origin, then the double click, then the press itself.
    m_layers.SetMouseListener(nullptr);
    // Reported as any release is: the modifier keys, without the released button.
    MouseUp(mbLeft, Shift & ~(ssLeft | ssDouble), 0, 0);
    if (OnDblClick) OnDblClick(this);
    MouseDown(Button, Shift | ssDouble, X, Y);
}

} // namespace schauplatz
