#include <gtest/gtest.h>

#include <cmath>
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

using Points = std::vector<RegionPoint>;

VXRegion MakeRegion(int w, int h) {
    VXRegion region;
    region.Init(w, h);
    return region;
}

/// A path as the pane records it: every position appended, each gap bridged.
VXRegion DrawPath(const Points& positions) {
    VXRegion path;
    for (const RegionPoint& p : positions) {
        path.AppendPoint(p.x, p.y);
        path.BridgeLastGap();
    }
    return path;
}

/// A drawn path closed back to its start, ready for the polygon operations.
VXRegion ClosedPath(const Points& positions) {
    VXRegion path = DrawPath(positions);
    path.ClosePolygon();
    return path;
}

bool Touching(const RegionPoint& a, const RegionPoint& b) {
    return std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1;
}

// --- BridgeLastGap -----------------------------------------------------------------------------

struct BridgeCase {
    std::string name;
    RegionPoint from;
    RegionPoint to;
    Points inserted;
};

class PathBridge : public testing::TestWithParam<BridgeCase> {};

TEST_P(PathBridge, InsertsPixelsStrictlyBetweenLastTwoPoints) {
    const BridgeCase& c = GetParam();
    VXRegion path;
    path.AppendPoint(-7, 40);  // earlier points stay as they are
    path.AppendPoint(c.from.x, c.from.y);
    path.AppendPoint(c.to.x, c.to.y);
    path.BridgeLastGap();
    Points expected{{-7, 40}, c.from};
    expected.insert(expected.end(), c.inserted.begin(), c.inserted.end());
    expected.push_back(c.to);
    EXPECT_EQ(path.Points(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathBridge,
    testing::Values(
        // Offsets trunc(0.3 k + 0.5) for k = 1 ... 9: the half at k = 5 rounds up.
        BridgeCase{"TenRightThreeDown",
                   {0, 0},
                   {10, 3},
                   {{1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}, {6, 2}, {7, 2}, {8, 2}, {9, 3}}},
        BridgeCase{"TenLeftThreeUp",
                   {10, 3},
                   {0, 0},
                   {{9, 3}, {8, 2}, {7, 2}, {6, 2}, {5, 1}, {4, 1}, {3, 1}, {2, 1}, {1, 0}}},
        BridgeCase{"ThreeRightTenDown",
                   {0, 0},
                   {3, 10},
                   {{0, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 5}, {2, 6}, {2, 7}, {2, 8}, {3, 9}}},
        BridgeCase{"Diagonal", {5, 5}, {1, 9}, {{4, 6}, {3, 7}, {2, 8}}},
        BridgeCase{"StraightUp", {2, 2}, {2, -2}, {{2, 1}, {2, 0}, {2, -1}}},
        BridgeCase{"Touching", {4, 4}, {5, 3}, {}}, BridgeCase{"SamePosition", {4, 4}, {4, 4}, {}}),
    [](const auto& param) { return param.param.name; });

TEST(PathBridge, FewerThanTwoPoints_DoesNothing) {
    VXRegion path;
    path.BridgeLastGap();
    EXPECT_EQ(path.PointCount(), 0);
    path.AppendPoint(3, 3);
    path.BridgeLastGap();
    EXPECT_EQ(path.Points(), (Points{{3, 3}}));
}

// --- ClosePolygon ------------------------------------------------------------------------------

TEST(PathClose, Square_WalksEverySegmentBackToStart) {
    VXRegion path = MakeRegion(10, 10);
    path.SetRectangle(1, 1, 3, 3);
    path.Rescale(2.0F);
    path.ClearPoints();
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {4, 0}, {4, 4}, {0, 4}}) {
        path.AppendPoint(x, y);
    }
    path.ClosePolygon();
    // Each segment starts with its first vertex, so the vertex that ended the previous segment
    // appears twice.
    const Points expected{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {4, 0}, {4, 1},
                          {4, 2}, {4, 3}, {4, 4}, {4, 4}, {3, 4}, {2, 4}, {1, 4},
                          {0, 4}, {0, 4}, {0, 3}, {0, 2}, {0, 1}, {0, 0}};
    EXPECT_EQ(path.Points(), expected);
    EXPECT_FALSE(path.HasMask());
    EXPECT_EQ(path.Scale(), 1.0F);
    EXPECT_EQ(path.Area(), 0);
}

TEST(PathClose, DoublingBack_EndsSegmentAtNextVertex) {
    VXRegion path;
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {6, 0}, {3, 0}}) {
        path.AppendPoint(x, y);
    }
    path.ClosePolygon();
    const Points expected{{0, 0}, {1, 0}, {2, 0}, {6, 0}, {5, 0}, {4, 0},
                          {3, 0}, {3, 0}, {2, 0}, {1, 0}, {0, 0}};
    EXPECT_EQ(path.Points(), expected);
}

TEST(PathClose, RepeatedPositions_AddNothingAfterTheirVertex) {
    VXRegion path;
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{3, 3}, {3, 3}, {6, 3}}) {
        path.AppendPoint(x, y);
    }
    path.ClosePolygon();
    const Points expected{{3, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}, {6, 3}, {5, 3}, {4, 3}, {3, 3}};
    EXPECT_EQ(path.Points(), expected);
}

TEST(PathClose, SinglePointAndEmptyPath) {
    VXRegion path;
    path.ClosePolygon();
    EXPECT_EQ(path.PointCount(), 0);
    path.AppendPoint(5, 7);
    path.ClosePolygon();
    EXPECT_EQ(path.Points(), (Points{{5, 7}}));
}

TEST(PathClose, SteepSegment_ConsecutivePointsTouch) {
    VXRegion path;
    for (const auto& [x, y] :
         std::vector<std::pair<int, int>>{{0, 0}, {3, 17}, {19, 11}, {8, 2}, {25, 30}}) {
        path.AppendPoint(x, y);
    }
    path.ClosePolygon();
    const Points& points = path.Points();
    ASSERT_GT(points.size(), 40U);
    for (std::size_t i = 1; i < points.size(); ++i) {
        EXPECT_TRUE(Touching(points[i - 1], points[i])) << "gap before point " << i;
    }
    EXPECT_EQ(points.back(), (RegionPoint{0, 0}));
}

// --- Polygon fill and operations ---------------------------------------------------------------

class PolygonTooShort : public testing::TestWithParam<int> {};

TEST_P(PolygonTooShort, Set_FourOrFewerVertices_LeavesSelectionEmpty) {
    VXRegion region = MakeRegion(12, 12);
    region.SetRectangle(1, 1, 8, 8);
    VXRegion path;
    const Points corners{{1, 1}, {9, 1}, {9, 9}, {1, 9}};
    for (int i = 0; i < GetParam(); ++i) {
        path.AppendPoint(corners[i].x, corners[i].y);
    }
    region.SetPolygon(path);
    EXPECT_EQ(region.PointCount(), 0);
    EXPECT_FALSE(region.HasMask());
}

INSTANTIATE_TEST_SUITE_P(Cases, PolygonTooShort, testing::Range(0, 5));

TEST(PolygonFill, ClickWithoutDrag_SelectsNothing) {
    VXRegion region = MakeRegion(12, 12);
    VXRegion path = ClosedPath({{4, 4}});
    region.SetPolygon(path);
    EXPECT_EQ(region.PointCount(), 0);
}

TEST(PolygonFill, SquareLoop_SelectsOutlineAndInterior) {
    VXRegion region = MakeRegion(12, 10);
    VXRegion path = ClosedPath({{2, 2}, {7, 2}, {7, 7}, {2, 7}});
    region.SetPolygon(path);
    EXPECT_EQ(SelectedPixels(region), BoxSet(12, 10, 2, 2, 7, 7));
    EXPECT_EQ(region.Bounds(), (RegionRect{2, 2, 7, 7}));
    EXPECT_EQ(region.Area(), 36);
    // The outline is listed row by row.
    EXPECT_EQ(region.Points().front(), (RegionPoint{2, 2}));
    EXPECT_EQ(region.Points()[6], (RegionPoint{2, 3}));
    ExpectRebuiltOutline(region);
}

TEST(PolygonFill, DiagonalOutline_RaysDoNotSlipBetweenCornerTouchingPixels) {
    VXRegion region = MakeRegion(13, 13);
    VXRegion path = ClosedPath({{5, 0}, {10, 5}, {5, 10}, {0, 5}});
    region.SetPolygon(path);
    for (int y = 0; y < 13; ++y) {
        for (int x = 0; x < 13; ++x) {
            EXPECT_EQ(region.Contains(x, y), std::abs(x - 5) + std::abs(y - 5) <= 5)
                << x << "," << y;
        }
    }
    ExpectRebuiltOutline(region);
}

TEST(PolygonFill, FreehandLoop_FillsEnclosedDisc) {
    Points positions;
    for (int k = 0; k < 18; ++k) {
        const double a = k * 20.0 * 3.14159265358979 / 180.0;
        positions.push_back({static_cast<int>(std::lround(16 + 10 * std::cos(a))),
                             static_cast<int>(std::lround(14 + 10 * std::sin(a)))});
    }
    VXRegion region = MakeRegion(32, 30);
    VXRegion path = ClosedPath(positions);
    region.SetPolygon(path);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 32; ++x) {
            const double d = std::hypot(x - 16.0, y - 14.0);
            if (d <= 8.5) {
                EXPECT_TRUE(region.Contains(x, y)) << x << "," << y;
            } else if (d >= 11.0) {
                EXPECT_FALSE(region.Contains(x, y)) << x << "," << y;
            }
        }
    }
    ExpectRebuiltOutline(region);
}

TEST(PolygonFill, SelfCrossingPath_SelectsBothEnclosedLobes) {
    VXRegion region = MakeRegion(15, 15);
    VXRegion path = ClosedPath({{2, 2}, {12, 12}, {12, 2}, {2, 12}});
    region.SetPolygon(path);
    EXPECT_TRUE(region.Contains(3, 7));    // left lobe
    EXPECT_TRUE(region.Contains(11, 7));   // right lobe
    EXPECT_TRUE(region.Contains(7, 7));    // the crossing
    EXPECT_FALSE(region.Contains(7, 3));   // open towards the top
    EXPECT_FALSE(region.Contains(7, 6));   // reached from the top
    EXPECT_FALSE(region.Contains(7, 11));  // open towards the bottom
    EXPECT_FALSE(region.Contains(0, 0));
    ExpectRebuiltOutline(region);
}

TEST(PolygonFill, VerticesOutsideImage_AreClampedInPlace) {
    VXRegion region = MakeRegion(10, 10);
    VXRegion path = ClosedPath({{-5, -5}, {15, -5}, {15, 15}, {-5, 15}});
    region.SetPolygon(path);
    for (const RegionPoint& p : path.Points()) {
        EXPECT_TRUE(p.x >= 0 && p.x < 10 && p.y >= 0 && p.y < 10) << p.x << "," << p.y;
    }
    EXPECT_EQ(region.Area(), 100);
    ExpectRebuiltOutline(region);
    // A selection of every pixel: intersecting and subtracting change nothing.
    VXRegion hole = ClosedPath({{3, 3}, {6, 3}, {6, 6}, {3, 6}});
    region.SubtractPolygon(hole);
    EXPECT_EQ(region.Area(), 100);
}

TEST(PolygonCombine, AddEmptyPath_ChangesNothing) {
    VXRegion region = MakeRegion(10, 10);
    region.SetRectangle(1, 1, 6, 6);
    const std::unique_ptr<VXRegion> before = region.Clone();
    VXRegion path;
    region.AddPolygon(path);
    EXPECT_EQ(region.Points(), before->Points());
    EXPECT_EQ(region.Mask(), before->Mask());
    VXRegion empty = MakeRegion(10, 10);
    empty.AddPolygon(path);
    EXPECT_EQ(empty.PointCount(), 0);
}

TEST(PolygonCombine, AddToEmptySelection_EqualsSet) {
    VXRegion added = MakeRegion(14, 12);
    VXRegion set = MakeRegion(14, 12);
    VXRegion path1 = ClosedPath({{3, 2}, {10, 4}, {6, 10}});
    VXRegion path2 = ClosedPath({{3, 2}, {10, 4}, {6, 10}});
    added.AddPolygon(path1);
    set.SetPolygon(path2);
    EXPECT_EQ(added.Points(), set.Points());
    EXPECT_EQ(added.Mask(), set.Mask());
    EXPECT_GT(CountSelected(added), 20U);
    ExpectRebuiltOutline(added);
}

TEST(PolygonCombine, SubtractAndIntersectSquare_CutExactly) {
    VXRegion subtracted = MakeRegion(16, 16);
    subtracted.SetRectangle(0, 0, 14, 14);
    VXRegion path = ClosedPath({{4, 4}, {9, 4}, {9, 9}, {4, 9}});
    subtracted.SubtractPolygon(path);
    test::PixelSet expected = BoxSet(16, 16, 0, 0, 14, 14);
    const test::PixelSet square = BoxSet(16, 16, 4, 4, 9, 9);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i] = expected[i] && !square[i];
    }
    EXPECT_EQ(SelectedPixels(subtracted), expected);
    ExpectRebuiltOutline(subtracted);

    VXRegion intersected = MakeRegion(16, 16);
    intersected.SetRectangle(0, 0, 14, 14);
    intersected.IntersectPolygon(path);
    EXPECT_EQ(SelectedPixels(intersected), square);
    ExpectRebuiltOutline(intersected);
}

TEST(PolygonCombine, AddOverlapping_Unites) {
    VXRegion region = MakeRegion(16, 16);
    region.SetRectangle(0, 0, 5, 5);
    VXRegion path = ClosedPath({{4, 4}, {9, 4}, {9, 9}, {4, 9}});
    region.AddPolygon(path);
    test::PixelSet expected = BoxSet(16, 16, 0, 0, 5, 5);
    const test::PixelSet square = BoxSet(16, 16, 4, 4, 9, 9);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i] = expected[i] || square[i];
    }
    EXPECT_EQ(SelectedPixels(region), expected);
    ExpectRebuiltOutline(region);
    ExpectConsistent(region);
}

}  // namespace
}  // namespace quarvel
