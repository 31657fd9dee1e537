// The exact-size transform's loops for AVX-512 (16 lanes); compiled with -mavx512f.
#include "engine/ExactFftKernelsImpl.h"

namespace quarvel {

const ExactFftKernels& Avx512ExactFftKernels() {
    return kExactKernels;
}

}  // namespace quarvel
