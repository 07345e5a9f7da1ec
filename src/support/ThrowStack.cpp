#include "support/ThrowStack.h"

#include <atomic>

namespace schauplatz::detail {

namespace {

// Constant-initialised, so the recorder may install its lookup from its own static
// initialisation, whatever the order of initialisation across files.
constinit std::atomic<ThrowStackLookup> g_lookup{nullptr};

} // namespace

void setThrowStackLookup(ThrowStackLookup lookup) {
    g_lookup.store(lookup, std::memory_order_release);
}

ThrowStackLookup throwStackLookup() {
    return g_lookup.load(std::memory_order_acquire);
}

std::vector<void*> stackOfThrow(const void* thrownObject) {
    const ThrowStackLookup lookup = throwStackLookup();
    return lookup != nullptr ? lookup(thrownObject) : std::vector<void*>{};
}

} // namespace schauplatz::detail
