#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include "ProcTestSupport.h"
#include "history/CFFTProc.h"
#include "selection/VXRegion.h"

namespace quarvel {
namespace {

using testing_support::CopyOf;
using testing_support::CountingProc;
using testing_support::MakeColourImage;
using testing_support::MakeGreyImage;
using testing_support::Open;
using testing_support::PlaneCopy;
using testing_support::SameBits;

using Predicate = std::function<bool(std::int64_t x, std::int64_t y)>;

/// Checks that exactly the elements the predicate names were set to zero (both parts) and all
/// others kept their bits; returns the number of cleared elements.
std::size_t CountClearedExactly(const ChannelSpectrum& spectrum, const PlaneCopy& before,
                                std::uint64_t width, std::uint64_t height,
                                const Predicate& cleared) {
    const PlaneCopy after = CopyOf(spectrum, width * height);
    std::size_t count = 0;
    std::size_t wrong = 0;
    for (std::uint64_t y = 0; y < height; ++y) {
        for (std::uint64_t x = 0; x < width; ++x) {
            const std::size_t i = y * width + x;
            if (cleared(static_cast<std::int64_t>(x), static_cast<std::int64_t>(y))) {
                ++count;
                wrong += (after.re[i] != 0.0f || after.im[i] != 0.0f) ? 1 : 0;
            } else {
                wrong += (std::memcmp(&after.re[i], &before.re[i], sizeof(float)) != 0 ||
                          std::memcmp(&after.im[i], &before.im[i], sizeof(float)) != 0)
                             ? 1
                             : 0;
            }
        }
    }
    EXPECT_EQ(wrong, 0u);
    return count;
}

/// A grey document of size x size whose spectrum has no zero element.
class GreyEditing : public ::testing::Test {
protected:
    void OpenGrey(std::uint32_t width, std::uint32_t height) {
        ASSERT_TRUE(Open(proc, MakeGreyImage(width, height, 3)));
        width_ = width;
        height_ = height;
        before = CopyOf(proc.states[0]->spectrumGrey, std::size_t{width} * height);
    }
    std::size_t Cleared(const Predicate& cleared) {
        EXPECT_NE(proc.workingState, nullptr);
        return CountClearedExactly(proc.workingState->spectrumGrey, before, width_, height_,
                                   cleared);
    }

    CountingProc proc;
    PlaneCopy before;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
};

struct BrushCase {
    std::string name;
    std::int64_t cx;
    std::int64_t cy;
    std::uint64_t r;
    std::size_t expected;
};

void PrintTo(const BrushCase& c, std::ostream* os) {
    *os << c.name;
}

class BrushDisc : public GreyEditing, public ::testing::WithParamInterface<BrushCase> {};

TEST_P(BrushDisc, ClearsElementsWhoseTruncatedDistanceIsWithinRadius) {
    OpenGrey(32, 32);
    const BrushCase& c = GetParam();
    proc.StampBrush(ChannelKind::Grey, static_cast<std::uint32_t>(c.cx),
                    static_cast<std::int32_t>(c.cy), c.r);
    const std::size_t count = Cleared([&](std::int64_t x, std::int64_t y) {
        const std::int64_t dx = x - c.cx;
        const std::int64_t dy = y - c.cy;
        const auto r = static_cast<std::int64_t>(c.r);
        return dx * dx + dy * dy <= r * r + 2 * r;
    });
    EXPECT_EQ(count, c.expected);
    EXPECT_EQ(proc.updateCount, 1);
    EXPECT_NE(proc.workingState->powerGrey, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Stamps, BrushDisc,
    ::testing::Values(BrushCase{"Radius0", 16, 16, 0, 1}, BrushCase{"Radius1", 16, 16, 1, 9},
                      BrushCase{"Radius2", 16, 16, 2, 25}, BrushCase{"Radius3", 16, 16, 3, 45},
                      BrushCase{"Radius5", 10, 20, 5, 109}, BrushCase{"Corner", 0, 0, 3, 15},
                      BrushCase{"LastCorner", 31, 31, 2, 9},
                      BrushCase{"CentreLeftAndAbove", -2, -2, 3, 3},
                      BrushCase{"CentreFarOutside", 100, 100, 3, 0},
                      BrushCase{"CentreBelow", 16, 40, 3, 0}),
    [](const ::testing::TestParamInfo<BrushCase>& param) { return param.param.name; });

TEST_F(GreyEditing, BrushAtCorner_SparesTheDiagonalElement) {
    OpenGrey(16, 16);
    proc.StampBrush(ChannelKind::Grey, 0, 0, 3);
    EXPECT_NE(proc.workingState->spectrumGrey.re[3 * 16 + 3], 0.0f);
    EXPECT_EQ(proc.workingState->spectrumGrey.re[3 * 16 + 2], 0.0f);
}

TEST_F(GreyEditing, HugeBrush_ClearsThePlaneWithoutOverflow) {
    OpenGrey(16, 8);
    proc.StampBrush(ChannelKind::Grey, 8, 4, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(Cleared([](std::int64_t, std::int64_t) { return true; }), 16u * 8u);
}

TEST_F(GreyEditing, RepeatedStamps_Accumulate) {
    OpenGrey(16, 16);
    proc.StampBrush(ChannelKind::Grey, 3, 3, 0);
    proc.StampBrush(ChannelKind::Grey, 10, 12, 0);
    EXPECT_EQ(Cleared([](std::int64_t x, std::int64_t y) {
                  return (x == 3 && y == 3) || (x == 10 && y == 12);
              }),
              2u);
    EXPECT_EQ(proc.updateCount, 2);
    EXPECT_TRUE(proc.states.size() == 1 && proc.currentIndex == 0);
}

struct RectCase {
    std::string name;
    SpectrumRectangle rect;
    std::int64_t left, top, right, bottom;  // expected inclusive bounds; right < left: none
};

void PrintTo(const RectCase& c, std::ostream* os) {
    *os << c.name;
}

class RectangleClearing : public GreyEditing, public ::testing::WithParamInterface<RectCase> {};

TEST_P(RectangleClearing, ClearsInclusiveColumnsAndExclusiveLastRow) {
    OpenGrey(64, 32);
    const RectCase& c = GetParam();
    proc.ClearRectangles(ChannelKind::Grey, RectangleList{c.rect, {}, {}, {}});
    const std::size_t count = Cleared([&](std::int64_t x, std::int64_t y) {
        return x >= c.left && x <= c.right && y >= c.top && y <= c.bottom;
    });
    const std::int64_t expected =
        c.right < c.left || c.bottom < c.top ? 0 : (c.right - c.left + 1) * (c.bottom - c.top + 1);
    EXPECT_EQ(static_cast<std::int64_t>(count), expected);
    EXPECT_EQ(proc.updateCount, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, RectangleClearing,
    ::testing::Values(
        RectCase{"Plain", {10, 20, 30, 25}, 10, 20, 30, 24},
        RectCase{"BeyondThePlane", {0, 0, 1000, 1000}, 0, 0, 63, 30},
        RectCase{"LeftAfterRight", {31, 2, 30, 9}, 1, 1, 0, 0},
        RectCase{"TopEqualsBottom", {3, 7, 9, 7}, 1, 1, 0, 0},
        RectCase{"NegativeRightAndBottom", {60, 28, -1, -5}, 60, 28, 63, 30},
        RectCase{"NegativeLeft", {-3, 2, 10, 9}, 1, 1, 0, 0},
        RectCase{"NegativeTop", {2, -1, 10, 9}, 1, 1, 0, 0},
        RectCase{"LeftBeyondWidth", {64, 0, 100, 10}, 1, 1, 0, 0},
        RectCase{"HugeLeft", {std::numeric_limits<std::int32_t>::max(), 0, -1, 10}, 1, 1, 0, 0},
        RectCase{"LastColumnOnly", {63, 0, 63, 1}, 63, 0, 63, 0}),
    [](const ::testing::TestParamInfo<RectCase>& param) { return param.param.name; });

TEST_F(GreyEditing, FourEmptyRectangles_KeepSpectrumButRenderAndNotify) {
    OpenGrey(32, 32);
    proc.ClearRectangles(ChannelKind::Grey, RectangleList{});
    EXPECT_EQ(Cleared([](std::int64_t, std::int64_t) { return false; }), 0u);
    EXPECT_EQ(proc.updateCount, 1);
    EXPECT_NE(proc.workingState->powerGrey, nullptr);
}

TEST_F(GreyEditing, FullSizeRectangle_On256Square_ClearsAllButTheLastRow) {
    OpenGrey(256, 256);
    proc.ClearRectangles(ChannelKind::Grey,
                         RectangleList{SpectrumRectangle{0, 0, 1000, 1000}, {}, {}, {}});
    EXPECT_EQ(Cleared([](std::int64_t, std::int64_t y) { return y <= 254; }), 256u * 255u);
}

TEST_F(GreyEditing, FourRectangles_AreAllCleared) {
    OpenGrey(32, 32);
    proc.ClearRectangles(
        ChannelKind::Grey,
        RectangleList{SpectrumRectangle{0, 0, 1, 1}, SpectrumRectangle{4, 4, 5, 6},
                      SpectrumRectangle{10, 10, 10, 11}, SpectrumRectangle{20, 0, 20, 1}});
    EXPECT_EQ(Cleared([](std::int64_t x, std::int64_t y) {
                  return (x <= 1 && y == 0) || (x >= 4 && x <= 5 && y >= 4 && y <= 5) ||
                         (x == 10 && y == 10) || (x == 20 && y == 0);
              }),
              2u + 4u + 1u + 1u);
    EXPECT_EQ(proc.updateCount, 1);
}

TEST_F(GreyEditing, EllipseSelection_ClearsExactlyTheContainedElements) {
    OpenGrey(32, 32);
    VXRegion region;
    region.Init(32, 32);
    region.SetEllipse(12, 17, 7, 4);
    ASSERT_GT(region.PointCount(), 0);
    proc.ClearSelection(ChannelKind::Grey, region);
    const std::size_t count = Cleared([&](std::int64_t x, std::int64_t y) {
        return region.Contains(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
    });
    EXPECT_GT(count, 40u);
    EXPECT_LT(count, 32u * 32u / 2);
    EXPECT_EQ(proc.updateCount, 1);
}

TEST_F(GreyEditing, SelectionWithHoleOnNarrowerMask_ClearsExactlyTheContainedElements) {
    // A mask of odd width narrower than the plane, a selection running into its last column
    // and a hole inside it: the row spans read from the mask must match Contains.
    OpenGrey(64, 32);
    VXRegion region;
    region.Init(37, 21);
    region.SetRectangle(3, 2, 36, 17);
    region.SubtractEllipse(20, 10, 9, 5);
    region.AddRectangle(0, 19, 1, 20);
    ASSERT_GT(region.PointCount(), 0);
    proc.ClearSelection(ChannelKind::Grey, region);
    const std::size_t count = Cleared([&](std::int64_t x, std::int64_t y) {
        return region.Contains(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
    });
    EXPECT_GT(count, 300u);
    EXPECT_FALSE(region.Contains(20, 10));
}

TEST_F(GreyEditing, RegionSmallerThanPlane_NeverReachesBeyondItsSize) {
    OpenGrey(32, 16);
    VXRegion region;
    region.Init(8, 4);  // no outline: every pixel counts as contained
    proc.ClearSelection(ChannelKind::Grey, region);
    EXPECT_EQ(Cleared([](std::int64_t x, std::int64_t y) { return x < 8 && y < 4; }), 32u);
}

TEST(SpectrumEditing, ColourMember_ClearsOnlyItsChannel) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeColourImage(16, 16)));
    const ProcState& first = *proc.states[0];
    const auto red = CopyOf(first.spectrumRed, 256);
    const auto green = CopyOf(first.spectrumGreen, 256);
    const auto blue = CopyOf(first.spectrumBlue, 256);
    proc.StampBrush(ChannelKind::Green, 8, 8, 1);
    EXPECT_TRUE(SameBits(proc.workingState->spectrumRed, red));
    EXPECT_TRUE(SameBits(proc.workingState->spectrumBlue, blue));
    EXPECT_EQ(CountClearedExactly(proc.workingState->spectrumGreen, green, 16, 16,
                                  [](std::int64_t x, std::int64_t y) {
                                      return std::abs(x - 8) <= 1 && std::abs(y - 8) <= 1;
                                  }),
              9u);
}

TEST(SpectrumEditing, GreyMemberOnColourState_OnlyNotifies) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeColourImage(16, 8)));
    const ProcState& first = *proc.states[0];
    const auto red = CopyOf(first.spectrumRed, 128);
    VXRegion region;
    region.Init(16, 8);
    region.SetRectangle(0, 0, 15, 7);
    proc.StampBrush(ChannelKind::Grey, 8, 4, 3);
    proc.ClearSelection(ChannelKind::Grey, region);
    proc.ClearRectangles(ChannelKind::Grey, RectangleList{SpectrumRectangle{0, 0, 15, 7}});
    EXPECT_EQ(proc.updateCount, 3);
    ASSERT_NE(proc.workingState, nullptr);
    EXPECT_TRUE(SameBits(proc.workingState->spectrumRed, red));
    EXPECT_EQ(proc.workingState->spectrumGrey.re, nullptr);
}

TEST(SpectrumEditing, ColourMemberOnGreyState_ClearsTheGreyChannel) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(16, 16)));
    proc.StampBrush(ChannelKind::Blue, 8, 8, 0);
    EXPECT_EQ(proc.workingState->spectrumGrey.re[8 * 16 + 8], 0.0f);
    EXPECT_EQ(proc.workingState->spectrumGrey.im[8 * 16 + 8], 0.0f);
}

TEST(SpectrumEditing, WithoutImage_StopsWithoutNotifying) {
    CountingProc proc;
    VXRegion region;
    region.Init(4, 4);
    proc.StampBrush(ChannelKind::Grey, 1, 1, 1);
    proc.ClearSelection(ChannelKind::Red, region);
    proc.ClearRectangles(ChannelKind::Green, RectangleList{});
    EXPECT_EQ(proc.updateCount, 0);
    EXPECT_EQ(proc.workingState, nullptr);
}

}  // namespace
}  // namespace quarvel
