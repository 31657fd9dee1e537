#include "engine/PlaneMemory.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

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

bool MakeRowsOwn(ChannelSpectrum& spectrum, std::size_t width, std::size_t height,
                 const std::vector<IndexRange>& rows) {
    if (!spectrum.IsComplete()) {
        return false;
    }
    if (!spectrum.IsShared() && spectrum.HoldsAllRows()) {
        return true;
    }
    try {
        // Everything that can fail comes first: the new planes and the list of inherited rows
        // are made beside the spectrum and handed over only when complete.
        std::shared_ptr<InheritedRows> inherited;
        SharedPlane re;
        SharedPlane im;
        if (spectrum.IsShared()) {
            // Planes of the full size whose rows are faulted in only as they become their own.
            re = AllocatePlane(width * height);
            im = AllocatePlane(width * height);
            if (!re || !im) {
                return false;
            }
            inherited = std::make_shared<InheritedRows>();
            if (spectrum.inherited) {
                // Inherit from where the shared spectrum inherits, so that no chain grows:
                // the rows it owns are copied below.
                *inherited = *spectrum.inherited;
            } else {
                inherited->re = spectrum.re;
                inherited->im = spectrum.im;
                inherited->own.assign(height, 0);
            }
        } else {
            inherited = std::make_shared<InheritedRows>(*spectrum.inherited);
        }
        std::vector<std::uint8_t> wanted(height, 0);
        for (const IndexRange& range : rows) {
            for (std::uint64_t y = range.begin; y < std::min<std::uint64_t>(range.end, height);
                 ++y) {
                wanted[y] = 1;
            }
        }

        // Nothing below fails. The rows the spectrum owned already come along when its planes
        // are replaced; rows wanted now come from where they were read so far.
        const ChannelSpectrum before = spectrum;
        const PlaneRows from = before.Rows();
        const std::uint8_t* owned = before.inherited ? before.inherited->own.data() : nullptr;
        if (re) {
            spectrum.re = std::move(re);
            spectrum.im = std::move(im);
        }
        float* toRe = spectrum.re.get();
        float* toIm = spectrum.im.get();
        const bool newPlanes = toRe != before.re.get();
        ParallelFor(0, height, [&](std::size_t y) {
            // owned is null when the planes replaced held every row: the new ones inherit them.
            const bool ownedBefore = owned != nullptr && owned[y] != 0;
            const bool copy = wanted[y] != 0 ? newPlanes || !ownedBefore : newPlanes && ownedBefore;
            if (copy) {
                std::memcpy(toRe + y * width, from.Re(y, width), width * sizeof(float));
                std::memcpy(toIm + y * width, from.Im(y, width), width * sizeof(float));
            }
        });
        for (std::size_t y = 0; y < height; ++y) {
            if (wanted[y] != 0 && inherited->own[y] == 0) {
                inherited->own[y] = 1;
                ++inherited->ownCount;
            }
        }
        if (inherited->ownCount == height) {
            spectrum.inherited.reset();
        } else {
            spectrum.inherited = std::move(inherited);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool MakePlanesOwn(ChannelSpectrum& spectrum, std::size_t width, std::size_t height) {
    return MakeRowsOwn(spectrum, width, height, {IndexRange{0, height}});
}

}  // namespace quarvel
