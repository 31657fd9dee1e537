#pragma once

// Part of the fast kernels, included by FastKernelsImpl.h alone (see there): the vectors and
// square tiles of the instruction set the including source is compiled for.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace quarvel {
namespace {

// ---------------------------------------------------------------------------------------------
// Vectors of this instruction set.

#if defined(__AVX512F__)
using Vec = __m512;
constexpr std::size_t kLanes = 16;
inline Vec Load(const float* p) {
    return _mm512_loadu_ps(p);
}
inline void Store(float* p, Vec v) {
    _mm512_storeu_ps(p, v);
}
inline Vec Splat(float value) {
    return _mm512_set1_ps(value);
}
#elif defined(__AVX2__)
using Vec = __m256;
constexpr std::size_t kLanes = 8;
inline Vec Load(const float* p) {
    return _mm256_loadu_ps(p);
}
inline void Store(float* p, Vec v) {
    _mm256_storeu_ps(p, v);
}
inline Vec Splat(float value) {
    return _mm256_set1_ps(value);
}
#else
using Vec = __m128;
constexpr std::size_t kLanes = 4;
inline Vec Load(const float* p) {
    return _mm_loadu_ps(p);
}
inline void Store(float* p, Vec v) {
    _mm_storeu_ps(p, v);
}
inline Vec Splat(float value) {
    return _mm_set1_ps(value);
}
#endif

// Square tiles for moving rows into lanes and back: 8 x 8 with 256-bit vectors (also with
// AVX-512, whose 16 lanes are two tiles wide), 4 x 4 otherwise.
#if defined(__AVX2__)
using TileVec = __m256;
constexpr std::size_t kTile = 8;
inline TileVec TileLoad(const float* p) {
    return _mm256_loadu_ps(p);
}
inline void TileStore(float* p, TileVec v) {
    _mm256_storeu_ps(p, v);
}
inline TileVec TileSplat(float value) {
    return _mm256_set1_ps(value);
}
/// first, second, first, second, ...
inline TileVec TileAlternate(float first, float second) {
    return _mm256_setr_ps(first, second, first, second, first, second, first, second);
}
inline TileVec TileXor(TileVec v, TileVec bits) {
    return _mm256_xor_ps(v, bits);
}
/// The kTile bytes at p as floats.
inline TileVec TileFromBytes(const std::uint8_t* p) {
    return _mm256_cvtepi32_ps(
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

/// dst[c * dstStride + r] = src[r * srcStride + c] for r, c < 8.
inline void TransposeTile(const float* src, std::size_t srcStride, float* dst,
                          std::size_t dstStride) {
    const __m256 r0 = _mm256_loadu_ps(src);
    const __m256 r1 = _mm256_loadu_ps(src + srcStride);
    const __m256 r2 = _mm256_loadu_ps(src + 2 * srcStride);
    const __m256 r3 = _mm256_loadu_ps(src + 3 * srcStride);
    const __m256 r4 = _mm256_loadu_ps(src + 4 * srcStride);
    const __m256 r5 = _mm256_loadu_ps(src + 5 * srcStride);
    const __m256 r6 = _mm256_loadu_ps(src + 6 * srcStride);
    const __m256 r7 = _mm256_loadu_ps(src + 7 * srcStride);
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1);
    const __m256 t1 = _mm256_unpackhi_ps(r0, r1);
    const __m256 t2 = _mm256_unpacklo_ps(r2, r3);
    const __m256 t3 = _mm256_unpackhi_ps(r2, r3);
    const __m256 t4 = _mm256_unpacklo_ps(r4, r5);
    const __m256 t5 = _mm256_unpackhi_ps(r4, r5);
    const __m256 t6 = _mm256_unpacklo_ps(r6, r7);
    const __m256 t7 = _mm256_unpackhi_ps(r6, r7);
    const __m256 u0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
    _mm256_storeu_ps(dst, _mm256_permute2f128_ps(u0, u4, 0x20));
    _mm256_storeu_ps(dst + dstStride, _mm256_permute2f128_ps(u1, u5, 0x20));
    _mm256_storeu_ps(dst + 2 * dstStride, _mm256_permute2f128_ps(u2, u6, 0x20));
    _mm256_storeu_ps(dst + 3 * dstStride, _mm256_permute2f128_ps(u3, u7, 0x20));
    _mm256_storeu_ps(dst + 4 * dstStride, _mm256_permute2f128_ps(u0, u4, 0x31));
    _mm256_storeu_ps(dst + 5 * dstStride, _mm256_permute2f128_ps(u1, u5, 0x31));
    _mm256_storeu_ps(dst + 6 * dstStride, _mm256_permute2f128_ps(u2, u6, 0x31));
    _mm256_storeu_ps(dst + 7 * dstStride, _mm256_permute2f128_ps(u3, u7, 0x31));
}
#else
using TileVec = __m128;
constexpr std::size_t kTile = 4;
inline TileVec TileLoad(const float* p) {
    return _mm_loadu_ps(p);
}
inline void TileStore(float* p, TileVec v) {
    _mm_storeu_ps(p, v);
}
inline TileVec TileSplat(float value) {
    return _mm_set1_ps(value);
}
inline TileVec TileAlternate(float first, float second) {
    return _mm_setr_ps(first, second, first, second);
}
inline TileVec TileXor(TileVec v, TileVec bits) {
    return _mm_xor_ps(v, bits);
}
inline TileVec TileFromBytes(const std::uint8_t* p) {
    std::int32_t word = 0;
    __builtin_memcpy(&word, p, 4);
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_cvtsi32_si128(word);
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
}

inline void TransposeTile(const float* src, std::size_t srcStride, float* dst,
                          std::size_t dstStride) {
    __m128 r0 = _mm_loadu_ps(src);
    __m128 r1 = _mm_loadu_ps(src + srcStride);
    __m128 r2 = _mm_loadu_ps(src + 2 * srcStride);
    __m128 r3 = _mm_loadu_ps(src + 3 * srcStride);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    _mm_storeu_ps(dst, r0);
    _mm_storeu_ps(dst + dstStride, r1);
    _mm_storeu_ps(dst + 2 * dstStride, r2);
    _mm_storeu_ps(dst + 3 * dstStride, r3);
}
#endif

/// The kTile samples at p as floats: bytes converted, floats as they are.
inline TileVec TileFrom(const std::uint8_t* p) {
    return TileFromBytes(p);
}
inline TileVec TileFrom(const float* p) {
    return TileLoad(p);
}

#if defined(__AVX2__)

/// TruncateToByte on eight values, as 32-bit integers.
inline __m256i TruncateToBytes(__m256 value) {
    const __m256i truncated = _mm256_cvttps_epi32(value);
    const __m256 high = _mm256_cmp_ps(value, _mm256_set1_ps(255.0f), _CMP_GE_OQ);
    const __m256 positive = _mm256_cmp_ps(value, _mm256_setzero_ps(), _CMP_GT_OQ);
    const __m256i limited =
        _mm256_blendv_epi8(truncated, _mm256_set1_epi32(255), _mm256_castps_si256(high));
    return _mm256_and_si256(limited, _mm256_castps_si256(positive));
}

#endif

}  // namespace
}  // namespace quarvel
