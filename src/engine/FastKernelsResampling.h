#pragma once

// Part of the fast kernels, included by FastKernelsImpl.h alone (see there): the bilinear
// resampling of image rows.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "engine/ByteRounding.h"
#include "engine/FastKernelsVectors.h"

namespace quarvel {
namespace {

/// Bytes 0 to 2 of one bilinear target pixel from the 4-byte source pixels x0 and x1 of rows
/// row0 and row1, as the plain loop computes them.
inline void ResamplePixel(const std::uint8_t* row0, const std::uint8_t* row1, float wy,
                          std::uint32_t x0, std::uint32_t x1, float wx, std::uint8_t* out) {
    for (std::size_t c = 0; c < 3; ++c) {
        const float s00 = row0[x0 * 4 + c];
        const float s10 = row0[x1 * 4 + c];
        const float s01 = row1[x0 * 4 + c];
        const float s11 = row1[x1 * 4 + c];
        const float value = s00 * (1.0f - wy) * (1.0f - wx) + s10 * (1.0f - wy) * wx +
                            s01 * (1.0f - wx) * wy + s11 * wx * wy;
        out[c] = TruncateToByte(value);
    }
}

/// The target byte of a bilinear resampling of an image of one byte per pixel.
inline std::uint8_t ResampleGreyPixel(const std::uint8_t* row0, const std::uint8_t* row1, float wy,
                                      std::uint32_t x0, std::uint32_t x1, float wx) {
    const float s00 = row0[x0];
    const float s10 = row0[x1];
    const float s01 = row1[x0];
    const float s11 = row1[x1];
    const float value = s00 * (1.0f - wy) * (1.0f - wx) + s10 * (1.0f - wy) * wx +
                        s01 * (1.0f - wx) * wy + s11 * wx * wy;
    return TruncateToByte(value);
}

#if defined(__AVX2__)

void ResampleRow(const std::uint8_t* row0, const std::uint8_t* row1, std::uint32_t sourceWidth,
                 float wy, const std::uint32_t* x0, const std::uint32_t* x1, const float* wx,
                 std::size_t count, std::uint8_t* out) {
    std::size_t i = 0;
    const int* words0 = reinterpret_cast<const int*>(row0);
    const int* words1 = reinterpret_cast<const int*>(row1);
    const __m256 oneMinusWy = _mm256_set1_ps(1.0f - wy);
    const __m256 wyVec = _mm256_set1_ps(wy);
    const __m256i mask = _mm256_set1_epi32(0xff);
    const __m256i keep = _mm256_set1_epi32(static_cast<int>(0xff000000u));
    for (; i + 8 <= count; i += 8) {
        const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x0 + i));
        const __m256i right = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x1 + i));
        __m256i p00, p10, p01, p11;
        // The columns only grow with i: when the eight pixels' sources lie within 16 pixels of
        // the first one, two loads per row and a shuffle stand in for the gathers.
        const std::uint32_t first = x0[i];
        if (first + 16 <= sourceWidth && x1[i + 7] - first < 16) {
            const __m256i start = _mm256_set1_epi32(static_cast<int>(first));
            const __m256i near = _mm256_sub_epi32(left, start);
            const __m256i far = _mm256_sub_epi32(right, start);
            const auto pick = [&](const int* words, __m256i offsets) {
                const __m256i low =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + first));
                const __m256i high =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + first + 8));
                const __m256i upper = _mm256_cmpgt_epi32(offsets, _mm256_set1_epi32(7));
                return _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(low, offsets),
                                          _mm256_permutevar8x32_epi32(high, offsets), upper);
            };
            p00 = pick(words0, near);
            p10 = pick(words0, far);
            p01 = pick(words1, near);
            p11 = pick(words1, far);
        } else {
            p00 = _mm256_i32gather_epi32(words0, left, 4);
            p10 = _mm256_i32gather_epi32(words0, right, 4);
            p01 = _mm256_i32gather_epi32(words1, left, 4);
            p11 = _mm256_i32gather_epi32(words1, right, 4);
        }
        const __m256 w = _mm256_loadu_ps(wx + i);
        const __m256 oneMinusWx = _mm256_sub_ps(_mm256_set1_ps(1.0f), w);
        __m256i* target = reinterpret_cast<__m256i*>(out + 4 * i);
        __m256i pixels = _mm256_and_si256(_mm256_loadu_si256(target), keep);
        for (int c = 0; c < 3; ++c) {
            const __m128i shift = _mm_cvtsi32_si128(8 * c);
            const auto component = [&](__m256i words) {
                return _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srl_epi32(words, shift), mask));
            };
            // s00 (1 - wy)(1 - wx) + s10 (1 - wy) wx + s01 (1 - wx) wy + s11 wx wy, from left
            // to right.
            __m256 value = _mm256_mul_ps(_mm256_mul_ps(component(p00), oneMinusWy), oneMinusWx);
            value =
                _mm256_add_ps(value, _mm256_mul_ps(_mm256_mul_ps(component(p10), oneMinusWy), w));
            value = _mm256_add_ps(value,
                                  _mm256_mul_ps(_mm256_mul_ps(component(p01), oneMinusWx), wyVec));
            value = _mm256_add_ps(value, _mm256_mul_ps(_mm256_mul_ps(component(p11), w), wyVec));
            pixels = _mm256_or_si256(pixels, _mm256_sll_epi32(TruncateToBytes(value), shift));
        }
        _mm256_storeu_si256(target, pixels);
    }
    for (; i < count; ++i) {
        ResamplePixel(row0, row1, wy, x0[i], x1[i], wx[i], out + 4 * i);
    }
}

void ResampleGreyRow(const std::uint8_t* row0, const std::uint8_t* row1, std::uint32_t sourceWidth,
                     float wy, const std::uint32_t* x0, const std::uint32_t* x1, const float* wx,
                     std::size_t count, std::uint8_t* out) {
    std::size_t i = 0;
    const __m256 oneMinusWy = _mm256_set1_ps(1.0f - wy);
    const __m256 wyVec = _mm256_set1_ps(wy);
    const __m256i byteMask = _mm256_set1_epi32(0xff);
    for (; i + 8 <= count; i += 8) {
        const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x0 + i));
        const __m256i right = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x1 + i));
        const std::uint32_t first = x0[i];
        const std::uint32_t last = x1[i + 7];
        __m256i p00, p10, p01, p11;
        if (first + 16 <= sourceWidth && last - first < 16) {
            // The eight pixels' sources lie within the 16 bytes from the first one: one load per
            // row, widened to two vectors of eight, stands in for the gathers.
            const __m256i start = _mm256_set1_epi32(static_cast<int>(first));
            const __m256i near = _mm256_sub_epi32(left, start);
            const __m256i far = _mm256_sub_epi32(right, start);
            const auto pick = [&](const std::uint8_t* row, __m256i offsets) {
                const __m128i bytes =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + first));
                const __m256i low = _mm256_cvtepu8_epi32(bytes);
                const __m256i high = _mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8));
                const __m256i upper = _mm256_cmpgt_epi32(offsets, _mm256_set1_epi32(7));
                return _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(low, offsets),
                                          _mm256_permutevar8x32_epi32(high, offsets), upper);
            };
            p00 = pick(row0, near);
            p10 = pick(row0, far);
            p01 = pick(row1, near);
            p11 = pick(row1, far);
        } else if (last + 4 <= sourceWidth) {
            // Four bytes from each source column, all within the row, the first one kept.
            const auto gather = [&](const std::uint8_t* row, __m256i offsets) {
                return _mm256_and_si256(
                    _mm256_i32gather_epi32(reinterpret_cast<const int*>(row), offsets, 1),
                    byteMask);
            };
            p00 = gather(row0, left);
            p10 = gather(row0, right);
            p01 = gather(row1, left);
            p11 = gather(row1, right);
        } else {
            break;
        }
        const __m256 w = _mm256_loadu_ps(wx + i);
        const __m256 oneMinusWx = _mm256_sub_ps(_mm256_set1_ps(1.0f), w);
        // s00 (1 - wy)(1 - wx) + s10 (1 - wy) wx + s01 (1 - wx) wy + s11 wx wy, from left to
        // right.
        __m256 value =
            _mm256_mul_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(p00), oneMinusWy), oneMinusWx);
        value = _mm256_add_ps(value,
                              _mm256_mul_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(p10), oneMinusWy), w));
        value = _mm256_add_ps(
            value, _mm256_mul_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(p01), oneMinusWx), wyVec));
        value =
            _mm256_add_ps(value, _mm256_mul_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(p11), w), wyVec));
        const __m256i levels = TruncateToBytes(value);
        const __m128i words =
            _mm_packus_epi32(_mm256_castsi256_si128(levels), _mm256_extracti128_si256(levels, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(words, words));
    }
    // The last pixels of the row, whose sources reach its end.
    for (; i < count; ++i) {
        out[i] = ResampleGreyPixel(row0, row1, wy, x0[i], x1[i], wx[i]);
    }
}

#else

void ResampleRow(const std::uint8_t* row0, const std::uint8_t* row1, std::uint32_t /*sourceWidth*/,
                 float wy, const std::uint32_t* x0, const std::uint32_t* x1, const float* wx,
                 std::size_t count, std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i) {
        ResamplePixel(row0, row1, wy, x0[i], x1[i], wx[i], out + 4 * i);
    }
}

void ResampleGreyRow(const std::uint8_t* row0, const std::uint8_t* row1,
                     std::uint32_t /*sourceWidth*/, float wy, const std::uint32_t* x0,
                     const std::uint32_t* x1, const float* wx, std::size_t count,
                     std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = ResampleGreyPixel(row0, row1, wy, x0[i], x1[i], wx[i]);
    }
}

#endif

}  // namespace
}  // namespace quarvel
