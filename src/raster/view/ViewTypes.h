// Enumerations, mouse and colour types shared by the layered view, its host and its users.
#pragma once

#include <cstdint>

namespace schauplatz {

enum TRepaintMode { rmFull = 0, rmDirect = 1, rmOptimizer = 2 };
enum TBitmapAlign { baTopLeft = 0, baCenter = 1, baTile = 2, baCustom = 3 };
enum TScaleMode {
    smNormal = 0,
    smStretch = 1,
    smScale = 2,
    smResize = 3,
    smOptimal = 4,
    smOptimalScaled = 5
};

enum TMouseButton { mbLeft = 0, mbRight = 1, mbMiddle = 2 };

// Modifier keys and buttons held during a mouse event, as a bit set.
using TShiftState = std::uint32_t;
inline constexpr TShiftState ssShift = 1u << 0;
inline constexpr TShiftState ssAlt = 1u << 1;
inline constexpr TShiftState ssCtrl = 1u << 2;
inline constexpr TShiftState ssLeft = 1u << 3;
inline constexpr TShiftState ssRight = 1u << 4;
inline constexpr TShiftState ssMiddle = 1u << 5;
inline constexpr TShiftState ssDouble = 1u << 6;

// A control colour as the platform describes it: 0x00BBGGRR, or, with the top bit set, a system
// colour whose index is the low byte. The view paints with it converted to an opaque TColor32.
using TControlColor = std::uint32_t;
inline constexpr TControlColor kSystemColorFlag = 0x80000000u;
inline constexpr TControlColor kControlBlack = 0x000000u;
inline constexpr TControlColor kControlWhite = 0xFFFFFFu;
inline constexpr TControlColor kSysWindow = kSystemColorFlag | 5u;
inline constexpr TControlColor kSysAppWorkSpace = kSystemColorFlag | 12u;
inline constexpr TControlColor kSysBtnFace = kSystemColorFlag | 15u;

// The system colours are fixed (window 0xFFFFFFFF, application workspace 0xFFABABAB, button
// face 0xFFF0F0F0) so that every desktop theme shows the same pixels; unknown system colours
// read as opaque black.
std::uint32_t ControlColorToColor32(TControlColor color);

} // namespace schauplatz
