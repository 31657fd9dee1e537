#pragma once

// Part of the fast kernels, included by FastKernelsImpl.h alone (see there): the transform of
// kLanes sequences side by side, in passes of two stages.

#include <cstddef>
#include <cstdint>

#include "engine/FastKernels.h"
#include "engine/FastKernelsLanes.h"
#include "engine/FastKernelsVectors.h"

namespace quarvel {
namespace {

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

}  // namespace
}  // namespace quarvel
