#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "ShellFixture.h"

namespace quarvel::test {
namespace {

/// The program with coffee.png opened and its red spectrum edited: work that is in no file.
class UnsavedWork : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        Start();
        OpenThroughCommand(TestImage("coffee.png"));
        ASSERT_NE(Doc().originalImage, nullptr);
        EditSpectrum();
    }

    /// Drops file on the main window and lets the drop's opening run.
    void Drop(const QString& file) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&Frame(), &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&Frame(), &drop);
        QApplication::processEvents();
    }

    bool ShowsCoffee() { return Doc().Title() == QStringLiteral("coffee.png"); }
};

TEST_F(UnsavedWork, EveryWayOfReplacingTheDocument_AsksAndCancelKeepsTheWork) {
    const ProcState* edits = Doc().workingState.get();
    Frame().AddRecentFile(TestImage("camera.png"));
    const auto cancelled = [&](const char* way) {
        SCOPED_TRACE(way);
        EXPECT_EQ(Ui().saveChangesQuestions.size(), 1);
        EXPECT_EQ(Ui().saveChangesQuestions.value(0),
                  QStringLiteral("Save changes to coffee.png?"));
        EXPECT_TRUE(ShowsCoffee());
        EXPECT_EQ(Doc().workingState.get(), edits);
        Ui().saveChangesQuestions.clear();
    };

    Ui().saveChangesAnswers = {SaveChoice::Cancel};
    OpenThroughCommand(TestImage("camera.png"));
    cancelled("Open");
    Ui().saveChangesAnswers = {SaveChoice::Cancel};
    Trigger(ID_FILE_MRU_FIRST);
    cancelled("recent file");
    Ui().saveChangesAnswers = {SaveChoice::Cancel};
    Drop(TestImage("camera.png"));
    cancelled("drop");
    Ui().saveChangesAnswers = {SaveChoice::Cancel};
    Trigger(ID_APP_EXIT);
    cancelled("Exit");
    EXPECT_TRUE(Frame().isVisible());
    Ui().saveChangesAnswers = {SaveChoice::Cancel};
    Frame().close();
    cancelled("close box");
    EXPECT_TRUE(Frame().isVisible());
    EXPECT_TRUE(Ui().proposedSaves.isEmpty());

    // Discard goes on.
    Drop(TestImage("camera.png"));
    EXPECT_EQ(Ui().saveChangesQuestions.size(), 1);
    EXPECT_EQ(Doc().Title(), QStringLiteral("camera.png"));
}

TEST_F(UnsavedWork, Save_GoesOnOnlyWhenTheSaveSucceeded) {
    Trigger(ID_FFT_CREATE_FINAL);
    ASSERT_EQ(Doc().states.size(), 2u);
    // The Save As dialog is cancelled: nothing is opened.
    Ui().saveChangesAnswers = {SaveChoice::Save};
    OpenThroughCommand(TestImage("camera.png"));
    EXPECT_EQ(Ui().proposedSaves.size(), 1);
    EXPECT_TRUE(ShowsCoffee());
    EXPECT_EQ(Doc().states.size(), 2u);

    const QString target = TempPath(QStringLiteral("kept.png"));
    Ui().saveChangesAnswers = {SaveChoice::Save};
    Ui().saveAnswers = {target};
    OpenThroughCommand(TestImage("camera.png"));
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(Doc().Title(), QStringLiteral("camera.png"));
    EXPECT_TRUE(Ui().errors.isEmpty());
}

TEST_F(UnsavedWork, NothingUnsaved_AsksNothing) {
    // Edits taken back, the opened image is what is in its file.
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    Trigger(ID_EDIT_RESTORE);
    ASSERT_EQ(Doc().workingState, nullptr);
    OpenThroughCommand(TestImage("coffee.png"));
    EXPECT_TRUE(Ui().saveChangesQuestions.isEmpty());

    // A final image is unsaved until it is saved; undoing back to the file's image is not.
    EditSpectrum();
    Trigger(ID_FFT_CREATE_FINAL);
    EXPECT_TRUE(Doc().HasUnsavedChanges());
    Trigger(ID_EDIT_UNDO);
    EXPECT_FALSE(Doc().HasUnsavedChanges());
    Trigger(ID_EDIT_REDO);
    Ui().saveAnswers = {TempPath(QStringLiteral("final.png"))};
    Trigger(ID_FILE_SAVE);
    ASSERT_TRUE(Ui().errors.isEmpty());
    EXPECT_FALSE(Doc().HasUnsavedChanges());
    Trigger(ID_APP_EXIT);
    EXPECT_TRUE(Ui().saveChangesQuestions.isEmpty());
    EXPECT_FALSE(Frame().isVisible());
}

}  // namespace
}  // namespace quarvel::test
