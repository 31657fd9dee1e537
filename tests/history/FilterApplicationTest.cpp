#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "filters/FilterResponse.h"
#include "history/CFFTProc.h"
#include "history/ProcTestSupport.h"

namespace quarvel {
namespace {

using testing_support::CopyOf;
using testing_support::CountingProc;
using testing_support::MakeColourImage;
using testing_support::MakeGreyImage;
using testing_support::Open;
using testing_support::PlaneCopy;
using testing_support::SameBits;

/// The planes of before, each element multiplied by factor(x, y) in single precision.
template <typename Factor>
PlaneCopy Multiplied(const PlaneCopy& before, std::uint64_t width, std::uint64_t height,
                     const Factor& factor) {
    PlaneCopy result = before;
    for (std::uint64_t y = 0; y < height; ++y) {
        for (std::uint64_t x = 0; x < width; ++x) {
            const float f = factor(x, y);
            result.re[y * width + x] = result.re[y * width + x] * f;
            result.im[y * width + x] = result.im[y * width + x] * f;
        }
    }
    return result;
}

TEST(BuildFilter, TwoDimensionalDesign_BuildsOnlyTheMask) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(400, 200)));
    proc.filterSettings.oneDimensional = true;
    proc.BuildFilter(FilterKind::LowPass);
    proc.filterSettings.oneDimensional = false;
    proc.filterSettings.degree = 3;
    proc.filterSettings.lowCutOff = 10;
    proc.filterSettings.highCutOff = 40;
    proc.BuildFilter(FilterKind::BandReject);
    EXPECT_EQ(proc.rowResponse, nullptr);
    EXPECT_EQ(proc.columnResponse, nullptr);
    ASSERT_NE(proc.filterMask, nullptr);
    std::vector<float> expected(512 * 256);
    BuildFilterMask(expected.data(), 512, 256, FilterKind::BandReject, 3, 10, 40);
    EXPECT_EQ(std::memcmp(proc.filterMask.get(), expected.data(), expected.size() * 4), 0);
}

TEST(BuildFilter, OneDimensionalDesign_ScalesEachAxisAgainstItsOwnHalf) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(512, 256)));
    proc.BuildFilter(FilterKind::LowPass);
    proc.filterSettings.oneDimensional = true;
    proc.BuildFilter(FilterKind::LowPass);
    EXPECT_EQ(proc.filterMask, nullptr);
    ASSERT_TRUE(proc.rowResponse && proc.columnResponse);
    // Cut-off 25: the row edge lies 64 samples from column 256, the column edge 32 from row 128.
    const float edge = 1.0f / 1.414f;
    EXPECT_EQ(proc.rowResponse[256], 1.0f);
    EXPECT_EQ(proc.rowResponse[256 + 64], edge);
    EXPECT_EQ(proc.columnResponse[128], 1.0f);
    EXPECT_EQ(proc.columnResponse[128 + 32], edge);
}

TEST(BuildAndApplyFilter, TwoDimensionalDesign_GivesTheMaskedSpectraWithoutKeepingTheMask) {
    // A band-reject on red and blue, then a low-pass on green: the spectra and power spectrum
    // images BuildFilter and ApplyFilter give, and no mask left behind.
    CountingProc masked;
    CountingProc direct;
    ASSERT_TRUE(Open(masked, MakeColourImage(64, 32)));
    ASSERT_TRUE(Open(direct, MakeColourImage(64, 32)));
    for (CFFTProc* proc : {static_cast<CFFTProc*>(&masked), static_cast<CFFTProc*>(&direct)}) {
        proc->filterSettings.degree = 3;
        proc->filterSettings.lowCutOff = 10;
        proc->filterSettings.highCutOff = 40;
        proc->filterSettings.cutOff = 30;
    }
    masked.BuildFilter(FilterKind::BandReject);
    masked.ApplyFilter(true, false, true);
    masked.BuildFilter(FilterKind::LowPass);
    masked.ApplyFilter(false, true, false);
    direct.BuildAndApplyFilter(FilterKind::BandReject, true, false, true);
    direct.BuildAndApplyFilter(FilterKind::LowPass, false, true, false);

    EXPECT_EQ(direct.filterMask, nullptr);
    const ProcState& expected = *masked.workingState;
    const ProcState& state = *direct.workingState;
    for (const auto& [want, got] : {std::pair{&expected.spectrumRed, &state.spectrumRed},
                                    std::pair{&expected.spectrumGreen, &state.spectrumGreen},
                                    std::pair{&expected.spectrumBlue, &state.spectrumBlue}}) {
        EXPECT_TRUE(SameBits(*got, CopyOf(*want, 64 * 32)));
    }
    ASSERT_TRUE(state.powerGreen);
    EXPECT_EQ(std::memcmp(state.powerGreen->Data(), expected.powerGreen->Data(),
                          state.powerGreen->ByteSize()),
              0);
}

TEST(ApplyFilter, OnlyGreen_LeavesRedAndBlueBitIdentical) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeColourImage(64, 32)));
    const ProcState& first = *proc.states[0];
    const std::size_t count = 64 * 32;
    const auto red = CopyOf(first.spectrumRed, count);
    const auto green = CopyOf(first.spectrumGreen, count);
    const auto blue = CopyOf(first.spectrumBlue, count);
    proc.BuildFilter(FilterKind::LowPass);
    proc.ApplyFilter(false, true, false);

    ASSERT_NE(proc.workingState, nullptr);
    const ProcState& state = *proc.workingState;
    EXPECT_TRUE(SameBits(state.spectrumRed, red));
    EXPECT_TRUE(SameBits(state.spectrumBlue, blue));
    const float* mask = proc.filterMask.get();
    EXPECT_TRUE(SameBits(state.spectrumGreen,
                         Multiplied(green, 64, 32, [&](std::uint64_t x, std::uint64_t y) {
                             return mask[y * 64 + x];
                         })));
    EXPECT_TRUE(state.powerRed && state.powerGreen && state.powerBlue);
    EXPECT_EQ(proc.states.size(), 1u);
    EXPECT_EQ(proc.updateCount, 0);
}

TEST(ApplyFilter, GreyImage_IgnoresTheSwitches) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(32, 32)));
    const auto grey = CopyOf(proc.states[0]->spectrumGrey, 32 * 32);
    proc.BuildFilter(FilterKind::LowPass);
    proc.ApplyFilter(false, false, false);
    const float* mask = proc.filterMask.get();
    EXPECT_TRUE(SameBits(proc.workingState->spectrumGrey,
                         Multiplied(grey, 32, 32, [&](std::uint64_t x, std::uint64_t y) {
                             return mask[y * 32 + x];
                         })));
}

TEST(ApplyFilter, AppliedTwice_MultipliesByTheResponseTwice) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(32, 16)));
    const auto grey = CopyOf(proc.states[0]->spectrumGrey, 32 * 16);
    proc.filterSettings.cutOff = 10;
    proc.BuildFilter(FilterKind::LowPass);
    proc.ApplyFilter(true, true, true);
    proc.ApplyFilter(true, true, true);
    const float* mask = proc.filterMask.get();
    const auto factor = [&](std::uint64_t x, std::uint64_t y) { return mask[y * 32 + x]; };
    EXPECT_TRUE(SameBits(proc.workingState->spectrumGrey,
                         Multiplied(Multiplied(grey, 32, 16, factor), 32, 16, factor)));
}

struct DirectionCase {
    std::string name;
    std::uint64_t direction;
    bool rows;
    bool columns;
};

void PrintTo(const DirectionCase& c, std::ostream* os) {
    *os << c.name;
}

class OneDimensionalDirection : public ::testing::TestWithParam<DirectionCase> {};

TEST_P(OneDimensionalDirection, RunsTheRowPassThenTheColumnPass) {
    const DirectionCase& c = GetParam();
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(32, 16)));
    const auto grey = CopyOf(proc.states[0]->spectrumGrey, 32 * 16);
    proc.filterSettings.oneDimensional = true;
    proc.filterSettings.direction = c.direction;
    proc.BuildFilter(FilterKind::LowPass);
    proc.ApplyFilter(true, true, true);

    const float* rows = proc.rowResponse.get();
    const float* columns = proc.columnResponse.get();
    PlaneCopy expected = grey;
    if (c.rows) {
        expected =
            Multiplied(expected, 32, 16, [&](std::uint64_t x, std::uint64_t) { return rows[x]; });
    }
    if (c.columns) {
        expected = Multiplied(expected, 32, 16,
                              [&](std::uint64_t, std::uint64_t y) { return columns[y]; });
    }
    EXPECT_TRUE(SameBits(proc.workingState->spectrumGrey, expected));
    // Without a column pass the zero horizontal frequency (column W/2) keeps its values.
    if (!c.columns) {
        for (std::uint64_t y = 0; y < 16; ++y) {
            EXPECT_EQ(proc.workingState->spectrumGrey.re[y * 32 + 16], grey.re[y * 32 + 16]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Directions, OneDimensionalDirection,
    ::testing::Values(
        DirectionCase{"RowsAndColumns", static_cast<std::uint64_t>(FilterDirection::RowsAndColumns),
                      true, true},
        DirectionCase{"Rows", static_cast<std::uint64_t>(FilterDirection::Rows), true, false},
        DirectionCase{"Columns", static_cast<std::uint64_t>(FilterDirection::Columns), false, true},
        DirectionCase{"UnknownThree", 3, false, false},
        DirectionCase{"UnknownSix", 6, false, false}),
    [](const ::testing::TestParamInfo<DirectionCase>& param) { return param.param.name; });

TEST(ApplyFilter, DropsRedoStatesFirst) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(16, 16)));
    proc.StampBrush(ChannelKind::Grey, 2, 2, 1);
    proc.CreateFinalImage();
    proc.Undo();
    ASSERT_EQ(proc.states.size(), 2u);
    proc.BuildFilter(FilterKind::BandReject);
    proc.ApplyFilter(true, true, true);
    EXPECT_EQ(proc.states.size(), 1u);
    EXPECT_EQ(proc.currentIndex, 0u);
    EXPECT_NE(proc.workingState, nullptr);
}

TEST(ApplyFilter, FiltersTheEditedWorkingState) {
    CountingProc proc;
    ASSERT_TRUE(Open(proc, MakeGreyImage(16, 16)));
    proc.StampBrush(ChannelKind::Grey, 8, 8, 1);
    const auto edited = CopyOf(proc.workingState->spectrumGrey, 256);
    proc.BuildFilter(FilterKind::LowPass);
    proc.ApplyFilter(true, true, true);
    const float* mask = proc.filterMask.get();
    EXPECT_TRUE(SameBits(proc.workingState->spectrumGrey,
                         Multiplied(edited, 16, 16, [&](std::uint64_t x, std::uint64_t y) {
                             return mask[y * 16 + x];
                         })));
    EXPECT_EQ(proc.workingState->spectrumGrey.re[8 * 16 + 8], 0.0f);
}

TEST(ApplyFilter, WithoutImage_ChangesNothing) {
    CountingProc proc;
    proc.BuildFilter(FilterKind::LowPass);
    EXPECT_EQ(proc.filterMask, nullptr);
    proc.ApplyFilter(true, true, true);
    EXPECT_EQ(proc.workingState, nullptr);
    EXPECT_TRUE(proc.states.empty());
}

}  // namespace
}  // namespace quarvel
