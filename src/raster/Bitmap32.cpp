#include "raster/Bitmap32.h"

#include "raster/Samplers.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <utility>

namespace schauplatz {

// ---------------------------------------------------------------- wrap functions

std::int32_t WrapClamp(std::int32_t Value, std::int32_t Min, std::int32_t Max) {
    if (Value < Min) return Min;
    if (Value > Max) return Max;
    return Value;
}

std::int32_t WrapRepeat(std::int32_t Value, std::int32_t Min, std::int32_t Max) {
    const std::int64_t size = static_cast<std::int64_t>(Max) - Min + 1;
    if (size <= 0) return Min;
    std::int64_t v = (static_cast<std::int64_t>(Value) - Min) % size;
    if (v < 0) v += size;
    return static_cast<std::int32_t>(Min + v);
}

std::int32_t WrapMirror(std::int32_t Value, std::int32_t Min, std::int32_t Max) {
    const std::int64_t size = static_cast<std::int64_t>(Max) - Min + 1;
    if (size <= 0) return Min;
    const std::int64_t period = 2 * size;
    std::int64_t v = (static_cast<std::int64_t>(Value) - Min) % period;
    if (v < 0) v += period;
    if (v >= size) v = period - 1 - v;
    return static_cast<std::int32_t>(Min + v);
}

TWrapProc GetWrapProc(TWrapMode Mode) {
    switch (Mode) {
    case wmRepeat:
        return WrapRepeat;
    case wmMirror:
        return WrapMirror;
    case wmClamp:
        break;
    }
    return WrapClamp;
}

// ---------------------------------------------------------------- TCustomMap

void TCustomMap::SetHeight(std::int32_t NewHeight) {
    SetSize(m_width, NewHeight);
}

void TCustomMap::SetWidth(std::int32_t NewWidth) {
    SetSize(NewWidth, m_height);
}

void TCustomMap::MakeEmpty() {
    SetSize(0, 0);
}

bool TCustomMap::IsEmpty() const {
    return m_width == 0 || m_height == 0;
}

bool TCustomMap::SetSize(std::int32_t NewWidth, std::int32_t NewHeight) {
    NewWidth = std::max(NewWidth, 0);
    NewHeight = std::max(NewHeight, 0);
    if (NewWidth == m_width && NewHeight == m_height) return false;
    ChangeSize(m_width, m_height, NewWidth, NewHeight);
    Changed();
    Resized();
    return true;
}

void TCustomMap::ChangeSize(std::int32_t& Width, std::int32_t& Height, std::int32_t NewWidth,
                            std::int32_t NewHeight) {
    Width = NewWidth;
    Height = NewHeight;
}

void TCustomMap::Resized() {
    if (OnResize) OnResize(this);
}

// ---------------------------------------------------------------- TCustomBitmap32

TCustomBitmap32::TCustomBitmap32() : TCustomBitmap32(std::make_shared<TMemoryBackend>()) {}

TCustomBitmap32::TCustomBitmap32(std::shared_ptr<TCustomBackend> Backend)
    : m_backend(std::move(Backend)) {
    m_resampler = std::make_unique<TNearestResampler>(*this);
    BackendChanged();
}

TCustomBitmap32::TCustomBitmap32(TCustomBitmap32&& Other) : TCustomBitmap32() {
    SwapContents(Other);
}

TCustomBitmap32& TCustomBitmap32::operator=(TCustomBitmap32&& Other) {
    if (&Other != this) SwapContents(Other);
    return *this;
}

void TCustomBitmap32::SwapContents(TCustomBitmap32& Other) noexcept {
    using std::swap;
    swap(m_width, Other.m_width);
    swap(m_height, Other.m_height);
    swap(m_backend, Other.m_backend);
    swap(m_bits, Other.m_bits);
    swap(m_clipRect, Other.m_clipRect);
    swap(m_fixedClipRect, Other.m_fixedClipRect);
    swap(m_subClipRect, Other.m_subClipRect);
    swap(m_clipping, Other.m_clipping);
    swap(m_drawMode, Other.m_drawMode);
    swap(m_combineMode, Other.m_combineMode);
    swap(m_wrapMode, Other.m_wrapMode);
    swap(m_masterAlpha, Other.m_masterAlpha);
    swap(m_outerColor, Other.m_outerColor);
    swap(m_stippleCounter, Other.m_stippleCounter);
    swap(m_stipplePattern, Other.m_stipplePattern);
    swap(m_stippleStep, Other.m_stippleStep);
    swap(OnPixelCombine, Other.OnPixelCombine);
    swap(m_resampler, Other.m_resampler);
    swap(m_wrapProcHorz, Other.m_wrapProcHorz);
    swap(m_wrapProcVert, Other.m_wrapProcVert);
    swap(m_blendProc, Other.m_blendProc);
    if (m_resampler) m_resampler->m_bitmap = this;
    if (Other.m_resampler) Other.m_resampler->m_bitmap = &Other;
}

TCustomBitmap32::~TCustomBitmap32() {
    // The memory goes without notifications: handlers must not see a bitmap in destruction.
    BeginUpdate();
    TLockBracket lock(*this);
    m_bits = nullptr;
    m_width = 0;
    m_height = 0;
    m_resampler.reset();
    m_backend.reset();
}

void TCustomBitmap32::ChangeSize(std::int32_t& Width, std::int32_t& Height, std::int32_t NewWidth,
                                 std::int32_t NewHeight) {
    // The size is 0 while the new memory is requested, so a failed request leaves an empty
    // bitmap behind rather than a size without memory.
    m_bits = nullptr;
    Width = 0;
    Height = 0;
    try {
        m_backend->ChangeSize(NewWidth, NewHeight, true);
    } catch (...) {
        BackendChanged();
        throw;
    }
    Width = NewWidth;
    Height = NewHeight;
    BackendChanged();
}

void TCustomBitmap32::BackendChanged() {
    m_bits = m_backend->Bits();
    ResetClipRect();
}

bool TCustomBitmap32::IsEmpty() const {
    return TCustomMap::IsEmpty() || m_bits == nullptr;
}

void TCustomBitmap32::Clear(TColor32 C) {
    if (IsEmpty()) return;
    if (!m_measuringMode) {
        if (m_clipping) {
            const auto w = static_cast<std::size_t>(m_clipRect.Width());
            for (std::int32_t y = m_clipRect.Top; y < m_clipRect.Bottom; ++y)
                FillPixels(PixelPointer(m_clipRect.Left, y), w, C);
        } else {
            FillPixels(m_bits, static_cast<std::size_t>(m_width) * m_height, C);
        }
    }
    Changed();
}

TColor32 TCustomBitmap32::GetPixelSafe(std::int32_t X, std::int32_t Y) const {
    if (X < m_clipRect.Left || X >= m_clipRect.Right || Y < m_clipRect.Top ||
        Y >= m_clipRect.Bottom)
        return m_outerColor;
    return GetPixel(X, Y);
}

TColor32 TCustomBitmap32::GetPixelW(std::int32_t X, std::int32_t Y) const {
    if (IsRectEmpty(m_clipRect)) return m_outerColor;
    return GetPixel(m_wrapProcHorz(X, m_clipRect.Left, m_clipRect.Right - 1),
                    m_wrapProcVert(Y, m_clipRect.Top, m_clipRect.Bottom - 1));
}

namespace {
// Edge * factor in 32 bits, wrapping like the integer arithmetic the line code expects.
std::int32_t ScaleEdge(std::int32_t V, std::uint32_t Factor) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(V) * Factor);
}
} // namespace

void TCustomBitmap32::SetClipRect(const TRect& Value) {
    m_clipRect = IntersectRect(Value, BoundsRect());
    m_fixedClipRect =
        TRect{ScaleEdge(m_clipRect.Left, 65536), ScaleEdge(m_clipRect.Top, 65536),
              ScaleEdge(m_clipRect.Right, 65536), ScaleEdge(m_clipRect.Bottom, 65536)};
    m_subClipRect = TRect{ScaleEdge(m_clipRect.Left, 256), ScaleEdge(m_clipRect.Top, 256),
                          ScaleEdge(m_clipRect.Right, 256), ScaleEdge(m_clipRect.Bottom, 256)};
    m_clipping = !(m_clipRect == BoundsRect());
    m_wrapProcHorz = GetWrapProc(m_wrapMode);
    m_wrapProcVert = GetWrapProc(m_wrapMode);
}

// ---------------------------------------------------------------- copies

void TCustomBitmap32::Assign(const TCustomBitmap32* Source) {
    {
        TUpdateBracket bracket(*this);
        if (Source == nullptr) {
            MakeEmpty();
        } else {
            Source->CopyPixelsTo(*this);
            Source->CopyPropertiesTo(*this);
        }
    }
    Changed();
}

void TCustomBitmap32::CopyPixelsTo(TCustomBitmap32& Dst) const {
    Dst.SetSize(m_width, m_height);
    if (!IsEmpty()) MovePixels(m_bits, Dst.m_bits, static_cast<std::size_t>(m_width) * m_height);
}

void TCustomBitmap32::CopyPropertiesTo(TCustomBitmap32& Dst) const {
    Dst.SetDrawMode(m_drawMode);
    Dst.SetCombineMode(m_combineMode);
    Dst.SetWrapMode(m_wrapMode);
    Dst.SetMasterAlpha(m_masterAlpha);
    Dst.m_outerColor = m_outerColor;
    Dst.SetResamplerClassName(ResamplerClassName());
    if (m_resampler && Dst.m_resampler && &Dst != this) m_resampler->AssignTo(*Dst.m_resampler);
}

void TCustomBitmap32::MirrorHorizontally(TCustomBitmap32* Dst) {
    if (Dst == nullptr || Dst == this) {
        if (!IsEmpty()) {
            for (std::int32_t y = 0; y < m_height; ++y) {
                TColor32* row = RowPointer(y);
                std::reverse(row, row + m_width);
            }
        }
        Changed();
        return;
    }
    {
        TUpdateBracket bracket(*Dst);
        Dst->SetSize(m_width, m_height);
        if (!IsEmpty()) {
            for (std::int32_t y = 0; y < m_height; ++y)
                std::reverse_copy(RowPointer(y), RowPointer(y) + m_width, Dst->RowPointer(y));
        }
    }
    Dst->Changed();
}

void TCustomBitmap32::SetAllAlpha(std::uint8_t Alpha) {
    if (!m_measuringMode && !IsEmpty()) {
        const std::uint32_t a = static_cast<std::uint32_t>(Alpha) << 24;
        const std::size_t n = static_cast<std::size_t>(m_width) * m_height;
        for (std::size_t i = 0; i < n; ++i)
            m_bits[i] = (m_bits[i] & 0x00FFFFFFu) | a;
    }
    Changed();
}

// ---------------------------------------------------------------- properties

void TCustomBitmap32::SetDrawMode(TDrawMode Value) {
    if (m_drawMode == Value) return;
    m_drawMode = Value;
    Changed();
}

void TCustomBitmap32::SetCombineMode(TCombineMode Value) {
    if (m_combineMode == Value) return;
    m_combineMode = Value;
    m_blendProc = Value == cmMerge ? MergeMasterInto : BlendMasterInto;
    Changed();
}

void TCustomBitmap32::SetWrapMode(TWrapMode Value) {
    if (m_wrapMode == Value) return;
    m_wrapMode = Value;
    m_wrapProcHorz = GetWrapProc(Value);
    m_wrapProcVert = GetWrapProc(Value);
    Changed();
}

void TCustomBitmap32::SetMasterAlpha(std::uint32_t Value) {
    if (m_masterAlpha == Value) return;
    m_masterAlpha = Value;
    Changed();
}

void TCustomBitmap32::SetResampler(std::unique_ptr<TCustomResampler> Value) {
    if (!Value) return;
    if (&Value->Bitmap() != this)
        throw EAssertionFailed("A resampler can only be installed in its own bitmap");
    m_resampler = std::move(Value);
    Changed();
}

std::string TCustomBitmap32::ResamplerClassName() const {
    return m_resampler ? m_resampler->ClassName() : std::string();
}

void TCustomBitmap32::SetResamplerClassName(const std::string& Value) {
    if (Value.empty() || Value == ResamplerClassName()) return;
    if (const TResamplerClass* cls = FindResamplerClass(Value)) SetResampler(cls->Create(*this));
}

// ---------------------------------------------------------------- notification

void TCustomBitmap32::Changed() {
    AreaChanged(BoundsRect(), kAreaInfoRect);
}

void TCustomBitmap32::AreaChanged(const TRect& Area, std::uint32_t Info) {
    if ((m_updateCount == 0 || m_measuringMode) && OnAreaChanged) OnAreaChanged(this, Area, Info);
    if (!m_measuringMode && m_updateCount == 0 && OnChange) OnChange(this);
}

void TCustomBitmap32::StartMeasuring(TAreaChangedEvent Handler) {
    m_measuringMode = true;
    m_oldOnAreaChanged = std::move(OnAreaChanged);
    OnAreaChanged = std::move(Handler);
}

void TCustomBitmap32::StopMeasuring() {
    m_measuringMode = false;
    OnAreaChanged = std::move(m_oldOnAreaChanged);
    m_oldOnAreaChanged = nullptr;
}

// ---------------------------------------------------------------- Data block

static_assert(std::endian::native == std::endian::little,
              "the pixel block is stored in memory order, which is little-endian");

namespace {
constexpr std::size_t kDataHeaderSize = 8;
}

std::vector<std::uint8_t> TCustomBitmap32::WriteData() const {
    const std::size_t pixelBytes =
        IsEmpty() ? 0 : static_cast<std::size_t>(m_width) * m_height * sizeof(TColor32);
    std::vector<std::uint8_t> out(kDataHeaderSize + pixelBytes);
    std::memcpy(out.data(), &m_width, 4);
    std::memcpy(out.data() + 4, &m_height, 4);
    if (pixelBytes != 0) std::memcpy(out.data() + kDataHeaderSize, m_bits, pixelBytes);
    return out;
}

void TCustomBitmap32::ReadData(const std::uint8_t* Data, std::size_t Size) {
    if (Data == nullptr || Size < kDataHeaderSize)
        throw EBitmapException("Bitmap data block too short: " + std::to_string(Size) +
                               " bytes, the header alone needs 8");
    std::int32_t w = 0;
    std::int32_t h = 0;
    std::memcpy(&w, Data, 4);
    std::memcpy(&h, Data + 4, 4);
    const std::uint64_t cw = static_cast<std::uint64_t>(std::max(w, 0));
    const std::uint64_t ch = static_cast<std::uint64_t>(std::max(h, 0));
    const std::uint64_t pixelBytes = cw * ch * sizeof(TColor32);
    if (pixelBytes > Size - kDataHeaderSize)
        throw EBitmapException("Bitmap data block of " + std::to_string(Size) +
                               " bytes too short for " + std::to_string(w) + " x " +
                               std::to_string(h) + " pixels");
    SetSize(w, h);
    if (!IsEmpty()) std::memcpy(m_bits, Data + kDataHeaderSize, pixelBytes);
    Changed();
}

// ---------------------------------------------------------------- TBitmap32

TBitmap32::TBitmap32() : TCustomBitmap32(std::make_shared<TSurfaceBackend>()) {}

TBitmap32::TBitmap32(TBitmap32&& Other) : TBitmap32() {
    SwapContents(Other);
}

TBitmap32& TBitmap32::operator=(TBitmap32&& Other) {
    if (&Other != this) SwapContents(Other);
    return *this;
}

} // namespace schauplatz
