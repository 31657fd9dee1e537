#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/InstructionSet.h"

namespace quarvel {

/// One axis of a transform as the fast kernels read it: the tables that C2DFFT built for it.
struct FftAxis {
    std::uint64_t length = 1;                 ///< N, a power of two
    std::uint32_t stages = 0;                 ///< log2 N
    const float* cosTable = nullptr;          ///< N / 2 values
    const float* sinTable = nullptr;          ///< N / 2 values
    const std::uint32_t* twiddles = nullptr;  ///< stage s, butterfly k at s N / 2 + k
};

/// Work memory that one thread owns while it runs a block of the fast transform.
struct FftScratch {
    float* first = nullptr;   ///< FftLaneFloats floats
    float* second = nullptr;  ///< FftLaneFloats floats
    float* local = nullptr;   ///< FftLocalFloats floats
};

/// Floats left between the real and the imaginary block of a scratch buffer, and between the
/// buffers. Blocks whose sizes are powers of two would otherwise start at the same offset
/// within a 4 KiB page, and a load that follows a store to another block at such an offset
/// waits for it as if the two were the same address.
constexpr std::size_t kFftSkewFloats = 80;

/// Floats of FftScratch::first and FftScratch::second for axes up to maxLength long: the real
/// and imaginary parts of 64 sequences (the widest block, of columns), whatever the vector
/// width.
inline std::size_t FftLaneFloats(std::uint64_t maxLength) {
    // One spare element per 16, see the padded layout of the kernels.
    return 2 * 64 * static_cast<std::size_t>(maxLength + maxLength / 16 + 1) + 4 * kFftSkewFloats;
}

/// Floats of FftScratch::local: four blocks of the longest sub-transform (256 points) of 64
/// sequences.
inline std::size_t FftLocalFloats() {
    return 4 * 256 * 64 + 4 * kFftSkewFloats;
}

/// The inner loops of the fast transform and of the whole-plane loops, for one instruction set
/// (see InstructionSet).
///
/// A block is a few rows (one per vector lane) or 64 columns (several vectors wide) transformed
/// side by side, with the same operations as C2DFFT::FFT1D on each of them: the constant-geometry
/// stages are regrouped into two phases of up to eight stages whose data fit in the first-level
/// cache, and two consecutive stages are done while the values sit in registers, but every
/// butterfly reads the same two values, uses the same table entries and rounds the same way. The
/// callers spread the blocks over the threads; a block touches only its own rows or columns.
struct FastKernels {
    InstructionSet instructionSet;
    /// Rows per block: one in each vector lane.
    std::size_t lanes;
    /// Columns per block of transformColumns: 64, four 64-byte lines of each row.
    std::size_t columnsPerBlock;

    /// Forward row pass of rows [firstRow, firstRow + count), count <= lanes: each row of the
    /// W-byte channel plane is loaded as floats, negated where x + y is odd, transformed with
    /// zero imaginary parts and stored in re and im (W floats per row).
    void (*forwardRows)(const FftAxis& rows, const std::uint8_t* values, std::uint64_t firstRow,
                        std::uint64_t count, float* re, float* im, const FftScratch& scratch);
    /// forwardRows for a W-float channel plane (samples of 16 bits or floating point).
    void (*forwardFloatRows)(const FftAxis& rows, const float* values, std::uint64_t firstRow,
                             std::uint64_t count, float* re, float* im, const FftScratch& scratch);

    /// Column pass of columns [firstColumn, firstColumn + columnsPerBlock), or of all columns
    /// from firstColumn on when the plane is narrower than that: reads the columns of inRe and inIm
    /// (the imaginary parts negated when conjugate is set), transforms them and writes the results
    /// to the same columns of outRe and outIm, which may be the input planes.
    void (*transformColumns)(const FftAxis& columns, std::uint64_t width, std::uint64_t firstColumn,
                             const float* inRe, const float* inIm, bool conjugate, float* outRe,
                             float* outIm, const FftScratch& scratch);

    /// Inverse row pass of rows [firstRow, firstRow + count), count <= lanes: transforms each
    /// row of re and im and writes its real part divided by scale, negated where x + y is odd,
    /// back into re. im is only read.
    void (*inverseRows)(const FftAxis& rows, std::uint64_t firstRow, std::uint64_t count, float* re,
                        const float* im, float scale, const FftScratch& scratch);

    /// First loop of the power spectrum image for count elements: levels[x] = log10 of the
    /// magnitude sqrt(re^2 + im^2) divided by log10Of2, 0 for a zero magnitude. lowest and
    /// highest take in the levels as a sequential scan does (replaced only on a strict
    /// comparison), except that among values that compare equal (+0 and -0) any may be kept.
    /// levels may be the memory of re.
    void (*logMagnitudes)(const float* re, const float* im, std::size_t count, float log10Of2,
                          float* levels, float& lowest, float& highest);
    /// Second loop of the power spectrum image: out[x] gets the level
    /// (levels[x] - lowest) / range * 255 truncated and limited to 0 to 255.
    void (*levelBytes)(const float* levels, std::size_t count, float lowest, float range,
                       std::uint8_t* out);
    /// out[x] = byte `offset` of 4-byte pixel x.
    void (*gatherChannel)(const std::uint8_t* pixels, std::size_t count, std::size_t offset,
                          std::uint8_t* out);
    /// Bytes 0, 1 and 2 of 4-byte pixel x get blue[x], green[x] and red[x]; byte 3 is kept.
    void (*mergePixels)(const std::uint8_t* red, const std::uint8_t* green,
                        const std::uint8_t* blue, std::size_t count, std::uint8_t* pixels);
    /// out[x] = values[x] by the rounding rule of the final image.
    void (*roundBytes)(const float* values, std::size_t count, std::uint8_t* out);
    /// One target row of the bilinear resampling of a 4-byte-pixel image whose rows are
    /// sourceWidth pixels long: bytes 0 to 2 of target pixel i from source pixels x0[i] and
    /// x1[i] (both growing with i) of source rows row0 and row1 with the
    /// weights wx[i] and wy, as the plain loop computes them; byte 3 is kept.
    void (*resampleRow)(const std::uint8_t* row0, const std::uint8_t* row1,
                        std::uint32_t sourceWidth, float wy, const std::uint32_t* x0,
                        const std::uint32_t* x1, const float* wx, std::size_t count,
                        std::uint8_t* out);
    /// As resampleRow for an image of one byte per pixel (rows sourceWidth bytes long): target
    /// byte i from source bytes x0[i] and x1[i].
    void (*resampleGreyRow)(const std::uint8_t* row0, const std::uint8_t* row1,
                            std::uint32_t sourceWidth, float wy, const std::uint32_t* x0,
                            const std::uint32_t* x1, const float* wx, std::size_t count,
                            std::uint8_t* out);
};

/// The kernels of set, which must be supported by the processor.
const FastKernels& FastKernelsFor(InstructionSet set);

/// The kernels of each instruction set, each defined in a source of its own compiled for it.
const FastKernels& BaselineFastKernels();
const FastKernels& Avx2FastKernels();
const FastKernels& Avx512FastKernels();

}  // namespace quarvel
