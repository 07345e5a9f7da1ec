#include "raster/view/PaintBox32.h"

#include <algorithm>

namespace schauplatz {

namespace {

// Buffer size along one axis for client size V and buffer size B: grow with room to spare,
// keep the buffer while the client shrinks by at most `oversize`, else fit it exactly.
int bufferAxis(int V, int B, int oversize) {
    int size = B;
    if (V > B)
        size = V + oversize;
    else if (V < B - oversize)
        size = V;
    return std::max(size, 1);
}

} // namespace

TCustomPaintBox32::TCustomPaintBox32() : m_buffer(std::make_unique<TBitmap32>()) {}

TCustomPaintBox32::~TCustomPaintBox32() = default;

void TCustomPaintBox32::Resize(int NewWidth, int NewHeight) {
    m_width = std::max(NewWidth, 0);
    m_height = std::max(NewHeight, 0);
    ResizeBuffer();
    if (OnResize) OnResize(this);
}

void TCustomPaintBox32::ResizeBuffer() {
    const int newWidth = bufferAxis(m_width, m_buffer->Width(), m_bufferOversize);
    const int newHeight = bufferAxis(m_height, m_buffer->Height(), m_bufferOversize);
    if (newWidth == m_buffer->Width() && newHeight == m_buffer->Height()) return;
    {
        TLockBracket lock(*m_buffer);
        m_buffer->SetSize(newWidth, newHeight);
    }
    ForceFullInvalidate();
}

void TCustomPaintBox32::SetColor(TControlColor Value) {
    if (Value == m_color) return;
    m_color = Value;
    Invalidate();
}

void TCustomPaintBox32::SetRepaintMode(TRepaintMode Value) {
    if (Value == m_repaintMode) return;
    m_repaintMode = Value;
    Invalidate();
}

void TCustomPaintBox32::Invalidate() {
    // Every invalidation repaints the whole buffer; collected rectangles are dropped.
    m_forceFullRepaint = true;
    m_invalidRects.clear();
    m_bufferValid = false;
    if (m_host.Invalidate) m_host.Invalidate();
}

void TCustomPaintBox32::ForceFullInvalidate() {
    Invalidate();
}

void TCustomPaintBox32::AddInvalidRect(const TRect& R) {
    if (m_forceFullRepaint) return; // a full repaint is pending anyway
    if (!IsRectEmpty(R)) m_invalidRects.push_back(R);
    m_bufferValid = false;
}

void TCustomPaintBox32::Paint(const TPresentProc& Present) {
    if (!m_bufferValid) {
        TLockBracket lock(*m_buffer);
        DoPaintBuffer();
        m_bufferValid = true;
    }
    if (Present) Present(*m_buffer, m_invalidRects);
    DoPaintGDIOverlay();
    m_invalidRects.clear();
    m_forceFullRepaint = false;
}

void TCustomPaintBox32::DoPaintBuffer() {}

void TCustomPaintBox32::RequestRepaintNow() {
    if (m_host.RepaintNow)
        m_host.RepaintNow();
    else if (m_host.Invalidate)
        m_host.Invalidate();
}

void TCustomPaintBox32::TakeFocus() {
    if (m_tabStop && m_host.TakeFocus) m_host.TakeFocus();
}

void TCustomPaintBox32::SetMouseCapture(bool Value) {
    m_mouseCaptured = Value;
    if (m_host.SetMouseCapture) m_host.SetMouseCapture(Value);
}

void TCustomPaintBox32::MouseDown(TMouseButton Button, TShiftState, int, int) {
    TakeFocus();
    if (Button == mbLeft) SetMouseCapture(true);
}

void TCustomPaintBox32::MouseMove(TShiftState, int, int) {}

void TCustomPaintBox32::MouseUp(TMouseButton Button, TShiftState, int, int) {
    if (Button == mbLeft) SetMouseCapture(false);
}

void TCustomPaintBox32::DblClick(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft && OnDblClick) OnDblClick(this);
    MouseDown(Button, Shift | ssDouble, X, Y);
}

void TCustomPaintBox32::MouseEnter() {
    if (OnMouseEnter) OnMouseEnter(this);
}

void TCustomPaintBox32::MouseLeave() {
    if (OnMouseLeave) OnMouseLeave(this);
}

} // namespace schauplatz
