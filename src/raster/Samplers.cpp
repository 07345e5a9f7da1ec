#include "raster/Samplers.h"

#include "raster/Drawing.h"
#include "raster/FixedPoint.h"
#include "raster/Transformation.h"

#include <cmath>
#include <limits>

namespace schauplatz {

namespace {

// Round to nearest (ties to even) into an int32. Values far outside any bitmap (and NaN)
// become a coordinate that lies outside every bitmap instead of an undefined conversion.
std::int32_t RoundCoordinate(float V) {
    constexpr float kLimit = 1073741824.0f; // 2^30
    if (!(V > -kLimit && V < kLimit))
        return V > 0 ? static_cast<std::int32_t>(kLimit) : -static_cast<std::int32_t>(kLimit);
    return static_cast<std::int32_t>(std::nearbyint(V));
}

// Fixed-point 16.16 of a single, rounded to nearest even (low 32 bits, as stored in an int32).
std::int32_t RoundFixed(float V) {
    return RoundToInt32(static_cast<TExtended>(V) * 65536.0L);
}

} // namespace

// ---------------------------------------------------------------- TCustomSampler

TColor32 TCustomSampler::SampleInt(std::int32_t X, std::int32_t Y) {
    return SampleFixed(FixedFromInt(X), FixedFromInt(Y));
}

TColor32 TCustomSampler::SampleFixed(std::int32_t X, std::int32_t Y) {
    return SampleFloat(static_cast<float>(X) / 65536.0f, static_cast<float>(Y) / 65536.0f);
}

TColor32 TCustomSampler::SampleFloat(float X, float Y) {
    return SampleFixed(RoundFixed(X), RoundFixed(Y));
}

TFloatRect TCustomSampler::SampleBounds() const {
    constexpr float inf = std::numeric_limits<float>::infinity();
    return TFloatRect{-inf, -inf, inf, inf};
}

// ---------------------------------------------------------------- TCustomResampler

TCustomResampler::TCustomResampler(TCustomBitmap32& Bitmap)
    : m_bitmap(&Bitmap), m_clipRect(Bitmap.ClipRect()) {}

void TCustomResampler::SetPixelAccessMode(TPixelAccessMode Value) {
    if (m_pixelAccessMode == Value) return;
    m_pixelAccessMode = Value;
    Changed();
}

void TCustomResampler::AssignTo(TCustomResampler& Dst) const {
    Dst.SetPixelAccessMode(m_pixelAccessMode);
}

void TCustomResampler::Changed() {
    m_bitmap->Changed();
}

void TCustomResampler::PrepareSampling() {
    m_clipRect = m_bitmap->ClipRect();
}

TFloatRect TCustomResampler::SampleBounds() const {
    TFloatRect r = MakeFloatRect(m_bitmap->ClipRect());
    if (m_pixelAccessMode == pamTransparentEdge) {
        r.Left -= 1;
        r.Top -= 1;
        r.Right += 1;
        r.Bottom += 1;
    }
    return r;
}

// ---------------------------------------------------------------- TNearestResampler

TNearestResampler::TNearestResampler(TCustomBitmap32& Bitmap) : TCustomResampler(Bitmap) {}

void TNearestResampler::PrepareSampling() {
    TCustomResampler::PrepareSampling();
    switch (m_pixelAccessMode) {
    case pamUnsafe:
        m_access = &TNearestResampler::ReadUnsafe;
        break;
    case pamSafe:
        m_access = &TNearestResampler::ReadSafe;
        break;
    case pamWrap:
        m_access = &TNearestResampler::ReadWrap;
        break;
    case pamTransparentEdge:
        m_access = &TNearestResampler::ReadTransparentEdge;
        break;
    }
}

TColor32 TNearestResampler::ReadUnsafe(std::int32_t X, std::int32_t Y) const {
    return m_bitmap->GetPixel(X, Y);
}

TColor32 TNearestResampler::ReadSafe(std::int32_t X, std::int32_t Y) const {
    if (X < m_clipRect.Left || X >= m_clipRect.Right || Y < m_clipRect.Top ||
        Y >= m_clipRect.Bottom)
        return m_bitmap->OuterColor();
    return m_bitmap->GetPixel(X, Y);
}

TColor32 TNearestResampler::ReadWrap(std::int32_t X, std::int32_t Y) const {
    if (IsRectEmpty(m_clipRect)) return m_bitmap->OuterColor();
    const TWrapProc wrap = GetWrapProc(m_bitmap->WrapMode());
    return m_bitmap->GetPixel(wrap(X, m_clipRect.Left, m_clipRect.Right - 1),
                              wrap(Y, m_clipRect.Top, m_clipRect.Bottom - 1));
}

TColor32 TNearestResampler::ReadTransparentEdge(std::int32_t X, std::int32_t Y) const {
    // Nothing to clamp to in an empty rectangle.
    if (IsRectEmpty(m_clipRect)) return 0;
    const std::int32_t cx = WrapClamp(X, m_clipRect.Left, m_clipRect.Right - 1);
    const std::int32_t cy = WrapClamp(Y, m_clipRect.Top, m_clipRect.Bottom - 1);
    const TColor32 c = m_bitmap->GetPixel(cx, cy);
    return (cx != X || cy != Y) ? (c & 0x00FFFFFFu) : c;
}

TColor32 TNearestResampler::SampleInt(std::int32_t X, std::int32_t Y) {
    return (this->*m_access)(X, Y);
}

TColor32 TNearestResampler::SampleFixed(std::int32_t X, std::int32_t Y) {
    return (this->*m_access)(WrapAdd(X, kFixedNearHalf) >> kFixedShift,
                             WrapAdd(Y, kFixedNearHalf) >> kFixedShift);
}

TColor32 TNearestResampler::SampleFloat(float X, float Y) {
    return (this->*m_access)(RoundCoordinate(X), RoundCoordinate(Y));
}

TColor32 TNearestResampler::SampleOutside() {
    switch (m_pixelAccessMode) {
    case pamUnsafe:
    case pamSafe:
        return m_bitmap->OuterColor();
    case pamWrap:
    case pamTransparentEdge:
        break;
    }
    // A point just above and left of the rectangle, folded or clamped as the mode says.
    return (this->*m_access)(m_clipRect.Left - 1, m_clipRect.Top - 1);
}

void TNearestResampler::Resample(TCustomBitmap32* Dst, const TRect& DstRect, const TRect& DstClip,
                                 TCustomBitmap32* Src, const TRect& SrcRect, TDrawMode DrawMode,
                                 const TPixelCombineEvent& Handler) {
    if (Dst == nullptr) throw EBitmapException("Destination bitmap is nil");
    if (Src == nullptr) throw EBitmapException("Source bitmap is nil");
    NearestStretch(*Dst, DstRect, DstClip, *Src, SrcRect, DrawMode, Handler);
}

// ---------------------------------------------------------------- TNestedSampler

TCustomSampler& TNestedSampler::Nested() const {
    if (m_sampler == nullptr) throw ENestedException("Nested sampler is nil");
    return *m_sampler;
}

TColor32 TNestedSampler::SampleInt(std::int32_t X, std::int32_t Y) {
    return Nested().SampleInt(X, Y);
}
TColor32 TNestedSampler::SampleFixed(std::int32_t X, std::int32_t Y) {
    return Nested().SampleFixed(X, Y);
}
TColor32 TNestedSampler::SampleFloat(float X, float Y) {
    return Nested().SampleFloat(X, Y);
}
void TNestedSampler::PrepareSampling() {
    Nested().PrepareSampling();
}
void TNestedSampler::FinalizeSampling() {
    Nested().FinalizeSampling();
}
bool TNestedSampler::HasBounds() const {
    return Nested().HasBounds();
}
TFloatRect TNestedSampler::SampleBounds() const {
    return Nested().SampleBounds();
}
TColor32 TNestedSampler::SampleOutside() {
    return Nested().SampleOutside();
}

// ---------------------------------------------------------------- TTransformer

namespace {
TTransformation& RequireTransformation(TTransformation* T) {
    if (T == nullptr) throw ENestedException("Transformation is nil");
    return *T;
}
} // namespace

TColor32 TTransformer::SampleInt(std::int32_t X, std::int32_t Y) {
    return SampleFixed(FixedFromInt(X), FixedFromInt(Y));
}

TColor32 TTransformer::SampleFixed(std::int32_t X, std::int32_t Y) {
    TFixed u = 0;
    TFixed v = 0;
    if (!RequireTransformation(m_transformation)
             .ReverseFixed(WrapAdd(X, kFixedNearHalf), WrapAdd(Y, kFixedNearHalf), u, v))
        return Nested().SampleOutside();
    return Nested().SampleFixed(WrapSub(u, kFixedNearHalf), WrapSub(v, kFixedNearHalf));
}

TColor32 TTransformer::SampleFloat(float X, float Y) {
    float u = 0;
    float v = 0;
    if (!RequireTransformation(m_transformation).ReverseFloat(X + 0.5f, Y + 0.5f, u, v))
        return Nested().SampleOutside();
    return Nested().SampleFloat(u - 0.5f, v - 0.5f);
}

void TTransformer::PrepareSampling() {
    Nested().PrepareSampling();
    TTransformation& t = RequireTransformation(m_transformation);
    if (!t.Prepared()) t.Prepare();
}

bool TTransformer::HasBounds() const {
    return RequireTransformation(m_transformation).HasDestinationBounds() && Nested().HasBounds();
}

TFloatRect TTransformer::SampleBounds() const {
    TTransformation& t = RequireTransformation(m_transformation);
    return t.DestinationBounds(IntersectRect(Nested().SampleBounds(), t.SourceRect()));
}

// ---------------------------------------------------------------- registry

const std::vector<TResamplerClass>& ResamplerList() {
    static const std::vector<TResamplerClass> list{
        {"TNearestResampler",
         [](TCustomBitmap32& Bitmap) -> std::unique_ptr<TCustomResampler> {
             return std::make_unique<TNearestResampler>(Bitmap);
         }},
    };
    return list;
}

const TResamplerClass* FindResamplerClass(const std::string& Name) {
    for (const TResamplerClass& c : ResamplerList())
        if (c.Name == Name) return &c;
    return nullptr;
}

} // namespace schauplatz
