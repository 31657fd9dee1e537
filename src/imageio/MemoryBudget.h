#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quarvel {

/// The largest transform size accepted on either axis: an image may be at most this wide and
/// this high.
inline constexpr std::uint64_t kMaxTransformSide = 65536;

/// The physical memory of the machine, or the memory limit of the process's control group when
/// that is smaller.
std::uint64_t PhysicalMemoryBytes();

/// The memory budget of loads that name none: the bytes last given to SetMemoryBudget, or half
/// the physical memory when none (or 0) was given.
std::uint64_t MemoryBudget();

/// Sets the budget of loads that name none, for the whole process; 0 restores the default share
/// of the physical memory. Returns the value set before (0 for the default).
std::uint64_t SetMemoryBudget(std::uint64_t bytes);

/// The memory an image of width x height needs once loaded: the image itself, the copy of it held
/// by the first history state, the image resampled to the transform size, and per channel (three
/// for colour, one for grey) the real and imaginary float planes and the power spectrum image.
std::uint64_t EstimatedImageMemory(std::uint64_t width, std::uint64_t height, bool grey);

/// Why an image of width x height cannot be loaded within limit bytes: its transform would
/// exceed kMaxTransformSide on a side, or its estimated memory the limit. Empty when it fits.
std::string ImageSizeRefusal(std::uint64_t width, std::uint64_t height, bool grey,
                             std::uint64_t limit);

/// A memory size as people write it: a whole number of bytes with an optional suffix K, M, G or
/// T (powers of 1024, in either case, optionally followed by "B" or "iB"): "4G", "512M",
/// "1048576". Nothing when the text is not such a size or overflows 64 bits.
std::optional<std::uint64_t> ParseMemorySize(const std::string& text);

/// A memory size for people: whole megabytes rounded up ("12 MB"), or whole kilobytes below one
/// megabyte ("192 KB").
std::string MemorySizeText(std::uint64_t bytes);

}  // namespace quarvel
