#include "engine/LargeBlocks.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "engine/ParallelFor.h"

namespace quarvel {

namespace {

constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;
/// Blocks below this size are made of ordinary pages, in steps of kSmallStepBytes.
constexpr std::size_t kHugeBlockBytes = 2 * kLargePageBytes;
constexpr std::size_t kSmallStepBytes = std::size_t{64} << 10;

struct Block {
    void* start = nullptr;
    std::size_t size = 0;  ///< a multiple of kSmallStepBytes
};

/// The blocks handed out and the released ones kept for reuse, oldest first.
struct BlockTable {
    std::mutex mutex;
    std::unordered_map<void*, std::size_t> live;
    std::vector<Block> kept;
    std::size_t keptBytes = 0;
    std::size_t largest = 0;  ///< the largest block handed out since the last trim
};

BlockTable& Table() {
    static BlockTable* table = new BlockTable;  // outlives every static that holds a block
    return *table;
}

std::size_t RoundUp(std::size_t bytes, std::size_t multiple) {
    return (bytes + multiple - 1) / multiple * multiple;
}

/// size bytes of fresh zero memory at a 2 MiB boundary, advised to be laid out in 2 MiB pages
/// from kHugeBlockBytes on; null when it cannot be had.
void* MapBlock(std::size_t size) {
    const std::size_t mapped = size + kLargePageBytes;
    void* base =
        ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        return nullptr;
    }
    const auto address = reinterpret_cast<std::uintptr_t>(base);
    const std::uintptr_t start = RoundUp(address, kLargePageBytes);
    const std::size_t head = start - address;
    const std::size_t tail = mapped - head - size;
    if (head != 0) {
        ::munmap(base, head);
    }
    if (tail != 0) {
        ::munmap(reinterpret_cast<void*>(start + size), tail);
    }
    // Only advice: without large pages the block works as well, slower.
    if (size >= kHugeBlockBytes) {
        ::madvise(reinterpret_cast<void*>(start), size, MADV_HUGEPAGE);
    }
    return reinterpret_cast<void*>(start);
}

/// Zeroes bytes at block, a 2 MiB piece per worker iteration.
void ClearBlock(void* block, std::size_t bytes) {
    auto* start = static_cast<unsigned char*>(block);
    ParallelFor(0, (bytes + kLargePageBytes - 1) / kLargePageBytes, [&](std::size_t piece) {
        const std::size_t offset = piece * kLargePageBytes;
        const std::size_t length =
            bytes - offset < kLargePageBytes ? bytes - offset : kLargePageBytes;
        std::memset(start + offset, 0, length);
    });
}

}  // namespace

void* AcquireLargeBlock(std::size_t bytes, bool zeroed) {
    if (bytes == 0 || bytes > SIZE_MAX - kLargePageBytes * 2) {
        return nullptr;
    }
    const std::size_t size =
        RoundUp(bytes, bytes >= kHugeBlockBytes ? kLargePageBytes : kSmallStepBytes);
    BlockTable& table = Table();
    void* reused = nullptr;
    {
        // The smallest kept block that fits without wasting more than half the request.
        const std::lock_guard<std::mutex> lock(table.mutex);
        table.largest = std::max(table.largest, size);
        std::size_t best = table.kept.size();
        for (std::size_t i = 0; i < table.kept.size(); ++i) {
            const std::size_t candidate = table.kept[i].size;
            if (candidate >= size && candidate <= size + size / 2 &&
                (best == table.kept.size() || candidate < table.kept[best].size)) {
                best = i;
            }
        }
        if (best != table.kept.size()) {
            const Block block = table.kept[best];
            table.kept.erase(table.kept.begin() + static_cast<std::ptrdiff_t>(best));
            table.keptBytes -= block.size;
            table.live.emplace(block.start, block.size);
            reused = block.start;
        }
    }
    if (reused != nullptr) {
        // Cleared outside the lock: the clearing runs on the worker threads, which may ask for
        // blocks themselves meanwhile.
        if (zeroed) {
            ClearBlock(reused, bytes);
        }
        return reused;
    }
    void* start = MapBlock(size);
    if (start == nullptr) {
        return nullptr;
    }
    const std::lock_guard<std::mutex> lock(table.mutex);
    table.live.emplace(start, size);
    return start;
}

bool ReleaseLargeBlock(void* block) {
    if (block == nullptr) {
        return false;
    }
    BlockTable& table = Table();
    std::vector<Block> dropped;
    {
        const std::lock_guard<std::mutex> lock(table.mutex);
        const auto found = table.live.find(block);
        if (found == table.live.end()) {
            return false;
        }
        table.kept.push_back({found->first, found->second});
        table.keptBytes += found->second;
        table.live.erase(found);
        while (table.keptBytes > LargeBlockCacheLimit(table.largest)) {
            dropped.push_back(table.kept.front());
            table.keptBytes -= table.kept.front().size;
            table.kept.erase(table.kept.begin());
        }
    }
    for (const Block& old : dropped) {
        ::munmap(old.start, old.size);
    }
    return true;
}

bool DiscardLargeBlockContents(void* block) {
    if (block == nullptr) {
        return false;
    }
    BlockTable& table = Table();
    std::size_t size = 0;
    {
        const std::lock_guard<std::mutex> lock(table.mutex);
        const auto found = table.live.find(block);
        if (found == table.live.end()) {
            return false;
        }
        size = found->second;
    }
    // Private anonymous pages read as zero after this, and are faulted in afresh when written.
    return ::madvise(block, size, MADV_DONTNEED) == 0;
}

std::size_t CachedLargeBlockBytes() {
    BlockTable& table = Table();
    const std::lock_guard<std::mutex> lock(table.mutex);
    return table.keptBytes;
}

void TrimLargeBlocks() {
    BlockTable& table = Table();
    std::vector<Block> dropped;
    {
        const std::lock_guard<std::mutex> lock(table.mutex);
        dropped.swap(table.kept);
        table.keptBytes = 0;
        table.largest = 0;
    }
    for (const Block& old : dropped) {
        ::munmap(old.start, old.size);
    }
}

}  // namespace quarvel
