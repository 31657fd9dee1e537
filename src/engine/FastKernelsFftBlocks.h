#pragma once

// Part of the fast kernels, included by FastKernelsImpl.h alone (see there): the blocks of
// rows and columns that C2DFFT spreads over the threads.

#include <cstddef>
#include <cstdint>

#include "engine/FastKernels.h"
#include "engine/FastKernelsFftPasses.h"
#include "engine/FastKernelsLanes.h"
#include "engine/FastKernelsVectors.h"

namespace quarvel {
namespace {

// ---------------------------------------------------------------------------------------------
// The blocks that C2DFFT spreads over the threads.

/// The real and imaginary halves of a scratch buffer for elements of `lanes` floats.
LaneSpan ScratchSpan(float* buffer, std::uint64_t length, std::size_t lanes) {
    return {buffer, buffer + PaddedCount(length) * lanes + kFftSkewFloats, lanes};
}

template <typename Sample>
void ForwardRows(const FftAxis& rows, const Sample* values, std::uint64_t firstRow,
                 std::uint64_t count, float* re, float* im, const FftScratch& scratch) {
    const std::uint64_t width = rows.length;
    const LaneSpan loaded = ScratchSpan(scratch.first, width, kRowLanes);
    const LaneSpan done = ScratchSpan(scratch.second, width, kRowLanes);
    const std::uint32_t inShift = InputShift(rows.stages);
    const std::uint32_t outShift = OutputShift(rows.stages);
    SamplesToLanes(values, width, firstRow, count, loaded.re, inShift);
    TransformLanes<kRowVecs>(rows, loaded, true, kZeroImaginary, loaded, done, true, scratch.local);
    LanesToRows(done.re, outShift, count, width, re + firstRow * width, width);
    LanesToRows(done.im, outShift, count, width, im + firstRow * width, width);
}

/// Columns per block of TransformColumns: four 64-byte lines of each row. The row-by-row copy
/// then reads runs of memory long enough to be fetched efficiently, and every twiddle loaded
/// serves eight vectors.
constexpr std::size_t kColumnLanes = 64;
constexpr std::size_t kColumnVecs = kColumnLanes / kLanes;

void TransformColumns(const FftAxis& columns, std::uint64_t width, std::uint64_t firstColumn,
                      const float* inRe, const float* inIm, bool conjugate, float* outRe,
                      float* outIm, const FftScratch& scratch) {
    const std::uint64_t height = columns.length;
    if (width >= kColumnLanes) {
        // The block's lines are copied out row by row first: walking down the plane in order
        // keeps the memory streams simple, where the transform's own order jumps by whole
        // groups of rows. The results go straight back into the planes.
        const LaneSpan mid = ScratchSpan(scratch.first, height, kColumnLanes);
        const std::uint32_t shift = InputShift(columns.stages);
        for (std::uint64_t y = 0; y < height; ++y) {
            const float* rowRe = inRe + y * width + firstColumn;
            const float* rowIm = inIm + y * width + firstColumn;
            const std::size_t at = Padded(y, shift) * kColumnLanes;
            for (std::size_t v = 0; v < kColumnVecs; ++v) {
                Store(mid.re + at + v * kLanes, Load(rowRe + v * kLanes));
                Store(mid.im + at + v * kLanes, conjugate
                                                    ? LoadIm<kNegateImaginary>(rowIm + v * kLanes)
                                                    : LoadIm<kLoadImaginary>(rowIm + v * kLanes));
            }
        }
        const LaneSpan out{outRe + firstColumn, outIm + firstColumn, width};
        TransformLanes<kColumnVecs>(columns, mid, true, kLoadImaginary, mid, out, false,
                                    scratch.local);
        return;
    }
    // A plane narrower than a block: its columns side by side, the other lanes zero.
    const LaneSpan mid = ScratchSpan(scratch.first, height, kLanes);
    const LaneSpan staged = ScratchSpan(scratch.second, height, kLanes);
    for (std::uint64_t x0 = firstColumn; x0 < width; x0 += kLanes) {
        const std::uint64_t count = width - x0 < kLanes ? width - x0 : kLanes;
        for (std::uint64_t y = 0; y < height; ++y) {
            for (std::size_t l = 0; l < kLanes; ++l) {
                staged.re[y * kLanes + l] = l < count ? inRe[y * width + x0 + l] : 0.0f;
                staged.im[y * kLanes + l] = l < count ? inIm[y * width + x0 + l] : 0.0f;
            }
        }
        TransformLanes<1>(columns, staged, false, conjugate ? kNegateImaginary : kLoadImaginary,
                          mid, staged, false, scratch.local);
        for (std::uint64_t y = 0; y < height; ++y) {
            for (std::uint64_t l = 0; l < count; ++l) {
                outRe[y * width + x0 + l] = staged.re[y * kLanes + l];
                outIm[y * width + x0 + l] = staged.im[y * kLanes + l];
            }
        }
    }
}

void InverseRows(const FftAxis& rows, std::uint64_t firstRow, std::uint64_t count, float* re,
                 const float* im, float scale, const FftScratch& scratch) {
    const std::uint64_t width = rows.length;
    const LaneSpan loaded = ScratchSpan(scratch.first, width, kRowLanes);
    const LaneSpan done = ScratchSpan(scratch.second, width, kRowLanes);
    const std::uint32_t inShift = InputShift(rows.stages);
    const std::uint32_t outShift = OutputShift(rows.stages);
    RowsToLanes(re + firstRow * width, width, count, width, loaded.re, inShift);
    RowsToLanes(im + firstRow * width, width, count, width, loaded.im, inShift);
    TransformLanes<kRowVecs>(rows, loaded, true, kLoadImaginary, loaded, done, true, scratch.local);
    LanesToScaledRows(done.re, outShift, width, firstRow, count, scale, re);
}

}  // namespace
}  // namespace quarvel
