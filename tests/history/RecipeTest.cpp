#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ProcTestSupport.h"
#include "history/CFFTProc.h"
#include "selection/VXRegion.h"

namespace quarvel {
namespace {

using testing_support::CountingProc;
using testing_support::MakeColourImage;
using testing_support::Open;
using testing_support::SamePixels;

/// Opens a 45 x 37 colour image on road, so that the power-of-two grid (64 x 64) differs from
/// the source size and both centres are odd cases.
void OpenOn(CFFTProc& proc, TransformSize road) {
    proc.transformSize = road;
    ASSERT_TRUE(Open(proc, MakeColourImage(45, 37)));
}

class RecipeRoads : public ::testing::TestWithParam<TransformSize> {};

TEST_P(RecipeRoads, Replay_OnTheSameImage_GivesTheBitsOfTheEditsMadeByHand) {
    // By hand: the operations the panes and filter commands call, on chosen channels.
    CountingProc byHand;
    OpenOn(byHand, GetParam());
    const RecipeFrame frame = byHand.StepFrame();
    VXRegion ellipse;
    ellipse.Init(static_cast<std::int32_t>(frame.gridWidth),
                 static_cast<std::int32_t>(frame.gridHeight));
    ellipse.SetEllipse(10, 12, 6, 4);
    byHand.StampBrush(ChannelKind::Green, 30, 9, 3);
    byHand.ClearSelection(ChannelKind::Red, ellipse);
    byHand.ClearSelection(ChannelKind::Blue, ellipse);
    byHand.CreateFinalImage();
    byHand.ClearRectangles(ChannelKind::Blue, {{{2, 30, 9, 33}}});
    byHand.filterSettings.oneDimensional = true;
    byHand.filterSettings.direction = static_cast<std::uint64_t>(FilterDirection::Rows);
    byHand.filterSettings.lowCutOff = 20;
    byHand.filterSettings.highCutOff = 45;
    byHand.BuildFilter(FilterKind::BandReject);
    byHand.ApplyFilter(true, false, true);
    byHand.filterSettings = FilterSettings{};
    byHand.filterSettings.cutOff = 40;
    byHand.BuildFilter(FilterKind::LowPass);
    byHand.ApplyFilter(true, true, true);
    byHand.CreateFinalImage();

    // The same edits as steps, recorded as they run.
    CountingProc recorded;
    OpenOn(recorded, GetParam());
    RecipeStep brush = MakeBrushStep(frame, 30, 9, 3);
    brush.red = brush.blue = false;
    RecipeStep area = MakeAreaStep(frame, ellipse);
    area.green = false;
    RecipeStep rectangle = MakeRectangleStep(frame, 2, 30, 9, 33);
    rectangle.red = rectangle.green = false;
    FilterSettings band;
    band.oneDimensional = true;
    band.direction = static_cast<std::uint64_t>(FilterDirection::Rows);
    band.lowCutOff = 20;
    band.highCutOff = 45;
    RecipeStep bandStep = MakeFilterStep(FilterKind::BandReject, band);
    bandStep.green = false;
    FilterSettings low;
    low.cutOff = 40;
    ASSERT_TRUE(recorded.ApplyStep(brush));
    ASSERT_TRUE(recorded.ApplyStep(area));
    recorded.CreateFinalImage();
    ASSERT_TRUE(recorded.ApplyStep(rectangle));
    ASSERT_TRUE(recorded.ApplyStep(bandStep));
    ASSERT_TRUE(recorded.ApplyStep(MakeFilterStep(FilterKind::LowPass, low)));
    recorded.CreateFinalImage();
    ASSERT_TRUE(SamePixels(*byHand.CurrentState()->image, *recorded.CurrentState()->image));

    // Replayed in one go on a fresh document, without filter buffers as the batch runs it.
    const Recipe recipe = recorded.RecordedRecipe();
    ASSERT_EQ(recipe.steps.size(), 5u);
    EXPECT_EQ(recipe.transformSize, GetParam());
    CountingProc replayed;
    replayed.leanFilters = true;
    OpenOn(replayed, GetParam());
    for (const RecipeStep& step : recipe.steps) {
        ASSERT_TRUE(replayed.ApplyStep(step));
    }
    replayed.CreateFinalImage();
    EXPECT_TRUE(SamePixels(*byHand.CurrentState()->image, *replayed.CurrentState()->image));
    EXPECT_EQ(replayed.RecordedRecipe(), recipe);
}

INSTANTIATE_TEST_SUITE_P(BothRoads, RecipeRoads,
                         ::testing::Values(TransformSize::PowerOfTwo, TransformSize::Exact),
                         [](const ::testing::TestParamInfo<TransformSize>& road) {
                             return road.param == TransformSize::Exact ? "Exact" : "PowerOfTwo";
                         });

TEST(RecipeHistory, RecordedSteps_FollowUndoRedoAndRestore) {
    CountingProc proc;
    OpenOn(proc, TransformSize::PowerOfTwo);
    const RecipeFrame frame = proc.StepFrame();
    ASSERT_TRUE(proc.ApplyStep(MakeBrushStep(frame, 3, 4, 1)));
    proc.CreateFinalImage();
    ASSERT_TRUE(proc.ApplyStep(MakeBrushStep(frame, 5, 6, 2)));
    EXPECT_EQ(proc.RecordedRecipe().steps.size(), 2u);  // the pending edit counts
    proc.RestorePowerSpectrum();
    EXPECT_EQ(proc.RecordedRecipe().steps.size(), 1u);
    proc.Undo();
    EXPECT_TRUE(proc.RecordedRecipe().steps.empty());
    proc.Redo();
    ASSERT_EQ(proc.RecordedRecipe().steps.size(), 1u);
    EXPECT_EQ(proc.RecordedRecipe().steps[0], MakeBrushStep(frame, 3, 4, 1));
    // An undone step is gone once a new one is committed in its place.
    proc.Undo();
    ASSERT_TRUE(proc.ApplyStep(MakeRectangleStep(frame, 0, 0, 4, 4)));
    proc.CreateFinalImage();
    ASSERT_EQ(proc.RecordedRecipe().steps.size(), 1u);
    EXPECT_EQ(proc.RecordedRecipe().steps[0].kind, RecipeStepKind::Rectangle);
}

TEST(RecipeFrameMapping, StepsKeepTheirFrequencyOnAnImageOfAnotherSize) {
    // 100 pixels on a 128 grid, then 200 pixels on a 256 grid: every frequency lands twice as
    // far from the centre.
    const RecipeFrame small{100, 50, 128, 64};
    const RecipeFrame large{200, 100, 256, 128};
    EXPECT_EQ(large.ColumnOfFrequency(small.FrequencyOfColumn(70)), 128 + 2 * 6);
    EXPECT_EQ(large.RowOfFrequency(small.FrequencyOfRow(20)), 64 - 2 * 12);
    EXPECT_EQ(small.ColumnOfFrequency(1e300), INT32_MAX);

    VXRegion box;
    box.Init(128, 64);
    box.SetRectangle(70, 20, 73, 21);  // 4 columns of 2 rows
    const RecipeStep area = MakeAreaStep(small, box);
    ASSERT_EQ(area.area.runs.size(), 2u);
    EXPECT_EQ(area.area.RunsOn(small), area.area.runs);
    // On the large frame: 8 columns (140 to 147) of 4 rows (40 to 43), sampled back to the
    // nearest element of the small one.
    const std::vector<AreaRun> runs = area.area.RunsOn(large);
    ASSERT_EQ(runs.size(), 4u);
    for (std::uint32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(runs[k], (AreaRun{39 + k, 139, 147})) << k;
    }
}

}  // namespace
}  // namespace quarvel
