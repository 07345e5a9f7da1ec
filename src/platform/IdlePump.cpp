#include "platform/IdlePump.h"

#include "platform/GuardedCall.h"

#include <QAbstractEventDispatcher>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace schauplatz {

namespace {

int frameIntervalMs() {
    double rate = 60.0;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        if (screen->refreshRate() >= 1.0) rate = screen->refreshRate();
    return std::clamp(static_cast<int>(std::lround(1000.0 / rate)), 4, 100);
}

} // namespace

IdlePump::IdlePump(std::function<void()> handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_frameInterval = frameIntervalMs();
    m_timer.setInterval(m_frameInterval);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_due = true; });
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &IdlePump::onAboutToBlock);
}

void IdlePump::setPassesPerWake(int passes) {
    m_passesPerWake = std::max(passes, 1);
    m_timer.setInterval(m_frameInterval * m_passesPerWake);
}

void IdlePump::start() {
    m_started = true;
    m_due = true;
    m_timer.start();
}

void IdlePump::stop() {
    m_started = false;
    m_timer.stop();
    m_due = false;
}

void IdlePump::onAboutToBlock() {
    if (!m_started) return;
    if (m_wanted && !m_wanted()) {
        // Nothing to animate: no timer, so nothing wakes the program while it is idle.
        m_timer.stop();
        m_due = false;
        return;
    }
    if (!m_timer.isActive()) {
        m_timer.start();
        m_due = true;
    }
    if (!m_due || m_queued) return;
    if (guardedCallDepth() > 0 || errorDialogShowing()) return;
    m_due = false;
    m_queued = true;
    // Queued, not run here: the handler may paint or open dialogs, which must
    // not happen inside the dispatcher's own bookkeeping.
    QMetaObject::invokeMethod(this, &IdlePump::runPass, Qt::QueuedConnection);
}

void IdlePump::runPass() {
    m_queued = false;
    if (!m_started || !m_handler) return;
    if (guardedCallDepth() > 0 || errorDialogShowing()) {
        m_due = true; // try again once the command is done
        return;
    }
    for (int i = 0; i < m_passesPerWake; ++i) {
        if (i > 0 && m_wanted && !m_wanted()) break;
        ++m_passes;
        runGuarded(m_handler);
        if (errorDialogShowing()) break;
    }
}

} // namespace schauplatz
