#pragma once

#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace quarvel::fft_test {

using LongComplex = std::complex<long double>;

constexpr long double kTwoPi = 6.283185307179586476925286766559L;

/// A transform size, named "WxH" in parameterised tests.
struct Size {
    std::uint64_t width;
    std::uint64_t height;
};

inline std::string SizeName(const testing::TestParamInfo<Size>& info) {
    return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
}

/// count reproducible random bytes.
inline std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> values(count);
    for (auto& value : values) {
        value = static_cast<std::uint8_t>(byte(generator));
    }
    return values;
}

}  // namespace quarvel::fft_test
