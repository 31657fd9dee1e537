#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "RegionChecks.h"
#include "selection/VXRegion.h"

namespace quarvel {
namespace {

using test::BoxSet;
using test::CountSelected;
using test::ExpectConsistent;
using test::ExpectRebuiltOutline;
using test::SelectedPixels;

std::uint8_t At(const VXRegion& region, int x, int y) {
    return region.Mask()[static_cast<std::size_t>(y) * region.Width() + x];
}

VXRegion MakeRegion(int w, int h) {
    VXRegion region;
    region.Init(w, h);
    return region;
}

void ExpectSameRegion(const VXRegion& a, const VXRegion& b) {
    EXPECT_EQ(a.Width(), b.Width());
    EXPECT_EQ(a.Height(), b.Height());
    EXPECT_EQ(a.Points(), b.Points());
    EXPECT_EQ(a.Mask(), b.Mask());
    EXPECT_EQ(a.Bounds(), b.Bounds());
    EXPECT_EQ(a.Area(), b.Area());
    EXPECT_EQ(a.Scale(), b.Scale());
}

// --- Construction, Contains, Clone -------------------------------------------------------------

TEST(RegionBasics, Init_DropsSelectionAndSetsSize) {
    VXRegion region = MakeRegion(8, 6);
    region.SetRectangle(1, 1, 5, 4);
    region.Rescale(2.0F);
    region.Init(5, 7);
    EXPECT_EQ(region.Width(), 5);
    EXPECT_EQ(region.Height(), 7);
    EXPECT_EQ(region.PointCount(), 0);
    EXPECT_FALSE(region.HasMask());
    EXPECT_EQ(region.Scale(), 1.0F);
    EXPECT_EQ(region.Bounds(), (RegionRect{0, 0, 4, 6}));
}

TEST(RegionBasics, Contains_WithoutSelection_ContainsEveryPixel) {
    const VXRegion region = MakeRegion(4, 3);
    EXPECT_TRUE(region.Contains(0, 0));
    EXPECT_TRUE(region.Contains(3, 2));
    EXPECT_TRUE(region.Contains(-1, 10));
}

TEST(RegionBasics, Contains_WithMask_SelectedPixelsOnlyAndNothingOutsideImage) {
    VXRegion region = MakeRegion(6, 5);
    region.SetRectangle(0, 0, 5, 4);
    EXPECT_TRUE(region.Contains(0, 0));  // outline
    EXPECT_TRUE(region.Contains(2, 2));  // inside
    EXPECT_TRUE(region.Contains(5, 4));
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{
             {-1, 0}, {0, -1}, {6, 0}, {0, 5}, {-100, -100}, {INT32_MAX, INT32_MIN}}) {
        EXPECT_FALSE(region.Contains(x, y)) << x << "," << y;
    }
    region.SetRectangle(1, 1, 3, 3);
    EXPECT_FALSE(region.Contains(0, 0));
    EXPECT_FALSE(region.Contains(4, 2));
    EXPECT_TRUE(region.Contains(2, 2));
}

TEST(RegionBasics, Clone_IsDeepAndIndependent) {
    VXRegion region = MakeRegion(9, 7);
    region.SetEllipse(4, 3, 3, 2);
    region.Rescale(2.0F);
    const std::unique_ptr<VXRegion> copy = region.Clone();
    ASSERT_NE(copy, nullptr);
    ExpectSameRegion(*copy, region);
    region.Invert();
    EXPECT_NE(copy->Mask(), region.Mask());
    EXPECT_EQ(copy->Scale(), 2.0F);
    ExpectRebuiltOutline(*copy);
}

TEST(RegionBasics, ZeroSizeImage_EveryOperationStaysEmpty) {
    VXRegion region = MakeRegion(0, 5);
    region.SetRectangle(0, 0, 3, 3);
    region.AddRectangle(0, 0, 3, 3);
    region.SetEllipse(1, 1, 3, 3);
    region.AddEllipse(1, 1, 3, 3);
    region.IntersectRectangle(0, 0, 2, 2);
    region.Invert();
    region.Rescale(2.0F);
    VXRegion path;
    for (int i = 0; i < 8; ++i) {
        path.AppendPoint(i, 2 * i);
    }
    region.SetPolygon(path);
    region.AddPolygon(path);
    EXPECT_EQ(region.PointCount(), 0);
    EXPECT_FALSE(region.HasMask());
    EXPECT_EQ(region.Width(), 0);
}

// --- Rectangles --------------------------------------------------------------------------------

TEST(RegionRectangle, Set_ListsOutlineClockwiseWithEveryCornerTwice) {
    VXRegion region = MakeRegion(8, 6);
    region.SetRectangle(1, 1, 4, 3);
    const std::vector<RegionPoint> expected{{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 1}, {4, 2}, {4, 3},
                                            {4, 3}, {3, 3}, {2, 3}, {1, 3}, {1, 3}, {1, 2}, {1, 1}};
    EXPECT_EQ(region.Points(), expected);
    EXPECT_EQ(At(region, 2, 2), MaskInside);
    EXPECT_EQ(At(region, 3, 2), MaskInside);
    EXPECT_EQ(At(region, 1, 2), MaskOutline);
    EXPECT_EQ(At(region, 0, 0), MaskOutside);
    EXPECT_EQ(At(region, 5, 2), MaskOutside);
    EXPECT_EQ(region.Bounds(), (RegionRect{1, 1, 4, 3}));
    EXPECT_EQ(region.Area(), 12);
    EXPECT_EQ(SelectedPixels(region), BoxSet(8, 6, 1, 1, 4, 3));
    ExpectConsistent(region);
}

TEST(RegionRectangle, Set_CornersInAnyOrderAndOutsideImage_AreNormalisedAndClamped) {
    VXRegion a = MakeRegion(8, 6);
    VXRegion b = MakeRegion(8, 6);
    a.SetRectangle(4, 3, 1, 1);
    b.SetRectangle(1, 1, 4, 3);
    ExpectSameRegion(a, b);
    a.SetRectangle(-3, 20, 2, 4);
    EXPECT_EQ(SelectedPixels(a), BoxSet(8, 6, 0, 4, 2, 5));
    ExpectConsistent(a);
}

TEST(RegionRectangle, Set_WidthTwo_HasNoInsidePixels) {
    VXRegion region = MakeRegion(6, 6);
    region.SetRectangle(2, 1, 3, 4);
    EXPECT_EQ(CountSelected(region), 8U);
    for (int y = 1; y <= 4; ++y) {
        EXPECT_EQ(At(region, 2, y), MaskOutline);
        EXPECT_EQ(At(region, 3, y), MaskOutline);
    }
    ExpectConsistent(region);
}

struct EmptyRectCase {
    std::string name;
    RegionRect rect;
};

class RegionRectangleEmpty : public testing::TestWithParam<EmptyRectCase> {};

TEST_P(RegionRectangleEmpty, Set_ZeroWidthOrHeightAfterClamping_LeavesSelectionEmpty) {
    VXRegion region = MakeRegion(8, 6);
    region.SetRectangle(1, 1, 5, 4);
    const RegionRect r = GetParam().rect;
    region.SetRectangle(r.left, r.top, r.right, r.bottom);
    EXPECT_EQ(region.PointCount(), 0);
    EXPECT_FALSE(region.HasMask());
    EXPECT_EQ(region.Area(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegionRectangleEmpty,
                         testing::Values(EmptyRectCase{"Deselect", {0, 0, 0, 0}},
                                         EmptyRectCase{"SameColumn", {3, 1, 3, 5}},
                                         EmptyRectCase{"SameRow", {1, 4, 6, 4}},
                                         EmptyRectCase{"AboveLeftOfImage", {-9, -9, -1, -2}},
                                         EmptyRectCase{"RightOfImage", {20, 1, 30, 5}},
                                         EmptyRectCase{"BelowImage", {1, 6, 5, 60}}),
                         [](const auto& param) { return param.param.name; });

TEST(RegionRectangle, Add_ClickWithoutDrag_DropsWholeSelection) {
    VXRegion region = MakeRegion(8, 6);
    region.SetRectangle(1, 1, 5, 4);
    region.AddRectangle(3, 2, 3, 5);
    EXPECT_EQ(region.PointCount(), 0);
    EXPECT_FALSE(region.HasMask());
    region.SetRectangle(1, 1, 5, 4);
    region.AddRectangle(0, 2, 6, 2);
    EXPECT_EQ(region.PointCount(), 0);
}

TEST(RegionRectangle, Add_ToEmptySelection_KeepsGenerationOrder) {
    VXRegion added = MakeRegion(8, 6);
    VXRegion set = MakeRegion(8, 6);
    added.AddRectangle(6, 4, 2, 1);
    set.SetRectangle(2, 1, 6, 4);
    ExpectSameRegion(added, set);
}

TEST(RegionRectangle, Add_Overlapping_UnitesAndRebuildsOutline) {
    VXRegion region = MakeRegion(12, 10);
    region.SetRectangle(1, 1, 5, 5);
    region.AddRectangle(4, 3, 9, 8);
    test::PixelSet expected = BoxSet(12, 10, 1, 1, 5, 5);
    const test::PixelSet second = BoxSet(12, 10, 4, 3, 9, 8);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i] = expected[i] || second[i];
    }
    EXPECT_EQ(SelectedPixels(region), expected);
    ExpectRebuiltOutline(region);
}

TEST(RegionRectangle, Subtract_Hole_LeavesFrameWithInnerOutline) {
    VXRegion region = MakeRegion(12, 12);
    region.SetRectangle(0, 0, 9, 9);
    region.SubtractRectangle(6, 6, 3, 3);
    test::PixelSet expected = BoxSet(12, 12, 0, 0, 9, 9);
    const test::PixelSet hole = BoxSet(12, 12, 3, 3, 6, 6);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i] = expected[i] && !hole[i];
    }
    EXPECT_EQ(SelectedPixels(region), expected);
    EXPECT_EQ(At(region, 2, 4), MaskOutline);
    EXPECT_EQ(At(region, 1, 4), MaskInside);
    ExpectRebuiltOutline(region);
}

TEST(RegionRectangle, Intersect_KeepsCommonPart_DisjointEmpties) {
    VXRegion region = MakeRegion(12, 10);
    region.SetRectangle(1, 1, 6, 6);
    region.IntersectRectangle(4, 3, 10, 9);
    EXPECT_EQ(SelectedPixels(region), BoxSet(12, 10, 4, 3, 6, 6));
    ExpectRebuiltOutline(region);
    region.IntersectRectangle(8, 8, 11, 9);
    EXPECT_EQ(region.PointCount(), 0);
    EXPECT_FALSE(region.HasMask());
}

// Intersect and subtract leave an empty selection and a selection of every pixel as they are.
struct NoOpCase {
    std::string name;
    std::function<void(VXRegion&)> operation;
};

class RegionCombineNoOp : public testing::TestWithParam<std::tuple<bool, NoOpCase>> {};

TEST_P(RegionCombineNoOp, IntersectOrSubtract_OnEmptyOrFullSelection_ChangesNothing) {
    const auto& [full, op] = GetParam();
    VXRegion region = MakeRegion(10, 8);
    if (full) {
        region.SetRectangle(0, 0, 9, 7);
        ASSERT_EQ(region.Area(), 80);
    }
    const std::unique_ptr<VXRegion> before = region.Clone();
    op.operation(region);
    ExpectSameRegion(region, *before);
}

VXRegion SmallLoop() {
    VXRegion path;
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{2, 2}, {6, 2}, {6, 5}, {2, 5}}) {
        path.AppendPoint(x, y);
    }
    path.ClosePolygon();
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionCombineNoOp,
    testing::Combine(
        testing::Bool(),
        testing::Values(
            NoOpCase{"IntersectRectangle", [](VXRegion& r) { r.IntersectRectangle(2, 2, 5, 5); }},
            NoOpCase{"SubtractRectangle", [](VXRegion& r) { r.SubtractRectangle(2, 2, 5, 5); }},
            NoOpCase{"IntersectEllipse", [](VXRegion& r) { r.IntersectEllipse(4, 4, 3, 3); }},
            NoOpCase{"SubtractEllipse", [](VXRegion& r) { r.SubtractEllipse(4, 4, 3, 3); }},
            NoOpCase{"IntersectPolygon",
                     [](VXRegion& r) {
                         VXRegion path = SmallLoop();
                         r.IntersectPolygon(path);
                     }},
            NoOpCase{"SubtractPolygon",
                     [](VXRegion& r) {
                         VXRegion path = SmallLoop();
                         r.SubtractPolygon(path);
                     }})),
    [](const auto& param) {
        return (std::get<0>(param.param) ? "Full_" : "Empty_") + std::get<1>(param.param).name;
    });

// --- Ellipses ----------------------------------------------------------------------------------

TEST(RegionEllipse, Set_UnitRadius_ScansFourPassesKeepingRepeats) {
    VXRegion region = MakeRegion(5, 5);
    region.SetEllipse(2, 2, 1, 1);
    // Columns leftward then rightward, then rows upward then downward; each scan ends at the
    // first pixel whose test value lies in [1, 1.02).
    const std::vector<RegionPoint> expected{{2, 1}, {2, 3}, {1, 2}, {1, 2}, {2, 1}, {2, 3},
                                            {3, 2}, {3, 2}, {1, 2}, {3, 2}, {2, 1}, {2, 1},
                                            {1, 2}, {3, 2}, {2, 3}, {2, 3}};
    EXPECT_EQ(region.Points(), expected);
    EXPECT_EQ(At(region, 2, 2), MaskInside);
    EXPECT_EQ(At(region, 1, 1), MaskOutside);
    EXPECT_EQ(region.Bounds(), (RegionRect{1, 1, 3, 3}));
    EXPECT_EQ(region.Area(), 5);
    ExpectConsistent(region);
}

TEST(RegionEllipse, Set_RadiusBelowOne_LeavesSelectionEmpty) {
    for (const auto& [rx, ry] : std::vector<std::pair<int, int>>{{0, 3}, {3, 0}, {-2, 4}}) {
        VXRegion region = MakeRegion(9, 9);
        region.SetRectangle(1, 1, 6, 6);
        region.SetEllipse(4, 4, rx, ry);
        EXPECT_EQ(region.PointCount(), 0);
        EXPECT_EQ(CountSelected(region), 0U);
        EXPECT_FALSE(region.Contains(4, 4));
    }
}

TEST(RegionEllipse, Add_ZeroRadii_AddsCentrePixelOnly) {
    VXRegion region = MakeRegion(7, 7);
    region.AddEllipse(3, 4, 0, 0);
    EXPECT_EQ(CountSelected(region), 1U);
    EXPECT_EQ(At(region, 3, 4), MaskOutline);
    EXPECT_EQ(region.Bounds(), (RegionRect{3, 4, 3, 4}));
    ExpectConsistent(region);
}

TEST(RegionEllipse, Add_RadiusOne_AddsNothing) {
    for (const auto& [rx, ry] : std::vector<std::pair<int, int>>{{1, 1}, {1, 5}, {5, 1}}) {
        VXRegion region = MakeRegion(11, 11);
        region.AddEllipse(5, 5, rx, ry);
        EXPECT_EQ(region.PointCount(), 0);
        EXPECT_FALSE(region.HasMask());
        region.SetRectangle(0, 0, 3, 3);
        const std::unique_ptr<VXRegion> before = region.Clone();
        region.AddEllipse(5, 5, rx, ry);
        EXPECT_EQ(SelectedPixels(region), SelectedPixels(*before));
        ExpectRebuiltOutline(region);
    }
}

// The box around the selected pixels of an ellipse, as (left, top, right, bottom).
RegionRect SelectedBox(const VXRegion& region) {
    RegionRect box{region.Width(), region.Height(), -1, -1};
    for (int y = 0; y < region.Height(); ++y) {
        for (int x = 0; x < region.Width(); ++x) {
            if (region.Contains(x, y) && region.HasMask()) {
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                       std::max(box.bottom, y)};
            }
        }
    }
    return box;
}

TEST(RegionEllipse, CombineModes_AreOnePixelSmallerThanReplace) {
    VXRegion replaced = MakeRegion(30, 24);
    replaced.SetEllipse(14, 11, 7, 5);
    EXPECT_EQ(SelectedBox(replaced), (RegionRect{7, 6, 21, 16}));
    VXRegion added = MakeRegion(30, 24);
    added.AddEllipse(14, 11, 7, 5);
    EXPECT_EQ(SelectedBox(added), (RegionRect{8, 7, 20, 15}));
    VXRegion intersected = MakeRegion(30, 24);
    intersected.SetRectangle(0, 0, 28, 22);
    intersected.IntersectEllipse(14, 11, 7, 5);
    EXPECT_EQ(SelectedPixels(intersected), SelectedPixels(added));
    VXRegion subtracted = MakeRegion(30, 24);
    subtracted.SetRectangle(0, 0, 28, 22);
    subtracted.SubtractEllipse(14, 11, 7, 5);
    const test::PixelSet ring = SelectedPixels(subtracted);
    const test::PixelSet disc = SelectedPixels(added);
    for (std::size_t i = 0; i < disc.size(); ++i) {
        EXPECT_FALSE(ring[i] && disc[i]);
    }
    EXPECT_EQ(CountSelected(subtracted) + CountSelected(added), 29U * 23U);
}

TEST(RegionEllipse, PartlyOutsideImage_IsClippedWithOutlineOnBorder) {
    VXRegion region = MakeRegion(12, 10);
    region.SetEllipse(-2, 4, 6, 5);
    ExpectConsistent(region);
    EXPECT_TRUE(region.Contains(0, 4));
    EXPECT_TRUE(region.Contains(3, 4));
    EXPECT_FALSE(region.Contains(5, 4));
    for (int y = 0; y < 10; ++y) {
        if (region.Contains(0, y)) {
            EXPECT_EQ(At(region, 0, y), MaskOutline) << y;
        }
    }
    for (int x = 0; x < 12; ++x) {
        if (region.Contains(x, 0)) {
            EXPECT_EQ(At(region, x, 0), MaskOutline) << x;
        }
    }
}

TEST(RegionEllipse, CentreFarOutside_SelectsNothing) {
    VXRegion region = MakeRegion(10, 10);
    region.SetEllipse(INT32_MAX, INT32_MIN, 3, 3);
    EXPECT_EQ(region.PointCount(), 0);
    region.AddEllipse(-50, 5, 20, 20);
    EXPECT_EQ(region.PointCount(), 0);
    region.SetRectangle(1, 1, 4, 4);
    region.SubtractEllipse(INT32_MIN, 4, INT32_MAX, INT32_MIN);
    EXPECT_EQ(SelectedPixels(region), BoxSet(10, 10, 1, 1, 4, 4));
    ExpectRebuiltOutline(region);
}

// --- Invert ------------------------------------------------------------------------------------

TEST(RegionSetPixels, SelectsExactlyTheMarkedPixels_OrEmptiesOnWrongSize) {
    VXRegion region = MakeRegion(9, 6);
    std::vector<std::uint8_t> marked(9 * 6, 0);
    for (const auto& [x, y] : {std::pair{1, 1}, {2, 1}, {1, 2}, {7, 4}}) {
        marked[static_cast<std::size_t>(y) * 9 + x] = 1;
    }
    region.SetPixels(marked);
    EXPECT_EQ(CountSelected(region), 4u);
    EXPECT_TRUE(region.Contains(7, 4));
    EXPECT_FALSE(region.Contains(2, 2));
    ExpectConsistent(region);
    ExpectRebuiltOutline(region);

    region.SetPixels(std::vector<std::uint8_t>(9 * 5, 1));
    EXPECT_EQ(region.PointCount(), 0);
    EXPECT_EQ(region.Area(), 0);
}

TEST(RegionInvert, WholeImageSelection_BecomesEmpty) {
    VXRegion region = MakeRegion(7, 5);
    region.SetRectangle(0, 0, 6, 4);
    region.Invert();
    EXPECT_EQ(region.PointCount(), 0);
    EXPECT_FALSE(region.HasMask());
    EXPECT_EQ(region.Area(), 0);
}

TEST(RegionInvert, NoSelection_DoesNothing) {
    VXRegion region = MakeRegion(7, 5);
    region.Invert();
    EXPECT_FALSE(region.HasMask());
    EXPECT_EQ(region.PointCount(), 0);
    region.SetEllipse(3, 3, 0, 2);  // leaves a mask of zeros
    const std::unique_ptr<VXRegion> before = region.Clone();
    region.Invert();
    ExpectSameRegion(region, *before);
}

TEST(RegionInvert, Rectangle_GivesComplementAndTwiceRestores) {
    VXRegion region = MakeRegion(10, 8);
    region.SetRectangle(2, 2, 6, 5);
    const test::PixelSet original = SelectedPixels(region);
    region.Invert();
    const test::PixelSet inverted = SelectedPixels(region);
    for (std::size_t i = 0; i < original.size(); ++i) {
        EXPECT_NE(original[i], inverted[i]);
    }
    ExpectRebuiltOutline(region);
    EXPECT_EQ(region.Bounds(), (RegionRect{0, 0, 9, 7}));
    region.Invert();
    EXPECT_EQ(SelectedPixels(region), original);
    ExpectRebuiltOutline(region);
}

// --- Rescale -----------------------------------------------------------------------------------

TEST(RegionRescale, FactorAlreadyStored_DoesNothing) {
    VXRegion region = MakeRegion(9, 9);
    region.SetEllipse(4, 4, 3, 3);
    std::unique_ptr<VXRegion> copy = region.Clone();
    copy->Rescale(1.0F);
    ExpectSameRegion(*copy, region);  // the generation order survives
    copy->Rescale(3.0F);
    const std::unique_ptr<VXRegion> scaled = copy->Clone();
    copy->Rescale(3.0F);
    ExpectSameRegion(*copy, *scaled);
}

TEST(RegionRescale, Double_MapsEachPixelToNearestSourceRoundedHalfUp) {
    VXRegion region = MakeRegion(8, 8);
    region.SetRectangle(2, 2, 5, 5);
    region.Rescale(2.0F);
    EXPECT_EQ(region.Width(), 16);
    EXPECT_EQ(region.Height(), 16);
    EXPECT_EQ(region.Scale(), 2.0F);
    // Destination x' reads source trunc(x' / 2 + 0.5): columns 3 ... 10 read 2 ... 5.
    EXPECT_EQ(SelectedPixels(region), BoxSet(16, 16, 3, 3, 10, 10));
    ExpectRebuiltOutline(region);
}

TEST(RegionRescale, Shrink_RoundsSizeAndRebuildsOutline) {
    VXRegion region = MakeRegion(10, 9);
    region.SetRectangle(0, 0, 9, 7);
    region.SubtractRectangle(3, 2, 6, 4);
    region.Rescale(0.5F);
    EXPECT_EQ(region.Width(), 5);
    EXPECT_EQ(region.Height(), 5);  // trunc(4.5 + 0.5)
    ExpectRebuiltOutline(region);
    EXPECT_FALSE(region.Contains(2, 2));  // reads source (4, 3), in the hole
    EXPECT_TRUE(region.Contains(0, 0));
}

TEST(RegionRescale, FactorGivingZeroSize_LeavesEmptySelection) {
    VXRegion region = MakeRegion(10, 10);
    region.SetRectangle(1, 1, 8, 8);
    region.Rescale(0.04F);
    EXPECT_EQ(region.Width(), 0);
    EXPECT_EQ(region.PointCount(), 0);
    EXPECT_FALSE(region.HasMask());
}

TEST(RegionRescale, ShrinkLosingEveryPixel_ClearsSelection) {
    VXRegion region = MakeRegion(12, 12);
    region.SetRectangle(5, 5, 6, 6);
    region.Rescale(0.25F);  // 3 x 3, reading source pixels 0, 4 and 8 of each axis
    EXPECT_EQ(region.Width(), 3);
    EXPECT_EQ(region.PointCount(), 0);
    EXPECT_FALSE(region.HasMask());
    EXPECT_EQ(region.Scale(), 1.0F);
}

TEST(RegionRescale, NoSelection_DoesNothing) {
    VXRegion region = MakeRegion(10, 10);
    region.Rescale(2.0F);
    EXPECT_EQ(region.Width(), 10);
    EXPECT_EQ(region.Scale(), 1.0F);
}

}  // namespace
}  // namespace quarvel
