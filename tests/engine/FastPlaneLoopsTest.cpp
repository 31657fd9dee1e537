// The whole-plane loops of the fast kernels against the plain loops they replace, on every
// instruction set this processor has: the same bytes and the same floats, bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/ByteRounding.h"
#include "engine/FastKernels.h"
#include "engine/ImageBitmap.h"
#include "engine/InstructionSet.h"
#include "engine/PlaneConversion.h"

namespace quarvel {
namespace {

const InstructionSet kAllInstructionSets[] = {InstructionSet::Baseline, InstructionSet::Avx2,
                                              InstructionSet::Avx512};

std::vector<InstructionSet> SupportedInstructionSets() {
    std::vector<InstructionSet> sets;
    for (const InstructionSet set : kAllInstructionSets) {
        if (IsInstructionSetSupported(set)) {
            sets.push_back(set);
        }
    }
    return sets;
}

std::string InstructionSetParamName(const testing::TestParamInfo<InstructionSet>& info) {
    return InstructionSetName(info.param);
}

std::uint32_t Bits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

/// The plain first loop of the power spectrum image.
float PlainLevel(float re, float im) {
    const float magnitude = std::sqrt(re * re + im * im);
    return magnitude != 0.0f ? std::log10(magnitude) / std::log10(2.0f) : 0.0f;
}

/// The plain byte limit of the spectrum conversion.
std::uint8_t PlainTruncate(float value) {
    if (!(value > 0.0f)) {
        return 0;
    }
    if (value >= 255.0f) {
        return 255;
    }
    return static_cast<std::uint8_t>(static_cast<int>(value));
}

/// The power spectrum image as the plain loops render it: levels, a sequential scan for the
/// extremes, then the grey levels.
std::vector<std::uint8_t> PlainPowerImage(const std::vector<float>& re,
                                          const std::vector<float>& im, std::uint64_t width,
                                          std::uint64_t height) {
    std::vector<float> levels(width * height);
    for (std::size_t i = 0; i < levels.size(); ++i) {
        levels[i] = PlainLevel(re[i], im[i]);
    }
    float lowest = 3.4028235e38f;
    float highest = -3.4028235e38f;
    for (const float level : levels) {
        if (level < lowest) {
            lowest = level;
        }
        if (level > highest) {
            highest = level;
        }
    }
    std::vector<std::uint8_t> pixels(width * height, 0);
    for (std::size_t i = 0; i < levels.size(); ++i) {
        pixels[i] = PlainTruncate((levels[i] - lowest) / (highest - lowest) * 255.0f);
    }
    return pixels;
}

/// Values of every kind the loops meet: all magnitudes, zeros of both signs, subnormals,
/// infinities and NaN.
std::vector<float> AwkwardFloats(std::size_t count, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-140, 120);
    std::uniform_int_distribution<int> kind(0, 19);
    std::vector<float> values(count);
    for (auto& value : values) {
        switch (kind(generator)) {
            case 0:
                value = 0.0f;
                break;
            case 1:
                value = -0.0f;
                break;
            case 2:
                value = std::numeric_limits<float>::denorm_min() * 3.0f;
                break;
            case 3:
                value = 1.0f;
                break;
            default:
                value = std::ldexp(mantissa(generator), exponent(generator));
                break;
        }
    }
    return values;
}

class PlaneLoops : public testing::TestWithParam<InstructionSet> {
protected:
    void SetUp() override { ForceInstructionSet(GetParam()); }
    void TearDown() override { ClearForcedInstructionSet(); }
    const FastKernels& Kernels() const { return FastKernelsFor(GetParam()); }
};

TEST_P(PlaneLoops, LogMagnitudes_MatchThePlainLevelsAndTheirScan) {
    const std::size_t count = 4099;
    std::vector<float> re = AwkwardFloats(count, 3);
    std::vector<float> im = AwkwardFloats(count, 4);
    re[7] = std::numeric_limits<float>::infinity();
    im[9] = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> levels(count);
    float lowest = 3.4028235e38f;
    float highest = -3.4028235e38f;
    Kernels().logMagnitudes(re.data(), im.data(), count, std::log10(2.0f), levels.data(), lowest,
                            highest);
    float plainLowest = 3.4028235e38f;
    float plainHighest = -3.4028235e38f;
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const float expected = PlainLevel(re[i], im[i]);
        if (Bits(levels[i]) != Bits(expected) && !(std::isnan(expected) && std::isnan(levels[i]))) {
            ++wrong;
        }
        plainLowest = expected < plainLowest ? expected : plainLowest;
        plainHighest = expected > plainHighest ? expected : plainHighest;
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(lowest, plainLowest);
    EXPECT_EQ(highest, plainHighest);
}

TEST_P(PlaneLoops, LogMagnitudes_EveryExponentAndMantissaStepMatchesTheLibrary) {
    // Magnitudes spread over all positive floats, subnormals included (im = 0 keeps the
    // magnitude exact).
    std::vector<float> re;
    for (std::uint64_t bits = 1; bits < 0x7f800000u; bits += 40961) {
        float value;
        const auto word = static_cast<std::uint32_t>(bits);
        std::memcpy(&value, &word, sizeof value);
        re.push_back(value);
    }
    const std::vector<float> im(re.size(), 0.0f);
    std::vector<float> levels(re.size());
    float lowest = 3.4028235e38f;
    float highest = -3.4028235e38f;
    Kernels().logMagnitudes(re.data(), im.data(), re.size(), std::log10(2.0f), levels.data(),
                            lowest, highest);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < re.size(); ++i) {
        wrong += Bits(levels[i]) != Bits(PlainLevel(re[i], 0.0f)) ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0u);
}

TEST_P(PlaneLoops, LevelBytes_MatchThePlainLevels) {
    const std::size_t count = 1031;
    std::vector<float> levels = AwkwardFloats(count, 5);
    for (std::size_t i = 0; i < count; i += 3) {
        levels[i] = static_cast<float>(i % 40) - 12.5f;
    }
    levels[0] = std::numeric_limits<float>::quiet_NaN();
    for (const auto& [lowest, range] :
         {std::pair{-12.5f, 39.0f}, std::pair{0.0f, 0.0f}, std::pair{-3.0f, 1e-30f}}) {
        std::vector<std::uint8_t> bytes(count);
        Kernels().levelBytes(levels.data(), count, lowest, range, bytes.data());
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < count; ++i) {
            wrong += bytes[i] != PlainTruncate((levels[i] - lowest) / range * 255.0f) ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0u) << "lowest " << lowest << " range " << range;
    }
}

TEST_P(PlaneLoops, GatherChannel_TakesTheChosenByteOfEveryPixel) {
    const std::size_t count = 1000;
    std::vector<std::uint8_t> pixels(4 * count);
    std::mt19937 generator(6);
    for (auto& byte : pixels) {
        byte = static_cast<std::uint8_t>(generator());
    }
    for (std::size_t offset = 0; offset < 3; ++offset) {
        std::vector<std::uint8_t> out(count);
        Kernels().gatherChannel(pixels.data(), count, offset, out.data());
        for (std::size_t x = 0; x < count; ++x) {
            ASSERT_EQ(out[x], pixels[4 * x + offset]) << "pixel " << x << " offset " << offset;
        }
    }
}

TEST_P(PlaneLoops, RoundBytes_FollowTheFinalImageRule) {
    const std::size_t count = 515;
    std::vector<float> values = AwkwardFloats(count, 7);
    const float specials[] = {-0.7f,
                              12.4f,
                              12.5f,
                              300.0f,
                              254.5f,
                              254.49f,
                              -0.5f,
                              0.49999997f,
                              std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -1e30f,
                              3e9f};
    for (std::size_t i = 0; i < count; i += 2) {
        values[i] = i % 4 == 0 ? specials[i / 4 % std::size(specials)]
                               : static_cast<float>(i) * 0.37f - 20.0f;
    }
    std::vector<std::uint8_t> bytes(count);
    Kernels().roundBytes(values.data(), count, bytes.data());
    for (std::size_t x = 0; x < count; ++x) {
        ASSERT_EQ(bytes[x], RoundToByte(values[x])) << x << ": " << values[x];
    }
}

TEST_P(PlaneLoops, MergePixels_FillBlueGreenRedAndKeepTheFourthByte) {
    const std::size_t count = 203;
    std::vector<std::uint8_t> red(count);
    std::vector<std::uint8_t> green(count);
    std::vector<std::uint8_t> blue(count);
    std::vector<std::uint8_t> pixels(4 * count);
    std::mt19937 generator(9);
    for (std::size_t i = 0; i < count; ++i) {
        red[i] = static_cast<std::uint8_t>(generator());
        green[i] = static_cast<std::uint8_t>(generator());
        blue[i] = static_cast<std::uint8_t>(generator());
    }
    for (auto& byte : pixels) {
        byte = static_cast<std::uint8_t>(generator());
    }
    const std::vector<std::uint8_t> before = pixels;
    Kernels().mergePixels(red.data(), green.data(), blue.data(), count, pixels.data());
    for (std::size_t x = 0; x < count; ++x) {
        const std::uint8_t expected[4] = {blue[x], green[x], red[x], before[4 * x + 3]};
        ASSERT_EQ(std::memcmp(pixels.data() + 4 * x, expected, 4), 0) << x;
    }
}

/// Bytes 0 to 2 of target pixel (i, j) of a bilinear resampling of a 32-bit source, as the
/// plain loop computes them.
void PlainResampledPixel(const ImageBitmap& source, std::uint32_t newWidth, std::uint32_t newHeight,
                         std::uint32_t i, std::uint32_t j, std::uint8_t out[3]) {
    const std::uint32_t w = source.Width();
    const std::uint32_t h = source.Height();
    const float sx = static_cast<float>(w) / static_cast<float>(newWidth);
    const float sy = static_cast<float>(h) / static_cast<float>(newHeight);
    const float fy = static_cast<float>(j) * sy;
    std::uint32_t y0 = static_cast<std::uint32_t>(fy);
    y0 = y0 < h ? y0 : h - 1;
    const std::uint32_t y1 = y0 + 1 >= h ? h - 1 : y0 + 1;
    const float wy = fy - static_cast<float>(y0);
    const float fx = static_cast<float>(i) * sx;
    std::uint32_t x0 = static_cast<std::uint32_t>(fx);
    x0 = x0 < w ? x0 : w - 1;
    const std::uint32_t x1 = x0 + 1 >= w ? w - 1 : x0 + 1;
    const float wx = fx - static_cast<float>(x0);
    for (std::uint32_t c = 0; c < 3; ++c) {
        const float s00 = source.Row(y0)[x0 * 4 + c];
        const float s10 = source.Row(y0)[x1 * 4 + c];
        const float s01 = source.Row(y1)[x0 * 4 + c];
        const float s11 = source.Row(y1)[x1 * 4 + c];
        const float value = s00 * (1.0f - wy) * (1.0f - wx) + s10 * (1.0f - wy) * wx +
                            s01 * (1.0f - wx) * wy + s11 * wx * wy;
        out[c] = PlainTruncate(value);
    }
}

TEST_P(PlaneLoops, ResampleImage_MatchesThePlainBilinearLoop) {
    std::mt19937 generator(8);
    // Enlarging, keeping and reducing, with target rows whose sources lie close together (one
    // window of source pixels) and far apart (gathered one by one).
    const struct {
        std::uint32_t width, height;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> targets;
    } cases[] = {{37, 23, {{64, 32}, {37, 23}, {16, 8}, {101, 7}, {1, 1}, {9, 40}}},
                 {600, 9, {{819, 5}, {600, 9}, {450, 12}, {128, 3}}}};
    for (const auto& [width, height, targets] : cases) {
        const auto source = ImageBitmap::Create(width, height, PixelFormat32bppRGB);
        ASSERT_TRUE(source);
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < source->Stride(); ++x) {
                source->Row(y)[x] = static_cast<std::uint8_t>(generator());
            }
        }
        for (const auto& [newWidth, newHeight] : targets) {
            const auto target = ResampleImage(source.get(), newWidth, newHeight);
            ASSERT_TRUE(target);
            std::size_t wrong = 0;
            for (std::uint32_t j = 0; j < newHeight; ++j) {
                for (std::uint32_t i = 0; i < newWidth; ++i) {
                    std::uint8_t expected[3];
                    PlainResampledPixel(*source, newWidth, newHeight, i, j, expected);
                    const std::uint8_t* pixel = target->Row(j) + 4 * i;
                    wrong += std::memcmp(pixel, expected, 3) != 0 || pixel[3] != 0xFF ? 1 : 0;
                }
            }
            EXPECT_EQ(wrong, 0u) << width << " x " << height << " to " << newWidth << " x "
                                 << newHeight;
        }
    }
}

TEST_P(PlaneLoops, ResampleGreyImage_MatchesThePlainBilinearLoop) {
    std::mt19937 generator(9);
    // Narrower and wider than a window of 16 source pixels; enlarging, keeping, reducing a
    // little (one window per eight pixels) and a lot (gathered, and the row's end plain).
    const struct {
        std::uint32_t width, height;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> targets;
    } cases[] = {{13, 5, {{16, 8}, {13, 5}, {7, 3}, {40, 2}}},
                 {301, 7, {{512, 8}, {301, 7}, {220, 5}, {64, 4}, {9, 2}}},
                 {6000, 3, {{8192, 4}, {4000, 2}}}};
    for (const auto& [width, height, targets] : cases) {
        const auto source = ImageBitmap::Create(width, height, PixelFormat8bppIndexed);
        ASSERT_TRUE(source);
        source->SetPalette(BitmapPalette::GreyRamp());
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < source->Stride(); ++x) {
                source->Row(y)[x] = static_cast<std::uint8_t>(generator());
            }
        }
        for (const auto& [newWidth, newHeight] : targets) {
            const auto target = ResampleImage(source.get(), newWidth, newHeight);
            ASSERT_TRUE(target);
            ASSERT_EQ(target->Format(), PixelFormat8bppIndexed);
            const float sx = static_cast<float>(width) / static_cast<float>(newWidth);
            const float sy = static_cast<float>(height) / static_cast<float>(newHeight);
            std::size_t wrong = 0;
            for (std::uint32_t j = 0; j < newHeight; ++j) {
                const float fy = static_cast<float>(j) * sy;
                const auto y0 = std::min(static_cast<std::uint32_t>(fy), height - 1);
                const std::uint32_t y1 = y0 + 1 >= height ? height - 1 : y0 + 1;
                const float wy = fy - static_cast<float>(y0);
                for (std::uint32_t i = 0; i < newWidth; ++i) {
                    const float fx = static_cast<float>(i) * sx;
                    const auto x0 = std::min(static_cast<std::uint32_t>(fx), width - 1);
                    const std::uint32_t x1 = x0 + 1 >= width ? width - 1 : x0 + 1;
                    const float wx = fx - static_cast<float>(x0);
                    const float s00 = source->Row(y0)[x0];
                    const float s10 = source->Row(y0)[x1];
                    const float s01 = source->Row(y1)[x0];
                    const float s11 = source->Row(y1)[x1];
                    const float value = s00 * (1.0f - wy) * (1.0f - wx) + s10 * (1.0f - wy) * wx +
                                        s01 * (1.0f - wx) * wy + s11 * wx * wy;
                    wrong += target->Row(j)[i] != PlainTruncate(value) ? 1 : 0;
                }
            }
            EXPECT_EQ(wrong, 0u) << width << " x " << height << " to " << newWidth << " x "
                                 << newHeight;
        }
    }
}

/// Spectra that are random, all zero (every level equal), whose smallest level is zero, or
/// that carry a NaN.
void FillSpectrum(const std::string& name, std::vector<float>& re, std::vector<float>& im,
                  std::uint32_t seed) {
    re = AwkwardFloats(re.size(), seed);
    im = AwkwardFloats(im.size(), seed + 1);
    if (name == "AllZero") {
        std::fill(re.begin(), re.end(), 0.0f);
        std::fill(im.begin(), im.end(), 0.0f);
    } else if (name == "ZeroLowest") {
        // Magnitudes of 1 to 5: the smallest level is exactly 0, found in many places.
        for (std::size_t i = 0; i < re.size(); ++i) {
            re[i] = 1.0f + static_cast<float>(i % 5);
            im[i] = 0.0f;
        }
    } else if (name == "WithNaN") {
        im[im.size() / 2] = std::numeric_limits<float>::quiet_NaN();
    }
}

class PowerSpectrumImage : public testing::TestWithParam<std::tuple<InstructionSet, const char*>> {
protected:
    void TearDown() override { ClearForcedInstructionSet(); }
};

TEST_P(PowerSpectrumImage, MatchesThePlainRendering) {
    const auto [set, name] = GetParam();
    ForceInstructionSet(set);
    for (const auto& [width, height] :
         {std::pair<std::uint64_t, std::uint64_t>{1, 1}, {3, 5}, {64, 32}, {257, 9}}) {
        std::vector<float> re(width * height);
        std::vector<float> im(width * height);
        FillSpectrum(name, re, im, static_cast<std::uint32_t>(width + height));
        const auto image = RenderPowerSpectrum(re.data(), im.data(), width, height);
        ASSERT_TRUE(image);
        const auto expected = PlainPowerImage(re, im, width, height);
        std::size_t wrong = 0;
        for (std::uint32_t y = 0; y < height; ++y) {
            wrong += std::memcmp(image->Row(y), expected.data() + width * y, width) != 0;
        }
        EXPECT_EQ(wrong, 0u) << width << " x " << height;
    }
}

std::string PathAndCaseName(
    const testing::TestParamInfo<std::tuple<InstructionSet, const char*>>& info) {
    return std::string(InstructionSetName(std::get<0>(info.param))) + "_" + std::get<1>(info.param);
}

INSTANTIATE_TEST_SUITE_P(Paths, PlaneLoops, testing::ValuesIn(SupportedInstructionSets()),
                         InstructionSetParamName);

INSTANTIATE_TEST_SUITE_P(Paths, PowerSpectrumImage,
                         testing::Combine(testing::ValuesIn(SupportedInstructionSets()),
                                          testing::Values("Random", "AllZero", "ZeroLowest",
                                                          "WithNaN")),
                         PathAndCaseName);

}  // namespace
}  // namespace quarvel
