// The fast kernels for AVX-512 (16 lanes); compiled with -mavx512f.
#include "engine/FastKernelsImpl.h"

namespace quarvel {

const FastKernels& Avx512FastKernels() {
    return kKernels;
}

}  // namespace quarvel
