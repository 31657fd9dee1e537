#pragma once

#include "dialogs/CDlgFilterDesign.h"

class QSlider;

namespace quarvel {

class CEditDisabled;
class CUpDownArrows;

/// Designs a low-pass filter: one cut-off in percent, set with a slider from 1 to 99, typed into
/// its field within that range, or stepped with the arrows beside the field.
class CDlgFFTLoHi : public CDlgFilterDesign {
    Q_OBJECT

public:
    /// The slider's range, and the values the field takes when typed.
    static constexpr int kMinCutOff = 1;
    static constexpr int kMaxCutOff = 99;

    explicit CDlgFFTLoHi(const QString& windowTitle, QWidget* parent = nullptr);

    int cutOff = 25;  ///< percent of the maximum frequency

    QString Caption() const override;

protected:
    void AddCutOffRows(QGridLayout& grid) override;
    void ShowMembers() override;
    void StartValues() override;
    void ComputeCurve() override;
    std::vector<int> Markers() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Takes the slider's position as the cut-off; focusOk as after a repaint of the slider.
    void TakeSlider(bool focusOk);
    /// A value typed into the field: the slider follows.
    void OnTyped(int value);
    void OnArrow(int step);

    QSlider* slider_ = nullptr;
    CEditDisabled* field_ = nullptr;
    CUpDownArrows* arrows_ = nullptr;
};

}  // namespace quarvel
