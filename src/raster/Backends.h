#pragma once

#include "raster/Color32.h"

#include <cstdint>
#include <memory>

namespace schauplatz {

// Owner of a bitmap's pixel memory. Every size change first releases the old memory, so no
// content survives it. Bitmaps hold their backend through shared ownership: a backend lives
// as long as the last bitmap that holds it.
class TCustomBackend {
public:
    TCustomBackend() = default;
    TCustomBackend(const TCustomBackend&) = delete;
    TCustomBackend& operator=(const TCustomBackend&) = delete;
    virtual ~TCustomBackend();

    // Releases the old memory, then obtains Width * Height pixels when both are above 0.
    // Returns the new pixel address (nullptr for an empty size). On an allocation failure
    // std::bad_alloc propagates and the backend holds no memory.
    TColor32* ChangeSize(std::int32_t Width, std::int32_t Height, bool ClearBuffer);
    TColor32* Bits() const { return m_bits.get(); }
    bool Empty() const { return m_bits == nullptr; }

protected:
    // How fresh memory is filled; ClearBuffer says whether the size change asked for it.
    virtual void InitializeSurface(TColor32* Bits, std::size_t Count, bool ClearBuffer) = 0;

private:
    struct FreeDeleter {
        void operator()(TColor32* P) const noexcept;
    };
    std::unique_ptr<TColor32, FreeDeleter> m_bits;
};

// Plain memory; a clearing size change fills it with opaque black 0xFF000000.
class TMemoryBackend : public TCustomBackend {
protected:
    void InitializeSurface(TColor32* Bits, std::size_t Count, bool ClearBuffer) override;
};

// The drawing surface of a view's bitmap: 32-bit top-down memory whose fresh pixels read 0,
// whatever the clearing request says. The layered view copies it to the screen.
class TSurfaceBackend : public TCustomBackend {
protected:
    void InitializeSurface(TColor32* Bits, std::size_t Count, bool ClearBuffer) override;
};

} // namespace schauplatz
