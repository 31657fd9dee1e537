#include "engine/CExactFFT.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/C2DFFT.h"
#include "engine/InstructionSet.h"

#include "FftTestSupport.h"

namespace quarvel {
namespace {

using namespace fft_test;

/// The spectrum with frequency (u - floor(W / 2), v - floor(H / 2)) at (u, v), summed directly
/// in long double.
std::vector<LongComplex> DirectShiftedDft(const std::vector<std::uint8_t>& values, std::uint64_t w,
                                          std::uint64_t h) {
    std::vector<LongComplex> result(w * h);
    for (std::uint64_t v = 0; v < h; ++v) {
        const std::uint64_t fv = (v + h - h / 2) % h;
        for (std::uint64_t u = 0; u < w; ++u) {
            const std::uint64_t fu = (u + w - w / 2) % w;
            LongComplex sum = 0;
            for (std::uint64_t y = 0; y < h; ++y) {
                for (std::uint64_t x = 0; x < w; ++x) {
                    const long double phase =
                        static_cast<long double>((fu * x) % w) / static_cast<long double>(w) +
                        static_cast<long double>((fv * y) % h) / static_cast<long double>(h);
                    sum += static_cast<long double>(values[y * w + x]) *
                           std::polar(1.0L, -kTwoPi * phase);
                }
            }
            result[v * w + u] = sum;
        }
    }
    return result;
}

std::vector<InstructionSet> SupportedSets() {
    std::vector<InstructionSet> sets;
    for (const InstructionSet set :
         {InstructionSet::Baseline, InstructionSet::Avx2, InstructionSet::Avx512}) {
        if (IsInstructionSetSupported(set)) {
            sets.push_back(set);
        }
    }
    return sets;
}

class ExactForwardAgainstDirectDft : public testing::TestWithParam<Size> {};

// Sizes that take every radix (4, 2, 3, 5, 7, 11, 13), odd centres, and the chirp-z form
// (17, 19, 23, 101), with every instruction set.
TEST_P(ExactForwardAgainstDirectDft, MatchesShiftedDftWithinRounding) {
    const auto [w, h] = GetParam();
    const auto values = RandomBytes(w * h, static_cast<std::uint32_t>(w * 131 + h));
    const auto expected = DirectShiftedDft(values, w, h);
    long double total = 0;
    for (const auto value : values) {
        total += value;
    }
    const double tolerance = 2e-6 * static_cast<double>(total) + 1e-5;
    for (const InstructionSet set : SupportedSets()) {
        ForceInstructionSet(set);
        const CExactFFT fft(w, h);
        SpectrumPlane re;
        SpectrumPlane im;
        ASSERT_TRUE(fft.Forward(values.data(), re, im)) << InstructionSetName(set);
        for (std::uint64_t i = 0; i < w * h; ++i) {
            ASSERT_NEAR(re[i], static_cast<double>(expected[i].real()), tolerance)
                << InstructionSetName(set) << " index " << i;
            ASSERT_NEAR(im[i], static_cast<double>(expected[i].imag()), tolerance)
                << InstructionSetName(set) << " index " << i;
        }
    }
    ClearForcedInstructionSet();
}

INSTANTIATE_TEST_SUITE_P(SmallSizes, ExactForwardAgainstDirectDft,
                         testing::Values(Size{1, 1}, Size{3, 1}, Size{1, 5}, Size{6, 4},
                                         Size{12, 10}, Size{7, 11}, Size{13, 9}, Size{17, 2},
                                         Size{19, 23}, Size{30, 15}, Size{101, 3}),
                         SizeName);

class ExactRoundTrip : public testing::TestWithParam<Size> {};

// An unedited spectrum gives every byte back after the rounding of the final image, and the
// in-place inverse gives the same values as the other one.
TEST_P(ExactRoundTrip, InverseOfForwardRoundsToTheInput) {
    const auto [w, h] = GetParam();
    const auto values = RandomBytes(w * h, static_cast<std::uint32_t>(w + 7 * h));
    const CExactFFT fft(w, h);
    ASSERT_TRUE(fft.IsComplete());
    SpectrumPlane re;
    SpectrumPlane im;
    ASSERT_TRUE(fft.Forward(values.data(), re, im));
    const SpectrumPlane back = fft.Inverse(re.get(), im.get());
    ASSERT_TRUE(back);
    double worst = 0.0;
    for (std::uint64_t i = 0; i < w * h; ++i) {
        worst = std::max(worst, std::abs(static_cast<double>(back[i]) - values[i]));
    }
    EXPECT_LT(worst, 0.05);
    ASSERT_TRUE(fft.InverseInPlace(re.get(), im.get()));
    EXPECT_EQ(std::memcmp(re.get(), back.get(), w * h * sizeof(float)), 0);
}

INSTANTIATE_TEST_SUITE_P(ImageSizes, ExactRoundTrip,
                         testing::Values(Size{1, 1}, Size{1, 37}, Size{53, 1}, Size{97, 89},
                                         Size{384, 191}, Size{741, 500}, Size{1009, 17}),
                         SizeName);

TEST(CExactFFT, PowerOfTwoSize_AgreesWithTheCentringOfC2DFFT) {
    const std::uint64_t w = 32;
    const std::uint64_t h = 8;
    const auto values = RandomBytes(w * h, 5);
    const C2DFFT powerOfTwo(w, h);
    const CExactFFT exact(w, h);
    SpectrumPlane re;
    SpectrumPlane im;
    SpectrumPlane exactRe;
    SpectrumPlane exactIm;
    ASSERT_TRUE(powerOfTwo.Forward(values.data(), re, im));
    ASSERT_TRUE(exact.Forward(values.data(), exactRe, exactIm));
    for (std::uint64_t i = 0; i < w * h; ++i) {
        EXPECT_NEAR(exactRe[i], re[i], 0.02) << i;
        EXPECT_NEAR(exactIm[i], im[i], 0.02) << i;
    }
}

TEST(CExactFFT, ConstantChannel_ZeroFrequencyAtTheFlooredCentre) {
    const std::uint64_t w = 9;
    const std::uint64_t h = 7;
    const std::vector<std::uint8_t> values(w * h, 100);
    const CExactFFT fft(w, h);
    SpectrumPlane re;
    SpectrumPlane im;
    ASSERT_TRUE(fft.Forward(values.data(), re, im));
    const std::uint64_t centre = 3 * w + 4;
    EXPECT_NEAR(re[centre], 6300.0, 1e-2);
    for (std::uint64_t i = 0; i < w * h; ++i) {
        if (i != centre) {
            EXPECT_NEAR(std::hypot(re[i], im[i]), 0.0, 1e-2) << i;
        }
    }
}

TEST(CExactFFT, Transform1D_LongPrimeMatchesDirectDft) {
    const std::uint64_t n = 4999;
    const ExactFftAxis axis = CExactFFT::BuildAxis(n);
    EXPECT_EQ(axis.convolutionLength, 10000u);
    std::vector<float> re(n);
    std::vector<float> im(n, 0.0f);
    const auto values = RandomBytes(n, 3);
    for (std::uint64_t t = 0; t < n; ++t) {
        re[t] = values[t];
    }
    ASSERT_TRUE(CExactFFT::Transform1D(axis, re.data(), im.data()));
    for (const std::uint64_t k : {0u, 1u, 2u, 1234u, 2499u, 2500u, 4998u}) {
        LongComplex expected = 0;
        for (std::uint64_t t = 0; t < n; ++t) {
            expected += static_cast<long double>(values[t]) *
                        std::polar(1.0L, -kTwoPi * static_cast<long double>(k * t % n) / n);
        }
        EXPECT_NEAR(re[k], static_cast<double>(expected.real()), 0.5) << k;
        EXPECT_NEAR(im[k], static_cast<double>(expected.imag()), 0.5) << k;
    }
}

}  // namespace
}  // namespace quarvel
