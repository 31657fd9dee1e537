#include "engine/PlaneConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/C2DFFT.h"

namespace quarvel {
namespace {

struct SizeCase {
    std::uint64_t n;
    std::uint64_t expected;
};

class SpectrumSizeTable : public testing::TestWithParam<SizeCase> {};

TEST_P(SpectrumSizeTable, IsNextPowerOfTwo) {
    EXPECT_EQ(SpectrumSize(GetParam().n), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Dimensions, SpectrumSizeTable,
    testing::Values(SizeCase{1, 1}, SizeCase{2, 2}, SizeCase{3, 4}, SizeCase{5, 8}, SizeCase{8, 8},
                    SizeCase{480, 512}, SizeCase{512, 512}, SizeCase{640, 1024},
                    SizeCase{8192, 8192}, SizeCase{8193, 16384}, SizeCase{32768, 32768},
                    SizeCase{65535, 65536}, SizeCase{65536, 65536}, SizeCase{65537, 131072},
                    SizeCase{2097153, 4194304}, SizeCase{16777217, 33554432}),
    [](const testing::TestParamInfo<SizeCase>& param) { return std::to_string(param.param.n); });

TEST(SpectrumSize, EveryDimensionUpToFourMillionGetsTheSmallestPowerOfTwo) {
    std::uint64_t wrong = 0;
    std::uint64_t power = 1;
    for (std::uint64_t n = 1; n <= (1u << 22); ++n) {
        if (power < n) {
            power *= 2;
        }
        if (SpectrumSize(n) != power) {
            ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0u);
}

TEST(IsColorImage, IndexedIsGreyFromTwoPixelsWideAndColourFormatsAreColour) {
    EXPECT_FALSE(IsColorImage(*ImageBitmap::Create(2, 3, PixelFormat8bppIndexed)));
    EXPECT_FALSE(IsColorImage(*ImageBitmap::Create(3, 3, PixelFormat8bppIndexed)));
    EXPECT_FALSE(IsColorImage(*ImageBitmap::Create(640, 1, PixelFormat8bppIndexed)));
    // One pixel wide: the row is padded to 4 bytes, more than twice the width.
    EXPECT_TRUE(IsColorImage(*ImageBitmap::Create(1, 5, PixelFormat8bppIndexed)));
    EXPECT_TRUE(IsColorImage(*ImageBitmap::Create(1, 1, PixelFormat24bppRGB)));
    EXPECT_TRUE(IsColorImage(*ImageBitmap::Create(7, 2, PixelFormat24bppRGB)));
    EXPECT_TRUE(IsColorImage(*ImageBitmap::Create(7, 2, PixelFormat32bppRGB)));
}

/// The 4 x 4 bilinear enlargement of the 2 x 2 source {a, b; c, d} = {10, 20; 30, 41}: halves
/// and quarters of the neighbours, truncated, with the last column and row clamped.
const std::uint8_t kEnlarged[4][4] = {
    {10, 15, 20, 20},
    {20, 25, 30, 30},
    {30, 35, 41, 41},
    {30, 35, 41, 41},
};

void FillTwoByTwo(ImageBitmap& image, std::size_t pixelBytes, std::size_t component,
                  std::uint8_t offset) {
    image.Row(0)[component] = 10 + offset;
    image.Row(0)[pixelBytes + component] = 20 + offset;
    image.Row(1)[component] = 30 + offset;
    image.Row(1)[pixelBytes + component] = 41 + offset;
}

class ResampleColour : public testing::TestWithParam<PixelFormat> {};

TEST_P(ResampleColour, TwoByTwoToFourByFour_InterpolatesEachComponent) {
    const PixelFormat format = GetParam();
    const std::size_t pixelBytes = BytesPerPixel(format);
    auto source = ImageBitmap::Create(2, 2, format);
    // Blue, green and red carry the same pattern shifted apart, so a mixed-up byte shows.
    FillTwoByTwo(*source, pixelBytes, 0, 0);
    FillTwoByTwo(*source, pixelBytes, 1, 100);
    FillTwoByTwo(*source, pixelBytes, 2, 200);
    auto target = ResampleImage(source.get(), 4, 4);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->Format(), format);
    EXPECT_EQ(target->Width(), 4u);
    EXPECT_EQ(target->Height(), 4u);
    for (std::uint32_t j = 0; j < 4; ++j) {
        for (std::uint32_t i = 0; i < 4; ++i) {
            const std::uint8_t* pixel = target->Row(j) + i * pixelBytes;
            EXPECT_EQ(pixel[0], kEnlarged[j][i]) << i << "," << j;
            EXPECT_EQ(pixel[1], kEnlarged[j][i] + 100) << i << "," << j;
            EXPECT_EQ(pixel[2], kEnlarged[j][i] + 200) << i << "," << j;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ResampleColour,
                         testing::Values(PixelFormat24bppRGB, PixelFormat32bppRGB),
                         [](const testing::TestParamInfo<PixelFormat>& param) {
                             return param.param == PixelFormat24bppRGB ? "Rgb24" : "Rgb32";
                         });

BitmapPalette NonRampPalette() {
    BitmapPalette palette;
    for (std::uint32_t i = 0; i < 256; ++i) {
        palette.entries.push_back(0xFF000000u | ((255 - i) << 16) | ((i * 7 % 256) << 8) | 40);
    }
    return palette;
}

TEST(ResampleImage, GreyInterpolatesIndicesAndCopiesThePalette) {
    auto source = ImageBitmap::Create(2, 2, PixelFormat8bppIndexed);
    source->SetPalette(NonRampPalette());
    FillTwoByTwo(*source, 1, 0, 0);
    auto target = ResampleImage(source.get(), 4, 4);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->Format(), PixelFormat8bppIndexed);
    EXPECT_EQ(target->Palette(), source->Palette());
    for (std::uint32_t j = 0; j < 4; ++j) {
        for (std::uint32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(target->Row(j)[i], kEnlarged[j][i]) << i << "," << j;
        }
    }
}

TEST(ResampleImage, ColourTargetIsOpaque) {
    auto source = ImageBitmap::Create(2, 2, PixelFormat32bppRGB);
    std::memset(source->Data(), 0xAB, source->ByteSize());
    auto target = ResampleImage(source.get(), 4, 3);
    ASSERT_NE(target, nullptr);
    for (std::uint32_t j = 0; j < 3; ++j) {
        for (std::uint32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(target->Row(j)[4 * i], 0xAB);
            EXPECT_EQ(target->Row(j)[4 * i + 3], 0xFF);
        }
    }
}

TEST(ResampleImage, SameSizeIsTheIdentity) {
    for (PixelFormat format : {PixelFormat8bppIndexed, PixelFormat24bppRGB, PixelFormat32bppRGB}) {
        auto source = ImageBitmap::Create(8, 4, format);
        source->SetPalette(BitmapPalette::GreyRamp());
        for (std::uint32_t y = 0; y < 4; ++y) {
            for (std::size_t i = 0; i < 8 * BytesPerPixel(format); ++i) {
                source->Row(y)[i] = static_cast<std::uint8_t>(i * 37 + y * 11);
            }
        }
        auto target = ResampleImage(source.get(), 8, 4);
        ASSERT_NE(target, nullptr);
        for (std::uint32_t y = 0; y < 4; ++y) {
            for (std::uint32_t x = 0; x < 8; ++x) {
                // Compare blue, green, red (or the index); the fourth byte is 0xFF.
                for (std::size_t c = 0; c < std::min<std::size_t>(3, BytesPerPixel(format)); ++c) {
                    const std::size_t at = x * BytesPerPixel(format) + c;
                    EXPECT_EQ(target->Row(y)[at], source->Row(y)[at]) << format << " " << at;
                }
            }
        }
    }
}

TEST(ResampleImage, FractionalScaleWeighsNeighboursAndReducingSamplesWithoutFilter) {
    auto row = ImageBitmap::Create(3, 1, PixelFormat8bppIndexed);
    row->Row(0)[0] = 0;
    row->Row(0)[1] = 100;
    row->Row(0)[2] = 200;
    auto wider = ResampleImage(row.get(), 4, 1);
    ASSERT_NE(wider, nullptr);
    // x = 0, 0.75, 1.5, 2.25 in the source.
    EXPECT_EQ(wider->Row(0)[0], 0);
    EXPECT_EQ(wider->Row(0)[1], 75);
    EXPECT_EQ(wider->Row(0)[2], 150);
    EXPECT_EQ(wider->Row(0)[3], 200);

    auto square = ImageBitmap::Create(4, 4, PixelFormat8bppIndexed);
    for (std::uint32_t y = 0; y < 4; ++y) {
        for (std::uint32_t x = 0; x < 4; ++x) {
            square->Row(y)[x] = static_cast<std::uint8_t>(10 * y + x);
        }
    }
    auto smaller = ResampleImage(square.get(), 2, 2);
    ASSERT_NE(smaller, nullptr);
    EXPECT_EQ(smaller->Row(0)[0], 0);
    EXPECT_EQ(smaller->Row(0)[1], 2);
    EXPECT_EQ(smaller->Row(1)[0], 20);
    EXPECT_EQ(smaller->Row(1)[1], 22);
}

TEST(ResampleImage, OnePixelWideIndexedKeepsItsColoursThroughThePalette) {
    // Such an image counts as colour and is resampled through the colour view; the target
    // needs the palette to map the colours back to the same entries.
    auto source = ImageBitmap::Create(1, 2, PixelFormat8bppIndexed);
    source->SetPalette(NonRampPalette());
    source->Row(0)[0] = 3;
    source->Row(1)[0] = 250;
    auto target = ResampleImage(source.get(), 1, 2);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->Palette(), source->Palette());
    EXPECT_EQ(target->Row(0)[0], 3);
    EXPECT_EQ(target->Row(1)[0], 250);
}

TEST(ResampleImage, MissingSourceOrEmptyTargetGivesNothing) {
    auto source = ImageBitmap::Create(2, 2, PixelFormat24bppRGB);
    EXPECT_EQ(ResampleImage(nullptr, 4, 4), nullptr);
    EXPECT_EQ(ResampleImage(source.get(), 0, 4), nullptr);
    EXPECT_EQ(ResampleImage(source.get(), 4, 0), nullptr);
}

/// The spectrum C2DFFT gives for a byte plane, to compare ComputeSpectrum against bit for bit.
ChannelSpectrum ForwardOf(const std::vector<std::uint8_t>& plane, std::uint32_t w,
                          std::uint32_t h) {
    SpectrumPlane re;
    SpectrumPlane im;
    const C2DFFT fft(w, h);
    EXPECT_TRUE(fft.Forward(plane.data(), re, im));
    return ChannelSpectrum{std::move(re), std::move(im)};
}

bool SamePlanes(const ChannelSpectrum& a, const ChannelSpectrum& b, std::size_t count) {
    return a.IsComplete() && b.IsComplete() &&
           std::memcmp(a.re.get(), b.re.get(), count * sizeof(float)) == 0 &&
           std::memcmp(a.im.get(), b.im.get(), count * sizeof(float)) == 0;
}

struct ChannelCase {
    ChannelKind channel;
    std::size_t byte;
    PixelFormat format;
    const char* name;
};

class ComputeSpectrumChannels : public testing::TestWithParam<ChannelCase> {};

TEST_P(ComputeSpectrumChannels, TransformsTheChannelsByte) {
    const auto [channel, byte, format, name] = GetParam();
    const std::uint32_t w = 8;
    const std::uint32_t h = 4;
    const std::size_t pixelBytes = BytesPerPixel(format);
    auto image = ImageBitmap::Create(w, h, format);
    std::vector<std::uint8_t> expected(w * h);
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint8_t* pixel = image->Row(y) + x * pixelBytes;
            // Each byte of a pixel gets a different pattern.
            for (std::size_t c = 0; c < std::min<std::size_t>(pixelBytes, 3); ++c) {
                pixel[c] = static_cast<std::uint8_t>((x + 1) * (c + 3) + y * 17 * (c + 1));
            }
            expected[y * w + x] = pixel[byte];
        }
    }
    const ChannelSpectrum spectrum = ComputeSpectrum(image.get(), channel);
    EXPECT_TRUE(SamePlanes(spectrum, ForwardOf(expected, w, h), w * h));
}

INSTANTIATE_TEST_SUITE_P(
    Channels, ComputeSpectrumChannels,
    testing::Values(ChannelCase{ChannelKind::Red, 2, PixelFormat32bppRGB, "Red32"},
                    ChannelCase{ChannelKind::Green, 1, PixelFormat32bppRGB, "Green32"},
                    ChannelCase{ChannelKind::Blue, 0, PixelFormat32bppRGB, "Blue32"},
                    ChannelCase{ChannelKind::Red, 2, PixelFormat24bppRGB, "Red24"},
                    ChannelCase{ChannelKind::Green, 1, PixelFormat24bppRGB, "Green24"},
                    ChannelCase{ChannelKind::Blue, 0, PixelFormat24bppRGB, "Blue24"}),
    [](const testing::TestParamInfo<ChannelCase>& param) { return param.param.name; });

TEST(ComputeSpectrum, GreyUsesPaletteIndicesNotPaletteColours) {
    const std::uint32_t w = 4;
    const std::uint32_t h = 8;
    auto image = ImageBitmap::Create(w, h, PixelFormat8bppIndexed);
    image->SetPalette(NonRampPalette());
    std::vector<std::uint8_t> indices(w * h);
    std::uint32_t sum = 0;
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            indices[y * w + x] = static_cast<std::uint8_t>(x * 50 + y * 3);
            image->Row(y)[x] = indices[y * w + x];
            sum += indices[y * w + x];
        }
    }
    const ChannelSpectrum spectrum = ComputeSpectrum(image.get(), ChannelKind::Grey);
    ASSERT_TRUE(spectrum.IsComplete());
    EXPECT_EQ(spectrum.re[(h / 2) * w + w / 2], static_cast<float>(sum));
    EXPECT_TRUE(SamePlanes(spectrum, ForwardOf(indices, w, h), w * h));
}

TEST(ExtractChannel, TakesAColourImageApartAndMergeChannelsPutsItTogether) {
    auto image = ImageBitmap::Create(37, 5, PixelFormat32bppRGB);
    for (std::uint32_t y = 0; y < 5; ++y) {
        for (std::uint32_t x = 0; x < 37; ++x) {
            std::uint8_t* pixel = image->Row(y) + 4 * x;
            pixel[0] = static_cast<std::uint8_t>(x * 7 + y);
            pixel[1] = static_cast<std::uint8_t>(x * 3 + y * 5);
            pixel[2] = static_cast<std::uint8_t>(x ^ (y * 11));
            pixel[3] = 0xFF;
        }
    }
    const auto red = ExtractChannel(*image, ChannelKind::Red);
    const auto green = ExtractChannel(*image, ChannelKind::Green);
    const auto blue = ExtractChannel(*image, ChannelKind::Blue);
    ASSERT_TRUE(red && green && blue);
    EXPECT_EQ(red->Format(), PixelFormat8bppIndexed);
    EXPECT_EQ(red->Palette(), BitmapPalette::GreyRamp());
    EXPECT_EQ(red->Row(3)[20], image->Row(3)[4 * 20 + 2]);
    EXPECT_EQ(blue->Row(4)[36], image->Row(4)[4 * 36]);
    EXPECT_EQ(ExtractChannel(*image, ChannelKind::Grey), nullptr);

    const auto merged = MergeChannels(*red, *green, *blue);
    ASSERT_NE(merged, nullptr);
    for (std::uint32_t y = 0; y < 5; ++y) {
        for (std::uint32_t x = 0; x < 37; ++x) {
            EXPECT_EQ(std::memcmp(merged->Row(y) + 4 * x, image->Row(y) + 4 * x, 3), 0);
            EXPECT_EQ(merged->Row(y)[4 * x + 3], 0xFF) << "the pixels are opaque";
        }
    }
    const auto narrower = ImageBitmap::Create(36, 5, PixelFormat8bppIndexed);
    EXPECT_EQ(MergeChannels(*red, *green, *narrower), nullptr);
}

TEST(ComputeSpectrum, MissingImageGivesNoPlanes) {
    const ChannelSpectrum spectrum = ComputeSpectrum(nullptr, ChannelKind::Red);
    EXPECT_FALSE(spectrum.re);
    EXPECT_FALSE(spectrum.im);
}

/// Levels of a 2 x 2 spectrum given as (re, im) pairs; -1 when no image came back.
std::vector<int> LevelsOf(const std::vector<float>& re, const std::vector<float>& im,
                          std::uint64_t w, std::uint64_t h) {
    auto image = RenderPowerSpectrum(re.data(), im.data(), w, h);
    if (!image) {
        return {-1};
    }
    EXPECT_EQ(image->Format(), PixelFormat8bppIndexed);
    EXPECT_EQ(image->Palette(), BitmapPalette::GreyRamp());
    EXPECT_EQ(image->Width(), w);
    EXPECT_EQ(image->Height(), h);
    std::vector<int> levels;
    for (std::uint32_t y = 0; y < h; ++y) {
        levels.insert(levels.end(), image->Row(y), image->Row(y) + w);
    }
    return levels;
}

TEST(RenderPowerSpectrum, MagnitudesZeroOneTwoFour_GiveLevelsOfTheirLog2) {
    // |0| = 0, |i| = 1, |-2| = 2, |(0, 4)| = 4: log2 0, 0, 1, 2 onto 0 .. 255.
    EXPECT_EQ(LevelsOf({0.0f, 0.0f, -2.0f, 0.0f}, {0.0f, 1.0f, 0.0f, 4.0f}, 2, 2),
              (std::vector<int>{0, 0, 127, 255}));
}

TEST(RenderPowerSpectrum, ZeroElementsCountAsLogZeroNotMinusInfinity) {
    // |0.5| has log2 -1, below the 0 of the cleared element.
    EXPECT_EQ(LevelsOf({0.5f, 0.0f, 1.0f, 2.0f}, {0.0f, 0.0f, 0.0f, 0.0f}, 4, 1),
              (std::vector<int>{0, 127, 127, 255}));
}

TEST(RenderPowerSpectrum, AllLevelsEqual_GivesZeroEverywhere) {
    EXPECT_EQ(LevelsOf({0.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 0.0f}, 2, 2),
              (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(LevelsOf({3.0f, -3.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 3.0f, -3.0f}, 1, 4),
              (std::vector<int>{0, 0, 0, 0}));
}

TEST(RenderPowerSpectrum, NotANumberElementGetsLevelZeroAndLeavesTheRangeAlone) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(LevelsOf({nan, 1.0f, 2.0f, 4.0f}, {0.0f, 0.0f, 0.0f, 0.0f}, 2, 2),
              (std::vector<int>{0, 0, 127, 255}));
}

TEST(RenderPowerSpectrum, MissingPlaneGivesNothing) {
    const std::vector<float> plane(4, 1.0f);
    EXPECT_EQ(RenderPowerSpectrum(nullptr, plane.data(), 2, 2), nullptr);
    EXPECT_EQ(RenderPowerSpectrum(plane.data(), nullptr, 2, 2), nullptr);
}

/// Whether two images of one size and format have the same bytes.
bool SameBytes(const ImageBitmap& a, const ImageBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Stride() != b.Stride()) {
        return false;
    }
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.Row(y), b.Row(y), a.Stride()) != 0) {
            return false;
        }
    }
    return true;
}

TEST(UpdatePowerSpectrumRows, EqualsTheWholeRenderAndRendersOnlyTheEditedRowsWhileTheMappingStays) {
    // Noise of 64 x 32 elements, rendered with its levels; then edits as the brush makes them:
    // blocks cleared away from the largest element, the largest element cleared and
    // an element made larger than any (the mapping changes: every row), and levels that belong
    // to nothing (every row).
    std::mt19937 generator(11);
    std::normal_distribution<float> noise(0.0f, 1000.0f);
    std::vector<float> re(64 * 32);
    std::vector<float> im(re.size());
    for (std::size_t i = 0; i < re.size(); ++i) {
        re[i] = noise(generator);
        im[i] = noise(generator);
    }
    PowerLevelRows levels;
    auto image = RenderPowerSpectrum(re.data(), im.data(), 64, 32, &levels);
    ASSERT_TRUE(image);
    ASSERT_EQ(levels.lowest.size(), 32u);
    const auto largest = static_cast<std::size_t>(
        std::max_element(re.begin(), re.end(),
                         [&](const float& a, const float& b) {
                             const std::size_t i = static_cast<std::size_t>(&a - re.data());
                             const std::size_t j = static_cast<std::size_t>(&b - re.data());
                             return std::hypot(a, im[i]) < std::hypot(b, im[j]);
                         }) -
        re.begin());
    struct Edit {
        std::size_t first;
        std::size_t count;
        float value;
        bool forgetLevels;
        std::uint64_t expectedTop;
        std::uint64_t expectedBottom;
    };
    // The first cleared elements bring the smallest level down to 0: every row; the next ones
    // leave it there.
    const std::size_t quiet = (largest / 64 < 16 ? 20 : 3) * 64 + 10;
    const Edit edits[] = {{quiet, 3, 0.0f, false, 0, 32},
                          {quiet + 64 + 20, 70, 0.0f, false, quiet / 64 + 1, quiet / 64 + 3},
                          {largest, 1, 0.0f, false, 0, 32},
                          {5 * 64 + 7, 1, 1e9f, false, 0, 32},
                          {9 * 64, 2, 0.0f, true, 0, 32}};
    for (const Edit& edit : edits) {
        for (std::size_t i = edit.first; i < edit.first + edit.count; ++i) {
            re[i] = edit.value;
            im[i] = 0.0f;
        }
        if (edit.forgetLevels) {
            levels = PowerLevelRows{};
        }
        const ImageBitmap* address = image.get();
        const IndexRange rows{edit.first / 64, (edit.first + edit.count - 1) / 64 + 1};
        bool whole = false;
        ASSERT_TRUE(UpdatePowerSpectrumRows(PlaneRows{re.data(), im.data()}, 64, 32, *image, levels,
                                            {rows}, whole));
        EXPECT_EQ(image.get(), address);
        const IndexRange rendered = whole ? IndexRange{0, 32} : rows;
        EXPECT_EQ(rendered.begin, edit.expectedTop) << "edit at " << edit.first;
        EXPECT_EQ(rendered.end, edit.expectedBottom) << "edit at " << edit.first;
        PowerLevelRows expectedLevels;
        const auto expected = RenderPowerSpectrum(re.data(), im.data(), 64, 32, &expectedLevels);
        ASSERT_TRUE(expected);
        EXPECT_TRUE(SameBytes(*image, *expected)) << "edit at " << edit.first;
        EXPECT_EQ(levels.lowest, expectedLevels.lowest);
        EXPECT_EQ(levels.highest, expectedLevels.highest);
    }
    // A fresh image, as an edit of an image another state shares starts from, comes out as a
    // whole render with its palette; an image of another size is not touched.
    auto fresh = ImageBitmap::Create(64, 32, PixelFormat8bppIndexed);
    PowerLevelRows none;
    bool whole = false;
    ASSERT_TRUE(UpdatePowerSpectrumRows(PlaneRows{re.data(), im.data()}, 64, 32, *fresh, none,
                                        {IndexRange{4, 5}}, whole));
    EXPECT_TRUE(whole);
    EXPECT_TRUE(SameBytes(*fresh, *image));
    EXPECT_EQ(fresh->Palette(), image->Palette());
    EXPECT_FALSE(UpdatePowerSpectrumRows(PlaneRows{re.data(), im.data()}, 32, 64, *image, levels,
                                         {IndexRange{0, 1}}, whole));
}

TEST(RenderGreyPowerSpectrum, GivesTheImageOfRenderPowerSpectrumUsingUpTheSpectrum) {
    // Noise with cleared elements of both signs and a NaN, then a spectrum of equal magnitudes
    // (a range of zero), each as a 64 x 32 plane pair.
    std::mt19937 generator(7);
    std::normal_distribution<float> noise(0.0f, 1000.0f);
    std::vector<float> re(64 * 32);
    std::vector<float> im(re.size());
    for (std::size_t i = 0; i < re.size(); ++i) {
        re[i] = i % 37 == 0 ? (i % 2 == 0 ? 0.0f : -0.0f) : noise(generator);
        im[i] = i % 37 == 0 ? 0.0f : noise(generator);
    }
    re[100] = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> equal(re.size(), -3.0f);
    for (const auto& [realParts, imaginaryParts] : {std::pair{re, im}, std::pair{equal, equal}}) {
        const auto expected = RenderPowerSpectrum(realParts.data(), imaginaryParts.data(), 64, 32);
        ChannelSpectrum spectrum{CopyPlane(realParts.data(), re.size()),
                                 CopyPlane(imaginaryParts.data(), re.size())};
        const auto grey = RenderGreyPowerSpectrum(spectrum, 64, 32);
        ASSERT_TRUE(expected && grey);
        EXPECT_FALSE(spectrum.re || spectrum.im);
        EXPECT_EQ(grey->Palette(), expected->Palette());
        EXPECT_TRUE(SameBytes(*grey, *expected));
    }
    ChannelSpectrum halfMissing{CopyPlane(re.data(), re.size()), nullptr};
    EXPECT_EQ(RenderGreyPowerSpectrum(halfMissing, 64, 32), nullptr);
}

TEST(RenderPowerSpectrum, UniformGreyImage_ShowsOneBrightPixelAtTheCentre) {
    const std::uint32_t w = 16;
    const std::uint32_t h = 8;
    auto image = ImageBitmap::Create(w, h, PixelFormat8bppIndexed);
    image->SetPalette(BitmapPalette::GreyRamp());
    std::memset(image->Data(), 77, image->ByteSize());
    const ChannelSpectrum spectrum = ComputeSpectrum(image.get(), ChannelKind::Grey);
    ASSERT_TRUE(spectrum.IsComplete());
    auto power = RenderPowerSpectrum(spectrum.re.get(), spectrum.im.get(), w, h);
    ASSERT_NE(power, nullptr);
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            const int expected = (x == w / 2 && y == h / 2) ? 255 : 0;
            EXPECT_EQ(power->Row(y)[x], expected) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace quarvel
