#pragma once

// Part of the fast kernels, included by FastKernelsImpl.h alone (see there): the whole-plane
// loops of the spectrum conversion, the filters and the final image.

#include <immintrin.h>
#include <math.h>

#include <cstddef>
#include <cstdint>

#include "engine/ByteRounding.h"
#include "engine/FastKernelsLog10.h"
#include "engine/FastKernelsVectors.h"

namespace quarvel {
namespace {

// ---------------------------------------------------------------------------------------------
// Whole-plane loops of the spectrum conversion, the filters and the final image. Each computes
// for every element exactly what the plain loop computes; 256-bit vectors where the processor
// has them (also with 512-bit vectors), the plain loop otherwise.

/// The strict comparisons of a sequential scan for the smallest and largest value: a value
/// replaces the current one only when it is smaller (larger); NaN never does.
inline void ScanExtremes(float value, float& lowest, float& highest) {
    if (value < lowest) {
        lowest = value;
    }
    if (value > highest) {
        highest = value;
    }
}

#if defined(__AVX2__)

void LogMagnitudes(const float* re, const float* im, std::size_t count, float log10Of2,
                   float* levels, float& lowest, float& highest) {
    std::size_t x = 0;
    if (VectorLogMatchesLibrary()) {
        __m256 low = _mm256_set1_ps(lowest);
        __m256 high = _mm256_set1_ps(highest);
        const __m256 divisor = _mm256_set1_ps(log10Of2);
        for (; x + 8 <= count; x += 8) {
            const __m256 a = _mm256_loadu_ps(re + x);
            const __m256 b = _mm256_loadu_ps(im + x);
            const __m256 magnitude =
                _mm256_sqrt_ps(_mm256_add_ps(_mm256_mul_ps(a, a), _mm256_mul_ps(b, b)));
            const __m256 zero = _mm256_cmp_ps(magnitude, _mm256_setzero_ps(), _CMP_EQ_OQ);
            // Zero magnitudes get level 0; the logarithm of 1 stands in for them meanwhile.
            const __m256 safe = _mm256_blendv_ps(magnitude, _mm256_set1_ps(1.0f), zero);
            const __m256 level =
                _mm256_andnot_ps(zero, _mm256_div_ps(libmlog::Log10(safe), divisor));
            _mm256_storeu_ps(levels + x, level);
            // Per lane as the sequential scan: replace only on a strict comparison.
            low = _mm256_blendv_ps(low, level, _mm256_cmp_ps(level, low, _CMP_LT_OQ));
            high = _mm256_blendv_ps(high, level, _mm256_cmp_ps(level, high, _CMP_GT_OQ));
        }
        alignas(32) float lows[8];
        alignas(32) float highs[8];
        _mm256_store_ps(lows, low);
        _mm256_store_ps(highs, high);
        for (int lane = 0; lane < 8; ++lane) {
            if (lows[lane] < lowest) {
                lowest = lows[lane];
            }
            if (highs[lane] > highest) {
                highest = highs[lane];
            }
        }
    }
    for (; x < count; ++x) {
        const float magnitude = __builtin_sqrtf(re[x] * re[x] + im[x] * im[x]);
        levels[x] = magnitude != 0.0f ? ::log10f(magnitude) / log10Of2 : 0.0f;
        ScanExtremes(levels[x], lowest, highest);
    }
}

void LevelBytes(const float* levels, std::size_t count, float lowest, float range,
                std::uint8_t* out) {
    std::size_t x = 0;
    const __m256 base = _mm256_set1_ps(lowest);
    const __m256 span = _mm256_set1_ps(range);
    const __m256 scale = _mm256_set1_ps(255.0f);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const auto level = [&](std::size_t at) {
        return TruncateToBytes(_mm256_mul_ps(
            _mm256_div_ps(_mm256_sub_ps(_mm256_loadu_ps(levels + at), base), span), scale));
    };
    for (; x + 32 <= count; x += 32) {
        const __m256i packed =
            _mm256_packus_epi16(_mm256_packus_epi32(level(x), level(x + 8)),
                                _mm256_packus_epi32(level(x + 16), level(x + 24)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                            _mm256_permutevar8x32_epi32(packed, order));
    }
    for (; x < count; ++x) {
        out[x] = TruncateToByte((levels[x] - lowest) / range * 255.0f);
    }
}

void GatherChannel(const std::uint8_t* pixels, std::size_t count, std::size_t offset,
                   std::uint8_t* out) {
    std::size_t x = 0;
    const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(8 * offset));
    const __m256i mask = _mm256_set1_epi32(0xff);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (; x + 32 <= count; x += 32) {
        const __m256i* in = reinterpret_cast<const __m256i*>(pixels + 4 * x);
        const __m256i a = _mm256_and_si256(_mm256_srl_epi32(_mm256_loadu_si256(in), shift), mask);
        const __m256i b =
            _mm256_and_si256(_mm256_srl_epi32(_mm256_loadu_si256(in + 1), shift), mask);
        const __m256i c =
            _mm256_and_si256(_mm256_srl_epi32(_mm256_loadu_si256(in + 2), shift), mask);
        const __m256i d =
            _mm256_and_si256(_mm256_srl_epi32(_mm256_loadu_si256(in + 3), shift), mask);
        const __m256i packed =
            _mm256_packus_epi16(_mm256_packus_epi32(a, b), _mm256_packus_epi32(c, d));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                            _mm256_permutevar8x32_epi32(packed, order));
    }
    for (; x < count; ++x) {
        out[x] = pixels[4 * x + offset];
    }
}

void MergePixels(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue,
                 std::size_t count, std::uint8_t* pixels) {
    std::size_t x = 0;
    const __m256i keep = _mm256_set1_epi32(static_cast<int>(0xff000000u));
    for (; x + 8 <= count; x += 8) {
        const auto widen = [&](const std::uint8_t* bytes) {
            return _mm256_cvtepu8_epi32(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + x)));
        };
        __m256i* out = reinterpret_cast<__m256i*>(pixels + 4 * x);
        // Byte 3 of each pixel is left as it was.
        const __m256i kept = _mm256_and_si256(_mm256_loadu_si256(out), keep);
        const __m256i bgr = _mm256_or_si256(
            widen(blue),
            _mm256_or_si256(_mm256_slli_epi32(widen(green), 8), _mm256_slli_epi32(widen(red), 16)));
        _mm256_storeu_si256(out, _mm256_or_si256(kept, bgr));
    }
    for (; x < count; ++x) {
        pixels[4 * x] = blue[x];
        pixels[4 * x + 1] = green[x];
        pixels[4 * x + 2] = red[x];
    }
}

void RoundBytes(const float* values, std::size_t count, std::uint8_t* out) {
    std::size_t x = 0;
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (; x + 32 <= count; x += 32) {
        const __m256i a = TruncateToBytes(_mm256_add_ps(_mm256_loadu_ps(values + x), half));
        const __m256i b = TruncateToBytes(_mm256_add_ps(_mm256_loadu_ps(values + x + 8), half));
        const __m256i c = TruncateToBytes(_mm256_add_ps(_mm256_loadu_ps(values + x + 16), half));
        const __m256i d = TruncateToBytes(_mm256_add_ps(_mm256_loadu_ps(values + x + 24), half));
        const __m256i packed =
            _mm256_packus_epi16(_mm256_packus_epi32(a, b), _mm256_packus_epi32(c, d));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                            _mm256_permutevar8x32_epi32(packed, order));
    }
    for (; x < count; ++x) {
        out[x] = RoundToByte(values[x]);
    }
}

#else

void LogMagnitudes(const float* re, const float* im, std::size_t count, float log10Of2,
                   float* levels, float& lowest, float& highest) {
    for (std::size_t x = 0; x < count; ++x) {
        const float magnitude = __builtin_sqrtf(re[x] * re[x] + im[x] * im[x]);
        levels[x] = magnitude != 0.0f ? ::log10f(magnitude) / log10Of2 : 0.0f;
        ScanExtremes(levels[x], lowest, highest);
    }
}

void LevelBytes(const float* levels, std::size_t count, float lowest, float range,
                std::uint8_t* out) {
    for (std::size_t x = 0; x < count; ++x) {
        out[x] = TruncateToByte((levels[x] - lowest) / range * 255.0f);
    }
}

void GatherChannel(const std::uint8_t* pixels, std::size_t count, std::size_t offset,
                   std::uint8_t* out) {
    for (std::size_t x = 0; x < count; ++x) {
        out[x] = pixels[4 * x + offset];
    }
}

void MergePixels(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue,
                 std::size_t count, std::uint8_t* pixels) {
    for (std::size_t x = 0; x < count; ++x) {
        pixels[4 * x] = blue[x];
        pixels[4 * x + 1] = green[x];
        pixels[4 * x + 2] = red[x];
    }
}

void RoundBytes(const float* values, std::size_t count, std::uint8_t* out) {
    for (std::size_t x = 0; x < count; ++x) {
        out[x] = RoundToByte(values[x]);
    }
}

#endif

}  // namespace
}  // namespace quarvel
