#include "raster/Persistent.h"

namespace schauplatz {

void TNotifiablePersistent::Changed() {
    if (m_updateCount == 0 && OnChange) OnChange(this);
}

void TNotifiablePersistent::BeginUpdate() {
    ++m_updateCount;
}

void TNotifiablePersistent::EndUpdate() {
    // The counter lives here, but the assertion text names TThreadPersistent: callers and
    // tests match that text as it stands.
    if (m_updateCount <= 0) throw EAssertionFailed("Unpaired TThreadPersistent.EndUpdate");
    --m_updateCount;
}

void TThreadPersistent::Lock() {
    m_lockCount.fetch_add(1);
    m_lock.lock();
}

void TThreadPersistent::Unlock() {
    m_lock.unlock();
    m_lockCount.fetch_sub(1);
}

} // namespace schauplatz
