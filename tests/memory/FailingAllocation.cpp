#include "FailingAllocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace quarvel::test {

namespace {

enum Mode : int { kOff, kCounting, kArmed };

std::atomic<int> mode{kOff};
std::atomic<std::uint64_t> allocations{0};
std::atomic<std::uint64_t> failAt{0};
std::atomic<bool> happened{false};

/// Counts one allocation; true when it is the one to fail.
bool ShouldFail() {
    const int current = mode.load(std::memory_order_relaxed);
    if (current == kOff) {
        return false;
    }
    const std::uint64_t number = allocations.fetch_add(1, std::memory_order_relaxed) + 1;
    if (current == kArmed && number == failAt.load(std::memory_order_relaxed)) {
        happened.store(true, std::memory_order_relaxed);
        return true;
    }
    return false;
}

void* Allocate(std::size_t size) {
    if (ShouldFail()) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
    if (ShouldFail()) {
        return nullptr;
    }
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    return std::aligned_alloc(align, rounded == 0 ? align : rounded);
}

}  // namespace

void AllocationFailure::Count() {
    mode.store(kOff);
    allocations.store(0);
    happened.store(false);
    mode.store(kCounting);
}

void AllocationFailure::Arm(std::uint64_t countdown) {
    mode.store(kOff);
    allocations.store(0);
    failAt.store(countdown);
    happened.store(false);
    mode.store(kArmed);
}

void AllocationFailure::Disarm() {
    mode.store(kOff);
}

std::uint64_t AllocationFailure::Allocations() {
    return allocations.load();
}

bool AllocationFailure::Happened() {
    return happened.load();
}

}  // namespace quarvel::test

using quarvel::test::Allocate;
using quarvel::test::AllocateAligned;

void* operator new(std::size_t size) {
    if (void* block = Allocate(size)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    if (void* block = Allocate(size)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void* operator new(std::size_t size, std::align_val_t alignment) {
    if (void* block = AllocateAligned(size, alignment)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](std::size_t size, std::align_val_t alignment) {
    if (void* block = AllocateAligned(size, alignment)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}

void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete[](void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

void operator delete(void* block, std::align_val_t) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::align_val_t) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}

void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(block);
}
