#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "ProcTestSupport.h"
#include "history/CFFTProc.h"

namespace quarvel {
namespace {

using testing_support::CopyOf;
using testing_support::CountingProc;
using testing_support::MakeColourImage;
using testing_support::MakeGreyImage;
using testing_support::Open;
using testing_support::SameBits;
using testing_support::SamePixels;

/// An edit followed by "Create Final Image".
void EditAndCommit(CFFTProc& proc, std::uint32_t x) {
    proc.StampBrush(ChannelKind::Grey, x, 3, 1);
    proc.CreateFinalImage();
}

TEST(ProcHistory, StartHistory_CommitsFirstStateAtTransformSize) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(40, 20)));
    ASSERT_EQ(proc.states.size(), 1u);
    EXPECT_EQ(proc.currentIndex, 0u);
    EXPECT_EQ(proc.workingState, nullptr);
    EXPECT_EQ(proc.spectrumWidth, 64u);
    EXPECT_EQ(proc.spectrumHeight, 32u);
    const ProcState& state = *proc.states[0];
    EXPECT_EQ(state.workImage->Width(), 64u);
    EXPECT_EQ(state.workImage->Height(), 32u);
    EXPECT_TRUE(SamePixels(*state.image, *proc.originalImage));
    EXPECT_EQ(proc.ActiveState(), proc.CurrentState());
    EXPECT_EQ(proc.updateCount, 0);
}

TEST(ProcHistory, StartHistory_WithoutImage_CreatesNothing) {
    CountingProc proc;
    EXPECT_FALSE(proc.StartHistory());
    EXPECT_TRUE(proc.states.empty());
    EXPECT_EQ(proc.workingState, nullptr);
    EXPECT_FALSE(proc.PrepareWorkingState());
    EXPECT_EQ(proc.ActiveState(), nullptr);
}

TEST(ProcHistory, EditAfterUndo_DropsLaterStatesOnCommit) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(32, 32)));
    EditAndCommit(proc, 5);
    EditAndCommit(proc, 9);
    ASSERT_EQ(proc.states.size(), 3u);
    EXPECT_EQ(proc.currentIndex, 2u);

    proc.Undo();
    proc.Undo();
    EXPECT_EQ(proc.currentIndex, 0u);
    EXPECT_EQ(proc.states.size(), 3u);

    const ProcState* first = proc.states[0].get();
    EditAndCommit(proc, 20);
    ASSERT_EQ(proc.states.size(), 2u);
    EXPECT_EQ(proc.currentIndex, 1u);
    EXPECT_EQ(proc.states[0].get(), first);
}

TEST(ProcHistory, UndoAndRedoAtTheEnds_KeepIndexButDiscardWorkingState) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(16, 16)));
    EditAndCommit(proc, 4);
    proc.Undo();
    ASSERT_EQ(proc.currentIndex, 0u);

    proc.StampBrush(ChannelKind::Grey, 8, 8, 2);
    ASSERT_NE(proc.workingState, nullptr);
    const int before = proc.updateCount;
    proc.Undo();
    EXPECT_EQ(proc.currentIndex, 0u);
    EXPECT_EQ(proc.workingState, nullptr);
    EXPECT_EQ(proc.updateCount, before + 1);
    EXPECT_EQ(proc.lastErase, 0);

    proc.Redo();
    EXPECT_EQ(proc.currentIndex, 1u);
    proc.StampBrush(ChannelKind::Grey, 8, 8, 2);
    proc.Redo();
    EXPECT_EQ(proc.currentIndex, 1u);
    EXPECT_EQ(proc.workingState, nullptr);
    EXPECT_EQ(proc.states.size(), 2u);
}

TEST(ProcHistory, EditAfterUndo_KeepsRedoUntilCommit) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(16, 16)));
    EditAndCommit(proc, 4);
    proc.Undo();
    proc.StampBrush(ChannelKind::Grey, 8, 8, 1);
    EXPECT_EQ(proc.states.size(), 2u);
    proc.Redo();
    EXPECT_EQ(proc.currentIndex, 1u);
    EXPECT_EQ(proc.workingState, nullptr);
}

TEST(ProcHistory, RestorePowerSpectrum_DropsEditsAndKeepsHistory) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(16, 16)));
    proc.StampBrush(ChannelKind::Grey, 8, 8, 2);
    ASSERT_NE(proc.workingState, nullptr);
    EXPECT_EQ(proc.ActiveState(), proc.workingState.get());
    const int before = proc.updateCount;
    proc.RestorePowerSpectrum();
    EXPECT_EQ(proc.workingState, nullptr);
    EXPECT_EQ(proc.ActiveState(), proc.states[0].get());
    EXPECT_EQ(proc.states.size(), 1u);
    EXPECT_EQ(proc.updateCount, before + 1);
}

TEST(ProcHistory, ColourFlag_FollowsTheImageAndIsInherited) {
    CountingProc colour;
    ASSERT_TRUE(Open(colour, MakeColourImage(20, 12)));
    CountingProc grey;
    ASSERT_TRUE(Open(grey, MakeGreyImage(20, 12)));

    for (CountingProc* proc : {&colour, &grey}) {
        proc->StampBrush(ChannelKind::Red, 3, 3, 1);
        proc->CreateFinalImage();
        proc->StampBrush(ChannelKind::Red, 5, 5, 1);
        proc->CreateFinalImage();
    }
    ASSERT_EQ(colour.states.size(), 3u);
    ASSERT_EQ(grey.states.size(), 3u);
    for (const auto& state : colour.states) {
        EXPECT_TRUE(state->isColor);
        EXPECT_TRUE(state->spectrumRed.IsComplete() && state->spectrumGreen.IsComplete() &&
                    state->spectrumBlue.IsComplete());
        // An undo state may have given its power images to the edit that followed.
        EXPECT_TRUE((state->powerRed && state->powerGreen && state->powerBlue) ||
                    state->powerReleased);
        EXPECT_FALSE(state->spectrumGrey.re || state->powerGrey);
        EXPECT_EQ(state->image->Format(), PixelFormat24bppRGB);
    }
    for (const auto& state : grey.states) {
        EXPECT_FALSE(state->isColor);
        EXPECT_TRUE(state->spectrumGrey.IsComplete() && (state->powerGrey || state->powerReleased));
        EXPECT_FALSE(state->spectrumRed.re || state->powerRed);
        EXPECT_EQ(state->image->Format(), PixelFormat8bppIndexed);
    }
}

TEST(ProcHistory, NewWorkingState_SharesCommittedSpectraUntilAnEditCopiesThem) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(32, 16)));
    proc.StampBrush(ChannelKind::Grey, 16, 8, 3);
    proc.CreateFinalImage();
    const std::size_t count = 32 * 16;
    const ProcState& current = *proc.CurrentState();
    const auto committed = CopyOf(current.spectrumGrey, count);
    const auto committedPower = CopyBitmap(current.powerGrey.get());

    ASSERT_TRUE(proc.PrepareWorkingState());
    EXPECT_EQ(proc.workingState->spectrumGrey.re.get(), current.spectrumGrey.re.get());
    EXPECT_EQ(proc.workingState->powerGrey, current.powerGrey);
    // The cleared zero frequency stays cleared: recomputing from the image would bring it back.
    EXPECT_EQ(proc.workingState->spectrumGrey.re[8 * 32 + 16], 0.0f);
    // Its image at the transform size is made from the committed image when it is needed.
    EXPECT_EQ(proc.workingState->pendingWorkSource, current.image.get());

    const ImageBitmap* shownPower = current.powerGrey.get();
    proc.StampBrush(ChannelKind::Grey, 3, 3, 1);
    // The edited rows are the working state's own; the others it still reads from the
    // committed planes.
    const ChannelSpectrum& edited = proc.workingState->spectrumGrey;
    EXPECT_NE(edited.re.get(), current.spectrumGrey.re.get());
    ASSERT_FALSE(edited.HoldsAllRows());
    // The committed state owns the seven rows of its own brush and reads the others from the
    // first state's planes: the working state reads from those too, so that no chain grows.
    ASSERT_FALSE(current.spectrumGrey.HoldsAllRows());
    EXPECT_EQ(edited.inherited->re.get(), proc.states[0]->spectrumGrey.re.get());
    EXPECT_EQ(edited.inherited->ownCount, 7u + 3u);
    EXPECT_EQ(edited.re[3 * 32 + 3], 0.0f);
    // The power image the views show is taken over and rendered again in place: it is what a
    // whole rendering gives. The committed state renders its own again when it is shown.
    EXPECT_EQ(proc.workingState->powerGrey.get(), shownPower);
    EXPECT_TRUE(
        SamePixels(*proc.workingState->powerGrey, *RenderPowerSpectrum(edited.Rows(), 32, 16)));
    EXPECT_EQ(current.powerGrey, nullptr);
    EXPECT_TRUE(SameBits(current.spectrumGrey, committed));
    proc.RestorePowerSpectrum();
    ASSERT_NE(current.powerGrey, nullptr);
    EXPECT_TRUE(SamePixels(*current.powerGrey, *committedPower));
    EXPECT_FALSE(current.powerReleased);
}

TEST(ProcHistory, EveryEditOfSharedPlanes_LeavesTheCommittedStateAsItWas) {
    const std::size_t count = 32 * 16;
    const std::vector<std::pair<const char*, std::function<void(CFFTProc&)>>> edits = {
        {"brush", [](CFFTProc& p) { p.StampBrush(ChannelKind::Green, 5, 5, 2); }},
        {"rectangles",
         [](CFFTProc& p) {
             p.ClearRectangles(ChannelKind::Green, RectangleList{{{2, 2, 9, 9}}});
         }},
        {"runs",
         [](CFFTProc& p) {
             p.ClearRuns(ChannelKind::Green, {AreaRun{4, 1, 20}});
         }},
        {"notches",
         [](CFFTProc& p) {
             p.ApplyNotches(ChannelKind::Green, {SpectrumNotch{20.0, 6.0, 3.0}});
         }},
        {"filter",
         [](CFFTProc& p) {
             p.BuildFilter(FilterKind::LowPass);
             p.ApplyFilter(false, true, false);
         }},
        {"final image, consuming", [](CFFTProc& p) {
             p.StampBrush(ChannelKind::Green, 5, 5, 2);
             p.CreateFinalImage(true);
         }}};
    for (const auto& [name, edit] : edits) {
        SCOPED_TRACE(name);
        CountingProc proc;
        ASSERT_TRUE(Open(proc, MakeColourImage(30, 10)));
        EditAndCommit(proc, 7);
        const ProcState& current = *proc.CurrentState();
        const auto red = CopyOf(current.spectrumRed, count);
        const auto green = CopyOf(current.spectrumGreen, count);
        const auto greenPower = CopyBitmap(current.powerGreen.get());
        edit(proc);
        const ProcState& before = *proc.states[1];
        EXPECT_TRUE(SameBits(before.spectrumRed, red));
        EXPECT_TRUE(SameBits(before.spectrumGreen, green));
        // The edit reached the working state (or the state it committed, whose own planes the
        // final image used up).
        const ProcState& edited = *proc.ActiveState();
        EXPECT_TRUE(!edited.spectrumGreen.IsComplete() || !SameBits(edited.spectrumGreen, green));
        // Channels the edit did not change stay shared.
        EXPECT_EQ(edited.spectrumRed.re.get(), before.spectrumRed.re.get());
        // Shown again, the state has its power image as it was.
        if (proc.workingState) {
            proc.RestorePowerSpectrum();
        } else {
            proc.Undo();
        }
        ASSERT_EQ(proc.CurrentState(), &before);
        ASSERT_NE(before.powerGreen, nullptr);
        EXPECT_TRUE(SamePixels(*before.powerGreen, *greenPower));
    }
}

TEST(ProcHistory, Revert_RecordsTransformSizeAgain) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeColourImage(100, 30)));
    proc.filterSettings.oneDimensional = true;
    proc.BuildFilter(FilterKind::LowPass);
    EditAndCommit(proc, 7);

    proc.ResetHistory();
    EXPECT_EQ(proc.spectrumWidth, 0u);
    EXPECT_EQ(proc.spectrumHeight, 0u);
    EXPECT_TRUE(proc.states.empty());
    EXPECT_EQ(proc.originalImage, nullptr);
    EXPECT_FALSE(proc.rowResponse || proc.columnResponse || proc.filterMask);
    EXPECT_TRUE(proc.filterSettings.oneDimensional);

    ASSERT_TRUE(Open(proc, MakeColourImage(100, 30)));
    EXPECT_EQ(proc.spectrumWidth, 128u);
    EXPECT_EQ(proc.spectrumHeight, 32u);
    EXPECT_EQ(proc.states.size(), 1u);
}

TEST(ProcHistory, StartWorkingState_LeavesFirstStateUncommittedUntilFinalImage) {
    CountingProc proc;
    proc.originalImage = MakeGreyImage(30, 10);
    ASSERT_TRUE(proc.StartWorkingState());
    EXPECT_TRUE(proc.states.empty());
    EXPECT_EQ(proc.currentIndex, 0u);
    ASSERT_NE(proc.workingState, nullptr);
    EXPECT_TRUE(SamePixels(*proc.workingState->image, *proc.originalImage));
    EXPECT_EQ(proc.spectrumWidth, 32u);
    EXPECT_EQ(proc.spectrumHeight, 16u);

    // Clearing works on the prepared state instead of creating another one.
    const ProcState* prepared = proc.workingState.get();
    proc.ClearRectangles(ChannelKind::Grey, RectangleList{});
    EXPECT_EQ(proc.workingState.get(), prepared);

    proc.DropRedoStates();
    proc.CreateFinalImage();
    ASSERT_EQ(proc.states.size(), 1u);
    EXPECT_EQ(proc.currentIndex, 0u);
    EXPECT_EQ(proc.workingState, nullptr);
    EXPECT_EQ(proc.states[0]->image->Width(), 30u);
}

TEST(ProcHistory, CommitWithoutWorkingState_ChangesNothing) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(8, 8)));
    proc.CommitWorkingState();
    proc.CreateFinalImage();
    EXPECT_EQ(proc.states.size(), 1u);
    EXPECT_EQ(proc.currentIndex, 0u);
    EXPECT_EQ(proc.updateCount, 0);
}

TEST(ProcHistory, CreateFinalImageWithoutWorkingState_StillDropsRedoStates) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(8, 8)));
    EditAndCommit(proc, 2);
    proc.Undo();
    proc.CreateFinalImage();
    EXPECT_EQ(proc.states.size(), 1u);
    EXPECT_EQ(proc.currentIndex, 0u);
}

TEST(ProcHistoryMemory, StateBytes_CountsEveryBitmapAndPlane) {
    CountingProc grey;
    ASSERT_TRUE(Open(grey, MakeGreyImage(40, 20)));
    // workImage 64 x 32 indexed, image 40 x 20 indexed, an 8-bit power image, two float planes.
    EXPECT_EQ(CFFTProc::StateBytes(*grey.states[0]),
              64u * 32 + 40u * 20 + 64u * 32 + 2u * 64 * 32 * 4);

    CountingProc colour;
    ASSERT_TRUE(Open(colour, MakeColourImage(30, 10)));
    // workImage 32 x 16 and image 30 x 10 in 24 bits (rows padded to 4 bytes), three power
    // images and six planes.
    EXPECT_EQ(CFFTProc::StateBytes(*colour.states[0]),
              32u * 16 * 3 + 92u * 10 + 3u * 32 * 16 + 6u * 32 * 16 * 4);

    // The working state of a red edit adds its workImage and the three rows of red it owns;
    // the rest it shares, and that is counted once. It takes red's power image from the
    // committed state.
    const std::uint64_t committed = CFFTProc::StateBytes(*colour.states[0]);
    colour.StampBrush(ChannelKind::Red, 3, 3, 1);
    ASSERT_NE(colour.workingState, nullptr);
    const std::uint64_t ownRows = 2u * 3 * 32 * 4;
    EXPECT_EQ(CFFTProc::StateBytes(*colour.workingState), committed - 92u * 10 + ownRows);
    EXPECT_EQ(CFFTProc::StateBytes(*colour.states[0]), committed - 32u * 16);
    EXPECT_EQ(colour.HistoryBytes(), committed + 32u * 16 * 3 + ownRows);
}

TEST(ProcHistoryMemory, LimitReleasesOldestUndoStatesAndKeepsRoomForTheNextEdit) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(32, 32)));
    const std::uint64_t stateBytes = CFFTProc::StateBytes(*proc.states[0]);
    // Edits of every row, so that no state shares planes with another.
    const auto editEverything = [&](std::uint32_t x) {
        proc.StampBrush(ChannelKind::Grey, x, 16, 64);
        proc.CreateFinalImage();
    };
    editEverything(4);
    editEverything(6);
    ASSERT_EQ(proc.states.size(), 3u);
    EXPECT_EQ(proc.releasedStateCount, 0u);
    // An undo state has given its power image to the edit that followed it (the first state
    // its spectrum too). Room for two and a half states besides one: the current one and the
    // next working state.
    const std::uint64_t undoBytes = CFFTProc::StateBytes(*proc.states[1]);
    EXPECT_LT(undoBytes, stateBytes);
    EXPECT_LT(CFFTProc::StateBytes(*proc.states[0]), undoBytes);
    proc.historyMemoryLimit = undoBytes + stateBytes * 5 / 2;

    std::vector<const ProcState*> committed{proc.states[0].get(), proc.states[1].get(),
                                            proc.states[2].get()};
    for (std::uint32_t x : {8u, 12u, 16u}) {
        editEverything(x);
        committed.push_back(proc.CurrentState());
        ASSERT_EQ(proc.states.size(), 2u);
        EXPECT_EQ(proc.currentIndex, 1u);
        EXPECT_LE(proc.HistoryBytes() + stateBytes, proc.historyMemoryLimit);
    }
    // The newest two states remain, in order; the oldest four went first.
    EXPECT_EQ(proc.states[0].get(), committed[4]);
    EXPECT_EQ(proc.states[1].get(), committed[5]);
    EXPECT_EQ(proc.releasedStateCount, 4u);

    proc.Undo();
    EXPECT_EQ(proc.currentIndex, 0u);
    proc.Undo();
    EXPECT_EQ(proc.currentIndex, 0u);
    EXPECT_EQ(proc.states.size(), 2u);
    proc.Redo();
    EXPECT_EQ(proc.CurrentState(), committed[5]);

    proc.ResetHistory();
    EXPECT_EQ(proc.releasedStateCount, 0u);
}

TEST(ProcHistoryMemory, LimitBelowOneState_KeepsOnlyTheCurrentState) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeColourImage(24, 24)));
    proc.historyMemoryLimit = 1;
    EditAndCommit(proc, 5);
    ASSERT_EQ(proc.states.size(), 1u);
    EXPECT_EQ(proc.currentIndex, 0u);
    EXPECT_EQ(proc.releasedStateCount, 1u);
    ASSERT_NE(proc.CurrentState()->image, nullptr);
    // The kept state is the new final image, and editing goes on from it.
    proc.StampBrush(ChannelKind::Green, 2, 2, 1);
    proc.CreateFinalImage();
    EXPECT_EQ(proc.states.size(), 1u);
    EXPECT_EQ(proc.releasedStateCount, 2u);

    CountingProc unlimited;
    ASSERT_TRUE(Open(unlimited, MakeGreyImage(16, 16)));
    for (std::uint32_t x = 1; x <= 5; ++x) {
        EditAndCommit(unlimited, x);
    }
    EXPECT_EQ(unlimited.states.size(), 6u);
    EXPECT_EQ(unlimited.releasedStateCount, 0u);
}

TEST(ProcHistoryMemory, RedoStatesTakenAndPutBack_ReturnInOrder) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(16, 16)));
    EditAndCommit(proc, 3);
    EditAndCommit(proc, 6);
    proc.Undo();
    proc.Undo();
    const std::vector<const ProcState*> before{proc.states[0].get(), proc.states[1].get(),
                                               proc.states[2].get()};

    auto redo = proc.TakeRedoStates();
    ASSERT_EQ(redo.size(), 2u);
    EXPECT_EQ(proc.states.size(), 1u);
    proc.PutBackRedoStates(redo);
    ASSERT_EQ(proc.states.size(), 3u);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(proc.states[i].get(), before[i]);
    }
    EXPECT_EQ(proc.currentIndex, 0u);
    EXPECT_TRUE(proc.TakeRedoStates().size() == 2u);
    EXPECT_TRUE(proc.TakeRedoStates().empty());
}

TEST(ProcHistoryMemory, CopyState_CopiesImagesAndSharesPlanes) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeColourImage(20, 12)));
    proc.StampBrush(ChannelKind::Blue, 4, 4, 2);
    const ProcState& source = *proc.workingState;
    const auto copy = CFFTProc::CopyState(source);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->isColor);
    EXPECT_EQ(copy->image, nullptr);
    EXPECT_EQ(CFFTProc::StateBytes(*copy), CFFTProc::StateBytes(source));
    EXPECT_TRUE(SamePixels(*copy->workImage, *source.workImage));
    EXPECT_NE(copy->workImage, source.workImage);
    EXPECT_EQ(copy->powerBlue, source.powerBlue);
    EXPECT_EQ(copy->spectrumBlue.re.get(), source.spectrumBlue.re.get());
    EXPECT_EQ(copy->spectrumRed.im.get(), source.spectrumRed.im.get());
    EXPECT_FALSE(copy->spectrumGrey.re || copy->powerGrey);
}

// The first state, hidden behind a filter that replaced every channel, gives back what only it
// held and makes it again, bit for bit, when it is shown: by Restore, Undo and a new edit.
TEST(ProcHistoryMemory, FirstStateNotShown_GivesBackItsSpectraAndMakesThemAgainBitForBit) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeColourImage(24, 20)));
    ProcState& first = *proc.states[0];
    const std::size_t count = first.workImage->Width() * std::size_t{first.workImage->Height()};
    const std::vector<const ChannelSpectrum*> channels = {&first.spectrumRed, &first.spectrumGreen,
                                                          &first.spectrumBlue};
    std::vector<testing_support::PlaneCopy> spectra;
    for (const ChannelSpectrum* spectrum : channels) {
        spectra.push_back(CopyOf(*spectrum, count));
    }
    const std::unique_ptr<ImageBitmap> power = CopyBitmap(first.powerGreen.get());
    const std::unique_ptr<ImageBitmap> work = CopyBitmap(first.workImage.get());
    ASSERT_TRUE(power && work);
    const auto expectHidden = [&] {
        for (const ChannelSpectrum* spectrum : channels) {
            EXPECT_EQ(spectrum->re, nullptr);
        }
        EXPECT_EQ(first.powerGreen, nullptr);
        EXPECT_TRUE(first.spectraReleased);
    };
    const auto expectShownAsOpened = [&] {
        ASSERT_FALSE(first.spectraReleased);
        for (std::size_t c = 0; c < channels.size(); ++c) {
            EXPECT_TRUE(SameBits(*channels[c], spectra[c])) << c;
        }
        ASSERT_NE(first.powerGreen, nullptr);
        EXPECT_TRUE(SamePixels(*first.powerGreen, *power));
    };

    proc.BuildAndApplyFilter(FilterKind::LowPass, true, true, true);
    expectHidden();
    // Only the size of its image at the transform size is read again.
    EXPECT_EQ(first.workImage->Width(), work->Width());
    EXPECT_FALSE(SamePixels(*first.workImage, *work));
    proc.RestorePowerSpectrum();
    expectShownAsOpened();

    proc.BuildAndApplyFilter(FilterKind::LowPass, true, true, true);
    proc.CreateFinalImage();
    ASSERT_EQ(proc.states.size(), 2u);
    expectHidden();
    proc.Undo();
    expectShownAsOpened();
    proc.Redo();
    expectHidden();
    // An edit of the first state once more starts from its own values.
    proc.Undo();
    proc.BuildAndApplyFilter(FilterKind::LowPass, true, true, true);
    proc.currentIndex = 0;
    proc.workingState.reset();
    ASSERT_TRUE(first.spectraReleased);
    ASSERT_TRUE(proc.PrepareWorkingState());
    EXPECT_FALSE(first.spectraReleased);
    for (std::size_t c = 0; c < channels.size(); ++c) {
        EXPECT_TRUE(SameBits(*channels[c], spectra[c])) << c;
    }
}

}  // namespace
}  // namespace quarvel
