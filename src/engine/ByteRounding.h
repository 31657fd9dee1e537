#pragma once

#include <cstdint>

namespace quarvel {

// Internal linkage on purpose: the kernels of every instruction set include these, and a copy
// compiled for a wider set must never stand in for the baseline one at link time.
namespace {

/// A byte limit of a non-negative value as the plain loops take it: 0 unless value > 0, 255
/// from 255 on, otherwise value truncated toward zero. The limits are tested on the float, so
/// values beyond the integer range are never converted.
inline std::uint8_t TruncateToByte(float value) {
    if (!(value > 0.0f)) {
        return 0;
    }
    if (value >= 255.0f) {
        return 255;
    }
    return static_cast<std::uint8_t>(static_cast<int>(value));
}

/// The 8-bit value of a synthesised channel value: value + 0.5, then as TruncateToByte. -0.7
/// gives 0, 12.4 gives 12, 12.5 gives 13, 300 gives 255 and NaN gives 0.
inline std::uint8_t RoundToByte(float value) {
    return TruncateToByte(value + 0.5f);
}

}  // namespace
}  // namespace quarvel
