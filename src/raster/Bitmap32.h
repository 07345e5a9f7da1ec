#pragma once

#include "raster/Backends.h"
#include "raster/Blend.h"
#include "raster/Color32.h"
#include "raster/Persistent.h"
#include "raster/Rect.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace schauplatz {

enum TDrawMode : std::uint8_t { dmOpaque, dmBlend, dmCustom, dmTransparent };
enum TCombineMode : std::uint8_t { cmBlend, cmMerge };
enum TWrapMode : std::uint8_t { wmClamp, wmRepeat, wmMirror };

// Info codes of area notifications: a changed rectangle, or a changed line of width n
// (kAreaInfoLine + n).
inline constexpr std::uint32_t kAreaInfoRect = 0x80000000u;
inline constexpr std::uint32_t kAreaInfoLine = 0x40000000u;

class EBitmapException : public std::runtime_error {
public:
    explicit EBitmapException(const std::string& Message) : std::runtime_error(Message) {}
};

class TCustomBitmap32;
class TCustomResampler;

using TPixelCombineEvent = std::function<void(TColor32 F, TColor32& B, TColor32 M)>;
using TAreaChangedEvent =
    std::function<void(TCustomBitmap32* Sender, const TRect& Area, std::uint32_t Info)>;

// Folds Value into Min..Max (inclusive) for wrapped pixel access.
using TWrapProc = std::int32_t (*)(std::int32_t Value, std::int32_t Min, std::int32_t Max);
std::int32_t WrapClamp(std::int32_t Value, std::int32_t Min, std::int32_t Max);
std::int32_t WrapRepeat(std::int32_t Value, std::int32_t Min, std::int32_t Max);
std::int32_t WrapMirror(std::int32_t Value, std::int32_t Min, std::int32_t Max);
TWrapProc GetWrapProc(TWrapMode Mode);

// A size that never goes negative, handed to a storage; notification on every real change.
class TCustomMap : public TThreadPersistent {
public:
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    virtual void SetHeight(std::int32_t NewHeight);
    virtual void SetWidth(std::int32_t NewWidth);
    virtual void MakeEmpty();
    virtual bool IsEmpty() const;
    // Negative values count as 0. Returns false (and does nothing) for the current size;
    // otherwise hands the size to the storage, then Changed, then Resized.
    virtual bool SetSize(std::int32_t NewWidth, std::int32_t NewHeight);

    TNotifyEvent OnResize;

protected:
    // Gives the storage the new size; Width and Height are updated through the references.
    virtual void ChangeSize(std::int32_t& Width, std::int32_t& Height, std::int32_t NewWidth,
                            std::int32_t NewHeight);
    virtual void Resized();

    std::int32_t m_height = 0;
    std::int32_t m_width = 0;
};

// A rectangular array of TColor32 (row-major, top row first, no padding) with the drawing
// properties that decide how its pixels land on another bitmap. Owns its resampler and,
// through shared ownership, its backend. The default backend is plain memory filled with
// opaque black on every size change.
class TCustomBitmap32 : public TCustomMap {
public:
    TCustomBitmap32();
    // Moving hands over pixels, backend, drawing properties (OnPixelCombine included) and
    // resampler; the source is left an empty bitmap with a fresh default backend. No
    // notification is sent. The notification handlers, the measuring state, the update
    // counter and the lock stay with their objects: they belong to whoever watches that
    // object.
    TCustomBitmap32(TCustomBitmap32&& Other);
    TCustomBitmap32& operator=(TCustomBitmap32&& Other);
    ~TCustomBitmap32() override;

    // --- size and pixels ---
    bool IsEmpty() const override;
    // Every pixel of the clip rectangle := C; nothing (no notification) when empty.
    void Clear(TColor32 C = clBlack32);
    TColor32* Bits() { return m_bits; }
    const TColor32* Bits() const { return m_bits; }
    TColor32* RowPointer(std::int32_t Y) {
        return m_bits + static_cast<std::ptrdiff_t>(Y) * m_width;
    }
    const TColor32* RowPointer(std::int32_t Y) const {
        return m_bits + static_cast<std::ptrdiff_t>(Y) * m_width;
    }
    TColor32* PixelPointer(std::int32_t X, std::int32_t Y) { return RowPointer(Y) + X; }
    const TColor32* PixelPointer(std::int32_t X, std::int32_t Y) const { return RowPointer(Y) + X; }
    TColor32 GetPixel(std::int32_t X, std::int32_t Y) const { return *PixelPointer(X, Y); }
    void SetPixel(std::int32_t X, std::int32_t Y, TColor32 C) { *PixelPointer(X, Y) = C; }
    // OuterColor outside the clip rectangle.
    TColor32 GetPixelSafe(std::int32_t X, std::int32_t Y) const;
    // The pixel at (X, Y) folded into the clip rectangle by WrapMode.
    TColor32 GetPixelW(std::int32_t X, std::int32_t Y) const;
    TRect BoundsRect() const { return TRect{0, 0, m_width, m_height}; }
    const std::shared_ptr<TCustomBackend>& Backend() const { return m_backend; }

    // --- clipping ---
    const TRect& ClipRect() const { return m_clipRect; }
    // Stores the intersection with the bounds; no notification.
    void SetClipRect(const TRect& Value);
    void ResetClipRect() { SetClipRect(BoundsRect()); }
    // The clip rectangle with every edge * 65536 (16.16) and * 256 (24.8).
    const TRect& FixedClipRect() const { return m_fixedClipRect; }
    const TRect& SubClipRect() const { return m_subClipRect; }
    // True when the clip rectangle differs from the bounds.
    bool Clipping() const { return m_clipping; }

    // --- whole-bitmap copies ---
    // Size, pixels and drawing properties of Source (nullptr: make empty), one Changed.
    void Assign(const TCustomBitmap32* Source);
    virtual void CopyPixelsTo(TCustomBitmap32& Dst) const;
    virtual void CopyPropertiesTo(TCustomBitmap32& Dst) const;
    // In place when Dst is nullptr or this bitmap.
    void MirrorHorizontally(TCustomBitmap32* Dst = nullptr);
    void SetAllAlpha(std::uint8_t Alpha = 255);

    // --- drawing properties ---
    TDrawMode DrawMode() const { return m_drawMode; }
    void SetDrawMode(TDrawMode Value);
    TCombineMode CombineMode() const { return m_combineMode; }
    void SetCombineMode(TCombineMode Value);
    TWrapMode WrapMode() const { return m_wrapMode; }
    void SetWrapMode(TWrapMode Value);
    std::uint32_t MasterAlpha() const { return m_masterAlpha; }
    void SetMasterAlpha(std::uint32_t Value);
    TColor32 OuterColor() const { return m_outerColor; }
    void SetOuterColor(TColor32 Value) { m_outerColor = Value; }
    // BlendMasterInto for cmBlend, MergeMasterInto for cmMerge.
    TBlendMasterIntoProc BlendProc() const { return m_blendProc; }

    TCustomResampler* Resampler() const { return m_resampler.get(); }
    // Installs a new resampler (the old one is freed) and signals Changed; nullptr is ignored.
    void SetResampler(std::unique_ptr<TCustomResampler> Value);
    std::string ResamplerClassName() const;
    // Looks the name up in the resampler registry; empty, current or unknown names change
    // nothing.
    void SetResamplerClassName(const std::string& Value);

    // --- notification ---
    void Changed() override;
    virtual void AreaChanged(const TRect& Area, std::uint32_t Info = kAreaInfoRect);
    void StartMeasuring(TAreaChangedEvent Handler);
    void StopMeasuring();
    bool Measuring() const { return m_measuringMode; }

    TAreaChangedEvent OnAreaChanged;
    TPixelCombineEvent OnPixelCombine;

    // --- persisted pixel block: int32 width, int32 height (little-endian), then the pixels ---
    std::vector<std::uint8_t> WriteData() const;
    // Checks the block completely before touching the bitmap: a block that is too short or
    // carries an impossible size throws EBitmapException and leaves the bitmap as it was.
    void ReadData(const std::uint8_t* Data, std::size_t Size);

    // --- stretched drawing (Drawing.cpp) ---
    // StretchDraw onto Dst through the own resampler, draw mode and pixel handler.
    void DrawOnto(TCustomBitmap32* Dst, const TRect& DstRect, const TRect& SrcRect);
    void DrawOnto(TCustomBitmap32* Dst, const TRect& DstRect);
    void DrawFrom(const TRect& DstRect, const TRect& SrcRect, TCustomBitmap32* Src);

    // --- rectangles, lines, stipple (BitmapLines.cpp) ---
    void FillRect(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2,
                  TColor32 Value);
    void FillRectClipped(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2,
                         TColor32 Value);
    void FrameRectClipped(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2,
                          TColor32 Value);
    void FrameRectClipped(const TRect& R, TColor32 Value);
    void HorzLine(std::int32_t X1, std::int32_t Y, std::int32_t X2, TColor32 Value);
    void VertLine(std::int32_t X, std::int32_t Y1, std::int32_t Y2, TColor32 Value);
    void HorzLineClipped(std::int32_t X1, std::int32_t Y, std::int32_t X2, TColor32 Value);
    void VertLineClipped(std::int32_t X, std::int32_t Y1, std::int32_t Y2, TColor32 Value);
    void SetStipplePattern(const TArrayOfColor32& Value);
    TColor32 NextStippleColor();
    void AdvanceStipple(float LengthPixel);
    void StippledLine(float X1, float Y1, float X2, float Y2, bool IncludeLast = false);
    void StippledLineFixed(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2,
                           bool IncludeLast = false);
    void PutSubpixel(std::int32_t X, std::int32_t Y, TColor32 Value);
    void PutSubpixelClipped(std::int32_t X, std::int32_t Y, TColor32 Value);
    static bool ClipLine(std::int32_t& X1, std::int32_t& Y1, std::int32_t& X2, std::int32_t& Y2,
                         std::int32_t MinX, std::int32_t MinY, std::int32_t MaxX,
                         std::int32_t MaxY);

    const TArrayOfColor32& StipplePattern() const { return m_stipplePattern; }
    float StippleStep() const { return m_stippleStep; }
    void SetStippleStep(float Value) { m_stippleStep = Value; }
    float StippleCounter() const { return m_stippleCounter; }
    void SetStippleCounter(float Value) { m_stippleCounter = Value; }

protected:
    // For subclasses with another default backend.
    explicit TCustomBitmap32(std::shared_ptr<TCustomBackend> Backend);

    void ChangeSize(std::int32_t& Width, std::int32_t& Height, std::int32_t NewWidth,
                    std::int32_t NewHeight) override;
    // Takes the backend's pixel address and resets the clip rectangle.
    void BackendChanged();
    // Exchanges everything a move hands over (see the move constructor).
    void SwapContents(TCustomBitmap32& Other) noexcept;

    std::shared_ptr<TCustomBackend> m_backend;
    TColor32* m_bits = nullptr;
    TRect m_clipRect;
    TRect m_fixedClipRect; // 16.16
    TRect m_subClipRect;   // 24.8
    bool m_clipping = false;
    TDrawMode m_drawMode = dmOpaque;
    TCombineMode m_combineMode = cmBlend;
    TWrapMode m_wrapMode = wmClamp;
    std::uint32_t m_masterAlpha = 255;
    TColor32 m_outerColor = 0;
    float m_stippleCounter = 0.0f;
    TArrayOfColor32 m_stipplePattern;
    float m_stippleStep = 1.0f;
    TAreaChangedEvent m_oldOnAreaChanged;
    bool m_measuringMode = false;
    std::unique_ptr<TCustomResampler> m_resampler;
    TWrapProc m_wrapProcHorz = WrapClamp;
    TWrapProc m_wrapProcVert = WrapClamp;
    TBlendMasterIntoProc m_blendProc = BlendMasterInto;
};

// The bitmap of every picture of the system: its default backend is the drawing surface,
// whose fresh pixels read 0 after every size change.
class TBitmap32 : public TCustomBitmap32 {
public:
    TBitmap32();
    TBitmap32(TBitmap32&& Other);
    TBitmap32& operator=(TBitmap32&& Other);
};

} // namespace schauplatz
