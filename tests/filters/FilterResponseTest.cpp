#include "filters/FilterResponse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "filters/CRadialResponse.h"

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

/// The mask element by element, straight from the response formula: the radius of each element
/// rounded half up in double precision.
std::vector<float> MaskByElement(std::uint64_t width, std::uint64_t height, FilterKind kind,
                                 std::int32_t degree, std::int32_t cut1, std::int32_t cut2) {
    const auto cx = static_cast<std::int64_t>(width / 2);
    const auto cy = static_cast<std::int64_t>(height / 2);
    const std::int64_t reference = std::min(cx, cy);
    const std::int64_t low = ScaleCutOff(reference, cut1);
    const std::int64_t high = kind == FilterKind::LowPass ? 0 : ScaleCutOff(reference, cut2);
    std::vector<float> mask(width * height);
    for (std::uint64_t y = 0; y < height; ++y) {
        for (std::uint64_t x = 0; x < width; ++x) {
            const std::int64_t dx = cx - static_cast<std::int64_t>(x);
            const std::int64_t dy = cy - static_cast<std::int64_t>(y);
            const auto radius =
                static_cast<std::int64_t>(std::sqrt(static_cast<double>(dx * dx + dy * dy)) + 0.5);
            mask[y * width + x] = FilterResponseAt(radius, kind, degree, low, high);
        }
    }
    return mask;
}

struct MaskCase {
    std::string name;
    std::uint64_t width;
    std::uint64_t height;
    FilterKind kind;
    std::int32_t degree;
    std::int32_t cut1;
    std::int32_t cut2;
};

void PrintTo(const MaskCase& c, std::ostream* os) {
    *os << c.name;
}

class MaskRows : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskRows, MaskAndRowByRowResponseEqualTheFormulaBitForBit) {
    const MaskCase& c = GetParam();
    const std::vector<float> expected =
        MaskByElement(c.width, c.height, c.kind, c.degree, c.cut1, c.cut2);
    std::vector<float> mask(c.width * c.height, -1.0f);
    BuildFilterMask(mask.data(), c.width, c.height, c.kind, c.degree, c.cut1, c.cut2);
    EXPECT_EQ(std::memcmp(mask.data(), expected.data(), mask.size() * sizeof(float)), 0);

    // Rows filled on their own, in any order, give the same values.
    const CRadialResponse response(c.width, c.height, c.kind, c.degree, c.cut1, c.cut2);
    std::vector<float> row(c.width);
    for (std::uint64_t y = c.height; y-- > 0;) {
        response.FillRow(y, row.data());
        ASSERT_EQ(std::memcmp(row.data(), expected.data() + y * c.width, c.width * sizeof(float)),
                  0)
            << "row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, MaskRows,
    ::testing::Values(MaskCase{"Square", 64, 64, FilterKind::LowPass, 3, 20, 0},
                      MaskCase{"Wide", 512, 128, FilterKind::LowPass, 2, 25, 0},
                      MaskCase{"Tall", 16, 256, FilterKind::BandReject, 3, 10, 40},
                      MaskCase{"OddSides", 37, 21, FilterKind::LowPass, 6, 45, 0},
                      MaskCase{"EvenBandCentre", 200, 200, FilterKind::BandReject, 2, 30, 60},
                      MaskCase{"CoincidingEdges", 32, 32, FilterKind::BandReject, 2, 30, 30},
                      MaskCase{"ZeroCutOff", 64, 32, FilterKind::LowPass, 2, 0, 0},
                      MaskCase{"OneRow", 8, 1, FilterKind::LowPass, 2, 25, 0},
                      MaskCase{"OneColumn", 1, 9, FilterKind::BandReject, 1, 20, 80},
                      MaskCase{"OneElement", 1, 1, FilterKind::LowPass, 2, 25, 0}),
    [](const ::testing::TestParamInfo<MaskCase>& param) { return param.param.name; });

TEST(RadialResponse, AxisTooLongForATable_ComputesEachResponseAlike) {
    // 512 columns and 2^26 rows: radii up to 2^25, more than are tabled. Only a few rows are
    // looked at; the edges lie 76 and 179 samples out (percent of 256).
    const std::uint64_t width = 512;
    const std::uint64_t height = std::uint64_t{1} << 26;
    const CRadialResponse response(width, height, FilterKind::BandReject, 2, 30, 70);
    const auto cy = static_cast<std::int64_t>(height / 2);
    std::vector<float> row(width);
    for (const std::uint64_t y : {std::uint64_t{0}, height / 2 - 100, height / 2, height - 1}) {
        response.FillRow(y, row.data());
        for (std::uint64_t x = 0; x < width; ++x) {
            const std::int64_t dx = 256 - static_cast<std::int64_t>(x);
            const std::int64_t dy = cy - static_cast<std::int64_t>(y);
            const auto radius =
                static_cast<std::int64_t>(std::sqrt(static_cast<double>(dx * dx + dy * dy)) + 0.5);
            ASSERT_EQ(row[x], FilterResponseAt(radius, FilterKind::BandReject, 2, 76, 179))
                << x << ", " << y;
        }
    }
}

TEST(RadialResponse, LongestAxes_RowsEqualTheFormula) {
    // The longest transform: radii up to 46341, where a distance comes closest to a half-way
    // point between two radii.
    const std::uint64_t side = 65536;
    const CRadialResponse response(side, side, FilterKind::LowPass, 6, 71, 0);
    std::vector<float> row(side);
    for (const std::uint64_t y : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{12345},
                                  side / 2 - 1, side / 2, side - 1}) {
        response.FillRow(y, row.data());
        const auto dy = static_cast<std::int64_t>(side / 2) - static_cast<std::int64_t>(y);
        for (std::uint64_t x = 0; x < side; ++x) {
            const std::int64_t dx =
                static_cast<std::int64_t>(side / 2) - static_cast<std::int64_t>(x);
            const auto radius =
                static_cast<std::int64_t>(std::sqrt(static_cast<double>(dx * dx + dy * dy)) + 0.5);
            ASSERT_EQ(row[x],
                      FilterResponseAt(radius, FilterKind::LowPass, 6, ScaleCutOff(32768, 71), 0))
                << x << ", " << y;
        }
    }
}

TEST(RadialResponse, MultipliedSpectraEqualMultiplicationByTheWholeMask) {
    const std::uint64_t width = 128;
    const std::uint64_t height = 64;
    const std::size_t count = width * height;
    std::vector<float> mask(count);
    BuildFilterMask(mask.data(), width, height, FilterKind::BandReject, 4, 15, 35);

    // Two channels of values of every magnitude and sign, with a NaN and infinities.
    std::array<ChannelSpectrum, 2> spectra;
    std::array<std::vector<float>, 4> expected;
    for (std::size_t c = 0; c < spectra.size(); ++c) {
        spectra[c].re = AllocatePlane(count);
        spectra[c].im = AllocatePlane(count);
        for (std::size_t i = 0; i < count; ++i) {
            const float value =
                std::ldexp(static_cast<float>((i * 7919 + c * 131) % 2003) - 1001.0f,
                           static_cast<int>(i % 41) - 20);
            spectra[c].re[i] = value;
            spectra[c].im[i] = -value * 0.75f;
        }
        spectra[c].re[3] = std::numeric_limits<float>::quiet_NaN();
        spectra[c].im[5] = std::numeric_limits<float>::infinity();
        spectra[c].re[count - 1] = -std::numeric_limits<float>::infinity();
        expected[2 * c] = std::vector<float>(spectra[c].re.get(), spectra[c].re.get() + count);
        expected[2 * c + 1] = std::vector<float>(spectra[c].im.get(), spectra[c].im.get() + count);
        for (std::size_t i = 0; i < count; ++i) {
            expected[2 * c][i] = expected[2 * c][i] * mask[i];
            expected[2 * c + 1][i] = expected[2 * c + 1][i] * mask[i];
        }
    }

    const CRadialResponse response(width, height, FilterKind::BandReject, 4, 15, 35);
    std::array<ChannelSpectrum*, 2> targets = {&spectra[0], &spectra[1]};
    response.MultiplySpectra(targets.data(), targets.size());
    for (std::size_t c = 0; c < spectra.size(); ++c) {
        EXPECT_EQ(std::memcmp(spectra[c].re.get(), expected[2 * c].data(), count * 4), 0) << c;
        EXPECT_EQ(std::memcmp(spectra[c].im.get(), expected[2 * c + 1].data(), count * 4), 0) << c;
    }
}

}  // namespace
}  // namespace quarvel
