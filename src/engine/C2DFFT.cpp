#include "engine/C2DFFT.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <memory>
#include <new>
#include <type_traits>

#include "engine/FastKernels.h"
#include "engine/ParallelFor.h"

namespace quarvel {

namespace {

constexpr std::uint64_t kMaxAxisLength = 65536;

bool IsSupportedLength(std::uint64_t n) {
    return n >= 1 && n <= kMaxAxisLength && (n & (n - 1)) == 0;
}

/// log2(n) for a power of two n, taken as the single-precision ratio of natural logarithms
/// rounded to the nearest integer (n = 1 gives 0 stages).
std::uint32_t StageCount(std::uint64_t n) {
    return static_cast<std::uint32_t>(std::log(static_cast<float>(n)) / std::log(2.0f) + 0.5f);
}

/// Fills the trigonometric and stage tables of one axis of length n.
///
/// Stage s has span = n / 2^(s+1). Butterfly k of that stage reads positions p and p + span,
/// where p is k with a zero bit inserted at the span bit, and rotates the second value by the
/// twiddle index w = k with the bits below span cleared. For n = 8:
///   stage 0 (span 4): p = 0 1 2 3, w = 0 0 0 0
///   stage 1 (span 2): p = 0 1 4 5, w = 0 0 2 2
///   stage 2 (span 1): p = 0 2 4 6, w = 0 1 2 3
void BuildAxisTables(std::uint64_t n, std::vector<float>& cosTable, std::vector<float>& sinTable,
                     std::vector<std::uint32_t>& positions, std::vector<std::uint32_t>& twiddles) {
    const std::uint64_t half = n / 2;
    // The step is divided in double from the single-precision length, then kept in single.
    const auto step =
        static_cast<float>(6.283185307179586 / static_cast<double>(static_cast<float>(n)));
    cosTable.resize(half);
    sinTable.resize(half);
    for (std::uint64_t i = 0; i < half; ++i) {
        const float angle = static_cast<float>(i) * step;
        cosTable[i] = std::cos(angle);
        sinTable[i] = std::sin(angle);
    }
    // Every value stays below 65536 for the supported lengths.
    const std::uint32_t stages = StageCount(n);
    positions.resize(stages * half);
    twiddles.resize(stages * half);
    for (std::uint32_t s = 0; s < stages; ++s) {
        const std::uint64_t span = n >> (s + 1);
        for (std::uint64_t k = 0; k < half; ++k) {
            const std::uint64_t twiddle = k / span * span;
            twiddles[s * half + k] = static_cast<std::uint32_t>(twiddle);
            positions[s * half + k] = static_cast<std::uint32_t>(k + twiddle);
        }
    }
}

/// The constant-geometry radix-2 kernel behind FFT1D, with caller-provided scratch of n / 2
/// floats each in scratchRe and scratchIm.
///
/// Each stage writes the sums of its butterflies in place into slots 0 .. n/2 - 1 (a butterfly
/// only ever reads slots at or above its own index, so no unread value is overwritten), keeping
/// the rotated partners b aside; the differences a - b then go to the upper half as
/// (a + b) - 2b, since a itself may already be gone.
void Butterflies(float* re, float* im, std::uint64_t n, const float* cosTable,
                 const float* sinTable, const std::uint32_t* positions,
                 const std::uint32_t* twiddles, float* scratchRe, float* scratchIm) {
    const std::uint64_t half = n / 2;
    const std::uint32_t stages = StageCount(n);
    for (std::uint32_t s = 0; s < stages; ++s) {
        const std::uint64_t span = n >> (s + 1);
        const std::uint32_t* stagePositions = positions + s * half;
        const std::uint32_t* stageTwiddles = twiddles + s * half;
        for (std::uint64_t k = 0; k < half; ++k) {
            const std::uint64_t p = stagePositions[k];
            const std::uint32_t w = stageTwiddles[k];
            const float c = cosTable[w];
            const float d = sinTable[w];
            // Rotate the partner by e^(-2 pi i w / n).
            const float bRe = re[p + span] * c + im[p + span] * d;
            const float bIm = im[p + span] * c - re[p + span] * d;
            scratchRe[k] = bRe;
            scratchIm[k] = bIm;
            re[k] = bRe + re[p];
            im[k] = bIm + im[p];
        }
        for (std::uint64_t k = 0; k < half; ++k) {
            re[k + half] = re[k] - 2.0f * scratchRe[k];
            im[k + half] = im[k] - 2.0f * scratchIm[k];
        }
    }
}

/// Scratch memory that the calling iteration owns; null when it cannot be had.
std::unique_ptr<float[]> AllocateScratch(std::uint64_t count) {
    return std::unique_ptr<float[]>(new (std::nothrow) float[count]);
}

/// The fast kernels' work memory of the calling thread, kept from one block and one call to the
/// next so that the blocks allocate nothing; it only grows. False when it cannot be had.
bool ThreadScratch(std::uint64_t maxLength, FftScratch& scratch) {
    struct Buffer {
        SpectrumPlane memory;
        std::size_t laneFloats = 0;
        std::size_t localFloats = 0;
    };
    thread_local Buffer buffer;
    const std::size_t laneFloats = FftLaneFloats(maxLength);
    const std::size_t localFloats = FftLocalFloats();
    if (buffer.laneFloats < laneFloats || buffer.localFloats < localFloats) {
        buffer.memory = AllocatePlane(2 * laneFloats + localFloats + 3 * kFftSkewFloats);
        buffer.laneFloats = buffer.memory ? laneFloats : 0;
        buffer.localFloats = buffer.memory ? localFloats : 0;
        if (!buffer.memory) {
            return false;
        }
    }
    scratch.first = buffer.memory.get();
    scratch.second = scratch.first + buffer.laneFloats + kFftSkewFloats;
    scratch.local = scratch.second + buffer.laneFloats + 2 * kFftSkewFloats;
    return true;
}

FftAxis AxisOf(std::uint64_t length, const std::vector<float>& cosTable,
               const std::vector<float>& sinTable, const std::vector<std::uint32_t>& twiddles) {
    return {length, StageCount(length), cosTable.data(), sinTable.data(), twiddles.data()};
}

}  // namespace

C2DFFT::C2DFFT(std::uint64_t columns, std::uint64_t rows, FftKernel kernel)
    : width(columns), height(rows), kernel_(kernel) {
    assert(IsSupportedLength(columns) && IsSupportedLength(rows));
    if (!IsSupportedLength(columns) || !IsSupportedLength(rows)) {
        return;
    }
    // The tables are small next to the planes, but a failure must still leave a usable object.
    try {
        BuildAxisTables(width, rowCos, rowSin, rowPos, rowTwiddle);
        BuildAxisTables(height, colCos, colSin, colPos, colTwiddle);
        complete_ = true;
    } catch (const std::bad_alloc&) {
        complete_ = false;
    }
}

C2DFFT::~C2DFFT() = default;

bool C2DFFT::FFT1D(float* re, float* im, std::uint64_t n, const float* cosTable,
                   const float* sinTable, const std::uint32_t* positions,
                   const std::uint32_t* twiddles) {
    assert(re != nullptr && im != nullptr);
    const std::uint64_t half = n / 2;
    if (half == 0) {
        return true;
    }
    std::unique_ptr<float[]> scratch = AllocateScratch(2 * half);
    if (!scratch) {
        return false;
    }
    Butterflies(re, im, n, cosTable, sinTable, positions, twiddles, scratch.get(),
                scratch.get() + half);
    return true;
}

bool C2DFFT::Forward(const std::uint8_t* values, SpectrumPlane& re, SpectrumPlane& im) const {
    return ForwardPlanes(values, re, im);
}

bool C2DFFT::Forward(const float* values, SpectrumPlane& re, SpectrumPlane& im) const {
    return ForwardPlanes(values, re, im);
}

template <typename Sample>
bool C2DFFT::ForwardPlanes(const Sample* values, SpectrumPlane& re, SpectrumPlane& im) const {
    assert(values != nullptr);
    re.reset();
    im.reset();
    if (values == nullptr || !complete_) {
        return false;
    }
    SpectrumPlane outRe = AllocatePlane(width * height);
    SpectrumPlane outIm = AllocatePlane(width * height);
    if (!outRe || !outIm) {
        return false;
    }
    const bool done = kernel_ == FftKernel::Fast
                          ? ForwardFast(values, outRe.get(), outIm.get())
                          : ForwardReference(values, outRe.get(), outIm.get());
    if (!done) {
        return false;
    }
    re = std::move(outRe);
    im = std::move(outIm);
    return true;
}

template <typename Sample>
bool C2DFFT::ForwardReference(const Sample* values, float* planeRe, float* planeIm) const {
    const std::uint64_t w = width;
    const std::uint64_t h = height;
    std::atomic<bool> failed{false};
    // Rows: load the channel, multiplied by (-1)^(x+y) to centre the spectrum, and transform.
    ParallelFor(0, h, [&](std::size_t y) {
        float* rowRe = planeRe + y * w;
        float* rowIm = planeIm + y * w;
        const Sample* in = values + y * w;
        for (std::uint64_t x = 0; x < w; ++x) {
            rowRe[x] = static_cast<float>(in[x]);
            rowIm[x] = 0.0f;
            if (((x + y) & 1) != 0) {
                rowRe[x] *= -1.0f;
            }
        }
        if (!FFT1D(rowRe, rowIm, w, rowCos.data(), rowSin.data(), rowPos.data(),
                   rowTwiddle.data())) {
            failed = true;
        }
    });
    if (failed) {
        return false;
    }

    // Columns: gathered into contiguous temporaries, transformed and scattered back.
    ParallelFor(0, w, [&](std::size_t x) {
        std::unique_ptr<float[]> column = AllocateScratch(2 * h);
        if (!column) {
            failed = true;
            return;
        }
        float* colRe = column.get();
        float* colIm = column.get() + h;
        for (std::uint64_t y = 0; y < h; ++y) {
            colRe[y] = planeRe[y * w + x];
            colIm[y] = planeIm[y * w + x];
        }
        if (!FFT1D(colRe, colIm, h, colCos.data(), colSin.data(), colPos.data(),
                   colTwiddle.data())) {
            failed = true;
            return;
        }
        for (std::uint64_t y = 0; y < h; ++y) {
            planeRe[y * w + x] = colRe[y];
            planeIm[y * w + x] = colIm[y];
        }
    });
    return !failed;
}

template <typename Sample>
bool C2DFFT::ForwardFast(const Sample* values, float* re, float* im) const {
    const FastKernels& kernels = FastKernelsFor(ActiveInstructionSet());
    const std::size_t lanes = kernels.lanes;
    const std::uint64_t maxLength = std::max(width, height);
    const FftAxis rows = AxisOf(width, rowCos, rowSin, rowTwiddle);
    const FftAxis columns = AxisOf(height, colCos, colSin, colTwiddle);
    std::atomic<bool> failed{false};

    // Rows, lanes at a time: loaded with the centring factor and transformed.
    ParallelFor(0, (height + lanes - 1) / lanes, [&](std::size_t block) {
        FftScratch scratch;
        if (!ThreadScratch(maxLength, scratch)) {
            failed = true;
            return;
        }
        const std::uint64_t first = block * lanes;
        const std::uint64_t count = std::min<std::uint64_t>(lanes, height - first);
        if constexpr (std::is_same_v<Sample, float>) {
            kernels.forwardFloatRows(rows, values, first, count, re, im, scratch);
        } else {
            kernels.forwardRows(rows, values, first, count, re, im, scratch);
        }
    });
    if (failed) {
        return false;
    }
    // Columns, lanes at a time, straight from the planes.
    const std::size_t columnBlock = kernels.columnsPerBlock;
    ParallelFor(0, (width + columnBlock - 1) / columnBlock, [&](std::size_t block) {
        FftScratch scratch;
        if (!ThreadScratch(maxLength, scratch)) {
            failed = true;
            return;
        }
        kernels.transformColumns(columns, width, block * columnBlock, re, im, false, re, im,
                                 scratch);
    });
    return !failed;
}

SpectrumPlane C2DFFT::Inverse(const float* re, const float* im) const {
    assert(re != nullptr && im != nullptr);
    if (re == nullptr || im == nullptr || !complete_) {
        return nullptr;
    }
    SpectrumPlane outRe = AllocatePlane(width * height);
    if (!outRe) {
        return nullptr;
    }
    if (kernel_ == FftKernel::Reference) {
        // Only the real part is wanted; the imaginary plane is work space of this call.
        const SpectrumPlane outIm = AllocatePlane(width * height);
        if (!outIm || !InverseReference(re, im, outRe.get(), outIm.get())) {
            return nullptr;
        }
        return outRe;
    }
    // The fast kernel keeps its imaginary work plane for the next call of this object (the
    // final image inverts three channels with one).
    if (!workIm_) {
        workIm_ = AllocatePlane(width * height);
    }
    if (!workIm_ || !InverseFast(re, im, outRe.get(), workIm_.get())) {
        return nullptr;
    }
    return outRe;
}

bool C2DFFT::InverseInPlace(float* re, float* im) const {
    assert(re != nullptr && im != nullptr);
    if (re == nullptr || im == nullptr || !complete_) {
        return false;
    }
    // Each column and each row is read completely before it is written, so the passes may
    // write over their input.
    return kernel_ == FftKernel::Fast ? InverseFast(re, im, re, im)
                                      : InverseReference(re, im, re, im);
}

bool C2DFFT::InverseReference(const float* re, const float* im, float* planeRe,
                              float* planeIm) const {
    const std::uint64_t w = width;
    const std::uint64_t h = height;
    std::atomic<bool> failed{false};

    // Columns of the conjugate: the inverse is a forward transform of conj(F), conjugated, and
    // the final conjugation is dropped with the imaginary part.
    ParallelFor(0, w, [&](std::size_t x) {
        std::unique_ptr<float[]> column = AllocateScratch(2 * h);
        if (!column) {
            failed = true;
            return;
        }
        float* colRe = column.get();
        float* colIm = column.get() + h;
        for (std::uint64_t y = 0; y < h; ++y) {
            colRe[y] = re[y * w + x];
            colIm[y] = -im[y * w + x];
        }
        if (!FFT1D(colRe, colIm, h, colCos.data(), colSin.data(), colPos.data(),
                   colTwiddle.data())) {
            failed = true;
            return;
        }
        for (std::uint64_t y = 0; y < h; ++y) {
            planeRe[y * w + x] = colRe[y];
            planeIm[y * w + x] = colIm[y];
        }
    });
    if (failed) {
        return false;
    }

    ParallelFor(0, h, [&](std::size_t y) {
        if (!FFT1D(planeRe + y * w, planeIm + y * w, w, rowCos.data(), rowSin.data(), rowPos.data(),
                   rowTwiddle.data())) {
            failed = true;
        }
    });
    if (failed) {
        return false;
    }

    // Scale by 1 / (W H) and undo the centring factor (-1)^(x+y).
    const auto count = static_cast<float>(w * h);
    ParallelFor(0, h, [&](std::size_t y) {
        float* row = planeRe + y * w;
        for (std::uint64_t x = 0; x < w; ++x) {
            row[x] = row[x] / count;
            if (((x + y) & 1) != 0) {
                row[x] = -row[x];
            }
        }
    });
    return true;
}

bool C2DFFT::InverseFast(const float* re, const float* im, float* outRe, float* outIm) const {
    const FastKernels& kernels = FastKernelsFor(ActiveInstructionSet());
    const std::size_t lanes = kernels.lanes;
    const std::uint64_t maxLength = std::max(width, height);
    const FftAxis rows = AxisOf(width, rowCos, rowSin, rowTwiddle);
    const FftAxis columns = AxisOf(height, colCos, colSin, colTwiddle);
    std::atomic<bool> failed{false};

    // Columns of the conjugate, from the caller's planes into the new ones.
    const std::size_t columnBlock = kernels.columnsPerBlock;
    ParallelFor(0, (width + columnBlock - 1) / columnBlock, [&](std::size_t block) {
        FftScratch scratch;
        if (!ThreadScratch(maxLength, scratch)) {
            failed = true;
            return;
        }
        kernels.transformColumns(columns, width, block * columnBlock, re, im, true, outRe, outIm,
                                 scratch);
    });
    if (failed) {
        return false;
    }
    // Rows, each written back as its real part scaled by 1 / (W H) with the centring undone.
    const auto count = static_cast<float>(width * height);
    ParallelFor(0, (height + lanes - 1) / lanes, [&](std::size_t block) {
        FftScratch scratch;
        if (!ThreadScratch(maxLength, scratch)) {
            failed = true;
            return;
        }
        const std::uint64_t first = block * lanes;
        kernels.inverseRows(rows, first, std::min<std::uint64_t>(lanes, height - first), outRe,
                            outIm, count, scratch);
    });
    return !failed;
}

}  // namespace quarvel
