#include "filters/FilterResponse.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>

#include "engine/ParallelFor.h"
#include "filters/CRadialResponse.h"

namespace quarvel {

static_assert(std::bit_cast<std::uint32_t>(kResponseConstant) == 0x3ED3F7CFu,
              "the response constant must be the single-precision value of 0.414");

std::int64_t ScaleCutOff(std::int64_t reference, std::int32_t percent) {
    return (reference * percent) / 100;
}

float FilterResponseAt(std::int64_t d, FilterKind kind, std::int32_t degree, std::int64_t low,
                       std::int64_t high) {
    float r = 0.0f;
    if (kind == FilterKind::LowPass) {
        // With L = 0 the centre would compute 0 / 0; the zero frequency always passes.
        if (low == 0 && d == 0) {
            return 1.0f;
        }
        r = static_cast<float>(d) / static_cast<float>(low);
    } else {
        const float w = static_cast<float>(high - low) * 0.5f;
        const float c = static_cast<float>(low) + w;
        float distance = static_cast<float>(d);
        if (distance - c == 0.0f) {
            distance = static_cast<float>(d + 1);
        }
        r = w / (distance - c);
    }

    // p = s^n by repeated squaring: multiply in s for every set bit of n, lowest bit first.
    float s = r * r;
    float p = 1.0f;
    auto n = static_cast<std::uint32_t>(std::max(degree, 0));
    while (true) {
        if ((n & 1u) != 0) {
            p = p * s;
        }
        n >>= 1;
        if (n == 0) {
            break;
        }
        s = s * s;
    }
    const float denominator = p * kResponseConstant + 1.0f;
    return 1.0f / denominator;
}

void ComputeResponseCurve(float* out, std::uint64_t count, FilterKind kind, std::int32_t degree,
                          std::int32_t cut1, std::int32_t cut2) {
    assert(out != nullptr || count == 0);
    const auto half = static_cast<std::int64_t>(count / 2);
    const std::int64_t low = ScaleCutOff(half, cut1);
    const std::int64_t high = kind == FilterKind::LowPass ? 0 : ScaleCutOff(half, cut2);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::int64_t d = half - static_cast<std::int64_t>(i);
        out[i] = FilterResponseAt(d < 0 ? -d : d, kind, degree, low, high);
    }
}

void BuildFilterMask(float* out, std::uint64_t width, std::uint64_t height, FilterKind kind,
                     std::int32_t degree, std::int32_t cut1, std::int32_t cut2, bool normalised) {
    assert(out != nullptr || width == 0 || height == 0);
    const CRadialResponse response(width, height, kind, degree, cut1, cut2, normalised);
    ParallelFor(0, height, [&](std::size_t y) { response.FillRow(y, out + y * width); });
}

}  // namespace quarvel
