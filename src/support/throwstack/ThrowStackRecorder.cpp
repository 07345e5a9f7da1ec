// Records the call stack at every throw. The C++ runtime calls __cxa_throw
// for each throw expression; defining it here puts the hook in front of the
// runtime's own, which it then calls. By the time a handler in the event
// loop catches the exception, the stack has unwound and only this record
// still tells where it came from. Loading this file installs its lookup for
// the crash reports (support/ThrowStack.h).

#include "support/ThrowStack.h"

#include <array>
#include <cstdlib>
#include <dlfcn.h>
#include <execinfo.h>
#include <typeinfo>

namespace schauplatz::detail {

namespace {

constexpr int kMaxFrames = 48;
constexpr int kRingSize = 8;

struct RecordedThrow {
    const void* object = nullptr;
    int frameCount = 0;
    std::array<void*, kMaxFrames> frames{};
};

struct ThrowRing {
    std::array<RecordedThrow, kRingSize> entries{};
    int next = 0;
    bool busy = false; // a throw inside backtrace() must not recurse
};

thread_local ThrowRing t_ring;

void record(const void* object) {
    ThrowRing& ring = t_ring;
    if (ring.busy) {
        return;
    }
    ring.busy = true;
    RecordedThrow& slot = ring.entries[static_cast<std::size_t>(ring.next)];
    slot.object = object;
    slot.frameCount = ::backtrace(slot.frames.data(), kMaxFrames);
    ring.next = (ring.next + 1) % kRingSize;
    ring.busy = false;
}

std::vector<void*> framesOf(const RecordedThrow& entry) {
    // Frame 0 is the hook itself.
    const int first = entry.frameCount > 1 ? 1 : 0;
    return {entry.frames.begin() + first, entry.frames.begin() + entry.frameCount};
}

std::vector<void*> recordedStackOfThrow(const void* thrownObject) {
    // Newest first: the address of a freed exception is soon reused by a
    // later one, and only the latest record for an address is current.
    const ThrowRing& ring = t_ring;
    for (int age = 1; age <= kRingSize; ++age) {
        const RecordedThrow& entry =
            ring.entries[static_cast<std::size_t>((ring.next + kRingSize - age) % kRingSize)];
        if (entry.object != nullptr && entry.object == thrownObject) {
            return framesOf(entry);
        }
    }
    return {};
}

// Installed before main runs; a throw during static initialisation is recorded all the same.
[[maybe_unused]] const bool g_installed = [] {
    setThrowStackLookup(&recordedStackOfThrow);
    return true;
}();

} // namespace

} // namespace schauplatz::detail

using CxaThrow = void (*)(void*, std::type_info*, void (*)(void*));

extern "C" [[noreturn]] void __cxa_throw(void* thrownObject, std::type_info* type,
                                         void (*destructor)(void*)) {
    static const CxaThrow original = reinterpret_cast<CxaThrow>(::dlsym(RTLD_NEXT, "__cxa_throw"));
    if (original == nullptr) {
        std::abort(); // no runtime to hand over to: nothing sensible is left
    }
    schauplatz::detail::record(thrownObject);
    original(thrownObject, type, destructor);
    __builtin_unreachable();
}
