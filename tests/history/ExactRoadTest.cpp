#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "ProcTestSupport.h"
#include "engine/RectangleList.h"
#include "history/CFFTProc.h"

namespace quarvel {
namespace {

using testing_support::CountingProc;
using testing_support::MakeColourImage;
using testing_support::MakeGreyImage;
using testing_support::SamePixels;

/// Opens image on the exact road.
bool OpenExact(CFFTProc& proc, std::unique_ptr<ImageBitmap> image) {
    proc.ResetHistory();
    proc.transformSize = TransformSize::Exact;
    proc.originalImage = std::move(image);
    return proc.StartHistory();
}

/// A grey image of one level.
std::unique_ptr<ImageBitmap> Uniform(std::uint32_t width, std::uint32_t height,
                                     std::uint8_t level) {
    auto image = ImageBitmap::Create(width, height, PixelFormat8bppIndexed);
    image->SetPalette(BitmapPalette::GreyRamp());
    for (std::uint32_t y = 0; y < height; ++y) {
        std::fill(image->Row(y), image->Row(y) + width, level);
    }
    return image;
}

struct ExactCase {
    std::string name;
    bool colour;
    std::uint32_t width;
    std::uint32_t height;
};

void PrintTo(const ExactCase& c, std::ostream* os) {
    *os << c.name;
}

class ExactUneditedRoundTrip : public ::testing::TestWithParam<ExactCase> {};

TEST_P(ExactUneditedRoundTrip, GivesBackEveryByte) {
    const ExactCase& c = GetParam();
    CountingProc proc;
    ASSERT_TRUE(OpenExact(
        proc, c.colour ? MakeColourImage(c.width, c.height) : MakeGreyImage(c.width, c.height)));
    EXPECT_EQ(proc.spectrumWidth, c.width);
    EXPECT_EQ(proc.spectrumHeight, c.height);
    const ProcState& first = *proc.states[0];
    // An 8-bit image one pixel wide is handled as colour.
    const ImageBitmap& power = first.isColor ? *first.powerRed : *first.powerGrey;
    EXPECT_EQ(power.Width(), c.width);
    EXPECT_EQ(power.Height(), c.height);

    ASSERT_TRUE(proc.PrepareWorkingState());
    proc.CreateFinalImage();
    ASSERT_EQ(proc.states.size(), 2u);
    EXPECT_TRUE(SamePixels(*proc.states[1]->image, *proc.originalImage));
}

INSTANTIATE_TEST_SUITE_P(
    Images, ExactUneditedRoundTrip,
    ::testing::Values(ExactCase{"Grey1x1", false, 1, 1}, ExactCase{"Grey1x61", false, 1, 61},
                      ExactCase{"Colour1x61", true, 1, 61}, ExactCase{"Grey61x1", false, 61, 1},
                      ExactCase{"Colour97x89", true, 97, 89},
                      ExactCase{"Grey384x191", false, 384, 191},
                      ExactCase{"Colour741x500", true, 741, 500}),
    [](const ::testing::TestParamInfo<ExactCase>& param) { return param.param.name; });

// The zero frequency of an odd size sits at (floor(W / 2), floor(H / 2)): a brush of radius 0
// there takes the mean away, and nothing else changes.
TEST(ExactRoad, BrushAtFlooredCentre_RemovesTheMeanOfAnOddSizedImage) {
    CountingProc proc;
    ASSERT_TRUE(OpenExact(proc, Uniform(9, 7, 100)));
    proc.StampBrush(ChannelKind::Grey, 4, 3, 0);
    proc.CreateFinalImage();
    ASSERT_EQ(proc.states.size(), 2u);
    EXPECT_TRUE(SamePixels(*proc.states[1]->image, *Uniform(9, 7, 0)));
}

TEST(ExactRoad, RectangleAwayFromCentre_KeepsAUniformImage) {
    CountingProc proc;
    ASSERT_TRUE(OpenExact(proc, Uniform(9, 7, 100)));
    proc.ClearRectangles(ChannelKind::Grey, {{{0, 0, 8, 3}, {0, 4, 8, 7}, {0, 3, 3, 4}}});
    proc.CreateFinalImage();
    ASSERT_EQ(proc.states.size(), 2u);
    EXPECT_TRUE(SamePixels(*proc.states[1]->image, *proc.originalImage));
}

// A low-pass of the exact road passes the zero frequency of an odd size and is scaled in
// normalised frequency: a 2:1 image loses its highest frequency in both directions alike.
TEST(ExactRoad, LowPass_KeepsTheMeanAndTakesTheFrequencyAsAFractionOfEachAxis) {
    CountingProc proc;
    ASSERT_TRUE(OpenExact(proc, Uniform(33, 17, 90)));
    proc.filterSettings.cutOff = 10;
    proc.BuildAndApplyFilter(FilterKind::LowPass, true, true, true);
    proc.CreateFinalImage();
    ASSERT_EQ(proc.states.size(), 2u);
    EXPECT_TRUE(SamePixels(*proc.states[1]->image, *proc.originalImage));

    ASSERT_TRUE(OpenExact(proc, MakeGreyImage(64, 32)));
    proc.filterSettings.cutOff = 50;
    proc.BuildFilter(FilterKind::LowPass);
    ASSERT_TRUE(proc.filterMask);
    const float* mask = proc.filterMask.get();
    // The left edge of the centre row and the top of the centre column are both the highest
    // frequency of their axis.
    EXPECT_EQ(mask[16 * 64 + 0], mask[0 * 64 + 32]);
    EXPECT_EQ(mask[16 * 64 + 16], mask[8 * 64 + 32]);
}

}  // namespace
}  // namespace quarvel
