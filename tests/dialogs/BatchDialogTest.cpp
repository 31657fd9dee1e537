#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QComboBox>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "batch/BatchSettingsStore.h"
#include "dialogs/CDlgBatchProcessing.h"
#include "dialogs/CUpDownArrows.h"
#include "recipe/RecipeFile.h"
#include "support/TestFiles.h"
#include "ui/CUserInteraction.h"

namespace quarvel {
namespace {

using test::IsJpeg;
using test::TempFolder;
using test::TestImage;

/// Answers the folder picker from a scripted answer and records the messages.
class BatchInteraction : public CUserInteraction {
public:
    QString AskFolder(QWidget* /*parent*/, const QString& title, const QString& start) override {
        folderTitles.append(title);
        folderStarts.append(start);
        return folderAnswer;
    }
    void ShowWarning(QWidget* /*parent*/, const QString& /*title*/, const QString& text) override {
        messages.append(text);
    }
    void ShowError(QWidget* /*parent*/, const QString& /*title*/, const QString& text) override {
        messages.append(text);
    }

    QString folderAnswer;  ///< empty: the picker is cancelled
    QStringList folderTitles;
    QStringList folderStarts;
    QStringList messages;
};

template <typename T>
T* Child(const QWidget& dialog, const QString& name) {
    T* child = dialog.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name.toStdString();
    return child;
}

template <typename T>
T* Child(const QWidget& dialog, const char* name) {
    return Child<T>(dialog, QString::fromLatin1(name));
}

QString FolderText(const TempFolder& folder) {
    return QString::fromStdString(folder.Text());
}

/// The field of value column ("x1", "y1", "x2" or "y2") of rectangle row 1 to 4.
QLineEdit* RectangleField(const QWidget& dialog, int row, const char* column) {
    return Child<QLineEdit>(
        dialog, QStringLiteral("rectangle%1%2").arg(row).arg(QString::fromLatin1(column)));
}

void Click(const QWidget& dialog, const char* name) {
    Child<QPushButton>(dialog, name)->click();
}

QStringList LogWidgetLines(const QWidget& dialog) {
    return Child<QPlainTextEdit>(dialog, "logField")->toPlainText().split(QLatin1Char('\n'));
}

/// A batch dialog over a settings file of its own and a scripted interaction.
class BatchDialog : public testing::Test {
protected:
    BatchSettingsStore Store() const {
        return BatchSettingsStore((settingsFolder_ / "batch.ini").string());
    }
    std::unique_ptr<CDlgBatchProcessing> MakeDialog() {
        auto dialog = std::make_unique<CDlgBatchProcessing>(ui, Store());
        dialog->show();
        return dialog;
    }
    /// Copies test images into the folder under new names.
    static void Fill(const TempFolder& folder,
                     const std::vector<std::pair<std::string, std::string>>& copies) {
        for (const auto& [image, name] : copies) {
            std::filesystem::copy_file(TestImage(image), folder / name);
        }
    }

    BatchInteraction ui;

private:
    TempFolder settingsFolder_;
};

TEST_F(BatchDialog, Start_WithEmptyStore_ShowsDefaultsAndDisablesProcess) {
    auto dialog = MakeDialog();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Batch FFT Processing"));
    EXPECT_TRUE(Child<QRadioButton>(*dialog, "lowPassType")->isChecked());
    EXPECT_EQ(Child<QComboBox>(*dialog, "degreeList")->currentText(), QStringLiteral("3"));
    EXPECT_EQ(Child<QLineEdit>(*dialog, "cutOffField")->text(), QStringLiteral("20"));
    EXPECT_EQ(Child<QSlider>(*dialog, "cutOffSlider")->value(), 20);
    EXPECT_EQ(Child<QSlider>(*dialog, "cutOffSlider")->maximum(), 100);
    EXPECT_TRUE(Child<QRadioButton>(*dialog, "direction0")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>(*dialog, "direction1")->isEnabled());
    EXPECT_EQ(RectangleField(*dialog, 4, "y2")->text(), QStringLiteral("0"));
    EXPECT_TRUE(Child<QLineEdit>(*dialog, "folderField")->text().isEmpty());
    EXPECT_FALSE(Child<QPushButton>(*dialog, "processButton")->isEnabled());
}

TEST_F(BatchDialog, Start_ShowsStoredSettingsAndEnablesProcessForStoredFolder) {
    TempFolder images;
    BatchSettings stored;
    stored.filteringType = PowerSpectrumDeleting;
    stored.degreeIndex = 5;
    stored.cutOff = 73;
    stored.dimensionIndex = 1;
    stored.direction = 2;
    stored.rectangles[2] = SpectrumRectangle{-4, 5, 600, 70000};
    BatchSettingsStore store = Store();
    ASSERT_TRUE(store.SaveBatchSettings(stored));
    ASSERT_TRUE(store.SaveLastPath(images.Text()));

    auto dialog = MakeDialog();
    EXPECT_EQ(dialog->Settings().rectangles, stored.rectangles);
    EXPECT_TRUE(Child<QRadioButton>(*dialog, "deletingType")->isChecked());
    EXPECT_EQ(Child<QComboBox>(*dialog, "degreeList")->currentText(), QStringLiteral("6"));
    EXPECT_EQ(Child<QComboBox>(*dialog, "dimensionList")->currentText(),
              QStringLiteral("1D Filter"));
    EXPECT_TRUE(Child<QRadioButton>(*dialog, "direction2")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(*dialog, "direction1")->isEnabled());
    EXPECT_EQ(Child<QSlider>(*dialog, "cutOffSlider")->value(), 73);
    EXPECT_EQ(RectangleField(*dialog, 3, "x1")->text(), QStringLiteral("-4"));
    EXPECT_EQ(RectangleField(*dialog, 3, "y2")->text(), QStringLiteral("70000"));
    EXPECT_EQ(Child<QLineEdit>(*dialog, "folderField")->text(), FolderText(images));
    EXPECT_TRUE(Child<QPushButton>(*dialog, "processButton")->isEnabled());
}

TEST_F(BatchDialog, FolderText_EnablesProcessOnlyForAnExistingFolder) {
    TempFolder images;
    test::WriteBytes(images / "plain.txt", "not a folder");
    auto dialog = MakeDialog();
    auto* field = Child<QLineEdit>(*dialog, "folderField");
    auto* process = Child<QPushButton>(*dialog, "processButton");
    // A bad value elsewhere does not interrupt the typing of the folder.
    RectangleField(*dialog, 1, "x1")->setText(QStringLiteral("x"));

    field->setText(QString::fromStdString(images.Path().string()));
    EXPECT_TRUE(process->isEnabled());
    field->setText(QString::fromStdString((images / "missing").string()));
    EXPECT_FALSE(process->isEnabled());
    field->setText(QString::fromStdString((images / "plain.txt").string()));
    EXPECT_FALSE(process->isEnabled());
    field->setText(FolderText(images));
    EXPECT_TRUE(process->isEnabled());
    field->clear();
    EXPECT_FALSE(process->isEnabled());
    EXPECT_TRUE(ui.messages.isEmpty());
    // Typing a folder is not choosing one: it is not remembered.
    EXPECT_TRUE(Store().LoadBatchSettings().lastPath.empty());
}

TEST_F(BatchDialog, SelectFolder_AddsSlashRemembersAndEnables_CancelChangesNothing) {
    TempFolder images;
    auto dialog = MakeDialog();
    auto* field = Child<QLineEdit>(*dialog, "folderField");
    field->setText(QStringLiteral("/typed/before"));

    ui.folderAnswer.clear();
    Click(*dialog, "selectButton");
    EXPECT_EQ(field->text(), QStringLiteral("/typed/before"));
    EXPECT_TRUE(Store().LoadBatchSettings().lastPath.empty());
    ASSERT_EQ(ui.folderTitles.size(), 1);
    EXPECT_EQ(ui.folderTitles[0], QStringLiteral("Select folder:"));
    EXPECT_EQ(ui.folderStarts[0], QStringLiteral("/typed/before"));

    ui.folderAnswer = QString::fromStdString(images.Path().string());
    Click(*dialog, "selectButton");
    EXPECT_EQ(field->text(), FolderText(images));
    EXPECT_EQ(dialog->folder, FolderText(images));
    EXPECT_EQ(Store().LoadBatchSettings().lastPath, images.Text());
    EXPECT_TRUE(Child<QPushButton>(*dialog, "processButton")->isEnabled());

    // A folder that is gone by the time it is chosen is shown but neither kept nor usable.
    ui.folderAnswer = QString::fromStdString((images / "gone").string());
    Click(*dialog, "selectButton");
    EXPECT_EQ(field->text(), ui.folderAnswer + QLatin1Char('/'));
    EXPECT_EQ(Store().LoadBatchSettings().lastPath, images.Text());
    EXPECT_FALSE(Child<QPushButton>(*dialog, "processButton")->isEnabled());
}

TEST_F(BatchDialog, RectangleValueNotAnInteger_IsRefusedWithMessageAndFocus) {
    TempFolder images;
    Fill(images, {{"palette_gray.png", "a.png"}});
    auto dialog = MakeDialog();
    Child<QLineEdit>(*dialog, "folderField")->setText(FolderText(images));
    RectangleField(*dialog, 1, "x1")->setText(QStringLiteral("  7 "));
    QLineEdit* bad = RectangleField(*dialog, 2, "y1");

    for (const char* text : {"abc", "", "1.5", "2147483648"}) {
        SCOPED_TRACE(text);
        ui.messages.clear();
        bad->setText(QString::fromLatin1(text));
        Click(*dialog, "processButton");
        EXPECT_EQ(ui.messages, QStringList{QStringLiteral("Enter an integer.")});
        EXPECT_EQ(dialog->focusWidget(), bad);
        // Nothing was run.
        EXPECT_TRUE(dialog->Processor().Log().empty());
        EXPECT_EQ(images.Entries().size(), 1u);
    }
    // The fields before the bad one were read all the same.
    EXPECT_EQ(dialog->rectangles[0].x1, 7);

    bad->setText(QStringLiteral("-2147483648"));
    Click(*dialog, "exitButton");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(Store().LoadBatchSettings().rectangles[1].y1, INT32_MIN);
}

TEST_F(BatchDialog, BadRectangleValue_NeverHoldsTheDialogOpen) {
    // Exit, Escape and the close box each close at once, without a message; the bad field's
    // stored value stays and the good ones are saved.
    const auto closeBy = [](QDialog& dialog, int way) {
        if (way == 0) {
            Click(dialog, "exitButton");
        } else if (way == 1) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&dialog, &escape);
        } else {
            dialog.close();
        }
    };
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        auto dialog = MakeDialog();
        RectangleField(*dialog, 1, "x1")->setText(QString::number(way + 5));
        QLineEdit* bad = RectangleField(*dialog, 3, "y2");
        bad->setText(QStringLiteral("1.5"));
        // Other controls read the fields too, and stay quiet about the bad one.
        Child<QRadioButton>(*dialog, "deletingType")->click();
        Click(*dialog, "clear2");
        bad->setText(QStringLiteral("x"));
        closeBy(*dialog, way);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
        EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('|')).toStdString();
        const BatchSettings stored = Store().LoadBatchSettings();
        EXPECT_EQ(stored.rectangles[0].x1, way + 5);
        EXPECT_EQ(stored.rectangles[2].y2, 0);
        EXPECT_EQ(stored.filteringType, PowerSpectrumDeleting);
    }
}

TEST_F(BatchDialog, ClearButton_ZeroesOnlyItsRowEvenWhenItHoldsABadValue) {
    auto dialog = MakeDialog();
    for (int row = 1; row <= 4; ++row) {
        for (const char* column : {"x1", "y1", "x2", "y2"}) {
            RectangleField(*dialog, row, column)->setText(QString::number(row * 10));
        }
    }
    RectangleField(*dialog, 3, "x2")->setText(QStringLiteral("oops"));
    Click(*dialog, "clear3");
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(dialog->rectangles[2], SpectrumRectangle{});
    EXPECT_EQ(RectangleField(*dialog, 3, "x2")->text(), QStringLiteral("0"));
    EXPECT_EQ(dialog->rectangles[1], (SpectrumRectangle{20, 20, 20, 20}));
    EXPECT_EQ(dialog->rectangles[3], (SpectrumRectangle{40, 40, 40, 40}));

    Click(*dialog, "clear1");
    EXPECT_EQ(dialog->rectangles[0], SpectrumRectangle{});
    for (const char* column : {"x1", "y1", "x2", "y2"}) {
        EXPECT_EQ(RectangleField(*dialog, 1, column)->text(), QStringLiteral("0")) << column;
        EXPECT_EQ(RectangleField(*dialog, 4, column)->text(), QStringLiteral("40")) << column;
    }
}

TEST_F(BatchDialog, FilterDesignControls_FollowTheDimensionRuleAndSliderRange) {
    auto dialog = MakeDialog();
    auto* dimension = Child<QComboBox>(*dialog, "dimensionList");
    dimension->setCurrentIndex(1);
    EXPECT_TRUE(Child<QRadioButton>(*dialog, "direction2")->isEnabled());
    Child<QRadioButton>(*dialog, "direction2")->click();
    EXPECT_EQ(dialog->direction, 2);
    dimension->setCurrentIndex(0);
    EXPECT_EQ(dialog->direction, 0);
    EXPECT_TRUE(Child<QRadioButton>(*dialog, "direction0")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>(*dialog, "direction2")->isEnabled());

    // The arrows step the cut-off, even below the slider's range for a moment; the slider's
    // next repaint brings it back.
    auto* arrows = Child<CUpDownArrows>(*dialog, "cutOffArrows");
    auto* slider = Child<QSlider>(*dialog, "cutOffSlider");
    slider->setValue(2);
    EXPECT_EQ(dialog->cutOff, 2);
    arrows->Press(-1);
    arrows->Press(-1);
    arrows->Press(-1);
    EXPECT_EQ(dialog->cutOff, 0);
    EXPECT_EQ(Child<QLineEdit>(*dialog, "cutOffField")->text(), QStringLiteral("0"));
    slider->grab();
    EXPECT_EQ(dialog->cutOff, 1);
    EXPECT_EQ(Child<QLineEdit>(*dialog, "cutOffField")->text(), QStringLiteral("1"));
}

TEST_F(BatchDialog, TypedCutOff_IsTakenWithinRangeAndTheSliderFollows) {
    auto dialog = MakeDialog();
    auto* field = Child<QLineEdit>(*dialog, "cutOffField");
    const auto type = [field](const char* text) {
        field->setFocus();
        field->selectAll();
        for (const char* c = text; *c != '\0'; ++c) {
            QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(QLatin1Char(*c)));
            QCoreApplication::sendEvent(field, &key);
        }
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(field, &enter);
    };
    type("35");
    EXPECT_EQ(dialog->cutOff, 35);
    EXPECT_EQ(Child<QSlider>(*dialog, "cutOffSlider")->value(), 35);
    // Enter in the field does not close the dialog.
    EXPECT_TRUE(dialog->isVisible());
    type("101");
    EXPECT_EQ(ui.messages, QStringList{QStringLiteral("Enter an integer from 1 to 100.")});
    EXPECT_EQ(field->text(), QStringLiteral("35"));
    EXPECT_EQ(dialog->cutOff, 35);
    Click(*dialog, "exitButton");
    EXPECT_EQ(Store().LoadBatchSettings().cutOff, 35);
}

TEST_F(BatchDialog, SliderRepaint_LeavesTextBeingTypedAndTheFocusAlone) {
    TempFolder images;
    auto dialog = MakeDialog();
    // With a folder, "Process" could take the focus.
    Child<QLineEdit>(*dialog, "folderField")->setText(FolderText(images));
    auto* slider = Child<QSlider>(*dialog, "cutOffSlider");
    slider->setValue(100);
    Child<CUpDownArrows>(*dialog, "cutOffArrows")->Press(1);
    EXPECT_EQ(dialog->cutOff, 101);
    auto* field = RectangleField(*dialog, 2, "x2");
    field->setFocus();
    field->setText(QStringLiteral("12"));
    slider->grab();
    EXPECT_EQ(dialog->cutOff, 100);
    EXPECT_EQ(field->text(), QStringLiteral("12"));
    EXPECT_EQ(dialog->focusWidget(), field);
}

TEST_F(BatchDialog, Exit_SavesSettingsThatTheNextDialogShows) {
    {
        auto dialog = MakeDialog();
        Child<QRadioButton>(*dialog, "deletingType")->click();
        Child<QComboBox>(*dialog, "dimensionList")->setCurrentIndex(1);
        Child<QRadioButton>(*dialog, "direction1")->click();
        Child<QComboBox>(*dialog, "degreeList")->setCurrentIndex(4);
        Child<QSlider>(*dialog, "cutOffSlider")->setValue(64);
        RectangleField(*dialog, 4, "x1")->setText(QStringLiteral("1"));
        RectangleField(*dialog, 4, "y1")->setText(QStringLiteral("2"));
        RectangleField(*dialog, 4, "x2")->setText(QStringLiteral("300"));
        RectangleField(*dialog, 4, "y2")->setText(QStringLiteral("-1"));
        Click(*dialog, "exitButton");
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
    }
    const BatchSettings stored = Store().LoadBatchSettings();
    EXPECT_EQ(stored.filteringType, PowerSpectrumDeleting);
    EXPECT_EQ(stored.dimensionIndex, 1);
    EXPECT_EQ(stored.direction, 1);
    EXPECT_EQ(stored.degreeIndex, 4);
    EXPECT_EQ(stored.cutOff, 64);
    EXPECT_EQ(stored.rectangles[3], (SpectrumRectangle{1, 2, 300, -1}));

    auto again = MakeDialog();
    EXPECT_EQ(again->Settings(), stored);
    EXPECT_TRUE(Child<QRadioButton>(*again, "direction1")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(*again, "cutOffField")->text(), QStringLiteral("64"));
}

TEST_F(BatchDialog, EnterInAField_SavesAndClosesWithOk) {
    auto dialog = MakeDialog();
    auto* field = RectangleField(*dialog, 1, "y2");
    field->setText(QStringLiteral("9"));
    field->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(field, &enter);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Store().LoadBatchSettings().rectangles[0].y2, 9);
}

/// A folder of three sources in the order the batch takes them, a file it skips and one that
/// cannot be decoded.
class BatchDialogRun : public BatchDialog {
protected:
    void SetUp() override {
        Fill(images, {{"rocket.jpg", "a.jpg"},
                      {"palette_color.png", "b.png"},
                      {"truncated.jpg", "bad.png"},
                      {"camera.png", "c.png"}});
        test::WriteBytes(images / "notes.txt", "not an image");
    }
    std::string Out(const std::string& name) const { return (images / name).string(); }

    TempFolder images;
};

TEST_F(BatchDialogRun, Process_LogsEachFileWritesJpegResultsAndKeepsWorking) {
    auto dialog = MakeDialog();
    // Without the trailing slash, which the run adds.
    Child<QLineEdit>(*dialog, "folderField")->setText(QString::fromStdString(images.Path()));
    Click(*dialog, "processButton");

    const std::vector<std::string> expected = {
        Out("a_flt.jpg") + " (#.?? sec)", Out("b_flt.png") + " (#.?? sec)",
        Out("bad.png") + ": not loaded: *", Out("c_flt.png") + " (#.?? sec)",
        "Processed 4 files in #.?? sec"};
    test::ExpectLinesMatch(test::LogLines(dialog->Processor().Log()), expected);
    std::vector<std::string> shown;
    for (const QString& line : LogWidgetLines(*dialog)) {
        shown.push_back(line.toStdString());
    }
    test::ExpectLinesMatch(shown, expected);

    EXPECT_TRUE(IsJpeg(images / "a_flt.jpg"));
    for (const char* name : {"b_flt.png", "c_flt.png"}) {
        EXPECT_EQ(test::FileFormat(images / name), "png") << name;
    }
    EXPECT_FALSE(std::filesystem::exists(images / "bad_flt.png"));
    EXPECT_EQ(Child<QLineEdit>(*dialog, "folderField")->text(), FolderText(images));
    auto* progress = Child<QProgressBar>(*dialog, "progressBar");
    EXPECT_EQ(progress->value(), 4);
    EXPECT_EQ(progress->maximum(), 4);
    EXPECT_TRUE(Child<QPushButton>(*dialog, "processButton")->isEnabled());
    EXPECT_FALSE(dialog->IsRunning());
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(BatchDialogRun, ControlsChangedDuringRun_ApplyFromTheNextFile) {
    auto dialog = MakeDialog();
    Child<QLineEdit>(*dialog, "folderField")->setText(FolderText(images));
    // Clearing every element of the spectrum but its last row leaves a black image; the
    // low-pass filter keeps the picture. The switch and the rectangle are typed in while the
    // first file is done.
    auto* deleting = Child<QRadioButton>(*dialog, "deletingType");
    auto* log = Child<QPlainTextEdit>(*dialog, "logField");
    bool processDisabledDuringRun = false;
    QObject::connect(log, &QPlainTextEdit::textChanged, dialog.get(), [&] {
        if (log->toPlainText().contains(QStringLiteral("a_flt.jpg")) && !deleting->isChecked()) {
            processDisabledDuringRun = !Child<QPushButton>(*dialog, "processButton")->isEnabled();
            QMetaObject::invokeMethod(deleting, &QRadioButton::click, Qt::QueuedConnection);
            QMetaObject::invokeMethod(
                dialog.get(),
                [&] {
                    RectangleField(*dialog, 1, "x2")->setText(QStringLiteral("100000"));
                    RectangleField(*dialog, 1, "y2")->setText(QStringLiteral("100000"));
                },
                Qt::QueuedConnection);
        }
    });
    Click(*dialog, "processButton");
    EXPECT_TRUE(processDisabledDuringRun);

    const auto brightest = [this](const char* name) {
        const QImage image(QString::fromStdString(Out(name)));
        EXPECT_FALSE(image.isNull()) << name;
        int most = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                most = std::max(most, qGray(image.pixel(x, y)));
            }
        }
        return most;
    };
    EXPECT_GT(brightest("a_flt.jpg"), 100);
    EXPECT_LT(brightest("c_flt.png"), 8);
}

TEST_F(BatchDialogRun, ExitDuringRun_FinishesTheFileInHandThenStopsAndCloses) {
    auto dialog = MakeDialog();
    Child<QLineEdit>(*dialog, "folderField")->setText(FolderText(images));
    Child<QSlider>(*dialog, "cutOffSlider")->setValue(35);
    auto* log = Child<QPlainTextEdit>(*dialog, "logField");
    auto* exitButton = Child<QPushButton>(*dialog, "exitButton");
    // "Exit" is clicked as soon as the first result is logged; the click reaches the dialog
    // with the events handled before the next file.
    bool clicked = false;
    QObject::connect(log, &QPlainTextEdit::textChanged, dialog.get(), [&] {
        if (!clicked && !log->toPlainText().isEmpty()) {
            clicked = true;
            QMetaObject::invokeMethod(exitButton, &QPushButton::click, Qt::QueuedConnection);
        }
    });
    Click(*dialog, "processButton");

    test::ExpectLinesMatch(test::LogLines(dialog->Processor().Log()),
                           {Out("a_flt.jpg") + " (#.?? sec)", "Stopped after 1 of 4 files",
                            "Processed 1 files in #.?? sec"});
    EXPECT_TRUE(IsJpeg(images / "a_flt.jpg"));
    EXPECT_FALSE(std::filesystem::exists(images / "b_flt.png"));
    EXPECT_FALSE(std::filesystem::exists(images / "c_flt.png"));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->IsRunning());
    EXPECT_EQ(Store().LoadBatchSettings().cutOff, 35);
}

TEST_F(BatchDialog, ProcessMissingFolderTypedAfterwards_ReportsTheFolderAndNoFiles) {
    TempFolder images;
    auto dialog = MakeDialog();
    Child<QLineEdit>(*dialog, "folderField")->setText(FolderText(images));
    std::filesystem::remove(images.Path());
    dialog->RunBatch();
    const std::vector<std::string> lines = test::LogLines(dialog->Processor().Log());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(images.Path().string()), std::string::npos) << lines[0];
    EXPECT_TRUE(test::MatchesPattern(lines[1], "Processed 0 files in #.?? sec")) << lines[1];
    EXPECT_FALSE(Child<QPushButton>(*dialog, "processButton")->isEnabled());
}

TEST_F(BatchDialog, Recipe_ClearsAsTheSameRectangleDoesAndIsKeptInTheSettings) {
    TempFolder images;
    Fill(images, {{"camera.png", "a.png"}});
    TempFolder recipes;
    // camera.png is 512 x 512 and so is its spectrum: the frame the rectangle is made on.
    Recipe recipe;
    recipe.sourceWidth = recipe.sourceHeight = 512;
    recipe.steps.push_back(MakeRectangleStep(RecipeFrame{512, 512, 512, 512}, 200, 10, 300, 20));
    const std::string recipePath = (recipes / "r.json").string();
    ASSERT_TRUE(SaveRecipeFile(recipePath, recipe));

    const auto runWith = [&](const char* type, const QString& recipeText) {
        auto dialog = MakeDialog();
        Child<QLineEdit>(*dialog, "folderField")->setText(FolderText(images));
        Child<QRadioButton>(*dialog, type)->click();
        Child<QLineEdit>(*dialog, "recipeField")->setText(recipeText);
        RectangleField(*dialog, 1, "x1")->setText(QStringLiteral("200"));
        RectangleField(*dialog, 1, "y1")->setText(QStringLiteral("10"));
        RectangleField(*dialog, 1, "x2")->setText(QStringLiteral("300"));
        RectangleField(*dialog, 1, "y2")->setText(QStringLiteral("20"));
        dialog->RunBatch();
        dialog->reject();
        return test::ReadBytes(images / "a_flt.png");
    };
    const std::string byRecipe = runWith("recipeType", QString::fromStdString(recipePath));
    ASSERT_FALSE(byRecipe.empty());
    EXPECT_EQ(runWith("deletingType", QString()), byRecipe);

    // The recipe and its choice are kept; a damaged one is named and stops the run.
    auto dialog = MakeDialog();
    EXPECT_EQ(Child<QLineEdit>(*dialog, "recipeField")->text(), QString());
    Child<QRadioButton>(*dialog, "recipeType")->click();
    Child<QLineEdit>(*dialog, "recipeField")->setText(QString::fromStdString(recipePath));
    dialog->reject();
    dialog = MakeDialog();
    EXPECT_TRUE(Child<QRadioButton>(*dialog, "recipeType")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(*dialog, "recipeField")->text(), QString::fromStdString(recipePath));
    std::filesystem::remove(images / "a_flt.png");
    test::WriteBytes(recipes / "r.json", "{\"format\": \"FFT Quarvel recipe\", \"version\": 2}");
    dialog->RunBatch();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.front(),
              QString::fromStdString(recipePath) +
                  QStringLiteral(": recipe version 2 is not known (this program reads version 1)"));
    EXPECT_FALSE(std::filesystem::exists(images / "a_flt.png"));
}

}  // namespace
}  // namespace quarvel
