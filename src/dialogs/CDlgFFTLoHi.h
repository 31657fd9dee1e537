#pragma once

#include "dialogs/CDlgFilterDesign.h"

class QSlider;

namespace quarvel {

class CEditDisabled;
class CUpDownArrows;

/// Designs a low-pass filter: one cut-off in percent, set with a slider from 1 to 99 or with the
/// arrows beside its field.
class CDlgFFTLoHi : public CDlgFilterDesign {
    Q_OBJECT

public:
    explicit CDlgFFTLoHi(const QString& windowTitle, QWidget* parent = nullptr);

    int cutOff = 25;  ///< percent of the maximum frequency

    QString Caption() const override;

protected:
    void AddCutOffRows(QGridLayout& grid) override;
    void ShowMembers() override;
    void ReadControls() override;
    void StartValues() override;
    void ComputeCurve() override;
    std::vector<int> Markers() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Takes the slider's position as the cut-off; focusOk as after a repaint of the slider.
    void TakeSlider(bool focusOk);
    void OnArrow(int step);

    QSlider* slider_ = nullptr;
    CEditDisabled* field_ = nullptr;
    CUpDownArrows* arrows_ = nullptr;
};

}  // namespace quarvel
