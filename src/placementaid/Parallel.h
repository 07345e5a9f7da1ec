#pragma once

// Independent pieces of work spread over the library's worker threads (the same pool that its
// filters use). Body(Begin, End) handles items [Begin, End); ranges never overlap, so bodies
// that write only their own items' slots need no locks.

#include <cstddef>
#include <functional>

namespace schauplatz::placementaid::detail {

void forEachRange(std::size_t Count, const std::function<void(std::size_t, std::size_t)>& Body);

} // namespace schauplatz::placementaid::detail
