#include <gtest/gtest.h>
#include <QComboBox>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include "dialogs/CButtonDraw.h"
#include "dialogs/CDlgFFTBand.h"
#include "dialogs/CDlgFFTLoHi.h"
#include "dialogs/CUpDownArrows.h"
#include "dialogs/ResponsePlot.h"
#include "ui/CUserInteraction.h"

namespace quarvel {
namespace {

template <typename T>
T* Child(const QWidget& dialog, const char* name) {
    T* child = dialog.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

int FieldValue(const QWidget& dialog, const char* name) {
    return Child<QLineEdit>(dialog, name)->text().toInt();
}

/// Delivers a paint event to the slider, as the window system does when it redraws it.
void Repaint(const QWidget& dialog, const char* sliderName) {
    QSlider* slider = Child<QSlider>(dialog, sliderName);
    QPaintEvent paint(slider->rect());
    QCoreApplication::sendEvent(slider, &paint);
}

/// Erases field's text and types text into it as keystrokes, then presses Enter.
void TypeInto(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QKeyEvent erase(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QCoreApplication::sendEvent(field, &erase);
    for (const QChar c : text) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(field, &key);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(field, &enter);
}

/// Records the warnings in place of message boxes.
class WarningsHeard : public CUserInteraction {
public:
    void ShowWarning(QWidget*, const QString&, const QString& text) override {
        warnings.append(text);
    }
    QStringList warnings;
};

/// Grabs the plot control as it is painted now.
QImage GrabPlot(QWidget& dialog) {
    return Child<CButtonDraw>(dialog, "responsePlot")->grab().toImage();
}

TEST(LowPassDialog, Start_ShowsMembersAndTitle) {
    CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
    dialog.cutOff = 40;
    dialog.degreeIndex = 3;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Low-Pass Filter"));
    EXPECT_EQ(FieldValue(dialog, "cutOffField"), 40);
    EXPECT_EQ(Child<QSlider>(dialog, "cutOffSlider")->value(), 40);
    EXPECT_EQ(Child<QComboBox>(dialog, "degreeList")->currentText(), QStringLiteral("4"));
    EXPECT_FALSE(Child<QRadioButton>(dialog, "direction1")->isEnabled());
    ASSERT_EQ(dialog.ResponseCurve().size(), 200u);
    EXPECT_EQ(dialog.Caption(), QStringLiteral("Butterworth Fco = 40 (% of max. frequency)"));
}

TEST(LowPassDialog, Arrows_StepOutsideRange_UntilSliderRepaints) {
    CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
    dialog.cutOff = 99;
    dialog.show();
    Child<CUpDownArrows>(dialog, "cutOffArrows")->Press(1);
    EXPECT_EQ(dialog.cutOff, 100);
    EXPECT_EQ(FieldValue(dialog, "cutOffField"), 100);
    Repaint(dialog, "cutOffSlider");
    EXPECT_EQ(dialog.cutOff, 99);
    EXPECT_EQ(FieldValue(dialog, "cutOffField"), 99);
}

TEST(LowPassDialog, Arrows_DownFromSmallValue_StopsAtZeroThenSliderMinimum) {
    CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
    dialog.cutOff = 1;
    dialog.show();
    auto* arrows = Child<CUpDownArrows>(dialog, "cutOffArrows");
    arrows->Press(-1);
    arrows->Press(-1);
    EXPECT_EQ(dialog.cutOff, 0);
    Repaint(dialog, "cutOffSlider");
    EXPECT_EQ(dialog.cutOff, 1);
}

TEST(LowPassDialog, SliderMove_SetsCutOffAndCurve) {
    CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
    dialog.show();
    Child<QSlider>(dialog, "cutOffSlider")->setValue(60);
    EXPECT_EQ(dialog.cutOff, 60);
    EXPECT_EQ(FieldValue(dialog, "cutOffField"), 60);
    // The response at the cut-off is 1 / 1.414.
    EXPECT_NEAR(dialog.ResponseCurve()[160], 0.7072136f, 1e-6f);
}

TEST(LowPassDialog, TypedCutOff_IsTakenWithinRangeAndTheSliderFollows) {
    WarningsHeard heard;
    CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
    dialog.interaction = &heard;
    dialog.cutOff = 25;
    dialog.show();
    auto* field = Child<QLineEdit>(dialog, "cutOffField");
    TypeInto(field, QStringLiteral("42"));
    EXPECT_EQ(dialog.cutOff, 42);
    EXPECT_EQ(Child<QSlider>(dialog, "cutOffSlider")->value(), 42);
    EXPECT_EQ(dialog.Caption(), QStringLiteral("Butterworth Fco = 42 (% of max. frequency)"));
    EXPECT_NEAR(dialog.ResponseCurve()[142], 0.7072136f, 1e-6f);
    // Enter in the field takes the value and leaves the dialog open.
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(heard.warnings.isEmpty());

    for (const char* refused : {"100", "0", "4x", ""}) {
        SCOPED_TRACE(refused);
        heard.warnings.clear();
        TypeInto(field, QString::fromLatin1(refused));
        EXPECT_EQ(heard.warnings, QStringList{QStringLiteral("Enter an integer from 1 to 99.")});
        EXPECT_EQ(dialog.cutOff, 42);
        EXPECT_EQ(field->text(), QStringLiteral("42"));
        EXPECT_EQ(Child<QSlider>(dialog, "cutOffSlider")->value(), 42);
    }
    Child<QPushButton>(dialog, "okButton")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.cutOff, 42);
}

TEST(LowPassDialog, DegreeList_RecomputesCurve) {
    CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
    dialog.cutOff = 25;
    dialog.show();
    const float before = dialog.ResponseCurve()[150];
    Child<QComboBox>(dialog, "degreeList")->setCurrentIndex(5);
    EXPECT_EQ(dialog.degreeIndex, 5);
    EXPECT_LT(dialog.ResponseCurve()[150], before);
}

TEST(LowPassDialog, TwoDimensional_ResetsDirectionAndDisablesRowsAndColumns) {
    CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
    dialog.dimensionIndex = 1;
    dialog.direction = 2;
    dialog.show();
    EXPECT_TRUE(Child<QRadioButton>(dialog, "direction2")->isEnabled());
    EXPECT_TRUE(Child<QRadioButton>(dialog, "direction2")->isChecked());
    Child<QComboBox>(dialog, "dimensionList")->setCurrentIndex(0);
    EXPECT_EQ(dialog.dimensionIndex, 0);
    EXPECT_EQ(dialog.direction, 0);
    EXPECT_TRUE(Child<QRadioButton>(dialog, "direction0")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>(dialog, "direction1")->isEnabled());
    EXPECT_FALSE(Child<QRadioButton>(dialog, "direction2")->isEnabled());
}

TEST(LowPassDialog, DirectionChoice_SurvivesSliderRepaint) {
    CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
    dialog.dimensionIndex = 1;
    dialog.show();
    Child<QRadioButton>(dialog, "direction1")->click();
    Repaint(dialog, "cutOffSlider");
    EXPECT_TRUE(Child<QRadioButton>(dialog, "direction1")->isChecked());
    EXPECT_EQ(dialog.direction, 1);
}

TEST(LowPassDialog, Ok_HandsBackShownValues_CancelKeepsCallerValues) {
    {
        CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
        dialog.show();
        Child<QSlider>(dialog, "cutOffSlider")->setValue(70);
        Child<QComboBox>(dialog, "dimensionList")->setCurrentIndex(1);
        Child<QRadioButton>(dialog, "direction2")->click();
        QTimer::singleShot(0, Child<QPushButton>(dialog, "okButton"), &QPushButton::click);
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        EXPECT_EQ(dialog.cutOff, 70);
        EXPECT_EQ(dialog.dimensionIndex, 1);
        EXPECT_EQ(dialog.direction, 2);
    }
    {
        CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
        QTimer::singleShot(0, Child<QPushButton>(dialog, "cancelButton"), &QPushButton::click);
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    }
}

/// The geometry the plot derives from its fonts, recomputed as the plot does.
struct PlotGeometry {
    int x0, xEnd, yBase, span;
};

PlotGeometry GeometryOf(QSize client) {
    QFont caption(QStringLiteral("Verdana"));
    caption.setPixelSize(12);
    QFont axis(QStringLiteral("Verdana"));
    axis.setPixelSize(10);
    const int cyC = QFontMetrics(caption).height();
    const QFontMetrics metrics(axis);
    const int cx0 = metrics.horizontalAdvance(QStringLiteral("0.0000"));
    const int w = client.width() - 10;
    const int h = client.height() - 10;
    const int yBase = h - 2 * metrics.height();
    return {cx0, w - cx0 / 2, yBase, yBase - (cyC + 25)};
}

TEST(ResponsePlot, LowPassMarker_MeetsCurveAtEdgeHeight) {
    CDlgFFTLoHi dialog(QStringLiteral("Low-Pass Filter"));
    dialog.cutOff = 25;
    dialog.degreeIndex = 1;
    dialog.show();
    const QImage plot = GrabPlot(dialog);
    const PlotGeometry g = GeometryOf(plot.size());
    const float xs = static_cast<float>(g.xEnd - g.x0) / 99;
    const int x = 5 + g.x0 + static_cast<int>(25 * xs + 0.5f);
    const int y = 5 + g.yBase -
                  static_cast<int>(static_cast<float>(g.span) * dialog.ResponseCurve()[125] + 0.5f);
    EXPECT_EQ(plot.pixel(x, y), kPlotCurve);
    // The dotted marker runs down from the curve point: curve-coloured pixels below it.
    int markerPixels = 0;
    for (int row = y + 4; row < 5 + g.yBase - 2; ++row) {
        markerPixels += plot.pixel(x, row) == kPlotCurve ? 1 : 0;
    }
    EXPECT_GT(markerPixels, (5 + g.yBase - y) / 4);
    // Between the markers and the curve, a column without a marker shows no curve colour low
    // down.
    const int xNoMarker = 5 + g.x0 + static_cast<int>(10 * xs + 0.5f);
    EXPECT_NE(plot.pixel(xNoMarker, 5 + g.yBase - 3), kPlotCurve);
    // The border of five pixels is left to the control; the picture starts with its background.
    EXPECT_EQ(plot.pixel(6, 6), kPlotBackground);
}

TEST(ResponsePlot, RenderedCaption_IsDrawnInTextColour) {
    std::vector<float> curve(200, 1.0f);
    const QImage picture =
        RenderResponsePlot(QSize(452, 278), curve, QStringLiteral("Butterworth Fco = 25"), {25});
    QFont caption(QStringLiteral("Verdana"));
    caption.setPixelSize(12);
    const int cyC = QFontMetrics(caption).height();
    int textPixels = 0;
    for (int y = 10; y < 10 + cyC; ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            textPixels += picture.pixel(x, y) != kPlotBackground ? 1 : 0;
        }
    }
    EXPECT_GT(textPixels, 50);
    const QImage blank = RenderResponsePlot(QSize(452, 278), curve, QString(), {25});
    EXPECT_NE(picture, blank);
}

TEST(BandDialog, LowerSliderOntoUpper_PushesUpperUp) {
    CDlgFFTBand dialog(QStringLiteral("Band-Reject Filter"));
    dialog.lowCutOff = 33;
    dialog.highCutOff = 66;
    dialog.show();
    EXPECT_EQ(dialog.Caption(),
              QStringLiteral("Butterworth LFco = 33 HFco = 66 (% of max. frequency)"));
    Child<QSlider>(dialog, "lowSlider")->setValue(66);
    EXPECT_EQ(dialog.lowCutOff, 66);
    EXPECT_EQ(dialog.highCutOff, 67);
    EXPECT_EQ(Child<QSlider>(dialog, "highSlider")->value(), 67);
    EXPECT_EQ(FieldValue(dialog, "highField"), 67);
}

TEST(BandDialog, UpperSliderOntoLower_PushesLowerDown) {
    CDlgFFTBand dialog(QStringLiteral("Band-Reject Filter"));
    dialog.show();
    Child<QSlider>(dialog, "highSlider")->setValue(33);
    EXPECT_EQ(dialog.highCutOff, 33);
    EXPECT_EQ(dialog.lowCutOff, 32);
    EXPECT_EQ(Child<QSlider>(dialog, "lowSlider")->value(), 32);
}

TEST(BandDialog, Arrows_PushAndClamp) {
    CDlgFFTBand dialog(QStringLiteral("Band-Reject Filter"));
    dialog.lowCutOff = 10;
    dialog.highCutOff = 11;
    dialog.show();
    Child<CUpDownArrows>(dialog, "lowArrows")->Press(1);
    EXPECT_EQ(dialog.lowCutOff, 11);
    EXPECT_EQ(dialog.highCutOff, 12);
    auto* highArrows = Child<CUpDownArrows>(dialog, "highArrows");
    highArrows->Press(-1);
    EXPECT_EQ(dialog.highCutOff, 11);
    EXPECT_EQ(dialog.lowCutOff, 10);
    for (int i = 0; i < 20; ++i) {
        highArrows->Press(-1);
    }
    EXPECT_EQ(dialog.highCutOff, 1);
    EXPECT_EQ(dialog.lowCutOff, 0);
}

TEST(BandDialog, TypedCutOffs_PushTheOtherOneAsTheSlidersDo) {
    WarningsHeard heard;
    CDlgFFTBand dialog(QStringLiteral("Band-Reject Filter"));
    dialog.interaction = &heard;
    dialog.show();
    TypeInto(Child<QLineEdit>(dialog, "lowField"), QStringLiteral("70"));
    EXPECT_EQ(dialog.lowCutOff, 70);
    EXPECT_EQ(dialog.highCutOff, 71);
    EXPECT_EQ(Child<QSlider>(dialog, "lowSlider")->value(), 70);
    EXPECT_EQ(Child<QSlider>(dialog, "highSlider")->value(), 71);
    EXPECT_EQ(FieldValue(dialog, "highField"), 71);
    TypeInto(Child<QLineEdit>(dialog, "highField"), QStringLiteral("100"));
    EXPECT_EQ(dialog.highCutOff, 100);
    TypeInto(Child<QLineEdit>(dialog, "highField"), QStringLiteral("0"));
    EXPECT_EQ(heard.warnings, QStringList{QStringLiteral("Enter an integer from 1 to 100.")});
    EXPECT_EQ(dialog.highCutOff, 100);
    EXPECT_EQ(dialog.lowCutOff, 70);
}

TEST(BandDialog, UpperArrowAboveRange_ReturnsAfterRepaint) {
    CDlgFFTBand dialog(QStringLiteral("Band-Reject Filter"));
    dialog.lowCutOff = 50;
    dialog.highCutOff = 100;
    dialog.show();
    Child<CUpDownArrows>(dialog, "highArrows")->Press(1);
    EXPECT_EQ(dialog.highCutOff, 101);
    Repaint(dialog, "highSlider");
    EXPECT_EQ(dialog.highCutOff, 100);
}

TEST(BandDialog, Curve_DipsInsideBand_WithTwoMarkers) {
    CDlgFFTBand dialog(QStringLiteral("Band-Reject Filter"));
    dialog.show();
    EXPECT_LT(dialog.ResponseCurve()[149], 0.01f);
    EXPECT_GT(dialog.ResponseCurve()[110], 0.9f);
    const QImage plot = GrabPlot(dialog);
    const PlotGeometry g = GeometryOf(plot.size());
    const float xs = static_cast<float>(g.xEnd - g.x0) / 99;
    for (const int cut : {33, 66}) {
        const int x = 5 + g.x0 + static_cast<int>(static_cast<float>(cut) * xs + 0.5f);
        const int y =
            5 + g.yBase -
            static_cast<int>(static_cast<float>(g.span) * dialog.ResponseCurve()[100 + cut] + 0.5f);
        EXPECT_EQ(plot.pixel(x, y), kPlotCurve) << cut;
    }
}

}  // namespace
}  // namespace quarvel
