#pragma once

#include <cstdint>

#include "engine/ExactFftKernels.h"
#include "engine/PlaneMemory.h"

namespace quarvel {

/// Two-dimensional FFT of one image channel at any size W x H (1 to 65536 each), so that an
/// image is transformed at its own size instead of a power of two.
///
/// Conventions (those of C2DFFT, extended to odd sizes):
/// - Forward: F(u, v) = sum_y sum_x f(x, y) e^(-2 pi i ((u - cx) x / W + (v - cy) y / H)) with
///   the centre (cx, cy) = (floor(W / 2), floor(H / 2)): the plain DFT shifted like an fftshift,
///   so the zero frequency sits at (cx, cy) and frequency (u - cx, v - cy) at (u, v). For even
///   sizes this is the (-1)^(x+y) centring of C2DFFT. Nothing is scaled.
/// - Inverse: g(x, y) = Re[sum_v sum_u F(u, v) e^(+2 pi i ((u - cx) x / W + (v - cy) y / H))] /
///   (W H), computed as a forward transform of the conjugate. Only the real part is returned.
/// - Planes are row-major, element (x, y) at y * W + x, single precision.
///
/// Each axis is a chain of mixed-radix Stockham passes (radices 4, 2, 3, 5, 7, 11, 13) when its
/// length has no larger prime factor, and Bluestein's chirp-z form over such a chain otherwise
/// (see ExactFftAxis). Rows and then columns are spread over the worker threads in blocks of
/// kExactBatch side by side. The tables never change after construction; no two calls may run
/// on one instance at the same time.
class CExactFFT {
public:
    CExactFFT(std::uint64_t width, std::uint64_t height);

    CExactFFT(const CExactFFT&) = delete;
    CExactFFT& operator=(const CExactFFT&) = delete;

    /// False when the tables could not be made; Forward and Inverse then fail.
    bool IsComplete() const { return complete_; }

    /// The centre of an axis of length n, where its zero frequency sits: floor(n / 2).
    static std::uint64_t Centre(std::uint64_t n) { return n / 2; }

    /// As C2DFFT::Forward: the centred spectrum of the W x H byte plane into new planes.
    bool Forward(const std::uint8_t* values, SpectrumPlane& re, SpectrumPlane& im) const;
    /// As C2DFFT::Forward of a float plane (finite samples of 16 bits or floating point).
    bool Forward(const float* values, SpectrumPlane& re, SpectrumPlane& im) const;
    /// As C2DFFT::Inverse: a new plane of the real channel values; null when memory runs out.
    /// Keeps a W x H work plane from its first call until the object is destroyed.
    SpectrumPlane Inverse(const float* re, const float* im) const;
    /// As C2DFFT::InverseInPlace: re receives what Inverse returns, im is left as work values.
    bool InverseInPlace(float* re, float* im) const;

    /// The forward DFT of one axis of length n = axis.length on complex values in place, for
    /// tests and the chirp-z tables: X[k] = sum_t x[t] e^(-2 pi i k t / n). False when memory
    /// runs out.
    static bool Transform1D(const ExactFftAxis& axis, float* re, float* im);
    /// The tables of one axis; throws std::bad_alloc when memory runs out.
    static ExactFftAxis BuildAxis(std::uint64_t n);
    /// The floats of work memory that each worker thread takes by the first transform of a
    /// width x height CExactFFT and keeps afterwards.
    static std::size_t ThreadWorkFloats(std::uint64_t width, std::uint64_t height);

    const std::uint64_t width;
    const std::uint64_t height;

private:
    template <typename Sample>
    bool ForwardPlanes(const Sample* values, SpectrumPlane& re, SpectrumPlane& im) const;
    bool RunInverse(const float* re, const float* im, float* outRe, float* outIm) const;
    /// Runs block(first, count, work) for the blocks of kExactBatch rows or columns of n on the
    /// worker threads, work being the thread's work memory; false when that cannot be had.
    template <typename Block>
    bool ForEachBlock(std::uint64_t n, const Block& block) const;

    ExactFftAxis rows_;
    ExactFftAxis columns_;
    bool complete_ = false;
    /// Inverse's imaginary work plane, allocated by its first call.
    mutable SpectrumPlane workIm_;
};

}  // namespace quarvel
