// The exact-size transform's loops for AVX2 (8 lanes); compiled with -mavx2.
#include "engine/ExactFftKernelsImpl.h"

namespace quarvel {

const ExactFftKernels& Avx2ExactFftKernels() {
    return kExactKernels;
}

}  // namespace quarvel
