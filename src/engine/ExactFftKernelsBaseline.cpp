// The exact-size transform's loops for the baseline instruction set (4 lanes).
#include "engine/ExactFftKernelsImpl.h"

namespace quarvel {

const ExactFftKernels& BaselineExactFftKernels() {
    return kExactKernels;
}

}  // namespace quarvel
