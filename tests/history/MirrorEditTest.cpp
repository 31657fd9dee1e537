#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>

#include "ProcTestSupport.h"
#include "engine/FrequencyGeometry.h"
#include "history/CFFTProc.h"
#include "selection/VXRegion.h"

namespace quarvel {
namespace {

using testing_support::CopyOf;
using testing_support::CountingProc;
using testing_support::MakeGreyImage;
using testing_support::PlaneCopy;

using Predicate = std::function<bool(std::int64_t x, std::int64_t y)>;

struct MirrorRoad {
    std::string name;
    TransformSize road;
    std::uint32_t width;
    std::uint32_t height;
};

void PrintTo(const MirrorRoad& c, std::ostream* os) {
    *os << c.name;
}

/// A grey image opened on one road with mirrored edits on; each edit is checked against the
/// elements it chose itself and their mirrors.
class MirroredEdit : public ::testing::TestWithParam<MirrorRoad> {
protected:
    void Open() {
        const MirrorRoad& c = GetParam();
        proc.ResetHistory();
        proc.transformSize = c.road;
        proc.originalImage = MakeGreyImage(c.width, c.height, 5);
        ASSERT_TRUE(proc.StartHistory());
        width = proc.spectrumWidth;
        height = proc.spectrumHeight;
        before = CopyOf(proc.states[0]->spectrumGrey, width * height);
        proc.mirrorEdits = true;
    }

    /// Expects exactly the elements chosen, or mirroring a chosen one, to be zero and every
    /// other element to keep its bits, and the power image to be the one a whole rendering
    /// gives.
    void ExpectClearedWithMirror(const Predicate& chosen, const std::string& what) {
        const ChannelSpectrum& edited = proc.workingState->spectrumGrey;
        const PlaneCopy after = CopyOf(edited, width * height);
        std::size_t wrong = 0;
        std::size_t cleared = 0;
        for (std::uint64_t y = 0; y < height; ++y) {
            for (std::uint64_t x = 0; x < width; ++x) {
                const std::size_t i = y * width + x;
                const bool expected =
                    chosen(static_cast<std::int64_t>(x), static_cast<std::int64_t>(y)) ||
                    chosen(static_cast<std::int64_t>(MirrorIndex(x, width)),
                           static_cast<std::int64_t>(MirrorIndex(y, height)));
                const bool zero = after.re[i] == 0.0f && after.im[i] == 0.0f;
                const bool kept = std::memcmp(&after.re[i], &before.re[i], sizeof(float)) == 0 &&
                                  std::memcmp(&after.im[i], &before.im[i], sizeof(float)) == 0;
                wrong += (expected ? !zero : !kept) ? 1 : 0;
                cleared += expected ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0u) << what;
        EXPECT_GT(cleared, 0u) << what;
        const auto whole = RenderPowerSpectrum(after.re.data(), after.im.data(), width, height);
        ASSERT_NE(whole, nullptr);
        for (std::uint32_t y = 0; y < height; ++y) {
            ASSERT_EQ(std::memcmp(whole->Row(y), proc.workingState->powerGrey->Row(y), width), 0)
                << what << ": power image row " << y;
        }
    }

    CountingProc proc;
    PlaneCopy before;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

TEST_P(MirroredEdit, ClearsTheChosenElementsAndTheirMirrors) {
    // A brush on the first row and column (the Nyquist ones of an even axis), one in the middle
    // of a row, a rectangle and an ellipse; the second stamp of each pair edits a working state
    // whose power image is updated row by row.
    Open();
    proc.StampBrush(ChannelKind::Grey, 1, 0, 1);
    proc.StampBrush(ChannelKind::Grey, 3, 2, 0);
    ExpectClearedWithMirror(
        [](std::int64_t x, std::int64_t y) {
            return ((x - 1) * (x - 1) + y * y <= 3) || (x == 3 && y == 2);
        },
        "brush");

    Open();
    RectangleList rectangles{};
    rectangles[0] = {0, 1, 2, 3};
    rectangles[1] = {4, 5, 4, 6};
    proc.ClearRectangles(ChannelKind::Grey, rectangles);
    ExpectClearedWithMirror(
        [](std::int64_t x, std::int64_t y) {
            return (x <= 2 && y >= 1 && y < 3) || (x == 4 && y == 5);
        },
        "rectangles");

    Open();
    VXRegion region;
    region.Init(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    region.SetEllipse(2, 5, 2, 1);
    proc.ClearSelection(ChannelKind::Grey, region);
    ExpectClearedWithMirror(
        [&](std::int64_t x, std::int64_t y) {
            return region.Contains(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
        },
        "ellipse");

    // Runs of a recorded area, one of them from the first column (the Nyquist one when even).
    Open();
    proc.ClearRuns(ChannelKind::Grey, {AreaRun{1, 0, 3}, AreaRun{4, 2, 5}, AreaRun{4, 6, 7}});
    ExpectClearedWithMirror(
        [](std::int64_t x, std::int64_t y) {
            return (y == 1 && x < 3) || (y == 4 && ((x >= 2 && x < 5) || x == 6));
        },
        "runs");
}

TEST_P(MirroredEdit, EditThatIsItsOwnMirrorEqualsTheUnmirroredEdit) {
    Open();
    const auto centreX = static_cast<std::uint32_t>(width / 2);
    const auto centreY = static_cast<std::int32_t>(height / 2);
    proc.StampBrush(ChannelKind::Grey, centreX, centreY, 2);
    const PlaneCopy mirrored = CopyOf(proc.workingState->spectrumGrey, width * height);
    Open();
    proc.mirrorEdits = false;
    proc.StampBrush(ChannelKind::Grey, centreX, centreY, 2);
    EXPECT_TRUE(testing_support::SameBits(proc.workingState->spectrumGrey, mirrored));
}

INSTANTIATE_TEST_SUITE_P(
    Roads, MirroredEdit,
    ::testing::Values(MirrorRoad{"PowerOfTwo", TransformSize::PowerOfTwo, 16, 8},
                      MirrorRoad{"PowerOfTwoResampled", TransformSize::PowerOfTwo, 11, 7},
                      MirrorRoad{"ExactOdd", TransformSize::Exact, 15, 9},
                      MirrorRoad{"ExactMixed", TransformSize::Exact, 12, 7}),
    [](const ::testing::TestParamInfo<MirrorRoad>& param) { return param.param.name; });

}  // namespace
}  // namespace quarvel
