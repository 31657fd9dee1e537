#include "engine/FrequencyGeometry.h"

#include <cmath>
#include <numbers>

namespace quarvel {

MirroredRanges MirrorRange(IndexRange range, std::uint64_t n) {
    MirroredRanges mirrored;
    if (range.Empty()) {
        return mirrored;
    }
    const std::uint64_t twice = 2 * (n / 2);
    if (range.begin == 0 && twice == n) {
        // The Nyquist element stays; elements 1 to end - 1 land at n - end + 1 to n - 1.
        mirrored.first = {0, 1};
        mirrored.second = {n - range.end + 1, n};
        return mirrored;
    }
    // Reversed: the mirror of end - 1 comes first.
    mirrored.first = {twice - (range.end - 1), twice - range.begin + 1};
    return mirrored;
}

SpectrumFrequency FrequencyAt(std::int64_t x, std::int64_t y, std::uint64_t planeWidth,
                              std::uint64_t planeHeight, std::uint64_t imageWidth,
                              std::uint64_t imageHeight) {
    SpectrumFrequency f;
    f.cyclesX = x - static_cast<std::int64_t>(planeWidth / 2);
    f.cyclesY = y - static_cast<std::int64_t>(planeHeight / 2);
    f.u = static_cast<double>(f.cyclesX) / static_cast<double>(imageWidth);
    f.v = static_cast<double>(f.cyclesY) / static_cast<double>(imageHeight);
    const double magnitude = std::hypot(f.u, f.v);
    if (magnitude == 0.0) {
        return f;
    }
    f.period = 1.0 / magnitude;
    // Rows run downwards, so the upward component is -v. The wave and its mirror are one
    // wave: the angle is folded into [0, 180).
    double degrees = std::atan2(-f.v, f.u) * 180.0 / std::numbers::pi;
    if (degrees < 0.0) {
        degrees += 180.0;
    }
    if (degrees >= 180.0) {
        degrees -= 180.0;
    }
    f.angle = degrees;
    return f;
}

}  // namespace quarvel
