#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/PlaneConversion.h"

namespace quarvel {

/// The largest transform size accepted on either axis: an image may be at most this wide and
/// this high.
inline constexpr std::uint64_t kMaxTransformSide = 65536;

/// The physical memory of the machine, or the memory limit of the process's control group when
/// that is smaller.
std::uint64_t PhysicalMemoryBytes();

/// The memory the system could give the process now without swapping: the kernel's estimate of
/// available memory, or what the process's control group has left below its limit when that is
/// less.
std::uint64_t AvailableMemoryBytes();

/// The memory budget of loads that name none: the bytes last given to SetMemoryBudget, or half
/// the physical memory when none (or 0) was given.
std::uint64_t MemoryBudget();

/// Sets the budget of loads that name none, for the whole process; 0 restores the default share
/// of the physical memory. Returns the value set before (0 for the default).
std::uint64_t SetMemoryBudget(std::uint64_t bytes);

/// The ways an image is processed. Each holds other images and spectra at its peak, so each has
/// an estimate of its own.
enum class ImageWork {
    /// fftquarvel-cli spectrum: one channel at a time, the channel at the transform size, its
    /// spectrum, its power spectrum image and that image's PNG file.
    Spectrum,
    /// fftquarvel-cli filter: one channel at a time, its spectrum and its final values; then the
    /// final image and its encoded file.
    Filter,
    /// fftquarvel-cli filter --spectrum: Filter with each channel's power spectrum image
    /// rendered before its final values and kept until the files are written.
    FilterWithSpectra,
    /// One file of a batch run (CBatchProcessor): the image at the transform size, the spectrum
    /// of one channel at a time, filtered row by row, the final image and its encoded file.
    Batch,
    /// Opening in the desktop program: the image, the first history state with its spectra and
    /// power spectrum images, and the screen copies of both tabs (of the images that cannot be
    /// shown from their own memory).
    Document,
    /// What one more history state adds to an open document at its peak: a brush stroke, a
    /// filter (with the copy of the pending edits it may go back to), Create Final Image, and the
    /// screen copies of the new state.
    HistoryState,
};

/// An upper bound of the memory that work on an image of width x height needs beyond what the
/// process held before, at the peak of its resident memory: the images, the spectra, the
/// transform's work memory of every worker thread, the encoded file, the screen copies, and the
/// released blocks that LargeBlocks keeps for reuse, allocation by allocation as the code makes
/// them. grey tells a single-channel image from a colour one; transform is the size the image
/// is transformed at (the exact road needs at most what the power-of-two one does); depth is that
/// of the loaded image's samples, whose wider bitmaps, float planes of channel values and
/// reduced copies for encoding it counts. Sizes beyond any machine's memory give UINT64_MAX.
std::uint64_t EstimatedImageMemory(ImageWork work, std::uint64_t width, std::uint64_t height,
                                   bool grey, TransformSize transform = TransformSize::PowerOfTwo,
                                   SampleDepth depth = SampleDepth::Bits8);

/// Why an image of width x height cannot be loaded for work within limit bytes: its transform
/// would exceed kMaxTransformSide on a side, or its estimated memory the limit. Empty when it
/// fits.
std::string ImageSizeRefusal(ImageWork work, std::uint64_t width, std::uint64_t height, bool grey,
                             std::uint64_t limit,
                             TransformSize transform = TransformSize::PowerOfTwo,
                             SampleDepth depth = SampleDepth::Bits8);

/// A memory size as people write it: a whole number of bytes with an optional suffix K, M, G or
/// T (powers of 1024, in either case, optionally followed by "B" or "iB"): "4G", "512M",
/// "1048576". Nothing when the text is not such a size or overflows 64 bits.
std::optional<std::uint64_t> ParseMemorySize(const std::string& text);

/// A memory size for people: whole megabytes rounded up ("12 MB"), or whole kilobytes below one
/// megabyte ("192 KB").
std::string MemorySizeText(std::uint64_t bytes);

}  // namespace quarvel
