#pragma once

// The call stack recorded where an exception was thrown (internal to crash
// reports). Every throw of the program passes a small hook that records the
// stack into a per-thread ring, keyed by the thrown object.

#include <vector>

namespace schauplatz::detail {

// The frames recorded when the object at thrownObject was thrown on this
// thread; empty when that throw was not seen.
std::vector<void*> stackOfThrow(const void* thrownObject);
// The frames of the latest throw on this thread.
std::vector<void*> stackOfLatestThrow();

} // namespace schauplatz::detail
