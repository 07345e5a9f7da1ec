// The scroll box of the workspace ("ScrollBox1"): its viewport shows the form's workspace
// screen (TWorkspaceScreen) and hands it the mouse in device pixels.
//
// The wheel scrolls, Ctrl with the wheel zooms at the pointer, the middle button or Space with
// the left button drags the view, and a drag at the edge scrolls (a timer runs only while the
// pointer is there). With the keyboard focus the arrow keys move the selected corner or the
// whole quad (with Shift by ten), Tab and Shift+Tab step through the corners; they neither
// scroll nor move the focus on.
#pragma once

#include "MainUnit/MainUnit.h"

#include <QAbstractScrollArea>
#include <QTimer>

#include <functional>

namespace schauplatz {

class WorkspaceScrollArea : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kAutoScrollIntervalMs = 16;
    static constexpr int kNudgeFar = 10;

    explicit WorkspaceScrollArea(TForm_Schauplatz& form, QWidget* parent = nullptr);
    ~WorkspaceScrollArea() override;

    TWorkspaceScreen& screen() const { return m_form.WorkspaceScreen; }
    // After anything the status bar shows may have changed.
    std::function<void()> OnStatusChanged;
    // Runs a call into the form (the window installs one that reports exceptions).
    std::function<void(const std::function<void()>&)> Dispatch;
    bool autoScrolling() const { return m_autoScroll.isActive(); }

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void run(const std::function<void()>& call);
    void syncScrollBars();
    void updateViewportSize();
    void followAutoScroll();
    QPoint devicePosition(const QPointF& position) const;
    bool handleKey(QKeyEvent* event);

    TForm_Schauplatz& m_form;
    QTimer m_autoScroll;
    bool m_syncing = false;
    int m_wheelRemainder = 0;
};

} // namespace schauplatz
