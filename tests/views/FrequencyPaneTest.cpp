#include <gtest/gtest.h>

#include <string>

#include "PaneTestSupport.h"
#include "imageio/QtBitmap.h"
#include "views/FrequencyPane.h"

namespace quarvel {
namespace {

using test::Grab;
using test::PixelAt;

constexpr QRgb kBlue = CPaneBase::kFrameBlue;

/// Pixels of the icon rectangle r in shot that are clearly green: the tick of an enabled channel.
int TickPixels(const QImage& shot, const CanvasRect& r) {
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const QColor c = QColor::fromRgb(shot.pixel(x, y));
            count += c.green() > 2 * c.red() + 20 && c.green() > 2 * c.blue() + 20 ? 1 : 0;
        }
    }
    return count;
}

using test::Middle;
class FrequencyPaneTest : public test::PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        pane = std::make_unique<CPowerSpectrumView>(*doc, window);
        pane->resize(1300, 700);
        pane->show();
    }

    CanvasRect Icon(ChannelKind channel) const {
        const auto r = pane->CheckIconRect(channel);
        EXPECT_TRUE(r.has_value());
        return r.value_or(CanvasRect{});
    }

    std::unique_ptr<CPowerSpectrumView> pane;
};

TEST_F(FrequencyPaneTest, ColourImage_ShowsOneFramedPanelPerChannelWithCheckedIcons) {
    Open("coffee.png");
    ASSERT_EQ(pane->Layout().PanelCount(), 3);
    const QImage shot = Grab(*pane);
    for (const ChannelKind channel : {ChannelKind::Red, ChannelKind::Green, ChannelKind::Blue}) {
        const CanvasRect icon = Icon(channel);
        EXPECT_EQ(icon.Width(), CPowerSpectrumView::kIconSize);
        EXPECT_GT(TickPixels(shot, icon), 5);
    }
    for (std::int32_t i = 0; i < 3; ++i) {
        const CanvasRect p = pane->Layout().Panel(i)->panelRect;
        EXPECT_EQ(PixelAt(shot, {p.left, Middle(p).y}), kBlue);
        EXPECT_EQ(PixelAt(shot, {p.right - 2, Middle(p).y}), kBlue);
        // The icon sits at the left of the caption bar of its own panel.
        EXPECT_EQ(Icon(i == 0   ? ChannelKind::Red
                       : i == 1 ? ChannelKind::Green
                                : ChannelKind::Blue)
                      .left,
                  p.left + 2);
    }
}

TEST_F(FrequencyPaneTest, ColourImage_PanelsShowTheActiveStatesSpectra) {
    Open("coffee.png");
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_ACTUAL_SIZE));
    const ProcState& state = *doc->ActiveState();
    const QImage shot = Grab(*pane);
    const std::array<const ImageBitmap*, 3> spectra = {state.powerRed.get(), state.powerGreen.get(),
                                                       state.powerBlue.get()};
    for (std::int32_t i = 0; i < 3; ++i) {
        const CanvasPoint p = Middle(pane->Layout().Panel(i)->destRect);
        const auto pixel = pane->Layout().WindowToImage(i, p);
        ASSERT_TRUE(pixel.has_value());
        EXPECT_EQ(PixelAt(shot, p),
                  ToQImage(*spectra[static_cast<std::size_t>(i)]).pixel(pixel->x, pixel->y) |
                      0xFF000000u);
    }
}

TEST_F(FrequencyPaneTest, SpectrumEdit_IsShownAtTheNextPaint) {
    Open("coffee.png");
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_ACTUAL_SIZE));
    const CanvasPoint p{Middle(pane->Layout().Panel(0)->destRect).x + 40,
                        Middle(pane->Layout().Panel(0)->destRect).y + 30};
    const auto pixel = pane->Layout().WindowToImage(0, p);
    ASSERT_TRUE(pixel.has_value());
    const QRgb before = PixelAt(Grab(*pane), p);
    doc->StampBrush(ChannelKind::Red, static_cast<std::uint32_t>(pixel->x), pixel->y, 3);
    const QRgb after = PixelAt(Grab(*pane), p);
    EXPECT_NE(after, before);
    EXPECT_EQ(after,
              ToQImage(*doc->ActiveState()->powerRed).pixel(pixel->x, pixel->y) | 0xFF000000u);
    // Restoring the spectrum shows the committed one again.
    doc->RestorePowerSpectrum();
    EXPECT_EQ(PixelAt(Grab(*pane), p), before);
}

TEST_F(FrequencyPaneTest, SpectraAreShownFromTheirOwnMemoryAndOnlyTheShownOnesAreKept) {
    Open("coffee.png");
    Grab(*pane);
    EXPECT_EQ(pane->ImageCache().Size(), 3);
    EXPECT_EQ(pane->ImageCache().CopiedBytes(), 0u);
    // The first edit shows the spectra of a new working state; those of the state before it
    // are no longer kept for the screen.
    const CanvasPoint p = Middle(pane->Layout().Panel(0)->destRect);
    const auto pixel = pane->Layout().WindowToImage(0, p);
    ASSERT_TRUE(pixel.has_value());
    doc->StampBrush(ChannelKind::Red, static_cast<std::uint32_t>(pixel->x) + 5, pixel->y + 5, 3);
    Grab(*pane);
    EXPECT_EQ(pane->ImageCache().Size(), 3);
    EXPECT_EQ(pane->ImageCache().CopiedBytes(), 0u);
}

TEST_F(FrequencyPaneTest, CheckIconClick_TogglesOnlyItsChannelAndRepaintsTheIcon) {
    Open("coffee.png");
    Grab(*pane);
    const CanvasRect green = Icon(ChannelKind::Green);
    test::Click(*pane, Middle(green));
    EXPECT_TRUE(pane->redEnabled);
    EXPECT_FALSE(pane->greenEnabled);
    EXPECT_TRUE(pane->blueEnabled);
    EXPECT_EQ(pane->ActivePanel(), -1);
    QImage shot = Grab(*pane);
    EXPECT_EQ(TickPixels(shot, green), 0);
    EXPECT_GT(TickPixels(shot, Icon(ChannelKind::Red)), 5);

    // The icon's far edges count as part of it.
    const CanvasRect blue = Icon(ChannelKind::Blue);
    test::Click(*pane, {blue.right, blue.bottom});
    EXPECT_FALSE(pane->blueEnabled);
    test::Click(*pane, Middle(green));
    EXPECT_TRUE(pane->greenEnabled);
    shot = Grab(*pane);
    EXPECT_GT(TickPixels(shot, green), 5);
    EXPECT_EQ(TickPixels(shot, blue), 0);
}

TEST_F(FrequencyPaneTest, PressInsideAPanel_LeavesTheChannelsAlone) {
    Open("coffee.png");
    Grab(*pane);
    test::Click(*pane, Middle(pane->Layout().Panel(1)->panelRect));
    EXPECT_EQ(pane->ActivePanel(), 1);
    EXPECT_TRUE(pane->greenEnabled);
}

TEST_F(FrequencyPaneTest, BrushPressInTheMarginBesideTheSpectrum_ChangesNothing) {
    Open("coffee.png");
    window.tool = ToolBrush;
    Grab(*pane);
    // At the fit zoom the 1024 x 512 spectrum is much shorter than its panel: grey above and below.
    const CanvasPanel& panel = *pane->Layout().Panel(0);
    ASSERT_GT(panel.destRect.top - panel.panelRect.top, 20);
    const std::int32_t x = Middle(panel.destRect).x;
    test::Click(*pane, {x, panel.destRect.top - 10});
    test::Click(*pane, {x, panel.destRect.bottom + 10});
    EXPECT_EQ(pane->ActivePanel(), 0);
    EXPECT_EQ(doc->workingState, nullptr);
    // On the spectrum itself the brush clears.
    test::Click(*pane, {x, panel.destRect.top + 2});
    EXPECT_NE(doc->workingState, nullptr);
}

TEST_F(FrequencyPaneTest, GreyImage_ShowsOnePanelWithoutIcons) {
    Open("camera.png");
    ASSERT_EQ(pane->Layout().PanelCount(), 1);
    const QImage shot = Grab(*pane);
    EXPECT_FALSE(pane->CheckIconRect(ChannelKind::Red).has_value());
    const CanvasRect p = pane->Layout().Panel(0)->panelRect;
    EXPECT_EQ(TickPixels(shot, {p.left, p.top - 20, p.left + 20, p.top}), 0);
    // Where a colour image's red icon would be, a click changes nothing.
    test::Click(*pane, {p.left + 10, p.top - pane->CaptionHeight()});
    EXPECT_TRUE(pane->redEnabled);
    const ImageBitmap& spectrum = *doc->ActiveState()->powerGrey;
    EXPECT_EQ(pane->selection.Width(), static_cast<std::int32_t>(spectrum.Width()));
}

TEST_F(FrequencyPaneTest, ColourAfterGreyImage_GetsThreePanelsAgain) {
    Open("camera.png");
    Open("astronaut.png");
    EXPECT_EQ(pane->Layout().PanelCount(), 3);
    EXPECT_EQ(pane->selection.Width(), 512);
}

TEST_F(FrequencyPaneTest, ZoomCommands_AreEnabledOnlyWithASpectrum) {
    CommandStatus status;
    ASSERT_TRUE(pane->QueryCommand(ID_ZOOM_FIT, status));
    EXPECT_FALSE(status.enabled);
    for (const int id : {ID_FFT_CLEAR_SELECTION, ID_FFT_DESELECT, ID_FFT_INVERT_SELECTION}) {
        ASSERT_TRUE(pane->QueryCommand(id, status));
        EXPECT_FALSE(status.enabled) << id;
    }
    Open("camera.png");
    ASSERT_TRUE(pane->QueryCommand(ID_ZOOM_FIT, status));
    EXPECT_TRUE(status.enabled);
    ASSERT_TRUE(pane->QueryCommand(ID_FFT_DESELECT, status));
    EXPECT_FALSE(status.enabled);
}

TEST_F(FrequencyPaneTest, NewImage_FitsTheSpectraAndRestartsAtPanelZero) {
    Open("coffee.png");
    // 1024 columns do not fit a third of 1300 pixels.
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(2), pane->Layout().FitZoom(0));
    pane->RunCommand(ID_ZOOM_ACTUAL_SIZE);
    test::Click(*pane, {1, 1});
    ASSERT_TRUE(doc->OnFileRevert());
    EXPECT_EQ(pane->ActivePanel(), 0);
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(0), pane->Layout().FitZoom(0));
}

struct BrushCase {
    std::string name;
    const char* image;
    int command;
    std::uint8_t entry;
    std::uint16_t radius;
};

class BrushSizeTest : public FrequencyPaneTest, public testing::WithParamInterface<BrushCase> {};

TEST_P(BrushSizeTest, EntryGivesItsRadiusForTheSpectrum) {
    const BrushCase& c = GetParam();
    Open(c.image);
    ASSERT_TRUE(pane->RunCommand(c.command));
    EXPECT_EQ(pane->brushSizeIndex, c.entry);
    EXPECT_EQ(pane->brushSize, c.radius);
    CommandStatus status;
    ASSERT_TRUE(pane->QueryCommand(c.command, status));
    EXPECT_TRUE(status.enabled);
    EXPECT_TRUE(status.checked);
    ASSERT_TRUE(pane->QueryCommand(c.command == ID_BRUSH_1X ? ID_BRUSH_2X : ID_BRUSH_1X, status));
    EXPECT_FALSE(status.checked);
}

// Base radius: whole hundredths of the spectrum's larger side (1024 x 512 gives 10, 512 gives 5,
// 16 gives 0), times 1/2, 1, 3/2, 2, 3 or 4, rounded.
INSTANTIATE_TEST_SUITE_P(
    PowerSpectrumPane, BrushSizeTest,
    testing::Values(BrushCase{"Half1024", "coffee.png", ID_BRUSH_HALF, 1, 5},
                    BrushCase{"One1024", "coffee.png", ID_BRUSH_1X, 2, 10},
                    BrushCase{"ThreeHalves1024", "coffee.png", ID_BRUSH_3_HALVES, 3, 15},
                    BrushCase{"Two1024", "coffee.png", ID_BRUSH_2X, 4, 20},
                    BrushCase{"Three1024", "coffee.png", ID_BRUSH_3X, 5, 30},
                    BrushCase{"Four1024", "coffee.png", ID_BRUSH_4X, 6, 40},
                    BrushCase{"Half512", "astronaut.png", ID_BRUSH_HALF, 1, 3},
                    BrushCase{"ThreeHalves512", "astronaut.png", ID_BRUSH_3_HALVES, 3, 8},
                    BrushCase{"Four512", "astronaut.png", ID_BRUSH_4X, 6, 20},
                    BrushCase{"FourTiny", "palette_color.png", ID_BRUSH_4X, 6, 0}),
    [](const testing::TestParamInfo<BrushCase>& c) { return c.param.name; });

TEST_F(FrequencyPaneTest, BrushEntry_IsKeptAndAppliedToTheNextImage) {
    Open("coffee.png");
    ASSERT_TRUE(pane->RunCommand(ID_BRUSH_3_HALVES));
    ASSERT_EQ(pane->brushSize, 15);
    Open("astronaut.png");
    EXPECT_EQ(pane->brushSizeIndex, 3);
    EXPECT_EQ(pane->brushSize, 8);
}

TEST_F(FrequencyPaneTest, BrushEntryWithoutImage_KeepsTheRadius) {
    ASSERT_TRUE(pane->RunCommand(ID_BRUSH_4X));
    EXPECT_EQ(pane->brushSizeIndex, 6);
    EXPECT_EQ(pane->brushSize, 10);
}

}  // namespace
}  // namespace quarvel
