#include "engine/PlaneMemory.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "engine/LargeBlocks.h"
#include "engine/ParallelFor.h"

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
        // In pieces of 2 MiB, so that fresh pages are faulted in by every worker.
        constexpr std::size_t kPiece = (std::size_t{2} << 20) / sizeof(float);
        ParallelFor(0, (count + kPiece - 1) / kPiece, [&](std::size_t piece) {
            const std::size_t first = piece * kPiece;
            std::memcpy(copy.get() + first, source + first,
                        std::min(kPiece, count - first) * sizeof(float));
        });
    }
    return copy;
}

bool MakePlanesOwn(ChannelSpectrum& spectrum, std::size_t count) {
    if (!spectrum.IsComplete()) {
        return false;
    }
    // Both copies are made before either plane is replaced: all or nothing. A plane from
    // CopyPlane is taken over by SharedPlane with a small allocation of its own, which may fail
    // as well.
    try {
        SharedPlane re;
        SharedPlane im;
        if (spectrum.re.use_count() > 1 && !(re = CopyPlane(spectrum.re.get(), count))) {
            return false;
        }
        if (spectrum.im.use_count() > 1 && !(im = CopyPlane(spectrum.im.get(), count))) {
            return false;
        }
        if (re) {
            spectrum.re = std::move(re);
        }
        if (im) {
            spectrum.im = std::move(im);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace quarvel
