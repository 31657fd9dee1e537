// The document under memory pressure: the history's memory limit with its one message, the
// limit's setting, and commands whose allocations fail one after another.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSettings>

#include "FailingAllocation.h"
#include "app/CFFTQuarvelView.h"
#include "gui/ShellFixture.h"
#include "history/ProcTestSupport.h"
#include "ui/CommandIds.h"
#include "views/FrequencyPane.h"

namespace quarvel::test {
namespace {

using testing_support::CopyOf;
using testing_support::PlaneCopy;
using testing_support::SameBits;
using testing_support::SamePixels;

constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;

/// Answers every dialog with OK and records the messages; with armAt set, the countdown-th
/// allocation after a dialog was answered fails.
class ArmingInteraction : public CUserInteraction {
public:
    QString AskOpenPath(QWidget*) override { return {}; }
    QString AskSavePath(QWidget*, const QString&) override { return {}; }
    void ShowError(QWidget*, const QString&, const QString& text) override { errors.append(text); }
    void ShowWarning(QWidget*, const QString&, const QString& text) override {
        warnings.append(text);
    }
    int RunModal(QDialog&) override {
        if (armAt != 0) {
            AllocationFailure::Arm(armAt);
        }
        return QDialog::Accepted;
    }
    bool OpenUrl(const QUrl&) override { return false; }
    /// Answers with recipe, arming the failure as a dialog does: the command runs after it.
    QString AskRecipePath(QWidget*, bool, const QString&) override {
        if (armAt != 0) {
            AllocationFailure::Arm(armAt);
        }
        return recipe;
    }

    std::uint64_t armAt = 0;
    QString recipe;
    QStringList errors;
    QStringList warnings;
};

/// Everything a command that fails must leave as it was: the history's states themselves, the
/// current index, the contents of the working state, the loaded image and the file.
struct DocumentPicture {
    std::vector<const ProcState*> states;
    std::uint64_t currentIndex = 0;
    bool hasWorkingState = false;
    std::vector<PlaneCopy> workingSpectra;
    std::vector<std::unique_ptr<ImageBitmap>> workingPower;
    const ImageBitmap* original = nullptr;
    QString path;
    QString title;
    bool openedImage = false;
};

DocumentPicture Picture(const CFFTQuarvelDoc& doc) {
    DocumentPicture picture;
    for (const auto& state : doc.states) {
        picture.states.push_back(state.get());
    }
    picture.currentIndex = doc.currentIndex;
    picture.hasWorkingState = doc.workingState != nullptr;
    if (doc.workingState) {
        const ProcState& working = *doc.workingState;
        const std::size_t count =
            std::size_t{working.workImage->Width()} * working.workImage->Height();
        for (const ChannelSpectrum* spectrum :
             {&working.spectrumRed, &working.spectrumGreen, &working.spectrumBlue}) {
            picture.workingSpectra.push_back(CopyOf(*spectrum, count));
        }
        for (const auto* power : {&working.powerRed, &working.powerGreen, &working.powerBlue}) {
            picture.workingPower.push_back(CopyBitmap(power->get()));
        }
    }
    picture.original = doc.originalImage.get();
    picture.path = doc.PathName();
    picture.title = doc.Title();
    picture.openedImage = doc.openedImage;
    return picture;
}

void ExpectAsBefore(const CFFTQuarvelDoc& doc, const DocumentPicture& before) {
    ASSERT_EQ(doc.states.size(), before.states.size());
    for (std::size_t i = 0; i < before.states.size(); ++i) {
        EXPECT_EQ(doc.states[i].get(), before.states[i]) << "state " << i;
    }
    EXPECT_EQ(doc.currentIndex, before.currentIndex);
    ASSERT_EQ(doc.workingState != nullptr, before.hasWorkingState);
    if (doc.workingState) {
        const ProcState& working = *doc.workingState;
        EXPECT_TRUE(SameBits(working.spectrumRed, before.workingSpectra[0]));
        EXPECT_TRUE(SameBits(working.spectrumGreen, before.workingSpectra[1]));
        EXPECT_TRUE(SameBits(working.spectrumBlue, before.workingSpectra[2]));
        std::size_t i = 0;
        for (const auto* power : {&working.powerRed, &working.powerGreen, &working.powerBlue}) {
            ASSERT_NE(*power, nullptr);
            EXPECT_TRUE(SamePixels(**power, *before.workingPower[i++]));
        }
    }
    // The state shown has every power image, also one an edit had taken from it.
    const ProcState* shown = doc.ActiveState();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->powerRed && shown->powerGreen && shown->powerBlue);
    EXPECT_EQ(doc.originalImage.get(), before.original);
    EXPECT_EQ(doc.PathName(), before.path);
    EXPECT_EQ(doc.Title(), before.title);
    EXPECT_EQ(doc.openedImage, before.openedImage);
}

class DocumentMemory : public ShellTest {
protected:
    void TearDown() override {
        AllocationFailure::Disarm();
        ShellTest::TearDown();
    }

    /// A small colour image in the temporary folder: its commands make few allocations.
    QString SmallImage() {
        QImage image(40, 28, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                image.setPixel(x, y, qRgb((x * 37 + y * 11) & 255, (x * y) & 255, (y * 23) & 255));
            }
        }
        const QString path = TempPath(QStringLiteral("small.png"));
        EXPECT_TRUE(image.save(path));
        return path;
    }

    /// Replaces the scripted dialogs with answers that can arm a failure; Ui() is gone after.
    ArmingInteraction& ArmDialogs() {
        auto interaction = std::make_unique<ArmingInteraction>();
        ArmingInteraction& answers = *interaction;
        Doc().SetInteraction(std::move(interaction));
        return answers;
    }

    /// Opens path and leaves three states, the middle one current, and pending edits.
    void BuildHistoryWithRedoAndEdits(const QString& path) {
        ASSERT_TRUE(Doc().OnOpenDocument(path));
        EditSpectrum(4);
        Doc().RunCommand(ID_FFT_CREATE_FINAL);
        EditSpectrum(8);
        Doc().RunCommand(ID_FFT_CREATE_FINAL);
        Doc().RunCommand(ID_EDIT_UNDO);
        EditSpectrum(2);
        ASSERT_EQ(Doc().states.size(), 3u);
        ASSERT_EQ(Doc().currentIndex, 1u);
        ASSERT_NE(Doc().workingState, nullptr);
    }
};

TEST_F(DocumentMemory, HistoryLimit_ReleasesOldestStepsAndTellsOncePerFile) {
    Start();
    const QString file = SmallImage();
    OpenThroughCommand(file);
    const std::uint64_t stateBytes = CFFTProc::StateBytes(*Doc().CurrentState());
    std::vector<const ProcState*> finals;
    const auto editAndCreate = [&](std::uint32_t radius) {
        EditSpectrum(radius);
        Trigger(ID_FFT_CREATE_FINAL);
        finals.push_back(Doc().CurrentState());
    };
    // A state made by a red edit shares the rest with the one before: it adds less than a whole
    // state. Room for two states and the working state of the next edit (a whole state's room).
    // The edits reach every row, so that each state has red planes of its own (and the first
    // state, not shown, gives its red planes back).
    editAndCreate(40);
    const std::uint64_t once = Doc().HistoryBytes();
    editAndCreate(41);
    const std::uint64_t added = Doc().HistoryBytes() - once;
    ASSERT_LT(added, stateBytes);
    Doc().historyMemoryLimit = 2 * stateBytes + added * 3 / 2;
    for (std::uint32_t radius : {42u, 43u, 44u}) {
        editAndCreate(radius);
    }
    ASSERT_EQ(Doc().states.size(), 2u);
    EXPECT_EQ(Doc().states[0].get(), finals[3]);
    EXPECT_EQ(Doc().states[1].get(), finals[4]);
    EXPECT_EQ(Doc().releasedStateCount, 4u);
    ASSERT_EQ(Ui().warnings.size(), 1);
    EXPECT_TRUE(Ui().warnings[0].contains(QStringLiteral("oldest undo steps were released")));
    EXPECT_TRUE(Ui().errors.isEmpty());

    // Undo goes back as far as the kept states allow, and the commands follow.
    EXPECT_TRUE(IsEnabled(ID_EDIT_UNDO));
    Trigger(ID_EDIT_UNDO);
    EXPECT_EQ(Doc().currentIndex, 0u);
    EXPECT_FALSE(IsEnabled(ID_EDIT_UNDO));
    EXPECT_TRUE(IsEnabled(ID_EDIT_REDO));
    Trigger(ID_EDIT_REDO);
    EXPECT_EQ(Doc().CurrentState(), finals[4]);

    // Reverting keeps what the person was told; a file opened anew is told about again.
    Trigger(ID_FILE_REVERT);
    for (std::uint32_t radius : {40u, 41u, 42u}) {
        EditSpectrum(radius);
        Trigger(ID_FFT_CREATE_FINAL);
    }
    EXPECT_EQ(Ui().warnings.size(), 1);
    OpenThroughCommand(file);
    for (std::uint32_t radius : {40u, 41u, 42u}) {
        EditSpectrum(radius);
        Trigger(ID_FFT_CREATE_FINAL);
    }
    EXPECT_EQ(Ui().warnings.size(), 2);
    EXPECT_EQ(Doc().historyMemoryLimit, 2 * stateBytes + added * 3 / 2);
}

TEST_F(DocumentMemory, HistoryLimitSetting_IsRangeCheckedAndRepaired) {
    QSettings settings;
    settings.remove(CFFTQuarvelDoc::HistoryLimitKey());
    const std::uint64_t fallback = CFFTQuarvelDoc::ReadHistoryMemoryLimit();
    EXPECT_GE(fallback, 16 * kMegabyte);

    settings.setValue(CFFTQuarvelDoc::HistoryLimitKey(), 512);
    EXPECT_EQ(CFFTQuarvelDoc::ReadHistoryMemoryLimit(), 512 * kMegabyte);
    settings.setValue(CFFTQuarvelDoc::HistoryLimitKey(), 16);
    EXPECT_EQ(CFFTQuarvelDoc::ReadHistoryMemoryLimit(), 16 * kMegabyte);

    // Out of range (a 32-bit reading would wrap 99999999999 into range), not a number, too
    // small: the default, and the stored value is removed.
    for (const QVariant& stored :
         {QVariant(QStringLiteral("99999999999")), QVariant(QStringLiteral("4G")), QVariant(15),
          QVariant(-512), QVariant(QStringLiteral("17179869185"))}) {
        settings.setValue(CFFTQuarvelDoc::HistoryLimitKey(), stored);
        EXPECT_EQ(CFFTQuarvelDoc::ReadHistoryMemoryLimit(), fallback) << stored.toString().data();
        EXPECT_FALSE(QSettings().contains(CFFTQuarvelDoc::HistoryLimitKey()));
    }

    settings.setValue(CFFTQuarvelDoc::HistoryLimitKey(), 300);
    settings.sync();
    Start();
    EXPECT_EQ(Doc().historyMemoryLimit, 300 * kMegabyte);
}

TEST_F(DocumentMemory, FailedAllocationInCreateFinalImage_LeavesDocumentAsItWas) {
    Start();
    ArmingInteraction& answers = ArmDialogs();
    const QString file = SmallImage();
    BuildHistoryWithRedoAndEdits(file);

    int refused = 0;
    for (std::uint64_t countdown = 1;; ++countdown) {
        const DocumentPicture before = Picture(Doc());
        const qsizetype errors = answers.errors.size();
        {
            ScopedAllocationFailure failing(countdown);
            EXPECT_NO_THROW(Doc().RunCommand(ID_FFT_CREATE_FINAL));
        }
        const bool failed = AllocationFailure::Happened();
        if (Doc().workingState == nullptr) {
            // Committed: the redo states went, the new state follows the old current one.
            ASSERT_EQ(Doc().states.size(), 3u);
            EXPECT_EQ(Doc().states[1].get(), before.states[1]);
            EXPECT_EQ(Doc().currentIndex, 2u);
            ASSERT_NE(Doc().CurrentState()->image, nullptr);
            if (!failed) {
                EXPECT_EQ(answers.errors.size(), errors);
                break;
            }
            BuildHistoryWithRedoAndEdits(file);
            continue;
        }
        ASSERT_TRUE(failed) << "the command did nothing without a failure";
        ++refused;
        ExpectAsBefore(Doc(), before);
        EXPECT_EQ(answers.errors.size(), errors + 1) << "allocation " << countdown;
        if (HasFailure()) {
            FAIL() << "at allocation " << countdown;
        }
    }
    EXPECT_GT(refused, 0);
}

TEST_F(DocumentMemory, FailedAllocationInFilter_LeavesEditsAndRedoStatesAsTheyWere) {
    Start();
    ArmingInteraction& answers = ArmDialogs();
    const QString file = SmallImage();
    // With pending edits (filtered in place) and without (a working state made for the filter).
    for (const bool pendingEdits : {true, false}) {
        const auto build = [&] {
            BuildHistoryWithRedoAndEdits(file);
            if (!pendingEdits) {
                Doc().RunCommand(ID_EDIT_RESTORE);
                ASSERT_EQ(Doc().workingState, nullptr);
            }
        };
        build();
        int refused = 0;
        for (std::uint64_t countdown = 1;; ++countdown) {
            const DocumentPicture before = Picture(Doc());
            const ProcState* current = Doc().CurrentState();
            const qsizetype errors = answers.errors.size();
            answers.armAt = countdown;
            EXPECT_NO_THROW(Doc().RunCommand(ID_FFT_LOWPASS));
            AllocationFailure::Disarm();
            answers.armAt = 0;
            const bool failed = AllocationFailure::Happened();
            if (Doc().states.size() == 2) {
                // Applied: the redo states went and the spectra were filtered.
                EXPECT_EQ(Doc().currentIndex, 1u);
                ASSERT_NE(Doc().workingState, nullptr);
                EXPECT_FALSE(SameBits(Doc().workingState->spectrumRed,
                                      CopyOf(current->spectrumRed, 64 * 32)));
                if (!failed) {
                    EXPECT_EQ(answers.errors.size(), errors);
                    break;
                }
                build();
                continue;
            }
            ASSERT_TRUE(failed) << "the filter did nothing without a failure";
            ++refused;
            ExpectAsBefore(Doc(), before);
            EXPECT_EQ(answers.errors.size(), errors + 1) << "allocation " << countdown;
            if (HasFailure()) {
                FAIL() << "at allocation " << countdown << (pendingEdits ? " with" : " without")
                       << " pending edits";
            }
        }
        EXPECT_GT(refused, 0);
    }
}

TEST_F(DocumentMemory, FailedAllocationInApplyRecipe_ShowsTheImageAsBefore) {
    Start();
    ArmingInteraction& answers = ArmDialogs();
    const QString file = SmallImage();
    ASSERT_TRUE(Doc().OnOpenDocument(file));
    // A clearing, which renders the shown power image again in place, then a filter.
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    auto& pane = *static_cast<CPowerSpectrumView*>(Frame().TabView()->SpectrumPane());
    pane.selection.SetEllipse(20, 10, 6, 4);
    Trigger(ID_FFT_CLEAR_SELECTION);
    Doc().RunCommand(ID_FFT_LOWPASS);
    ASSERT_EQ(Doc().RecordedRecipe().steps.size(), 2u);
    answers.recipe = TempPath(QStringLiteral("steps.json"));
    Doc().RunCommand(ID_FILE_SAVE_RECIPE);
    ASSERT_TRUE(QFileInfo::exists(answers.recipe));
    ASSERT_TRUE(Doc().OnOpenDocument(file));
    int refused = 0;
    for (std::uint64_t countdown = 1;; ++countdown) {
        const DocumentPicture before = Picture(Doc());
        answers.armAt = countdown;
        EXPECT_NO_THROW(Doc().RunCommand(ID_FILE_APPLY_RECIPE));
        AllocationFailure::Disarm();
        answers.armAt = 0;
        if (!AllocationFailure::Happened()) {
            EXPECT_EQ(Doc().states.size(), 2u);
            break;
        }
        if (Doc().states.size() == 1) {
            ++refused;
            ExpectAsBefore(Doc(), before);
            if (HasFailure()) {
                FAIL() << "at allocation " << countdown;
            }
        } else {
            ASSERT_TRUE(Doc().OnOpenDocument(file));
        }
    }
    EXPECT_GT(refused, 0);
}

TEST_F(DocumentMemory, FailedAllocationInOpen_KeepsThePreviousImage) {
    // Only the open's own first allocation fails here: a failure inside Qt's image readers
    // leaves their plugin table locked, and the engine's part of an open is the history's
    // start, which the engine's allocation tests take apart one allocation at a time.
    Start();
    ArmingInteraction& answers = ArmDialogs();
    const QString file = SmallImage();
    BuildHistoryWithRedoAndEdits(file);
    const QString other = TempPath(QStringLiteral("other.png"));
    ASSERT_TRUE(QFile::copy(file, other));

    const DocumentPicture before = Picture(Doc());
    bool opened = true;
    {
        ScopedAllocationFailure failing(1);
        EXPECT_NO_THROW(opened = Doc().OnOpenDocument(other));
        EXPECT_TRUE(AllocationFailure::Happened());
    }
    EXPECT_FALSE(opened);
    ExpectAsBefore(Doc(), before);
    EXPECT_EQ(answers.errors.size(), 1);

    EXPECT_TRUE(Doc().OnOpenDocument(other));
    EXPECT_EQ(Doc().PathName(), QFileInfo(other).absoluteFilePath());
    EXPECT_EQ(Doc().states.size(), 1u);
}

}  // namespace
}  // namespace quarvel::test

namespace quarvel::test {
namespace {

TEST_F(DocumentMemory, FailedAllocationInClearSelectedArea_IsReportedAndNeverThrows) {
    Start();
    ArmingInteraction& answers = ArmDialogs();
    ASSERT_TRUE(Doc().OnOpenDocument(SmallImage()));
    auto& pane = *static_cast<CPowerSpectrumView*>(Doc().GetTabView()->SpectrumPane());
    pane.selection.SetRectangle(2, 2, 20, 12);

    int reported = 0;
    for (std::uint64_t countdown = 1;; ++countdown) {
        const qsizetype errors = answers.errors.size();
        {
            ScopedAllocationFailure failing(countdown);
            EXPECT_NO_THROW(pane.RunCommand(ID_FFT_CLEAR_SELECTION));
        }
        if (!AllocationFailure::Happened()) {
            EXPECT_EQ(answers.errors.size(), errors);
            break;
        }
        // Failures inside the worker pool or the render may be absorbed there; one that comes
        // back up is shown once, never thrown into the event loop.
        EXPECT_LE(answers.errors.size(), errors + 1) << "allocation " << countdown;
        reported += static_cast<int>(answers.errors.size() - errors);
        if (HasFailure()) {
            FAIL() << "at allocation " << countdown;
        }
    }
    EXPECT_GT(reported, 0);
}

}  // namespace
}  // namespace quarvel::test
