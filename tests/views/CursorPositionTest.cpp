#include <gtest/gtest.h>

#include "PaneTestSupport.h"
#include "app/CFFTQuarvelView.h"
#include "app/CMainFrame.h"
#include "views/CImageView.h"
#include "views/FrequencyPane.h"

namespace quarvel {
namespace {

using test::Middle;

class CursorPositionTest : public test::PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        frame = std::make_unique<CMainFrame>(*doc);
        frame->resize(1400, 900);
        frame->show();
    }

    std::unique_ptr<CMainFrame> frame;
};

TEST_F(CursorPositionTest, MoveOverImage_ReportsTheClampedPixelAndOffItOnlyClearsX) {
    Open("coffee.png");
    CPaneBase& pane = *frame->TabView()->ImagePane();
    const CanvasPanel& panel = *pane.Layout().Panel(1);
    ASSERT_FLOAT_EQ(pane.Layout().PanelZoom(1), 1.0f);
    const CanvasRect d = panel.destRect;

    test::SendMouse(pane, QEvent::MouseMove, {d.left + 17, d.top + 5});
    EXPECT_EQ(frame->cursorPoint.x, 17);
    EXPECT_EQ(frame->cursorPoint.y, 5);
    EXPECT_EQ(frame->CursorXText(), QStringLiteral("X: 17"));

    // The right and bottom edges of the drawn image still show its last pixel.
    test::SendMouse(pane, QEvent::MouseMove, {d.right, d.bottom});
    EXPECT_EQ(frame->cursorPoint.x, 599);
    EXPECT_EQ(frame->cursorPoint.y, 399);

    test::SendMouse(pane, QEvent::MouseMove, {d.left - 3, d.top + 5});
    EXPECT_EQ(frame->cursorPoint.x, -1);
    EXPECT_EQ(frame->cursorPoint.y, 399);
    EXPECT_TRUE(frame->CursorXText().isEmpty());
}

TEST_F(CursorPositionTest, MoveOverCaptionOrGap_ShowsNoPosition) {
    Open("rocket.jpg");
    CPaneBase& pane = *frame->TabView()->SpectrumPane();
    frame->TabView()->SetActiveTab(1);
    const CanvasRect first = pane.Layout().Panel(0)->panelRect;
    const CanvasRect second = pane.Layout().Panel(1)->panelRect;
    test::SendMouse(pane, QEvent::MouseMove, Middle(first));
    ASSERT_NE(frame->cursorPoint.x, -1);
    test::SendMouse(pane, QEvent::MouseMove, {first.left + 30, first.top - 5});
    EXPECT_EQ(frame->cursorPoint.x, -1);
    test::SendMouse(pane, QEvent::MouseMove, Middle(second));
    ASSERT_NE(frame->cursorPoint.x, -1);
    test::SendMouse(pane, QEvent::MouseMove, {first.right + 2, Middle(first).y});
    EXPECT_EQ(frame->cursorPoint.x, -1);
}

TEST_F(CursorPositionTest, ImageOpenedWhileTheTabIsHidden_IsFittedToTheShownPane) {
    Open("coffee.png");
    frame->TabView()->SetActiveTab(1);
    CPaneBase& pane = *frame->TabView()->SpectrumPane();
    ASSERT_TRUE(pane.isVisible());
    test::Grab(pane);
    // 1024 spectrum columns do not fit a third of the window: the fit of the shown panels.
    EXPECT_LT(pane.Layout().PanelZoom(0), 1.0f);
    EXPECT_FLOAT_EQ(pane.Layout().PanelZoom(0), pane.Layout().FitZoom(0));
    EXPECT_EQ(pane.Layout().Panel(2)->panelRect.right, pane.width() - 4);
}

TEST_F(CursorPositionTest, ZoomChosenAfterShowing_IsKeptWhenTheWindowIsResized) {
    Open("coffee.png");
    CPaneBase& pane = *frame->TabView()->ImagePane();
    test::Grab(pane);
    ASSERT_TRUE(pane.RunCommand(ID_ZOOM_IN));
    frame->resize(1000, 700);
    EXPECT_FLOAT_EQ(pane.Layout().PanelZoom(0), 1.2f);
}

TEST_F(CursorPositionTest, AfterAPan_ThePixelUnderTheMouseFollowsThePicture) {
    Open("coffee.png");
    CPaneBase& pane = *frame->TabView()->ImagePane();
    test::Grab(pane);
    for (int k = 0; k < 5; ++k) {
        ASSERT_TRUE(pane.RunCommand(ID_ZOOM_IN));
    }
    ASSERT_NEAR(pane.Layout().PanelZoom(0), 2.0f, 1e-5f);
    const CanvasRect first = pane.Layout().Panel(0)->panelRect;
    const CanvasPoint at = Middle(first);
    test::SendMouse(pane, QEvent::MouseMove, at);
    const CursorPoint before = frame->cursorPoint;

    // The pan hand drags the picture 40 window pixels right and 20 down: about 20 and 10
    // image pixels (19 and 9 when five steps of 0.2 add up to a little over 2).
    const CanvasRect source = pane.Layout().Panel(0)->sourceRect;
    test::SendMouse(pane, QEvent::MouseButtonPress, at, Qt::LeftButton);
    test::SendMouse(pane, QEvent::MouseMove, {at.x + 40, at.y + 20}, Qt::LeftButton);
    test::SendMouse(pane, QEvent::MouseButtonRelease, {at.x + 40, at.y + 20});
    const CanvasRect panned = pane.Layout().Panel(0)->sourceRect;
    EXPECT_NEAR(source.left - panned.left, 20, 1);
    EXPECT_NEAR(source.top - panned.top, 10, 1);
    test::SendMouse(pane, QEvent::MouseMove, at);
    EXPECT_EQ(frame->cursorPoint.x, before.x - (source.left - panned.left));
    EXPECT_EQ(frame->cursorPoint.y, before.y - (source.top - panned.top));

    // Both images fill their panels now; between them no position is shown.
    const std::int32_t y = frame->cursorPoint.y;
    test::SendMouse(pane, QEvent::MouseMove, {first.right + 2, at.y});
    EXPECT_EQ(frame->cursorPoint.x, -1);
    EXPECT_EQ(frame->cursorPoint.y, y);
    EXPECT_TRUE(frame->CursorYText().isEmpty());
}

TEST_F(CursorPositionTest, WithoutImage_NoPositionIsShown) {
    CPaneBase& pane = *frame->TabView()->ImagePane();
    test::SendMouse(pane, QEvent::MouseMove, Middle(pane.Layout().Panel(0)->panelRect));
    EXPECT_EQ(frame->cursorPoint.x, -1);
}

}  // namespace
}  // namespace quarvel
