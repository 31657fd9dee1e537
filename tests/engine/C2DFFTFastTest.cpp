// The fast kernel against the reference kernel: the same planes, bit for bit, for every size
// class, both directions, every instruction set this processor has, and one or two threads.

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/C2DFFT.h"
#include "engine/InstructionSet.h"

namespace quarvel {
namespace {

struct Size {
    std::uint64_t width;
    std::uint64_t height;
};

std::string SizeName(const testing::TestParamInfo<Size>& info) {
    return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

/// Sizes whose reference transforms take seconds; only the optimised build without sanitizers
/// runs them.
constexpr std::uint64_t kLargeElementCount = std::uint64_t{1} << 24;

const InstructionSet kAllInstructionSets[] = {InstructionSet::Baseline, InstructionSet::Avx2,
                                              InstructionSet::Avx512};

/// Channel bytes with many zeros among them: a zero on an odd x + y becomes -0.0, whose sign
/// the transform must carry exactly as the reference does.
std::vector<std::uint8_t> ChannelBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> values(count);
    for (auto& value : values) {
        const int drawn = byte(generator);
        value = static_cast<std::uint8_t>(drawn < 40 ? 0 : drawn);
    }
    return values;
}

/// A spectrum no image produces: values of all magnitudes, exact zeros of both signs and
/// cleared rectangles, as editing leaves them.
void EditedSpectrum(std::uint64_t w, std::uint64_t h, std::uint32_t seed, SpectrumPlane& re,
                    SpectrumPlane& im) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-30, 30);
    std::uniform_int_distribution<int> kind(0, 9);
    re = AllocatePlane(w * h);
    im = AllocatePlane(w * h);
    for (std::uint64_t i = 0; i < w * h; ++i) {
        const int k = kind(generator);
        re[i] = k == 0   ? 0.0f
                : k == 1 ? -0.0f
                         : std::ldexp(mantissa(generator), exponent(generator));
        im[i] = k == 2   ? -0.0f
                : k == 3 ? 0.0f
                         : std::ldexp(mantissa(generator), exponent(generator));
    }
    for (std::uint64_t y = h / 4; y < h / 2; ++y) {
        for (std::uint64_t x = w / 4; x < w / 2; ++x) {
            re[y * w + x] = 0.0f;
            im[y * w + x] = 0.0f;
        }
    }
}

bool SamePlanes(const float* a, const float* b, std::uint64_t count) {
    return std::memcmp(a, b, count * sizeof(float)) == 0;
}

/// The first index where the planes differ, for the failure message.
std::uint64_t FirstDifference(const float* a, const float* b, std::uint64_t count) {
    for (std::uint64_t i = 0; i < count; ++i) {
        if (std::memcmp(a + i, b + i, sizeof(float)) != 0) {
            return i;
        }
    }
    return count;
}

class FastKernelMatchesReference : public testing::TestWithParam<Size> {
protected:
    void TearDown() override { ClearForcedInstructionSet(); }
};

TEST_P(FastKernelMatchesReference, ForwardAndInverseAreBitIdentical) {
    const auto [w, h] = GetParam();
    const std::uint64_t count = w * h;
    if (count >= kLargeElementCount && kSanitized) {
        GTEST_SKIP() << "the largest sizes run in the optimised build only";
    }
    const auto values = ChannelBytes(count, static_cast<std::uint32_t>(w * 31 + h));
    // The largest sizes take the round trip only; the edited spectra of every other size walk
    // the same code.
    const bool edited = count < kLargeElementCount;
    SpectrumPlane spectrumRe;
    SpectrumPlane spectrumIm;
    if (edited) {
        EditedSpectrum(w, h, static_cast<std::uint32_t>(w * 17 + h), spectrumRe, spectrumIm);
    }

    const C2DFFT reference(w, h, FftKernel::Reference);
    SpectrumPlane expectedRe;
    SpectrumPlane expectedIm;
    ASSERT_TRUE(reference.Forward(values.data(), expectedRe, expectedIm));
    const SpectrumPlane expectedBack = reference.Inverse(expectedRe.get(), expectedIm.get());
    ASSERT_TRUE(expectedBack);
    const SpectrumPlane expectedEdited =
        edited ? reference.Inverse(spectrumRe.get(), spectrumIm.get()) : nullptr;
    ASSERT_TRUE(expectedEdited || !edited);

    const C2DFFT fast(w, h);
    ASSERT_EQ(fast.Kernel(), FftKernel::Fast);
    for (const InstructionSet set : kAllInstructionSets) {
        if (!IsInstructionSetSupported(set)) {
            continue;
        }
        ForceInstructionSet(set);
        for (const int threads : {1, 2}) {
            SCOPED_TRACE(std::string(InstructionSetName(set)) + ", threads " +
                         std::to_string(threads));
            const tbb::global_control limit(tbb::global_control::max_allowed_parallelism,
                                            static_cast<std::size_t>(threads));
            SpectrumPlane re;
            SpectrumPlane im;
            ASSERT_TRUE(fast.Forward(values.data(), re, im));
            EXPECT_TRUE(SamePlanes(re.get(), expectedRe.get(), count))
                << "real parts differ first at "
                << FirstDifference(re.get(), expectedRe.get(), count);
            EXPECT_TRUE(SamePlanes(im.get(), expectedIm.get(), count))
                << "imaginary parts differ first at "
                << FirstDifference(im.get(), expectedIm.get(), count);

            const SpectrumPlane back = fast.Inverse(re.get(), im.get());
            ASSERT_TRUE(back);
            EXPECT_TRUE(SamePlanes(back.get(), expectedBack.get(), count))
                << "round trip differs first at "
                << FirstDifference(back.get(), expectedBack.get(), count);

            if (edited) {
                const SpectrumPlane result = fast.Inverse(spectrumRe.get(), spectrumIm.get());
                ASSERT_TRUE(result);
                EXPECT_TRUE(SamePlanes(result.get(), expectedEdited.get(), count))
                    << "edited spectrum differs first at "
                    << FirstDifference(result.get(), expectedEdited.get(), count);
            }
        }
    }
}

/// Every pair of powers of two up to 256, and the shapes whose axes take the other branches of
/// the kernel: one-phase and two-phase axes, planes narrower or lower than a block of lanes,
/// and the longest axis.
std::vector<Size> ExactnessSizes() {
    std::vector<Size> sizes;
    for (std::uint64_t h = 1; h <= 256; h *= 2) {
        for (std::uint64_t w = 1; w <= 256; w *= 2) {
            sizes.push_back({w, h});
        }
    }
    const Size larger[] = {{512, 512},   {1024, 1024}, {2048, 512}, {512, 2048},  {1, 8192},
                           {8192, 1},    {2, 4096},    {4096, 2},   {8, 8192},    {8192, 8},
                           {65536, 1},   {1, 65536},   {65536, 2},  {2048, 2048}, {4096, 4096},
                           {8192, 4096}, {8192, 8192}};
    sizes.insert(sizes.end(), std::begin(larger), std::end(larger));
    return sizes;
}

INSTANTIATE_TEST_SUITE_P(Sizes, FastKernelMatchesReference, testing::ValuesIn(ExactnessSizes()),
                         SizeName);

class InPlaceInverse : public testing::TestWithParam<Size> {};

TEST_P(InPlaceInverse, GivesTheValuesOfInverseInTheRealPlane) {
    const auto [w, h] = GetParam();
    const std::uint64_t count = w * h;
    for (const FftKernel kernel : {FftKernel::Reference, FftKernel::Fast}) {
        SCOPED_TRACE(kernel == FftKernel::Fast ? "fast" : "reference");
        SpectrumPlane re;
        SpectrumPlane im;
        EditedSpectrum(w, h, static_cast<std::uint32_t>(w * 5 + h), re, im);
        const C2DFFT fft(w, h, kernel);
        const SpectrumPlane expected = fft.Inverse(re.get(), im.get());
        ASSERT_TRUE(expected);
        ASSERT_TRUE(fft.InverseInPlace(re.get(), im.get()));
        EXPECT_TRUE(SamePlanes(re.get(), expected.get(), count))
            << "differs first at " << FirstDifference(re.get(), expected.get(), count);
    }
}

// Planes narrower and wider than a block of columns, single rows and columns.
INSTANTIATE_TEST_SUITE_P(Sizes, InPlaceInverse,
                         testing::Values(Size{1, 1}, Size{8, 2}, Size{1, 16}, Size{16, 1},
                                         Size{32, 64}, Size{128, 64}, Size{256, 512},
                                         Size{1024, 8}),
                         SizeName);

TEST(InstructionSet, BaselineIsAlwaysSupportedAndForcingIsUndone) {
    EXPECT_TRUE(IsInstructionSetSupported(InstructionSet::Baseline));
    const InstructionSet widest = ActiveInstructionSet();
    ForceInstructionSet(InstructionSet::Baseline);
    EXPECT_EQ(ActiveInstructionSet(), InstructionSet::Baseline);
    ClearForcedInstructionSet();
    EXPECT_EQ(ActiveInstructionSet(), widest);
    EXPECT_TRUE(IsInstructionSetSupported(widest));
}

}  // namespace
}  // namespace quarvel
