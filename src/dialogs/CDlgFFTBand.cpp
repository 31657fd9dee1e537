#include "dialogs/CDlgFFTBand.h"

#include <algorithm>

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include "dialogs/CEditDisabled.h"
#include "dialogs/CUpDownArrows.h"
#include "filters/FilterResponse.h"

namespace quarvel {

CDlgFFTBand::CDlgFFTBand(const QString& windowTitle, QWidget* parent)
    : CDlgFilterDesign(windowTitle, parent) {
    BuildControls();
}

void CDlgFFTBand::AddCutOffRows(QGridLayout& grid) {
    const auto addRow = [&](int row, const char* label, const char* name, QSlider*& slider,
                            CEditDisabled*& field, CUpDownArrows*& arrows) {
        grid.addWidget(new QLabel(QString::fromLatin1(label), this), row, 0, 1, 3);
        slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(QStringLiteral("%1Slider").arg(QLatin1String(name)));
        slider->setTickPosition(QSlider::NoTicks);
        slider->setMinimumWidth(150);
        field = new CEditDisabled(this);
        field->setObjectName(QStringLiteral("%1Field").arg(QLatin1String(name)));
        field->setFixedWidth(60);
        arrows = new CUpDownArrows(this);
        arrows->setObjectName(QStringLiteral("%1Arrows").arg(QLatin1String(name)));
        grid.addWidget(slider, row + 1, 0);
        grid.addWidget(field, row + 1, 1);
        grid.addWidget(arrows, row + 1, 2);
        slider->installEventFilter(this);
    };
    addRow(2, "Low cut off frequency (%)", "low", lowSlider_, lowField_, lowArrows_);
    addRow(4, "High cut off frequency (%)", "high", highSlider_, highField_, highArrows_);
    grid.setHorizontalSpacing(2);
    connect(lowSlider_, &QSlider::valueChanged, this, [this] { TakeLowSlider(false); });
    connect(highSlider_, &QSlider::valueChanged, this, [this] { TakeHighSlider(false); });
    connect(lowArrows_, &CUpDownArrows::Stepped, this, &CDlgFFTBand::OnLowArrow);
    connect(highArrows_, &CUpDownArrows::Stepped, this, &CDlgFFTBand::OnHighArrow);
    lowField_->AcceptTypedValues(kMinLowCutOff, kMaxLowCutOff);
    highField_->AcceptTypedValues(kMinHighCutOff, kMaxHighCutOff);
    connect(lowField_, &CEditDisabled::ValueTyped, this, &CDlgFFTBand::OnLowTyped);
    connect(highField_, &CEditDisabled::ValueTyped, this, &CDlgFFTBand::OnHighTyped);
    for (CEditDisabled* field : {lowField_, highField_}) {
        connect(field, &CEditDisabled::ValueRefused, this, [this, field](int minimum, int maximum) {
            RefuseTypedValue(field, minimum, maximum);
        });
    }
}

void CDlgFFTBand::ShowMembers() {
    CDlgFilterDesign::ShowMembers();
    lowField_->ShowValue(lowCutOff);
    highField_->ShowValue(highCutOff);
}

void CDlgFFTBand::StartValues() {
    {
        const QSignalBlocker lowBlock(lowSlider_);
        const QSignalBlocker highBlock(highSlider_);
        lowSlider_->setRange(kMinLowCutOff, kMaxLowCutOff);
        lowSlider_->setValue(lowCutOff);
        highSlider_->setRange(kMinHighCutOff, kMaxHighCutOff);
        highSlider_->setValue(highCutOff);
    }
    ShowMembers();
}

void CDlgFFTBand::ComputeCurve() {
    responseCurve_.resize(kCurveSamples);
    ComputeResponseCurve(responseCurve_.data(), kCurveSamples, FilterKind::BandReject,
                         degreeIndex + 1, lowCutOff, highCutOff);
}

QString CDlgFFTBand::Caption() const {
    return QStringLiteral("Butterworth LFco = %1 HFco = %2 (% of max. frequency)")
        .arg(lowCutOff)
        .arg(highCutOff);
}

std::vector<int> CDlgFFTBand::Markers() const {
    return {lowCutOff, highCutOff};
}

bool CDlgFFTBand::eventFilter(QObject* watched, QEvent* event) {
    // Each repaint of a slider brings its value back to the slider's position.
    if (event->type() == QEvent::Paint) {
        if (watched == lowSlider_ && lowSlider_->value() != lowCutOff) {
            TakeLowSlider(true);
        } else if (watched == highSlider_ && highSlider_->value() != highCutOff) {
            TakeHighSlider(true);
        }
    }
    return CDlgFilterDesign::eventFilter(watched, event);
}

void CDlgFFTBand::PlaceSliders() {
    const QSignalBlocker lowBlock(lowSlider_);
    const QSignalBlocker highBlock(highSlider_);
    lowSlider_->setValue(lowCutOff);
    highSlider_->setValue(highCutOff);
}

void CDlgFFTBand::TakeLowSlider(bool focusOk) {
    lowCutOff = lowSlider_->value();
    if (lowCutOff >= highCutOff) {
        highCutOff = lowCutOff + 1;
    }
    ShowMembers();
    PlaceSliders();
    Refresh();
    if (focusOk) {
        FocusOk();
    }
}

void CDlgFFTBand::TakeHighSlider(bool focusOk) {
    highCutOff = highSlider_->value();
    if (lowCutOff >= highCutOff) {
        lowCutOff = highCutOff - 1;
    }
    ShowMembers();
    PlaceSliders();
    Refresh();
    if (focusOk) {
        FocusOk();
    }
}

void CDlgFFTBand::OnLowTyped(int value) {
    lowCutOff = value;
    if (lowCutOff >= highCutOff) {
        highCutOff = lowCutOff + 1;
    }
    ShowMembers();
    PlaceSliders();
    Refresh();
    FocusOk();
}

void CDlgFFTBand::OnHighTyped(int value) {
    highCutOff = value;
    if (lowCutOff >= highCutOff) {
        lowCutOff = highCutOff - 1;
    }
    ShowMembers();
    PlaceSliders();
    Refresh();
    FocusOk();
}

void CDlgFFTBand::OnLowArrow(int step) {
    lowCutOff = std::max(lowCutOff + step, 0);
    if (lowCutOff >= highCutOff) {
        highCutOff = lowCutOff + 1;
    }
    ShowMembers();
    PlaceSliders();
    Refresh();
    FocusOk();
}

void CDlgFFTBand::OnHighArrow(int step) {
    highCutOff = std::max(highCutOff + step, 1);
    if (lowCutOff >= highCutOff) {
        lowCutOff = highCutOff - 1;
    }
    ShowMembers();
    PlaceSliders();
    Refresh();
}

}  // namespace quarvel
