#pragma once

// Runs the window's idle handler the way the message loop's idle hook does:
// only when the event queue has run empty, at most once per displayed frame,
// and never as a busy loop.
//
// A frame timer marks a pass as due; when the event dispatcher is about to
// block (the queue is empty) a due pass is queued and runs next. Passes are
// skipped while a guarded handler runs (events processed inside a command do
// not run the idle handler) and while the error dialog is open.

#include <QObject>
#include <QTimer>

#include <functional>

namespace schauplatz {

class IdlePump : public QObject {
    Q_OBJECT
public:
    explicit IdlePump(std::function<void()> handler, QObject* parent = nullptr);

    void start();
    void stop();
    bool active() const { return m_timer.isActive(); }
    // The frame interval in milliseconds (from the primary screen's rate).
    int frameInterval() const { return m_timer.interval(); }
    // Completed passes since construction.
    long passes() const { return m_passes; }

private:
    void onAboutToBlock();
    void runPass();

    std::function<void()> m_handler;
    QTimer m_timer;
    bool m_due = false;
    bool m_queued = false;
    long m_passes = 0;
};

} // namespace schauplatz
