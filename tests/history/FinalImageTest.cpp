#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ProcTestSupport.h"
#include "engine/ByteRounding.h"
#include "engine/PlaneConversion.h"
#include "history/CFFTProc.h"

namespace quarvel {
namespace {

using testing_support::CountingProc;
using testing_support::MakeColourImage;
using testing_support::MakeGreyImage;
using testing_support::Open;
using testing_support::SamePixels;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

struct ByteCase {
    float value;
    std::uint8_t expected;
};

void PrintTo(const ByteCase& c, std::ostream* os) {
    *os << c.value;
}

TEST(RoundToByte, RoundsHalfUpAndLimitsToByteRange) {
    const ByteCase cases[] = {
        {-0.7f, 0},    {-0.5f, 0},    {-0.49f, 0},  {0.0f, 0},        {0.49f, 0},
        {0.5f, 1},     {12.4f, 12},   {12.5f, 13},  {254.49f, 254},   {254.5f, 255},
        {255.4f, 255}, {300.0f, 255}, {kNaN, 0},    {kInfinity, 255}, {-kInfinity, 0},
        {3e9f, 255},   {-3e9f, 0},    {1e30f, 255}, {-1e30f, 0},      {2147483520.0f, 255},
    };
    for (const ByteCase& c : cases) {
        EXPECT_EQ(RoundToByte(c.value), c.expected) << c.value;
    }
}

struct RoundTripCase {
    std::string name;
    bool colour;
    std::uint32_t width;
    std::uint32_t height;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

class UneditedRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(UneditedRoundTrip, GivesBackTheImageAsResampled) {
    const RoundTripCase& c = GetParam();
    CountingProc proc;
    ASSERT_TRUE(Open(
        proc, c.colour ? MakeColourImage(c.width, c.height) : MakeGreyImage(c.width, c.height)));
    const std::uint32_t w2 = static_cast<std::uint32_t>(SpectrumSize(c.width));
    const std::uint32_t h2 = static_cast<std::uint32_t>(SpectrumSize(c.height));
    // The transform round trip is exact after rounding; what remains is the resampling to the
    // transform size and back, which is the identity for powers of two.
    const auto expected =
        ResampleImage(ResampleImage(proc.originalImage.get(), w2, h2).get(), c.width, c.height);

    ASSERT_TRUE(proc.PrepareWorkingState());
    // The working state's image at the transform size, made when the final image needs it.
    const auto workBefore = ResampleImage(proc.CurrentState()->image.get(), w2, h2);
    proc.CreateFinalImage();
    ASSERT_EQ(proc.states.size(), 2u);
    EXPECT_EQ(proc.currentIndex, 1u);
    EXPECT_EQ(proc.workingState, nullptr);
    const ProcState& result = *proc.states[1];
    EXPECT_EQ(result.isColor, c.colour);
    EXPECT_TRUE(SamePixels(*result.workImage, *workBefore));
    EXPECT_TRUE(SamePixels(*result.image, *expected));
    if (w2 == c.width && h2 == c.height) {
        EXPECT_TRUE(SamePixels(*result.image, *proc.originalImage));
    }
    EXPECT_EQ(proc.updateCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Images, UneditedRoundTrip,
                         ::testing::Values(RoundTripCase{"Grey64x64", false, 64, 64},
                                           RoundTripCase{"Colour64x64", true, 64, 64},
                                           RoundTripCase{"Grey256x256", false, 256, 256},
                                           RoundTripCase{"Grey37x20", false, 37, 20},
                                           RoundTripCase{"Colour37x20", true, 37, 20},
                                           RoundTripCase{"Grey2x1", false, 2, 1},
                                           RoundTripCase{"Grey3x1", false, 3, 1}),
                         [](const ::testing::TestParamInfo<RoundTripCase>& param) {
                             return param.param.name;
                         });

TEST(FinalImage, ClearingZeroFrequency_RemovesTheMean) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(64, 32, 5)));
    const ImageBitmap& original = *proc.originalImage;
    double sum = 0.0;
    for (std::uint32_t y = 0; y < 32; ++y) {
        for (std::uint32_t x = 0; x < 64; ++x) {
            sum += original.Row(y)[x];
        }
    }
    const double mean = sum / (64.0 * 32.0);
    ASSERT_GT(mean, 20.0);

    proc.StampBrush(ChannelKind::Grey, 32, 16, 0);
    proc.CreateFinalImage();
    const ImageBitmap& image = *proc.CurrentState()->image;
    int zeros = 0;
    for (std::uint32_t y = 0; y < 32; ++y) {
        for (std::uint32_t x = 0; x < 64; ++x) {
            const double centred = original.Row(y)[x] - mean;
            const double expected = centred < 0.0 ? 0.0 : std::floor(centred + 0.5);
            EXPECT_NEAR(image.Row(y)[x], expected, 1.0) << x << ", " << y;
            zeros += image.Row(y)[x] == 0 ? 1 : 0;
        }
    }
    EXPECT_GT(zeros, 64 * 32 / 4);

    proc.Undo();
    EXPECT_TRUE(SamePixels(*proc.CurrentState()->image, original));
    proc.Redo();
    EXPECT_EQ(proc.CurrentState()->image.get(), &image);
}

class ConstantSynthesis : public ::testing::TestWithParam<ByteCase> {};

TEST_P(ConstantSynthesis, SpectrumOfOnlyTheZeroFrequency_GivesTheRoundedValueEverywhere) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(16, 8)));
    ASSERT_TRUE(proc.PrepareWorkingState());
    ChannelSpectrum& spectrum = proc.workingState->spectrumGrey;
    for (std::size_t i = 0; i < 16 * 8; ++i) {
        spectrum.re[i] = 0.0f;
        spectrum.im[i] = 0.0f;
    }
    spectrum.re[4 * 16 + 8] = GetParam().value * 128.0f;
    proc.CreateFinalImage();
    const ImageBitmap& work = *proc.CurrentState()->workImage;
    for (std::uint32_t y = 0; y < 8; ++y) {
        for (std::uint32_t x = 0; x < 16; ++x) {
            EXPECT_EQ(work.Row(y)[x], GetParam().expected) << x << ", " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Values, ConstantSynthesis,
                         ::testing::Values(ByteCase{12.3f, 12}, ByteCase{12.7f, 13},
                                           ByteCase{-0.7f, 0}, ByteCase{300.0f, 255},
                                           ByteCase{kNaN, 0}, ByteCase{1e30f, 255},
                                           ByteCase{-1e30f, 0}));

TEST(FinalImage, ColourImage640x480_IsSynthesisedAt1024x512) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeColourImage(640, 480)));
    EXPECT_EQ(proc.spectrumWidth, 1024u);
    EXPECT_EQ(proc.spectrumHeight, 512u);
    proc.StampBrush(ChannelKind::Red, 700, 300, 4);
    proc.CreateFinalImage();
    ASSERT_EQ(proc.states.size(), 2u);
    const ProcState& state = *proc.CurrentState();
    EXPECT_TRUE(state.isColor);
    EXPECT_EQ(state.workImage->Width(), 1024u);
    EXPECT_EQ(state.workImage->Height(), 512u);
    EXPECT_EQ(state.workImage->Format(), PixelFormat24bppRGB);
    EXPECT_EQ(state.image->Width(), 640u);
    EXPECT_EQ(state.image->Height(), 480u);
    EXPECT_EQ(state.image->Format(), PixelFormat24bppRGB);
}

/// A colour image of format: 24 or 32 bits, or 16-bit samples put together from the patterns.
std::unique_ptr<ImageBitmap> ColourImageOf(PixelFormat format, std::uint32_t width,
                                           std::uint32_t height) {
    const auto bytes = MakeColourImage(width, height);
    if (format != PixelFormat48bppRGB) {
        return CloneArea(*bytes, 0, 0, width, height, format);
    }
    std::unique_ptr<ImageBitmap> channels[3];
    for (std::uint32_t c = 0; c < 3; ++c) {
        channels[c] = ImageBitmap::Create(width, height, PixelFormat16bppGrayScale);
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const auto word =
                    static_cast<std::uint16_t>(bytes->Row(y)[3 * x + 2 - c] * 257 + x);
                std::memcpy(channels[c]->Row(y) + 2 * x, &word, 2);
            }
        }
    }
    return MergeChannels(*channels[0], *channels[1], *channels[2]);
}

struct ChannelRoadCase {
    const char* name;
    PixelFormat format;
    TransformSize road;
};

void PrintTo(const ChannelRoadCase& c, std::ostream* os) {
    *os << c.name;
}

class ChannelByChannel : public ::testing::TestWithParam<ChannelRoadCase> {};

TEST_P(ChannelByChannel, GivesTheFinalImageOfAllChannelsAtOnce) {
    // Steps that reach the channels differently: a low-pass on all, a band-reject on green, a
    // mirrored rectangle on red and blue.
    const RecipeFrame frame{45, 30, 64, 32};
    FilterSettings design;
    design.cutOff = 30;
    std::vector<RecipeStep> steps = {MakeFilterStep(FilterKind::LowPass, design)};
    design.lowCutOff = 10;
    design.highCutOff = 20;
    steps.push_back(MakeFilterStep(FilterKind::BandReject, design));
    steps.back().red = steps.back().blue = false;
    steps.push_back(MakeRectangleStep(frame, 40, 10, 44, 13));
    steps.back().green = false;
    steps.back().mirror = true;

    const auto finalImage = [&](bool oneAtATime) -> std::unique_ptr<ImageBitmap> {
        CountingProc proc;
        proc.leanFilters = true;
        proc.transformSize = GetParam().road;
        proc.originalImage = ColourImageOf(GetParam().format, 45, 30);
        if (!proc.StartBareWorkingState(oneAtATime ? std::optional(ChannelKind::Red)
                                                   : std::nullopt)) {
            return nullptr;
        }
        for (const ChannelKind next : {ChannelKind::Green, ChannelKind::Blue, ChannelKind::Grey}) {
            const ProcState& state = *proc.workingState;
            // The spectra of one channel at a time.
            EXPECT_EQ(state.spectrumGreen.IsComplete(), !oneAtATime || next == ChannelKind::Blue);
            EXPECT_EQ(state.spectrumRed.IsComplete(), !oneAtATime || next == ChannelKind::Green);
            for (const RecipeStep& step : steps) {
                EXPECT_TRUE(proc.ApplyStep(step));
            }
            if (!oneAtATime || next == ChannelKind::Grey) {
                break;
            }
            EXPECT_TRUE(proc.NextBareChannel(next));
        }
        proc.CreateFinalImage(true);
        return proc.states.size() == 1 ? std::move(proc.states[0]->image) : nullptr;
    };
    const auto all = finalImage(false);
    const auto single = finalImage(true);
    ASSERT_TRUE(all && single);
    EXPECT_TRUE(SamePixels(*single, *all));
    // Not the image itself: the steps changed it.
    EXPECT_FALSE(SamePixels(*single, *ColourImageOf(GetParam().format, 45, 30)));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ChannelByChannel,
    ::testing::Values(ChannelRoadCase{"Bits24", PixelFormat24bppRGB, TransformSize::PowerOfTwo},
                      ChannelRoadCase{"Bits32", PixelFormat32bppRGB, TransformSize::PowerOfTwo},
                      ChannelRoadCase{"Bits32Exact", PixelFormat32bppRGB, TransformSize::Exact},
                      ChannelRoadCase{"Bits48", PixelFormat48bppRGB, TransformSize::PowerOfTwo},
                      ChannelRoadCase{"Bits48Exact", PixelFormat48bppRGB, TransformSize::Exact}),
    [](const ::testing::TestParamInfo<ChannelRoadCase>& param) { return param.param.name; });

TEST(ChannelByChannel, IndexedImageOnePixelWide_KeepsEveryChannel) {
    // Colour by its rows, but its channels share one palette index a pixel.
    CountingProc proc;
    proc.originalImage = MakeGreyImage(1, 20);
    ASSERT_TRUE(proc.StartBareWorkingState(ChannelKind::Red));
    EXPECT_TRUE(proc.workingState->isColor);
    EXPECT_FALSE(proc.workingState->soleChannel);
    EXPECT_TRUE(proc.workingState->spectrumBlue.IsComplete());
    EXPECT_FALSE(proc.NextBareChannel(ChannelKind::Green));
}

}  // namespace
}  // namespace quarvel
