// The layered bitmap view: a picture placed and scaled in the client area, painted through an
// ordered list of paint stages, with layers over it and mouse events in client pixels.
//
// The view owns its picture (Bitmap), its paint stages and its layers. It knows nothing of the
// platform: see TCustomPaintBox32 for how a host drives it.
#pragma once

#include "raster/view/Layers.h"
#include "raster/view/PaintBox32.h"
#include "raster/view/PaintStages.h"

#include <functional>
#include <memory>

namespace schauplatz {

class TCustomImage32;

using TPaintStageEvent =
    std::function<void(TCustomImage32* Sender, TBitmap32& Buffer, unsigned StageNum)>;
using TImgMouseEvent = std::function<void(TCustomImage32* Sender, TMouseButton Button,
                                          TShiftState Shift, int X, int Y, TCustomLayer* Layer)>;
using TImgMouseMoveEvent = std::function<void(TCustomImage32* Sender, TShiftState Shift, int X,
                                              int Y, TCustomLayer* Layer)>;
using TImgNotifyEvent = std::function<void(TCustomImage32* Sender)>;

struct TViewSize {
    int Width = 0;
    int Height = 0;
    friend constexpr bool operator==(const TViewSize&, const TViewSize&) = default;
};

class TCustomImage32 : public TCustomPaintBox32 {
public:
    TCustomImage32();
    ~TCustomImage32() override;

    // --- the picture and its placement ---
    TBitmap32& Bitmap() { return *m_bitmap; }
    const TBitmap32& Bitmap() const { return *m_bitmap; }
    TBitmapAlign BitmapAlign() const { return m_bitmapAlign; }
    void SetBitmapAlign(TBitmapAlign Value);
    TScaleMode ScaleMode() const { return m_scaleMode; }
    void SetScaleMode(TScaleMode Value);
    float Scale() const { return m_scaleX; }
    void SetScale(float Value); // both axes; values below 0.001 become 0.001
    float ScaleX() const { return m_scaleX; }
    float ScaleY() const { return m_scaleY; }
    float OffsetHorz() const { return m_offsetHorz; }
    void SetOffsetHorz(float Value);
    float OffsetVert() const { return m_offsetVert; }
    void SetOffsetVert(float Value);

    // Size of the picture in the client area, by ScaleMode.
    TViewSize GetBitmapSize() const;
    // Rectangle in client pixels that the picture occupies, by BitmapAlign.
    TRect GetBitmapRect() const;
    // Client position of picture pixel (X, Y) and back, through the cache.
    TPoint BitmapToControl(const TPoint& P);
    TPoint ControlToBitmap(const TPoint& P);
    // The cached placement (brought up to date first).
    TRect CachedBitmapRect();

    TPaintStages& PaintStages() { return m_paintStages; }
    const TPaintStages& PaintStages() const { return m_paintStages; }
    TLayerCollection& Layers() { return m_layers; }
    const TLayerCollection& Layers() const { return m_layers; }

    // --- update batching and change notification ---
    void BeginUpdate() { ++m_updateCount; }
    void EndUpdate(); // fails "Unpaired EndUpdate call" when no bracket is open
    int UpdateCount() const { return m_updateCount; }
    // Invalidation and OnChange when no bracket is open.
    virtual void Changed();
    void Invalidate() override;
    void Resize(int NewWidth, int NewHeight) override;

    // Paints the run-time stages into Dest with the picture placed in DestRect.
    void PaintInto(TBitmap32* Dest, const TRect& DestRect);
    bool PaintingInto() const { return m_paintingInto; }

    // --- mouse, in client pixels ---
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void DblClick(TMouseButton Button, TShiftState Shift, int X, int Y) override;

    TPaintStageEvent OnPaintStage;
    TImgMouseEvent OnMouseDown;
    TImgMouseMoveEvent OnMouseMove;
    TImgMouseEvent OnMouseUp;
    TImgNotifyEvent OnChange;
    TImgNotifyEvent OnBitmapResize;
    TImgNotifyEvent OnInitStages;
    TImgNotifyEvent OnGDIOverlay;

protected:
    void DoPaintBuffer() override;
    void DoPaintGDIOverlay() override;
    // Runs one stage against Dest; StageNum is its index in the full list.
    virtual void ExecStage(TBitmap32& Dest, unsigned StageNum);
    virtual void ExecClearBuffer(TBitmap32& Dest);
    virtual void ExecClearBackground(TBitmap32& Dest);
    virtual void ExecDrawBitmap(TBitmap32& Dest);
    virtual void ExecDrawLayers(TBitmap32& Dest, std::uint32_t Parameter);
    virtual void ExecControlFrame(TBitmap32& Dest);
    virtual void ExecBitmapFrame(TBitmap32& Dest);
    virtual void ExecCustom(TBitmap32& Dest, unsigned StageNum);

    void UpdateCache();
    void InvalidateCache() { m_cacheValid = false; }
    bool CacheValid() const { return m_cacheValid; }

private:
    TCustomLayer* layerForMouse(int X, int Y) const;
    void bitmapChanged();
    void bitmapResized();
    void bitmapAreaChanged(const TRect& Area);

    std::unique_ptr<TBitmap32> m_bitmap;
    TLayerCollection m_layers;
    TPaintStages m_paintStages;
    TBitmapAlign m_bitmapAlign = baTopLeft;
    TScaleMode m_scaleMode = smNormal;
    float m_scaleX = 1.0f;
    float m_scaleY = 1.0f;
    float m_offsetHorz = 0.0f;
    float m_offsetVert = 0.0f;
    int m_updateCount = 0;
    bool m_paintingInto = false;

    // The cache: placement of the picture as the last paint or mapping saw it.
    bool m_cacheValid = false;
    TRect m_cachedBitmapRect;
    float m_cachedShiftX = 0.0f;
    float m_cachedShiftY = 0.0f;
    float m_cachedScaleX = 1.0f;
    float m_cachedScaleY = 1.0f;
    float m_cachedRecScaleX = 1.0f;
    float m_cachedRecScaleY = 1.0f;
};

// The view with every property published; the class the forms use.
class TImage32 : public TCustomImage32 {
public:
    TImage32() = default;
};

} // namespace schauplatz
