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
    m_timer.setInterval(frameIntervalMs());
    connect(&m_timer, &QTimer::timeout, this, [this] { m_due = true; });
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &IdlePump::onAboutToBlock);
}

void IdlePump::start() {
    m_due = true;
    m_timer.start();
}

void IdlePump::stop() {
    m_timer.stop();
    m_due = false;
}

void IdlePump::onAboutToBlock() {
    if (!m_due || m_queued || !m_timer.isActive()) return;
    if (guardedCallDepth() > 0 || errorDialogShowing()) return;
    m_due = false;
    m_queued = true;
    // Queued, not run here: the handler may paint or open dialogs, which must
    // not happen inside the dispatcher's own bookkeeping.
    QMetaObject::invokeMethod(this, &IdlePump::runPass, Qt::QueuedConnection);
}

void IdlePump::runPass() {
    m_queued = false;
    if (!m_timer.isActive() || !m_handler) return;
    if (guardedCallDepth() > 0 || errorDialogShowing()) {
        m_due = true; // try again once the command is done
        return;
    }
    ++m_passes;
    runGuarded(m_handler);
}

} // namespace schauplatz
