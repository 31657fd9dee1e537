#pragma once

// Part of the fast kernels, included by FastKernelsImpl.h alone (see there): blocks of rows
// held side by side in vector lanes.

#include <cstddef>
#include <cstdint>

#include "engine/FastKernelsVectors.h"

namespace quarvel {
namespace {

/// Rows per block of the row passes: one vector wide. Wider blocks gain nothing here and need
/// more of the second-level cache for the row being transformed.
constexpr std::size_t kRowLanes = kLanes;
constexpr std::size_t kRowVecs = kRowLanes / kLanes;
static_assert(kRowLanes % kTile == 0, "a block of rows is a whole number of tiles");

// ---------------------------------------------------------------------------------------------
// Moving rows into lanes and back. A block of kRowLanes rows of length n is held as n elements of
// kRowLanes floats, element x of the block holding value x of every row. The elements are laid
// out with one spare element after every 2^shift of them: element x sits at Padded(x, shift).
// A transform's groups walk such a buffer in steps of 2^shift elements, and without the spare
// elements every step would land in the same set of the first-level cache.

/// The place of element x in a buffer padded every 2^shift elements.
inline std::uint64_t Padded(std::uint64_t x, std::uint32_t shift) {
    return x + (x >> shift);
}

/// Elements a padded buffer of n elements needs, for any shift of at least 4.
inline std::uint64_t PaddedCount(std::uint64_t n) {
    return n + n / 16 + 1;
}

/// Element x of lanes = value x of rows l < count (rows[l * rowStride + x]); lanes from count
/// on are zero.
void RowsToLanes(const float* rows, std::size_t rowStride, std::uint64_t count,
                 std::uint64_t length, float* lanes, std::uint32_t shift) {
    if (count == kRowLanes && length % kTile == 0) {
        for (std::size_t l = 0; l < kRowLanes; l += kTile) {
            for (std::uint64_t x = 0; x < length; x += kTile) {
                TransposeTile(rows + l * rowStride + x, rowStride,
                              lanes + Padded(x, shift) * kRowLanes + l, kRowLanes);
            }
        }
        return;
    }
    for (std::uint64_t x = 0; x < length; ++x) {
        for (std::size_t l = 0; l < kRowLanes; ++l) {
            lanes[Padded(x, shift) * kRowLanes + l] = l < count ? rows[l * rowStride + x] : 0.0f;
        }
    }
}

/// rows[l * rowStride + x] = value x of lane l of lanes, for l < count.
void LanesToRows(const float* lanes, std::uint32_t shift, std::uint64_t count, std::uint64_t length,
                 float* rows, std::size_t rowStride) {
    if (count == kRowLanes && length % kTile == 0) {
        for (std::size_t l = 0; l < kRowLanes; l += kTile) {
            for (std::uint64_t x = 0; x < length; x += kTile) {
                TransposeTile(lanes + Padded(x, shift) * kRowLanes + l, kRowLanes,
                              rows + l * rowStride + x, rowStride);
            }
        }
        return;
    }
    for (std::uint64_t l = 0; l < count; ++l) {
        for (std::uint64_t x = 0; x < length; ++x) {
            rows[l * rowStride + x] = lanes[Padded(x, shift) * kRowLanes + l];
        }
    }
}

/// The channel samples (bytes or floats) of rows [firstRow, firstRow + count) as lanes, each
/// value multiplied by -1.0 where x + y is odd (the centring factor). Their imaginary parts, all
/// zero, are not stored: the transform takes them as kZeroImaginary.
template <typename Sample>
void SamplesToLanes(const Sample* values, std::uint64_t width, std::uint64_t firstRow,
                    std::uint64_t count, float* lanesRe, std::uint32_t shift) {
    if (count == kRowLanes && width % kTile == 0) {
        // The even columns of an even row are multiplied by +1.0 instead of being left alone,
        // which changes nothing: x * 1.0 is x, bit for bit, for every float.
        const TileVec evenRow = TileAlternate(1.0f, -1.0f);
        const TileVec oddRow = TileAlternate(-1.0f, 1.0f);
        alignas(64) float tile[kTile * kTile];
        for (std::size_t l = 0; l < kRowLanes; l += kTile) {
            for (std::uint64_t x = 0; x < width; x += kTile) {
                for (std::size_t r = 0; r < kTile; ++r) {
                    const std::uint64_t y = firstRow + l + r;
                    const TileVec sign = (y & 1) == 0 ? evenRow : oddRow;
                    TileStore(tile + r * kTile, TileFrom(values + y * width + x) * sign);
                }
                TransposeTile(tile, kTile, lanesRe + Padded(x, shift) * kRowLanes + l, kRowLanes);
            }
        }
        return;
    }
    for (std::uint64_t x = 0; x < width; ++x) {
        for (std::size_t l = 0; l < kRowLanes; ++l) {
            float value = 0.0f;
            if (l < count) {
                const std::uint64_t y = firstRow + l;
                value = static_cast<float>(values[y * width + x]);
                if (((x + y) & 1) != 0) {
                    value *= -1.0f;
                }
            }
            lanesRe[Padded(x, shift) * kRowLanes + l] = value;
        }
    }
}

/// Rows [firstRow, firstRow + count) of the final real plane from lanes: value / scale, negated
/// where x + y is odd.
void LanesToScaledRows(const float* lanes, std::uint32_t shift, std::uint64_t width,
                       std::uint64_t firstRow, std::uint64_t count, float scale, float* re) {
    if (count == kRowLanes && width % kTile == 0) {
        // Negation flips the sign bit, as the unary minus does.
        const TileVec evenRow = TileAlternate(0.0f, -0.0f);
        const TileVec oddRow = TileAlternate(-0.0f, 0.0f);
        const TileVec divisor = TileSplat(scale);
        alignas(64) float tile[kTile * kTile];
        for (std::size_t l = 0; l < kRowLanes; l += kTile) {
            for (std::uint64_t x = 0; x < width; x += kTile) {
                TransposeTile(lanes + Padded(x, shift) * kRowLanes + l, kRowLanes, tile, kTile);
                for (std::size_t r = 0; r < kTile; ++r) {
                    const std::uint64_t y = firstRow + l + r;
                    const TileVec signs = (y & 1) == 0 ? evenRow : oddRow;
                    TileStore(re + y * width + x,
                              TileXor(TileLoad(tile + r * kTile) / divisor, signs));
                }
            }
        }
        return;
    }
    for (std::uint64_t l = 0; l < count; ++l) {
        const std::uint64_t y = firstRow + l;
        for (std::uint64_t x = 0; x < width; ++x) {
            float value = lanes[Padded(x, shift) * kRowLanes + l] / scale;
            if (((x + y) & 1) != 0) {
                value = -value;
            }
            re[y * width + x] = value;
        }
    }
}

}  // namespace
}  // namespace quarvel
