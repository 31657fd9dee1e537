#include "engine/InstructionSet.h"

#include <atomic>
#include <cassert>

namespace quarvel {

namespace {

/// The forced instruction set plus one, or 0 when none is forced.
std::atomic<int> forcedSet{0};

InstructionSet WidestSupportedSet() {
    static const InstructionSet widest = [] {
        if (IsInstructionSetSupported(InstructionSet::Avx512)) {
            return InstructionSet::Avx512;
        }
        if (IsInstructionSetSupported(InstructionSet::Avx2)) {
            return InstructionSet::Avx2;
        }
        return InstructionSet::Baseline;
    }();
    return widest;
}

}  // namespace

bool IsInstructionSetSupported(InstructionSet set) {
    switch (set) {
        case InstructionSet::Baseline:
            return true;
        case InstructionSet::Avx2:
            return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
        case InstructionSet::Avx512:
            return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx2") != 0 &&
                   __builtin_cpu_supports("fma") != 0;
    }
    return false;
}

InstructionSet ActiveInstructionSet() {
    const int forced = forcedSet.load(std::memory_order_relaxed);
    return forced != 0 ? static_cast<InstructionSet>(forced - 1) : WidestSupportedSet();
}

void ForceInstructionSet(InstructionSet set) {
    assert(IsInstructionSetSupported(set));
    if (IsInstructionSetSupported(set)) {
        forcedSet.store(static_cast<int>(set) + 1, std::memory_order_relaxed);
    }
}

void ClearForcedInstructionSet() {
    forcedSet.store(0, std::memory_order_relaxed);
}

const char* InstructionSetName(InstructionSet set) {
    switch (set) {
        case InstructionSet::Baseline:
            return "baseline";
        case InstructionSet::Avx2:
            return "avx2";
        case InstructionSet::Avx512:
            return "avx512";
    }
    return "unknown";
}

}  // namespace quarvel
