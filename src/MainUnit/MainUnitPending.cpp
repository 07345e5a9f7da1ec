// Operations and handlers whose behaviour belongs to the placement, view,
// acceptance, picture-file, element-list and project code. Until that code is
// in, each of them leaves the window's state as it is.

#include "MainUnit/MainUnit.h"

#include "support/U_SYSTOOLS.h"

namespace schauplatz {


} // namespace schauplatz
