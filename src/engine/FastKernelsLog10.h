#pragma once

// Part of the fast kernels, included by FastKernelsImpl.h alone (see there): a copy of the C
// library's base-10 logarithm for eight lanes (AVX2 and wider only).

#include <immintrin.h>
#include <math.h>

#include <cstdint>

namespace quarvel {
namespace {

#if defined(__AVX2__)

/// The base-10 logarithm of the C library, lane by lane, for x > 0 or NaN. The library takes
/// the exponent apart (subnormals scaled by 2^25 first), computes the natural logarithm of the
/// mantissa m in [0.5, 2) in double precision from a 16-entry table and a polynomial with fused
/// multiply-adds, and combines
///     log10 x = (ln(m) ivln10 + e log10_2lo) + e log10_2hi
/// in single precision. Every constant and every rounding step here is the library's; the
/// result is checked against the library once before it is used (VectorLogMatchesLibrary).
namespace libmlog {

constexpr std::uint64_t kTable[32] = {
    0x3ff661ec79f8f3be, 0xbfd57bf7808caade, 0x3ff571ed4aaf883d, 0xbfd2bef0a7c06ddb,
    0x3ff49539f0f010b0, 0xbfd01eae7f513a67, 0x3ff3c995b0b80385, 0xbfcb31d8a68224e9,
    0x3ff30d190c8864a5, 0xbfc6574f0ac07758, 0x3ff25e227b0b8ea0, 0xbfc1aa2bc79c8100,
    0x3ff1bb4a4a1a343f, 0xbfba4e76ce8c0e5e, 0x3ff12358f08ae5ba, 0xbfb1973c5a611ccc,
    0x3ff0953f419900a7, 0xbfa252f438e10c1e, 0x3ff0000000000000, 0x0000000000000000,
    0x3fee608cfd9a47ac, 0x3faaa5aa5df25984, 0x3feca4b31f026aa0, 0x3fbc5e53aa362eb4,
    0x3feb2036576afce6, 0x3fc526e57720db08, 0x3fe9c2d163a1aa2d, 0x3fcbc2860d224770,
    0x3fe886e6037841ed, 0x3fd1058bc8a07ee1, 0x3fe767dcf5534862, 0x3fd4043057b6ee09,
};
constexpr std::uint64_t kLn2 = 0x3fe62e42fefa39ef;
constexpr std::uint64_t kPoly0 = 0xbfd00ea348b88334;
constexpr std::uint64_t kPoly1 = 0x3fd5575b0be00b6a;
constexpr std::uint64_t kPoly2 = 0xbfdffffef20a4123;
constexpr std::uint32_t kIvln10 = 0x3ede5bd9;
constexpr std::uint32_t kLog10Of2High = 0x3e9a2080;
constexpr std::uint32_t kLog10Of2Low = 0x355427db;

inline __m256d Double(std::uint64_t bits) {
    return _mm256_set1_pd(__builtin_bit_cast(double, bits));
}
inline __m256 Single(std::uint32_t bits) {
    return _mm256_set1_ps(__builtin_bit_cast(float, bits));
}

/// Eight 32-bit halves of table entries: column (0 invc, 1 logc) and half (0 low, 1 high) of
/// the entries 8 part to 8 part + 7.
inline __m256i TableHalves(int column, int half, int part) {
    alignas(32) std::uint32_t words[8];
    for (int i = 0; i < 8; ++i) {
        words[i] = static_cast<std::uint32_t>(kTable[2 * (8 * part + i) + column] >> (32 * half));
    }
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(words));
}

/// The table column entries (as doubles) of the eight lanes' indices, in two vectors of four.
inline void LookUp(const __m256i halves[2][2], __m256i index, __m256i upper, __m256d& first,
                   __m256d& last) {
    __m256i words[2];
    for (int half = 0; half < 2; ++half) {
        words[half] =
            _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(halves[half][0], index),
                               _mm256_permutevar8x32_epi32(halves[half][1], index), upper);
    }
    const __m256i low = _mm256_unpacklo_epi32(words[0], words[1]);
    const __m256i high = _mm256_unpackhi_epi32(words[0], words[1]);
    first = _mm256_castsi256_pd(_mm256_permute2x128_si256(low, high, 0x20));
    last = _mm256_castsi256_pd(_mm256_permute2x128_si256(low, high, 0x31));
}

/// The natural logarithm of four mantissas, from their reduced values z, their exponents and
/// their table entries, as the library computes it in double precision.
inline __m128 NaturalLog4(__m128i reduced, __m128i exponent, __m256d invc, __m256d logc) {
    const __m256d z = _mm256_cvtps_pd(_mm_castsi128_ps(reduced));
    const __m256d r = _mm256_fmadd_pd(z, invc, _mm256_set1_pd(-1.0));
    const __m256d y0 = _mm256_fmadd_pd(_mm256_cvtepi32_pd(exponent), Double(kLn2), logc);
    const __m256d r2 = _mm256_mul_pd(r, r);
    __m256d y = _mm256_fmadd_pd(r, Double(kPoly1), Double(kPoly2));
    y = _mm256_fmadd_pd(r2, Double(kPoly0), y);
    return _mm256_cvtpd_ps(_mm256_fmadd_pd(r2, y, _mm256_add_pd(r, y0)));
}

/// The natural logarithm of eight mantissas in [0.5, 2), given by their bits, as the library
/// computes it: a table entry (invc, logc) chosen by the mantissa's top bits, and
///     r = z invc - 1, ln = r^2 (poly0 r^2 + poly1 r + poly2) + (r + k ln2 + logc).
inline __m256 NaturalLog8(__m256i bits) {
    static const __m256i invcHalves[2][2] = {{TableHalves(0, 0, 0), TableHalves(0, 0, 1)},
                                             {TableHalves(0, 1, 0), TableHalves(0, 1, 1)}};
    static const __m256i logcHalves[2][2] = {{TableHalves(1, 0, 0), TableHalves(1, 0, 1)},
                                             {TableHalves(1, 1, 0), TableHalves(1, 1, 1)}};
    const __m256i offset = _mm256_sub_epi32(bits, _mm256_set1_epi32(0x3f330000));
    const __m256i index = _mm256_and_si256(_mm256_srli_epi32(offset, 19), _mm256_set1_epi32(15));
    const __m256i upper = _mm256_cmpgt_epi32(index, _mm256_set1_epi32(7));
    const __m256i exponent = _mm256_srai_epi32(offset, 23);
    const __m256i reduced = _mm256_sub_epi32(
        bits, _mm256_and_si256(offset, _mm256_set1_epi32(static_cast<int>(0xff800000u))));
    __m256d invc[2];
    __m256d logc[2];
    LookUp(invcHalves, index, upper, invc[0], invc[1]);
    LookUp(logcHalves, index, upper, logc[0], logc[1]);
    return _mm256_set_m128(NaturalLog4(_mm256_extracti128_si256(reduced, 1),
                                       _mm256_extracti128_si256(exponent, 1), invc[1], logc[1]),
                           NaturalLog4(_mm256_castsi256_si128(reduced),
                                       _mm256_castsi256_si128(exponent), invc[0], logc[0]));
}

/// log10 of eight values x > 0 or NaN, bit for bit as the library's log10f.
inline __m256 Log10(__m256 x) {
    const __m256i bits = _mm256_castps_si256(x);
    const __m256i subnormal = _mm256_cmpgt_epi32(_mm256_set1_epi32(0x00800000), bits);
    const __m256 scaledValue = _mm256_blendv_ps(x, _mm256_mul_ps(x, _mm256_set1_ps(33554432.0f)),
                                                _mm256_castsi256_ps(subnormal));
    const __m256i scaled = _mm256_castps_si256(scaledValue);
    const __m256i exponent =
        _mm256_add_epi32(_mm256_and_si256(subnormal, _mm256_set1_epi32(-25)),
                         _mm256_sub_epi32(_mm256_srai_epi32(scaled, 23), _mm256_set1_epi32(127)));
    const __m256i negative = _mm256_srli_epi32(exponent, 31);
    const __m256i mantissaBits =
        _mm256_or_si256(_mm256_and_si256(scaled, _mm256_set1_epi32(0x007fffff)),
                        _mm256_slli_epi32(_mm256_sub_epi32(_mm256_set1_epi32(0x7f), negative), 23));
    const __m256 e = _mm256_cvtepi32_ps(_mm256_add_epi32(exponent, negative));
    __m256 ln = NaturalLog8(mantissaBits);
    // The library returns exactly 0 for a mantissa of exactly 1.
    const __m256i one = _mm256_cmpeq_epi32(mantissaBits, _mm256_set1_epi32(0x3f800000));
    ln = _mm256_andnot_ps(_mm256_castsi256_ps(one), ln);
    const __m256 low = _mm256_mul_ps(e, Single(kLog10Of2Low));
    const __m256 high = _mm256_mul_ps(e, Single(kLog10Of2High));
    const __m256 result =
        _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(ln, Single(kIvln10)), low), high);
    // Infinity and NaN come back as x + x.
    const __m256i special = _mm256_cmpgt_epi32(bits, _mm256_set1_epi32(0x7f7fffff));
    return _mm256_blendv_ps(result, _mm256_add_ps(x, x), _mm256_castsi256_ps(special));
}

}  // namespace libmlog

/// Whether libmlog::Log10 gives exactly the library's log10f on a spread of values: the
/// library's internals (its table, its choice of fused multiply-adds) are its own business, so
/// the vector logarithm is only used after it agreed on every probe. Checked once.
bool VectorLogMatchesLibrary() {
    static const bool matches = [] {
        alignas(32) float probes[8];
        alignas(32) float results[8];
        std::uint32_t state = 0x12345678u;
        for (int round = 0; round < 1024; ++round) {
            for (int lane = 0; lane < 8; ++lane) {
                state = state * 1664525u + 1013904223u;
                // Positive finite values of every exponent, subnormals included, and a few
                // values next to 1 and to the powers of two and ten.
                std::uint32_t bits = (state >> 1) % 0x7f800000u;
                if (round % 8 == 1) {
                    bits = 0x3f800000u + (state % 64u) - 32u;
                } else if (round % 8 == 2) {
                    bits = (state % 254u + 1u) << 23;
                }
                probes[lane] = __builtin_bit_cast(float, bits == 0 ? 1u : bits);
            }
            _mm256_store_ps(results, libmlog::Log10(_mm256_load_ps(probes)));
            for (int lane = 0; lane < 8; ++lane) {
                const float expected = ::log10f(probes[lane]);
                if (__builtin_bit_cast(std::uint32_t, expected) !=
                    __builtin_bit_cast(std::uint32_t, results[lane])) {
                    return false;
                }
            }
        }
        return true;
    }();
    return matches;
}

#endif

}  // namespace
}  // namespace quarvel
