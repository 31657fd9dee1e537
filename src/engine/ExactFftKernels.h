#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/InstructionSet.h"

namespace quarvel {

/// Sequences transformed side by side in one block of the exact-size transform: element k of
/// sequence b sits at k * kExactBatch + b of the block's real and imaginary arrays, so every
/// butterfly works on whole vectors of neighbouring sequences.
constexpr std::size_t kExactBatch = 16;

/// One pass of a Stockham transform: with n the length still to split (the axis length for the
/// first pass, then divided by each radix in turn), m = n / radix and s the product of the radices
/// before it, the pass reads x[q + s (p + j m)] for j < radix, takes their radix-point DFT and
/// writes term k, times e^(-2 pi i p k / n), to y[q + s (radix p + k)] (p < m, q < s). The output
/// of the last pass is in natural order.
struct ExactFftPass {
    std::uint32_t radix = 2;
    std::uint64_t m = 1;
    std::uint64_t stride = 1;  ///< s
    /// e^(-2 pi i p k / n) at p (radix - 1) + k - 1, for 1 <= k < radix.
    std::vector<float> twiddleRe;
    std::vector<float> twiddleIm;
    /// cos and sin of 2 pi t / radix for t < radix (the radices without a kernel of their own).
    std::vector<float> rootCos;
    std::vector<float> rootSin;
};

/// The forward DFT of one axis, X[k] = sum_t x[t] e^(-2 pi i k t / n), unscaled.
///
/// When n has no prime factor above 13 it is a chain of Stockham passes. Otherwise it is
/// Bluestein's chirp-z form: with w[t] = e^(-pi i t^2 / n), X[k] = w[k] sum_t (x[t] w[t])
/// conj(w[k - t]), a cyclic convolution of length M >= 2n - 1 (M a product of 2, 3 and 5)
/// computed by two transforms of length M.
struct ExactFftAxis {
    std::uint64_t length = 1;  ///< n
    /// The passes of the transform of length n, or of length M for the chirp-z form.
    std::vector<ExactFftPass> passes;
    std::uint64_t convolutionLength = 0;  ///< M, 0 without the chirp-z form
    std::vector<float> chirpRe;           ///< w[t], t < n
    std::vector<float> chirpIm;
    std::vector<float> kernelRe;  ///< the length-M transform of conj(w) wrapped cyclically, / M
    std::vector<float> kernelIm;

    /// Floats of work memory one block of this axis needs besides its own 2 n kExactBatch.
    std::size_t WorkFloats() const {
        const std::uint64_t longest = convolutionLength != 0 ? 2 * convolutionLength : length;
        return static_cast<std::size_t>(2 * longest * kExactBatch);
    }
};

/// The loops of the exact-size transform for one instruction set. A block is up to kExactBatch
/// rows or columns of a W x H plane pair; work holds ExactFftAxis::WorkFloats plus
/// 2 n kExactBatch floats. Shifts move the transform's index k to the plane's row or column
/// (k + shift) mod n, which is how the spectrum is centred.
struct ExactFftKernels {
    /// The forward DFT of count <= kExactBatch sequences laid out side by side (see
    /// kExactBatch) in re and im, in place; the unused sequences of the block are left as work.
    void (*transform)(const ExactFftAxis& axis, float* re, float* im, float* work);

    /// Rows firstRow .. firstRow + count - 1 of the W-byte channel plane values, transformed
    /// with zero imaginary parts; term k of row y goes to column (k + shift) mod W of re and im.
    void (*forwardRows)(const ExactFftAxis& rows, const std::uint8_t* values, std::uint64_t width,
                        std::uint64_t firstRow, std::uint64_t count, std::uint64_t shift, float* re,
                        float* im, float* work);
    /// forwardRows for a plane of W floats a row (samples of 16 bits or floating point).
    void (*forwardFloatRows)(const ExactFftAxis& rows, const float* values, std::uint64_t width,
                             std::uint64_t firstRow, std::uint64_t count, std::uint64_t shift,
                             float* re, float* im, float* work);

    /// Columns firstColumn .. firstColumn + count - 1: element k of the sequence is row
    /// (k + readShift) mod H of inRe and inIm (imaginary parts negated when conjugate is set),
    /// and term k goes to row (k + writeShift) mod H of outRe and outIm, which may be the input.
    void (*transformColumns)(const ExactFftAxis& columns, std::uint64_t width,
                             std::uint64_t firstColumn, std::uint64_t count, const float* inRe,
                             const float* inIm, bool conjugate, std::uint64_t readShift,
                             std::uint64_t writeShift, float* outRe, float* outIm, float* work);

    /// Rows firstRow .. firstRow + count - 1: element k of the sequence is column
    /// (k + shift) mod W of re and im; the real part of term k divided by scale goes to column k
    /// of outRe, which may be re.
    void (*inverseRows)(const ExactFftAxis& rows, std::uint64_t width, std::uint64_t firstRow,
                        std::uint64_t count, std::uint64_t shift, const float* re, const float* im,
                        float scale, float* outRe, float* work);
};

/// The exact-size kernels of set, which must be supported by the processor.
const ExactFftKernels& ExactFftKernelsFor(InstructionSet set);

const ExactFftKernels& BaselineExactFftKernels();
const ExactFftKernels& Avx2ExactFftKernels();
const ExactFftKernels& Avx512ExactFftKernels();

}  // namespace quarvel
