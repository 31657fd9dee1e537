#include "engine/CExactFFT.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <new>
#include <type_traits>

#include "engine/ParallelFor.h"

namespace quarvel {

namespace {

constexpr std::uint64_t kMaxAxisLength = 65536;
constexpr double kPi = 3.14159265358979323846;

/// The radices of n, fours first; empty when n has a prime factor above 13 (n = 1 has none
/// either, and needs no pass).
std::vector<std::uint32_t> Radices(std::uint64_t n, bool& smooth) {
    std::vector<std::uint32_t> radices;
    while (n % 4 == 0) {
        radices.push_back(4);
        n /= 4;
    }
    for (const std::uint32_t radix : {2u, 3u, 5u, 7u, 11u, 13u}) {
        while (n % radix == 0) {
            radices.push_back(radix);
            n /= radix;
        }
    }
    smooth = n == 1;
    return radices;
}

/// The smallest product of 2, 3 and 5 not below n.
std::uint64_t SmoothLength(std::uint64_t n) {
    for (std::uint64_t candidate = n;; ++candidate) {
        std::uint64_t rest = candidate;
        for (const std::uint64_t factor : {2u, 3u, 5u}) {
            while (rest % factor == 0) {
                rest /= factor;
            }
        }
        if (rest == 1) {
            return candidate;
        }
    }
}

/// The Stockham passes of a length-n transform with the given radices.
std::vector<ExactFftPass> BuildPasses(std::uint64_t n, const std::vector<std::uint32_t>& radices) {
    std::vector<ExactFftPass> passes;
    std::uint64_t length = n;
    std::uint64_t stride = 1;
    for (const std::uint32_t radix : radices) {
        ExactFftPass pass;
        pass.radix = radix;
        pass.m = length / radix;
        pass.stride = stride;
        pass.twiddleRe.resize(pass.m * (radix - 1));
        pass.twiddleIm.resize(pass.m * (radix - 1));
        // Angles in double from the exact product p k mod n, rounded once to single.
        for (std::uint64_t p = 0; p < pass.m; ++p) {
            for (std::uint32_t k = 1; k < radix; ++k) {
                const double angle =
                    -2.0 * kPi * static_cast<double>(p * k % length) / static_cast<double>(length);
                pass.twiddleRe[p * (radix - 1) + k - 1] = static_cast<float>(std::cos(angle));
                pass.twiddleIm[p * (radix - 1) + k - 1] = static_cast<float>(std::sin(angle));
            }
        }
        pass.rootCos.resize(radix);
        pass.rootSin.resize(radix);
        for (std::uint32_t t = 0; t < radix; ++t) {
            const double angle = 2.0 * kPi * t / radix;
            pass.rootCos[t] = static_cast<float>(std::cos(angle));
            pass.rootSin[t] = static_cast<float>(std::sin(angle));
        }
        passes.push_back(std::move(pass));
        length /= radix;
        stride *= radix;
    }
    return passes;
}

/// The calling thread's work memory, at least floats long; it is kept from one block and one
/// call to the next and only grows. Null when it cannot be had.
float* ThreadWork(std::size_t floats) {
    struct Buffer {
        SpectrumPlane memory;
        std::size_t floats = 0;
    };
    thread_local Buffer buffer;
    if (buffer.floats < floats) {
        buffer.memory = AllocatePlane(floats);
        buffer.floats = buffer.memory ? floats : 0;
    }
    return buffer.memory.get();
}

/// Work floats of one block of axis: the axis's work memory and the block itself.
std::size_t BlockFloats(const ExactFftAxis& axis) {
    return axis.WorkFloats() + 2 * axis.length * kExactBatch;
}

const ExactFftKernels& ActiveKernels() {
    return ExactFftKernelsFor(ActiveInstructionSet());
}

}  // namespace

ExactFftAxis CExactFFT::BuildAxis(std::uint64_t n) {
    ExactFftAxis axis;
    axis.length = n;
    bool smooth = false;
    const std::vector<std::uint32_t> radices = Radices(n, smooth);
    if (smooth) {
        axis.passes = BuildPasses(n, radices);
        return axis;
    }
    // Chirp-z: w[t] = e^(-pi i t^2 / n), with t^2 reduced modulo 2 n before the angle is taken.
    const std::uint64_t m = SmoothLength(2 * n - 1);
    axis.convolutionLength = m;
    bool mSmooth = false;
    axis.passes = BuildPasses(m, Radices(m, mSmooth));
    axis.chirpRe.resize(n);
    axis.chirpIm.resize(n);
    for (std::uint64_t t = 0; t < n; ++t) {
        const double angle = -kPi * static_cast<double>(t * t % (2 * n)) / static_cast<double>(n);
        axis.chirpRe[t] = static_cast<float>(std::cos(angle));
        axis.chirpIm[t] = static_cast<float>(std::sin(angle));
    }
    // The kernel: conj(w) at 0 .. n - 1 and mirrored at M - n + 1 .. M - 1, transformed at
    // length M with the passes above, divided by M.
    ExactFftAxis plain;
    plain.length = m;
    plain.passes = axis.passes;
    std::vector<float> re(m, 0.0f);
    std::vector<float> im(m, 0.0f);
    for (std::uint64_t t = 0; t < n; ++t) {
        re[t] = axis.chirpRe[t];
        im[t] = -axis.chirpIm[t];
        if (t != 0) {
            re[m - t] = re[t];
            im[m - t] = im[t];
        }
    }
    if (!Transform1D(plain, re.data(), im.data())) {
        throw std::bad_alloc();
    }
    axis.kernelRe.resize(m);
    axis.kernelIm.resize(m);
    const auto count = static_cast<float>(m);
    for (std::uint64_t k = 0; k < m; ++k) {
        axis.kernelRe[k] = re[k] / count;
        axis.kernelIm[k] = im[k] / count;
    }
    return axis;
}

std::size_t CExactFFT::ThreadWorkFloats(std::uint64_t width, std::uint64_t height) {
    // BlockFloats of each axis, from its length alone.
    const auto axisFloats = [](std::uint64_t n) {
        bool smooth = false;
        Radices(n, smooth);
        const std::uint64_t work = smooth ? 2 * n : 4 * SmoothLength(2 * n - 1);
        return static_cast<std::size_t>((work + 2 * n) * kExactBatch);
    };
    return std::max(axisFloats(width), axisFloats(height));
}

bool CExactFFT::Transform1D(const ExactFftAxis& axis, float* re, float* im) {
    const std::uint64_t n = axis.length;
    const SpectrumPlane work = AllocatePlane(BlockFloats(axis));
    if (!work) {
        return false;
    }
    // One sequence in the first lane of a block, the others zero.
    float* blockRe = work.get() + axis.WorkFloats();
    float* blockIm = blockRe + n * kExactBatch;
    std::fill(blockRe, blockRe + 2 * n * kExactBatch, 0.0f);
    for (std::uint64_t t = 0; t < n; ++t) {
        blockRe[t * kExactBatch] = re[t];
        blockIm[t * kExactBatch] = im[t];
    }
    ActiveKernels().transform(axis, blockRe, blockIm, work.get());
    for (std::uint64_t k = 0; k < n; ++k) {
        re[k] = blockRe[k * kExactBatch];
        im[k] = blockIm[k * kExactBatch];
    }
    return true;
}

CExactFFT::CExactFFT(std::uint64_t columns, std::uint64_t rows) : width(columns), height(rows) {
    assert(columns >= 1 && columns <= kMaxAxisLength && rows >= 1 && rows <= kMaxAxisLength);
    if (columns < 1 || columns > kMaxAxisLength || rows < 1 || rows > kMaxAxisLength) {
        return;
    }
    try {
        rows_ = BuildAxis(width);
        columns_ = height == width ? rows_ : BuildAxis(height);
        complete_ = true;
    } catch (const std::bad_alloc&) {
        complete_ = false;
    }
}

template <typename Block>
bool CExactFFT::ForEachBlock(std::uint64_t n, const Block& block) const {
    const std::size_t workFloats = std::max(BlockFloats(rows_), BlockFloats(columns_));
    std::atomic<bool> failed{false};
    ParallelFor(0, (n + kExactBatch - 1) / kExactBatch, [&](std::size_t index) {
        float* work = ThreadWork(workFloats);
        if (work == nullptr) {
            failed = true;
            return;
        }
        const std::uint64_t first = index * kExactBatch;
        block(first, std::min<std::uint64_t>(kExactBatch, n - first), work);
    });
    return !failed;
}

bool CExactFFT::Forward(const std::uint8_t* values, SpectrumPlane& re, SpectrumPlane& im) const {
    return ForwardPlanes(values, re, im);
}

bool CExactFFT::Forward(const float* values, SpectrumPlane& re, SpectrumPlane& im) const {
    return ForwardPlanes(values, re, im);
}

template <typename Sample>
bool CExactFFT::ForwardPlanes(const Sample* values, SpectrumPlane& re, SpectrumPlane& im) const {
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
    const ExactFftKernels& kernels = ActiveKernels();
    const bool done =
        ForEachBlock(height,
                     [&](std::uint64_t first, std::uint64_t count, float* work) {
                         if constexpr (std::is_same_v<Sample, float>) {
                             kernels.forwardFloatRows(rows_, values, width, first, count,
                                                      Centre(width), outRe.get(), outIm.get(),
                                                      work);
                         } else {
                             kernels.forwardRows(rows_, values, width, first, count, Centre(width),
                                                 outRe.get(), outIm.get(), work);
                         }
                     }) &&
        ForEachBlock(width, [&](std::uint64_t first, std::uint64_t count, float* work) {
            kernels.transformColumns(columns_, width, first, count, outRe.get(), outIm.get(), false,
                                     0, Centre(height), outRe.get(), outIm.get(), work);
        });
    if (!done) {
        return false;
    }
    re = std::move(outRe);
    im = std::move(outIm);
    return true;
}

SpectrumPlane CExactFFT::Inverse(const float* re, const float* im) const {
    assert(re != nullptr && im != nullptr);
    if (re == nullptr || im == nullptr || !complete_) {
        return nullptr;
    }
    SpectrumPlane outRe = AllocatePlane(width * height);
    // The imaginary work plane is kept for the next call (the final image inverts three
    // channels with one object).
    if (!workIm_) {
        workIm_ = AllocatePlane(width * height);
    }
    if (!outRe || !workIm_ || !RunInverse(re, im, outRe.get(), workIm_.get())) {
        return nullptr;
    }
    return outRe;
}

bool CExactFFT::InverseInPlace(float* re, float* im) const {
    assert(re != nullptr && im != nullptr);
    if (re == nullptr || im == nullptr || !complete_) {
        return false;
    }
    // Each block reads its columns or rows completely before it writes them.
    return RunInverse(re, im, re, im);
}

bool CExactFFT::RunInverse(const float* re, const float* im, float* outRe, float* outIm) const {
    const ExactFftKernels& kernels = ActiveKernels();
    const auto count = static_cast<float>(width * height);
    // Columns of the conjugate, read from the centred rows; the inverse is the conjugate of the
    // forward transform of the conjugate, and that last conjugation is dropped with the
    // imaginary part. Then the rows, whose real parts are scaled by 1 / (W H).
    return ForEachBlock(width,
                        [&](std::uint64_t first, std::uint64_t columns, float* work) {
                            kernels.transformColumns(columns_, width, first, columns, re, im, true,
                                                     Centre(height), 0, outRe, outIm, work);
                        }) &&
           ForEachBlock(height, [&](std::uint64_t first, std::uint64_t rows, float* work) {
               kernels.inverseRows(rows_, width, first, rows, Centre(width), outRe, outIm, count,
                                   outRe, work);
           });
}

}  // namespace quarvel
