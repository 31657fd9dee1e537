#include "engine/SpectrumPlane.h"

#include <sys/mman.h>

#include <cstring>
#include <limits>

namespace quarvel {

namespace {

constexpr std::size_t kPlaneAlignment = 64;

/// Planes from this size on are laid out in 2 MiB pages where the system offers them. The
/// column passes of the transform and the filters walk a plane down its columns; with 4 KiB
/// pages nearly every step of such a walk needs a new address translation.
constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;
constexpr std::size_t kLargePlaneBytes = 2 * kLargePageBytes;

std::size_t RoundUp(std::size_t bytes, std::size_t multiple) {
    return (bytes + multiple - 1) / multiple * multiple;
}

}  // namespace

SpectrumPlane AllocatePlane(std::size_t count) {
    if (count == 0 ||
        count > std::numeric_limits<std::size_t>::max() / sizeof(float) - 2 * kLargePageBytes) {
        return nullptr;
    }
    const std::size_t bytes = count * sizeof(float);
    if (bytes < kLargePlaneBytes) {
        return SpectrumPlane(static_cast<float*>(
            std::aligned_alloc(kPlaneAlignment, RoundUp(bytes, kPlaneAlignment))));
    }
    const std::size_t rounded = RoundUp(bytes, kLargePageBytes);
    void* memory = std::aligned_alloc(kLargePageBytes, rounded);
    if (memory != nullptr) {
        // Only advice: where large pages are not available the plane works as well, slower.
        ::madvise(memory, rounded, MADV_HUGEPAGE);
    }
    return SpectrumPlane(static_cast<float*>(memory));
}

SpectrumPlane CopyPlane(const float* source, std::size_t count) {
    if (source == nullptr) {
        return nullptr;
    }
    SpectrumPlane copy = AllocatePlane(count);
    if (copy) {
        std::memcpy(copy.get(), source, count * sizeof(float));
    }
    return copy;
}

}  // namespace quarvel
