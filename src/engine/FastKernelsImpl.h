// The fast kernels, written once for every instruction set. Each FastKernels*.cpp includes this
// file once, compiled for its own instruction set; everything here has internal linkage, so no
// function compiled for a wider set can stand in for the baseline one.
//
// Exactness: every value goes through the same single-precision operations, in the same order
// and with the same operands, as in the reference loops (C2DFFT::FFT1D and the plain loops of
// the callers). Vector lanes only carry independent elements side by side. The build keeps
// multiplications and additions apart (-ffp-contract=off); the only fused multiply-adds are
// those of the copy of the C library's logarithm, which uses them itself.
//
// The kernels are kept by subject: the vectors and tiles (FastKernelsVectors.h), rows in vector
// lanes (FastKernelsLanes.h), the transform's passes (FastKernelsFftPasses.h) and the blocks
// C2DFFT spreads over the threads (FastKernelsFftBlocks.h), the copy of the logarithm
// (FastKernelsLog10.h), the whole-plane loops (FastKernelsPlaneLoops.h) and the resampling
// (FastKernelsResampling.h).

#include "engine/FastKernels.h"
#include "engine/FastKernelsFftBlocks.h"
#include "engine/FastKernelsPlaneLoops.h"
#include "engine/FastKernelsResampling.h"

namespace quarvel {
namespace {

#if defined(__AVX512F__)
constexpr InstructionSet kInstructionSet = InstructionSet::Avx512;
#elif defined(__AVX2__)
constexpr InstructionSet kInstructionSet = InstructionSet::Avx2;
#else
constexpr InstructionSet kInstructionSet = InstructionSet::Baseline;
#endif

constexpr FastKernels kKernels = {
    kInstructionSet,    kRowLanes,        kColumnLanes, ForwardRows<std::uint8_t>,
    ForwardRows<float>, TransformColumns, InverseRows,  LogMagnitudes,
    LevelBytes,         GatherChannel,    MergePixels,  RoundBytes,
    ResampleRow,        ResampleGreyRow,
};

}  // namespace
}  // namespace quarvel
