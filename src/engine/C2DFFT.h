#pragma once

#include <cstdint>
#include <vector>

#include "engine/PlaneMemory.h"

namespace quarvel {

/// Which loops compute a C2DFFT's transforms. Both give bit-identical planes.
enum class FftKernel {
    /// The plain loops: FFT1D on every row, and on a copy of every column.
    Reference,
    /// Blocks of rows or columns side by side in vector lanes, with the instruction set of
    /// ActiveInstructionSet (see FastKernels).
    Fast,
};

/// Two-dimensional FFT of one image channel at a power-of-two size W x H (1 to 65536 each).
///
/// Conventions:
/// - Forward: F(u, v) = sum_y sum_x f(x, y) (-1)^(x+y) e^(-2 pi i (u x / W + v y / H)). The
///   factor (-1)^(x+y) centres the spectrum: the zero frequency sits at (W / 2, H / 2). Nothing
///   is scaled.
/// - Inverse: g(x, y) = (-1)^(x+y) Re[sum_v sum_u F(u, v) e^(+2 pi i (u x / W + v y / H))] / (W H),
///   computed as a forward transform of the conjugate. Only the real part is returned.
/// - Planes are row-major, element (x, y) at y * W + x, single precision.
///
/// All trigonometric values, butterfly positions and twiddle indices are computed once in the
/// constructor and never change, so one instance may serve several channels in turn. Forward
/// and Inverse spread rows and columns over the worker threads; no two calls may run on one
/// instance at the same time.
///
/// The fast kernel (the default) computes, for every element, exactly the operations of the
/// reference kernel in the same order, so either kernel gives the same planes bit for bit.
class C2DFFT {
public:
    /// Builds the tables for a width x height transform; both must be powers of two from 1 to
    /// 65536.
    C2DFFT(std::uint64_t width, std::uint64_t height, FftKernel kernel = FftKernel::Fast);
    virtual ~C2DFFT();

    C2DFFT(const C2DFFT&) = delete;
    C2DFFT& operator=(const C2DFFT&) = delete;

    /// False when the tables could not be allocated; Forward and Inverse then fail.
    bool IsComplete() const { return complete_; }

    /// The loops that Forward and Inverse run.
    FftKernel Kernel() const { return kernel_; }

    /// Transforms the W x H byte plane of one channel into new real and imaginary planes of its
    /// centred spectrum, handed to the caller through re and im. The input is not changed.
    /// Returns false (and leaves re and im null) when the planes cannot be allocated.
    bool Forward(const std::uint8_t* values, SpectrumPlane& re, SpectrumPlane& im) const;
    /// Forward for a W x H plane of float channel values (samples of 16 bits or floating
    /// point), which must be finite.
    bool Forward(const float* values, SpectrumPlane& re, SpectrumPlane& im) const;

    /// Transforms a centred spectrum back into a new plane of real channel values, not yet
    /// rounded or limited. Neither input plane is changed. Null when memory runs out. The fast
    /// kernel keeps a W x H work plane from its first call until the object is destroyed.
    SpectrumPlane Inverse(const float* re, const float* im) const;

    /// Inverse in place, for a spectrum that is not needed afterwards: re receives the real
    /// channel values that Inverse returns, bit for bit, and im is left holding work values.
    /// Allocates no plane. False when the scratch memory cannot be had (the planes then hold
    /// work values as well).
    bool InverseInPlace(float* re, float* im) const;

    /// In-place forward transform of n complex values held in separate real and imaginary
    /// arrays, output in natural order: X[m] = sum_t x[t] e^(-2 pi i m t / n). The tables are
    /// those of the axis whose length is n. Returns false, leaving the values unchanged, when
    /// the scratch memory cannot be had.
    static bool FFT1D(float* re, float* im, std::uint64_t n, const float* cosTable,
                      const float* sinTable, const std::uint32_t* positions,
                      const std::uint32_t* twiddles);

    std::uint64_t width;
    std::uint64_t height;
    std::vector<float> rowCos;              ///< cos(2 pi i / W), i < W / 2
    std::vector<float> rowSin;              ///< sin(2 pi i / W), i < W / 2
    std::vector<float> colCos;              ///< cos(2 pi i / H), i < H / 2
    std::vector<float> colSin;              ///< sin(2 pi i / H), i < H / 2
    std::vector<std::uint32_t> rowPos;      ///< read position, stage s butterfly k at s * W / 2 + k
    std::vector<std::uint32_t> rowTwiddle;  ///< twiddle index, same layout as rowPos
    std::vector<std::uint32_t> colPos;      ///< as rowPos, for columns (length H)
    std::vector<std::uint32_t> colTwiddle;  ///< as rowTwiddle, for columns

private:
    template <typename Sample>
    bool ForwardPlanes(const Sample* values, SpectrumPlane& re, SpectrumPlane& im) const;
    template <typename Sample>
    bool ForwardReference(const Sample* values, float* re, float* im) const;
    template <typename Sample>
    bool ForwardFast(const Sample* values, float* re, float* im) const;
    bool InverseReference(const float* re, const float* im, float* outRe, float* outIm) const;
    bool InverseFast(const float* re, const float* im, float* outRe, float* outIm) const;

    FftKernel kernel_;
    bool complete_ = false;
    /// The fast Inverse's imaginary work plane, allocated by its first call.
    mutable SpectrumPlane workIm_;
};

}  // namespace quarvel
