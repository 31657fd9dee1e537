#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>

#include "PaneTestSupport.h"
#include "views/CImageView.h"
#include "views/FrequencyPane.h"

namespace quarvel {
namespace {

using test::Middle;

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kUnder = 0xFF336699;

/// The image pane with the canvas state the tests look at.
class ToolPane : public CImageView {
public:
    using CImageView::CImageView;
    using CPaneBase::AnimationPhase;
    using CPaneBase::Drag;
    using CPaneBase::DragRect;
    using CPaneBase::HasDragFeedback;
    using CPaneBase::ScreenImage;
    using CPaneBase::SetAnimationPhase;
    using CPaneBase::SetZoomAll;
    using CPaneBase::TimerTick;
    using CPaneBase::ZoomWindowTimerActive;
};

/// Sends a left-button event: the button is held during moves.
void Mouse(QWidget& widget, QEvent::Type type, CanvasPoint p,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPointF local(p.x, p.y);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, local, widget.mapToGlobal(local), button, held, modifiers);
    QApplication::sendEvent(&widget, &event);
}

void Drag(QWidget& widget, CanvasPoint from, CanvasPoint to,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    Mouse(widget, QEvent::MouseButtonPress, from, modifiers);
    Mouse(widget, QEvent::MouseMove, to);
    Mouse(widget, QEvent::MouseButtonRelease, to);
}

void Click(QWidget& widget, CanvasPoint p, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    Mouse(widget, QEvent::MouseButtonPress, p, modifiers);
    Mouse(widget, QEvent::MouseButtonRelease, p);
}

/// The image pane, 1300 x 700, showing coffee.png (600 x 400) in two panels 644 pixels wide.
class CanvasToolsTest : public test::PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        pane = std::make_unique<ToolPane>(*doc, window);
        pane->resize(1300, 700);
        pane->show();
        Open("coffee.png");
        test::Grab(*pane);
        ASSERT_EQ(Layout().PanelCount(), 2);
        ASSERT_FLOAT_EQ(Layout().PanelZoom(0), 1.0f);
    }

    const CanvasLayout& Layout() const { return pane->Layout(); }
    const CanvasPanel& Panel(std::int32_t i) const { return *Layout().Panel(i); }
    float Zoom() const { return Layout().PanelZoom(0); }
    void Use(ToolId tool) { window.tool = tool; }
    /// The image pixel in the middle of panel i's rectangle.
    CanvasPoint PixelAtPanelMiddle(std::int32_t i) const {
        return *Layout().WindowToImage(i, Middle(Panel(i).panelRect));
    }

    std::unique_ptr<ToolPane> pane;
};

TEST_F(CanvasToolsTest, PanHand_DoesNotMoveAnImageThatFitsItsPanel) {
    Use(ToolPanHand);
    const CanvasPanel before = Panel(0);
    Drag(*pane, Middle(Panel(0).destRect), {Middle(Panel(0).destRect).x + 60, 100});
    EXPECT_EQ(Panel(0).sourceRect, before.sourceRect);
    EXPECT_EQ(Panel(0).destRect, before.destRect);
    EXPECT_EQ(pane->Drag(), PaneDrag::None);
}

TEST_F(CanvasToolsTest, PanHand_AtZoomTwoMovesEveryPanelByWholeImagePixels) {
    Use(ToolPanHand);
    pane->SetZoomAll(2.0f, true);
    const CanvasRect first = Panel(0).sourceRect;
    const CanvasRect second = Panel(1).sourceRect;
    const CanvasPoint start = Middle(Panel(0).panelRect);

    // Ten one-pixel moves: each drops its half image pixel.
    Mouse(*pane, QEvent::MouseButtonPress, start);
    for (int k = 1; k <= 10; ++k) {
        Mouse(*pane, QEvent::MouseMove, {start.x + k, start.y});
    }
    EXPECT_EQ(Panel(0).sourceRect, first);

    // Forty pixels right and down in one move: the picture follows by twenty image pixels.
    Mouse(*pane, QEvent::MouseMove, {start.x + 50, start.y + 41});
    EXPECT_EQ(Panel(0).sourceRect.left, first.left - 20);
    EXPECT_EQ(Panel(0).sourceRect.right, first.right - 20);
    EXPECT_EQ(Panel(0).sourceRect.top, first.top - 20);
    EXPECT_EQ(Panel(1).sourceRect.left, second.left - 20);
    Mouse(*pane, QEvent::MouseButtonRelease, {start.x + 50, start.y + 41});
    EXPECT_EQ(pane->Drag(), PaneDrag::None);

    // The window stops at the image's first pixel and may reach imageWidth on the other side.
    Drag(*pane, start, {start.x + 3000, start.y + 3000});
    EXPECT_EQ(Panel(0).sourceRect.left, 0);
    EXPECT_EQ(Panel(0).sourceRect.top, 0);
    Drag(*pane, start, {start.x - 3000, start.y - 3000});
    EXPECT_EQ(Panel(0).sourceRect.right, 600);
    EXPECT_EQ(Panel(0).sourceRect.bottom, 400);
}

TEST_F(CanvasToolsTest, ZoomInOutClick_StepsTheZoomAndCentresTheClickedPixel) {
    Use(ToolZoomInOut);
    const CanvasPoint at{Panel(1).destRect.left + 320, Panel(1).destRect.top + 250};
    const CanvasPoint pixel = *Layout().WindowToImage(1, at);
    Click(*pane, at);
    EXPECT_FLOAT_EQ(Zoom(), 1.2f);
    EXPECT_FLOAT_EQ(Layout().PanelZoom(1), 1.2f);
    // At 1.2 the 400 rows still fit, the 600 columns do not: only x scrolls.
    EXPECT_NEAR(PixelAtPanelMiddle(1).x, pixel.x, 1);

    Click(*pane, at, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(Zoom(), 1.0f);
    Click(*pane, at, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(Zoom(), 0.8f);
}

TEST_F(CanvasToolsTest, ZoomInOutClick_IsClampedAndIgnoresPointsOutsideThePanels) {
    Use(ToolZoomInOut);
    pane->SetZoomAll(7.9f, true);
    Click(*pane, Middle(Panel(0).panelRect));
    EXPECT_FLOAT_EQ(Zoom(), 8.0f);

    pane->SetZoomAll(0.1f, true);
    Click(*pane, Middle(Panel(0).panelRect), Qt::ControlModifier);
    EXPECT_FLOAT_EQ(Zoom(), 0.05f);

    // The caption band and the gap between the panels.
    Click(*pane, {Panel(0).panelRect.left + 20, Panel(0).panelRect.top - 5});
    Click(*pane, {Panel(0).panelRect.right + 2, Middle(Panel(0).panelRect).y});
    EXPECT_FLOAT_EQ(Zoom(), 0.05f);
}

TEST_F(CanvasToolsTest, ZoomWindow_FillsThePanelAtTheZoomRoundedToTwoDecimals) {
    Use(ToolZoomWindow);
    ASSERT_EQ(Panel(0).panelRect.Width(), 644);
    const CanvasRect d = Panel(0).destRect;
    // 644 / 520 = 1.2385 is the smaller ratio; less 0.005 it is 1.2335, kept as 1.23.
    const CanvasPoint from{d.left + 40, d.top + 100};
    const CanvasPoint to{from.x + 520, from.y + 100};
    const CanvasPoint centre = *Layout().WindowToImage(0, {from.x + 260, from.y + 50});
    Drag(*pane, from, to);
    EXPECT_FLOAT_EQ(Zoom(), 1.23f);
    EXPECT_FLOAT_EQ(Layout().PanelZoom(1), 1.23f);
    EXPECT_NEAR(PixelAtPanelMiddle(0).x, centre.x, 1);
    EXPECT_FALSE(pane->HasDragFeedback());
    EXPECT_FALSE(pane->ZoomWindowTimerActive());
    EXPECT_EQ(pane->Drag(), PaneDrag::None);

    // A rectangle of a few pixels asks for more than the largest zoom.
    Drag(*pane, Middle(Panel(0).panelRect),
         {Middle(Panel(0).panelRect).x + 3, Middle(Panel(0).panelRect).y + 3});
    EXPECT_FLOAT_EQ(Zoom(), 8.0f);
}

TEST_F(CanvasToolsTest, ZoomWindow_ClickWithoutDragKeepsTheZoomAndEndsTheAnimation) {
    Use(ToolZoomWindow);
    const CanvasPanel before = Panel(0);
    const CanvasPoint at = Middle(Panel(0).destRect);
    Mouse(*pane, QEvent::MouseButtonPress, at);
    EXPECT_TRUE(pane->HasDragFeedback());
    EXPECT_TRUE(pane->ZoomWindowTimerActive());
    EXPECT_EQ(pane->Drag(), PaneDrag::ZoomWindow);
    Mouse(*pane, QEvent::MouseButtonRelease, at);
    EXPECT_FLOAT_EQ(Zoom(), 1.0f);
    EXPECT_EQ(Panel(0).sourceRect, before.sourceRect);
    EXPECT_FALSE(pane->HasDragFeedback());
    EXPECT_FALSE(pane->ZoomWindowTimerActive());
    EXPECT_EQ(pane->AnimationPhase(), 0);

    // A press on the background around the centred image starts no drag at all.
    Mouse(*pane, QEvent::MouseButtonPress, {before.destRect.left - 5, at.y});
    EXPECT_EQ(pane->Drag(), PaneDrag::None);
    EXPECT_FALSE(pane->ZoomWindowTimerActive());
    Mouse(*pane, QEvent::MouseButtonRelease, {before.destRect.left - 5, at.y});
}

TEST_F(CanvasToolsTest, ZoomWindow_RectangleIsClippedToTheImageUnderTheMouse) {
    Use(ToolZoomWindow);
    const CanvasRect d = Panel(0).destRect;
    Mouse(*pane, QEvent::MouseButtonPress, {d.left + 100, d.top + 100});
    // Past the image's bottom-right corner, still inside the panel.
    Mouse(*pane, QEvent::MouseMove, {d.right + 10, d.bottom + 10});
    EXPECT_EQ(pane->DragRect(), (CanvasRect{d.left + 100, d.top + 100, d.right, d.bottom}));
    // Up and left of the start: the rectangle is normalised.
    Mouse(*pane, QEvent::MouseMove, {d.left + 30, d.top + 60});
    EXPECT_EQ(pane->DragRect(), (CanvasRect{d.left + 30, d.top + 60, d.left + 100, d.top + 100}));
    // Into the grey margin left of the other panel's image: clipped to that image, nothing of
    // the rectangle is left, and the release zooms nothing.
    const CanvasPoint margin{Panel(1).destRect.left - 8, d.top + 60};
    ASSERT_EQ(Layout().PanelAtPoint(margin), 1);
    Mouse(*pane, QEvent::MouseMove, margin);
    Mouse(*pane, QEvent::MouseButtonRelease, margin);
    EXPECT_FLOAT_EQ(Zoom(), 1.0f);
    EXPECT_EQ(Panel(0).sourceRect, (CanvasRect{0, 0, 599, 399}));
}

TEST_F(CanvasToolsTest, ZoomWindowTick_ShowsTheDashedRectangleOverTheSavedPicture) {
    Use(ToolZoomWindow);
    const CanvasRect d = Panel(0).destRect;
    const CanvasRect r{d.left + 50, d.top + 40, d.left + 62, d.top + 48};
    Mouse(*pane, QEvent::MouseButtonPress, {r.left, r.top});
    const QImage before = pane->ScreenImage().copy();
    Mouse(*pane, QEvent::MouseMove, {r.right, r.bottom});
    ASSERT_EQ(pane->DragRect(), r);

    // The zoom-window timer moves the dashes on its own while the button is held.
    QElapsedTimer waited;
    waited.start();
    while (pane->AnimationPhase() == 0 && waited.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_NE(pane->AnimationPhase(), 0);
    EXPECT_NE(pane->ScreenImage(), before);

    pane->SetAnimationPhase(11);
    pane->TimerTick();
    ASSERT_EQ(pane->AnimationPhase(), 0);
    const QImage& shown = pane->ScreenImage();
    const auto at = [&shown](std::int32_t x, std::int32_t y) { return shown.pixel(x, y); };
    const auto under = [&before](std::int32_t x, std::int32_t y) { return before.pixel(x, y); };
    for (std::int32_t k = 1; k <= 5; ++k) {
        EXPECT_EQ(at(r.left + k, r.top), kWhite) << k;
        EXPECT_EQ(at(r.right - 1, r.top + k), kWhite) << k;
    }
    for (std::int32_t k = 7; k <= 10; ++k) {
        EXPECT_EQ(at(r.left + k, r.top), kBlack) << k;
    }
    EXPECT_EQ(at(r.left, r.top), under(r.left, r.top));
    EXPECT_EQ(at(r.left + 6, r.top), under(r.left + 6, r.top));
    EXPECT_EQ(at(r.right - 1, r.top), under(r.right - 1, r.top));
    EXPECT_EQ(at(r.right - 1, r.bottom - 1), under(r.right - 1, r.bottom - 1));
    // Inside the rectangle the picture is untouched.
    EXPECT_EQ(at(r.left + 3, r.top + 3), under(r.left + 3, r.top + 3));

    // The next tick moves the dashes one pixel along and keeps no trace of the last frame.
    pane->TimerTick();
    EXPECT_EQ(pane->AnimationPhase(), 1);
    EXPECT_EQ(pane->ScreenImage().pixel(r.left + 1, r.top), under(r.left + 1, r.top));
    EXPECT_EQ(pane->ScreenImage().pixel(r.left + 7, r.top), under(r.left + 7, r.top));
    EXPECT_EQ(pane->ScreenImage().pixel(r.left + 6, r.top), kWhite);
    Mouse(*pane, QEvent::MouseButtonRelease, {r.right, r.bottom});
}

TEST(DashedRectangle, TwelvePixelsWideAtPhaseZero) {
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(kUnder);
    const CanvasRect r{4, 3, 16, 9};
    CPaneBase::DrawDashedRectangle(image, r, 0);
    // Position along the frame: top and left from the corner, right after 12, bottom after 6.
    const auto expected = [](std::int32_t s) {
        const std::int32_t t = s % 12;
        return t == 0 || t == 6 ? kUnder : (t < 6 ? kWhite : kBlack);
    };
    for (std::int32_t x = r.left; x <= r.right - 2; ++x) {
        EXPECT_EQ(image.pixel(x, r.top), expected(x - r.left)) << "top " << x;
        EXPECT_EQ(image.pixel(x, r.bottom - 1), expected(6 + x - r.left)) << "bottom " << x;
    }
    for (std::int32_t y = r.top; y <= r.bottom - 2; ++y) {
        EXPECT_EQ(image.pixel(r.left, y), expected(y - r.top)) << "left " << y;
        EXPECT_EQ(image.pixel(r.right - 1, y), expected(12 + y - r.top)) << "right " << y;
    }
    EXPECT_EQ(image.pixel(r.right - 1, r.bottom - 1), kUnder);
    EXPECT_EQ(image.pixel(r.left + 7, r.top), kBlack);
    EXPECT_EQ(image.pixel(r.right - 1, r.top + 1), kWhite);
    // Nothing outside the four lines.
    EXPECT_EQ(image.pixel(r.left + 2, r.top + 2), kUnder);
    EXPECT_EQ(image.pixel(r.right, r.top), kUnder);
    EXPECT_EQ(image.pixel(r.left, r.bottom), kUnder);
}

TEST(DashedRectangle, PartlyOutsideTheTarget_PaintsOnlyItsPixels) {
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(kUnder);
    CPaneBase::DrawDashedRectangle(image, CanvasRect{-5, -5, 8, 8}, 3);
    // Left column -5 and top row -5 lie outside; the right column 7 has s = 13 + y + 5.
    EXPECT_EQ(image.pixel(7, 0), kWhite);  // s = 18, t = 3
    EXPECT_EQ(image.pixel(7, 3), kUnder);  // s = 21, t = 6
    EXPECT_EQ(image.pixel(7, 4), kBlack);  // s = 22, t = 7
    EXPECT_EQ(image.pixel(3, 3), kUnder);
}

TEST_F(CanvasToolsTest, DynamicZoom_HundredPixelsUpAddsOneAndDownStopsAtTheSmallestZoom) {
    Use(ToolDynamicZoom);
    const CanvasPoint start = Middle(Panel(0).destRect);
    const CanvasPoint anchor = *Layout().WindowToImageClamped(0, start);
    Mouse(*pane, QEvent::MouseButtonPress, start);
    EXPECT_EQ(pane->Drag(), PaneDrag::DynamicZoom);
    Mouse(*pane, QEvent::MouseMove, {start.x, start.y - 100});
    EXPECT_FLOAT_EQ(Zoom(), 2.0f);
    EXPECT_NEAR(PixelAtPanelMiddle(0).x, anchor.x, 1);
    EXPECT_NEAR(PixelAtPanelMiddle(0).y, anchor.y, 1);
    // Ten steps of ten pixels up add another 1.0.
    for (int k = 1; k <= 10; ++k) {
        Mouse(*pane, QEvent::MouseMove, {start.x, start.y - 100 - 10 * k});
    }
    EXPECT_NEAR(Zoom(), 3.0f, 1e-5f);
    Mouse(*pane, QEvent::MouseMove, {start.x, start.y + 300});
    EXPECT_FLOAT_EQ(Zoom(), 0.05f);
    Mouse(*pane, QEvent::MouseButtonRelease, {start.x, start.y + 300});
    EXPECT_EQ(pane->Drag(), PaneDrag::None);
    Mouse(*pane, QEvent::MouseMove, {start.x, start.y - 100});
    EXPECT_FLOAT_EQ(Zoom(), 0.05f);
}

TEST_F(CanvasToolsTest, DynamicZoom_AboveThePanelsGoesOnFromTheSharedZoom) {
    Use(ToolDynamicZoom);
    const CanvasPoint start{Middle(Panel(0).destRect).x, Panel(0).panelRect.top + 30};
    Mouse(*pane, QEvent::MouseButtonPress, start);
    Mouse(*pane, QEvent::MouseMove, {start.x, start.y - 20});
    ASSERT_FLOAT_EQ(Zoom(), 1.2f);
    // Into the caption band: a further 20 pixels up add 0.2 to 1.2, not to a default of 1.
    Mouse(*pane, QEvent::MouseMove, {start.x, start.y - 40});
    EXPECT_NEAR(Zoom(), 1.4f, 1e-5f);
    Mouse(*pane, QEvent::MouseButtonRelease, {start.x, start.y - 40});

    // A press outside every panel starts no dynamic zoom.
    Mouse(*pane, QEvent::MouseButtonPress, {start.x, Panel(0).panelRect.top - 5});
    EXPECT_EQ(pane->Drag(), PaneDrag::None);
}

TEST_F(CanvasToolsTest, ToolChosenDuringADrag_TakesOverOnlyAtTheNextPress) {
    Use(ToolPanHand);
    pane->SetZoomAll(2.0f, true);
    const CanvasPoint start = Middle(Panel(0).panelRect);
    const CanvasRect first = Panel(0).sourceRect;
    Mouse(*pane, QEvent::MouseButtonPress, start);
    Use(ToolZoomInOut);
    Mouse(*pane, QEvent::MouseMove, {start.x + 20, start.y});
    EXPECT_EQ(Panel(0).sourceRect.left, first.left - 10);
    // The release still ends the pan: later moves without the button do not pan.
    Mouse(*pane, QEvent::MouseButtonRelease, {start.x + 20, start.y});
    EXPECT_EQ(pane->Drag(), PaneDrag::None);
    Mouse(*pane, QEvent::MouseMove, {start.x + 60, start.y});
    EXPECT_EQ(Panel(0).sourceRect.left, first.left - 10);
    EXPECT_FLOAT_EQ(Zoom(), 2.0f);

    // A zoom-window drag ends as a zoom window after switching to the pan hand.
    Use(ToolZoomWindow);
    const CanvasRect d = Panel(0).destRect;
    Mouse(*pane, QEvent::MouseButtonPress, {d.left + 10, d.top + 10});
    Use(ToolPanHand);
    Mouse(*pane, QEvent::MouseMove, {d.left + 330, d.top + 170});
    Mouse(*pane, QEvent::MouseButtonRelease, {d.left + 330, d.top + 170});
    EXPECT_GT(Zoom(), 3.0f);
    EXPECT_FALSE(pane->ZoomWindowTimerActive());
    EXPECT_FALSE(pane->HasDragFeedback());
}

TEST_F(CanvasToolsTest, PressAfterALostRelease_EndsTheOldDragFirst) {
    Use(ToolZoomWindow);
    const CanvasPoint at = Middle(Panel(0).destRect);
    Mouse(*pane, QEvent::MouseButtonPress, at);
    Mouse(*pane, QEvent::MouseMove, {at.x + 40, at.y + 40});
    ASSERT_TRUE(pane->ZoomWindowTimerActive());
    Use(ToolPanHand);
    Mouse(*pane, QEvent::MouseButtonPress, at);
    EXPECT_EQ(pane->Drag(), PaneDrag::Panning);
    EXPECT_FALSE(pane->ZoomWindowTimerActive());
    EXPECT_FALSE(pane->HasDragFeedback());
    Mouse(*pane, QEvent::MouseButtonRelease, at);
    EXPECT_FLOAT_EQ(Zoom(), 1.0f);
}

TEST_F(CanvasToolsTest, NewImageDuringADrag_CancelsIt) {
    Use(ToolZoomWindow);
    const CanvasPoint at = Middle(Panel(0).destRect);
    Mouse(*pane, QEvent::MouseButtonPress, at);
    Mouse(*pane, QEvent::MouseMove, {at.x + 40, at.y + 40});
    Open("coins.png");
    EXPECT_EQ(pane->Drag(), PaneDrag::None);
    EXPECT_FALSE(pane->ZoomWindowTimerActive());
    EXPECT_FALSE(pane->HasDragFeedback());
    // The release that follows zooms nothing.
    Mouse(*pane, QEvent::MouseButtonRelease, {at.x + 40, at.y + 40});
    EXPECT_FLOAT_EQ(Zoom(), 1.0f);
}

class SpectrumPaneTools : public test::PaneTest {};

TEST_F(SpectrumPaneTools, ZoomAndPan_MoveAllThreeChannelsTogether) {
    CPowerSpectrumView pane(*doc, window);
    pane.resize(1300, 700);
    pane.show();
    Open("coffee.png");
    test::Grab(pane);
    const CanvasLayout& layout = pane.Layout();
    ASSERT_EQ(layout.PanelCount(), 3);
    const float fit = layout.PanelZoom(0);
    ASSERT_LT(fit, 1.0f);

    window.tool = ToolZoomInOut;
    Click(pane, Middle(layout.Panel(2)->panelRect));
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(layout.PanelZoom(i), fit + 0.2f) << i;
    }

    // 1024 columns at the new zoom are wider than a panel; the pan moves every window alike.
    window.tool = ToolPanHand;
    const std::int32_t left = layout.Panel(0)->sourceRect.left;
    ASSERT_GT(left, 0);
    Drag(pane, Middle(layout.Panel(1)->panelRect),
         {Middle(layout.Panel(1)->panelRect).x + 30, 300});
    const auto moved = static_cast<std::int32_t>(30.0f / layout.PanelZoom(0));
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(layout.Panel(i)->sourceRect.left, left - moved) << i;
    }
}

}  // namespace
}  // namespace quarvel
