// Each allocation of a history operation fails in turn: the operation either completes or
// leaves the processing object as it was, and no exception leaves it.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "FailingAllocation.h"
#include "history/CFFTProc.h"
#include "history/ProcTestSupport.h"

namespace quarvel {
namespace {

using test::AllocationFailure;
using test::ScopedAllocationFailure;
using testing_support::CopyOf;
using testing_support::CountingProc;
using testing_support::MakeColourImage;
using testing_support::MakeGreyImage;
using testing_support::Open;
using testing_support::SameBits;
using testing_support::SamePixels;

/// Runs attempt with the first, second, third ... allocation failing, until a run in which it
/// makes no allocation the failure reaches; returns the number of runs. attempt gets the
/// countdown and arms the failure itself where it wants it to count from.
std::uint64_t EveryAllocationFailing(const std::function<void(std::uint64_t)>& attempt) {
    std::uint64_t countdown = 1;
    for (;; ++countdown) {
        attempt(countdown);
        if (!AllocationFailure::Happened()) {
            return countdown;
        }
        if (::testing::Test::HasFatalFailure() || countdown > 100000) {
            ADD_FAILURE() << "stopped at allocation " << countdown;
            return countdown;
        }
    }
}

/// True when state holds every bitmap and plane of its kind, all of the working size.
bool IsComplete(const ProcState& state) {
    if (!state.workImage) {
        return false;
    }
    if (state.isColor) {
        return state.spectrumRed.IsComplete() && state.spectrumGreen.IsComplete() &&
               state.spectrumBlue.IsComplete() && state.powerRed && state.powerGreen &&
               state.powerBlue;
    }
    return state.spectrumGrey.IsComplete() && state.powerGrey;
}

TEST(AllocationFailure, StartHistory_CommitsAWholeStateOrNothing) {
    int failures = 0;
    const std::uint64_t runs = EveryAllocationFailing([&](std::uint64_t countdown) {
        CountingProc proc;
        proc.originalImage = MakeColourImage(40, 24);
        bool started = false;
        {
            ScopedAllocationFailure failing(countdown);
            EXPECT_NO_THROW(started = proc.StartHistory());
        }
        EXPECT_EQ(proc.workingState, nullptr);
        ASSERT_NE(proc.originalImage, nullptr);
        if (started) {
            ASSERT_EQ(proc.states.size(), 1u);
            EXPECT_TRUE(IsComplete(*proc.states[0]));
            EXPECT_TRUE(SamePixels(*proc.states[0]->image, *proc.originalImage));
            EXPECT_EQ(proc.spectrumWidth, 64u);
        } else {
            ++failures;
            EXPECT_TRUE(proc.states.empty());
            EXPECT_EQ(proc.spectrumWidth, 0u);
        }
    });
    // Every allocation the start makes counts: each failing one stops it.
    EXPECT_GT(runs, 10u);
    EXPECT_EQ(static_cast<std::uint64_t>(failures), runs - 1);
}

TEST(AllocationFailure, PrepareWorkingState_MakesAWholeStateOrNone) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(48, 20)));
    proc.StampBrush(ChannelKind::Grey, 5, 5, 2);
    proc.CreateFinalImage();
    ASSERT_EQ(proc.states.size(), 2u);
    const auto committed = CopyOf(proc.CurrentState()->spectrumGrey, 64 * 32);

    EveryAllocationFailing([&](std::uint64_t countdown) {
        proc.DiscardWorkingState();
        bool prepared = false;
        {
            ScopedAllocationFailure failing(countdown);
            EXPECT_NO_THROW(prepared = proc.PrepareWorkingState());
        }
        EXPECT_EQ(proc.states.size(), 2u);
        EXPECT_EQ(proc.currentIndex, 1u);
        EXPECT_TRUE(SameBits(proc.CurrentState()->spectrumGrey, committed));
        if (prepared) {
            ASSERT_NE(proc.workingState, nullptr);
            EXPECT_TRUE(IsComplete(*proc.workingState));
            EXPECT_TRUE(SameBits(proc.workingState->spectrumGrey, committed));
        } else {
            EXPECT_EQ(proc.workingState, nullptr);
        }
    });
}

TEST(AllocationFailure, EditOnFailedPreparation_ChangesNothing) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeColourImage(20, 20)));
    const auto red = CopyOf(proc.CurrentState()->spectrumRed, 32 * 32);
    // The first allocation of an edit is its working state's: the edit is then refused whole.
    {
        ScopedAllocationFailure failing(1);
        EXPECT_NO_THROW(proc.StampBrush(ChannelKind::Red, 16, 16, 3));
        EXPECT_TRUE(AllocationFailure::Happened());
    }
    EXPECT_EQ(proc.workingState, nullptr);
    EXPECT_EQ(proc.updateCount, 0);
    EXPECT_TRUE(SameBits(proc.CurrentState()->spectrumRed, red));
}

TEST(AllocationFailure, CopyState_IsWholeOrNull) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeColourImage(30, 12)));
    const ProcState& source = *proc.CurrentState();
    EveryAllocationFailing([&](std::uint64_t countdown) {
        std::unique_ptr<ProcState> copy;
        {
            ScopedAllocationFailure failing(countdown);
            EXPECT_NO_THROW(copy = CFFTProc::CopyState(source));
        }
        if (copy) {
            EXPECT_TRUE(IsComplete(*copy));
            EXPECT_EQ(CFFTProc::StateBytes(*copy), CFFTProc::StateBytes(source));
            EXPECT_TRUE(SamePixels(*copy->image, *source.image));
        }
    });
}

}  // namespace
}  // namespace quarvel
