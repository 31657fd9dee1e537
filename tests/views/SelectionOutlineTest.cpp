#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QRegion>

#include "PaneTestSupport.h"
#include "imageio/QtBitmap.h"
#include "views/CImageView.h"
#include "views/FrequencyPane.h"

namespace quarvel {
namespace {

using test::Middle;

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;

/// The panes with the image they show on screen, outline included.
class SpectrumPane : public CPowerSpectrumView {
public:
    using CPaneBase::ScreenImage;
    using CPowerSpectrumView::CPowerSpectrumView;
};

class ImagePane : public CImageView {
public:
    using CImageView::CImageView;
    using CPaneBase::ScreenImage;
};

void Mouse(QWidget& widget, QEvent::Type type, CanvasPoint p) {
    const QPointF local(p.x, p.y);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, local, widget.mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void DragFromTo(QWidget& widget, CanvasPoint from, CanvasPoint to) {
    Mouse(widget, QEvent::MouseButtonPress, from);
    Mouse(widget, QEvent::MouseMove, to);
    Mouse(widget, QEvent::MouseButtonRelease, to);
}

QRgb At(const QImage& image, std::int32_t x, std::int32_t y) {
    return image.pixel(x, y) | 0xFF000000u;
}

/// The window point showing image pixel (x, y) in panel i at zoom 1.
CanvasPoint WindowOf(const CanvasLayout& layout, std::int32_t i, std::int32_t x, std::int32_t y) {
    const CanvasPanel& p = *layout.Panel(i);
    return {x - p.sourceRect.left + p.destRect.left, y - p.sourceRect.top + p.destRect.top};
}

/// The power spectrum pane showing coffee.png's spectra at zoom 1, with a selection rectangle
/// of spectrum elements (500, 200) to (523, 230) dragged in the red panel.
class SpectrumOutlineTest : public test::PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        pane = std::make_unique<SpectrumPane>(*doc, window);
        pane->resize(1300, 700);
        pane->show();
        Open("coffee.png");
        ASSERT_TRUE(pane->RunCommand(ID_ZOOM_ACTUAL_SIZE));
        test::Grab(*pane);
        window.tool = ToolSelectionRectangle;
        DragFromTo(*pane, Window(0, 500, 200), Window(0, 523, 230));
        ASSERT_EQ(pane->selection.Bounds(), (RegionRect{500, 200, 523, 230}));
    }

    CanvasPoint Window(std::int32_t i, std::int32_t x, std::int32_t y) const {
        return WindowOf(pane->Layout(), i, x, y);
    }

    std::unique_ptr<SpectrumPane> pane;
};

TEST_F(SpectrumOutlineTest, TicksDrawCrawlingDashesOnTheOutlinePixels) {
    // The drag's press set the phase to 0.
    pane->OutlineTick();
    QImage screen = pane->ScreenImage().copy();
    const CanvasPoint topLeft = Window(0, 500, 200);
    // Along the top side: six white pixels where (x + y) mod 12 is 6 to 11, six black ones
    // where it is 0 to 5.
    for (std::int32_t x = 500; x <= 523; ++x) {
        const CanvasPoint p = Window(0, x, 200);
        EXPECT_EQ(At(screen, p.x, p.y), (p.x + p.y) % 12 >= 6 ? kWhite : kBlack) << x;
    }
    // Every outline pixel is painted, and nothing inside the rectangle.
    for (const RegionPoint& q : pane->selection.Points()) {
        const CanvasPoint p = Window(0, q.x, q.y);
        const QRgb c = At(screen, p.x, p.y);
        EXPECT_TRUE(c == kWhite || c == kBlack) << q.x << "," << q.y;
    }
    const QImage red = ToQImage(*doc->ActiveState()->powerRed);
    EXPECT_EQ(At(screen, topLeft.x + 1, topLeft.y + 1), At(red, 501, 201));
    EXPECT_EQ(At(screen, topLeft.x - 1, topLeft.y), At(red, 499, 200));

    // The next tick moves the dashes by one pixel.
    pane->OutlineTick();
    screen = pane->ScreenImage().copy();
    for (std::int32_t y = 200; y <= 230; ++y) {
        const CanvasPoint p = Window(0, 500, y);
        EXPECT_EQ(At(screen, p.x, p.y), (p.x + p.y - 1) % 12 >= 6 ? kWhite : kBlack) << y;
    }
}

/// Records the areas a widget is asked to repaint.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget& widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return QObject::eventFilter(watched, event);
    }
    QRegion painted;
};

TEST_F(SpectrumOutlineTest, Tick_RepaintsOnlyTheOutlinesArea) {
    pane->OutlineTick();
    const PaintRecorder recorder(*pane);
    pane->OutlineTick();
    // One box around the 24 x 31 outline in each panel, not the pane.
    QRegion expected;
    for (std::int32_t i = 0; i < 3; ++i) {
        const CanvasPoint topLeft = Window(i, 500, 200);
        const CanvasPoint bottomRight = Window(i, 523, 230);
        expected += QRect(QPoint(topLeft.x, topLeft.y), QPoint(bottomRight.x, bottomRight.y));
    }
    EXPECT_EQ(recorder.painted, expected);
}

TEST_F(SpectrumOutlineTest, DisabledChannel_ShowsNoOutline) {
    test::Click(*pane, Middle(*pane->CheckIconRect(ChannelKind::Green)));
    ASSERT_FALSE(pane->greenEnabled);
    // Clicking the icon left no panel active; the selection is still there.
    ASSERT_EQ(pane->selection.Bounds(), (RegionRect{500, 200, 523, 230}));
    const QImage before = pane->ScreenImage().copy();
    pane->OutlineTick();
    pane->OutlineTick();
    const QImage after = pane->ScreenImage().copy();
    std::array<int, 3> changed = {0, 0, 0};
    for (std::int32_t i = 0; i < 3; ++i) {
        for (const RegionPoint& q : pane->selection.Points()) {
            const CanvasPoint p = Window(i, q.x, q.y);
            changed[static_cast<std::size_t>(i)] +=
                At(before, p.x, p.y) != At(after, p.x, p.y) ? 1 : 0;
        }
    }
    EXPECT_GT(changed[0], 20);
    EXPECT_EQ(changed[1], 0);
    EXPECT_GT(changed[2], 20);
}

TEST_F(SpectrumOutlineTest, ZoomIn_DrawsTheOutlineFromACopyAtTheNewZoom) {
    pane->OutlineTick();
    ASSERT_NE(pane->DisplayCopy(), nullptr);
    EXPECT_FLOAT_EQ(pane->DisplayCopy()->Scale(), 1.0f);
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_IN));
    pane->OutlineTick();
    const VXRegion* copy = pane->DisplayCopy();
    ASSERT_NE(copy, nullptr);
    EXPECT_FLOAT_EQ(copy->Scale(), 1.2f);
    // The scaled outline's top-left pixel lands on the panel at its scaled position.
    const CanvasPanel& panel = *pane->Layout().Panel(0);
    const RegionRect b = copy->Bounds();
    const std::int32_t sx =
        panel.destRect.left + b.left - static_cast<std::int32_t>(panel.sourceRect.left * 1.2f);
    const std::int32_t sy =
        panel.destRect.top + b.top - static_cast<std::int32_t>(panel.sourceRect.top * 1.2f);
    EXPECT_NEAR(b.left, 600, 1);
    const QImage screen = pane->ScreenImage().copy();
    const QRgb c = At(screen, sx, sy);
    EXPECT_TRUE(c == kWhite || c == kBlack);
    // The selection itself keeps its size.
    EXPECT_EQ(pane->selection.Bounds(), (RegionRect{500, 200, 523, 230}));
}

TEST_F(SpectrumOutlineTest, InvertSelection_LeavesNoTraceOfTheOldOutline) {
    pane->OutlineTick();
    ASSERT_TRUE(pane->RunCommand(ID_FFT_INVERT_SELECTION));
    pane->OutlineTick();
    const QImage screen = pane->ScreenImage().copy();
    const QImage red = ToQImage(*doc->ActiveState()->powerRed);
    // The old outline is unselected now; the new one lies just outside it.
    for (const CanvasPoint q :
         {CanvasPoint{500, 200}, CanvasPoint{510, 200}, CanvasPoint{523, 215}}) {
        const CanvasPoint p = Window(0, q.x, q.y);
        EXPECT_EQ(At(screen, p.x, p.y), At(red, q.x, q.y)) << q.x << "," << q.y;
    }
    const CanvasPoint outside = Window(0, 510, 199);
    const QRgb c = At(screen, outside.x, outside.y);
    EXPECT_TRUE(c == kWhite || c == kBlack);
}

TEST_F(SpectrumOutlineTest, RectangleDrag_ShowsInvertedPixelsUntilTheRelease) {
    const CanvasPoint a = Window(0, 540, 250);
    const CanvasPoint b = Window(0, 560, 270);
    const QImage before = pane->ScreenImage().copy();
    Mouse(*pane, QEvent::MouseButtonPress, a);
    Mouse(*pane, QEvent::MouseMove, {b.x + 5, b.y + 5});
    // A repaint in the middle of the drag keeps the rectangle shown, so the next move can
    // take it away again.
    test::Grab(*pane);
    Mouse(*pane, QEvent::MouseMove, b);
    const QImage during = pane->ScreenImage().copy();
    // The border of the dragged rectangle is inverted, once; inside and the first, larger
    // rectangle are not.
    EXPECT_EQ(At(during, a.x, a.y), At(before, a.x, a.y) ^ 0x00FFFFFFu);
    EXPECT_EQ(At(during, b.x, a.y + 7), At(before, b.x, a.y + 7) ^ 0x00FFFFFFu);
    EXPECT_EQ(At(during, a.x + 5, a.y + 5), At(before, a.x + 5, a.y + 5));
    EXPECT_EQ(At(during, b.x + 5, b.y + 2), At(before, b.x + 5, b.y + 2));
    Mouse(*pane, QEvent::MouseButtonRelease, b);
    EXPECT_EQ(pane->selection.Bounds(), (RegionRect{540, 250, 560, 270}));
}

class ImageOutlineTest : public test::PaneTest {};

TEST_F(ImageOutlineTest, BothPanelsShowTheOutline) {
    ImagePane pane(*doc, window);
    pane.resize(1300, 700);
    pane.show();
    Open("coffee.png");
    test::Grab(pane);
    window.tool = ToolSelectionRectangle;
    DragFromTo(pane, WindowOf(pane.Layout(), 1, 100, 60), WindowOf(pane.Layout(), 1, 140, 90));
    pane.OutlineTick();
    const QImage screen = pane.ScreenImage().copy();
    for (std::int32_t i = 0; i < 2; ++i) {
        int painted = 0;
        for (std::int32_t x = 100; x <= 140; ++x) {
            const CanvasPoint p = WindowOf(pane.Layout(), i, x, 60);
            painted += At(screen, p.x, p.y) == ((p.x + p.y) % 12 >= 6 ? kWhite : kBlack) ? 1 : 0;
        }
        EXPECT_EQ(painted, 41) << i;
    }
    // A new drag without keys starts a new selection: the old outline goes at the press and
    // does not come back while the button is held.
    const CanvasPoint corner = WindowOf(pane.Layout(), 0, 100, 60);
    Mouse(pane, QEvent::MouseButtonPress, WindowOf(pane.Layout(), 0, 300, 200));
    pane.OutlineTick();
    const QImage pressed = pane.ScreenImage().copy();
    EXPECT_EQ(At(pressed, corner.x, corner.y), At(ToQImage(*doc->originalImage), 100, 60));
    Mouse(pane, QEvent::MouseButtonRelease, WindowOf(pane.Layout(), 0, 320, 210));
    EXPECT_EQ(pane.selection.Bounds(), (RegionRect{300, 200, 320, 210}));
}

}  // namespace
}  // namespace quarvel
