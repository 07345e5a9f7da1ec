#include "support/Version.h"

namespace schauplatz {

std::string compiledVersion() {
    return SCHAUPLATZ_VERSION;
}

} // namespace schauplatz
