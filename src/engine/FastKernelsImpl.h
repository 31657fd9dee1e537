// The fast kernels, written once for every instruction set. Each FastKernels*.cpp includes this
// file once, compiled for its own instruction set; everything here has internal linkage, so no
// function compiled for a wider set can stand in for the baseline one.
//
// Exactness: every value goes through the same single-precision operations, in the same order
// and with the same operands, as in the reference loops (C2DFFT::FFT1D and the plain loops of
// the callers). Vector lanes only carry independent elements side by side. The build keeps
// multiplications and additions apart (-ffp-contract=off); the only fused multiply-adds are
// those of the copy of the C library's logarithm, which uses them itself.

#include <immintrin.h>
#include <math.h>

#include <cstddef>
#include <cstdint>

#include "engine/ByteRounding.h"
#include "engine/FastKernels.h"

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

/// The channel bytes of rows [firstRow, firstRow + count) as lanes, each value multiplied by
/// -1.0 where x + y is odd (the centring factor). Their imaginary parts, all zero, are not
/// stored: the transform takes them as kZeroImaginary.
void BytesToLanes(const std::uint8_t* values, std::uint64_t width, std::uint64_t firstRow,
                  std::uint64_t count, float* lanesRe, std::uint32_t shift) {
    if (count == kRowLanes && width % kTile == 0) {
        // The even columns of an even row are multiplied by +1.0 instead of being left alone,
        // which changes nothing: a byte is finite and never negative zero.
        const TileVec evenRow = TileAlternate(1.0f, -1.0f);
        const TileVec oddRow = TileAlternate(-1.0f, 1.0f);
        alignas(64) float tile[kTile * kTile];
        for (std::size_t l = 0; l < kRowLanes; l += kTile) {
            for (std::uint64_t x = 0; x < width; x += kTile) {
                for (std::size_t r = 0; r < kTile; ++r) {
                    const std::uint64_t y = firstRow + l + r;
                    const TileVec sign = (y & 1) == 0 ? evenRow : oddRow;
                    TileStore(tile + r * kTile, TileFromBytes(values + y * width + x) * sign);
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

// ---------------------------------------------------------------------------------------------
// The transform of kLanes independent sequences side by side.
//
// FFT1D's stage s (span = N / 2^(s+1)) pairs the values that differ in one bit of their index
// and writes the sum to the lower half and the difference to the upper half. Following one
// value's index through the stages, the stages s .. s + r - 1 only ever combine the 2^r values
// of a group: the values whose index, at the start of stage s, is
//     D 2^(N-bits - s) + X 2^(N-bits - s - r) + J   for X = 0 .. 2^r - 1,
// with D (s bits) and J fixed; after those stages the group's values sit at
//     E 2^(N-bits - r) + D 2^(N-bits - s - r) + J   for E = 0 .. 2^r - 1.
// Inside the group the stages look like an FFT1D of 2^r points whose stage q uses the twiddle
// that FFT1D's stage s + q uses for the butterfly group (e 2^s + D), e being the local group.
// So the N-point transform runs as two phases of about half the stages each; every group of a
// phase is loaded into the first-level cache, its stages run two at a time in registers, and it
// is stored back. Each butterfly still computes
//     b = (re[p+span] c + im[p+span] d, im[p+span] c - re[p+span] d),
//     sum = b + a, difference = sum - 2 b
// from the same values and the same table entries, so every result is bit-identical.
//
// Example, N = 8 with one phase: local stage 0 pairs (0, 4), (1, 5), (2, 6), (3, 7) with
// twiddle 0; stage 1 pairs the sums (0, 1) with twiddle 0 and the differences with twiddle 2
// (group 1 at span 2); stage 2 pairs neighbours with twiddles 0, 1, 2, 3 - the worked example
// of the stage tables.

/// Stages done in one phase when the whole sequence fits the local buffer (256 points).
constexpr std::uint32_t kSinglePhaseStages = 8;

/// 2.0 in every lane, hidden from the optimiser: it would otherwise turn 2 b into b + b, which
/// is exact as well but loads the adders while the multipliers wait.
inline Vec Two() {
    Vec two = Splat(2.0f);
    __asm__("" : "+v"(two));
    return two;
}

/// The butterfly of FFT1D on kLanes pairs at once: a is the value at p, b the one at p + span,
/// (c, d) the twiddle.
inline void Butterfly(Vec aRe, Vec aIm, Vec bRe, Vec bIm, Vec c, Vec d, Vec two, Vec& sumRe,
                      Vec& sumIm, Vec& diffRe, Vec& diffIm) {
    const Vec rotatedRe = bRe * c + bIm * d;
    const Vec rotatedIm = bIm * c - bRe * d;
    sumRe = rotatedRe + aRe;
    sumIm = rotatedIm + aIm;
    diffRe = sumRe - two * rotatedRe;
    diffIm = sumIm - two * rotatedIm;
}

/// The twiddles of FFT1D's stage `stage` for the butterfly groups G = D + e 2^s, e = 0, 1, ...:
/// the stage table holds G span at stage * N / 2 + G span.
class StageTwiddles {
public:
    StageTwiddles(const FftAxis& axis, std::uint32_t stage, std::uint32_t s, std::uint64_t D)
        : cosTable_(axis.cosTable), sinTable_(axis.sinTable) {
        const std::uint64_t span = axis.length >> (stage + 1);
        entries_ = axis.twiddles + stage * (axis.length / 2) + D * span;
        step_ = span << s;
    }
    /// The twiddle of group D + e 2^s.
    void Get(std::uint64_t e, Vec& c, Vec& d) const {
        const std::uint32_t w = entries_[e * step_];
        c = Splat(cosTable_[w]);
        d = Splat(sinTable_[w]);
    }

private:
    const float* cosTable_;
    const float* sinTable_;
    const std::uint32_t* entries_;
    std::uint64_t step_;
};

/// Where a pass reads or writes: element i of every lane at re + i * step (and im + i * step).
struct LaneSpan {
    float* re;
    float* im;
    std::size_t step;
};

/// How a transform's first pass takes the imaginary parts of its input.
enum ImaginaryInput : int {
    kLoadImaginary,    ///< as they are
    kNegateImaginary,  ///< negated (the sign bit flipped), for the conjugate
    kZeroImaginary,    ///< all +0.0, without reading them (a real channel)
};

/// A value's imaginary part as the first pass takes it.
template <int kImaginary>
inline Vec LoadIm(const float* p) {
    if constexpr (kImaginary == kZeroImaginary) {
        return Splat(0.0f);
    } else if constexpr (kImaginary == kNegateImaginary) {
        return -Load(p);
    } else {
        return Load(p);
    }
}

/// How a transform's last pass writes its output.
enum OutputMode : int {
    kStoreOutput,  ///< real and imaginary parts
    kRealOutput,   ///< the real parts only; the imaginary ones are not needed, so neither
                   ///< stored nor, the stores gone, computed
};

/// Stores the real part v at p.
template <int kOutput>
inline void Put(float* p, Vec v) {
    Store(p, v);
}

/// Stores the imaginary part v at p unless kOutput wants the real parts only.
template <int kOutput>
inline void PutIm(float* p, Vec v) {
    if constexpr (kOutput != kRealOutput) {
        Store(p, v);
    }
}

/// Local stages kQ and kQ + 1 of a group of 2^kR points whose first global stage is s, for
/// the group offset D (see above). The sizes are compile-time constants so that the loops are
/// laid out for each pass; only the group's place and the strides of its ends vary.
template <std::uint32_t kR, std::uint32_t kQ, std::size_t kVecs, int kImaginary, int kOutput>
[[gnu::always_inline]] inline void Radix4Pass(const FftAxis& axis, std::uint32_t s, std::uint64_t D,
                                              const LaneSpan in, const LaneSpan out) {
    constexpr std::uint64_t kQuarter = std::uint64_t{1} << (kR - kQ - 2);
    constexpr std::uint64_t kBlocks = std::uint64_t{1} << kQ;
    const std::size_t inStep = in.step;
    const std::size_t outStep = out.step;
    const std::size_t inQuarter = kQuarter * inStep;
    const std::size_t outQuarter = (std::size_t{1} << (kR - 2)) * outStep;
    const StageTwiddles first(axis, s + kQ, s, D);
    const StageTwiddles second(axis, s + kQ + 1, s, D);
    const Vec two = Two();
    for (std::uint64_t e = 0; e < kBlocks; ++e) {
        Vec c0, d0, c1, d1, c2, d2;
        first.Get(e, c0, d0);
        second.Get(e, c1, d1);
        second.Get(e + kBlocks, c2, d2);
        const float* inRe = in.re + e * 4 * inQuarter;
        const float* inIm = in.im + e * 4 * inQuarter;
        float* outRe = out.re + e * kQuarter * outStep;
        float* outIm = out.im + e * kQuarter * outStep;
        for (std::uint64_t j = 0; j < kQuarter; ++j) {
            for (std::size_t v = 0; v < kVecs; ++v) {
                const std::size_t i = j * inStep + v * kLanes;
                const Vec x0Re = Load(inRe + i);
                const Vec x0Im = LoadIm<kImaginary>(inIm + i);
                const Vec x1Re = Load(inRe + i + inQuarter);
                const Vec x1Im = LoadIm<kImaginary>(inIm + i + inQuarter);
                const Vec x2Re = Load(inRe + i + 2 * inQuarter);
                const Vec x2Im = LoadIm<kImaginary>(inIm + i + 2 * inQuarter);
                const Vec x3Re = Load(inRe + i + 3 * inQuarter);
                const Vec x3Im = LoadIm<kImaginary>(inIm + i + 3 * inQuarter);
                // Stage q pairs (x0, x2) and (x1, x3); stage q + 1 pairs the two sums and the
                // two differences.
                Vec s0Re, s0Im, t0Re, t0Im, s1Re, s1Im, t1Re, t1Im;
                Butterfly(x0Re, x0Im, x2Re, x2Im, c0, d0, two, s0Re, s0Im, t0Re, t0Im);
                Butterfly(x1Re, x1Im, x3Re, x3Im, c0, d0, two, s1Re, s1Im, t1Re, t1Im);
                Vec o0Re, o0Im, o1Re, o1Im, o2Re, o2Im, o3Re, o3Im;
                Butterfly(s0Re, s0Im, s1Re, s1Im, c1, d1, two, o0Re, o0Im, o2Re, o2Im);
                Butterfly(t0Re, t0Im, t1Re, t1Im, c2, d2, two, o1Re, o1Im, o3Re, o3Im);
                const std::size_t k = j * outStep + v * kLanes;
                Put<kOutput>(outRe + k, o0Re);
                PutIm<kOutput>(outIm + k, o0Im);
                Put<kOutput>(outRe + k + outQuarter, o1Re);
                PutIm<kOutput>(outIm + k + outQuarter, o1Im);
                Put<kOutput>(outRe + k + 2 * outQuarter, o2Re);
                PutIm<kOutput>(outIm + k + 2 * outQuarter, o2Im);
                Put<kOutput>(outRe + k + 3 * outQuarter, o3Re);
                PutIm<kOutput>(outIm + k + 3 * outQuarter, o3Im);
            }
        }
    }
}

/// Local stage kQ alone, as Radix4Pass.
template <std::uint32_t kR, std::uint32_t kQ, std::size_t kVecs, int kImaginary, int kOutput>
[[gnu::always_inline]] inline void Radix2Pass(const FftAxis& axis, std::uint32_t s, std::uint64_t D,
                                              const LaneSpan in, const LaneSpan out) {
    constexpr std::uint64_t kHalf = std::uint64_t{1} << (kR - kQ - 1);
    constexpr std::uint64_t kBlocks = std::uint64_t{1} << kQ;
    const std::size_t inStep = in.step;
    const std::size_t outStep = out.step;
    const std::size_t inHalf = kHalf * inStep;
    const std::size_t outHalf = (std::size_t{1} << (kR - 1)) * outStep;
    const StageTwiddles twiddles(axis, s + kQ, s, D);
    const Vec two = Two();
    for (std::uint64_t e = 0; e < kBlocks; ++e) {
        Vec c, d;
        twiddles.Get(e, c, d);
        const float* inRe = in.re + e * 2 * inHalf;
        const float* inIm = in.im + e * 2 * inHalf;
        float* outRe = out.re + e * kHalf * outStep;
        float* outIm = out.im + e * kHalf * outStep;
        for (std::uint64_t j = 0; j < kHalf; ++j) {
            for (std::size_t v = 0; v < kVecs; ++v) {
                const std::size_t i = j * inStep + v * kLanes;
                Vec sumRe, sumIm, diffRe, diffIm;
                Butterfly(Load(inRe + i), LoadIm<kImaginary>(inIm + i), Load(inRe + i + inHalf),
                          LoadIm<kImaginary>(inIm + i + inHalf), c, d, two, sumRe, sumIm, diffRe,
                          diffIm);
                const std::size_t k = j * outStep + v * kLanes;
                Put<kOutput>(outRe + k, sumRe);
                PutIm<kOutput>(outIm + k, sumIm);
                Put<kOutput>(outRe + k + outHalf, diffRe);
                PutIm<kOutput>(outIm + k + outHalf, diffIm);
            }
        }
    }
}

/// The passes of a group of 2^kR points from local stage kQ on: two stages at a time, the last
/// one alone when kR is odd. The first pass reads `from` (its imaginary parts taken as
/// `imaginary` says), the last writes `out` as kOutput says (an OutputMode), the others go
/// through the two local buffers in turn.
template <std::uint32_t kR, std::uint32_t kQ, std::size_t kVecs, int kOutput>
[[gnu::always_inline]] inline void RunPasses(const FftAxis& axis, std::uint32_t s, std::uint64_t D,
                                             const LaneSpan from, int imaginary, const LaneSpan out,
                                             float* local) {
    constexpr bool kLast = kQ + 2 >= kR;
    constexpr int kPassOutput = kLast ? kOutput : kStoreOutput;
    constexpr std::size_t kElement = kVecs * kLanes;
    constexpr std::size_t kBlock = (std::size_t{1} << kR) * kElement + kFftSkewFloats;
    float* const buffer = local + ((kQ / 2) & 1) * 2 * kBlock;
    const LaneSpan to = kLast ? out : LaneSpan{buffer, buffer + kBlock, kElement};
    if constexpr (kQ + 2 <= kR) {
        if (imaginary == kNegateImaginary) {
            Radix4Pass<kR, kQ, kVecs, kNegateImaginary, kPassOutput>(axis, s, D, from, to);
        } else if (imaginary == kZeroImaginary) {
            Radix4Pass<kR, kQ, kVecs, kZeroImaginary, kPassOutput>(axis, s, D, from, to);
        } else {
            Radix4Pass<kR, kQ, kVecs, kLoadImaginary, kPassOutput>(axis, s, D, from, to);
        }
    } else if (imaginary == kNegateImaginary) {
        Radix2Pass<kR, kQ, kVecs, kNegateImaginary, kPassOutput>(axis, s, D, from, to);
    } else if (imaginary == kZeroImaginary) {
        Radix2Pass<kR, kQ, kVecs, kZeroImaginary, kPassOutput>(axis, s, D, from, to);
    } else {
        Radix2Pass<kR, kQ, kVecs, kLoadImaginary, kPassOutput>(axis, s, D, from, to);
    }
    if constexpr (!kLast) {
        RunPasses<kR, kQ + 2, kVecs, kOutput>(axis, s, D, to, kLoadImaginary, out, local);
    }
}

/// Global stages s .. s + r - 1 (1 <= r <= 8) of one group: reads it from in, runs its stages
/// two at a time through the local buffer and writes it to out, which may be in.
template <std::size_t kVecs, int kOutput>
void RunGroup(const FftAxis& axis, std::uint32_t s, std::uint32_t r, std::uint64_t D,
              const LaneSpan& in, int imaginary, const LaneSpan& out, float* local) {
    switch (r) {
        case 1:
            RunPasses<1, 0, kVecs, kOutput>(axis, s, D, in, imaginary, out, local);
            break;
        case 2:
            RunPasses<2, 0, kVecs, kOutput>(axis, s, D, in, imaginary, out, local);
            break;
        case 3:
            RunPasses<3, 0, kVecs, kOutput>(axis, s, D, in, imaginary, out, local);
            break;
        case 4:
            RunPasses<4, 0, kVecs, kOutput>(axis, s, D, in, imaginary, out, local);
            break;
        case 5:
            RunPasses<5, 0, kVecs, kOutput>(axis, s, D, in, imaginary, out, local);
            break;
        case 6:
            RunPasses<6, 0, kVecs, kOutput>(axis, s, D, in, imaginary, out, local);
            break;
        case 7:
            RunPasses<7, 0, kVecs, kOutput>(axis, s, D, in, imaginary, out, local);
            break;
        default:
            RunPasses<8, 0, kVecs, kOutput>(axis, s, D, in, imaginary, out, local);
            break;
    }
}

/// The stages of the first phase of an axis of n stages; the second phase has the rest. An axis
/// of up to kSinglePhaseStages stages is done in one phase.
inline std::uint32_t FirstPhaseStages(std::uint32_t n) {
    return n <= kSinglePhaseStages ? n : (n + 1) / 2;
}

/// The padding shift (see Padded) of a buffer laid out for the input of the transform of an
/// axis of n stages (the first phase walks it in steps of 2^(n - first)), and of one laid out
/// for its output (the second phase writes it in steps of 2^first). With one phase both are n:
/// no spare element within the sequence.
inline std::uint32_t InputShift(std::uint32_t n) {
    return n - FirstPhaseStages(n) == 0 ? n : n - FirstPhaseStages(n);
}
inline std::uint32_t OutputShift(std::uint32_t n) {
    return FirstPhaseStages(n);
}

/// The whole transform of kVecs kLanes sequences of axis.length points: from in, through mid
/// (kVecs kLanes floats per element, laid out for input; may be in) to out (may be in as
/// well; kOutput says what it gets, see OutputMode). in is laid out for
/// input when inPadded is set, out for output when outPadded is set; otherwise element i sits
/// at i * step. The imaginary input is taken as `imaginary` says (an ImaginaryInput).
template <std::size_t kVecs, int kOutput = kStoreOutput>
void TransformLanes(const FftAxis& axis, const LaneSpan& in, bool inPadded, int imaginary,
                    const LaneSpan& mid, const LaneSpan& out, bool outPadded, float* local) {
    const std::uint32_t n = axis.stages;
    if (n == 0) {
        for (std::size_t v = 0; v < kVecs; ++v) {
            const Vec re = Load(in.re + v * kLanes);
            const Vec im =
                imaginary == kNegateImaginary ? LoadIm<kNegateImaginary>(in.im + v * kLanes)
                : imaginary == kZeroImaginary ? LoadIm<kZeroImaginary>(in.im)
                                              : LoadIm<kLoadImaginary>(in.im + v * kLanes);
            Put<kOutput>(out.re + v * kLanes, re);
            PutIm<kOutput>(out.im + v * kLanes, im);
        }
        return;
    }
    const std::uint32_t first = FirstPhaseStages(n);
    if (first == n) {
        RunGroup<kVecs, kOutput>(axis, 0, n, 0, in, imaginary, out, local);
        return;
    }
    const std::uint32_t second = n - first;
    // Phase one: groups J of values 2^second apart, written back to the same places of mid.
    const std::size_t inStep = inPadded ? (in.step << second) + in.step : in.step << second;
    const std::size_t midStep = (mid.step << second) + mid.step;
    for (std::uint64_t J = 0; J < (std::uint64_t{1} << second); ++J) {
        const LaneSpan from{in.re + J * in.step, in.im + J * in.step, inStep};
        const LaneSpan to{mid.re + J * mid.step, mid.im + J * mid.step, midStep};
        RunGroup<kVecs, kStoreOutput>(axis, 0, first, 0, from, imaginary, to, local);
    }
    // Phase two: groups D of consecutive values, spread over out 2^first apart.
    const std::size_t outStep = outPadded ? (out.step << first) + out.step : out.step << first;
    for (std::uint64_t D = 0; D < (std::uint64_t{1} << first); ++D) {
        const LaneSpan from{mid.re + D * midStep, mid.im + D * midStep, mid.step};
        const LaneSpan to{out.re + D * out.step, out.im + D * out.step, outStep};
        RunGroup<kVecs, kOutput>(axis, first, second, D, from, kLoadImaginary, to, local);
    }
}

// ---------------------------------------------------------------------------------------------
// The blocks that C2DFFT spreads over the threads.

/// The real and imaginary halves of a scratch buffer for elements of `lanes` floats.
LaneSpan ScratchSpan(float* buffer, std::uint64_t length, std::size_t lanes) {
    return {buffer, buffer + PaddedCount(length) * lanes + kFftSkewFloats, lanes};
}

void ForwardRows(const FftAxis& rows, const std::uint8_t* values, std::uint64_t firstRow,
                 std::uint64_t count, float* re, float* im, const FftScratch& scratch) {
    const std::uint64_t width = rows.length;
    const LaneSpan loaded = ScratchSpan(scratch.first, width, kRowLanes);
    const LaneSpan done = ScratchSpan(scratch.second, width, kRowLanes);
    const std::uint32_t inShift = InputShift(rows.stages);
    const std::uint32_t outShift = OutputShift(rows.stages);
    BytesToLanes(values, width, firstRow, count, loaded.re, inShift);
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

/// TruncateToByte on eight values, as 32-bit integers.
inline __m256i TruncateToBytes(__m256 value) {
    const __m256i truncated = _mm256_cvttps_epi32(value);
    const __m256 high = _mm256_cmp_ps(value, _mm256_set1_ps(255.0f), _CMP_GE_OQ);
    const __m256 positive = _mm256_cmp_ps(value, _mm256_setzero_ps(), _CMP_GT_OQ);
    const __m256i limited =
        _mm256_blendv_epi8(truncated, _mm256_set1_epi32(255), _mm256_castps_si256(high));
    return _mm256_and_si256(limited, _mm256_castps_si256(positive));
}

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

void LevelPixels(const float* levels, std::size_t count, float lowest, float range,
                 std::uint8_t* pixels) {
    std::size_t x = 0;
    const __m256 base = _mm256_set1_ps(lowest);
    const __m256 span = _mm256_set1_ps(range);
    const __m256 scale = _mm256_set1_ps(255.0f);
    for (; x + 8 <= count; x += 8) {
        const __m256 level = _mm256_mul_ps(
            _mm256_div_ps(_mm256_sub_ps(_mm256_loadu_ps(levels + x), base), span), scale);
        // Bytes 0, 1 and 2 of each pixel get the level, byte 3 stays zero.
        const __m256i bytes = TruncateToBytes(level);
        const __m256i grey = _mm256_or_si256(
            bytes, _mm256_or_si256(_mm256_slli_epi32(bytes, 8), _mm256_slli_epi32(bytes, 16)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + 4 * x), grey);
    }
    for (; x < count; ++x) {
        float value;
        __builtin_memcpy(&value, levels + x, sizeof value);
        const std::uint8_t byte = TruncateToByte((value - lowest) / range * 255.0f);
        pixels[4 * x] = byte;
        pixels[4 * x + 1] = byte;
        pixels[4 * x + 2] = byte;
        pixels[4 * x + 3] = 0;
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

void LogMagnitudes(const float* re, const float* im, std::size_t count, float log10Of2,
                   float* levels, float& lowest, float& highest) {
    for (std::size_t x = 0; x < count; ++x) {
        const float magnitude = __builtin_sqrtf(re[x] * re[x] + im[x] * im[x]);
        levels[x] = magnitude != 0.0f ? ::log10f(magnitude) / log10Of2 : 0.0f;
        ScanExtremes(levels[x], lowest, highest);
    }
}

void LevelPixels(const float* levels, std::size_t count, float lowest, float range,
                 std::uint8_t* pixels) {
    for (std::size_t x = 0; x < count; ++x) {
        float value;
        __builtin_memcpy(&value, levels + x, sizeof value);
        const std::uint8_t byte = TruncateToByte((value - lowest) / range * 255.0f);
        pixels[4 * x] = byte;
        pixels[4 * x + 1] = byte;
        pixels[4 * x + 2] = byte;
        pixels[4 * x + 3] = 0;
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

#if defined(__AVX512F__)
constexpr InstructionSet kInstructionSet = InstructionSet::Avx512;
#elif defined(__AVX2__)
constexpr InstructionSet kInstructionSet = InstructionSet::Avx2;
#else
constexpr InstructionSet kInstructionSet = InstructionSet::Baseline;
#endif

constexpr FastKernels kKernels = {
    kInstructionSet, kRowLanes,     kColumnLanes,    ForwardRows,   TransformColumns,
    InverseRows,     LogMagnitudes, LevelPixels,     GatherChannel, MergePixels,
    RoundBytes,      ResampleRow,   ResampleGreyRow,
};

}  // namespace
}  // namespace quarvel
