#include "engine/SpectrumPlane.h"

#include <cstring>
#include <limits>

namespace quarvel {

namespace {
constexpr std::size_t kPlaneAlignment = 64;
}

SpectrumPlane AllocatePlane(std::size_t count) {
    if (count == 0 || count > std::numeric_limits<std::size_t>::max() / sizeof(float) - 64) {
        return nullptr;
    }
    std::size_t bytes = count * sizeof(float);
    bytes = (bytes + kPlaneAlignment - 1) / kPlaneAlignment * kPlaneAlignment;
    return SpectrumPlane(static_cast<float*>(std::aligned_alloc(kPlaneAlignment, bytes)));
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
