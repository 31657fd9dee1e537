// 16-bit and floating-point images through the history: their depth survives every step.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

#include "ProcTestSupport.h"
#include "history/CFFTProc.h"

namespace quarvel {
namespace {

using testing_support::CountingProc;

/// An image of format whose samples are drawn from [low, high] (16-bit samples as words).
std::unique_ptr<ImageBitmap> RandomImage(std::uint32_t width, std::uint32_t height,
                                         PixelFormat format, float low, float high) {
    auto image = ImageBitmap::Create(width, height, format);
    std::mt19937 generator(width * 7 + height);
    std::uniform_real_distribution<float> values(low, high);
    const std::size_t samples = format == PixelFormat48bppRGB ? 3 : 1;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t i = 0; i < width * samples; ++i) {
            const float value = values(generator);
            if (format == PixelFormat32bppGrayFloat) {
                std::memcpy(image->Row(y) + 4 * i, &value, 4);
            } else {
                const auto word = static_cast<std::uint16_t>(value);
                std::memcpy(image->Row(y) + 2 * i, &word, 2);
            }
        }
    }
    return image;
}

/// The largest difference between the samples of two images of one deep format and size.
double LargestDifference(const ImageBitmap& a, const ImageBitmap& b) {
    double largest = 0.0;
    const bool floats = a.Format() == PixelFormat32bppGrayFloat;
    const std::size_t samples = a.Width() * BytesPerPixel(a.Format()) / (floats ? 4 : 2);
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        for (std::size_t i = 0; i < samples; ++i) {
            double va;
            double vb;
            if (floats) {
                float fa;
                float fb;
                std::memcpy(&fa, a.Row(y) + 4 * i, 4);
                std::memcpy(&fb, b.Row(y) + 4 * i, 4);
                va = fa;
                vb = fb;
            } else {
                std::uint16_t wa;
                std::uint16_t wb;
                std::memcpy(&wa, a.Row(y) + 2 * i, 2);
                std::memcpy(&wb, b.Row(y) + 2 * i, 2);
                va = wa;
                vb = wb;
            }
            largest = std::max(largest, std::fabs(va - vb));
        }
    }
    return largest;
}

/// Opens image on road, creates the final image unedited and returns its largest difference
/// from the loaded image (-1 when a step fails or the depth is lost).
double UneditedDifference(std::unique_ptr<ImageBitmap> image, TransformSize road) {
    CountingProc proc;
    proc.transformSize = road;
    proc.originalImage = std::move(image);
    if (!proc.StartHistory() || !proc.PrepareWorkingState()) {
        return -1.0;
    }
    proc.CreateFinalImage();
    if (proc.states.size() != 2 ||
        proc.states[1]->image->Format() != proc.originalImage->Format()) {
        return -1.0;
    }
    return LargestDifference(*proc.states[1]->image, *proc.originalImage);
}

TEST(DeepRoad, ExactSize_UneditedSixteenBitImageComesBackWithinOne) {
    const double grey = UneditedDifference(
        RandomImage(97, 61, PixelFormat16bppGrayScale, 0, 65535.9f), TransformSize::Exact);
    EXPECT_GE(grey, 0.0);
    EXPECT_LE(grey, 1.0);
    const double colour = UneditedDifference(RandomImage(64, 33, PixelFormat48bppRGB, 0, 65535.9f),
                                             TransformSize::Exact);
    EXPECT_GE(colour, 0.0);
    EXPECT_LE(colour, 1.0);
}

TEST(DeepRoad, FloatImageKeepsValuesBeyondTheByteRangeAndBelowZero) {
    const double difference = UneditedDifference(
        RandomImage(40, 30, PixelFormat32bppGrayFloat, -500.0f, 1500.0f), TransformSize::Exact);
    EXPECT_GE(difference, 0.0);
    EXPECT_LE(difference, 0.01);
}

// Clearing the zero frequency of a 16-bit image removes its mean, which lies far above 255: the
// result keeps the detail at 16 bits, and what falls below zero is limited to 0.
TEST(DeepRoad, ClearingTheMean_LeavesSixteenBitDetail) {
    CountingProc proc;
    proc.originalImage = RandomImage(32, 32, PixelFormat16bppGrayScale, 30000, 31000);
    ASSERT_TRUE(proc.StartHistory());
    proc.StampBrush(ChannelKind::Grey, 16, 16, 0);
    proc.CreateFinalImage();
    ASSERT_EQ(proc.states.size(), 2u);
    const ImageBitmap& result = *proc.states[1]->image;
    std::uint16_t highest = 0;
    for (std::uint32_t y = 0; y < 32; ++y) {
        for (std::uint32_t x = 0; x < 32; ++x) {
            std::uint16_t word;
            std::memcpy(&word, result.Row(y) + 2 * x, 2);
            highest = std::max(highest, word);
        }
    }
    EXPECT_GT(highest, 255);
    EXPECT_LT(highest, 600);
}

}  // namespace
}  // namespace quarvel
