#include <cstring>
#include <memory>

#include <QFile>

#include "ShellFixture.h"
#include "app/CFFTQuarvelView.h"
#include "views/FrequencyPane.h"

namespace quarvel::test {
namespace {

/// Whether two images hold the same pixel bytes.
bool SameBytes(const ImageBitmap& a, const ImageBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format()) {
        return false;
    }
    for (std::uint32_t y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.Row(y), b.Row(y), a.Width() * BytesPerPixel(a.Format())) != 0) {
            return false;
        }
    }
    return true;
}

class RecipeSession : public ShellTest {};

TEST_F(RecipeSession, SavedEdits_AppliedToTheReopenedImage_GiveItsResultAndUndoInOneStep) {
    Start();
    OpenThroughCommand(TestImage("coffee.png"));
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    EXPECT_FALSE(IsEnabled(ID_FILE_SAVE_RECIPE));
    auto& pane = *static_cast<CPowerSpectrumView*>(Frame().TabView()->SpectrumPane());
    pane.greenEnabled = false;
    pane.selection.SetEllipse(300, 100, 40, 20);
    Trigger(ID_FFT_CLEAR_SELECTION);
    Doc().filterSettings.cutOff = 30;
    Trigger(ID_FFT_LOWPASS);
    Trigger(ID_FFT_CREATE_FINAL);
    ASSERT_EQ(Doc().RecordedRecipe().steps.size(), 2u);
    const std::unique_ptr<ImageBitmap> made = CopyBitmap(Doc().CurrentState()->image.get());
    ASSERT_TRUE(made);
    const QString recipe = TempPath(QStringLiteral("page.json"));
    Ui().recipeAnswers.push_back(recipe);
    Trigger(ID_FILE_SAVE_RECIPE);
    ASSERT_TRUE(Ui().errors.isEmpty()) << Ui().errors.join(QLatin1Char('\n')).toStdString();

    OpenThroughCommand(TestImage("coffee.png"));
    Ui().recipeAnswers.push_back(recipe);
    Trigger(ID_FILE_APPLY_RECIPE);
    ASSERT_TRUE(Ui().errors.isEmpty()) << Ui().errors.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(Doc().states.size(), 2u);
    EXPECT_TRUE(SameBytes(*Doc().CurrentState()->image, *made));
    Trigger(ID_EDIT_UNDO);
    EXPECT_EQ(Doc().currentIndex, 0u);

    // A damaged recipe is named with what is wrong, and the image stays as it was.
    const QString damaged = TempPath(QStringLiteral("cut.json"));
    QFile cut(damaged);
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write("{\"format\": ");
    cut.close();
    Ui().recipeAnswers.push_back(damaged);
    Trigger(ID_FILE_APPLY_RECIPE);
    ASSERT_EQ(Ui().errors.size(), 1);
    EXPECT_TRUE(Ui().errors.front().startsWith(damaged + QStringLiteral(": line 1, column 12")))
        << Ui().errors.front().toStdString();
    EXPECT_EQ(Doc().states.size(), 2u);
    EXPECT_EQ(Doc().currentIndex, 0u);
}

}  // namespace
}  // namespace quarvel::test
