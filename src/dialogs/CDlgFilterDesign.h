#pragma once

#include <vector>

#include <QDialog>
#include <QString>

class QComboBox;
class QGridLayout;
class QPushButton;
class QRadioButton;

namespace quarvel {

class CButtonDraw;
class CEditDisabled;
class CUserInteraction;

/// What the two filter design dialogs share: the response plot on top, the dimension list and
/// the direction radio buttons on the left of the "Filter design" group, the degree list on its
/// right above the cut-off rows each dialog adds, and "OK", "Cancel" and "Help...".
///
/// The members are the dialog's values. The caller sets them before the modal run; the dialog
/// shows them when it starts and, on "OK", reads its controls back into them. Every change of a
/// value recomputes the 200-sample response curve and repaints the plot. "Help..." shows the
/// filter section of the manual at manualPath (in the program when the desktop cannot).
class CDlgFilterDesign : public QDialog {
    Q_OBJECT

public:
    /// Number of samples of the plotted response curve, centred at sample 100.
    static constexpr int kCurveSamples = 200;

    ~CDlgFilterDesign() override;

    int degreeIndex = 1;     ///< index into "1" to "6": degree = degreeIndex + 1
    int dimensionIndex = 0;  ///< 0 "2D Filter", 1 "1D Filter"
    int direction = 0;       ///< 0 rows and columns, 1 rows, 2 columns
    QString title;           ///< the window title
    QString manualPath;      ///< the manual's page, opened by "Help..."
    /// What shows the manual and says when it is missing; null for the plain desktop handling.
    CUserInteraction* interaction = nullptr;

    /// The curve the plot shows; empty before the dialog started.
    const std::vector<float>& ResponseCurve() const { return responseCurve_; }
    /// The caption the plot shows for the current values.
    virtual QString Caption() const = 0;

    void accept() override;

protected:
    explicit CDlgFilterDesign(const QString& windowTitle, QWidget* parent);

    /// Adds the dialog's cut-off rows; the grid's rows 0 and 1 hold the degree label and list.
    virtual void AddCutOffRows(QGridLayout& grid) = 0;
    /// Puts the members into the controls.
    virtual void ShowMembers();
    /// Reads the controls into the members.
    virtual void ReadControls();
    /// The dialog's own start: slider ranges and positions.
    virtual void StartValues() = 0;
    /// Recomputes the response curve from the members.
    virtual void ComputeCurve() = 0;
    /// The cut-offs at which the plot draws a marker.
    virtual std::vector<int> Markers() const = 0;

    /// Recomputes the curve and repaints the plot.
    void Refresh();
    /// Tells the person that field takes only a whole number from minimum to maximum, and
    /// gives it the focus with its text selected.
    void RefuseTypedValue(CEditDisabled* field, int minimum, int maximum);
    void FocusOk();
    /// Builds the controls; called by the derived constructor once its own members exist.
    void BuildControls();

    void showEvent(QShowEvent* event) override;

    std::vector<float> responseCurve_;

private:
    void OnDegreeChanged();
    void OnDimensionChanged();
    void OnHelp();
    void EnableDirections();

    bool started_ = false;
    CButtonDraw* plot_ = nullptr;
    QComboBox* dimensionList_ = nullptr;
    QRadioButton* directionButtons_[3] = {};
    QComboBox* degreeList_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

}  // namespace quarvel
