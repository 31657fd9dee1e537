#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "views/CanvasLayout.h"

namespace quarvel {
namespace {

/// A pane's layout area: the client rectangle below a 20-pixel caption band.
constexpr CanvasRect kArea{0, 20, 1000, 620};

CanvasLayout MakeLayout(std::int32_t columns, const CanvasRect& area = kArea) {
    CanvasLayout layout(1, columns);
    layout.SetLayoutArea(area);
    layout.CreatePanels();
    return layout;
}

/// One panel of the given rectangle showing a w x h image at zoom z.
CanvasPanel PlacedPanel(const CanvasRect& rect, std::int32_t w, std::int32_t h, float z) {
    CanvasPanel panel;
    panel.panelRect = rect;
    panel.imageWidth = w;
    panel.imageHeight = h;
    CanvasLayout::LayoutPanel(panel, z);
    return panel;
}

struct GridCase {
    std::string name;
    std::int32_t columns;
    std::vector<CanvasRect> expected;
};

class GridTest : public testing::TestWithParam<GridCase> {};

TEST_P(GridTest, PanelsKeepFourPixelsFromEdgesAndEachOther) {
    const GridCase& c = GetParam();
    const CanvasLayout layout = MakeLayout(c.columns);
    ASSERT_EQ(layout.PanelCount(), static_cast<std::int32_t>(c.expected.size()));
    for (std::int32_t i = 0; i < layout.PanelCount(); ++i) {
        EXPECT_EQ(layout.Panel(i)->panelRect, c.expected[static_cast<std::size_t>(i)])
            << "panel " << i;
    }
}

// Cell width (1000 - 4) / columns; the last column ends 4 pixels from the area's right edge.
INSTANTIATE_TEST_SUITE_P(
    CanvasLayout, GridTest,
    testing::Values(
        GridCase{"OnePanel", 1, {{4, 24, 996, 616}}},
        GridCase{"TwoPanels", 2, {{4, 24, 498, 616}, {502, 24, 996, 616}}},
        GridCase{"ThreePanels", 3, {{4, 24, 332, 616}, {336, 24, 664, 616}, {668, 24, 996, 616}}}),
    [](const testing::TestParamInfo<GridCase>& c) { return c.param.name; });

TEST(CanvasLayout, TwoRows_SplitTheHeight) {
    CanvasLayout layout(2, 1);
    layout.SetLayoutArea(kArea);
    layout.CreatePanels();
    // Cell height (600 - 4) / 2 = 298.
    EXPECT_EQ(layout.Panel(0)->panelRect, (CanvasRect{4, 24, 996, 318}));
    EXPECT_EQ(layout.Panel(1)->panelRect, (CanvasRect{4, 322, 996, 616}));
}

TEST(CanvasLayout, AreaWithoutRoomForACell_LeavesPanelsAsTheyWere) {
    CanvasLayout layout = MakeLayout(3);
    const CanvasRect before = layout.Panel(2)->panelRect;
    layout.SetLayoutArea({0, 20, 5, 22});
    layout.LayoutPanels();
    EXPECT_EQ(layout.Panel(2)->panelRect, before);
}

TEST(CanvasLayout, PanelWithoutImage_ShowsItsWholeRectangle) {
    const CanvasLayout layout = MakeLayout(2);
    const CanvasPanel& panel = *layout.Panel(1);
    EXPECT_EQ(panel.destRect, panel.panelRect);
    EXPECT_EQ(panel.sourceRect, panel.panelRect);
    EXPECT_FLOAT_EQ(layout.FitZoom(1), 1.0f);
}

TEST(CanvasLayout, ImageSmallerThanPanel_IsCentredAndShownWhole) {
    const CanvasPanel panel = PlacedPanel({4, 24, 504, 424}, 300, 200, 1.0f);
    EXPECT_EQ(panel.destRect, (CanvasRect{104, 124, 404, 324}));
    EXPECT_EQ(panel.sourceRect, (CanvasRect{0, 0, 299, 199}));
}

TEST(CanvasLayout, ImageLargerThanPanel_FillsItWithTheCentredPart) {
    const CanvasPanel panel = PlacedPanel({4, 24, 504, 424}, 1000, 800, 1.0f);
    EXPECT_EQ(panel.destRect, panel.panelRect);
    EXPECT_EQ(panel.sourceRect, (CanvasRect{250, 200, 749, 599}));
}

TEST(CanvasLayout, ImageExactlyFillingThePanel_ShowsEveryPixel) {
    // 1000 x 0.5 = 500 is not narrower than the panel, so the panel is filled with all 1000.
    const CanvasPanel panel = PlacedPanel({4, 24, 504, 424}, 1000, 800, 0.5f);
    EXPECT_EQ(panel.destRect, panel.panelRect);
    EXPECT_EQ(panel.sourceRect, (CanvasRect{0, 0, 999, 799}));
}

TEST(CanvasLayout, MagnifiedImage_ShowsPanelSizeOverZoomPixels) {
    const CanvasPanel panel = PlacedPanel({4, 24, 504, 424}, 300, 300, 4.0f);
    // 500 / 4 = 125 columns from (300 - 125) / 2 = 87, 400 / 4 = 100 rows from 100.
    EXPECT_EQ(panel.sourceRect, (CanvasRect{87, 100, 211, 199}));
}

TEST(CanvasLayout, FitZooms_LeaveTheTwoPixelMargins) {
    CanvasLayout layout = MakeLayout(1, {0, 20, 504, 424});
    layout.ResetZoom(1000, 500, layout.LayoutArea());
    // The panel is 496 x 396: width (496 - 4) / 1000, height (396 - 4) / 500.
    EXPECT_FLOAT_EQ(layout.FitWidthZoom(0), 0.492f);
    EXPECT_FLOAT_EQ(layout.FitHeightZoom(0), 0.784f);
    EXPECT_FLOAT_EQ(layout.FitZoom(0), 0.492f);
}

TEST(CanvasLayout, FitZoomOfPanelSmallerThanItsMargins_StaysPositive) {
    CanvasLayout layout = MakeLayout(1, {0, 20, 10, 31});
    layout.ResetZoom(100, 100, layout.LayoutArea());
    EXPECT_GT(layout.FitZoom(0), 0.0f);
}

TEST(CanvasLayout, ResetZoom_ShrinksALargeImageToTheFirstPanelsFit) {
    // Cells of (1001 - 4) / 2 = 498: the first panel is 494 wide, the last 495.
    CanvasLayout layout = MakeLayout(2, {0, 20, 1001, 620});
    layout.ResetZoom(2000, 500, layout.LayoutArea());
    EXPECT_FLOAT_EQ(layout.PanelZoom(0), 490.0f / 2000.0f);
    EXPECT_FLOAT_EQ(layout.PanelZoom(1), 490.0f / 2000.0f);
    EXPECT_EQ(layout.Panel(0)->sourceRect, (CanvasRect{0, 0, 1999, 499}));
}

TEST(CanvasLayout, ResetZoom_NeverEnlargesASmallImage) {
    CanvasLayout layout = MakeLayout(3);
    layout.SetZoomAll(3.0f);
    layout.ResetZoom(64, 64, kArea);
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(layout.PanelZoom(i), 1.0f);
        EXPECT_EQ(layout.Panel(i)->destRect.Width(), 64);
    }
}

TEST(CanvasLayout, ResetZoom_TakesTheNewAreaBeforeFitting) {
    CanvasLayout layout = MakeLayout(1);
    layout.ResetZoom(500, 500, {0, 20, 304, 324});
    // Panel 296 x 296 in the new area: (296 - 4) / 500.
    EXPECT_EQ(layout.Panel(0)->panelRect, (CanvasRect{4, 24, 300, 320}));
    EXPECT_FLOAT_EQ(layout.PanelZoom(0), 292.0f / 500.0f);
}

TEST(CanvasLayout, ResetZoomWithoutImage_ShowsEmptyPanelsAtZoomOne) {
    CanvasLayout layout = MakeLayout(2);
    layout.SetZoomAll(0.3f);
    layout.ResetZoom(0, 0, kArea);
    EXPECT_FLOAT_EQ(layout.PanelZoom(1), 1.0f);
    EXPECT_EQ(layout.Panel(1)->destRect, layout.Panel(1)->panelRect);
}

struct ClampCase {
    std::string name;
    double requested;
    float expected;
};

class ZoomClampTest : public testing::TestWithParam<ClampCase> {};

TEST_P(ZoomClampTest, StepsStayInsideTheZoomRange) {
    EXPECT_FLOAT_EQ(CanvasLayout::ClampZoom(GetParam().requested), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    CanvasLayout, ZoomClampTest,
    testing::Values(ClampCase{"ZoomInFromSevenPointNine", 7.9 + CanvasLayout::zoomStep, 8.0f},
                    ClampCase{"ZoomOutFromPointOne", 0.1 - CanvasLayout::zoomStep, 0.05f},
                    ClampCase{"ZoomInFromOne", 1.0 + CanvasLayout::zoomStep, 1.2f},
                    ClampCase{"ZoomOutFromOne", 1.0 - CanvasLayout::zoomStep, 0.8f}),
    [](const testing::TestParamInfo<ClampCase>& c) { return c.param.name; });

TEST(CanvasLayout, SetZoomAll_RecentresEveryWindow) {
    CanvasLayout layout = MakeLayout(2);
    layout.ResetZoom(1000, 1000, kArea);
    layout.SetZoomAll(2.0f);
    layout.ScrollPanel(0, 100, 100);
    layout.SetZoomAll(2.0f);
    // Panel 0 is 494 x 592 window pixels: 247 x 296 image pixels, centred.
    EXPECT_EQ(layout.Panel(0)->sourceRect, (CanvasRect{376, 352, 622, 647}));
    EXPECT_FLOAT_EQ(layout.PanelZoom(1), 2.0f);
}

TEST(CanvasLayout, ScrollPanel_StopsAtTheImageEdges) {
    CanvasLayout layout = MakeLayout(1);
    layout.ResetZoom(1000, 1000, kArea);
    layout.SetZoomAll(2.0f);
    // 992 x 592 window pixels show 496 x 296 image pixels from (252, 352).
    layout.ScrollPanel(0, 10000, -10000);
    EXPECT_EQ(layout.Panel(0)->sourceRect, (CanvasRect{0, 705, 495, 1000}));
}

TEST(CanvasLayout, ScrollPanel_DoesNotMoveAnImageThatFits) {
    CanvasLayout layout = MakeLayout(1);
    layout.ResetZoom(200, 100, kArea);
    const CanvasRect before = layout.Panel(0)->sourceRect;
    layout.ScrollPanel(0, 30, 30);
    EXPECT_EQ(layout.Panel(0)->sourceRect, before);
}

TEST(CanvasLayout, CenterOn_BringsTheImagePointToTheMiddle) {
    CanvasLayout layout = MakeLayout(1);
    layout.ResetZoom(1000, 1000, kArea);
    layout.SetZoomAll(4.0f);
    layout.CenterOn(300, 600);
    const CanvasPanel& panel = *layout.Panel(0);
    const CanvasPoint middle{(panel.destRect.left + panel.destRect.right) / 2,
                             (panel.destRect.top + panel.destRect.bottom) / 2};
    EXPECT_EQ(layout.WindowToImage(0, middle), (CanvasPoint{300, 600}));
}

TEST(CanvasLayout, PanelAtPoint_ExcludesEdgesAndGaps) {
    const CanvasLayout layout = MakeLayout(2);
    EXPECT_EQ(layout.PanelAtPoint({5, 25}), 0);
    EXPECT_EQ(layout.PanelAtPoint({4, 100}), -1);
    EXPECT_EQ(layout.PanelAtPoint({500, 100}), -1);
    EXPECT_EQ(layout.PanelAtPoint({503, 100}), 1);
    EXPECT_EQ(layout.PanelAtPoint({503, 10}), -1);
}

TEST(CanvasLayout, PanelShowingPoint_IsTheDrawnImageEdgesIncluded) {
    CanvasLayout layout = MakeLayout(1);
    layout.ResetZoom(100, 100, kArea);
    const CanvasRect dest = layout.Panel(0)->destRect;
    EXPECT_TRUE(layout.PanelShowingPoint({dest.left, dest.top}));
    EXPECT_TRUE(layout.PanelShowingPoint({dest.right, dest.bottom}));
    EXPECT_FALSE(layout.PanelShowingPoint({dest.left - 1, dest.top}));
    EXPECT_TRUE(layout.PanelAtPoint({dest.left - 1, dest.top}) == 0);
}

TEST(CanvasLayout, WindowToImage_DividesByTheZoomFromTheShownPart) {
    CanvasLayout layout = MakeLayout(1);
    layout.ResetZoom(1000, 1000, kArea);
    layout.SetZoomAll(2.0f);
    const CanvasPanel& panel = *layout.Panel(0);
    const CanvasPoint origin{panel.destRect.left, panel.destRect.top};
    EXPECT_EQ(layout.WindowToImage(0, origin),
              (CanvasPoint{panel.sourceRect.left, panel.sourceRect.top}));
    // Three window pixels at zoom 2 are one and a half image pixels: truncated to one.
    EXPECT_EQ(layout.WindowToImage(0, {origin.x + 3, origin.y + 5}),
              (CanvasPoint{panel.sourceRect.left + 1, panel.sourceRect.top + 2}));
}

TEST(CanvasLayout, WindowToImageRightOfTheImage_IsBeyondItUnlessClamped) {
    CanvasLayout layout = MakeLayout(1);
    layout.ResetZoom(100, 50, kArea);
    const CanvasRect dest = layout.Panel(0)->destRect;
    const CanvasPoint beyond{dest.right + 10, dest.bottom + 3};
    EXPECT_EQ(layout.WindowToImage(0, beyond), (CanvasPoint{110, 53}));
    EXPECT_EQ(layout.WindowToImageClamped(0, beyond), (CanvasPoint{99, 49}));
    EXPECT_EQ(layout.WindowToImageClamped(0, {dest.left - 7, dest.top - 7}), (CanvasPoint{0, 0}));
}

TEST(CanvasLayout, MissingPanel_AnswersZoomOneAndNoMapping) {
    CanvasLayout layout = MakeLayout(1);
    layout.ScrollPanel(3, 5, 5);
    EXPECT_FLOAT_EQ(layout.PanelZoom(-1), 1.0f);
    EXPECT_FLOAT_EQ(layout.FitZoom(7), 1.0f);
    EXPECT_FALSE(layout.WindowToImage(-1, {10, 10}).has_value());
    EXPECT_FALSE(layout.WindowToImageClamped(1, {10, 10}).has_value());
}

TEST(CanvasLayout, PanelWithoutImage_MapsNoPixel) {
    const CanvasLayout layout = MakeLayout(1);
    EXPECT_FALSE(layout.WindowToImageClamped(0, {100, 100}).has_value());
}

}  // namespace
}  // namespace quarvel
