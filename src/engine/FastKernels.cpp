#include "engine/FastKernels.h"

#include <cassert>

namespace quarvel {

const FastKernels& FastKernelsFor(VectorPath path) {
    assert(IsVectorPathSupported(path));
    switch (path) {
        case VectorPath::Avx512:
            return Avx512FastKernels();
        case VectorPath::Avx2:
            return Avx2FastKernels();
        case VectorPath::Baseline:
            break;
    }
    return BaselineFastKernels();
}

}  // namespace quarvel
