#pragma once

#include <array>
#include <cstdint>

#include <QDialog>
#include <QString>

#include "batch/BatchSettings.h"
#include "batch/BatchSettingsStore.h"
#include "batch/CBatchProcessor.h"
#include "engine/RectangleList.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;

namespace quarvel {

class CEditDisabled;
class CUpDownArrows;
class CUserInteraction;

/// "Batch FFT Processing": filters every image file of one folder with a single setting (a
/// low-pass filter, the clearing of up to four spectrum rectangles, or the steps of a recipe
/// file) and writes each result
/// beside its source, keeping a log of the written files.
///
/// The members are the dialog's values; they are read from the settings store when the dialog
/// is made and written back when it closes. The run goes one file at a time on the calling
/// thread and lets the window handle its events between files: the log and the progress bar
/// grow, every control but "Process" stays usable (a change applies from the next file), and
/// "Exit" ends the run after the file in hand, then closes the dialog.
class CDlgBatchProcessing : public QDialog {
    Q_OBJECT

public:
    /// interaction answers the folder picker and shows the messages; store keeps the settings.
    explicit CDlgBatchProcessing(CUserInteraction& interaction,
                                 BatchSettingsStore store = BatchSettingsStore(),
                                 QWidget* parent = nullptr);
    ~CDlgBatchProcessing() override;

    std::int32_t filteringType = LowPassConvolution;  ///< a BatchFilteringType
    std::int32_t degreeIndex = 2;                     ///< degree minus one, 0 to 5
    std::int32_t cutOff = 20;                         ///< low-pass cut-off in percent
    std::int32_t dimensionIndex = 0;                  ///< 0 "2D Filter", 1 "1D Filter"
    std::int32_t direction = 0;                       ///< 0 rows and columns, 1 rows, 2 columns
    RectangleList rectangles{};                       ///< cleared by "Use power spectrum deleting"
    QString folder;                                   ///< the folder to process
    QString recipePath;                               ///< replayed by "Use a recipe"

    /// The members as one batch setting, the folder as its last path.
    BatchSettings Settings() const;
    /// The processing object of the runs, with the log and the file list of the last one.
    const CBatchProcessor& Processor() const { return processor_; }
    /// The size the runs transform each image at (the program's Transform Size).
    /// A recipe's run takes the size the recipe names instead.
    void SetTransformSize(TransformSize size) { transformSize_ = size; }
    /// Whether the rectangles clear their point-mirrored areas too (Mirror Edits).
    void SetMirrorEdits(bool on) { processor_.mirrorEdits = on; }
    /// Whether a run is going on.
    bool IsRunning() const { return running_; }

    /// "Process": reads the controls and, when every value is valid, processes the folder.
    void RunBatch();
    /// "Select...": the folder picker.
    void OnSelectFolder();
    /// "Select..." of the recipe: the recipe file picker.
    void OnSelectRecipe();

    /// Enter: reads the controls and saves the settings, then closes with OK (after the file
    /// in hand during a run). A rectangle field without an integer keeps its stored value and
    /// never holds the dialog open.
    void accept() override;
    /// "Exit", Escape and the close box: as accept, closing with Cancel.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    /// Puts the members into the controls.
    void ShowMembers();
    /// Reads the controls into the members. A rectangle field that does not hold an integer
    /// keeps its member's value; when complain is true (only for a run), the first such field
    /// gets the message "Enter an integer." and the keyboard focus. Returns whether every field
    /// was valid.
    bool ReadControls(bool complain);
    void LoadBatchSettings();
    /// Writes the settings; a failure is reported.
    void SaveBatchSettings();
    void EnableDirections();
    void EnableProcess();
    /// Closes with result when no run is going on; otherwise once the run has ended.
    void Close(int result);

    void OnTypeOrDirectionClicked();
    void OnDimensionChanged();
    void OnDegreeChanged();
    void OnSliderMoved();
    /// A cut-off typed into its field: the slider follows.
    void OnCutOffTyped(int value);
    void OnArrow(int step);
    void OnClearRow(std::size_t row);
    void OnFolderEdited();
    void AppendLogLine(const QString& line);

    CUserInteraction& interaction_;
    BatchSettingsStore store_;
    CBatchProcessor processor_;
    TransformSize transformSize_ = TransformSize::PowerOfTwo;
    bool running_ = false;
    bool stopRequested_ = false;
    int closeResult_ = -1;  ///< the result to close with once the run ends; -1 for none

    QLineEdit* folderField_ = nullptr;
    QPushButton* selectButton_ = nullptr;
    QRadioButton* typeButtons_[3] = {};
    QLineEdit* recipeField_ = nullptr;
    QPushButton* recipeButton_ = nullptr;
    QComboBox* dimensionList_ = nullptr;
    QRadioButton* directionButtons_[3] = {};
    QComboBox* degreeList_ = nullptr;
    QSlider* slider_ = nullptr;
    CEditDisabled* cutOffField_ = nullptr;
    CUpDownArrows* arrows_ = nullptr;
    /// The fields x1, y1, x2 and y2 of each rectangle row.
    std::array<std::array<QLineEdit*, 4>, 4> rectangleFields_{};
    QPlainTextEdit* log_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* processButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
};

}  // namespace quarvel
