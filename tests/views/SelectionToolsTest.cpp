#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QMouseEvent>

#include "PaneTestSupport.h"
#include "views/CImageView.h"
#include "views/FrequencyPane.h"

namespace quarvel {
namespace {

using test::Middle;

/// Counts the information messages instead of showing them.
class CountingInteraction : public test::SilentInteraction {
public:
    void ShowInformation(QWidget*, const QString&, const QString& text) override {
        informations.push_back(text);
    }
    std::vector<QString> informations;
};

/// Sends a left-button event with the keys held; the button stays down during moves.
void Mouse(QWidget& widget, QEvent::Type type, CanvasPoint p,
           Qt::KeyboardModifiers keys = Qt::NoModifier) {
    const QPointF local(p.x, p.y);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, local, widget.mapToGlobal(local), button, held, keys);
    QApplication::sendEvent(&widget, &event);
}

/// Presses at the first point with keys, moves through the others and releases at the last.
void DragThrough(QWidget& widget, const std::vector<CanvasPoint>& points,
                 Qt::KeyboardModifiers keys = Qt::NoModifier) {
    Mouse(widget, QEvent::MouseButtonPress, points.front(), keys);
    for (std::size_t k = 1; k < points.size(); ++k) {
        Mouse(widget, QEvent::MouseMove, points[k]);
    }
    Mouse(widget, QEvent::MouseButtonRelease, points.back());
}

void DragFromTo(QWidget& widget, CanvasPoint from, CanvasPoint to,
                Qt::KeyboardModifiers keys = Qt::NoModifier) {
    DragThrough(widget, {from, to}, keys);
}

/// The power spectrum pane at 1300 x 700 showing coffee.png (spectra of 1024 x 512) at zoom 1,
/// so that one window pixel is one spectrum element.
class SpectrumSelectionTest : public test::PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        auto interaction = std::make_unique<CountingInteraction>();
        counting = interaction.get();
        silent = interaction.get();
        doc->SetInteraction(std::move(interaction));
        pane = std::make_unique<CPowerSpectrumView>(*doc, window);
        pane->resize(1300, 700);
        pane->show();
        Open("coffee.png");
        ASSERT_TRUE(pane->RunCommand(ID_ZOOM_ACTUAL_SIZE));
        test::Grab(*pane);
        ASSERT_EQ(pane->Layout().PanelCount(), 3);
        width = static_cast<std::int32_t>(doc->spectrumWidth);
    }

    void Use(ToolId tool) { window.tool = tool; }
    const CanvasPanel& Panel(std::int32_t i) const { return *pane->Layout().Panel(i); }
    /// The window point showing spectrum element (x, y) in panel i.
    CanvasPoint WindowOf(std::int32_t i, std::int32_t x, std::int32_t y) const {
        const CanvasPanel& p = Panel(i);
        return {x - p.sourceRect.left + p.destRect.left, y - p.sourceRect.top + p.destRect.top};
    }
    /// Element (x, y) of a channel's spectrum in the active state, as |re| + |im|.
    float Element(const ChannelSpectrum ProcState::*channel, std::int32_t x, std::int32_t y) const {
        const PlaneRows rows = (doc->ActiveState()->*channel).Rows();
        const auto row = static_cast<std::size_t>(y);
        const auto columns = static_cast<std::size_t>(width);
        const auto column = static_cast<std::size_t>(x);
        return std::abs(rows.Re(row, columns)[column]) + std::abs(rows.Im(row, columns)[column]);
    }
    bool Enabled(int id) const {
        CommandStatus status;
        EXPECT_TRUE(pane->QueryCommand(id, status)) << id;
        return status.enabled;
    }

    CountingInteraction* counting = nullptr;
    std::unique_ptr<CPowerSpectrumView> pane;
    std::int32_t width = 0;
};

constexpr auto kRed = &ProcState::spectrumRed;
constexpr auto kGreen = &ProcState::spectrumGreen;
constexpr auto kBlue = &ProcState::spectrumBlue;

TEST_F(SpectrumSelectionTest, BrushPress_ClearsTheEnabledChannelsOnly) {
    pane->greenEnabled = false;
    Use(ToolBrush);
    ASSERT_EQ(pane->brushSize, 10);
    const std::int32_t x = 600;
    const std::int32_t y = 300;
    const float green = Element(kGreen, x, y);
    ASSERT_GT(Element(kRed, x, y), 0.0f);
    ASSERT_GT(green, 0.0f);
    const CanvasPoint p = WindowOf(0, x, y);
    Mouse(*pane, QEvent::MouseButtonPress, p);
    // Dragging the brush stamps nothing more.
    Mouse(*pane, QEvent::MouseMove, WindowOf(0, x + 40, y));
    Mouse(*pane, QEvent::MouseButtonRelease, WindowOf(0, x + 40, y));
    EXPECT_EQ(Element(kRed, x, y), 0.0f);
    EXPECT_EQ(Element(kBlue, x, y), 0.0f);
    EXPECT_EQ(Element(kRed, x + 10, y), 0.0f);
    EXPECT_GT(Element(kRed, x + 12, y), 0.0f);
    EXPECT_GT(Element(kRed, x + 40, y), 0.0f);
    EXPECT_EQ(Element(kGreen, x, y), green);
    EXPECT_TRUE(counting->informations.empty());
    // Undo drops the uncommitted edits.
    doc->RestorePowerSpectrum();
    EXPECT_GT(Element(kRed, x, y), 0.0f);
}

TEST_F(SpectrumSelectionTest, BrushPressOnAGreySpectrum_ClearsIt) {
    Open("camera.png");
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_ACTUAL_SIZE));
    ASSERT_EQ(pane->Layout().PanelCount(), 1);
    width = static_cast<std::int32_t>(doc->spectrumWidth);
    Use(ToolBrush);
    const auto grey = &ProcState::spectrumGrey;
    ASSERT_GT(Element(grey, 200, 210), 0.0f);
    test::Click(*pane, WindowOf(0, 200, 210));
    EXPECT_EQ(Element(grey, 200, 210), 0.0f);
}

TEST_F(SpectrumSelectionTest, PressOnADisabledChannel_OnlySaysSo) {
    test::Click(*pane, Middle(*pane->CheckIconRect(ChannelKind::Green)));
    ASSERT_FALSE(pane->greenEnabled);
    for (const ToolId tool : {ToolBrush, ToolSelectionRectangle}) {
        Use(tool);
        DragFromTo(*pane, WindowOf(1, 500, 200), WindowOf(1, 540, 240));
        ASSERT_EQ(counting->informations.size(), tool == ToolBrush ? 1u : 2u);
        EXPECT_EQ(counting->informations.back(), QStringLiteral("This channel is disabled"));
    }
    EXPECT_EQ(doc->workingState, nullptr);
    EXPECT_EQ(pane->selection.PointCount(), 0);
    EXPECT_FALSE(pane->OutlineAnimating());
    // A press on a caption bar never starts a tool.
    DragFromTo(*pane, {Middle(Panel(0).panelRect).x, Panel(0).panelRect.top - 4},
               WindowOf(0, 540, 240));
    EXPECT_EQ(pane->selection.PointCount(), 0);
    EXPECT_EQ(counting->informations.size(), 2u);
}

struct ModeCase {
    std::string name;
    Qt::KeyboardModifiers keys;
    /// Whether (110, 110) (first rectangle only), (140, 140) (both) and (170, 170) (second
    /// only) end up selected.
    bool firstOnly;
    bool both;
    bool secondOnly;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

class RectangleModeTest : public SpectrumSelectionTest,
                          public testing::WithParamInterface<ModeCase> {};

TEST_P(RectangleModeTest, SecondDragCombinesWithTheFirst) {
    const ModeCase& c = GetParam();
    Use(ToolSelectionRectangle);
    const std::int32_t o = 400;  // spectrum offset of the test's coordinates
    DragFromTo(*pane, WindowOf(0, o + 100, o - 300), WindowOf(0, o + 150, o - 250));
    ASSERT_EQ(pane->selection.Area(), 51 * 51);
    EXPECT_TRUE(pane->OutlineAnimating());
    // The second rectangle is dragged up and to the left.
    DragFromTo(*pane, WindowOf(0, o + 180, o - 220), WindowOf(0, o + 130, o - 270), c.keys);
    const VXRegion& s = pane->selection;
    EXPECT_EQ(s.Contains(o + 110, o - 290), c.firstOnly);
    EXPECT_EQ(s.Contains(o + 140, o - 260), c.both);
    EXPECT_EQ(s.Contains(o + 170, o - 230), c.secondOnly);
    EXPECT_FALSE(s.Contains(o + 99, o - 290));
    EXPECT_FALSE(s.Contains(o + 181, o - 230));
}

INSTANTIATE_TEST_SUITE_P(
    SpectrumSelection, RectangleModeTest,
    testing::Values(ModeCase{"Replace", Qt::NoModifier, false, true, true},
                    ModeCase{"AddWithShift", Qt::ShiftModifier, true, true, true},
                    ModeCase{"SubtractWithCtrl", Qt::ControlModifier, true, false, false},
                    ModeCase{"IntersectWithBoth", Qt::ShiftModifier | Qt::ControlModifier, false,
                             true, false}),
    [](const testing::TestParamInfo<ModeCase>& c) { return c.param.name; });

TEST_F(SpectrumSelectionTest, RectangleDraggedBackPastItsStart_SpansPressAndRelease) {
    Use(ToolSelectionRectangle);
    DragThrough(*pane, {WindowOf(2, 500, 200), WindowOf(2, 450, 150), WindowOf(2, 530, 260)});
    EXPECT_EQ(pane->selection.Bounds(), (RegionRect{500, 200, 530, 260}));
    EXPECT_EQ(pane->selection.Area(), 31 * 61);
    // Clear Selected Area acts first on the blue channel, pressed last.
    EXPECT_EQ(pane->ActivePanel(), 2);
}

TEST_F(SpectrumSelectionTest, RectangleReleasedOutsideThePanel_IsClampedIntoTheSpectrum) {
    Use(ToolSelectionRectangle);
    const CanvasRect d = Panel(0).destRect;
    DragFromTo(*pane, WindowOf(0, 480, 240), {d.left - 2, 690});
    const RegionRect b = pane->selection.Bounds();
    EXPECT_EQ(b.right, 480);
    EXPECT_EQ(b.top, 240);
    EXPECT_EQ(b.left, Panel(0).sourceRect.left - 2);
    EXPECT_EQ(b.bottom, 511);
}

TEST_F(SpectrumSelectionTest, EllipseInAddMode_IsOnePixelSmaller) {
    Use(ToolSelectionEllipse);
    // A 40 x 20 drag: centre (520, 250), radii 20 and 10.
    DragFromTo(*pane, WindowOf(0, 500, 240), WindowOf(0, 540, 260));
    EXPECT_EQ(pane->selection.Bounds(), (RegionRect{500, 240, 540, 260}));
    EXPECT_TRUE(pane->selection.Contains(520, 250));
    EXPECT_FALSE(pane->selection.Contains(502, 242));
    ASSERT_TRUE(pane->RunCommand(ID_FFT_DESELECT));
    DragFromTo(*pane, WindowOf(0, 500, 240), WindowOf(0, 540, 260), Qt::ShiftModifier);
    EXPECT_EQ(pane->selection.Bounds(), (RegionRect{501, 241, 539, 259}));
    // Added to an existing ellipse, a second one joins it.
    DragFromTo(*pane, WindowOf(0, 560, 240), WindowOf(0, 580, 260), Qt::ShiftModifier);
    EXPECT_TRUE(pane->selection.Contains(520, 250));
    EXPECT_TRUE(pane->selection.Contains(570, 250));
    EXPECT_FALSE(pane->selection.Contains(550, 250));
    // A Shift-click adds the clicked element alone, not the ellipse dragged before.
    const std::int32_t area = pane->selection.Area();
    Mouse(*pane, QEvent::MouseButtonPress, WindowOf(0, 600, 300), Qt::ShiftModifier);
    Mouse(*pane, QEvent::MouseButtonRelease, WindowOf(0, 600, 300));
    EXPECT_TRUE(pane->selection.Contains(600, 300));
    EXPECT_EQ(pane->selection.Area(), area + 1);
}

TEST_F(SpectrumSelectionTest, EllipseAtAZoom_GetsImageRadii) {
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_IN));
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_IN));
    ASSERT_FLOAT_EQ(pane->Layout().PanelZoom(0), 1.4f);
    Use(ToolSelectionEllipse);
    const CanvasPoint c = Middle(Panel(0).destRect);
    // Window radii 42 and 21 are 30 and 15 elements.
    DragFromTo(*pane, {c.x - 42, c.y - 21}, {c.x + 42, c.y + 21});
    const auto centre = pane->Layout().WindowToImage(0, c);
    ASSERT_TRUE(centre.has_value());
    EXPECT_EQ(pane->selection.Bounds(),
              (RegionRect{centre->x - 30, centre->y - 15, centre->x + 30, centre->y + 15}));
}

TEST_F(SpectrumSelectionTest, FreeHandLoop_SelectsWhatItEncloses) {
    Use(ToolFreeHandSelection);
    // A triangle drawn with big jumps between mouse positions: the gaps are bridged.
    DragThrough(*pane, {WindowOf(1, 500, 200), WindowOf(1, 560, 200), WindowOf(1, 560, 260),
                        WindowOf(1, 500, 200)});
    const VXRegion& s = pane->selection;
    EXPECT_EQ(s.Bounds(), (RegionRect{500, 200, 560, 260}));
    EXPECT_TRUE(s.Contains(550, 210));
    EXPECT_TRUE(s.Contains(559, 258));
    EXPECT_FALSE(s.Contains(510, 250));
    EXPECT_TRUE(pane->OutlineAnimating());
    // A Ctrl loop around a corner takes it away.
    DragThrough(*pane,
                {WindowOf(1, 540, 190), WindowOf(1, 570, 190), WindowOf(1, 570, 220),
                 WindowOf(1, 540, 220), WindowOf(1, 540, 190)},
                Qt::ControlModifier);
    EXPECT_FALSE(s.Contains(550, 210));
    EXPECT_TRUE(s.Contains(530, 215));
}

TEST_F(SpectrumSelectionTest, FreeHandClick_LeavesNoSelection) {
    Use(ToolFreeHandSelection);
    test::Click(*pane, WindowOf(0, 500, 200));
    EXPECT_EQ(pane->selection.PointCount(), 0);
}

TEST_F(SpectrumSelectionTest, ClearSelectedArea_ClearsTheChosenChannelsUntilUndo) {
    Use(ToolSelectionRectangle);
    pane->redEnabled = false;
    EXPECT_FALSE(Enabled(ID_FFT_CLEAR_SELECTION));
    DragFromTo(*pane, WindowOf(2, 500, 200), WindowOf(2, 520, 220));
    ASSERT_TRUE(Enabled(ID_FFT_CLEAR_SELECTION));
    const float red = Element(kRed, 510, 210);
    ASSERT_GT(Element(kGreen, 510, 210), 0.0f);
    ASSERT_GT(Element(kBlue, 520, 220), 0.0f);
    ASSERT_TRUE(pane->RunCommand(ID_FFT_CLEAR_SELECTION));
    EXPECT_EQ(Element(kGreen, 510, 210), 0.0f);
    EXPECT_EQ(Element(kBlue, 520, 220), 0.0f);
    EXPECT_EQ(Element(kRed, 510, 210), red);
    EXPECT_GT(Element(kBlue, 521, 220), 0.0f);
    // The selection stays for further edits, through undo and redo.
    EXPECT_EQ(pane->selection.Area(), 21 * 21);
    doc->CreateFinalImage();
    doc->Undo();
    EXPECT_GT(Element(kGreen, 510, 210), 0.0f);
    doc->Redo();
    EXPECT_EQ(Element(kGreen, 510, 210), 0.0f);
    doc->Undo();
    EXPECT_EQ(pane->selection.Area(), 21 * 21);
    EXPECT_TRUE(Enabled(ID_FFT_CLEAR_SELECTION));
}

TEST_F(SpectrumSelectionTest, ClearSelectedAreaAfterAnIconClick_ClearsNothing) {
    Use(ToolSelectionRectangle);
    DragFromTo(*pane, WindowOf(0, 500, 200), WindowOf(0, 520, 220));
    test::Click(*pane, Middle(*pane->CheckIconRect(ChannelKind::Blue)));
    ASSERT_EQ(pane->ActivePanel(), -1);
    ASSERT_TRUE(pane->RunCommand(ID_FFT_CLEAR_SELECTION));
    EXPECT_EQ(doc->workingState, nullptr);
}

TEST_F(SpectrumSelectionTest, DeselectAndInvert_FollowTheSelection) {
    Use(ToolSelectionRectangle);
    EXPECT_FALSE(Enabled(ID_FFT_DESELECT));
    EXPECT_FALSE(Enabled(ID_FFT_INVERT_SELECTION));
    DragFromTo(*pane, WindowOf(0, 500, 200), WindowOf(0, 520, 220));
    EXPECT_TRUE(Enabled(ID_FFT_DESELECT));
    EXPECT_TRUE(Enabled(ID_FFT_INVERT_SELECTION));
    ASSERT_TRUE(pane->RunCommand(ID_FFT_INVERT_SELECTION));
    EXPECT_FALSE(pane->selection.Contains(510, 210));
    EXPECT_TRUE(pane->selection.Contains(0, 0));
    EXPECT_TRUE(Enabled(ID_FFT_INVERT_SELECTION));
    ASSERT_TRUE(pane->RunCommand(ID_FFT_DESELECT));
    EXPECT_FALSE(Enabled(ID_FFT_DESELECT));
    EXPECT_FALSE(Enabled(ID_FFT_CLEAR_SELECTION));
    // The animation stops at its next step.
    pane->OutlineTick();
    EXPECT_FALSE(pane->OutlineAnimating());
}

TEST_F(SpectrumSelectionTest, NewImage_EmptiesTheSelection) {
    Use(ToolSelectionRectangle);
    DragFromTo(*pane, WindowOf(0, 500, 200), WindowOf(0, 520, 220));
    pane->OutlineTick();
    ASSERT_NE(pane->DisplayCopy(), nullptr);
    ASSERT_TRUE(doc->OnFileRevert());
    EXPECT_EQ(pane->selection.PointCount(), 0);
    EXPECT_EQ(pane->selection.Width(), 1024);
    EXPECT_EQ(pane->DisplayCopy(), nullptr);
}

/// The image pane at 1300 x 700 showing coffee.png (600 x 400) twice at zoom 1.
class ImageSelectionTest : public test::PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        pane = std::make_unique<CImageView>(*doc, window);
        pane->resize(1300, 700);
        pane->show();
        Open("coffee.png");
        test::Grab(*pane);
        ASSERT_EQ(pane->Layout().PanelCount(), 2);
        ASSERT_FLOAT_EQ(pane->Layout().PanelZoom(0), 1.0f);
    }

    CanvasPoint WindowOf(std::int32_t i, std::int32_t x, std::int32_t y) const {
        const CanvasPanel& p = *pane->Layout().Panel(i);
        return {x - p.sourceRect.left + p.destRect.left, y - p.sourceRect.top + p.destRect.top};
    }

    std::unique_ptr<CImageView> pane;
};

TEST_F(ImageSelectionTest, ToolsSelectInImageCoordinatesOfEitherPanel) {
    window.tool = ToolSelectionRectangle;
    DragFromTo(*pane, WindowOf(1, 100, 50), WindowOf(1, 200, 120));
    EXPECT_EQ(pane->selection.Bounds(), (RegionRect{100, 50, 200, 120}));
    window.tool = ToolSelectionEllipse;
    DragFromTo(*pane, WindowOf(0, 300, 200), WindowOf(0, 340, 240), Qt::ShiftModifier);
    EXPECT_TRUE(pane->selection.Contains(320, 220));
    EXPECT_TRUE(pane->selection.Contains(150, 80));
    // The brush does nothing here.
    window.tool = ToolBrush;
    test::Click(*pane, WindowOf(0, 320, 220));
    EXPECT_EQ(doc->workingState, nullptr);
}

TEST_F(ImageSelectionTest, RectangleStartedOnACaption_IsTakenInWindowCoordinates) {
    window.tool = ToolSelectionRectangle;
    const CanvasRect panel = pane->Layout().Panel(0)->panelRect;
    DragFromTo(*pane, {panel.left + 40, panel.top - 5}, {panel.left + 300, panel.top + 100});
    EXPECT_EQ(pane->selection.Bounds(),
              (RegionRect{panel.left + 40, panel.top - 5, panel.left + 300, panel.top + 100}));
}

TEST_F(ImageSelectionTest, OutlineAnimation_StopsWhenNothingIsSelected) {
    window.tool = ToolSelectionRectangle;
    DragFromTo(*pane, WindowOf(0, 100, 50), WindowOf(0, 200, 120));
    EXPECT_TRUE(pane->OutlineAnimating());
    pane->OutlineTick();
    EXPECT_TRUE(pane->OutlineAnimating());
    ASSERT_TRUE(pane->RunCommand(ID_FFT_DESELECT));
    pane->OutlineTick();
    EXPECT_FALSE(pane->OutlineAnimating());
}

}  // namespace
}  // namespace quarvel
