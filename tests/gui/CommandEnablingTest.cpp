#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "ShellFixture.h"
#include "app/CFFTQuarvelView.h"
#include "app/LockKeys.h"
#include "views/CPaneBase.h"

namespace quarvel::test {
namespace {

/// The commands a document must have an image for.
constexpr int kImageCommands[] = {ID_FILE_REVERT, ID_FILE_SAVE,       ID_FILE_SAVE_AS,
                                  ID_EDIT_UNDO,   ID_EDIT_REDO,       ID_EDIT_RESTORE,
                                  ID_EDIT_COPY,   ID_FFT_CREATE_FINAL};

/// Commands of the panes: no handler until a pane is active.
constexpr int kPaneCommands[] = {ID_ZOOM_ACTUAL_SIZE,
                                 ID_ZOOM_IN,
                                 ID_ZOOM_OUT,
                                 ID_ZOOM_FIT,
                                 ID_ZOOM_FIT_WIDTH,
                                 ID_ZOOM_FIT_HEIGHT,
                                 ID_VIEW_ORIGINAL,
                                 ID_VIEW_PROCESSED,
                                 ID_FFT_DESELECT,
                                 ID_FFT_INVERT_SELECTION,
                                 ID_FFT_CLEAR_SELECTION,
                                 ID_BRUSH_1X};

constexpr int kToolCommands[] = {ID_TOOL_PAN_HAND,          ID_TOOL_BRUSH,
                                 ID_TOOL_ZOOM_IN_OUT,       ID_TOOL_ZOOM_WINDOW,
                                 ID_TOOL_DYNAMIC_ZOOM,      ID_TOOL_SELECTION_RECTANGLE,
                                 ID_TOOL_SELECTION_ELLIPSE, ID_TOOL_FREE_HAND};

using CommandEnabling = ShellTest;

TEST_F(CommandEnabling, StartUp_DisablesEveryImageCommand) {
    Start();
    for (const int id : kImageCommands) {
        EXPECT_FALSE(IsEnabled(id)) << "command " << id;
    }
    EXPECT_TRUE(IsEnabled(ID_VIEW_IMAGE_WINDOW));
    EXPECT_TRUE(IsEnabled(ID_VIEW_SPECTRUM_WINDOW));
    EXPECT_TRUE(IsChecked(ID_VIEW_IMAGE_WINDOW));
    EXPECT_FALSE(IsChecked(ID_VIEW_SPECTRUM_WINDOW));
    EXPECT_TRUE(IsEnabled(ID_FILE_OPEN));
    EXPECT_TRUE(IsEnabled(ID_APP_ABOUT));
    EXPECT_TRUE(IsEnabled(ID_HELP_MANUAL));
    EXPECT_TRUE(IsEnabled(ID_APP_EXIT));
}

TEST_F(CommandEnabling, StartUp_PaneCommandsHaveNoHandlerBeforeAClickIntoTheView) {
    Start();
    EXPECT_EQ(Frame().ActivePane(), nullptr);
    for (const int id : kPaneCommands) {
        EXPECT_FALSE(IsEnabled(id)) << "command " << id;
    }
}

TEST_F(CommandEnabling, StartUp_TitleIsUntitledAndImageTabSelected) {
    Start();
    EXPECT_EQ(Frame().windowTitle(), QStringLiteral("FFT Quarvel - Untitled"));
    ASSERT_NE(Doc().GetTabView(), nullptr);
    EXPECT_EQ(Doc().GetTabView()->activeTab, 0);
    EXPECT_EQ(Doc().GetTabView()->currentIndex(), 0);
}

TEST_F(CommandEnabling, AfterOpen_FileCommandsOnHistoryCommandsOff) {
    Start();
    OpenThroughCommand(TestImage("astronaut.png"));
    for (const int id : {ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_FILE_REVERT, ID_EDIT_COPY}) {
        EXPECT_TRUE(IsEnabled(id)) << "command " << id;
    }
    for (const int id : {ID_EDIT_UNDO, ID_EDIT_REDO, ID_FFT_CREATE_FINAL, ID_EDIT_RESTORE}) {
        EXPECT_FALSE(IsEnabled(id)) << "command " << id;
    }
}

TEST_F(CommandEnabling, FilterDesignsOnWithWorkingState_BatchAlwaysOn) {
    Start();
    OpenThroughCommand(TestImage("astronaut.png"));
    EditSpectrum();
    EXPECT_TRUE(IsEnabled(ID_FFT_LOWPASS));
    EXPECT_TRUE(IsEnabled(ID_FFT_BANDREJECT));
    EXPECT_TRUE(IsEnabled(ID_FILE_BATCH));
    // They are in the menus all the same.
    EXPECT_FALSE(Action(ID_FFT_LOWPASS)->associatedObjects().isEmpty());
}

TEST_F(CommandEnabling, BatchCommand_OpensTheBatchDialogAndLeavesTheDocumentAlone) {
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    EditSpectrum();
    Trigger(ID_FILE_BATCH);
    ASSERT_EQ(Ui().modalDialogs, QStringList{QStringLiteral("quarvel::CDlgBatchProcessing")});
    EXPECT_TRUE(Ui().modalTexts.contains(QStringLiteral("Filtered files:")));
    EXPECT_NE(Doc().workingState, nullptr);
    EXPECT_TRUE(Doc().PathName().endsWith(QStringLiteral("camera.png")));
}

TEST_F(CommandEnabling, AfterEdit_CreateFinalImageOnRestoreOnlyOnSpectrumTab) {
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    EditSpectrum();
    EXPECT_TRUE(IsEnabled(ID_FFT_CREATE_FINAL));
    EXPECT_FALSE(IsEnabled(ID_EDIT_RESTORE));
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    EXPECT_TRUE(IsEnabled(ID_EDIT_RESTORE));
    Trigger(ID_EDIT_RESTORE);
    EXPECT_EQ(Doc().workingState, nullptr);
    EXPECT_FALSE(IsEnabled(ID_EDIT_RESTORE));
    EXPECT_FALSE(IsEnabled(ID_FFT_CREATE_FINAL));
}

TEST_F(CommandEnabling, ContextMenu_OffersCopyWithCutAndPasteDisabled) {
    Start();
    QMenu* menu = Frame().EditContextMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_EQ(menu->actions().at(1), Action(ID_EDIT_COPY));
    EXPECT_FALSE(IsEnabled(ID_EDIT_COPY));
    OpenThroughCommand(TestImage("coins.png"));
    EXPECT_TRUE(IsEnabled(ID_EDIT_COPY));
    EXPECT_FALSE(IsEnabled(ID_EDIT_CUT));
    EXPECT_FALSE(IsEnabled(ID_EDIT_PASTE));
}

TEST_F(CommandEnabling, Shortcuts_FollowTheAcceleratorTable) {
    Start();
    const auto keys = [this](int id) { return Action(id)->shortcuts(); };
    EXPECT_TRUE(keys(ID_EDIT_COPY).contains(QKeySequence(QStringLiteral("Ctrl+Insert"))));
    EXPECT_TRUE(keys(ID_EDIT_UNDO).contains(QKeySequence(QStringLiteral("Alt+Backspace"))));
    EXPECT_TRUE(keys(ID_FILE_REVERT).contains(QKeySequence(QStringLiteral("Ctrl+R"))));
    EXPECT_TRUE(keys(ID_ZOOM_FIT).contains(QKeySequence(QStringLiteral("F8"))));
    EXPECT_TRUE(keys(ID_ZOOM_ACTUAL_SIZE).contains(QKeySequence(QStringLiteral("F9"))));
    EXPECT_TRUE(keys(ID_FFT_CLEAR_SELECTION).contains(QKeySequence(QStringLiteral("Delete"))));
    EXPECT_TRUE(keys(ID_EDIT_REDO).contains(QKeySequence(QStringLiteral("Ctrl+Y"))));
}

TEST_F(CommandEnabling, Prompts_AreTheStatusTipsOfTheActions) {
    Start();
    EXPECT_EQ(Action(ID_FILE_SAVE)->statusTip(), QStringLiteral("Save the active document"));
    EXPECT_EQ(Action(ID_FFT_CREATE_FINAL)->toolTip(), QStringLiteral("Create Final Image"));
    EXPECT_EQ(Action(ID_TOOL_DYNAMIC_ZOOM)->toolTip(), QStringLiteral("Zoom Dynamic"));
}

TEST_F(CommandEnabling, StartUp_PanHandIsTheCheckedTool) {
    Start();
    EXPECT_EQ(App().currentTool, ToolPanHand);
    for (const int id : kToolCommands) {
        EXPECT_TRUE(IsEnabled(id));
        EXPECT_EQ(IsChecked(id), id == ID_TOOL_PAN_HAND) << "command " << id;
    }
}

struct ToolCase {
    int command;
    ToolId tool;
};

class ToolCommands : public ShellTest, public testing::WithParamInterface<ToolCase> {};

TEST_P(ToolCommands, Trigger_SetsToolAndMovesTheCheckOnMenuAndToolbar) {
    Start();
    Trigger(GetParam().command);
    EXPECT_EQ(App().currentTool, GetParam().tool);
    for (const int id : kToolCommands) {
        EXPECT_EQ(IsChecked(id), id == GetParam().command) << "command " << id;
        auto* button =
            qobject_cast<QToolButton*>(Frame().StandardToolBar()->widgetForAction(Action(id)));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->isChecked(), id == GetParam().command) << "button " << id;
    }
}

INSTANTIATE_TEST_SUITE_P(AllTools, ToolCommands,
                         testing::Values(ToolCase{ID_TOOL_BRUSH, ToolBrush},
                                         ToolCase{ID_TOOL_ZOOM_IN_OUT, ToolZoomInOut},
                                         ToolCase{ID_TOOL_ZOOM_WINDOW, ToolZoomWindow},
                                         ToolCase{ID_TOOL_DYNAMIC_ZOOM, ToolDynamicZoom},
                                         ToolCase{ID_TOOL_SELECTION_RECTANGLE,
                                                  ToolSelectionRectangle},
                                         ToolCase{ID_TOOL_SELECTION_ELLIPSE, ToolSelectionEllipse},
                                         ToolCase{ID_TOOL_FREE_HAND, ToolFreeHandSelection}),
                         [](const testing::TestParamInfo<ToolCase>& param) {
                             return std::to_string(static_cast<int>(param.param.tool));
                         });

TEST_F(CommandEnabling, ToolChangeAfterBrush_BackToPanHand) {
    Start();
    Trigger(ID_TOOL_BRUSH);
    Trigger(ID_TOOL_PAN_HAND);
    EXPECT_EQ(App().currentTool, ToolPanHand);
    EXPECT_FALSE(IsChecked(ID_TOOL_BRUSH));
}

TEST_F(CommandEnabling, StatusBar_ShowsPositionOnlyWhileBothCoordinatesAreKnown) {
    Start();
    EXPECT_EQ(Frame().cursorPoint.x, -1);
    EXPECT_EQ(Frame().CursorXText(), QString());
    Frame().SetCursorPoint(CursorPoint{12, 345});
    EXPECT_EQ(Frame().CursorXText(), QStringLiteral("X: 12"));
    EXPECT_EQ(Frame().CursorYText(), QStringLiteral("Y: 345"));
    // Off the image only x becomes -1; both panes go blank together.
    Frame().SetCursorPoint(CursorPoint{-1, 345});
    EXPECT_EQ(Frame().CursorXText(), QString());
    EXPECT_EQ(Frame().CursorYText(), QString());
    EXPECT_EQ(Frame().cursorPoint.y, 345);
}

TEST_F(CommandEnabling, StatusBar_ShowsTheZoomOfTheSelectedTabsPane) {
    Start();
    auto* readout = Frame().statusBar()->findChild<QLabel*>(QStringLiteral("zoomReadout"));
    ASSERT_NE(readout, nullptr);
    EXPECT_EQ(readout->text(), QString());
    OpenThroughCommand(TestImage("coffee.png"));
    const auto shown = [](const CPaneBase* pane) {
        return QStringLiteral("Zoom: %1%").arg(qRound(pane->Layout().PanelZoom(0) * 100.0f));
    };
    CPaneBase* image = Frame().TabView()->ImagePane();
    CPaneBase* spectrum = Frame().TabView()->SpectrumPane();
    EXPECT_EQ(readout->text(), shown(image));
    Trigger(ID_ZOOM_ACTUAL_SIZE);
    EXPECT_EQ(readout->text(), QStringLiteral("Zoom: 100%"));
    Trigger(ID_ZOOM_IN);
    EXPECT_EQ(readout->text(), QStringLiteral("Zoom: 120%"));
    // The spectra are shown at a zoom of their own.
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    ASSERT_NE(spectrum->Layout().PanelZoom(0), 1.2f);
    EXPECT_EQ(readout->text(), shown(spectrum));
}

TEST_F(CommandEnabling, StatusBar_LockIndicatorsFollowTheKeysWhereTheyCanBeRead) {
    Start();
    auto* caps = Frame().statusBar()->findChild<QLabel*>(QStringLiteral("capsLock"));
    auto* num = Frame().statusBar()->findChild<QLabel*>(QStringLiteral("numLock"));
    auto* scroll = Frame().statusBar()->findChild<QLabel*>(QStringLiteral("scrollLock"));
    ASSERT_TRUE(caps != nullptr && num != nullptr && scroll != nullptr);
    // The offscreen platform, like Wayland, tells nothing of the lock keys.
    EXPECT_FALSE(ReadLockKeys().has_value());
    EXPECT_TRUE(caps->isHidden());

    LockKeys keys{true, false, true};
    Frame().SetLockKeyReader([&keys] { return std::optional<LockKeys>(keys); });
    EXPECT_EQ(caps->text(), QStringLiteral("CAP"));
    EXPECT_EQ(num->text(), QString());
    EXPECT_EQ(scroll->text(), QStringLiteral("SCRL"));
    EXPECT_FALSE(num->isHidden());
    // A key released anywhere in the program reads them again.
    keys = LockKeys{false, true, false};
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_NumLock, Qt::NoModifier);
    QApplication::sendEvent(Frame().TabView(), &release);
    EXPECT_EQ(caps->text(), QString());
    EXPECT_EQ(num->text(), QStringLiteral("NUM"));
    EXPECT_EQ(scroll->text(), QString());
}

TEST_F(CommandEnabling, StatusBarCommand_HidesAndShowsTheStatusBar) {
    Start();
    EXPECT_TRUE(IsChecked(ID_VIEW_STATUS_BAR));
    Trigger(ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(IsChecked(ID_VIEW_STATUS_BAR));
    EXPECT_TRUE(Frame().statusBar()->isHidden());
    Trigger(ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(IsChecked(ID_VIEW_STATUS_BAR));
}

/// The states of the actions as the running program leaves them: read straight from the actions,
/// after the person's own steps (drops, tab clicks, mouse edits), with no refresh by the test.
class LiveEnabling : public ShellTest {
protected:
    bool On(int id) { return Action(id)->isEnabled(); }
    /// A press and release of the left button at window point p of widget.
    static void ClickAt(QWidget& widget, QPoint p) {
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons held = type == QEvent::MouseButtonPress
                                              ? Qt::MouseButtons(Qt::LeftButton)
                                              : Qt::MouseButtons();
            QMouseEvent event(type, QPointF(p), widget.mapToGlobal(QPointF(p)), Qt::LeftButton,
                              held, Qt::NoModifier);
            QApplication::sendEvent(&widget, &event);
        }
    }
};

TEST_F(LiveEnabling, CommandStates_FollowThePersonsStepsWithoutARefresh) {
    Start();
    EXPECT_FALSE(On(ID_FILE_SAVE));
    EXPECT_TRUE(On(ID_FILE_OPEN));

    // A dropped file.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(TestImage("coffee.png"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Frame(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Frame(), &drop);
    QApplication::processEvents();
    EXPECT_TRUE(On(ID_FILE_SAVE));
    EXPECT_TRUE(On(ID_EDIT_COPY));
    EXPECT_FALSE(On(ID_FFT_CREATE_FINAL));
    EXPECT_FALSE(On(ID_ZOOM_FIT));

    // A click on the spectrum tab makes its pane active.
    Frame().TabView()->tabBar()->setCurrentIndex(1);
    QApplication::processEvents();
    EXPECT_TRUE(On(ID_ZOOM_FIT));
    EXPECT_TRUE(On(ID_BRUSH_1X));
    EXPECT_FALSE(On(ID_FFT_DESELECT));

    // A brush press on the spectrum.
    CPaneBase& pane = *Frame().TabView()->SpectrumPane();
    Action(ID_TOOL_BRUSH)->trigger();
    const CanvasRect d = pane.Layout().Panel(0)->destRect;
    const QPoint middle((d.left + d.right) / 2, (d.top + d.bottom) / 2);
    ClickAt(pane, middle + QPoint(20, 15));
    ASSERT_NE(Doc().workingState, nullptr);
    EXPECT_TRUE(On(ID_FFT_CREATE_FINAL));
    EXPECT_TRUE(On(ID_EDIT_RESTORE));

    // A rectangle dragged on the spectrum, then a click that selects nothing.
    Action(ID_TOOL_SELECTION_RECTANGLE)->trigger();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(middle + QPoint(30, 10)),
                      pane.mapToGlobal(QPointF(middle + QPoint(30, 10))), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&pane, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(middle + QPoint(60, 40)),
                        pane.mapToGlobal(QPointF(middle + QPoint(60, 40))), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&pane, &release);
    EXPECT_TRUE(On(ID_FFT_CLEAR_SELECTION));
    EXPECT_TRUE(On(ID_FFT_DESELECT));
    Action(ID_FFT_CLEAR_SELECTION)->trigger();
    Action(ID_FFT_CREATE_FINAL)->trigger();
    EXPECT_TRUE(On(ID_EDIT_UNDO));
    EXPECT_FALSE(On(ID_FFT_CREATE_FINAL));
    EXPECT_FALSE(On(ID_EDIT_REDO));
    Action(ID_EDIT_UNDO)->trigger();
    EXPECT_TRUE(On(ID_EDIT_REDO));
    EXPECT_FALSE(On(ID_EDIT_UNDO));

    // A click on the image tab hands the pane commands to the image pane.
    Frame().TabView()->tabBar()->setCurrentIndex(0);
    QApplication::processEvents();
    EXPECT_FALSE(On(ID_FFT_CLEAR_SELECTION));
    EXPECT_FALSE(On(ID_EDIT_RESTORE));
    EXPECT_TRUE(On(ID_VIEW_ORIGINAL));
}

}  // namespace
}  // namespace quarvel::test
