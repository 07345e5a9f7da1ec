#pragma once

#include "raster/Bitmap32.h"
#include "raster/Color32.h"
#include "raster/Persistent.h"
#include "raster/Rect.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace schauplatz {

class TTransformation;

enum TPixelAccessMode : std::uint8_t { pamUnsafe, pamSafe, pamWrap, pamTransparentEdge };

class ENestedException : public std::runtime_error {
public:
    explicit ENestedException(const std::string& Message) : std::runtime_error(Message) {}
};

// Tells the colour at a point. The fixed and float forms default to each other, so a
// subclass must override at least one of them.
class TCustomSampler : public TNotifiablePersistent {
public:
    virtual TColor32 SampleInt(std::int32_t X, std::int32_t Y);
    virtual TColor32 SampleFixed(std::int32_t X, std::int32_t Y); // 16.16
    virtual TColor32 SampleFloat(float X, float Y);
    virtual void PrepareSampling() {}
    virtual void FinalizeSampling() {}
    virtual bool HasBounds() const { return false; }
    virtual TFloatRect SampleBounds() const;
    // What the sampler gives for a point outside its source (a transformer answers this for
    // points on the vanishing line).
    virtual TColor32 SampleOutside() { return 0; }
};

// Reads the pixels of the bitmap that owns it. The snapshot of the bitmap's clip rectangle
// is taken by PrepareSampling. Changes of the resampler are reported as Changed of its
// bitmap.
class TCustomResampler : public TCustomSampler {
public:
    explicit TCustomResampler(TCustomBitmap32& Bitmap);

    TCustomBitmap32& Bitmap() const { return *m_bitmap; }
    TPixelAccessMode PixelAccessMode() const { return m_pixelAccessMode; }
    void SetPixelAccessMode(TPixelAccessMode Value);
    const TRect& ClipRectSnapshot() const { return m_clipRect; }

    virtual std::string ClassName() const = 0;
    virtual float KernelWidth() const { return 0.0f; }
    // Scaled drawing of SrcRect of Src onto DstRect of Dst, limited to DstClip.
    virtual void Resample(TCustomBitmap32* Dst, const TRect& DstRect, const TRect& DstClip,
                          TCustomBitmap32* Src, const TRect& SrcRect, TDrawMode DrawMode,
                          const TPixelCombineEvent& Handler) = 0;
    // Hands this resampler's settings to another one (CopyPropertiesTo of the bitmap).
    virtual void AssignTo(TCustomResampler& Dst) const;

    void Changed() override;
    void PrepareSampling() override;
    bool HasBounds() const override { return m_pixelAccessMode != pamWrap; }
    TFloatRect SampleBounds() const override;

protected:
    friend class TCustomBitmap32; // re-points the back reference when a bitmap is moved

    TCustomBitmap32* m_bitmap;
    TRect m_clipRect;
    TPixelAccessMode m_pixelAccessMode = pamSafe;
};

// Nearest-neighbour reading with the four pixel access modes.
class TNearestResampler : public TCustomResampler {
public:
    explicit TNearestResampler(TCustomBitmap32& Bitmap);

    std::string ClassName() const override { return "TNearestResampler"; }
    float KernelWidth() const override { return 1.0f; }
    void Resample(TCustomBitmap32* Dst, const TRect& DstRect, const TRect& DstClip,
                  TCustomBitmap32* Src, const TRect& SrcRect, TDrawMode DrawMode,
                  const TPixelCombineEvent& Handler) override;

    TColor32 SampleInt(std::int32_t X, std::int32_t Y) override;
    TColor32 SampleFixed(std::int32_t X, std::int32_t Y) override;
    TColor32 SampleFloat(float X, float Y) override;
    void PrepareSampling() override;
    TColor32 SampleOutside() override;

private:
    using TAccessFn = TColor32 (TNearestResampler::*)(std::int32_t X, std::int32_t Y) const;
    TColor32 ReadUnsafe(std::int32_t X, std::int32_t Y) const;
    TColor32 ReadSafe(std::int32_t X, std::int32_t Y) const;
    TColor32 ReadWrap(std::int32_t X, std::int32_t Y) const;
    TColor32 ReadTransparentEdge(std::int32_t X, std::int32_t Y) const;

    TAccessFn m_access = &TNearestResampler::ReadSafe;
};

// Forwards to another sampler, which it does not own.
class TNestedSampler : public TCustomSampler {
public:
    explicit TNestedSampler(TCustomSampler* Sampler = nullptr) : m_sampler(Sampler) {}

    TCustomSampler* Sampler() const { return m_sampler; }
    void SetSampler(TCustomSampler* Value) { m_sampler = Value; }

    TColor32 SampleInt(std::int32_t X, std::int32_t Y) override;
    TColor32 SampleFixed(std::int32_t X, std::int32_t Y) override;
    TColor32 SampleFloat(float X, float Y) override;
    // These four throw ENestedException("Nested sampler is nil") without a nested sampler.
    void PrepareSampling() override;
    void FinalizeSampling() override;
    bool HasBounds() const override;
    TFloatRect SampleBounds() const override;
    TColor32 SampleOutside() override;

protected:
    TCustomSampler& Nested() const;

    TCustomSampler* m_sampler;
};

// Maps the asked point back through a transformation (not owned) and asks the nested sampler
// there. Integer points are taken at the pixel centre, one 16.16 step short of x + 0.5.
class TTransformer : public TNestedSampler {
public:
    TTransformer(TCustomSampler* Sampler, TTransformation* Transformation)
        : TNestedSampler(Sampler), m_transformation(Transformation) {}

    TTransformation* Transformation() const { return m_transformation; }
    void SetTransformation(TTransformation* Value) { m_transformation = Value; }

    TColor32 SampleInt(std::int32_t X, std::int32_t Y) override;
    TColor32 SampleFixed(std::int32_t X, std::int32_t Y) override;
    TColor32 SampleFloat(float X, float Y) override;
    // Prepares the nested sampler, then the transformation when it is not prepared.
    void PrepareSampling() override;
    bool HasBounds() const override;
    TFloatRect SampleBounds() const override;

private:
    TTransformation* m_transformation;
};

// --- registry of resampler classes behind ResamplerClassName ---
using TResamplerFactory = std::function<std::unique_ptr<TCustomResampler>(TCustomBitmap32&)>;

struct TResamplerClass {
    std::string Name;
    TResamplerFactory Create;
};

// Only kinds that really work are registered; the system itself uses TNearestResampler.
const std::vector<TResamplerClass>& ResamplerList();
const TResamplerClass* FindResamplerClass(const std::string& Name);

} // namespace schauplatz
