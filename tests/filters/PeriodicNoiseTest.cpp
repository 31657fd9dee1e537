#include "filters/PeriodicNoise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/CExactFFT.h"

namespace quarvel {
namespace {

/// A picture with what natural images have: smooth shading, a soft blob, a disc with a sharp
/// edge, fine texture, and borders that do not meet.
std::vector<double> NaturalPicture(std::uint64_t w, std::uint64_t h) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> texture(-6.0, 6.0);
    std::vector<double> picture(w * h);
    for (std::uint64_t y = 0; y < h; ++y) {
        for (std::uint64_t x = 0; x < w; ++x) {
            const double fx = static_cast<double>(x) / static_cast<double>(w);
            const double fy = static_cast<double>(y) / static_cast<double>(h);
            double value = 60.0 + 30.0 * fx + 20.0 * fy;
            value += 40.0 * std::exp(-((fx - 0.3) * (fx - 0.3) + (fy - 0.6) * (fy - 0.6)) * 30.0);
            const double r = std::hypot(static_cast<double>(x) - 0.65 * static_cast<double>(w),
                                        static_cast<double>(y) - 0.4 * static_cast<double>(h));
            value += 30.0 / (1.0 + std::exp(r - 0.2 * static_cast<double>(std::min(w, h))));
            picture[y * w + x] = value + texture(random);
        }
    }
    return picture;
}

std::vector<std::uint8_t> ToBytes(const std::vector<double>& values) {
    std::vector<std::uint8_t> bytes(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(std::clamp(std::lround(values[i]), 0L, 255L));
    }
    return bytes;
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / std::max(sum, 1e-9));
}

/// A picture with a wave of period and angle (degrees, counter-clockwise as seen) added.
std::vector<std::uint8_t> WithWave(std::vector<double> picture, std::uint64_t w, double period,
                                   double angle, double amplitude) {
    const double radians = angle * std::numbers::pi / 180.0;
    for (std::size_t i = 0; i < picture.size(); ++i) {
        const double x = static_cast<double>(i % w);
        const double y = static_cast<double>(i / w);
        picture[i] +=
            amplitude * std::cos(2.0 * std::numbers::pi *
                                     (x * std::cos(radians) - y * std::sin(radians)) / period +
                                 0.4);
    }
    return ToBytes(picture);
}

struct Spectrum {
    SpectrumPlane re;
    SpectrumPlane im;
};

struct WaveCase {
    std::string name;
    std::uint64_t width;
    std::uint64_t height;
    double period;
    double angle;
};

class FindWave : public testing::TestWithParam<WaveCase> {};

// One wave: one spike pair at its period and angle, and its notches bring the picture back.
TEST_P(FindWave, FindsPeriodAndAngle_NotchesRemoveIt) {
    const WaveCase& c = GetParam();
    const std::vector<double> natural = NaturalPicture(c.width, c.height);
    const std::vector<std::uint8_t> clean = ToBytes(natural);
    const std::vector<std::uint8_t> noisy = WithWave(natural, c.width, c.period, c.angle, 20.0);

    const CExactFFT fft(c.width, c.height);
    Spectrum s;
    ASSERT_TRUE(fft.Forward(noisy.data(), s.re, s.im));
    const std::vector<NoiseSpike> spikes =
        FindPeriodicNoise(s.re.get(), s.im.get(), c.width, c.height, c.width, c.height);
    ASSERT_EQ(spikes.size(), 1u);
    EXPECT_NEAR(spikes[0].period, c.period, 0.05);
    EXPECT_NEAR(spikes[0].angle, c.angle, 0.5);
    EXPECT_GT(spikes[0].strength, 24.0);
    // The twin sits point-mirrored about the centre.
    EXPECT_NEAR(spikes[0].x + spikes[0].twinX, 2.0 * static_cast<double>(c.width / 2), 1e-9);
    EXPECT_NEAR(spikes[0].y + spikes[0].twinY, 2.0 * static_cast<double>(c.height / 2), 1e-9);

    std::uint64_t top = 0;
    std::uint64_t bottom = 0;
    ApplyNotches(s.re.get(), s.im.get(), c.width, c.height, {spikes[0].notch}, top, bottom);
    EXPECT_LT(top, bottom);
    const SpectrumPlane back = fft.Inverse(s.re.get(), s.im.get());
    std::vector<double> values(back.get(), back.get() + c.width * c.height);
    EXPECT_LT(Psnr(clean, noisy), 27.0);
    EXPECT_GT(Psnr(clean, ToBytes(values)), 38.0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FindWave,
                         testing::Values(WaveCase{"Even_Diagonal", 240, 180, 8.0, 30.0},
                                         WaveCase{"Odd_Steep", 241, 181, 5.3, 117.0},
                                         WaveCase{"PowerOfTwo_ScanLines", 256, 128, 6.0, 90.0},
                                         WaveCase{"Even_VerticalStripes", 200, 150, 4.5, 0.0}),
                         [](const testing::TestParamInfo<WaveCase>& param) {
                             return param.param.name;
                         });

TEST(FindPeriodicNoise, NaturalPicture_FindsNothing) {
    for (const auto& [w, h] : {std::pair<std::uint64_t, std::uint64_t>{240, 180}, {241, 181}}) {
        const std::vector<std::uint8_t> clean = ToBytes(NaturalPicture(w, h));
        const CExactFFT fft(w, h);
        Spectrum s;
        ASSERT_TRUE(fft.Forward(clean.data(), s.re, s.im));
        EXPECT_TRUE(FindPeriodicNoise(s.re.get(), s.im.get(), w, h, w, h).empty()) << w;
    }
}

TEST(SpectrumNotch, RemovesItsDiscAndTwin_LeavesTheRestBitForBit) {
    constexpr std::uint64_t w = 16;
    constexpr std::uint64_t h = 12;
    std::vector<float> re(w * h);
    std::vector<float> im(w * h);
    for (std::size_t i = 0; i < re.size(); ++i) {
        re[i] = 1.0f + 0.1f * static_cast<float>(i);
        im[i] = -0.5f * static_cast<float>(i);
    }
    const std::vector<float> before = re;
    SpectrumNotch notch;
    notch.x = 3.25;
    notch.y = 2.5;
    notch.radius = 1.5;
    notch.edge = 1.0;
    const SpectrumNotch twin = MirrorNotch(notch, w, h);
    EXPECT_DOUBLE_EQ(twin.x, 12.75);
    EXPECT_DOUBLE_EQ(twin.y, 9.5);
    std::uint64_t top = 0;
    std::uint64_t bottom = 0;
    ApplyNotches(re.data(), im.data(), w, h, {notch}, top, bottom);
    EXPECT_EQ(re[2 * w + 3], 0.0f);
    EXPECT_EQ(im[10 * w + 13], 0.0f);  // the twin's nearest element
    EXPECT_EQ(top, 1u);
    EXPECT_EQ(bottom, 12u);
    const std::vector<std::uint8_t> covered = NotchCoverage({notch}, w, h);
    for (std::size_t i = 0; i < re.size(); ++i) {
        const std::int64_t x = static_cast<std::int64_t>(i % w);
        const std::int64_t y = static_cast<std::int64_t>(i / w);
        const double gain = NotchGain(notch, x, y) * NotchGain(twin, x, y);
        if (gain == 1.0) {
            EXPECT_EQ(re[i], before[i]) << x << "," << y;
        }
        EXPECT_EQ(covered[i] != 0, gain < 0.5) << x << "," << y;
    }
}

}  // namespace
}  // namespace quarvel
