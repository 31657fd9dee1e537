#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTabBar>
#include <QTimer>

#include "ShellFixture.h"
#include "app/CFFTQuarvelView.h"
#include "views/CImageView.h"
#include "views/CPaneBase.h"

namespace quarvel::test {
namespace {

/// A left click at the centre of widget, as the window system would deliver it.
void Click(QWidget* widget, QPoint at = QPoint(-1, -1)) {
    if (at.x() < 0) {
        at = widget->rect().center();
    }
    const QPointF local(at);
    const QPointF global(widget->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

using History = ShellTest;

TEST_F(History, UndoRedo_WalkAcrossTwoFinalImages) {
    Start();
    OpenThroughCommand(TestImage("astronaut.png"));
    EditSpectrum(10);
    Trigger(ID_FFT_CREATE_FINAL);
    EditSpectrum(30);
    Trigger(ID_FFT_CREATE_FINAL);
    ASSERT_EQ(Doc().states.size(), 3u);
    EXPECT_EQ(Doc().currentIndex, 2u);
    EXPECT_TRUE(IsEnabled(ID_EDIT_UNDO));
    EXPECT_FALSE(IsEnabled(ID_EDIT_REDO));

    Trigger(ID_EDIT_UNDO);
    EXPECT_EQ(Doc().currentIndex, 1u);
    EXPECT_TRUE(IsEnabled(ID_EDIT_UNDO));
    EXPECT_TRUE(IsEnabled(ID_EDIT_REDO));
    Trigger(ID_EDIT_UNDO);
    EXPECT_EQ(Doc().currentIndex, 0u);
    EXPECT_FALSE(IsEnabled(ID_EDIT_UNDO));
    Trigger(ID_EDIT_REDO);
    Trigger(ID_EDIT_REDO);
    EXPECT_EQ(Doc().currentIndex, 2u);
    EXPECT_FALSE(IsEnabled(ID_EDIT_REDO));
    EXPECT_EQ(Doc().states.size(), 3u);
}

TEST_F(History, UndoToTheFirstStateAfterAFilter_MakesItsSpectraAgainInTheBackground) {
    Start();
    OpenThroughCommand(TestImage("astronaut.png"));
    Trigger(ID_FFT_LOWPASS);
    Trigger(ID_FFT_CREATE_FINAL);
    ASSERT_EQ(Doc().states.size(), 2u);
    const ProcState& first = *Doc().states[0];
    // Not shown, the first state gave back the spectra the filter replaced.
    ASSERT_TRUE(first.spectraReleased);
    int busy = 0;
    QObject::connect(&Doc(), &CFFTQuarvelDoc::BusyChanged, [&](bool on) { busy += on ? 1 : 0; });

    Trigger(ID_EDIT_UNDO);
    EXPECT_EQ(Doc().currentIndex, 0u);
    EXPECT_EQ(busy, 1);
    EXPECT_FALSE(first.spectraReleased);
    EXPECT_TRUE(first.spectrumRed.IsComplete() && first.spectrumBlue.IsComplete());
    EXPECT_TRUE(first.powerRed && first.powerGreen && first.powerBlue);
    EXPECT_TRUE(Ui().errors.isEmpty());
    // The filtered state, now hidden, keeps its own spectra.
    Trigger(ID_EDIT_REDO);
    EXPECT_EQ(Doc().currentIndex, 1u);
    EXPECT_TRUE(Doc().states[1]->spectrumRed.IsComplete());
}

TEST_F(History, UndoDropsTheWorkingState) {
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    EditSpectrum();
    Trigger(ID_FFT_CREATE_FINAL);
    EditSpectrum();
    Trigger(ID_EDIT_UNDO);
    EXPECT_EQ(Doc().workingState, nullptr);
    EXPECT_EQ(Doc().currentIndex, 0u);
}

TEST_F(History, FinalImageAfterUndo_DropsTheRedoStates) {
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    EditSpectrum(10);
    Trigger(ID_FFT_CREATE_FINAL);
    EditSpectrum(20);
    Trigger(ID_FFT_CREATE_FINAL);
    Trigger(ID_EDIT_UNDO);
    Trigger(ID_EDIT_UNDO);
    EditSpectrum(30);
    Trigger(ID_FFT_CREATE_FINAL);
    EXPECT_EQ(Doc().states.size(), 2u);
    EXPECT_EQ(Doc().currentIndex, 1u);
    EXPECT_FALSE(IsEnabled(ID_EDIT_REDO));
}

TEST_F(History, CreateFinalImage_WorksWhileTheWindowRunsWithCommandsDisabled) {
    Start();
    OpenThroughCommand(TestImage("astronaut.png"));
    EditSpectrum();
    const auto* indicator = Frame().findChild<QProgressBar*>(QStringLiteral("busyIndicator"));
    ASSERT_NE(indicator, nullptr);
    EXPECT_TRUE(indicator->isHidden());
    // What the window shows as the work starts, and whether its events run meanwhile.
    bool indicatorShown = false;
    bool anyCommandEnabled = true;
    bool eventDuringWork = false;
    QObject::connect(&Doc(), &CFFTQuarvelDoc::BusyChanged, &Frame(), [&](bool busy) {
        if (!busy) {
            return;
        }
        indicatorShown = !indicator->isHidden();
        anyCommandEnabled = false;
        for (const int id : {ID_FILE_OPEN, ID_FILE_SAVE, ID_EDIT_UNDO, ID_FFT_CREATE_FINAL,
                             ID_FFT_LOWPASS, ID_APP_EXIT}) {
            anyCommandEnabled = anyCommandEnabled || Action(id)->isEnabled();
        }
        QTimer::singleShot(0, &Frame(), [&] { eventDuringWork = Doc().IsBusy(); });
    });

    Trigger(ID_FFT_CREATE_FINAL);

    EXPECT_TRUE(indicatorShown);
    EXPECT_FALSE(anyCommandEnabled);
    EXPECT_TRUE(eventDuringWork);
    EXPECT_FALSE(Doc().IsBusy());
    EXPECT_TRUE(indicator->isHidden());
    EXPECT_EQ(Doc().workingState, nullptr);
    EXPECT_EQ(Doc().states.size(), 2u);
    EXPECT_TRUE(Action(ID_EDIT_UNDO)->isEnabled());
    EXPECT_FALSE(Action(ID_FFT_CREATE_FINAL)->isEnabled());
}

TEST_F(History, Open_ShowsTheDecodedImageWhileItsSpectraAreWorkedOut) {
    Start();
    OpenThroughCommand(TestImage("coins.png"));
    const ImageBitmap* before = Doc().OriginalImage();
    // Large enough that its transforms outlast many rounds of paints.
    QImage plain(2000, 1000, QImage::Format_RGB32);
    plain.fill(qRgb(200, 40, 90));
    const QString path = TempPath(QStringLiteral("plain.png"));
    ASSERT_TRUE(plain.save(path));

    auto& pane = *static_cast<CImageView*>(Doc().GetTabView()->ImagePane());
    int shownWhileBusy = 0;
    bool documentKept = true;
    QRgb original = 0;
    QRgb processed = 0;
    QTimer look;
    look.setInterval(2);
    QObject::connect(&look, &QTimer::timeout, &Frame(), [&] {
        if (!Doc().IsBusy() || pane.OpeningImage() == nullptr) {
            return;
        }
        ++shownWhileBusy;
        documentKept = documentKept && Doc().OriginalImage() == before;
        const QImage shot = pane.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const auto middle = [&](std::int32_t i) {
            const CanvasRect d = pane.Layout().Panel(i)->destRect;
            return shot.pixel((d.left + d.right) / 2, (d.top + d.bottom) / 2) | 0xFF000000u;
        };
        original = middle(0);
        processed = middle(1);
    });
    QObject::connect(&Doc(), &CFFTQuarvelDoc::BusyChanged, &Frame(), [&](bool busy) {
        if (busy) {
            look.start();
        }
    });

    OpenThroughCommand(path);

    EXPECT_GT(shownWhileBusy, 0);
    EXPECT_TRUE(documentKept);
    EXPECT_EQ(original, qRgb(200, 40, 90));
    EXPECT_EQ(processed, qRgb(200, 40, 90));
    EXPECT_EQ(pane.OpeningImage(), nullptr);
    ASSERT_NE(Doc().OriginalImage(), nullptr);
    EXPECT_EQ(Doc().OriginalImage()->Width(), 2000u);
    EXPECT_EQ(Doc().states.size(), 1u);
}

TEST_F(History, CreateFinalImageFromTheImageTab_SwitchesToTheSpectrumTabAndStays) {
    Start();
    OpenThroughCommand(TestImage("coins.png"));
    EditSpectrum();
    ASSERT_EQ(Doc().GetTabView()->activeTab, 0);
    Trigger(ID_FFT_CREATE_FINAL);
    EXPECT_EQ(Doc().GetTabView()->activeTab, 1);
    EXPECT_EQ(Doc().GetTabView()->currentIndex(), 1);
    EXPECT_TRUE(IsChecked(ID_VIEW_SPECTRUM_WINDOW));
    EXPECT_FALSE(IsChecked(ID_VIEW_IMAGE_WINDOW));
    EXPECT_EQ(Frame().ActivePane(), Doc().GetTabView()->SpectrumPane());
    // The final image is the committed state with its own image at the loaded size.
    ASSERT_EQ(Doc().states.size(), 2u);
    EXPECT_EQ(Doc().CurrentState()->image->Width(), 384u);
    EXPECT_EQ(Doc().CurrentState()->image->Height(), 303u);
}

using Tabs = ShellTest;

TEST_F(Tabs, WindowCommands_SelectTabAndMoveTheCheck) {
    Start();
    CFFTQuarvelView* view = Doc().GetTabView();
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    EXPECT_EQ(view->activeTab, 1);
    EXPECT_EQ(view->currentWidget(), view->SpectrumPane());
    EXPECT_TRUE(IsChecked(ID_VIEW_SPECTRUM_WINDOW));
    EXPECT_FALSE(IsChecked(ID_VIEW_IMAGE_WINDOW));
    Trigger(ID_VIEW_IMAGE_WINDOW);
    EXPECT_EQ(view->activeTab, 0);
    EXPECT_EQ(view->currentWidget(), view->ImagePane());
    EXPECT_TRUE(IsChecked(ID_VIEW_IMAGE_WINDOW));
}

TEST_F(Tabs, ClickOnSpectrumTab_MakesTheSpectrumPaneActive) {
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    CFFTQuarvelView* view = Doc().GetTabView();
    QTabBar* bar = view->tabBar();
    Click(bar, bar->tabRect(1).center());
    EXPECT_EQ(view->activeTab, 1);
    EXPECT_EQ(Frame().ActivePane(), view->SpectrumPane());
    EditSpectrum();
    EXPECT_TRUE(IsEnabled(ID_EDIT_RESTORE));
}

TEST_F(Tabs, ClickIntoTheView_MakesTheSelectedPaneActive) {
    Start({TestImage("camera.png")});
    ASSERT_EQ(Frame().ActivePane(), nullptr);
    EXPECT_FALSE(IsEnabled(ID_ZOOM_FIT));
    CFFTQuarvelView* view = Doc().GetTabView();
    Click(view->ImagePane());
    EXPECT_EQ(Frame().ActivePane(), view->ImagePane());
    EXPECT_TRUE(IsEnabled(ID_ZOOM_FIT));
}

TEST_F(Tabs, RightClickInAPane_OpensTheEditMenu) {
    Start({TestImage("camera.png")});
    CFFTQuarvelView* view = Doc().GetTabView();
    QWidget* pane = view->SpectrumPane();
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    const QPoint at = pane->rect().center();
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, pane->mapToGlobal(at));
    QApplication::sendEvent(pane, &request);
    QMenu* menu = Frame().EditContextMenu();
    EXPECT_TRUE(menu->isVisible());
    EXPECT_TRUE(IsEnabled(ID_EDIT_COPY));
    EXPECT_FALSE(IsEnabled(ID_EDIT_CUT));
    EXPECT_EQ(Frame().ActivePane(), view->SpectrumPane());
    menu->hide();
}

TEST_F(Tabs, TabLabels_EndInASpaceAndCarryIcons) {
    Start();
    CFFTQuarvelView* view = Doc().GetTabView();
    EXPECT_EQ(view->tabText(0), QStringLiteral("Image "));
    EXPECT_EQ(view->tabText(1), QStringLiteral("Power Spectrum "));
    EXPECT_EQ(view->tabPosition(), QTabWidget::South);
    EXPECT_FALSE(view->tabIcon(0).isNull());
    EXPECT_FALSE(view->tabIcon(1).isNull());
    // The tab strip sits below the panes.
    const QPoint barTop = view->tabBar()->mapTo(view, QPoint(0, 0));
    EXPECT_GE(barTop.y(),
              view->ImagePane()->mapTo(view, QPoint(0, 0)).y() + view->ImagePane()->height());
}

}  // namespace
}  // namespace quarvel::test
