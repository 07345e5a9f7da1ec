// A widget that puts any layered view of the core on screen.
//
// The view paints into its own buffer; this widget forwards resizes, paint requests and mouse
// events to it as plain calls, in client pixels, and shows the buffer without converting it:
// the buffer is wrapped as QImage::Format_RGB32, so the screen shows the colour channels and
// ignores alpha. The widget does not own the view; when the view goes first (its owner is
// destroyed before the widget tree), the widget stops forwarding and paints nothing.
#pragma once

#include "raster/view/PaintBox32.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace schauplatz {

class PaintBoxHost : public QWidget {
    Q_OBJECT
public:
    // Runs a call into the view. The window frame installs one that catches and reports
    // exceptions; by default the call just runs.
    using DispatchGuard = std::function<void(const std::function<void()>&)>;

    explicit PaintBoxHost(TCustomPaintBox32& view, QWidget* parent = nullptr);
    ~PaintBoxHost() override;

    TCustomPaintBox32& view() const { return m_view; }

    static void setDispatchGuard(DispatchGuard guard);

    // Qt button and modifier state as the view's shift state.
    static TShiftState shiftState(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);
    // The view's button for a Qt button; none for the extra buttons, which the view lacks.
    static std::optional<TMouseButton> viewButton(Qt::MouseButton button);
    // The region of the bitmap from (x, y), at most width x height pixels, as an image over
    // its memory without a copy (same B, G, R, A bytes; alpha unread). Null when nothing of
    // the bitmap lies there.
    static QImage wrap(const TBitmap32& bitmap, int x, int y, int width, int height);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void dispatch(const std::function<void()>& call);
    // False for an event the view would not have received: outside the control while it has
    // not captured the mouse.
    bool reachesView(const QMouseEvent& event) const;

    bool viewAlive() const { return !m_viewLifetime.expired(); }

    TCustomPaintBox32& m_view;
    std::weak_ptr<const void> m_viewLifetime;
};

} // namespace schauplatz
