// The fast kernels for AVX2 (8 lanes); compiled with -mavx2.
#include "engine/FastKernelsImpl.h"

namespace quarvel {

const FastKernels& Avx2FastKernels() {
    return kKernels;
}

}  // namespace quarvel
