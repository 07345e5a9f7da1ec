#pragma once

// Runs the window's idle handler the way the message loop's idle hook does:
// only when the event queue has run empty, at most once per displayed frame,
// and never as a busy loop.
//
// A frame timer marks a pass as due; when the event dispatcher is about to
// block (the queue is empty) a due pass is queued and runs next. Passes are
// skipped while a guarded handler runs (events processed inside a command do
// not run the idle handler) and while the error dialog is open.
//
// When the handler has nothing to do (the wanted function says so), the timer
// stops and the program sleeps until some other event arrives; the pump asks
// again each time the queue runs empty.
//
// With n passes per wake the timer fires every n frames and runs n passes in a
// row: as many passes per second, a fraction of the wake-ups (each wake costs
// the window system more than a pass does).

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
    bool active() const { return m_started; }
    // Asked whenever the queue runs empty; false: no pass is wanted until the next event.
    void setWanted(std::function<bool()> wanted) { m_wanted = std::move(wanted); }
    // Started, but resting because nothing is wanted (its timer does not run).
    bool resting() const { return m_started && !m_timer.isActive(); }
    // The frame interval in milliseconds (from the primary screen's rate).
    int frameInterval() const { return m_frameInterval; }
    void setPassesPerWake(int passes);
    int passesPerWake() const { return m_passesPerWake; }
    // Completed passes since construction.
    long passes() const { return m_passes; }

private:
    void onAboutToBlock();
    void runPass();

    std::function<void()> m_handler;
    std::function<bool()> m_wanted;
    QTimer m_timer;
    bool m_started = false;
    int m_frameInterval = 16;
    int m_passesPerWake = 1;
    bool m_due = false;
    bool m_queued = false;
    long m_passes = 0;
};

} // namespace schauplatz
