#include "platform/view/WorkspaceScrollArea.h"

#include "platform/view/PaintBoxHost.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <optional>

namespace schauplatz {

namespace {

constexpr int kWheelStep = 120; // one notch of a wheel
// Qt's raster engine hands an image drawing of more than about a hundred rows to its thread
// pool; the small areas of a frame step are drawn in bands below that, on this thread.
constexpr int kBandRows = 48;

// Draws the part R (logical pixels) of the image at the same place.
void drawBands(QPainter& painter, const QImage& image, const QRect& R, qreal ratio) {
    for (int top = R.top(); top <= R.bottom(); top += kBandRows) {
        const int rows = std::min(kBandRows, R.bottom() + 1 - top);
        const QRectF target(R.left(), top, R.width(), rows);
        const QRectF source(R.left() * ratio, top * ratio, R.width() * ratio, rows * ratio);
        painter.drawImage(target, image, source);
    }
}

} // namespace

WorkspaceScrollArea::WorkspaceScrollArea(TForm_Schauplatz& form, QWidget* parent)
    : QAbstractScrollArea(parent), m_form(form) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setFocusProxy(this);
    viewport()->setMouseTracking(true);
    // Every pixel of the viewport is painted here.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);

    TWorkspaceScreen& s = screen();
    QPointer<QWidget> port(viewport());
    s.InvalidateRect = [port](const TRect& R) {
        if (!port) return;
        const qreal ratio = port->devicePixelRatioF();
        const QRectF logical(R.Left / ratio, R.Top / ratio, R.Width() / ratio, R.Height() / ratio);
        port->update(logical.toAlignedRect());
    };
    s.InvalidateAll = [port] {
        if (port) port->update();
    };
    s.GeometryChanged = [this] {
        syncScrollBars();
        if (OnStatusChanged) OnStatusChanged();
    };
    m_autoScroll.setInterval(kAutoScrollIntervalMs);
    connect(&m_autoScroll, &QTimer::timeout, this, [this] {
        run([this] { screen().AutoScrollStep(); });
        followAutoScroll();
        if (OnStatusChanged) OnStatusChanged();
    });
}

WorkspaceScrollArea::~WorkspaceScrollArea() {
    TWorkspaceScreen& s = screen();
    s.InvalidateRect = nullptr;
    s.InvalidateAll = nullptr;
    s.GeometryChanged = nullptr;
}

void WorkspaceScrollArea::run(const std::function<void()>& call) {
    if (Dispatch)
        Dispatch(call);
    else
        call();
}

QPoint WorkspaceScrollArea::devicePosition(const QPointF& position) const {
    const qreal ratio = viewport()->devicePixelRatioF();
    return QPoint(static_cast<int>(std::floor(position.x() * ratio)),
                  static_cast<int>(std::floor(position.y() * ratio)));
}

// --- size and scroll bars ---------------------------------------------------------------------

void WorkspaceScrollArea::updateViewportSize() {
    const qreal ratio = viewport()->devicePixelRatioF();
    const QSize fit = maximumViewportSize();
    const QSize visible = viewport()->size();
    run([&] {
        screen().SetFitArea(static_cast<int>(fit.width() * ratio),
                            static_cast<int>(fit.height() * ratio));
        screen().Resize(static_cast<int>(visible.width() * ratio),
                        static_cast<int>(visible.height() * ratio));
    });
}

// Both the scroll area's and the viewport's resizes arrive here.
void WorkspaceScrollArea::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateViewportSize();
}

void WorkspaceScrollArea::syncScrollBars() {
    const TWorkspaceScreen& s = screen();
    const TPoint limit = s.MaxScroll();
    const TPoint at = s.ScrollPosition();
    m_syncing = true;
    horizontalScrollBar()->setRange(0, limit.X);
    horizontalScrollBar()->setPageStep(std::max(1, s.Width()));
    horizontalScrollBar()->setValue(at.X);
    verticalScrollBar()->setRange(0, limit.Y);
    verticalScrollBar()->setPageStep(std::max(1, s.Height()));
    verticalScrollBar()->setValue(at.Y);
    m_syncing = false;
}

void WorkspaceScrollArea::scrollContentsBy(int, int) {
    if (m_syncing) return;
    const int x = horizontalScrollBar()->value();
    const int y = verticalScrollBar()->value();
    run([&] { screen().ScrollTo(x, y); });
}

// --- painting ---------------------------------------------------------------------------------

void WorkspaceScrollArea::paintEvent(QPaintEvent* event) {
    run([this, event] {
        TWorkspaceScreen& s = screen();
        s.Paint();
        const TWorkspaceScreen::Shown shown = s.ShownImage();
        const qreal ratio = viewport()->devicePixelRatioF();
        QPainter painter(viewport());
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        if (shown.Image) {
            const QImage image = PaintBoxHost::wrap(*shown.Image, shown.OffsetX, shown.OffsetY,
                                                    s.Width(), s.Height());
            if (!image.isNull())
                for (const QRect& R : event->region())
                    drawBands(painter, image, R, ratio);
        }
        if (const TBitmap32* loupe = s.LoupeImage()) {
            const TRect R = *s.LoupeRect();
            const QImage image = PaintBoxHost::wrap(*loupe, 0, 0, loupe->Width(), loupe->Height());
            const QRect place(static_cast<int>(R.Left / ratio), static_cast<int>(R.Top / ratio),
                              static_cast<int>(R.Width() / ratio),
                              static_cast<int>(R.Height() / ratio));
            if (!image.isNull())
                for (int top = 0; top < place.height(); top += kBandRows) {
                    const int rows = std::min(kBandRows, place.height() - top);
                    painter.drawImage(QRectF(place.left(), place.top() + top, place.width(), rows),
                                      image, QRectF(0, top * ratio, R.Width(), rows * ratio));
                }
        }
    });
    if (OnStatusChanged) OnStatusChanged();
}

// --- the mouse --------------------------------------------------------------------------------

void WorkspaceScrollArea::mousePressEvent(QMouseEvent* event) {
    const auto button = PaintBoxHost::viewButton(event->button());
    if (!button) return;
    setFocus(Qt::MouseFocusReason);
    const QPoint p = devicePosition(event->position());
    const TShiftState shift = PaintBoxHost::shiftState(event->modifiers(), event->buttons());
    run([&] { screen().MouseDown(*button, shift, p.x(), p.y()); });
    if (screen().Panning()) viewport()->setCursor(Qt::ClosedHandCursor);
    if (OnStatusChanged) OnStatusChanged();
}

void WorkspaceScrollArea::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = devicePosition(event->position());
    const TShiftState shift = PaintBoxHost::shiftState(event->modifiers(), event->buttons());
    run([&] { screen().MouseMove(shift, p.x(), p.y()); });
    followAutoScroll();
    if (OnStatusChanged) OnStatusChanged();
}

void WorkspaceScrollArea::mouseReleaseEvent(QMouseEvent* event) {
    const auto button = PaintBoxHost::viewButton(event->button());
    if (!button) return;
    const QPoint p = devicePosition(event->position());
    const TShiftState shift = PaintBoxHost::shiftState(event->modifiers(), event->buttons());
    run([&] { screen().MouseUp(*button, shift, p.x(), p.y()); });
    if (!screen().Panning()) viewport()->unsetCursor();
    followAutoScroll();
    if (OnStatusChanged) OnStatusChanged();
}

// The second press of a double click is a press like the first, reported as a double click.
void WorkspaceScrollArea::mouseDoubleClickEvent(QMouseEvent* event) {
    const auto button = PaintBoxHost::viewButton(event->button());
    if (!button) return;
    setFocus(Qt::MouseFocusReason);
    const QPoint p = devicePosition(event->position());
    const TShiftState shift = PaintBoxHost::shiftState(event->modifiers(), event->buttons());
    run([&] { screen().DblClick(*button, shift, p.x(), p.y()); });
    if (screen().Panning()) viewport()->setCursor(Qt::ClosedHandCursor);
    if (OnStatusChanged) OnStatusChanged();
}

void WorkspaceScrollArea::focusOutEvent(QFocusEvent* event) {
    // A Space let go elsewhere must not leave the left button dragging the view.
    screen().SetSpaceHeld(false);
    QAbstractScrollArea::focusOutEvent(event);
}

bool WorkspaceScrollArea::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) {
        run([this] { screen().MouseLeave(); });
        if (OnStatusChanged) OnStatusChanged();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void WorkspaceScrollArea::followAutoScroll() {
    if (screen().WantsAutoScroll()) {
        if (!m_autoScroll.isActive()) m_autoScroll.start();
    } else {
        m_autoScroll.stop();
    }
}

void WorkspaceScrollArea::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // Fine-grained wheels send parts of a notch; whole notches zoom.
    m_wheelRemainder += event->angleDelta().y();
    const int steps = m_wheelRemainder / kWheelStep;
    m_wheelRemainder -= steps * kWheelStep;
    if (steps != 0) {
        const QPoint p = devicePosition(event->position());
        run([&] { screen().ZoomSteps(steps, p.x(), p.y()); });
        if (OnStatusChanged) OnStatusChanged();
    }
    event->accept();
}

// --- the keyboard -----------------------------------------------------------------------------

bool WorkspaceScrollArea::event(QEvent* event) {
    // Tab and Shift+Tab choose corners here instead of moving the focus on.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

bool WorkspaceScrollArea::handleKey(QKeyEvent* event) {
    const int far = (event->modifiers() & Qt::ShiftModifier) ? kNudgeFar : 1;
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
    switch (event->key()) {
    case Qt::Key_Tab:
        run([this] { m_form.SelectNextCorner(false); });
        return true;
    case Qt::Key_Backtab:
        run([this] { m_form.SelectNextCorner(true); });
        return true;
    case Qt::Key_Left:
        run([&] { m_form.NudgeSelection(-far, 0); });
        return true;
    case Qt::Key_Right:
        run([&] { m_form.NudgeSelection(far, 0); });
        return true;
    case Qt::Key_Up:
        run([&] { m_form.NudgeSelection(0, -far); });
        return true;
    case Qt::Key_Down:
        run([&] { m_form.NudgeSelection(0, far); });
        return true;
    case Qt::Key_Space:
        if (!event->isAutoRepeat()) screen().SetSpaceHeld(true);
        return true;
    case Qt::Key_Escape: {
        // Reached only while "Bearbeitung abbrechen" has nothing to cancel (its key takes
        // Escape first): right after a one-click fit the quad before it comes back, else the
        // selection is given up.
        bool undone = false;
        run([&] { undone = m_form.UndoOpeningFit(); });
        if (undone) return true;
        if (m_form.QuadSelection() == kNoSelection) return false;
        run([this] { m_form.ClearQuadSelection(); });
        return true;
    }
    default:
        return false;
    }
}

void WorkspaceScrollArea::keyPressEvent(QKeyEvent* event) {
    if (handleKey(event)) {
        event->accept();
        if (OnStatusChanged) OnStatusChanged();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void WorkspaceScrollArea::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        screen().SetSpaceHeld(false);
        event->accept();
        return;
    }
    QAbstractScrollArea::keyReleaseEvent(event);
}

} // namespace schauplatz
