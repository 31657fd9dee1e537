// Images of 16-bit and floating-point samples: their transforms, resampling and reductions.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "FftTestSupport.h"
#include "engine/C2DFFT.h"
#include "engine/CExactFFT.h"
#include "engine/DeepImage.h"
#include "engine/InstructionSet.h"
#include "engine/PlaneConversion.h"

namespace quarvel {
namespace {

using fft_test::RandomBytes;

bool SameBits(const float* a, const float* b, std::size_t count) {
    return std::memcmp(a, b, count * sizeof(float)) == 0;
}

void SetWord(ImageBitmap& image, std::uint32_t x, std::uint32_t y, std::size_t sample,
             std::uint16_t value) {
    std::memcpy(image.Row(y) + 2 * sample + x * BytesPerPixel(image.Format()), &value, 2);
}

std::uint16_t Word(const ImageBitmap& image, std::uint32_t x, std::uint32_t y,
                   std::size_t sample = 0) {
    std::uint16_t value;
    std::memcpy(&value, image.Row(y) + 2 * sample + x * BytesPerPixel(image.Format()), 2);
    return value;
}

// The float road of every transform and kernel must load its samples exactly as the byte road
// does, and the fast kernels must agree with the plain loops on values no byte can hold.
TEST(DeepTransform, FloatSamplesTransformLikeBytesAndLikeThePlainLoops) {
    const std::vector<std::uint8_t> bytes = RandomBytes(64 * 32, 5);
    const std::vector<float> asFloats(bytes.begin(), bytes.end());
    std::mt19937 generator(9);
    std::uniform_real_distribution<float> wide(-1000.0f, 70000.0f);
    std::vector<float> deep(64 * 32);
    for (float& value : deep) {
        value = wide(generator);
    }
    SpectrumPlane expectedRe;
    SpectrumPlane expectedIm;
    ASSERT_TRUE(C2DFFT(64, 32, FftKernel::Reference).Forward(deep.data(), expectedRe, expectedIm));
    for (const InstructionSet set :
         {InstructionSet::Baseline, InstructionSet::Avx2, InstructionSet::Avx512}) {
        if (!IsInstructionSetSupported(set)) {
            continue;
        }
        SCOPED_TRACE(InstructionSetName(set));
        ForceInstructionSet(set);
        SpectrumPlane re;
        SpectrumPlane im;
        SpectrumPlane byteRe;
        SpectrumPlane byteIm;
        const C2DFFT fast(64, 32);
        ASSERT_TRUE(fast.Forward(deep.data(), re, im));
        EXPECT_TRUE(SameBits(re.get(), expectedRe.get(), deep.size()));
        EXPECT_TRUE(SameBits(im.get(), expectedIm.get(), deep.size()));
        ASSERT_TRUE(fast.Forward(asFloats.data(), re, im));
        ASSERT_TRUE(fast.Forward(bytes.data(), byteRe, byteIm));
        EXPECT_TRUE(SameBits(re.get(), byteRe.get(), bytes.size()));
        EXPECT_TRUE(SameBits(im.get(), byteIm.get(), bytes.size()));
        // An odd size, which takes the exact-size kernels' partial tiles.
        const CExactFFT exact(63, 31);
        ASSERT_TRUE(exact.Forward(asFloats.data(), re, im));
        ASSERT_TRUE(exact.Forward(bytes.data(), byteRe, byteIm));
        EXPECT_TRUE(SameBits(re.get(), byteRe.get(), 63 * 31));
        EXPECT_TRUE(SameBits(im.get(), byteIm.get(), 63 * 31));
    }
    ClearForcedInstructionSet();
}

TEST(DeepImage, FormatsTellColourBySampleLayoutNotByRowLength) {
    // Rows of an odd-width 16-bit grey image are padded beyond twice the width.
    EXPECT_FALSE(IsColorImage(*ImageBitmap::Create(3, 2, PixelFormat16bppGrayScale)));
    EXPECT_FALSE(IsColorImage(*ImageBitmap::Create(1, 2, PixelFormat32bppGrayFloat)));
    EXPECT_TRUE(IsColorImage(*ImageBitmap::Create(1, 1, PixelFormat48bppRGB)));
    EXPECT_EQ(DepthOf(PixelFormat48bppRGB), SampleDepth::Bits16);
    EXPECT_EQ(DepthOf(PixelFormat32bppRGB), SampleDepth::Bits8);
}

TEST(DeepImage, ResamplingKeepsSixteenBitsAndClampsAtTheEdges) {
    auto source = ImageBitmap::Create(2, 2, PixelFormat48bppRGB);
    const std::uint16_t levels[2][2] = {{1000, 60001}, {65535, 3}};
    for (std::uint32_t y = 0; y < 2; ++y) {
        for (std::uint32_t x = 0; x < 2; ++x) {
            SetWord(*source, x, y, 2, levels[y][x]);
        }
    }
    const auto target = ResampleImage(source.get(), 4, 4);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->Format(), PixelFormat48bppRGB);
    EXPECT_EQ(Word(*target, 0, 0, 2), 1000);
    // The mean of 1000 and 60001, truncated.
    EXPECT_EQ(Word(*target, 1, 0, 2), 30500);
    EXPECT_EQ(Word(*target, 3, 3, 2), 3);
    EXPECT_EQ(Word(*target, 0, 3, 2), 65535);
    EXPECT_EQ(Word(*target, 1, 1, 0), 0);
}

TEST(DeepImage, ChannelValuesGoOutAndComeBackRoundedToWords) {
    auto image = ImageBitmap::Create(3, 1, PixelFormat48bppRGB);
    const float values[3] = {-0.7f, 12.5f, 70000.0f};
    ASSERT_TRUE(ScatterChannelValues(values, *image, ChannelKind::Green));
    EXPECT_EQ(Word(*image, 0, 0, 1), 0);
    EXPECT_EQ(Word(*image, 1, 0, 1), 13);
    EXPECT_EQ(Word(*image, 2, 0, 1), 65535);
    EXPECT_EQ(Word(*image, 2, 0, 2), 0);
    float back[3];
    ASSERT_TRUE(GatherChannelValues(*image, ChannelKind::Green, back));
    EXPECT_EQ(back[2], 65535.0f);
    EXPECT_FALSE(GatherChannelValues(*image, ChannelKind::Grey, back));
    EXPECT_EQ(RoundToWord(std::nanf("")), 0);
}

TEST(DeepImage, ReductionsMapFullScaleToFullScale) {
    auto words = ImageBitmap::Create(4, 1, PixelFormat16bppGrayScale);
    const std::uint16_t levels[4] = {0, 128, 129, 65535};
    for (std::uint32_t x = 0; x < 4; ++x) {
        SetWord(*words, x, 0, 0, levels[x]);
    }
    const auto bytes = ReduceTo8Bits(*words);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->Format(), PixelFormat8bppIndexed);
    EXPECT_EQ(bytes->Row(0)[0], 0);
    EXPECT_EQ(bytes->Row(0)[1], 0);
    EXPECT_EQ(bytes->Row(0)[2], 1);
    EXPECT_EQ(bytes->Row(0)[3], 255);

    // Intensities within 0 to 1 keep that scale; a wider image shows its whole range.
    auto floats = ImageBitmap::Create(3, 1, PixelFormat32bppGrayFloat);
    const float unit[3] = {0.0f, 0.5f, 1.0f};
    std::memcpy(floats->Row(0), unit, sizeof unit);
    EXPECT_EQ(ReduceTo8Bits(*floats)->Row(0)[1], 128);
    const float wide[3] = {-100.0f, 0.0f, 300.0f};
    std::memcpy(floats->Row(0), wide, sizeof wide);
    const auto reduced = ReduceTo8Bits(*floats);
    EXPECT_EQ(reduced->Row(0)[0], 0);
    EXPECT_EQ(reduced->Row(0)[1], 64);
    EXPECT_EQ(reduced->Row(0)[2], 255);
    EXPECT_EQ(Word(*FloatTo16Bits(*floats), 2, 0), 65535);
}

}  // namespace
}  // namespace quarvel
