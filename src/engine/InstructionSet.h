#pragma once

namespace quarvel {

/// The instruction sets that the fast transform and the whole-plane loops are built for. Every
/// set computes exactly the same single-precision operations in the same order for each
/// element, so all sets give bit-identical results; they differ only in how many elements one
/// instruction carries (4, 8 or 16 floats).
enum class InstructionSet { Baseline, Avx2, Avx512 };

/// Whether this processor can run set (Baseline always can).
bool IsInstructionSetSupported(InstructionSet set);

/// The set the loops use: the widest one this processor supports, unless one was forced.
InstructionSet ActiveInstructionSet();

/// Makes every later loop use set, which must be supported; for tests that compare the sets.
/// Not to be called while a transform or a plane loop is running.
void ForceInstructionSet(InstructionSet set);

/// Returns to the widest supported set.
void ClearForcedInstructionSet();

/// "baseline", "avx2" or "avx512".
const char* InstructionSetName(InstructionSet set);

}  // namespace quarvel
