#pragma once

#include <array>
#include <cstdint>

namespace quarvel {

/// A rectangle of spectrum elements to clear: columns x1 to x2 inclusive, rows y1 up to but not
/// including y2, in element coordinates of the power-of-two spectrum (origin top-left).
struct SpectrumRectangle {
    std::int32_t x1 = 0;
    std::int32_t y1 = 0;
    std::int32_t x2 = 0;
    std::int32_t y2 = 0;

    bool operator==(const SpectrumRectangle&) const = default;
};

/// The four rectangles the batch's spectrum clearing works on, in dialog order. An entry of all
/// zeros clears nothing.
using RectangleList = std::array<SpectrumRectangle, 4>;

}  // namespace quarvel
