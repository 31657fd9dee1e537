#include "filters/FilterResponse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace quarvel {
namespace {

std::vector<float> Curve(std::uint64_t count, FilterKind kind, std::int32_t degree,
                         std::int32_t cut1, std::int32_t cut2) {
    std::vector<float> out(count, -1.0f);
    ComputeResponseCurve(out.data(), count, kind, degree, cut1, cut2);
    return out;
}

struct CurveCase {
    std::string name;
    FilterKind kind;
    std::int32_t cut1;
    std::int32_t cut2;
    std::uint64_t index;
    float expected;
};

void PrintTo(const CurveCase& c, std::ostream* os) {
    *os << c.name;
}

class ResponseCurveValues : public ::testing::TestWithParam<CurveCase> {};

TEST_P(ResponseCurveValues, DegreeTwoCurveOf200SamplesMatches) {
    const CurveCase& c = GetParam();
    const std::vector<float> curve = Curve(200, c.kind, 2, c.cut1, c.cut2);
    EXPECT_NEAR(curve[c.index], c.expected, 1e-7f);
}

INSTANTIATE_TEST_SUITE_P(
    Butterworth, ResponseCurveValues,
    ::testing::Values(CurveCase{"LowPassCentre", FilterKind::LowPass, 25, 0, 100, 1.0f},
                      CurveCase{"LowPassLeftEdge", FilterKind::LowPass, 25, 0, 75, 0.7072136f},
                      CurveCase{"LowPassRightEdge", FilterKind::LowPass, 25, 0, 125, 0.7072136f},
                      CurveCase{"LowPassTwiceCutOff", FilterKind::LowPass, 25, 0, 150, 0.1311647f},
                      CurveCase{"LowPassFirstIndex", FilterKind::LowPass, 25, 0, 0, 0.0093472f},
                      CurveCase{"BandLowerEdge", FilterKind::BandReject, 33, 66, 133, 0.7072136f},
                      CurveCase{"BandUpperEdge", FilterKind::BandReject, 33, 66, 166, 0.7072136f},
                      CurveCase{"BandMiddleBelow", FilterKind::BandReject, 33, 66, 149, 2e-6f},
                      CurveCase{"BandMiddleAbove", FilterKind::BandReject, 33, 66, 150, 2e-6f},
                      CurveCase{"BandCentreIndex", FilterKind::BandReject, 33, 66, 100,
                                0.9949149f}),
    [](const ::testing::TestParamInfo<CurveCase>& param) { return param.param.name; });

TEST(FilterResponse, EdgeValueIsReciprocalOfOnePointFourOneFour) {
    for (std::int32_t degree = 1; degree <= 6; ++degree) {
        EXPECT_EQ(FilterResponseAt(40, FilterKind::LowPass, degree, 40, 0), 1.0f / 1.414f);
        EXPECT_EQ(FilterResponseAt(30, FilterKind::BandReject, degree, 30, 60), 1.0f / 1.414f);
    }
}

TEST(FilterResponse, BandRejectEvenDifference_CentreSampleTakenOneFurther) {
    // Edges 30 and 50 of a 200-sample curve: w = 10, c = 40 exactly. The sample at d = 40 is
    // evaluated at 41, where r = 10, so the response is 1 / (0.414 * 10^4 + 1).
    const std::vector<float> curve = Curve(200, FilterKind::BandReject, 2, 30, 50);
    for (std::uint64_t index : {60u, 140u}) {
        EXPECT_TRUE(std::isfinite(curve[index]));
        EXPECT_NEAR(curve[index], 1.0f / 4141.0f, 1e-9f);
    }
}

TEST(FilterResponse, BandRejectCoincidingEdges_PassesEverything) {
    for (float value : Curve(64, FilterKind::BandReject, 3, 40, 40)) {
        EXPECT_EQ(value, 1.0f);
    }
}

TEST(FilterResponse, LowPassWithZeroEdge_PassesOnlyTheZeroFrequency) {
    // Cut-off 0, and a cut-off whose scaled edge truncates to 0 on a tiny curve (2 * 25 / 100).
    for (std::int32_t cutOff : {0, 25}) {
        const std::uint64_t count = cutOff == 0 ? 16 : 4;
        const std::vector<float> curve = Curve(count, FilterKind::LowPass, 2, cutOff, 0);
        for (std::uint64_t i = 0; i < count; ++i) {
            EXPECT_EQ(curve[i], i == count / 2 ? 1.0f : 0.0f) << "cut-off " << cutOff << " i " << i;
        }
    }
}

TEST(FilterResponse, OddLengthCurve_IsCentredOnMiddleIndex) {
    const std::vector<float> curve = Curve(5, FilterKind::LowPass, 2, 50, 0);
    EXPECT_EQ(curve[2], 1.0f);
    EXPECT_EQ(curve[1], curve[3]);
    EXPECT_EQ(curve[0], curve[4]);
    EXPECT_LT(curve[0], curve[1]);
    EXPECT_EQ(curve[1], FilterResponseAt(1, FilterKind::LowPass, 2, 1, 0));
}

TEST(FilterResponse, EvenLengthCurve_LastIndexIsOneCloser) {
    const std::vector<float> curve = Curve(8, FilterKind::LowPass, 1, 50, 0);
    EXPECT_EQ(curve[0], FilterResponseAt(4, FilterKind::LowPass, 1, 2, 0));
    EXPECT_EQ(curve[7], FilterResponseAt(3, FilterKind::LowPass, 1, 2, 0));
}

TEST(FilterResponse, AbsurdInputs_NoOverflowNoHangNoNaN) {
    const std::int32_t big = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(ScaleCutOff(32768, big), std::int64_t{32768} * big / 100);
    EXPECT_EQ(ScaleCutOff(100, -50), -50);
    // A negative degree counts as 0: the response is flat at the edge value.
    EXPECT_EQ(FilterResponseAt(7, FilterKind::LowPass, -3, 10, 0), 1.0f / 1.414f);
    for (float value : Curve(64, FilterKind::BandReject, 40, big, -big)) {
        EXPECT_FALSE(std::isnan(value));
    }
    for (float value : Curve(64, FilterKind::LowPass, 6, big, 0)) {
        EXPECT_EQ(value, 1.0f);
    }
}

TEST(FilterMask, SquareMaskCentreRowEqualsCurve) {
    const std::uint64_t size = 64;
    std::vector<float> mask(size * size);
    BuildFilterMask(mask.data(), size, size, FilterKind::BandReject, 3, 20, 45);
    const std::vector<float> curve = Curve(size, FilterKind::BandReject, 3, 20, 45);
    for (std::uint64_t x = 0; x < size; ++x) {
        EXPECT_EQ(mask[(size / 2) * size + x], curve[x]) << x;
        EXPECT_EQ(mask[x * size + size / 2], curve[x]) << x;
    }
}

TEST(FilterMask, NonSquareMask_ScalesAgainstSmallerHalf) {
    // 512 x 256: R = 128, so cut-off 25 puts the edge 32 samples from the centre on both axes.
    const std::uint64_t width = 512;
    const std::uint64_t height = 256;
    std::vector<float> mask(width * height);
    BuildFilterMask(mask.data(), width, height, FilterKind::LowPass, 2, 25, 0);
    const float edge = 1.0f / 1.414f;
    EXPECT_EQ(mask[128 * width + 256], 1.0f);
    EXPECT_EQ(mask[128 * width + 256 + 32], edge);
    EXPECT_EQ(mask[128 * width + 256 - 32], edge);
    EXPECT_EQ(mask[(128 + 32) * width + 256], edge);
    EXPECT_EQ(mask[(128 - 32) * width + 256], edge);
    EXPECT_EQ(mask[0], FilterResponseAt(286, FilterKind::LowPass, 2, 32, 0));  // sqrt(256^2+128^2)
}

TEST(FilterMask, RadiusRoundsHalfUp) {
    const std::uint64_t size = 16;
    std::vector<float> mask(size * size);
    BuildFilterMask(mask.data(), size, size, FilterKind::LowPass, 2, 50, 0);
    const auto at = [&](std::int64_t dx, std::int64_t dy) {
        return mask[static_cast<std::uint64_t>(8 - dy) * size + static_cast<std::uint64_t>(8 - dx)];
    };
    const auto response = [](std::int64_t d) {
        return FilterResponseAt(d, FilterKind::LowPass, 2, 4, 0);
    };
    EXPECT_EQ(at(1, 1), response(1));  // sqrt 2 + 0.5 = 1.91
    EXPECT_EQ(at(2, 1), response(2));  // sqrt 5 + 0.5 = 2.74
    EXPECT_EQ(at(2, 2), response(3));  // sqrt 8 + 0.5 = 3.33
    EXPECT_EQ(at(-3, 4), response(5));
    EXPECT_NE(response(1), response(2));
}

TEST(FilterMask, SingleRowMask_IsCurveAgainstHalfHeightZero) {
    // One row: R = min(4, 0) = 0, so the low-pass edge is 0 and only the centre passes.
    std::vector<float> mask(8, -1.0f);
    BuildFilterMask(mask.data(), 8, 1, FilterKind::LowPass, 2, 25, 0);
    for (std::uint64_t x = 0; x < 8; ++x) {
        EXPECT_EQ(mask[x], x == 4 ? 1.0f : 0.0f);
    }
}

}  // namespace
}  // namespace quarvel
