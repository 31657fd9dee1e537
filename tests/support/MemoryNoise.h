#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quarvel::test {

/// Leaves byte in freed heap blocks and in a stretch of stack below the caller, where memory that
/// code reads without setting it would come from.
[[gnu::noinline]] inline void LeaveNoise(std::uint8_t byte) {
    for (std::size_t size = 16; size <= 65536; size *= 2) {
        const auto block = std::make_unique<std::uint8_t[]>(size);
        volatile std::uint8_t* bytes = block.get();
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = byte;
        }
    }
    volatile std::uint8_t stack[32768];
    for (volatile std::uint8_t& b : stack) {
        b = byte;
    }
}

}  // namespace quarvel::test
