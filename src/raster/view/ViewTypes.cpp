#include "raster/view/ViewTypes.h"

#include "raster/Color32.h"

namespace schauplatz {

std::uint32_t ControlColorToColor32(TControlColor color) {
    if ((color & kSystemColorFlag) == 0) return Color32FromPlatform(color & 0xFFFFFFu);
    switch (color) {
    case kSysWindow:
        return 0xFFFFFFFFu;
    case kSysAppWorkSpace:
        return 0xFFABABABu;
    case kSysBtnFace:
        return 0xFFF0F0F0u;
    default:
        return 0xFF000000u;
    }
}

} // namespace schauplatz
