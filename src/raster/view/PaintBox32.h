// A custom-drawn control with an off-screen buffer, free of any platform.
//
// The view owns its buffer and paints into it; a host (a widget of the platform layer, or a test)
// forwards resizes, paint requests and mouse events as plain calls, and copies the buffer to the
// screen. The view asks its host for repaints, mouse capture and focus through THostHooks.
#pragma once

#include "raster/Bitmap32.h"
#include "raster/Rect.h"
#include "raster/view/ViewTypes.h"

#include <functional>
#include <memory>
#include <vector>

namespace schauplatz {

// What the view asks of the platform. Unset hooks are simply not called.
struct THostHooks {
    std::function<void()> Invalidate;          // schedule a repaint of the whole control
    std::function<void()> RepaintNow;          // paint at once (rmDirect)
    std::function<void(bool)> SetMouseCapture; // true: keep the mouse while a button is down
    std::function<bool()> TakeFocus;           // returns whether the control got the focus
};

class TCustomPaintBox32 {
public:
    // Hands the freshly painted buffer and the rectangles that changed (empty: all of it) to
    // the screen.
    using TPresentProc =
        std::function<void(const TBitmap32& Buffer, const std::vector<TRect>& InvalidRects)>;

    TCustomPaintBox32();
    virtual ~TCustomPaintBox32();
    TCustomPaintBox32(const TCustomPaintBox32&) = delete;
    TCustomPaintBox32& operator=(const TCustomPaintBox32&) = delete;

    // --- size and buffer ---
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    TRect ClientRect() const { return TRect{0, 0, m_width, m_height}; }
    // The client area got a new size (also the first time: the buffer gets its size here).
    virtual void Resize(int NewWidth, int NewHeight);
    TBitmap32& Buffer() { return *m_buffer; }
    const TBitmap32& Buffer() const { return *m_buffer; }
    int BufferOversize() const { return m_bufferOversize; }
    void SetBufferOversize(int Value) { m_bufferOversize = Value; }
    bool BufferValid() const { return m_bufferValid; }
    bool ForceFullRepaint() const { return m_forceFullRepaint; }
    const std::vector<TRect>& InvalidRects() const { return m_invalidRects; }

    // --- appearance ---
    TControlColor Color() const { return m_color; }
    void SetColor(TControlColor Value);
    // The control colour as an opaque TColor32, the colour the clearing stages paint with.
    TColor32 Color32() const { return ControlColorToColor32(m_color); }
    virtual TRepaintMode RepaintMode() const { return m_repaintMode; }
    virtual void SetRepaintMode(TRepaintMode Value);
    bool TabStop() const { return m_tabStop; }
    void SetTabStop(bool Value) { m_tabStop = Value; }

    // --- painting ---
    // Marks the buffer invalid and asks the host to repaint the whole control.
    virtual void Invalidate();
    // The same, dropping any collected rectangles.
    void ForceFullInvalidate();
    // The paint cycle: repaint the buffer if needed, present it, then forget the rectangles.
    void Paint(const TPresentProc& Present = {});

    // --- mouse, in client pixels ---
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    // A double click takes the place of the second press.
    virtual void DblClick(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseEnter();
    virtual void MouseLeave();
    bool MouseCaptured() const { return m_mouseCaptured; }

    void SetHostHooks(THostHooks Hooks) { m_host = std::move(Hooks); }
    const THostHooks& HostHooks() const { return m_host; }
    // Expires when the view is destroyed, so a host that may outlive it can tell.
    std::weak_ptr<const void> Lifetime() const { return m_lifetime; }

    std::function<void(TCustomPaintBox32* Sender)> OnDblClick;
    std::function<void(TCustomPaintBox32* Sender)> OnMouseEnter;
    std::function<void(TCustomPaintBox32* Sender)> OnMouseLeave;
    std::function<void(TCustomPaintBox32* Sender)> OnResize;

protected:
    // Paints the whole buffer (or the invalid rectangles); the buffer is locked meanwhile.
    virtual void DoPaintBuffer();
    // Platform overlay after presenting; nothing here.
    virtual void DoPaintGDIOverlay() {}
    virtual void ResizeBuffer();
    void AddInvalidRect(const TRect& R);
    void MarkBufferValid() { m_bufferValid = true; }
    void MarkBufferInvalid() { m_bufferValid = false; }
    void TakeFocus();
    void SetMouseCapture(bool Value);
    void RequestRepaintNow();

private:
    std::unique_ptr<TBitmap32> m_buffer;
    int m_bufferOversize = 40;
    bool m_bufferValid = false;
    bool m_forceFullRepaint = true;
    std::vector<TRect> m_invalidRects;
    TRepaintMode m_repaintMode = rmFull;
    int m_width = 192;
    int m_height = 192;
    TControlColor m_color = kSysBtnFace;
    bool m_tabStop = false;
    bool m_mouseCaptured = false;
    THostHooks m_host;
    std::shared_ptr<const int> m_lifetime = std::make_shared<const int>(0);
};

} // namespace schauplatz
