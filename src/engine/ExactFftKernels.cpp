#include "engine/ExactFftKernels.h"

#include <cassert>

namespace quarvel {

const ExactFftKernels& ExactFftKernelsFor(InstructionSet set) {
    assert(IsInstructionSetSupported(set));
    switch (set) {
        case InstructionSet::Avx512:
            return Avx512ExactFftKernels();
        case InstructionSet::Avx2:
            return Avx2ExactFftKernels();
        case InstructionSet::Baseline:
            break;
    }
    return BaselineExactFftKernels();
}

}  // namespace quarvel
