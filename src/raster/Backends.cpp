#include "raster/Backends.h"

#include "raster/Blend.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace schauplatz {

namespace {
// Rows start on cache-line boundaries when the width allows; vector loops like it.
constexpr std::size_t kBufferAlignment = 64;
} // namespace

TCustomBackend::~TCustomBackend() = default;

void TCustomBackend::FreeDeleter::operator()(TColor32* P) const noexcept {
    std::free(P);
}

TColor32* TCustomBackend::ChangeSize(std::int32_t Width, std::int32_t Height, bool ClearBuffer) {
    m_bits.reset();
    if (Width <= 0 || Height <= 0) return nullptr;
    const std::size_t count = static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height);
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(TColor32) - kBufferAlignment)
        throw std::bad_alloc();
    std::size_t bytes = count * sizeof(TColor32);
    bytes = (bytes + kBufferAlignment - 1) / kBufferAlignment * kBufferAlignment;
    void* memory = std::aligned_alloc(kBufferAlignment, bytes);
    if (memory == nullptr) throw std::bad_alloc();
    m_bits.reset(static_cast<TColor32*>(memory));
    InitializeSurface(m_bits.get(), count, ClearBuffer);
    return m_bits.get();
}

void TMemoryBackend::InitializeSurface(TColor32* Bits, std::size_t Count, bool ClearBuffer) {
    if (ClearBuffer) FillPixels(Bits, Count, clBlack32);
}

void TSurfaceBackend::InitializeSurface(TColor32* Bits, std::size_t Count, bool /*ClearBuffer*/) {
    std::memset(Bits, 0, Count * sizeof(TColor32));
}

} // namespace schauplatz
