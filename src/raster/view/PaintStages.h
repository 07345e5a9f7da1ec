// The ordered list of paint stages a layered view runs to paint itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace schauplatz {

// Stage kinds. Any other kind draws nothing and is skipped when painting.
inline constexpr std::uint32_t kStageCustom = 1;          // OnPaintStage(view, destination, index)
inline constexpr std::uint32_t kStageClearBuffer = 2;     // whole destination in the view's colour
inline constexpr std::uint32_t kStageClearBackground = 3; // around the picture rectangle
inline constexpr std::uint32_t kStageDrawBitmap = 4;      // the picture into its rectangle
inline constexpr std::uint32_t kStageDrawLayers = 5;      // layers whose options share a bit
inline constexpr std::uint32_t kStageControlFrame = 6;    // dotted frame around the client area
inline constexpr std::uint32_t kStageBitmapFrame = 7;     // dotted frame around the picture

struct TPaintStage {
    bool DsgnTime = false;
    bool RunTime = true;
    std::uint32_t Stage = 0;
    std::uint32_t Parameter = 0;
};

class TPaintStages {
public:
    // A new entry (design-time false, run-time true, kind 0, parameter 0), returned for editing.
    TPaintStage& Add();
    TPaintStage& operator[](std::size_t index) { return m_items.at(index); }
    const TPaintStage& operator[](std::size_t index) const { return m_items.at(index); }
    std::size_t Count() const { return m_items.size(); }
    void Clear() { m_items.clear(); }

    // The list a view starts with: clear background, control frame, bitmap, bitmap frame,
    // visible layers.
    void MakeDefault();

private:
    std::vector<TPaintStage> m_items;
};

} // namespace schauplatz
