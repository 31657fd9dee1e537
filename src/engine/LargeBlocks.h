#pragma once

#include <cstddef>

namespace quarvel {

/// Memory for the large spectrum planes and images (kLargeBlockBytes and more, a 512 x 512
/// plane already).
///
/// Fresh memory costs more than its size suggests: every page is faulted in and cleared by the
/// system on first touch, which for a 24-megapixel photograph and its spectra is more work than
/// some of the loops that fill them. Blocks from 4 MiB on are therefore mapped in 2 MiB pages
/// where the system offers them (fewer faults, fewer address translations in the column
/// passes), and every block,
/// once released, kept for the next request of a similar size - the next channel, the next
/// state, the next file of a batch - up to LargeBlockCacheLimit in all; beyond that the
/// oldest kept blocks go back to the system.
///
/// Thread safe. Blocks are aligned to 2 MiB.
inline constexpr std::size_t kLargeBlockBytes = std::size_t{1} << 20;
inline constexpr std::size_t kLargeBlockCacheBytes = std::size_t{1} << 30;

/// The bytes of released blocks kept for reuse when the largest block handed out since the last
/// TrimLargeBlocks had largestBlock bytes: kLargeBlockCacheBytes, or three such blocks when that
/// is more. A channel's spectrum of 16384 x 16384 elements is two planes of 1 GiB, and the next
/// channel should find them, and the image rendered from them, again.
inline constexpr std::size_t LargeBlockCacheLimit(std::size_t largestBlock) {
    return largestBlock > kLargeBlockCacheBytes / 3 ? 3 * largestBlock : kLargeBlockCacheBytes;
}

/// A block of at least bytes (>= kLargeBlockBytes), zero-filled when zeroed is set, otherwise
/// of any content. Null when the memory cannot be had.
void* AcquireLargeBlock(std::size_t bytes, bool zeroed);

/// Gives back a block from AcquireLargeBlock and returns true, or returns false (doing nothing)
/// when block did not come from AcquireLargeBlock.
bool ReleaseLargeBlock(void* block);

/// Gives the memory of block, a live block from AcquireLargeBlock, back to the system while
/// keeping it: its bytes read as zero from then on and cost memory again only where they are
/// written. False (doing nothing) when block did not come from AcquireLargeBlock.
bool DiscardLargeBlockContents(void* block);

/// Bytes of the released blocks kept for reuse.
std::size_t CachedLargeBlockBytes();

/// Returns every kept block to the system.
void TrimLargeBlocks();

}  // namespace quarvel
