#include <QImage>

#include <cmath>

#include "ShellFixture.h"
#include "app/CFFTQuarvelView.h"
#include "views/FrequencyPane.h"

namespace quarvel::test {
namespace {

class FindPeriodicNoise : public ShellTest {
protected:
    CPowerSpectrumView& SpectrumPane() {
        return *static_cast<CPowerSpectrumView*>(Frame().TabView()->SpectrumPane());
    }
};

// Stripes of period 8 running at 45 degrees over the grey camera picture: Find Periodic Noise
// selects their spike and its twin and nothing near the zero frequency; Delete clears them,
// Create Final Image brings the picture back, Undo takes it all back.
TEST_F(FindPeriodicNoise, SelectsTheSpikesThatDeleteClearsUndoably) {
    QImage picture(TestImage("camera.png"));
    ASSERT_EQ(picture.size(), QSize(512, 512));
    picture = picture.convertToFormat(QImage::Format_Grayscale8);
    const QImage clean = picture;
    const double step = 2.0 * 3.14159265358979 / 8.0 / std::sqrt(2.0);
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            const double value = picture.scanLine(y)[x] + 25.0 * std::cos(step * (x - y));
            picture.scanLine(y)[x] = static_cast<uchar>(std::clamp(std::lround(value), 0L, 255L));
        }
    }
    const QString path = TempPath(QStringLiteral("striped.png"));
    ASSERT_TRUE(picture.save(path));

    Start();
    OpenThroughCommand(path);
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    ASSERT_TRUE(Action(ID_FFT_FIND_PERIODIC_NOISE)->isEnabled());
    EXPECT_FALSE(Action(ID_FFT_CLEAR_SELECTION)->isEnabled());
    Trigger(ID_FFT_FIND_PERIODIC_NOISE);
    const VXRegion& selection = SpectrumPane().selection;
    // 512 / (8 sqrt 2) = 45.25 elements along each axis from the centre (256, 256).
    EXPECT_TRUE(selection.Contains(301, 211));
    EXPECT_TRUE(selection.Contains(211, 301));
    EXPECT_FALSE(selection.Contains(256, 256));
    EXPECT_LT(selection.Area(), 2000);
    EXPECT_TRUE(SpectrumPane().OutlineAnimating());
    ASSERT_TRUE(Action(ID_FFT_CLEAR_SELECTION)->isEnabled());

    Trigger(ID_FFT_CLEAR_SELECTION);
    ASSERT_NE(Doc().workingState, nullptr);
    EXPECT_EQ(Doc().workingState->spectrumGrey.re[211 * 512 + 301], 0.0f);
    Trigger(ID_FFT_CREATE_FINAL);
    const ImageBitmap* result = Doc().ProcessedImage();
    ASSERT_NE(result, nullptr);
    double noisy = 0.0;
    double cleaned = 0.0;
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            const double truth = clean.constScanLine(y)[x];
            noisy += std::pow(picture.constScanLine(y)[x] - truth, 2.0);
            cleaned += std::pow(result->Row(static_cast<std::uint32_t>(y))[x] - truth, 2.0);
        }
    }
    EXPECT_LT(cleaned * 20.0, noisy);

    Trigger(ID_EDIT_UNDO);
    EXPECT_EQ(Doc().currentIndex, 0u);
    EXPECT_EQ(Doc().workingState, nullptr);
}

TEST_F(FindPeriodicNoise, CleanPicture_SaysSoAndSelectsNothing) {
    Start();
    OpenThroughCommand(TestImage("coffee.png"));
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    Trigger(ID_FFT_FIND_PERIODIC_NOISE);
    EXPECT_EQ(SpectrumPane().selection.Area(), 0);
    ASSERT_EQ(Ui().informations.size(), 1);
    EXPECT_TRUE(Ui().informations.front().startsWith(QStringLiteral("No periodic noise")));
}

}  // namespace
}  // namespace quarvel::test
