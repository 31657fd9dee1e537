#pragma once

namespace quarvel {

/// The instruction sets that the fast transform and the whole-plane loops are built for. Every
/// path computes exactly the same single-precision operations in the same order for each
/// element, so all paths give bit-identical results; they differ only in how many elements one
/// instruction carries (4, 8 or 16 floats).
enum class VectorPath { Baseline, Avx2, Avx512 };

/// Whether this processor can run path (Baseline always can).
bool IsVectorPathSupported(VectorPath path);

/// The path the loops use: the widest one this processor supports, unless one was forced.
VectorPath ActiveVectorPath();

/// Makes every later loop use path, which must be supported; for tests that compare the paths.
/// Not to be called while a transform or a plane loop is running.
void ForceVectorPath(VectorPath path);

/// Returns to the widest supported path.
void ClearForcedVectorPath();

/// "baseline", "avx2" or "avx512".
const char* VectorPathName(VectorPath path);

}  // namespace quarvel
