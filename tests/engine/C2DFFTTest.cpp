#include "engine/C2DFFT.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "FftTestSupport.h"

namespace quarvel {
namespace {

using namespace fft_test;

/// The centred spectrum F(u, v) = sum f(x, y) (-1)^(x+y) e^(-2 pi i (u x / W + v y / H)),
/// summed directly in long double.
std::vector<LongComplex> DirectCentredDft(const std::vector<std::uint8_t>& values, std::uint64_t w,
                                          std::uint64_t h) {
    std::vector<LongComplex> result(w * h);
    for (std::uint64_t v = 0; v < h; ++v) {
        for (std::uint64_t u = 0; u < w; ++u) {
            LongComplex sum = 0;
            for (std::uint64_t y = 0; y < h; ++y) {
                for (std::uint64_t x = 0; x < w; ++x) {
                    const long double sign = ((x + y) & 1) != 0 ? -1.0L : 1.0L;
                    // Reduce the phase exactly before taking the angle.
                    const long double phase =
                        static_cast<long double>((u * x) % w) / static_cast<long double>(w) +
                        static_cast<long double>((v * y) % h) / static_cast<long double>(h);
                    sum += sign * values[y * w + x] * std::polar(1.0L, -kTwoPi * phase);
                }
            }
            result[v * w + u] = sum;
        }
    }
    return result;
}

TEST(C2DFFT, Tables_EightPointStagesFollowTheWorkedExample) {
    const C2DFFT fft(8, 4);
    ASSERT_TRUE(fft.IsComplete());
    EXPECT_EQ(fft.rowPos, (std::vector<std::uint32_t>{0, 1, 2, 3, 0, 1, 4, 5, 0, 2, 4, 6}));
    EXPECT_EQ(fft.rowTwiddle, (std::vector<std::uint32_t>{0, 0, 0, 0, 0, 0, 2, 2, 0, 1, 2, 3}));
    // The columns (length 4) get their own tables.
    EXPECT_EQ(fft.colPos, (std::vector<std::uint32_t>{0, 1, 0, 2}));
    EXPECT_EQ(fft.colTwiddle, (std::vector<std::uint32_t>{0, 0, 0, 1}));
    ASSERT_EQ(fft.rowCos.size(), 4u);
    ASSERT_EQ(fft.colCos.size(), 2u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(fft.rowCos[i], std::cos(kTwoPi * i / 8), 1e-7) << i;
        EXPECT_NEAR(fft.rowSin[i], std::sin(kTwoPi * i / 8), 1e-7) << i;
    }
    EXPECT_EQ(fft.colCos[0], 1.0f);
    EXPECT_EQ(fft.colSin[0], 0.0f);
    EXPECT_NEAR(fft.colCos[1], 0.0, 1e-7);
    EXPECT_EQ(fft.colSin[1], 1.0f);
}

TEST(C2DFFT, Tables_LengthOneHasNoStages) {
    const C2DFFT fft(1, 1);
    EXPECT_TRUE(fft.IsComplete());
    EXPECT_TRUE(fft.rowCos.empty());
    EXPECT_TRUE(fft.rowPos.empty());
    EXPECT_TRUE(fft.colTwiddle.empty());
}

TEST(C2DFFT, Tables_LargestAxisHasSixteenStages) {
    const C2DFFT fft(65536, 2);
    ASSERT_TRUE(fft.IsComplete());
    EXPECT_EQ(fft.rowPos.size(), 16u * 32768u);
    // Last stage: butterfly k reads 2k and 2k + 1.
    EXPECT_EQ(fft.rowPos.back(), 65534u);
    EXPECT_EQ(fft.rowTwiddle.back(), 32767u);
}

TEST(C2DFFT, FFT1D_LengthEightMatchesDirectDftInNaturalOrder) {
    const C2DFFT fft(8, 1);
    std::mt19937 generator(17);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    float re[8];
    float im[8];
    LongComplex input[8];
    for (int t = 0; t < 8; ++t) {
        re[t] = value(generator);
        im[t] = value(generator);
        input[t] = LongComplex(re[t], im[t]);
    }
    ASSERT_TRUE(C2DFFT::FFT1D(re, im, 8, fft.rowCos.data(), fft.rowSin.data(), fft.rowPos.data(),
                              fft.rowTwiddle.data()));
    for (int m = 0; m < 8; ++m) {
        LongComplex expected = 0;
        for (int t = 0; t < 8; ++t) {
            expected += input[t] * std::polar(1.0L, -kTwoPi * ((m * t) % 8) / 8);
        }
        EXPECT_NEAR(re[m], static_cast<double>(expected.real()), 1e-4) << m;
        EXPECT_NEAR(im[m], static_cast<double>(expected.imag()), 1e-4) << m;
    }
}

TEST(C2DFFT, FFT1D_LengthTwoIsSumAndDifference) {
    const C2DFFT fft(2, 1);
    float re[2] = {3.0f, 5.0f};
    float im[2] = {-1.0f, 4.0f};
    ASSERT_TRUE(C2DFFT::FFT1D(re, im, 2, fft.rowCos.data(), fft.rowSin.data(), fft.rowPos.data(),
                              fft.rowTwiddle.data()));
    EXPECT_EQ(re[0], 8.0f);
    EXPECT_EQ(im[0], 3.0f);
    EXPECT_EQ(re[1], -2.0f);
    EXPECT_EQ(im[1], -5.0f);
}

class ForwardAgainstDirectDft : public testing::TestWithParam<Size> {};

// Each output is a sum of W H terms; single precision keeps it within a few units in the last
// place of the input's total, growing with the number of stages.
TEST_P(ForwardAgainstDirectDft, MatchesCentredDftWithinRounding) {
    const auto [w, h] = GetParam();
    const auto values = RandomBytes(w * h, static_cast<std::uint32_t>(w * 131 + h));
    const auto copy = values;
    const C2DFFT fft(w, h);
    SpectrumPlane re;
    SpectrumPlane im;
    ASSERT_TRUE(fft.Forward(values.data(), re, im));
    ASSERT_TRUE(re && im);
    EXPECT_EQ(values, copy);

    const auto expected = DirectCentredDft(values, w, h);
    long double total = 0;
    for (auto v : values) {
        total += v;
    }
    const double stages = std::log2(static_cast<double>(w * h));
    const double tolerance = 2.0 * (stages + 1.0) * 6e-8 * static_cast<double>(total) + 1e-6;
    for (std::uint64_t i = 0; i < w * h; ++i) {
        EXPECT_NEAR(re[i], static_cast<double>(expected[i].real()), tolerance) << "index " << i;
        EXPECT_NEAR(im[i], static_cast<double>(expected[i].imag()), tolerance) << "index " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(SmallSizes, ForwardAgainstDirectDft,
                         testing::Values(Size{1, 1}, Size{2, 1}, Size{1, 2}, Size{2, 2}, Size{4, 2},
                                         Size{2, 4}, Size{8, 2}, Size{1, 16}, Size{16, 1},
                                         Size{8, 8}, Size{16, 8}, Size{8, 16}, Size{32, 4},
                                         Size{32, 32}),
                         SizeName);

class ForwardExactCases : public testing::TestWithParam<Size> {};

TEST_P(ForwardExactCases, ConstantChannel_OnlyTheCentreIsNonZero) {
    const auto [w, h] = GetParam();
    const std::vector<std::uint8_t> values(w * h, 200);
    const C2DFFT fft(w, h);
    SpectrumPlane re;
    SpectrumPlane im;
    ASSERT_TRUE(fft.Forward(values.data(), re, im));
    const std::uint64_t centre = (h / 2) * w + w / 2;
    EXPECT_EQ(re[centre], 200.0f * static_cast<float>(w * h));
    EXPECT_EQ(im[centre], 0.0f);
    std::uint64_t nonZero = 0;
    for (std::uint64_t i = 0; i < w * h; ++i) {
        if (i != centre && (re[i] != 0.0f || im[i] != 0.0f)) {
            ++nonZero;
        }
    }
    EXPECT_EQ(nonZero, 0u);
}

TEST_P(ForwardExactCases, DeltaAtOrigin_IsOneAtEveryFrequency) {
    const auto [w, h] = GetParam();
    std::vector<std::uint8_t> values(w * h, 0);
    values[0] = 1;
    const C2DFFT fft(w, h);
    SpectrumPlane re;
    SpectrumPlane im;
    ASSERT_TRUE(fft.Forward(values.data(), re, im));
    std::uint64_t wrong = 0;
    for (std::uint64_t i = 0; i < w * h; ++i) {
        if (re[i] != 1.0f || im[i] != 0.0f) {
            ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ForwardExactCases,
                         testing::Values(Size{1, 1}, Size{2, 2}, Size{4, 2}, Size{1, 16},
                                         Size{16, 8}, Size{64, 32}, Size{256, 256}, Size{1024, 4}),
                         SizeName);

TEST(C2DFFT, SinglePixel_ForwardAndInverseKeepTheValue) {
    const C2DFFT fft(1, 1);
    const std::uint8_t value = 173;
    SpectrumPlane re;
    SpectrumPlane im;
    ASSERT_TRUE(fft.Forward(&value, re, im));
    EXPECT_EQ(re[0], 173.0f);
    EXPECT_EQ(im[0], 0.0f);
    const SpectrumPlane back = fft.Inverse(re.get(), im.get());
    ASSERT_TRUE(back);
    EXPECT_EQ(back[0], 173.0f);
}

TEST(C2DFFT, Inverse_MatchesDirectSumForAnyComplexSpectrum) {
    // A spectrum that belongs to no real image: the sign of the exponent and the conjugation
    // both show in the real part that Inverse keeps.
    const std::uint64_t w = 8;
    const std::uint64_t h = 4;
    std::mt19937 generator(5);
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    SpectrumPlane re = AllocatePlane(w * h);
    SpectrumPlane im = AllocatePlane(w * h);
    for (std::uint64_t i = 0; i < w * h; ++i) {
        re[i] = value(generator);
        im[i] = value(generator);
    }
    const SpectrumPlane reCopy = CopyPlane(re.get(), w * h);
    const SpectrumPlane imCopy = CopyPlane(im.get(), w * h);
    const C2DFFT fft(w, h);
    const SpectrumPlane result = fft.Inverse(re.get(), im.get());
    ASSERT_TRUE(result);
    EXPECT_EQ(std::memcmp(re.get(), reCopy.get(), w * h * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(im.get(), imCopy.get(), w * h * sizeof(float)), 0);
    for (std::uint64_t y = 0; y < h; ++y) {
        for (std::uint64_t x = 0; x < w; ++x) {
            LongComplex sum = 0;
            for (std::uint64_t v = 0; v < h; ++v) {
                for (std::uint64_t u = 0; u < w; ++u) {
                    const long double phase = static_cast<long double>((u * x) % w) / w +
                                              static_cast<long double>((v * y) % h) / h;
                    sum += LongComplex(re[v * w + u], im[v * w + u]) *
                           std::polar(1.0L, kTwoPi * phase);
                }
            }
            const long double sign = ((x + y) & 1) != 0 ? -1.0L : 1.0L;
            const long double expected = sign * sum.real() / (w * h);
            EXPECT_NEAR(result[y * w + x], static_cast<double>(expected), 1e-4) << x << "," << y;
        }
    }
}

class RoundTrip : public testing::TestWithParam<Size> {};

// 8-bit data comes back within 1e-3 (far below the 0.5 that rounding to bytes forgives), so
// rounding restores every byte.
TEST_P(RoundTrip, InverseOfForwardRestoresTheChannel) {
    const auto [w, h] = GetParam();
    const auto values = RandomBytes(w * h, static_cast<std::uint32_t>(w * 7919 + h));
    const C2DFFT fft(w, h);
    SpectrumPlane re;
    SpectrumPlane im;
    ASSERT_TRUE(fft.Forward(values.data(), re, im));
    const SpectrumPlane back = fft.Inverse(re.get(), im.get());
    ASSERT_TRUE(back);
    double maxError = 0.0;
    std::uint64_t wrongBytes = 0;
    for (std::uint64_t i = 0; i < w * h; ++i) {
        maxError = std::max(maxError, std::fabs(static_cast<double>(back[i]) - values[i]));
        const float rounded = std::clamp(back[i] + 0.5f, 0.0f, 255.0f);
        if (static_cast<std::uint8_t>(rounded) != values[i]) {
            ++wrongBytes;
        }
    }
    EXPECT_LT(maxError, 1e-3);
    EXPECT_EQ(wrongBytes, 0u);
}

std::vector<Size> AllSizesUpTo2048() {
    std::vector<Size> sizes;
    for (std::uint64_t h = 1; h <= 2048; h *= 2) {
        for (std::uint64_t w = 1; w <= 2048; w *= 2) {
            sizes.push_back({w, h});
        }
    }
    return sizes;
}

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, RoundTrip, testing::ValuesIn(AllSizesUpTo2048()), SizeName);

TEST(C2DFFT, Forward_NonSquareUsesRowTablesForRows) {
    // A ramp along x only: every column is constant, so after centring only row H/2 of the
    // spectrum carries energy. Swapped tables would spread it over other rows.
    const std::uint64_t w = 4;
    const std::uint64_t h = 2;
    const std::vector<std::uint8_t> values = {10, 20, 30, 40, 10, 20, 30, 40};
    const C2DFFT fft(w, h);
    SpectrumPlane re;
    SpectrumPlane im;
    ASSERT_TRUE(fft.Forward(values.data(), re, im));
    for (std::uint64_t x = 0; x < w; ++x) {
        EXPECT_EQ(re[x], 0.0f) << x;
        EXPECT_EQ(im[x], 0.0f) << x;
    }
    // Row 1 holds the 1-D spectrum of the ramp doubled, shifted by W / 2.
    EXPECT_FLOAT_EQ(re[w + 2], 200.0f);
    EXPECT_FLOAT_EQ(re[w + 0], -40.0f);
    EXPECT_NEAR(im[w + 0], 0.0f, 1e-4);
    EXPECT_FLOAT_EQ(re[w + 1], -40.0f);
    EXPECT_FLOAT_EQ(im[w + 1], -40.0f);
    EXPECT_FLOAT_EQ(re[w + 3], -40.0f);
    EXPECT_FLOAT_EQ(im[w + 3], 40.0f);
}

}  // namespace
}  // namespace quarvel
