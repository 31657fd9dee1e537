// The fast kernels for the x86-64 baseline (SSE2, 4 lanes).
#include "engine/FastKernelsImpl.h"

namespace quarvel {

const FastKernels& BaselineFastKernels() {
    return kKernels;
}

}  // namespace quarvel
