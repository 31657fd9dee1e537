// Each allocation of the filtering of a batch file fails in turn: the file is filtered whole, to
// the bytes of a run without failures, or reported for lack of memory; no exception leaves.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "FailingAllocation.h"
#include "batch/CBatchProcessor.h"
#include "history/ProcTestSupport.h"
#include "support/TestFiles.h"

namespace quarvel {
namespace {

using test::AllocationFailure;
using test::ScopedAllocationFailure;

TEST(AllocationFailure, BatchColourFile_IsFilteredWholeOrReportedForLackOfMemory) {
    const test::TempFolder folder;
    const std::string path = (folder / "small.png").string();
    // Colour files load as 32-bit images, whose channels the batch takes one at a time.
    const auto pattern = testing_support::MakeColourImage(40, 24);
    ASSERT_TRUE(SaveImageFile(*CloneArea(*pattern, 0, 0, 40, 24, PixelFormat32bppRGB), path,
                              SaveOptions{"image/png", -1}));
    BatchSettings clearing;
    clearing.filteringType = PowerSpectrumDeleting;
    clearing.rectangles[0] = {30, 10, 34, 13};
    for (const BatchSettings& settings : {BatchSettings{}, clearing}) {
        CBatchProcessor clean;
        ASSERT_TRUE(clean.LoadBatchFile(path) && clean.FilterLoadedFile(settings));
        const ImageBitmap& expected = *clean.CurrentState()->image;
        std::uint64_t failures = 0;
        for (std::uint64_t countdown = 1; countdown < 100000; ++countdown) {
            CBatchProcessor batch;
            ASSERT_TRUE(batch.LoadBatchFile(path));
            IoResult result;
            {
                const ScopedAllocationFailure failing(countdown);
                EXPECT_NO_THROW(result = batch.FilterLoadedFile(settings));
            }
            if (!AllocationFailure::Happened()) {
                break;
            }
            if (result) {
                EXPECT_TRUE(testing_support::SamePixels(*batch.CurrentState()->image, expected));
            } else {
                ++failures;
                EXPECT_EQ(result.message.rfind("not enough memory", 0), 0u) << result.message;
                EXPECT_TRUE(batch.states.empty());
            }
        }
        EXPECT_GT(failures, 0u);
    }
}

}  // namespace
}  // namespace quarvel
