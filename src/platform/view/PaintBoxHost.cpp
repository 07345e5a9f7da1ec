#include "platform/view/PaintBoxHost.h"

#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace schauplatz {

namespace {

PaintBoxHost::DispatchGuard& dispatchGuard() {
    static PaintBoxHost::DispatchGuard guard;
    return guard;
}

// Client pixel under the event: the pixel whose square contains the position.
QPoint clientPixel(const QMouseEvent& event) {
    const QPointF p = event.position();
    return QPoint(static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())));
}

} // namespace

PaintBoxHost::PaintBoxHost(TCustomPaintBox32& view, QWidget* parent)
    : QWidget(parent), m_view(view), m_viewLifetime(view.Lifetime()) {
    // The view paints every pixel of its client area itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    THostHooks hooks;
    hooks.Invalidate = [this] { update(); };
    hooks.RepaintNow = [this] { repaint(); };
    hooks.TakeFocus = [this] {
        setFocus(Qt::MouseFocusReason);
        return hasFocus();
    };
    // Qt grabs the mouse implicitly on every press; whether the view holds the capture is
    // read back through MouseCaptured() when events arrive (reachesView).
    hooks.SetMouseCapture = [](bool) {};
    m_view.SetHostHooks(std::move(hooks));
    resize(m_view.Width(), m_view.Height());
    m_view.Resize(width(), height());
}

PaintBoxHost::~PaintBoxHost() {
    // A view destroyed first took its hooks with it.
    if (viewAlive()) m_view.SetHostHooks({});
}

void PaintBoxHost::setDispatchGuard(DispatchGuard guard) {
    dispatchGuard() = std::move(guard);
}

std::optional<TMouseButton> PaintBoxHost::viewButton(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return mbLeft;
    case Qt::RightButton:
        return mbRight;
    case Qt::MiddleButton:
        return mbMiddle;
    default:
        return std::nullopt;
    }
}

QImage PaintBoxHost::wrap(const TBitmap32& bitmap, int x, int y, int width, int height) {
    width = std::min(width, bitmap.Width() - x);
    height = std::min(height, bitmap.Height() - y);
    if (width <= 0 || height <= 0 || x < 0 || y < 0 || bitmap.Bits() == nullptr) return {};
    const auto* bits = reinterpret_cast<const uchar*>(bitmap.PixelPointer(x, y));
    return QImage(bits, width, height, static_cast<qsizetype>(bitmap.Width()) * 4,
                  QImage::Format_RGB32);
}

TShiftState PaintBoxHost::shiftState(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    TShiftState shift = 0;
    if (modifiers & Qt::ShiftModifier) shift |= ssShift;
    if (modifiers & Qt::AltModifier) shift |= ssAlt;
    if (modifiers & Qt::ControlModifier) shift |= ssCtrl;
    if (buttons & Qt::LeftButton) shift |= ssLeft;
    if (buttons & Qt::RightButton) shift |= ssRight;
    if (buttons & Qt::MiddleButton) shift |= ssMiddle;
    return shift;
}

void PaintBoxHost::dispatch(const std::function<void()>& call) {
    if (!viewAlive()) return;
    if (const DispatchGuard& guard = dispatchGuard())
        guard(call);
    else
        call();
}

bool PaintBoxHost::reachesView(const QMouseEvent& event) const {
    if (!viewAlive()) return false;
    return m_view.MouseCaptured() || rect().contains(clientPixel(event));
}

void PaintBoxHost::resizeEvent(QResizeEvent* event) {
    const QSize size = event->size();
    dispatch([&] { m_view.Resize(size.width(), size.height()); });
}

void PaintBoxHost::paintEvent(QPaintEvent*) {
    dispatch([&] {
        m_view.Paint([&](const TBitmap32& buffer, const std::vector<TRect>&) {
            const QImage image = wrap(buffer, 0, 0, width(), height());
            if (image.isNull()) return;
            QPainter painter(this);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(QPoint(0, 0), image);
        });
    });
}

void PaintBoxHost::mousePressEvent(QMouseEvent* event) {
    const auto button = viewButton(event->button());
    if (!button) return;
    const QPoint p = clientPixel(*event);
    const TShiftState shift = shiftState(event->modifiers(), event->buttons());
    dispatch([&] { m_view.MouseDown(*button, shift, p.x(), p.y()); });
}

void PaintBoxHost::mouseMoveEvent(QMouseEvent* event) {
    if (!reachesView(*event)) return;
    const QPoint p = clientPixel(*event);
    const TShiftState shift = shiftState(event->modifiers(), event->buttons());
    dispatch([&] { m_view.MouseMove(shift, p.x(), p.y()); });
}

void PaintBoxHost::mouseReleaseEvent(QMouseEvent* event) {
    const auto button = viewButton(event->button());
    if (!button || !reachesView(*event)) return;
    const QPoint p = clientPixel(*event);
    const TShiftState shift = shiftState(event->modifiers(), event->buttons());
    dispatch([&] { m_view.MouseUp(*button, shift, p.x(), p.y()); });
}

void PaintBoxHost::mouseDoubleClickEvent(QMouseEvent* event) {
    const auto button = viewButton(event->button());
    if (!button) return;
    const QPoint p = clientPixel(*event);
    const TShiftState shift = shiftState(event->modifiers(), event->buttons());
    dispatch([&] { m_view.DblClick(*button, shift, p.x(), p.y()); });
}

void PaintBoxHost::enterEvent(QEnterEvent*) {
    dispatch([&] { m_view.MouseEnter(); });
}

void PaintBoxHost::leaveEvent(QEvent*) {
    dispatch([&] { m_view.MouseLeave(); });
}

} // namespace schauplatz
