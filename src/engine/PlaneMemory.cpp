#include "engine/PlaneMemory.h"

#include <cstring>
#include <limits>

#include "engine/LargeBlocks.h"

namespace quarvel {

namespace {
constexpr std::size_t kPlaneAlignment = 64;
}

void PlaneDeleter::operator()(float* plane) const noexcept {
    if (!ReleaseLargeBlock(plane)) {
        std::free(plane);
    }
}

SpectrumPlane AllocatePlane(std::size_t count) {
    if (count == 0 || count > std::numeric_limits<std::size_t>::max() / sizeof(float) - 64) {
        return nullptr;
    }
    const std::size_t bytes = count * sizeof(float);
    // Large planes come in 2 MiB pages and are reused after release (see LargeBlocks).
    if (bytes >= kLargeBlockBytes) {
        return SpectrumPlane(static_cast<float*>(AcquireLargeBlock(bytes, false)));
    }
    const std::size_t rounded = (bytes + kPlaneAlignment - 1) / kPlaneAlignment * kPlaneAlignment;
    return SpectrumPlane(static_cast<float*>(std::aligned_alloc(kPlaneAlignment, rounded)));
}

void BytePlaneDeleter::operator()(std::uint8_t* plane) const noexcept {
    if (!ReleaseLargeBlock(plane)) {
        std::free(plane);
    }
}

BytePlane AllocateBytePlane(std::size_t count) {
    if (count == 0) {
        return nullptr;
    }
    return BytePlane(static_cast<std::uint8_t*>(
        count >= kLargeBlockBytes ? AcquireLargeBlock(count, false) : std::malloc(count)));
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
