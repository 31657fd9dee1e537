#pragma once

#include <cstdint>

namespace quarvel::test {

/// Makes one allocation of the running program fail, as an exhausted memory would.
///
/// A test executable that links FailingAllocation.cpp replaces the global operator new and
/// delete (every form) with ones that count allocations and, once armed, fail the chosen one:
/// the throwing forms throw std::bad_alloc, the nothrow forms return null. Only that one
/// allocation fails; those after it succeed again. Allocations of every thread count, so the
/// worker threads of a parallel loop take part.
class AllocationFailure {
public:
    /// Counts allocations from now on without failing any.
    static void Count();
    /// The countdown-th allocation from now on (1: the next one) fails.
    static void Arm(std::uint64_t countdown);
    /// Stops counting and failing.
    static void Disarm();
    /// Allocations since the last Count or Arm.
    static std::uint64_t Allocations();
    /// Whether the armed allocation has failed since the last Arm.
    static bool Happened();
};

/// Arms a failure for its lifetime: the countdown-th allocation within the scope fails.
class ScopedAllocationFailure {
public:
    explicit ScopedAllocationFailure(std::uint64_t countdown) { AllocationFailure::Arm(countdown); }
    ~ScopedAllocationFailure() { AllocationFailure::Disarm(); }
    ScopedAllocationFailure(const ScopedAllocationFailure&) = delete;
    ScopedAllocationFailure& operator=(const ScopedAllocationFailure&) = delete;
};

}  // namespace quarvel::test
