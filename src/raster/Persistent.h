#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

namespace schauplatz {

// A failed internal consistency check (a programming error such as an unpaired EndUpdate).
// Thrown rather than aborting so that tests and the crash report can see the text.
class EAssertionFailed : public std::logic_error {
public:
    explicit EAssertionFailed(const std::string& Message) : std::logic_error(Message) {}
};

class TNotifiablePersistent;

using TNotifyEvent = std::function<void(TNotifiablePersistent* Sender)>;

// Base of every object of the raster core that reports changes: an update counter that
// batches changes and the OnChange handler. Objects are not copyable: they are owned,
// referenced by handlers and compared by identity.
class TNotifiablePersistent {
public:
    TNotifiablePersistent() = default;
    TNotifiablePersistent(const TNotifiablePersistent&) = delete;
    TNotifiablePersistent& operator=(const TNotifiablePersistent&) = delete;
    virtual ~TNotifiablePersistent() = default;

    // Calls OnChange when no update bracket is open.
    virtual void Changed();
    virtual void BeginUpdate();
    // Lowers the counter without notifying; callers that batch call Changed afterwards.
    // Throws EAssertionFailed("Unpaired TThreadPersistent.EndUpdate") when no bracket is open.
    virtual void EndUpdate();

    std::int32_t UpdateCount() const { return m_updateCount; }

    TNotifyEvent OnChange;

protected:
    std::int32_t m_updateCount = 0;
};

// Adds a per-object re-entrant lock. The counter is kept with atomic increments so that
// another thread can ask whether the object is locked without taking the lock.
class TThreadPersistent : public TNotifiablePersistent {
public:
    void Lock();
    void Unlock();
    std::int32_t LockCount() const { return m_lockCount.load(); }

private:
    std::recursive_mutex m_lock;
    std::atomic<std::int32_t> m_lockCount{0};
};

// RAII bracket: BeginUpdate now, EndUpdate on scope exit (also when unwinding).
class TUpdateBracket {
public:
    explicit TUpdateBracket(TNotifiablePersistent& Target) : m_target(Target) {
        m_target.BeginUpdate();
    }
    ~TUpdateBracket() { m_target.EndUpdate(); }
    TUpdateBracket(const TUpdateBracket&) = delete;
    TUpdateBracket& operator=(const TUpdateBracket&) = delete;

private:
    TNotifiablePersistent& m_target;
};

// RAII form of Lock/Unlock.
class TLockBracket {
public:
    explicit TLockBracket(TThreadPersistent& Target) : m_target(Target) { m_target.Lock(); }
    ~TLockBracket() { m_target.Unlock(); }
    TLockBracket(const TLockBracket&) = delete;
    TLockBracket& operator=(const TLockBracket&) = delete;

private:
    TThreadPersistent& m_target;
};

} // namespace schauplatz
