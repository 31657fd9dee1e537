#include "engine/VectorPath.h"

#include <atomic>
#include <cassert>

namespace quarvel {

namespace {

/// The forced path plus one, or 0 when none is forced.
std::atomic<int> forcedPath{0};

VectorPath WidestSupportedPath() {
    static const VectorPath widest = [] {
        if (IsVectorPathSupported(VectorPath::Avx512)) {
            return VectorPath::Avx512;
        }
        if (IsVectorPathSupported(VectorPath::Avx2)) {
            return VectorPath::Avx2;
        }
        return VectorPath::Baseline;
    }();
    return widest;
}

}  // namespace

bool IsVectorPathSupported(VectorPath path) {
    switch (path) {
        case VectorPath::Baseline:
            return true;
        case VectorPath::Avx2:
            return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
        case VectorPath::Avx512:
            return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx2") != 0 &&
                   __builtin_cpu_supports("fma") != 0;
    }
    return false;
}

VectorPath ActiveVectorPath() {
    const int forced = forcedPath.load(std::memory_order_relaxed);
    return forced != 0 ? static_cast<VectorPath>(forced - 1) : WidestSupportedPath();
}

void ForceVectorPath(VectorPath path) {
    assert(IsVectorPathSupported(path));
    if (IsVectorPathSupported(path)) {
        forcedPath.store(static_cast<int>(path) + 1, std::memory_order_relaxed);
    }
}

void ClearForcedVectorPath() {
    forcedPath.store(0, std::memory_order_relaxed);
}

const char* VectorPathName(VectorPath path) {
    switch (path) {
        case VectorPath::Baseline:
            return "baseline";
        case VectorPath::Avx2:
            return "avx2";
        case VectorPath::Avx512:
            return "avx512";
    }
    return "unknown";
}

}  // namespace quarvel
