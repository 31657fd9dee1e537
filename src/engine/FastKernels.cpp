#include "engine/FastKernels.h"

#include <cassert>

namespace quarvel {

const FastKernels& FastKernelsFor(InstructionSet set) {
    assert(IsInstructionSetSupported(set));
    switch (set) {
        case InstructionSet::Avx512:
            return Avx512FastKernels();
        case InstructionSet::Avx2:
            return Avx2FastKernels();
        case InstructionSet::Baseline:
            break;
    }
    return BaselineFastKernels();
}

}  // namespace quarvel
