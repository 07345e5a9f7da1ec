#include "raster/view/PaintStages.h"

#include "raster/view/Layers.h"

namespace schauplatz {

TPaintStage& TPaintStages::Add() {
    m_items.push_back(TPaintStage{});
    return m_items.back();
}

void TPaintStages::MakeDefault() {
    Clear();
    const struct {
        std::uint32_t kind;
        bool runTime;
        std::uint32_t parameter;
    } defaults[] = {
        {kStageClearBackground, true, 0},
        {kStageControlFrame, false, 0},
        {kStageDrawBitmap, true, 0},
        {kStageBitmapFrame, false, 0},
        {kStageDrawLayers, true, kLayerVisible},
    };
    for (const auto& d : defaults) {
        TPaintStage& stage = Add();
        stage.DsgnTime = true;
        stage.RunTime = d.runTime;
        stage.Stage = d.kind;
        stage.Parameter = d.parameter;
    }
}

} // namespace schauplatz
