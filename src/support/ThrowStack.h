#pragma once

// The call stack recorded where an exception was thrown (internal to crash reports).
//
// The recorder (support/throwstack/, the library schauplatz_throwstack) hooks every throw of
// the program and keeps the stack in a per-thread ring, keyed by the thrown object. It is
// linked into the program and into the tests that check crash reports, not into every tool,
// fuzzer and test: it installs its lookup here when it is loaded. Without it a crash report
// gives the stack of the catch instead.

#include <vector>

namespace schauplatz::detail {

// The frames recorded when the object at thrownObject was thrown on this thread; empty when
// that throw was not seen.
using ThrowStackLookup = std::vector<void*> (*)(const void* thrownObject);

// Installs the recorder's lookup (nullptr: none), and tells the one installed.
void setThrowStackLookup(ThrowStackLookup lookup);
ThrowStackLookup throwStackLookup();
// Asks the installed lookup; empty without a recorder.
std::vector<void*> stackOfThrow(const void* thrownObject);

} // namespace schauplatz::detail
