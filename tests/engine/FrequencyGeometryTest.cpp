#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>

#include "engine/FrequencyGeometry.h"

namespace quarvel {
namespace {

TEST(SpectrumMirror, PairsEachElementWithItsNegatedFrequencyOnEvenAndOddAxes) {
    for (std::uint64_t n = 1; n <= 17; ++n) {
        const auto centre = static_cast<std::int64_t>(n / 2);
        const auto length = static_cast<std::int64_t>(n);
        for (std::uint64_t i = 0; i < n; ++i) {
            const std::uint64_t m = MirrorIndex(i, n);
            ASSERT_LT(m, n) << "n=" << n << " i=" << i;
            EXPECT_EQ(MirrorIndex(m, n), i) << "n=" << n << " i=" << i;
            // Frequencies are taken modulo n: -n/2 of an even axis is its own negative.
            const std::int64_t sum =
                (static_cast<std::int64_t>(i) - centre) + (static_cast<std::int64_t>(m) - centre);
            EXPECT_EQ(((sum % length) + length) % length, 0) << "n=" << n << " i=" << i;
        }
    }
    EXPECT_EQ(MirrorIndex(0, 8), 0u);
    EXPECT_EQ(MirrorIndex(1, 8), 7u);
    EXPECT_EQ(MirrorIndex(0, 7), 6u);
    EXPECT_EQ(MirrorIndex(3, 7), 3u);
}

TEST(SpectrumMirror, RangeHoldsExactlyTheMirrorsOfItsElements) {
    for (std::uint64_t n = 1; n <= 10; ++n) {
        for (std::uint64_t begin = 0; begin <= n; ++begin) {
            for (std::uint64_t end = begin; end <= n; ++end) {
                std::set<std::uint64_t> expected;
                for (std::uint64_t i = begin; i < end; ++i) {
                    expected.insert(MirrorIndex(i, n));
                }
                const MirroredRanges got = MirrorRange(IndexRange{begin, end}, n);
                std::set<std::uint64_t> covered;
                for (const IndexRange& r : {got.first, got.second}) {
                    for (std::uint64_t i = r.begin; i < r.end; ++i) {
                        EXPECT_TRUE(covered.insert(i).second) << "overlap at " << i;
                    }
                }
                EXPECT_EQ(covered, expected) << "n=" << n << " [" << begin << "," << end << ")";
            }
        }
    }
}

struct FrequencyCase {
    const char* name;
    std::int64_t x, y;
    std::uint64_t planeWidth, planeHeight, imageWidth, imageHeight;
    double u, v, period, angle;
};

TEST(SpectrumFrequencyAt, GivesCyclesPerPixelPeriodAndAngle) {
    const double diagonal = std::sqrt(2.0);
    const FrequencyCase cases[] = {
        // A 45-degree wave of 12 / sqrt(2) pixels, above and right of the centre.
        {"ExactUpRight", 70, 50, 120, 120, 120, 120, 1.0 / 12, -1.0 / 12, 12 / diagonal, 45},
        // The power-of-two road: 100 x 50 stretched to 128 x 64; offset (10, 5) is 10 cycles
        // per width and 5 per height, running down and to the right.
        {"StretchedDownRight", 74, 37, 128, 64, 100, 50, 0.1, 0.1, 10 / diagonal, 135},
        {"VerticalStripes", 5, 4, 15, 9, 15, 9, -2.0 / 15, 0.0, 7.5, 0},
        {"HorizontalStripes", 7, 1, 15, 9, 15, 9, 0.0, -3.0 / 9, 3.0, 90},
        {"OddCentre", 7, 4, 15, 9, 15, 9, 0.0, 0.0, 0.0, 0},
    };
    for (const FrequencyCase& c : cases) {
        const SpectrumFrequency f =
            FrequencyAt(c.x, c.y, c.planeWidth, c.planeHeight, c.imageWidth, c.imageHeight);
        EXPECT_NEAR(f.u, c.u, 1e-12) << c.name;
        EXPECT_NEAR(f.v, c.v, 1e-12) << c.name;
        EXPECT_NEAR(f.period, c.period, 1e-9) << c.name;
        EXPECT_NEAR(f.angle, c.angle, 1e-9) << c.name;
        EXPECT_GE(f.angle, 0.0) << c.name;
        EXPECT_LT(f.angle, 180.0) << c.name;
    }
}

}  // namespace
}  // namespace quarvel
