#pragma once

#include "dialogs/CDlgFilterDesign.h"

class QSlider;

namespace quarvel {

class CEditDisabled;
class CUpDownArrows;

/// Designs a band-reject filter: a lower cut-off (0 to 99) kept strictly below an upper one
/// (1 to 100), each set with its slider, typed into its field within its range, or stepped with
/// its arrows. Moving either one onto the other pushes the other one step further.
class CDlgFFTBand : public CDlgFilterDesign {
    Q_OBJECT

public:
    /// The sliders' ranges, and the values the fields take when typed.
    static constexpr int kMinLowCutOff = 0;
    static constexpr int kMaxLowCutOff = 99;
    static constexpr int kMinHighCutOff = 1;
    static constexpr int kMaxHighCutOff = 100;

    explicit CDlgFFTBand(const QString& windowTitle, QWidget* parent = nullptr);

    int lowCutOff = 33;   ///< percent of the maximum frequency
    int highCutOff = 66;  ///< percent of the maximum frequency

    QString Caption() const override;

protected:
    void AddCutOffRows(QGridLayout& grid) override;
    void ShowMembers() override;
    void StartValues() override;
    void ComputeCurve() override;
    std::vector<int> Markers() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Takes the lower slider's position, pushing the upper cut-off above it.
    void TakeLowSlider(bool focusOk);
    /// Takes the upper slider's position, pushing the lower cut-off below it.
    void TakeHighSlider(bool focusOk);
    /// Values typed into the fields, pushing the other cut-off as the sliders do.
    void OnLowTyped(int value);
    void OnHighTyped(int value);
    void OnLowArrow(int step);
    void OnHighArrow(int step);
    /// Moves both sliders to the cut-offs without treating it as a move by the person.
    void PlaceSliders();

    QSlider* lowSlider_ = nullptr;
    CEditDisabled* lowField_ = nullptr;
    CUpDownArrows* lowArrows_ = nullptr;
    QSlider* highSlider_ = nullptr;
    CEditDisabled* highField_ = nullptr;
    CUpDownArrows* highArrows_ = nullptr;
};

}  // namespace quarvel
