#include "dialogs/CDlgFFTLoHi.h"

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

CDlgFFTLoHi::CDlgFFTLoHi(const QString& windowTitle, QWidget* parent)
    : CDlgFilterDesign(windowTitle, parent) {
    BuildControls();
}

void CDlgFFTLoHi::AddCutOffRows(QGridLayout& grid) {
    grid.addWidget(new QLabel(QStringLiteral("Cut off frequency (%)"), this), 2, 0, 1, 3);
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName(QStringLiteral("cutOffSlider"));
    slider_->setTickPosition(QSlider::NoTicks);
    slider_->setMinimumWidth(150);
    field_ = new CEditDisabled(this);
    field_->setObjectName(QStringLiteral("cutOffField"));
    field_->setFixedWidth(60);
    arrows_ = new CUpDownArrows(this);
    arrows_->setObjectName(QStringLiteral("cutOffArrows"));
    grid.addWidget(slider_, 3, 0);
    grid.addWidget(field_, 3, 1);
    grid.addWidget(arrows_, 3, 2);
    grid.setHorizontalSpacing(2);
    slider_->installEventFilter(this);
    field_->AcceptTypedValues(kMinCutOff, kMaxCutOff);
    connect(slider_, &QSlider::valueChanged, this, [this] { TakeSlider(false); });
    connect(arrows_, &CUpDownArrows::Stepped, this, &CDlgFFTLoHi::OnArrow);
    connect(field_, &CEditDisabled::ValueTyped, this, &CDlgFFTLoHi::OnTyped);
    connect(field_, &CEditDisabled::ValueRefused, this,
            [this](int minimum, int maximum) { RefuseTypedValue(field_, minimum, maximum); });
}

void CDlgFFTLoHi::ShowMembers() {
    CDlgFilterDesign::ShowMembers();
    field_->ShowValue(cutOff);
}

void CDlgFFTLoHi::StartValues() {
    const QSignalBlocker block(slider_);
    slider_->setRange(kMinCutOff, kMaxCutOff);
    slider_->setValue(cutOff);
}

void CDlgFFTLoHi::ComputeCurve() {
    responseCurve_.resize(kCurveSamples);
    ComputeResponseCurve(responseCurve_.data(), kCurveSamples, FilterKind::LowPass, degreeIndex + 1,
                         cutOff, 0);
}

QString CDlgFFTLoHi::Caption() const {
    return QStringLiteral("Butterworth Fco = %1 (% of max. frequency)").arg(cutOff);
}

std::vector<int> CDlgFFTLoHi::Markers() const {
    return {cutOff};
}

bool CDlgFFTLoHi::eventFilter(QObject* watched, QEvent* event) {
    // Each repaint of the slider brings the cut-off back to the slider's position, so a value
    // stepped outside the slider's range by the arrows returns into it.
    if (watched == slider_ && event->type() == QEvent::Paint && slider_->value() != cutOff) {
        TakeSlider(true);
    }
    return CDlgFilterDesign::eventFilter(watched, event);
}

void CDlgFFTLoHi::TakeSlider(bool focusOk) {
    cutOff = slider_->value();
    ShowMembers();
    Refresh();
    if (focusOk) {
        FocusOk();
    }
}

void CDlgFFTLoHi::OnTyped(int value) {
    cutOff = value;
    ShowMembers();
    {
        const QSignalBlocker block(slider_);
        slider_->setValue(cutOff);
    }
    Refresh();
    FocusOk();
}

void CDlgFFTLoHi::OnArrow(int step) {
    cutOff = std::max(cutOff + step, 0);
    ShowMembers();
    {
        const QSignalBlocker block(slider_);
        slider_->setValue(cutOff);
    }
    Refresh();
    FocusOk();
}

}  // namespace quarvel
