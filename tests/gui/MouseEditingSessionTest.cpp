#include <optional>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QStatusBar>
#include <QToolBar>

#include "ShellFixture.h"
#include "app/CFFTQuarvelView.h"
#include "views/FrequencyPane.h"

namespace quarvel::test {
namespace {

/// A left-button event on widget as the window system delivers it (through the tab view's
/// event filter); the button stays down during moves.
void Mouse(QWidget& widget, QEvent::Type type, QPoint at) {
    const QPointF local(at);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, local, widget.mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

/// Opens, edits the spectrum with the mouse, creates the final image and saves it.
class MouseEditingSession : public ShellTest {
protected:
    CPowerSpectrumView& SpectrumPane() {
        return *static_cast<CPowerSpectrumView*>(Frame().TabView()->SpectrumPane());
    }

    /// Drags from a to b (window points of the spectrum pane's first panel, as offsets from
    /// the middle of its image).
    void DragOnFirstPanel(QPoint a, QPoint b) {
        CPowerSpectrumView& pane = SpectrumPane();
        const CanvasRect d = pane.Layout().Panel(0)->destRect;
        const QPoint middle((d.left + d.right) / 2, (d.top + d.bottom) / 2);
        Mouse(pane, QEvent::MouseButtonPress, middle + a);
        Mouse(pane, QEvent::MouseMove, middle + (a + b) / 2);
        Mouse(pane, QEvent::MouseMove, middle + b);
        Mouse(pane, QEvent::MouseButtonRelease, middle + b);
    }

    /// Creates the final image and saves it; the saved file, read back.
    QImage CreateAndSave() {
        Trigger(ID_FFT_CREATE_FINAL);
        Ui().saveAnswers.push_back(TempPath(QStringLiteral("result.jpg")));
        Trigger(ID_FILE_SAVE);
        EXPECT_TRUE(Ui().errors.isEmpty());
        return QImage(TempPath(QStringLiteral("result.jpg")));
    }
};

TEST_F(MouseEditingSession, ColourImage_SelectClearCreateSave) {
    Start();
    OpenThroughCommand(TestImage("coffee.png"));
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    Trigger(ID_TOOL_SELECTION_RECTANGLE);
    QAction* clear = Action(ID_FFT_CLEAR_SELECTION);
    EXPECT_FALSE(clear->isEnabled());
    // A band above the centre, away from the zero frequency.
    DragOnFirstPanel(QPoint(-120, -60), QPoint(120, -20));
    ASSERT_GT(SpectrumPane().selection.Area(), 0);
    // The Delete key works right after the drag, without a menu being opened first.
    EXPECT_TRUE(clear->isEnabled());
    EXPECT_TRUE(Action(ID_FFT_DESELECT)->isEnabled());
    Trigger(ID_FFT_CLEAR_SELECTION);
    ASSERT_NE(Doc().workingState, nullptr);

    const QImage saved = CreateAndSave();
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), QSize(600, 400));
    // Clearing the band of frequencies changed the picture.
    const QImage original(TestImage("coffee.png"));
    int changed = 0;
    for (int y = 0; y < 400; y += 7) {
        for (int x = 0; x < 600; x += 7) {
            changed += std::abs(qGreen(saved.pixel(x, y)) - qGreen(original.pixel(x, y))) > 12;
        }
    }
    EXPECT_GT(changed, 100);
}

TEST_F(MouseEditingSession, GreyImage_BrushCreateSave) {
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    Trigger(ID_TOOL_BRUSH);
    ASSERT_EQ(SpectrumPane().Layout().PanelCount(), 1);
    EXPECT_FALSE(Action(ID_FFT_CREATE_FINAL)->isEnabled());
    DragOnFirstPanel(QPoint(30, 25), QPoint(30, 25));
    ASSERT_NE(Doc().workingState, nullptr);
    EXPECT_TRUE(Action(ID_FFT_CREATE_FINAL)->isEnabled());
    const QImage saved = CreateAndSave();
    ASSERT_FALSE(saved.isNull());
    EXPECT_TRUE(saved.isGrayscale());
    EXPECT_EQ(Doc().states.size(), 2u);
}

// Mirror Edits is off at first, on the toolbar, kept over a restart; a brush press then
// clears the twin of the pressed spike too, and undo and redo take both as one step.
TEST_F(MouseEditingSession, MirrorEdits_BrushClearsTheTwinAsOneStep) {
    Start();
    EXPECT_FALSE(IsChecked(ID_FFT_MIRROR_EDITS));
    EXPECT_TRUE(Frame().StandardToolBar()->actions().contains(Action(ID_FFT_MIRROR_EDITS)));
    Trigger(ID_FFT_MIRROR_EDITS);
    Restart();
    EXPECT_TRUE(IsChecked(ID_FFT_MIRROR_EDITS));

    OpenThroughCommand(TestImage("camera.png"));
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    Trigger(ID_TOOL_BRUSH);
    CPowerSpectrumView& pane = SpectrumPane();
    const CanvasRect d = pane.Layout().Panel(0)->destRect;
    const QPoint at((d.left + d.right) / 2 + 40, (d.top + d.bottom) / 2 - 30);
    const auto element = pane.Layout().WindowToImage(0, CanvasPoint{at.x(), at.y()});
    ASSERT_TRUE(element);
    const std::size_t index = static_cast<std::size_t>(element->y) * 512 + element->x;
    const std::size_t twin = static_cast<std::size_t>(512 - element->y) * 512 + (512 - element->x);
    const auto value = [&](std::size_t k) {
        const PlaneRows rows = Doc().ActiveState()->spectrumGrey.Rows();
        return rows.Re(k / 512, 512)[k % 512];
    };
    const auto bothCleared = [&] { return value(index) == 0.0f && value(twin) == 0.0f; };
    const auto neitherCleared = [&] { return value(index) != 0.0f && value(twin) != 0.0f; };
    ASSERT_TRUE(neitherCleared());
    Mouse(pane, QEvent::MouseButtonPress, at);
    Mouse(pane, QEvent::MouseButtonRelease, at);
    EXPECT_TRUE(bothCleared());
    Trigger(ID_FFT_CREATE_FINAL);
    Trigger(ID_EDIT_UNDO);
    EXPECT_TRUE(neitherCleared());
    Trigger(ID_EDIT_REDO);
    EXPECT_TRUE(bothCleared());
}

// The status bar reads the frequency under the mouse in the spectrum pane and forgets it when
// the mouse leaves.
TEST_F(MouseEditingSession, SpectrumReadout_ShowsFrequencyPeriodAndAngleUntilTheMouseLeaves) {
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    CPowerSpectrumView& pane = SpectrumPane();
    const auto* readout =
        Frame().statusBar()->findChild<QLabel*>(QStringLiteral("frequencyReadout"));
    ASSERT_NE(readout, nullptr);
    // Element (256 + 32, 256 - 32) of the 512 x 512 spectrum: 32 cycles across and up.
    const CanvasRect d = pane.Layout().Panel(0)->destRect;
    std::optional<QPoint> at;
    for (int y = d.top; y <= d.bottom && !at; ++y) {
        for (int x = d.left; x <= d.right && !at; ++x) {
            const auto element = pane.Layout().WindowToImage(0, CanvasPoint{x, y});
            if (element && element->x == 288 && element->y == 224) {
                at = QPoint(x, y);
            }
        }
    }
    ASSERT_TRUE(at);
    Mouse(pane, QEvent::MouseMove, *at);
    EXPECT_EQ(
        readout->text(),
        QString::fromUtf8("u 0.0625, v -0.0625 cycles/px  period 11.31 px  angle 45.0\u00b0"));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&pane, &leave);
    EXPECT_TRUE(readout->text().isEmpty());
}

}  // namespace
}  // namespace quarvel::test
