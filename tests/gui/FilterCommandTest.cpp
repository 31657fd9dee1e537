#include <QPushButton>
#include <QTextBrowser>

#include "ShellFixture.h"
#include "app/CFFTQuarvelView.h"
#include "dialogs/CDlgFFTBand.h"
#include "dialogs/CDlgFFTLoHi.h"
#include "engine/LargeBlocks.h"
#include "ui/CManualWindow.h"
#include "ui/CommandIds.h"
#include "views/FrequencyPane.h"

namespace quarvel::test {
namespace {

using FilterCommands = ShellTest;

TEST_F(FilterCommands, Enabled_OnlyWithAnImage) {
    Start();
    EXPECT_FALSE(IsEnabled(ID_FFT_LOWPASS));
    EXPECT_FALSE(IsEnabled(ID_FFT_BANDREJECT));
    OpenThroughCommand(TestImage("astronaut.png"));
    EXPECT_TRUE(IsEnabled(ID_FFT_LOWPASS));
    EXPECT_TRUE(IsEnabled(ID_FFT_BANDREJECT));
}

TEST_F(FilterCommands, LowPassAnsweredOk_FiltersSwitchedOnChannelsOfWorkingState) {
    Start();
    OpenThroughCommand(TestImage("astronaut.png"));
    auto* pane = qobject_cast<CPowerSpectrumView*>(Doc().GetTabView()->SpectrumPane());
    ASSERT_NE(pane, nullptr);
    pane->greenEnabled = false;
    Doc().filterSettings.cutOff = 10;
    // A high frequency on the centre row: far above the cut-off, so red and blue are damped
    // while the switched-off green channel keeps its value; the zero frequency passes.
    const std::size_t w = Doc().spectrumWidth;
    const std::size_t at = (Doc().spectrumHeight / 2) * w + w / 2 + (w * 4) / 10;
    const std::size_t centre = (Doc().spectrumHeight / 2) * w + w / 2;
    const ProcState& first = *Doc().CurrentState();
    const float red = first.spectrumRed.re[at];
    const float green = first.spectrumGreen.re[at];
    const float blue = first.spectrumBlue.re[at];
    const float zero = first.spectrumRed.re[centre];

    Trigger(ID_FFT_LOWPASS);

    ASSERT_EQ(Ui().modalDialogs, QStringList{QStringLiteral("quarvel::CDlgFFTLoHi")});
    EXPECT_EQ(Doc().GetTabView()->activeTab, 1);
    ASSERT_NE(Doc().workingState, nullptr);
    const ProcState& working = *Doc().workingState;
    EXPECT_NE(working.spectrumRed.re[at], red);
    EXPECT_NE(working.spectrumBlue.re[at], blue);
    EXPECT_EQ(working.spectrumGreen.re[at], green);
    EXPECT_EQ(working.spectrumRed.re[centre], zero);
    // The first state, not shown, gave back the planes only it held (red and blue) and keeps
    // the green ones the pending edits share.
    EXPECT_EQ(first.spectrumRed.re, nullptr);
    EXPECT_EQ(first.spectrumBlue.re, nullptr);
    EXPECT_EQ(first.spectrumGreen.re, working.spectrumGreen.re);
    // The response was computed as it was applied: no mask of the spectrum's size stays.
    EXPECT_EQ(Doc().filterMask, nullptr);
}

TEST_F(FilterCommands, LowPassOverPendingEdits_GivesTheCopyOfTheEditsBackToTheSystem) {
    Start();
    OpenThroughCommand(TestImage("astronaut.png"));
    EditSpectrum();
    // Row 0 is not edited: the working state still reads it from the committed planes.
    const float before = Doc().workingState->spectrumRed.Rows().Re(0, 0)[0];
    Trigger(ID_FFT_LOWPASS);
    ASSERT_EQ(Ui().modalDialogs, QStringList{QStringLiteral("quarvel::CDlgFFTLoHi")});
    ASSERT_NE(Doc().workingState->spectrumRed.Rows().Re(0, 0)[0], before);
    // The copy the filter could have gone back to is not kept for reuse once it is done.
    EXPECT_EQ(CachedLargeBlockBytes(), 0u);
}

TEST_F(FilterCommands, BandRejectAnsweredOk_KeepsTheDesignAndFiltersGreyImage) {
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    Doc().filterSettings.lowCutOff = 20;
    Doc().filterSettings.highCutOff = 40;
    // Inside the band (30 % of the half width from the centre) the grey spectrum is damped.
    const std::size_t w = Doc().spectrumWidth;
    const std::size_t at = (Doc().spectrumHeight / 2) * w + w / 2 + (w * 3) / 20;
    const float before = Doc().CurrentState()->spectrumGrey.re[at];

    Trigger(ID_FFT_BANDREJECT);

    ASSERT_EQ(Ui().modalDialogs, QStringList{QStringLiteral("quarvel::CDlgFFTBand")});
    EXPECT_EQ(Doc().filterSettings.lowCutOff, 20);
    EXPECT_EQ(Doc().filterSettings.highCutOff, 40);
    ASSERT_NE(Doc().workingState, nullptr);
    EXPECT_NE(Doc().workingState->spectrumGrey.re[at], before);
}

TEST_F(FilterCommands, DialogHelp_OpensTheManualAtTheFilterSection) {
    Start();
    CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
    dialog.manualPath = CFFTQuarvelApp::ManualPath();
    dialog.interaction = &Doc().Interaction();
    dialog.findChild<QPushButton*>(QStringLiteral("helpButton"))->click();
    ASSERT_EQ(Ui().openedUrls.size(), 1);
    EXPECT_EQ(Ui().openedUrls.front().fragment(), QStringLiteral("filters"));
    EXPECT_TRUE(Ui().openedUrls.front().path().endsWith(QStringLiteral("manual/manual.html")));
}

TEST_F(FilterCommands, DialogHelpWithoutABrowser_ShowsTheFilterSectionInTheProgram) {
    Start();
    Ui().desktopOpensUrls = false;
    CDlgFFTBand dialog(QStringLiteral("Band-Reject Filter"));
    dialog.manualPath = CFFTQuarvelApp::ManualPath();
    dialog.interaction = &Doc().Interaction();
    dialog.findChild<QPushButton*>(QStringLiteral("helpButton"))->click();
    const CManualWindow* window = Doc().Interaction().ManualWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Browser()->source().fragment(), QStringLiteral("filters"));
    EXPECT_TRUE(Ui().errors.isEmpty());

    // Without the page either, the dialog says where it looked.
    dialog.manualPath = QStringLiteral("/nonexistent/manual.html");
    dialog.findChild<QPushButton*>(QStringLiteral("helpButton"))->click();
    ASSERT_EQ(Ui().errors.size(), 1);
    EXPECT_TRUE(Ui().errors.front().contains(QStringLiteral("/nonexistent/manual.html")));
}

}  // namespace
}  // namespace quarvel::test
