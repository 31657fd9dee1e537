#include "engine/LargeBlocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/ImageBitmap.h"
#include "engine/PlaneMemory.h"

namespace quarvel {
namespace {

class LargeBlocks : public testing::Test {
protected:
    void SetUp() override { TrimLargeBlocks(); }
    void TearDown() override { TrimLargeBlocks(); }
};

TEST_F(LargeBlocks, ReleasedBlockIsReusedForASimilarSizeAndZeroedOnRequest) {
    const std::size_t bytes = 6 * kLargeBlockBytes + 123;
    auto* first = static_cast<std::uint8_t*>(AcquireLargeBlock(bytes, false));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % (std::size_t{2} << 20), 0u);
    std::memset(first, 0xAB, bytes);
    ASSERT_TRUE(ReleaseLargeBlock(first));
    EXPECT_GE(CachedLargeBlockBytes(), bytes);

    // A slightly smaller request takes the kept block and, asked for zeros, gets zeros.
    auto* second = static_cast<std::uint8_t*>(AcquireLargeBlock(bytes - 1000, true));
    EXPECT_EQ(second, first);
    EXPECT_EQ(CachedLargeBlockBytes(), 0u);
    std::size_t nonZero = 0;
    for (std::size_t i = 0; i < bytes - 1000; ++i) {
        nonZero += second[i] != 0 ? 1 : 0;
    }
    EXPECT_EQ(nonZero, 0u);
    EXPECT_TRUE(ReleaseLargeBlock(second));
}

TEST_F(LargeBlocks, MuchSmallerRequestDoesNotTakeALargeKeptBlock) {
    void* big = AcquireLargeBlock(16 * kLargeBlockBytes, false);
    ASSERT_NE(big, nullptr);
    ASSERT_TRUE(ReleaseLargeBlock(big));
    void* small = AcquireLargeBlock(kLargeBlockBytes, false);
    ASSERT_NE(small, nullptr);
    EXPECT_NE(small, big);
    EXPECT_TRUE(ReleaseLargeBlock(small));
}

TEST_F(LargeBlocks, ForeignPointerIsNotTaken) {
    std::vector<int> other(16);
    EXPECT_FALSE(ReleaseLargeBlock(other.data()));
    EXPECT_FALSE(ReleaseLargeBlock(nullptr));
}

TEST_F(LargeBlocks, KeptBytesStayWithinTheLimit) {
    std::vector<void*> blocks;
    const std::size_t bytes = kLargeBlockCacheBytes / 4 + kLargeBlockBytes;
    for (int i = 0; i < 5; ++i) {
        blocks.push_back(AcquireLargeBlock(bytes, false));
        ASSERT_NE(blocks.back(), nullptr);
    }
    for (void* block : blocks) {
        EXPECT_TRUE(ReleaseLargeBlock(block));
    }
    EXPECT_LE(CachedLargeBlockBytes(), kLargeBlockCacheBytes);
    EXPECT_GT(CachedLargeBlockBytes(), 0u);
}

TEST_F(LargeBlocks, BlocksOfALargeSpectrumAndItsImageAreAllKept) {
    // Three blocks that together exceed kLargeBlockCacheBytes, as the planes and the power
    // spectrum image of one channel do: the next channel finds all of them again. They are
    // never touched, so they take no memory.
    const std::size_t bytes = std::size_t{400} << 20;
    std::vector<void*> blocks;
    for (int i = 0; i < 3; ++i) {
        blocks.push_back(AcquireLargeBlock(bytes, false));
        ASSERT_NE(blocks.back(), nullptr);
    }
    for (void* block : blocks) {
        EXPECT_TRUE(ReleaseLargeBlock(block));
    }
    EXPECT_EQ(CachedLargeBlockBytes(), 3 * bytes);
    EXPECT_GT(CachedLargeBlockBytes(), kLargeBlockCacheBytes);
}

TEST_F(LargeBlocks, LargeImageFromAReusedBlockIsStillZero) {
    {
        const auto image = ImageBitmap::Create(2048, 1024, PixelFormat32bppRGB);
        ASSERT_TRUE(image);
        std::memset(image->Data(), 0x5A, image->ByteSize());
    }
    const auto again = ImageBitmap::Create(2048, 1024, PixelFormat32bppRGB);
    ASSERT_TRUE(again);
    std::size_t nonZero = 0;
    for (std::size_t i = 0; i < again->ByteSize(); ++i) {
        nonZero += again->Data()[i] != 0 ? 1 : 0;
    }
    EXPECT_EQ(nonZero, 0u);
}

}  // namespace
}  // namespace quarvel
